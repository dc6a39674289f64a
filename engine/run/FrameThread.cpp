#include "run/FrameThread.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <system_error>

namespace Tellvar {
namespace detail {

namespace {

// Room for the codecs' own state and a sanitizer's larger frames, with
// ample margin; still small enough for the stack cache to keep a batch of
// the largest machines' threads.
constexpr std::size_t kFrameThreadStack = std::size_t{2} << 20;

void* runTask(void* argument) {
    const std::unique_ptr<std::function<void()>> task(
        static_cast<std::function<void()>*>(argument));
    // As on a std::thread, an exception that leaves the task ends the program.
    try {
        (*task)();
    } catch (...) {
        std::terminate();
    }
    return nullptr;
}

}  // namespace

FrameThread::FrameThread(std::function<void()> task) {
    pthread_attr_t attributes;
    int failure = pthread_attr_init(&attributes);
    if (failure != 0) throw std::system_error(failure, std::generic_category());
    pthread_attr_setstacksize(&attributes,
                              std::max<std::size_t>(kFrameThreadStack, PTHREAD_STACK_MIN));
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    failure = pthread_create(&own_, &attributes, runTask, owned.get());
    pthread_attr_destroy(&attributes);
    if (failure != 0) throw std::system_error(failure, std::generic_category());
    owned.release();  // the thread deletes it
    ownRunning_ = true;
}

FrameThread::FrameThread(FrameThread&& other) noexcept
    : started_(std::move(other.started_)), own_(other.own_), ownRunning_(other.ownRunning_) {
    other.ownRunning_ = false;
}

FrameThread::~FrameThread() {
    if (ownRunning_ || started_.joinable()) join();
}

void FrameThread::join() {
    if (ownRunning_) {
        pthread_join(own_, nullptr);
        ownRunning_ = false;
    }
    if (started_.joinable()) started_.join();
}

}  // namespace detail
}  // namespace Tellvar
