// Reader threads of a run's read-ahead.

#include "run/FrameReadAhead.h"

#include "Brennock/MainProcessor.h"
#include "run/FrameBudget.h"

#include <exception>
#include <new>

namespace Tellvar {
namespace detail {

FrameReadAhead::FrameReadAhead(MainProcessor& processor, const std::string* paths, int first,
                               int end, int searchPerimeter, bool smallImage, FrameBudget& budget,
                               int readerCount, int capacity)
    : processor_(processor),
      paths_(paths),
      end_(end),
      searchPerimeter_(searchPerimeter),
      smallImage_(smallImage),
      budget_(budget),
      capacity_(capacity < 1 ? 1 : capacity),
      next_(first) {
    const std::size_t cropBytes = static_cast<std::size_t>(processor.cropWidth) * 3 *
                                  static_cast<std::size_t>(processor.cropHeight);
    for (int c = 0; c < capacity_; ++c) {
        cropBuffers_.emplace_back(new (std::nothrow) unsigned char[cropBytes]);
        if (!cropBuffers_.back()) return;  // no readers: the batches do all the work
        freeCropBuffers_.push_back(cropBuffers_.back().get());
    }
    for (int r = 0; r < readerCount; ++r) {
        try {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++readersRunning_;
            }
            readers_.emplace_back(&FrameReadAhead::readerLoop, this);
        } catch (const std::exception&) {
            // The system has no thread (or memory) to give: fewer readers
            // only make the read-ahead slower, and with none the per-frame
            // threads register their own images.
            std::lock_guard<std::mutex> lock(mutex_);
            --readersRunning_;
            break;
        }
    }
}

FrameReadAhead::~FrameReadAhead() {
    holdBack();
    for (std::thread& reader : readers_) reader.join();
}

FrameReadAhead::Lease::~Lease() {
    if (owner_ != nullptr) owner_->release(crop_);
}

void FrameReadAhead::readerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        roomOrStop_.wait(lock,
                         [this] { return stopping_ || next_ >= end_ || inFlight_ < capacity_; });
        if (stopping_ || next_ >= end_) break;
        const int index = next_++;
        ++inFlight_;
        // There are as many buffers as places, so one is free.
        unsigned char* cropBuffer = freeCropBuffers_.back();
        freeCropBuffers_.pop_back();

        lock.unlock();
        PreparedFrame prepared;
        {
            // The frame lives only in here: prepareFrame releases it once
            // the crop is cut, and its share of the budget goes with it.
            FrameBudget::Reservation hold;
            prepared = ProcessorAccess::prepareFrame(
                processor_, readWithinBudget(processor_, paths_[index], budget_, &hold),
                paths_[index], searchPerimeter_, smallImage_, cropBuffer);
        }
        lock.lock();
        ready_.emplace(index, Prepared{std::move(prepared), cropBuffer});
        frameReady_.notify_all();
    }
    --readersRunning_;
    frameReady_.notify_all();
}

bool FrameReadAhead::take(int index, PreparedFrame* prepared, Lease* lease) {
    std::unique_lock<std::mutex> lock(mutex_);
    // An image a reader has started on always arrives; one no reader will
    // start on is registered by the caller.
    frameReady_.wait(lock, [this, index] {
        return ready_.count(index) != 0 || (index >= next_ && (stopping_ || readersRunning_ == 0));
    });
    const auto found = ready_.find(index);
    if (found == ready_.end()) return false;
    *prepared = std::move(found->second.frame);
    lease->owner_ = this;
    lease->crop_ = found->second.cropBuffer;
    ready_.erase(found);
    return true;
}

void FrameReadAhead::holdBack() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    roomOrStop_.notify_all();
    frameReady_.notify_all();
}

void FrameReadAhead::release(unsigned char* cropBuffer) {
    std::lock_guard<std::mutex> lock(mutex_);
    --inFlight_;
    freeCropBuffers_.push_back(cropBuffer);
    roomOrStop_.notify_all();
}

}  // namespace detail
}  // namespace Tellvar
