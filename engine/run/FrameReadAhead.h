#pragma once
// Preparing the frames of a run ahead of their batch.
//
// The bulk of a registration is reading the image and searching it; only
// writing the crop and adding it to the stack touch the run's outputs.
// Reader threads of the run loop's own do the bulk (FrameRead, then
// ProcessorAccess::prepareFrame) for the images in index order, each taking
// the next image as soon as it is done with one, so every core stays busy
// however the batches are cut; a per-frame thread then only takes its
// prepared frame and finishes it in its batch.
//
// Each reader holds one whole frame at a time, while it prepares it, so a
// run keeps at most readerCount frames in memory, whatever the number of
// images. Prepared frames wait for their batch with their crop in one of
// `capacity` crop buffers made once for the run; at most `capacity` images
// are between the start of their preparation and the end of their batch's
// finishing. Nothing a reader allocates for an image outlives its work on
// it, so its heap is reused from image to image instead of being mapped
// afresh.

#include "processor/ProcessorAccess.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Tellvar {

class FrameBudget;
class MainProcessor;

namespace detail {

class FrameReadAhead {
public:
    // Prepares the images first .. end - 1 of paths (coarse to fine, or as
    // small images) on up to readerCount threads of its own, each frame
    // read within budget (a reader waits there while the frames of the
    // others leave no room for its own). When no thread
    // can be started, or the crop buffers cannot be had, it prepares
    // nothing and take() answers false. capacity must be at least the batch
    // size, or a batch could wait for itself.
    FrameReadAhead(MainProcessor& processor, const std::string* paths, int first, int end,
                   int searchPerimeter, bool smallImage, FrameBudget& budget, int readerCount,
                   int capacity);
    // Stops and waits for the readers; frames not taken are dropped.
    ~FrameReadAhead();

    FrameReadAhead(const FrameReadAhead&) = delete;
    FrameReadAhead& operator=(const FrameReadAhead&) = delete;

    // Holds the place of one taken frame; releasing it lets the readers
    // start one more.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& other) noexcept : owner_(other.owner_), crop_(other.crop_) {
            other.owner_ = nullptr;
        }
        Lease& operator=(Lease&&) = delete;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();

    private:
        friend class FrameReadAhead;
        FrameReadAhead* owner_ = nullptr;
        unsigned char* crop_ = nullptr;  // the crop buffer the place came with
    };

    // Waits until image index has been prepared and hands it over; *lease
    // (empty on entry) then holds its place until the caller has finished
    // it. False (nothing handed over) when the readers stopped before
    // starting on it, or none ever started; the caller then registers the
    // image itself.
    bool take(int index, PreparedFrame* prepared, Lease* lease);

    // No further image is started; preparations under way finish. Called
    // when the run will launch no further batch.
    void holdBack();

private:
    struct Prepared {
        PreparedFrame frame;
        unsigned char* cropBuffer;
    };

    void readerLoop();
    void release(unsigned char* cropBuffer);

    MainProcessor& processor_;
    const std::string* paths_;
    const int end_;
    const int searchPerimeter_;
    const bool smallImage_;
    FrameBudget& budget_;
    const int capacity_;

    std::mutex mutex_;
    std::condition_variable roomOrStop_;  // readers wait for a free place
    std::condition_variable frameReady_;  // takers wait for their image
    int next_;                            // next image to start on
    int inFlight_ = 0;                    // images started and not yet released
    bool stopping_ = false;               // no further image is started
    int readersRunning_ = 0;
    std::map<int, Prepared> ready_;  // prepared and not yet taken
    std::vector<std::unique_ptr<unsigned char[]>> cropBuffers_;
    std::vector<unsigned char*> freeCropBuffers_;
    std::vector<std::thread> readers_;
};

}  // namespace detail
}  // namespace Tellvar
