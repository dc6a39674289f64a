#pragma once
// Helpers of the automatic-run tests: waiting on other threads and pumping
// the toolkit's queue while a worker runs.

#include <wx/app.h>
#include <wx/window.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace runtest {

// Holds the per-frame threads of a run until the test lets them go, so that
// a test can act while a batch is under way.
class Gate {
public:
    void release(int count) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            permits_ += count;
        }
        changed_.notify_all();
    }
    void open() { release(1 << 20); }
    void pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return permits_ > 0; });
        --permits_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int permits_ = 0;
};

// A starter of per-frame threads (UI_TLCrop::frameThreadStarter) whose
// threads count themselves in `started` and then wait at the gate before
// they work.
inline std::function<std::thread(std::function<void()>)> gatedFrameThreads(
    std::shared_ptr<Gate> gate, std::shared_ptr<std::atomic<int>> started) {
    return [gate, started](std::function<void()> work) {
        ++*started;
        return std::thread([gate, work = std::move(work)] {
            gate->pass();
            work();
        });
    };
}

// Polls until done() holds or the timeout passes; false on timeout.
template <class Predicate>
bool waitFor(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Handles queued events (progress, the worker's message boxes and requests)
// until done() holds or the timeout passes; false on timeout. Windows that
// were destroyed are not deleted here, so pointers to them stay testable.
template <class Predicate>
bool pumpUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        wxTheApp->ProcessPendingEvents();
        if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace runtest
