#pragma once
// Registration and crop engine of one automatic run.
//
// Coordinates. The constructor takes the crop rectangle's corner exactly as
// the main window holds it: cropX and cropY are the column and row of the
// rectangle's top-left pixel counted from 0 at the picture's left and top
// edges, whatever the codec's row order. The constructor stores the corner
// 1-based (cropX + 1, cropY + 1); every position inside the processor is
// 1-based from there on. A rectangle at 1-based (x, y), w x h, covers the
// 0-based columns x - 1 .. x + w - 2 and, in a top-down buffer, the rows
// y - 1 .. y + h - 2. In a bottom-up buffer (BMP frames) its row is first
// mirrored to y' = H - (y + h) + 2, so that it covers the same picture rows
// as in a top-down buffer: the reference crop is exactly the rectangle the
// user drew, for every input format.
//
// Every cut is kept inside its buffer: a rectangle that does not fit the
// frame fails that frame with a message, the fine-search window is shifted
// to stay inside the frame, and a search that finds nothing fails the frame.

#include "Brennock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Tellvar {

class MainProcessor {
public:
    MainProcessor(int cropX, int cropY, int cropWidth, int cropHeight, std::string* fileNames,
                  std::string outputFolder, int typeCode, bool stackEnabled);
    ~MainProcessor();

    MainProcessor(const MainProcessor&) = delete;
    MainProcessor& operator=(const MainProcessor&) = delete;

    // Reference frame (image 0): cuts, saves and keeps the reference patch.
    bool setReferenceFrame(std::string path, std::string* errorText);
    bool setReferenceFrameSmallImage(std::string path, std::string* errorText);
    void cleanReference();

    // Per-frame registration; safe to call concurrently on one processor.
    // okFlag is only ever set to false; errorText receives a whole message.
    void setPhaseOne(std::string path, int index, int searchPerimeter, bool* okFlag,
                     std::string* errorText);
    void processSmallImages(std::string path, int index, int searchPerimeter, bool* okFlag,
                            std::string* errorText);
    void phaseTwo(unsigned char** window, int* X, int* Y, int perimeter, int width, int height,
                  unsigned char* frame);

    // Averages the stack sum over count images and writes STACK.
    bool StackImages(int count, std::string* errorText);

    // Output path (without extension) of image index, or of the stack for -1.
    std::string getFileName(int index);

    // Auxiliary operations the searches are built from (1-based positions).
    unsigned char* cropImage(unsigned char* source, int x, int y, int width, int height,
                             int sourceWidth, int sourceHeight, bool flip);
    double aspectRatio(int* width, int* height, int sourceWidth, int sourceHeight);
    unsigned char* rescaleImage(unsigned char* source, int width, int height, int sourceWidth,
                                int sourceHeight, double* scale, bool keepAspect);
    double calc_ssqX(int count, bool full);
    double calcCoeff_Scaled(unsigned char* candidate);
    double calcCoeff_Full(unsigned char* candidate);

    // Fields (declaration order as documented).
    int cropX = 0;
    int cropY = 0;
    int cropWidth = 0;
    int cropHeight = 0;
    int scaledCropWidth = 0;
    int scaledCropHeight = 0;
    int refCountFull = 0;
    int refCountScaled = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    double refSsqScaled = 0.0;
    double refSsqFull = 0.0;
    double refSumFull = 0.0;
    double refSumScaled = 0.0;
    std::string outputFolder;
    std::string* fileNames = nullptr;
    bool bottomUp = false;
    bool stackEnabled = false;
    std::unique_ptr<Brennock> codec;
    std::unique_ptr<unsigned char[]> refPatchScaled;
    std::unique_ptr<unsigned char[]> refPatchFull;
    std::unique_ptr<std::uint64_t[]> stackSum;

private:
    // Serialises additions to stackSum and writes to the shared run message.
    std::mutex runMutex;
};

}  // namespace Tellvar
