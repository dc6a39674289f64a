#include "run/ShortSlice.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cstdint>

namespace Tellvar {
namespace detail {

namespace {

// The kernel's scheduling attributes (sched_setattr(2)), in its own layout:
// the C library has no declaration of them.
struct SchedulingAttributes {
    std::uint32_t size;
    std::uint32_t policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime;  // for the normal policies: the slice asked for
    std::uint64_t deadline;
    std::uint64_t period;
};

constexpr std::uint64_t kResetOnFork = 0x01;  // SCHED_FLAG_RESET_ON_FORK

bool readAttributes(SchedulingAttributes* attributes) {
#if defined(SYS_sched_getattr)
    *attributes = {};
    return syscall(SYS_sched_getattr, 0, attributes, sizeof *attributes, 0) == 0;
#else
    return false;
#endif
}

}  // namespace

bool readThreadScheduling(ThreadScheduling* scheduling) {
    SchedulingAttributes attributes;
    if (!readAttributes(&attributes)) return false;
    scheduling->policy = attributes.policy;
    scheduling->nice = attributes.nice;
    scheduling->slice = attributes.runtime;
    return true;
}

bool requestShortSlice() {
#if defined(SYS_sched_setattr)
    SchedulingAttributes attributes;
    if (!readAttributes(&attributes)) return false;
    // Only the normal policies take a slice; the others give runtime other
    // meanings.
    if (attributes.policy != SCHED_OTHER && attributes.policy != SCHED_BATCH) return false;
    // Policy, nice value and the reset-on-fork flag as they are: only the
    // slice changes.
    attributes.size = sizeof attributes;
    attributes.flags &= kResetOnFork;
    attributes.runtime = kShortSliceNanoseconds;
    return syscall(SYS_sched_setattr, 0, &attributes, 0) == 0;
#else
    return false;
#endif
}

}  // namespace detail
}  // namespace Tellvar
