#include "run/FrameThread.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <system_error>

namespace Tellvar {
namespace detail {

namespace {

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

FrameThread::FrameThread(std::function<void()> task, void* stack) {
    pthread_attr_t attributes;
    int failure = pthread_attr_init(&attributes);
    if (failure != 0) throw std::system_error(failure, std::generic_category());
    const std::size_t least = static_cast<std::size_t>(PTHREAD_STACK_MIN);
    failure = stack != nullptr && kFrameThreadStack >= least
                  ? pthread_attr_setstack(&attributes, stack, kFrameThreadStack)
                  : pthread_attr_setstacksize(&attributes, std::max(kFrameThreadStack, least));
    if (failure != 0) {
        pthread_attr_destroy(&attributes);
        throw std::system_error(failure, std::generic_category());
    }
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
