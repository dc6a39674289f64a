// Runs one automatic registration from the command line and reports its
// throughput:
//
//   brennock_run --type CODE --crop X Y W H --perimeter P [--stack]
//                [--threads N] --out DIR REF FRAME...
//
// X and Y are the crop's top-left corner counted from 0, as the main window
// holds it. Images narrower than 320 or lower than 240 pixels are registered
// at full resolution only, as the desktop program does. Exits 0 when every
// image was registered and saved (and the stack written when asked for).

#include "BMP.h"
#include "JPEG.h"
#include "MainProcessor.h"
#include "RunLoop.h"
#include "TIFF.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int typeCode = 0;
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
    int perimeter = 0;
    bool stack = false;
    int threads = 0;
    std::string outputFolder;
    std::vector<std::string> paths;
};

void printUsage() {
    std::fprintf(stderr,
                 "usage: brennock_run --type CODE --crop X Y W H --perimeter P [--stack] "
                 "[--threads N] --out DIR REF FRAME...\n");
}

bool parseInt(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < -2147483647L || parsed > 2147483647L) return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool parseOptions(int argc, char** argv, Options* options) {
    bool haveType = false, haveCrop = false, havePerimeter = false, haveOut = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - i - 1;
        if (arg == "--type" && remaining >= 1) {
            haveType = parseInt(argv[++i], &options->typeCode);
            if (!haveType) return false;
        } else if (arg == "--crop" && remaining >= 4) {
            haveCrop = parseInt(argv[i + 1], &options->cropX) &&
                       parseInt(argv[i + 2], &options->cropY) &&
                       parseInt(argv[i + 3], &options->cropWidth) &&
                       parseInt(argv[i + 4], &options->cropHeight);
            if (!haveCrop) return false;
            i += 4;
        } else if (arg == "--perimeter" && remaining >= 1) {
            havePerimeter = parseInt(argv[++i], &options->perimeter);
            if (!havePerimeter) return false;
        } else if (arg == "--threads" && remaining >= 1) {
            if (!parseInt(argv[++i], &options->threads) || options->threads < 1) return false;
        } else if (arg == "--out" && remaining >= 1) {
            options->outputFolder = argv[++i];
            haveOut = true;
        } else if (arg == "--stack") {
            options->stack = true;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options->paths.push_back(arg);
        }
    }
    return haveType && haveCrop && havePerimeter && haveOut && !options->paths.empty();
}

std::unique_ptr<Tellvar::Brennock> codecFor(int typeCode) {
    if (typeCode == 1022) return std::make_unique<Tellvar::BMP>();
    if (typeCode == 1025) return std::make_unique<Tellvar::TIF>();
    return std::make_unique<Tellvar::JPEG>();
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Engine messages span several lines; a report line holds one.
std::string oneLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        printUsage();
        return 1;
    }
    if (options.threads == 0) {
        const unsigned hardware = std::thread::hardware_concurrency();
        options.threads = hardware == 0 ? 1 : static_cast<int>(hardware);
    }

    // The desktop program decides the small-image path from the reference's size.
    int width = 0, height = 0;
    std::string error;
    if (!codecFor(options.typeCode)->sizeChecker(&width, &height, options.paths[0], &error)) {
        std::printf("failed: %s: %s\n", options.paths[0].c_str(), oneLine(error).c_str());
        return 1;
    }
    const bool smallImage = width < 320 || height < 240;

    std::vector<std::string> names;
    for (const std::string& path : options.paths) names.push_back(baseName(path));

    Tellvar::MainProcessor processor(options.cropX, options.cropY, options.cropWidth,
                                     options.cropHeight, names.data(), options.outputFolder,
                                     options.typeCode, options.stack);
    Tellvar::RunPlan plan;
    plan.filePaths = options.paths.data();
    plan.imageCount = static_cast<int>(options.paths.size());
    plan.searchPerimeter = options.perimeter;
    plan.threadCount = options.threads;
    plan.smallImage = smallImage;

    const auto start = std::chrono::steady_clock::now();
    const Tellvar::RunResult result = Tellvar::runRegistration(processor, plan, {});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    bool success = result.outcome == Tellvar::RunOutcome::Completed;
    switch (result.outcome) {
        case Tellvar::RunOutcome::ReferenceFailed:
            std::printf("failed: %s: %s\n", options.paths[0].c_str(),
                        oneLine(result.message).c_str());
            break;
        case Tellvar::RunOutcome::FrameFailed:
            // The engine keeps the message of the first failed image of the batch.
            for (std::size_t i = 0; i < result.failedImages.size(); ++i) {
                const std::string& path = options.paths[result.failedImages[i]];
                if (i == 0)
                    std::printf("failed: %s: %s\n", path.c_str(), oneLine(result.message).c_str());
                else
                    std::printf("failed: %s\n", path.c_str());
            }
            break;
        case Tellvar::RunOutcome::ThreadStartFailed:
            std::printf("failed: %s\n", oneLine(result.message).c_str());
            break;
        case Tellvar::RunOutcome::Cancelled:
        case Tellvar::RunOutcome::Completed: break;
    }

    processor.cleanReference();
    if (success && options.stack) {
        if (!processor.StackImages(plan.imageCount, &error)) {
            std::printf("failed: stack: %s\n", oneLine(error).c_str());
            success = false;
        }
    }

    std::printf("frames: %d seconds: %.3f frames_per_second: %.2f\n", result.imagesHandedOut,
                seconds, seconds > 0 ? result.imagesHandedOut / seconds : 0.0);
    return success ? 0 : 1;
}
