// Time of one frame's search in any cell of the speed grid, on one thread,
// decoding and writing excluded:
//
//   brennock_search_cell --type CODE --crop X Y W H --perimeter P
//                        [--repeat K] REF FRAME...
//
// REF is registered as the reference frame (its crop goes to a scratch
// folder); every FRAME is read once and searched K times as the run's
// per-frame registration searches it: coarse to fine, or once at full
// resolution when REF is narrower than 320 or lower than 240 pixels. The
// report gives, per frame, the median of its K searches, and the median of
// those over the frames, in milliseconds.

#include "BenchSupport.h"
#include "Brennock/CodecForType.h"
#include "Brennock/MainProcessor.h"
#include "TestImages.h"
#include "processor/ProcessorAccess.h"
#include "registration/CoarseToFine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace detail = Tellvar::detail;

struct Options {
    int typeCode = 0;
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
    int perimeter = 0;
    int repeat = 15;
    std::vector<std::string> paths;
};

using benchsupport::median;
using benchsupport::parseInt;

bool parseOptions(int argc, char** argv, Options* options) {
    bool haveType = false, haveCrop = false, havePerimeter = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - i - 1;
        if (arg == "--type" && remaining >= 1) {
            haveType = parseInt(argv[++i], &options->typeCode);
        } else if (arg == "--crop" && remaining >= 4) {
            haveCrop = parseInt(argv[i + 1], &options->cropX) &&
                       parseInt(argv[i + 2], &options->cropY) &&
                       parseInt(argv[i + 3], &options->cropWidth) &&
                       parseInt(argv[i + 4], &options->cropHeight);
            i += 4;
        } else if (arg == "--perimeter" && remaining >= 1) {
            havePerimeter = parseInt(argv[++i], &options->perimeter);
        } else if (arg == "--repeat" && remaining >= 1) {
            if (!parseInt(argv[++i], &options->repeat) || options->repeat < 1) return false;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options->paths.push_back(arg);
        }
    }
    return haveType && haveCrop && havePerimeter && options->paths.size() >= 2;
}

// Where the run's registration of this frame would cut its crop.
detail::Position searchFrame(const Tellvar::MainProcessor& processor,
                             const detail::BufferView& view, int perimeter, bool smallImage) {
    return detail::placeCrop(processor, view, perimeter, smallImage).inFrame;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: brennock_search_cell --type CODE --crop X Y W H --perimeter P "
                     "[--repeat K] REF FRAME...\n");
        return 1;
    }
    const testsupport::TempDir scratch;
    std::string names[1] = {"reference"};
    Tellvar::MainProcessor processor(options.cropX, options.cropY, options.cropWidth,
                                     options.cropHeight, names, scratch.path(), options.typeCode,
                                     false);
    std::string error;
    int width = 0, height = 0;
    if (!processor.codec->sizeChecker(&width, &height, options.paths[0], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // As the desktop program decides it, from the reference's size.
    const bool smallImage = width < 320 || height < 240;
    const bool referenceSet = smallImage
                                  ? processor.setReferenceFrameSmallImage(options.paths[0], &error)
                                  : processor.setReferenceFrame(options.paths[0], &error);
    if (!referenceSet) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    std::vector<double> perFrame;
    for (std::size_t f = 1; f < options.paths.size(); ++f) {
        detail::FrameBuffer frame;
        if (!detail::readFrame(*processor.codec, options.paths[f], &frame, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        const detail::BufferView view{frame.pixels.get(), frame.width, frame.height,
                                      processor.bottomUp};
        std::vector<double> times;
        for (int k = 0; k < options.repeat; ++k) {
            const auto start = std::chrono::steady_clock::now();
            const detail::Position at = searchFrame(processor, view, options.perimeter, smallImage);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            if (!at.found()) {
                std::fprintf(stderr, "%s: nothing found\n", options.paths[f].c_str());
                return 1;
            }
        }
        perFrame.push_back(median(times));
        std::printf("frame: %s ms: %.3f\n", options.paths[f].c_str(), perFrame.back());
    }
    std::printf("frames: %zu repeat: %d median_ms: %.3f\n", perFrame.size(), options.repeat,
                median(perFrame));
    return 0;
}
