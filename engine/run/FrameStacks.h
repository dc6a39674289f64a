#pragma once
// The stacks of a run's per-frame threads, mapped once for the run.
//
// A batch's threads come and go, but a run never has more of them at once
// than a batch holds, so slot i of every batch can run on the same stack.
// The C library hands the stacks it keeps for its own threads back to the
// kernel as each thread ends (one madvise a thread, which stops every
// running thread of the process to flush its mappings); a stack the caller
// gives is left as it is, so a batch starts and ends without touching the
// process's mappings.

#include <cstddef>

namespace Tellvar {
namespace detail {

class FrameStacks {
public:
    // count stacks of stackBytes each (rounded up to whole pages), each
    // above a guard page; none when the system will not map them.
    FrameStacks(int count, std::size_t stackBytes);
    ~FrameStacks();

    FrameStacks(const FrameStacks&) = delete;
    FrameStacks& operator=(const FrameStacks&) = delete;

    // The lowest address of slot's stack, or nullptr when there is none
    // for it (the thread then gets a stack of the library's).
    void* stack(int slot) const;
    std::size_t stackBytes() const { return stackBytes_; }

private:
    void* mapping_ = nullptr;
    std::size_t mappingBytes_ = 0, guardBytes_ = 0, stackBytes_ = 0;
    int count_ = 0;
};

}  // namespace detail
}  // namespace Tellvar
