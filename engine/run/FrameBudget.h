#pragma once
// The memory a run may spend on whole frames at once.
//
// Every frame a run reads is admitted against the budget before its pixels
// are allocated (the codecs ask as soon as a header gives the size), and
// holds its share until the frame is released. A reader whose frame does
// not fit beside those already held waits, first come first served, so very
// large frames lower the number read at once instead of failing; only a
// frame larger than the whole budget fails, with a message. The default
// budget is half of the machine's memory, which leaves the other half for
// what each frame brings along (its coarse copy and search window, never
// larger than the frame) and for everything else.

#include "processor/ProcessorAccess.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace Tellvar {

class MainProcessor;

class FrameBudget {
public:
    explicit FrameBudget(std::uint64_t bytes);
    FrameBudget(const FrameBudget&) = delete;
    FrameBudget& operator=(const FrameBudget&) = delete;

    // Half of the physical memory, or of the address space the process may
    // use when a limit makes that smaller.
    static std::uint64_t fromPhysicalMemory();

    std::uint64_t bytes() const { return bytes_; }
    // The most bytes that were held at once.
    std::uint64_t peakHeld();

    // A share of the budget, given back when the holder is destroyed or
    // released.
    class Reservation {
    public:
        Reservation() = default;
        ~Reservation() { release(); }
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        void release();

    private:
        friend class FrameBudget;
        FrameBudget* owner_ = nullptr;
        std::uint64_t bytes_ = 0;
    };

    // Waits until bytes fit beside what is held, in the order of the
    // requests, and hands the share to *reservation (empty on entry).
    // False at once, nothing reserved, when bytes exceed the whole budget.
    bool reserve(std::uint64_t bytes, Reservation* reservation);

private:
    void giveBack(std::uint64_t bytes);

    const std::uint64_t bytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t held_ = 0;
    std::uint64_t peak_ = 0;
    std::uint64_t nextTicket_ = 0;  // requests are served in ticket order
    std::uint64_t serving_ = 0;
};

namespace detail {

// Reads path with the processor's codec once the budget admits the frame;
// the frame's share is handed to *hold (empty on entry), which must outlive
// the frame. A frame larger than the whole budget fails the read.
FrameRead readWithinBudget(MainProcessor& processor, const std::string& path, FrameBudget& budget,
                           FrameBudget::Reservation* hold);

// The refusal of a frame larger than the whole budget.
std::string frameExceedsBudgetMessage(const std::string& path, std::uint64_t frameBytes,
                                      std::uint64_t budgetBytes);

}  // namespace detail
}  // namespace Tellvar
