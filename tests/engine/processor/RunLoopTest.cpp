// The batch loop of a run: order of progress reports, cancellation between
// batches, the ends of a run, and concurrent registration on one processor.

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "Brennock/TypeCodes.h"
#include "ProcessorTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

using proctest::Format;
using proctest::Series;
using Tellvar::MainProcessor;
using Tellvar::RunOutcome;
using testsupport::Picture;

constexpr int kCropX = 20, kCropY = 15, kCropWidth = 16, kCropHeight = 12;

// A small-image series: tiny frames, each one field shifted a little.
// Indices listed in missing get no file.
void fillSmallSeries(Series& series, int count, const std::vector<int>& missing = {}) {
    proctest::addShiftedFrames(series, 64, 48, count, 61, missing);
}

struct Recorder {
    std::vector<int> progress;
    int cancelQuestions = 0;
    int cancelAtQuestion = 0;  // 0: never
    Tellvar::RunCallbacks callbacks() {
        Tellvar::RunCallbacks result;
        result.progress = [this](int handedOut) { progress.push_back(handedOut); };
        result.cancelRequested = [this] {
            ++cancelQuestions;
            return cancelQuestions == cancelAtQuestion;
        };
        return result;
    }
};

class RunLoop : public ::testing::Test {
protected:
    Series series{Format::Tiff};
    std::unique_ptr<MainProcessor> processor;

    Tellvar::RunResult run(int threads, Tellvar::RunCallbacks callbacks, bool small = true) {
        processor = std::make_unique<MainProcessor>(kCropX, kCropY, kCropWidth, kCropHeight,
                                                    series.names.data(), series.outputFolder,
                                                    Tellvar::kTypeCodeTiff, false);
        return Tellvar::runRegistration(*processor, proctest::planFor(series, 4, threads, small),
                                        callbacks);
    }
    bool saved(int index) const { return std::filesystem::exists(series.outputPath(index)); }
};

TEST_F(RunLoop, BatchesReportHandedOutImagesAfterEachJoin) {
    fillSmallSeries(series, 10);
    Recorder recorder;
    const auto result = run(4, recorder.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::Completed);
    EXPECT_TRUE(result.message.empty());
    EXPECT_TRUE(result.failedImages.empty());
    EXPECT_EQ(result.imagesHandedOut, 10);
    EXPECT_EQ(recorder.progress, (std::vector<int>{1, 5, 5, 5, 5, 9, 9, 9, 9, 10}));
    EXPECT_EQ(recorder.cancelQuestions, 3);
    for (int index = 0; index < 10; ++index) EXPECT_TRUE(saved(index)) << index;
    // The loop leaves the reference to its caller.
    EXPECT_NE(processor->refPatchFull, nullptr);
}

TEST_F(RunLoop, ThreadCountsAtTheLimits) {
    fillSmallSeries(series, 4);
    Recorder single;
    EXPECT_EQ(run(0, single.callbacks()).outcome, RunOutcome::Completed);
    EXPECT_EQ(single.progress, (std::vector<int>{1, 2, 3, 4}));

    Recorder wide;
    EXPECT_EQ(run(16, wide.callbacks()).outcome, RunOutcome::Completed);
    EXPECT_EQ(wide.progress, (std::vector<int>{1, 4, 4, 4}));
    EXPECT_EQ(wide.cancelQuestions, 1);

    // Without callbacks the loop still runs.
    EXPECT_EQ(run(2, {}).outcome, RunOutcome::Completed);
}

TEST_F(RunLoop, ReferenceOnlyRunNeverAsksForCancellation) {
    fillSmallSeries(series, 1);
    Recorder recorder;
    recorder.cancelAtQuestion = 1;
    const auto result = run(4, recorder.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::Completed);
    EXPECT_EQ(recorder.progress, (std::vector<int>{1}));
    EXPECT_EQ(recorder.cancelQuestions, 0);
    EXPECT_TRUE(saved(0));
}

TEST_F(RunLoop, CancellationIsSeenOnlyBeforeABatch) {
    fillSmallSeries(series, 10);
    Recorder first;
    first.cancelAtQuestion = 1;
    auto result = run(4, first.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(first.progress, (std::vector<int>{1}));
    EXPECT_TRUE(saved(0));
    EXPECT_FALSE(saved(1));

    std::filesystem::remove_all(series.outputFolder);
    std::filesystem::create_directory(series.outputFolder);
    Recorder second;
    second.cancelAtQuestion = 2;
    result = run(4, second.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(result.imagesHandedOut, 5);
    EXPECT_EQ(second.progress, (std::vector<int>{1, 5, 5, 5, 5}));
    for (int index = 0; index < 5; ++index) EXPECT_TRUE(saved(index)) << index;
    EXPECT_FALSE(saved(5));
}

TEST_F(RunLoop, ReferenceFailureReadsNothingElse) {
    fillSmallSeries(series, 5, {0});
    Recorder recorder;
    const auto result = run(4, recorder.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::ReferenceFailed);
    EXPECT_NE(result.message.find(series.paths[0]), std::string::npos) << result.message;
    EXPECT_EQ(recorder.progress, (std::vector<int>{1}));
    EXPECT_EQ(recorder.cancelQuestions, 0);
    EXPECT_TRUE(std::filesystem::is_empty(series.outputFolder));
}

TEST_F(RunLoop, FrameFailureStopsAfterItsBatch) {
    fillSmallSeries(series, 10, {6});
    Recorder recorder;
    const auto result = run(4, recorder.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::FrameFailed);
    EXPECT_EQ(result.failedImages, (std::vector<int>{6}));
    EXPECT_NE(result.message.find(series.paths[6]), std::string::npos) << result.message;
    EXPECT_EQ(recorder.progress, (std::vector<int>{1, 5, 5, 5, 5, 9, 9, 9, 9}));
    for (int index : {0, 1, 2, 3, 4, 5, 7, 8}) EXPECT_TRUE(saved(index)) << index;
    EXPECT_FALSE(saved(9));
}

TEST_F(RunLoop, SeveralFailuresInABatchReportTheFirstImage) {
    fillSmallSeries(series, 9, {2, 4, 7});
    const auto result = run(8, {});
    EXPECT_EQ(result.outcome, RunOutcome::FrameFailed);
    EXPECT_EQ(result.failedImages, (std::vector<int>{2, 4, 7}));
    EXPECT_NE(result.message.find(series.paths[2]), std::string::npos) << result.message;
    for (int index : {1, 3, 5, 6, 8}) EXPECT_TRUE(saved(index)) << index;
}

TEST_F(RunLoop, ThreadThatCannotStartEndsTheRunAfterTheOthersFinish) {
    fillSmallSeries(series, 8);
    Recorder recorder;
    auto callbacks = recorder.callbacks();
    int started = 0;
    callbacks.startThread = [&started](std::function<void()> work) {
        if (++started == 3)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(work));
    };
    const auto result = run(4, callbacks);
    EXPECT_EQ(result.outcome, RunOutcome::ThreadStartFailed);
    EXPECT_NE(result.message.find(series.paths[3]), std::string::npos) << result.message;
    EXPECT_EQ(recorder.progress, (std::vector<int>{1, 3, 3}));
    EXPECT_TRUE(saved(1));
    EXPECT_TRUE(saved(2));
    EXPECT_FALSE(saved(3));
    EXPECT_FALSE(saved(4));
}

TEST_F(RunLoop, EmptyPlanIsRefused) {
    Recorder recorder;
    const auto result = run(4, recorder.callbacks());
    EXPECT_EQ(result.outcome, RunOutcome::ReferenceFailed);
    EXPECT_FALSE(result.message.empty());
    EXPECT_TRUE(recorder.progress.empty());
}

// A stacked run on several threads must give exactly what one thread gives:
// every crop, the stack sum and the stacked frame.
TEST(ConcurrentRun, MatchesASingleThreadedRun) {
    const Picture picture = testsupport::makeStarField(320, 240, 62);
    std::vector<Picture> frames = {picture};
    for (int i = 1; i < 9; ++i)
        frames.push_back(
            testsupport::shifted(picture, i % 5 - 2, i % 3 - 1, 2, static_cast<std::uint32_t>(i)));

    struct Outcome {
        std::vector<std::vector<std::uint8_t>> crops;
        std::vector<std::uint64_t> stackSum;
        std::vector<std::uint8_t> stack;
    };
    auto runWith = [&](int threads) {
        Series series(Format::Tiff);
        for (const Picture& frame : frames) series.add(frame);
        MainProcessor processor(140, 100, 24, 18, series.names.data(), series.outputFolder,
                                Tellvar::kTypeCodeTiff, true);
        const Tellvar::RunPlan plan = proctest::planFor(series, 6, threads);
        const auto result = Tellvar::runRegistration(processor, plan, {});
        EXPECT_EQ(result.outcome, RunOutcome::Completed) << result.message;

        Outcome outcome;
        for (int index = 0; index < plan.imageCount; ++index)
            outcome.crops.push_back(testsupport::readFile(series.outputPath(index)));
        if (processor.stackSum)
            outcome.stackSum.assign(processor.stackSum.get(),
                                    processor.stackSum.get() + processor.refCountFull);
        processor.cleanReference();
        std::string error;
        EXPECT_TRUE(processor.StackImages(plan.imageCount, &error)) << error;
        outcome.stack = testsupport::readFile(series.stackPath());

        // The sum holds every saved crop, the reference's included.
        std::vector<std::uint64_t> expectedSum(outcome.stackSum.size(), 0);
        for (int index = 0; index < plan.imageCount; ++index) {
            const Picture crop = proctest::decode(series.outputPath(index), Format::Tiff);
            for (std::size_t k = 0; k < expectedSum.size() && k < crop.rgb.size(); ++k)
                expectedSum[k] += crop.rgb[k];
        }
        EXPECT_EQ(outcome.stackSum, expectedSum);
        return outcome;
    };

    const Outcome single = runWith(1);
    const Outcome parallel = runWith(4);
    ASSERT_EQ(single.stackSum.size(), 24u * 18u * 3u);
    EXPECT_EQ(parallel.crops, single.crops);
    EXPECT_EQ(parallel.stackSum, single.stackSum);
    EXPECT_EQ(parallel.stack, single.stack);
}

}  // namespace
