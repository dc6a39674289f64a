// The run's own stacks for its per-frame threads.

#include "run/FrameStacks.h"
#include "run/FrameThread.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdint>

namespace Tellvar::detail {
namespace {

// How deep a task's locals lie: the address of one, and room used below it.
std::uintptr_t deepLocal(int depth) {
    volatile unsigned char room[16 * 1024];
    room[0] = static_cast<unsigned char>(depth);
    if (depth > 0) return deepLocal(depth - 1) + room[0] * 0;
    return reinterpret_cast<std::uintptr_t>(&room[sizeof room - 1]);
}

TEST(FrameStacks, EachSlotRunsItsThreadsOnItsOwnGuardedStack) {
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const FrameStacks stacks(3, kFrameThreadStack);
    ASSERT_EQ(stacks.stackBytes(), kFrameThreadStack);
    EXPECT_EQ(stacks.stack(-1), nullptr);
    EXPECT_EQ(stacks.stack(3), nullptr);
    for (int slot = 0; slot < 3; ++slot) {
        const auto low = reinterpret_cast<std::uintptr_t>(stacks.stack(slot));
        ASSERT_NE(low, 0u);
        EXPECT_EQ(low % page, 0u);
        // A guard page between neighbours: no stack runs into the next.
        if (slot > 0) {
            EXPECT_GE(low - reinterpret_cast<std::uintptr_t>(stacks.stack(slot - 1)),
                      kFrameThreadStack + page);
        }
    }
    // Batch after batch, slot i's thread runs on stack i, 256 KiB deep.
    for (int batch = 0; batch < 2; ++batch)
        for (int slot = 0; slot < 3; ++slot) {
            std::uintptr_t shallow = 0, deep = 0;
            FrameThread thread(
                [&] {
                    volatile int local = 0;
                    shallow = reinterpret_cast<std::uintptr_t>(&local);
                    deep = deepLocal(16);
                },
                stacks.stack(slot));
            thread.join();
            const auto low = reinterpret_cast<std::uintptr_t>(stacks.stack(slot));
            EXPECT_GT(deep, low) << "slot " << slot;
            EXPECT_LT(deep, shallow) << "slot " << slot;
            EXPECT_LT(shallow, low + kFrameThreadStack) << "slot " << slot;
        }
    EXPECT_DEATH(*(static_cast<volatile char*>(stacks.stack(1)) - 1) = 1, "");
    // Without stacks of the run's, a thread gets one of the library's.
    const FrameStacks none(0, kFrameThreadStack);
    EXPECT_EQ(none.stack(0), nullptr);
    bool ran = false;
    FrameThread fallback([&] { ran = true; }, none.stack(0));
    fallback.join();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace Tellvar::detail
