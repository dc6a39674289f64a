#pragma once
// The thread of one image of a batch.
//
// A run starts a thread per image, batch after batch. Threads of the
// system's default stack size (8 MiB here) outgrow the C library's cache of
// stacks after about five of them: every batch then unmaps stacks and maps
// new ones, which the kernel zeroes page by page and which stops every
// thread of the process to flush its mappings; on frames that take under a
// millisecond that costs more than the search. A per-frame call needs far
// less stack (its frames, windows and planes are on the heap), so these
// threads get a small one: the run's own (FrameStacks), or else one the
// cache keeps from batch to batch.

#include <pthread.h>
#include <cstddef>
#include <functional>
#include <thread>

namespace Tellvar {
namespace detail {

// Room for the codecs' own state and a sanitizer's larger frames, with
// ample margin; still small enough for the stack cache to keep a batch of
// the largest machines' threads.
constexpr std::size_t kFrameThreadStack = std::size_t{2} << 20;

class FrameThread {
public:
    // Runs task on a new thread, on the kFrameThreadStack bytes from stack
    // when given (no other thread may use them until this one is joined),
    // else on a stack of the library's of that size; throws
    // std::system_error, as std::thread does, when none can be started.
    explicit FrameThread(std::function<void()> task, void* stack = nullptr);
    // A thread started by a caller's own starter.
    explicit FrameThread(std::thread started) : started_(std::move(started)) {}
    FrameThread(FrameThread&& other) noexcept;
    FrameThread& operator=(FrameThread&&) = delete;
    FrameThread(const FrameThread&) = delete;
    FrameThread& operator=(const FrameThread&) = delete;
    // Joins a thread that was not joined (as a batch always does first).
    ~FrameThread();

    void join();

private:
    std::thread started_;
    pthread_t own_{};
    bool ownRunning_ = false;
};

}  // namespace detail
}  // namespace Tellvar
