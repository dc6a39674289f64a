#pragma once
// A scheduling hint for the threads on a batch's critical path.
//
// A batch ends when its slowest thread does, and a per-frame thread that
// only finishes a prepared frame works for a fraction of a millisecond,
// while the run's readers, busy with the frames ahead, each hold a core
// for the scheduler's whole default slice. The scheduler places a new
// thread behind them; asked for a short slice, it runs the thread as soon
// as it is started instead. The hint asks for no larger share of the
// processors (the thread's policy and nice value stay as they are), so
// other programs lose nothing by it; a kernel that does not take slice
// requests, or a sandbox that refuses the call, leaves the thread as it
// was.

namespace Tellvar {
namespace detail {

// The shortest slice the scheduler takes, in nanoseconds.
constexpr unsigned long long kShortSliceNanoseconds = 100'000;

// Asks for kShortSliceNanoseconds slices for the calling thread; false
// when the system did not take the request.
bool requestShortSlice();

// The calling thread's policy, nice value and slice as the kernel reports
// them (the slice is 0 where the kernel keeps none per thread); false when
// it reports nothing.
struct ThreadScheduling {
    unsigned policy = 0;
    int nice = 0;
    unsigned long long slice = 0;
};
bool readThreadScheduling(ThreadScheduling* scheduling);

}  // namespace detail
}  // namespace Tellvar
