#pragma once
// Inputs and read-back for the processor tests: pictures written in each
// input format, and output files decoded back into top-down RGB so crops of
// bottom-up and top-down runs can be compared pixel for pixel.

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "InputFormats.h"
#include "PictureMatch.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace proctest {

using testsupport::Format;
using testsupport::formatName;
using testsupport::inputFileName;
using testsupport::outputExtension;
using testsupport::typeCode;
using testsupport::writeInput;

// Decodes an engine input or output file with the engine's codec for the
// format and returns it top-down RGB; fails the current test on error.
testsupport::Picture decode(const std::string& path, Format format);

// A packed engine buffer (BMP layout when bottomUpBgr) as a top-down RGB picture.
testsupport::Picture toPicture(const unsigned char* buffer, int width, int height,
                               bool bottomUpBgr);

using testsupport::cropPicture;
using testsupport::samePixels;

// A run's inputs: names and full paths in run order, reference frame first,
// with an output folder of their own.
struct Series {
    testsupport::TempDir dir;
    Format format = Format::Tiff;
    std::vector<std::string> names;
    std::vector<std::string> paths;
    std::string outputFolder;

    explicit Series(Format format);
    // Writes picture as the next image of the series and returns its index.
    int add(const testsupport::Picture& picture);
    // Adds an image whose file is never written, so reading it fails.
    int addMissing();
    std::string outputPath(int index) const;  // crop file of image index
    std::string stackPath() const;
};

// A crop rectangle with its corner counted from 0, as the main window
// holds it.
struct Rect {
    int x, y, width, height;
};

// A processor for the series' format and files.
std::unique_ptr<Tellvar::MainProcessor> makeProcessor(Series& series, Rect rect,
                                                      bool stack = false);

// Adds count frames, each one star field of width x height (seed) shifted
// by up to a pixel each way, with a little noise; the indices in missing
// get no file.
void addShiftedFrames(Series& series, int width, int height, int count, std::uint32_t seed,
                      const std::vector<int>& missing = {});

// A plan for every image of the series, reference frame first.
Tellvar::RunPlan planFor(const Series& series, int searchPerimeter, int threadCount,
                         bool smallImage = false);

// A star field made once per process, for the tests that share it.
const testsupport::Picture& sharedStarField(int width, int height, std::uint32_t seed);

}  // namespace proctest
