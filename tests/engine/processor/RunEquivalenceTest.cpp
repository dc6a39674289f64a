// Whole runs with the fast search, on the kernels of every instruction set
// this processor has, against the same runs with the straightforward
// search: every crop file and the stacked image must come out byte for
// byte the same, for every input format (BMP frames are bottom-up, JPEG and
// TIFF frames top-down), on the normal and on the small-image path, with
// several threads and the frames read ahead.

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "KernelLevels.h"
#include "ProcessorTestSupport.h"
#include "processor/ProcessorAccess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using proctest::Format;
using proctest::makeProcessor;
using proctest::Rect;
using proctest::Series;
using Tellvar::detail::SearchMethod;
using Tellvar::detail::SimdLevel;
using testsupport::Picture;

// How a run searches: the straightforward scan, or the fast one on a level.
struct Scan {
    SearchMethod method;
    SimdLevel level;
};
constexpr Scan kReferenceScan{SearchMethod::Reference, SimdLevel::Scalar};

// Every output of one run: the crops in image order, then the stack.
std::vector<std::vector<std::uint8_t>> runOutputs(const std::vector<Picture>& frames, Format format,
                                                  Rect rect, bool smallImage, Scan scan) {
    Series series(format);
    for (const Picture& frame : frames) series.add(frame);
    const std::unique_ptr<Tellvar::MainProcessor> owned = makeProcessor(series, rect, true);
    Tellvar::MainProcessor& processor = *owned;
    Tellvar::detail::ProcessorAccess::setSearchMethod(processor, scan.method);
    Tellvar::detail::ProcessorAccess::setKernelLevel(processor, scan.level);

    const Tellvar::RunPlan plan = proctest::planFor(series, 6, 2, smallImage);
    const Tellvar::RunResult result = Tellvar::runRegistration(processor, plan, {});
    EXPECT_EQ(result.outcome, Tellvar::RunOutcome::Completed) << result.message;

    std::vector<std::vector<std::uint8_t>> outputs;
    for (int index = 0; index < plan.imageCount; ++index)
        outputs.push_back(testsupport::readFile(series.outputPath(index)));
    processor.cleanReference();
    std::string error;
    if (!smallImage) {
        EXPECT_TRUE(processor.StackImages(plan.imageCount, &error)) << error;
        outputs.push_back(testsupport::readFile(series.stackPath()));
    }
    return outputs;
}

// The picture with a region replaced by copies of one small tile, so that
// many candidates of the search score exactly alike.
Picture withRepeatedTiles(Picture picture, int tileX, int tileY, int tileSize) {
    const Picture source = picture;
    for (int y = 0; y < picture.height / 2; ++y)
        for (int x = 0; x < picture.width / 2; ++x)
            std::memcpy(picture.pixel(x, y),
                        source.pixel(tileX + x % tileSize, tileY + y % tileSize), 3);
    return picture;
}

// A reference frame and frames moved by random amounts, with noise; one
// of them carries repeated tiles.
std::vector<Picture> randomSeries(int width, int height, int count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> shift(-5, 5);
    const Picture sky = testsupport::makeStarField(width, height, seed);
    std::vector<Picture> frames = {sky};
    for (int i = 1; i < count; ++i)
        frames.push_back(testsupport::shifted(sky, shift(random), shift(random), 2, seed + i));
    frames.back() = withRepeatedTiles(frames.back(), width / 3, height / 3, 5);
    return frames;
}

// A crop rectangle of random size and place, at least margin pixels inside
// the frame.
Rect randomRect(int width, int height, int margin, std::mt19937& random) {
    const int w = 12 + static_cast<int>(random() % 30), h = 10 + static_cast<int>(random() % 24);
    return {margin + static_cast<int>(random() % (width - w - 2 * margin)),
            margin + static_cast<int>(random() % (height - h - 2 * margin)), w, h};
}

// A run of the frames with the rectangle, as the reference scan makes it
// and as the fast scan makes it on every level.
void expectSameFilesOnEveryLevel(const std::vector<Picture>& frames, Format format, Rect rect,
                                 bool smallImage) {
    SCOPED_TRACE("crop " + std::to_string(rect.width) + " x " + std::to_string(rect.height) +
                 " at " + std::to_string(rect.x) + ", " + std::to_string(rect.y));
    const auto reference = runOutputs(frames, format, rect, smallImage, kReferenceScan);
    for (SimdLevel level : kerneltest::supportedLevels()) {
        const auto fast = runOutputs(frames, format, rect, smallImage, {SearchMethod::Fast, level});
        ASSERT_EQ(fast.size(), reference.size());
        for (std::size_t i = 0; i < fast.size(); ++i)
            EXPECT_TRUE(!fast[i].empty() && fast[i] == reference[i])
                << kerneltest::levelName(level) << " output " << i;
    }
}

class RunEquivalence : public ::testing::TestWithParam<Format> {};

TEST_P(RunEquivalence, CoarseToFineRunsGiveTheSameFiles) {
    std::mt19937 random(40 + static_cast<int>(GetParam()));
    const std::vector<Picture> frames = randomSeries(330, 245, 5, random());
    expectSameFilesOnEveryLevel(frames, GetParam(), randomRect(330, 245, 12, random), false);
}

TEST_P(RunEquivalence, SmallImageRunsGiveTheSameFiles) {
    std::mt19937 random(50 + static_cast<int>(GetParam()));
    const std::vector<Picture> frames = randomSeries(120, 90, 5, random());
    expectSameFilesOnEveryLevel(frames, GetParam(), randomRect(120, 90, 6, random), true);
}

INSTANTIATE_TEST_SUITE_P(Formats, RunEquivalence,
                         ::testing::Values(Format::Bmp, Format::Tiff, Format::Jpeg),
                         [](const auto& info) { return proctest::formatName(info.param); });

}  // namespace
