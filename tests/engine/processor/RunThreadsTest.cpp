// The per-frame threads of a run: their stacks and their scheduling.

#include "run/FrameStacks.h"
#include "run/FrameThread.h"
#include "run/ShortSlice.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cstdint>
#include <thread>

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

// Each case on a thread of its own, set up as given, then asking for the
// short slice: only the slice may change, and only for the normal
// policies.
TEST(ShortSlice, ChangesTheSliceAndNeitherPolicyNorNiceValue) {
    struct Case {
        const char* name;
        int policy, nice;
        bool taken;
    };
    const Case cases[] = {{"normal", SCHED_OTHER, 0, true},
                          {"niced", SCHED_OTHER, 7, true},
                          {"batch", SCHED_BATCH, 3, true},
                          {"idle", SCHED_IDLE, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread([&c] {
            const sched_param none{};
            ASSERT_EQ(sched_setscheduler(0, c.policy, &none), 0);
            ASSERT_EQ(setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), c.nice), 0);
            ThreadScheduling before, after;
            ASSERT_TRUE(readThreadScheduling(&before));
            EXPECT_EQ(requestShortSlice(), c.taken);
            ASSERT_TRUE(readThreadScheduling(&after));
            EXPECT_EQ(after.policy, static_cast<unsigned>(c.policy));
            EXPECT_EQ(after.nice, c.nice);
            // A kernel that keeps a slice per thread reports one for every
            // normal thread; it is then the one asked for.
            if (!c.taken || before.slice == 0)
                EXPECT_EQ(after.slice, before.slice);
            else
                EXPECT_EQ(after.slice, kShortSliceNanoseconds);
        }).join();
    }
}

}  // namespace
}  // namespace Tellvar::detail
