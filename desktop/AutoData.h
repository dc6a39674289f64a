#pragma once
// The parameters of one automatic run, filled by the main window's launcher
// and copied into the worker thread.

#include <string>

struct AutoData {
    int imageCount = 0;  // images of the run, the reference frame included
    int cropWidth = 0;   // crop size in image pixels
    int cropHeight = 0;
    int cropX = 0;            // top-left corner on the reference frame, 0-based,
    int cropY = 0;            // passed on to the engine unchanged
    int searchPerimeter = 0;  // fine-search margin in pixels
    int typeCode = 0;         // engine type code of the input format: chooses the codec
    bool smallImage = false;  // images narrower than 320 or lower than 240 pixels
    // UTF-8 paths and names, reference frame at index 0. The arrays are not
    // the run's: their owner keeps them alive until the worker has ended.
    std::string* filePaths = nullptr;
    std::string* fileNames = nullptr;
    std::string outputFolder;  // UTF-8
};
