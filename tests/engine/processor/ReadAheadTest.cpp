// The run loop's preparing ahead: how many images a run has in flight,
// which images it reads when, and that it changes no result.

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "Brennock/TypeCodes.h"
#include "ProcessorTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using proctest::Format;
using proctest::Series;
using Tellvar::MainProcessor;
using Tellvar::RunOutcome;
using testsupport::Picture;

// Wraps a processor's codec and keeps count of the images in flight: from
// the start of an image's read until its crop is written (every image of
// these series that is read registers and saves). Reads and writes can be
// slowed down, to make the run's threads overlap one way or the other.
class CountingCodec : public Tellvar::Brennock {
public:
    explicit CountingCodec(std::unique_ptr<Tellvar::Brennock> inner) : inner_(std::move(inner)) {}

    void delay(std::chrono::milliseconds read, std::chrono::milliseconds write) {
        readDelay_ = read;
        writeDelay_ = write;
    }

    // The read of holdPath waits (up to a few seconds) until awaitedPath
    // has been opened.
    void holdUntilOpened(const std::string& holdPath, const std::string& awaitedPath) {
        std::lock_guard<std::mutex> lock(mutex_);
        holdPath_ = holdPath;
        awaitedPath_ = awaitedPath;
    }
    bool heldReadWaitedInVain() {
        std::lock_guard<std::mutex> lock(mutex_);
        return waitedInVain_;
    }

    bool openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                   std::string* errorText) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            opened_.insert(path);
            maxAlive_ = std::max(maxAlive_, ++alive_);
            openedOne_.notify_all();
            if (path == holdPath_ && !openedOne_.wait_for(lock, std::chrono::seconds(5), [this] {
                    return opened_.count(awaitedPath_) != 0;
                }))
                waitedInVain_ = true;
        }
        std::this_thread::sleep_for(readDelay_);
        const bool ok = inner_->openImage(buffer, path, width, height, depth, errorText);
        if (!ok) {
            std::lock_guard<std::mutex> lock(mutex_);
            --alive_;
        }
        return ok;
    }
    bool saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                   std::string* errorText) override {
        std::this_thread::sleep_for(writeDelay_);
        const bool ok = inner_->saveImage(buffer, width, height, depth, path, errorText);
        std::lock_guard<std::mutex> lock(mutex_);
        --alive_;
        return ok;
    }
    bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) override {
        return inner_->sizeChecker(width, height, path, errorText);
    }

    int maxAlive() {
        std::lock_guard<std::mutex> lock(mutex_);
        return maxAlive_;
    }
    std::set<std::string> opened() {
        std::lock_guard<std::mutex> lock(mutex_);
        return opened_;
    }

private:
    std::unique_ptr<Tellvar::Brennock> inner_;
    std::chrono::milliseconds readDelay_{3}, writeDelay_{0};
    std::mutex mutex_;
    std::condition_variable openedOne_;
    std::string holdPath_, awaitedPath_;
    bool waitedInVain_ = false;
    int alive_ = 0;
    int maxAlive_ = 0;
    std::set<std::string> opened_;
};

constexpr int kCropX = 20, kCropY = 15, kCropWidth = 16, kCropHeight = 12;

class ReadAhead : public ::testing::Test {
protected:
    Series series{Format::Tiff};
    std::unique_ptr<MainProcessor> processor;
    CountingCodec* codec = nullptr;

    // count small frames, each the first shifted a little; indices in
    // missing get no file.
    void fill(int count, const std::vector<int>& missing = {}) {
        proctest::addShiftedFrames(series, 64, 48, count, 71, missing);
    }

    void makeProcessor() {
        processor = std::make_unique<MainProcessor>(kCropX, kCropY, kCropWidth, kCropHeight,
                                                    series.names.data(), series.outputFolder,
                                                    Tellvar::kTypeCodeTiff, false);
        auto counting = std::make_unique<CountingCodec>(std::move(processor->codec));
        codec = counting.get();
        processor->codec = std::move(counting);
    }

    Tellvar::RunResult run(int threads, Tellvar::RunCallbacks callbacks = {}) {
        if (!processor) makeProcessor();
        return Tellvar::runRegistration(*processor, proctest::planFor(series, 4, threads, true),
                                        callbacks);
    }

    std::set<std::string> paths(int first, int end) const {
        return std::set<std::string>(series.paths.begin() + first, series.paths.begin() + end);
    }
};

TEST_F(ReadAhead, ImagesInFlightStayWithinTwoBatchesWhateverTheRunsLength) {
    // Slow writes: the readers could run far ahead of the batches.
    fill(40);
    for (int threads : {1, 2, 3}) {
        std::filesystem::remove_all(series.outputFolder);
        std::filesystem::create_directory(series.outputFolder);
        makeProcessor();
        codec->delay(std::chrono::milliseconds(0), std::chrono::milliseconds(3));
        const auto result = run(threads);
        ASSERT_EQ(result.outcome, RunOutcome::Completed) << result.message;
        EXPECT_LE(codec->maxAlive(), 2 * threads) << threads << " threads";
        EXPECT_EQ(codec->opened(), paths(0, 40));
    }
}

TEST_F(ReadAhead, CoresFreeDuringABatchReadTheNextOne) {
    // Batch 1 is images 1-3. The read of image 3 waits for image 4, of batch
    // 2, to be opened: only a reader freed by image 1 or 2 can open it
    // before batch 1 is over.
    fill(8);
    makeProcessor();
    codec->holdUntilOpened(series.paths[3], series.paths[4]);
    EXPECT_EQ(run(3).outcome, RunOutcome::Completed);
    EXPECT_FALSE(codec->heldReadWaitedInVain());
}

TEST_F(ReadAhead, NothingBeyondTheReferenceIsReadBeforeTheFirstBatch) {
    // Cancelled while the reference frame was registered.
    fill(12);
    Tellvar::RunCallbacks callbacks;
    callbacks.cancelRequested = [] { return true; };
    EXPECT_EQ(run(3, callbacks).outcome, RunOutcome::Cancelled);
    EXPECT_EQ(codec->opened(), paths(0, 1));
}

TEST_F(ReadAhead, AnUnreadableReferenceIsTheOnlyImageRead) {
    fill(12, {0});
    EXPECT_EQ(run(3).outcome, RunOutcome::ReferenceFailed);
    EXPECT_EQ(codec->opened(), paths(0, 1));
}

TEST_F(ReadAhead, AFailedImageStopsTheReadersAtOnce) {
    // Threads 3: batches 1-3, 4-6, 7-9, ...; image 4 cannot be read and
    // fails at once, while 5 and 6 take long to write. Up to 2 x 3 images
    // from 4 on, that is up to image 9, may be under way by then; a reader
    // going on would start on image 10 while 5 and 6 are still written.
    fill(24, {4});
    makeProcessor();
    codec->delay(std::chrono::milliseconds(0), std::chrono::milliseconds(30));
    const auto result = run(3);
    EXPECT_EQ(result.outcome, RunOutcome::FrameFailed);
    EXPECT_EQ(result.failedImages, std::vector<int>{4});
    const std::set<std::string> opened = codec->opened();
    const std::set<std::string> launched = paths(0, 7);
    EXPECT_TRUE(std::includes(opened.begin(), opened.end(), launched.begin(), launched.end()));
    for (int index = 10; index < 24; ++index)
        EXPECT_EQ(opened.count(series.paths[index]), 0u) << index;
    // Prepared ahead or not, nothing after the failed batch is saved.
    for (int index = 7; index < 24; ++index)
        EXPECT_FALSE(std::filesystem::exists(series.outputPath(index))) << index;
}

TEST_F(ReadAhead, OnOneThreadAFailedImageStopsTheReaderToo) {
    // Batches of one image, prepared ahead by one reader: two images at
    // most between preparation and the end of their batch.
    fill(12, {4});
    const auto result = run(1);
    EXPECT_EQ(result.outcome, RunOutcome::FrameFailed);
    EXPECT_EQ(result.failedImages, std::vector<int>{4});
    for (int index = 7; index < 12; ++index)
        EXPECT_EQ(codec->opened().count(series.paths[index]), 0u) << index;
    for (int index = 0; index < 4; ++index)
        EXPECT_TRUE(std::filesystem::exists(series.outputPath(index))) << index;
    for (int index = 5; index < 12; ++index)
        EXPECT_FALSE(std::filesystem::exists(series.outputPath(index))) << index;
}

TEST_F(ReadAhead, CancellingBetweenBatchesRegistersNothingMore) {
    fill(24);
    int questions = 0;
    Tellvar::RunCallbacks callbacks;
    callbacks.cancelRequested = [&questions] { return ++questions == 3; };
    const auto result = run(3, callbacks);
    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_EQ(result.imagesHandedOut, 7);
    for (int index = 0; index < 7; ++index)
        EXPECT_TRUE(std::filesystem::exists(series.outputPath(index))) << index;
    for (int index = 7; index < 24; ++index)
        EXPECT_FALSE(std::filesystem::exists(series.outputPath(index))) << index;
    // With batches 1-3 and 4-6 done, at most two batches, images 7 to 12,
    // were prepared ahead of the cancellation.
    for (int index = 13; index < 24; ++index)
        EXPECT_EQ(codec->opened().count(series.paths[index]), 0u) << index;
}

}  // namespace
