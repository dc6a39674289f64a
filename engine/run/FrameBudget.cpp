#include "run/FrameBudget.h"

#include "Brennock/MainProcessor.h"
#include "codecs/FrameAdmission.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace Tellvar {

namespace {

// Without a figure from the system, a machine is taken to have 1 GiB.
constexpr std::uint64_t kAssumedMemory = 1ull << 30;

std::uint64_t megabytesUp(std::uint64_t bytes) { return (bytes + (1u << 20) - 1) >> 20; }

// Admits a read's frame against the run's budget.
class BudgetAdmission : public detail::FrameAdmission {
public:
    BudgetAdmission(FrameBudget& budget, FrameBudget::Reservation* hold)
        : budget_(budget), hold_(hold) {}

    bool admit(std::uint64_t frameBytes, const std::string& path, std::string* errorText) override {
        if (budget_.reserve(frameBytes, hold_)) return true;
        *errorText = detail::frameExceedsBudgetMessage(path, frameBytes, budget_.bytes());
        return false;
    }

private:
    FrameBudget& budget_;
    FrameBudget::Reservation* hold_;
};

}  // namespace

FrameBudget::FrameBudget(std::uint64_t bytes) : bytes_(bytes) {}

std::uint64_t FrameBudget::fromPhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    std::uint64_t memory = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) *
                                                           static_cast<std::uint64_t>(pageSize)
                                                     : kAssumedMemory;
    rlimit addressSpace{};
    if (getrlimit(RLIMIT_AS, &addressSpace) == 0 && addressSpace.rlim_cur != RLIM_INFINITY)
        memory = std::min<std::uint64_t>(memory, addressSpace.rlim_cur);
    return memory / 2;
}

std::uint64_t FrameBudget::peakHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
}

bool FrameBudget::reserve(std::uint64_t bytes, Reservation* reservation) {
    if (bytes > bytes_) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    changed_.wait(lock, [&] { return serving_ == ticket && held_ + bytes <= bytes_; });
    ++serving_;
    held_ += bytes;
    peak_ = std::max(peak_, held_);
    // The next in line may fit beside this one.
    changed_.notify_all();
    reservation->owner_ = this;
    reservation->bytes_ = bytes;
    return true;
}

void FrameBudget::giveBack(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ -= bytes;
    changed_.notify_all();
}

void FrameBudget::Reservation::release() {
    if (owner_ != nullptr) owner_->giveBack(bytes_);
    owner_ = nullptr;
    bytes_ = 0;
}

namespace detail {

FrameRead readWithinBudget(MainProcessor& processor, const std::string& path, FrameBudget& budget,
                           FrameBudget::Reservation* hold) {
    FrameRead read;
    BudgetAdmission admission(budget, hold);
    unsigned char* pixels = nullptr;
    read.ok = openAdmitted(*processor.codec, path, &pixels, &read.frame.width, &read.frame.height,
                           &read.frame.depth, &read.message, &admission, &read.rows);
    read.frame.pixels.reset(pixels);
    return read;
}

std::string frameExceedsBudgetMessage(const std::string& path, std::uint64_t frameBytes,
                                      std::uint64_t budgetBytes) {
    return "There is not enough memory to process the image file named below.\n\n" + path +
           "\n\nThis image needs " + std::to_string(megabytesUp(frameBytes)) +
           " MB of memory, more than the " + std::to_string(budgetBytes >> 20) +
           " MB that Tellvar can use for images on this computer.\n\nPlease use smaller images "
           "or a computer with more memory, or note the filename and remove it from your active "
           "list before trying again.";
}

}  // namespace detail
}  // namespace Tellvar
