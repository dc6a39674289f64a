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

#include "Brennock/BMP.h"
#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "Brennock/TIFF.h"
#include "InputFormats.h"
#include "RunInput.h"
#include "TestImages.h"

namespace {

namespace fs = std::filesystem;
using runfuzz::RunInput;
using testsupport::Format;
using testsupport::Picture;

// The geometry fields, in the order the probe and the run use them.
enum Field { CropX, CropY, CropWidth, CropHeight, Perimeter, Fields };
const char* const kFieldNames[Fields] = {"cropX", "cropY", "cropWidth", "cropHeight", "perimeter"};

// Raw 32-bit values of a field are fuzzed only once the engine refuses that
// field's extremes cleanly (probed at start-up); until then they would stop
// every run at the first overflow, so they fold into the frame's range.
bool rawLive[Fields] = {true, true, true, true, true};

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

int valueOf(const runfuzz::Value& value, int frame, Field field) {
    if (value.isRaw() && !rawLive[field]) return runfuzz::Value{1, value.raw}.fold(frame);
    return value.fold(frame);
}

// The run's input files in folder, reference frame first.
struct RunFiles {
    std::vector<std::string> names, paths;
};

RunFiles writeInputs(const RunInput& input, const std::string& folder, Format format) {
    const int width = input.frameWidth(), height = input.frameHeight();
    const Picture reference = input.flags & runfuzz::FlatReference
                                  ? flat(width, height, static_cast<std::uint8_t>(input.seed))
                                  : testsupport::makeStarField(width, height, input.seed);
    RunFiles files;
    for (int i = 0; i < input.imageCount(); ++i) {
        files.names.push_back(testsupport::inputFileName("frame" + std::to_string(i), format));
        files.paths.push_back(folder + "/" + files.names.back());
        if (i == 0)
            testsupport::writeInput(files.paths[0], reference, format);
        else
            writeFrame(files.paths[i], input, input.frames[i - 1], reference, format);
    }
    return files;
}

// Every crop is there, at the crop's size, in the codec's output format,
// and so is the stack when one was asked for and could be written.
void checkOutputs(Tellvar::MainProcessor& processor, const RunInput& input, Format format) {
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
        check(w == processor.cropWidth && h == processor.cropHeight, "a crop of the wrong size");
    };
    for (int i = 0; i < input.imageCount(); ++i) expectCrop(processor.getFileName(i));
    if (input.flags & runfuzz::Stacking) {
        std::string error;
        if (processor.StackImages(input.imageCount(), &error))
            expectCrop(processor.getFileName(-1));
        else
            check(!error.empty(), "a failed stack without a message");
    }
}

// One run in an empty folder; the invariants abort the process when broken.
void run(const RunInput& input, const std::string& folder) {
    static const Format kFormats[] = {Format::Bmp, Format::Tiff, Format::Jpeg};
    const Format format = kFormats[input.format % 3];
    const int width = input.frameWidth(), height = input.frameHeight();
    const int count = input.imageCount();

    const std::string outputs = folder + "/out";
    fs::create_directory(outputs);
    RunFiles files = writeInputs(input, folder, format);
    Tellvar::MainProcessor processor(
        valueOf(input.cropX, width, CropX), valueOf(input.cropY, height, CropY),
        valueOf(input.cropWidth, width, CropWidth), valueOf(input.cropHeight, height, CropHeight),
        files.names.data(), outputs, testsupport::typeCode(format),
        (input.flags & runfuzz::Stacking) != 0);
    Tellvar::RunPlan plan;
    plan.filePaths = files.paths.data();
    plan.imageCount = count;
    plan.searchPerimeter = valueOf(input.perimeter, 20, Perimeter);
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
    checkOutputs(processor, input, format);
}

// Runs INT_MAX, INT_MIN and -1 in each field, and in both sizes at once (a
// crop's byte count multiplies them), on small and on large frames, each in
// a child process of its own, all at once; a field stays live when every
// run that holds an extreme of it ends cleanly.
void probeExtremes() {
    const runfuzz::Value extremes[] = {{3, std::numeric_limits<std::int32_t>::max()},
                                       {3, std::numeric_limits<std::int32_t>::min()},
                                       {3, -1}};
    const unsigned fieldSets[] = {1u << CropX,     1u << CropY,
                                  1u << CropWidth, 1u << CropHeight,
                                  1u << Perimeter, 1u << CropWidth | 1u << CropHeight};
    const testsupport::TempDir scratch;  // the parent removes what failed children leave
    std::vector<std::pair<pid_t, unsigned>> children;
    for (unsigned set : fieldSets)
        for (std::uint8_t flags : {std::uint8_t{0}, std::uint8_t{runfuzz::LargeFrames}})
            for (const runfuzz::Value& extreme : extremes) {
                RunInput input;
                input.flags = flags;
                input.frameCount = 2;
                input.cropX = input.cropY = {0, 2};
                input.cropWidth = input.cropHeight = {0, 10};
                input.perimeter = {0, 4};
                runfuzz::Value* fields[Fields] = {&input.cropX, &input.cropY, &input.cropWidth,
                                                  &input.cropHeight, &input.perimeter};
                for (int field = 0; field < Fields; ++field)
                    if (set & 1u << field) *fields[field] = extreme;
                const std::string folder = scratch.file(std::to_string(children.size()));
                fs::create_directory(folder);
                const pid_t child = fork();
                if (child == 0) {
                    run(input, folder);
                    std::_Exit(0);
                }
                children.emplace_back(child, set);
            }
    for (const auto& [child, set] : children) {
        int status = 0;
        const bool clean = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                           WEXITSTATUS(status) == 0;
        for (int field = 0; field < Fields; ++field)
            if (set & 1u << field) rawLive[field] &= clean;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    probeExtremes();
    for (int field = 0; field < Fields; ++field) {
        if (!rawLive[field])
            std::printf(
                "run fuzz: the engine does not yet refuse extreme values of %s cleanly; "
                "raw 32-bit values of it fold into the frame's range\n",
                kFieldNames[field]);
    }
    std::fflush(stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const testsupport::TempDir dir;
    run(runfuzz::parse(data, size), dir.path());
    return 0;
}
