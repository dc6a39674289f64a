// The scattered head: which samples it takes, where it finds them in the
// searched plane, and the tail it leaves for the bound.

#include "registration/SamplePlanes.h"
#include "registration/ScanArena.h"
#include "registration/ScatteredHead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using namespace Tellvar::detail;

// A patch whose rows are held busiest first, as the scan holds them: row i
// of `ordered` is the natural row naturalRows[i].
struct Ordered {
    std::vector<std::int16_t> samples;
    std::vector<int> naturalRows;
    SampleRows rows;
    long long sum = 0, squares = 0;
    int width, height;

    Ordered(std::vector<std::vector<int>> ordered, std::vector<int> natural)
        : naturalRows(std::move(natural)),
          width(static_cast<int>(ordered[0].size())),
          height(static_cast<int>(ordered.size())) {
        for (const auto& row : ordered)
            for (int v : row) {
                samples.push_back(static_cast<std::int16_t>(v));
                sum += v;
                squares += v * v;
            }
        rows.samples = samples.data();
        rows.stride = static_cast<std::size_t>(width);
    }
    OrderedPatch patch() const { return {rows, naturalRows.data(), width, height, sum, squares}; }
};

TEST(ScatteredHead, TakesTheSamplesFarthestFromTheMeanWithTheTailLeftOver) {
    // Mean 40: the 160 is farthest (120), then the 0s and the 80s (40 each),
    // of which the lower value comes first, in row order; farthest first.
    const Ordered ordered({{0, 160, 80, 0}, {80, 0, 0, 0}}, {1, 0});
    ScanArena& arena = ScanArena::forThisThread();
    ScanArena::Scope scope(arena);
    constexpr std::size_t kPlaneStride = 100;
    const ScatteredHead head = chooseScatteredHead(ordered.patch(), kPlaneStride, 3, &arena);
    ASSERT_EQ(head.samples, 3);
    const std::int16_t weights[] = {160, 0, 0}, centred[] = {120, -40, -40};
    // The first ordered row is the patch's natural row 1.
    const std::ptrdiff_t offsets[] = {100 + 1, 100 + 0, 100 + 3};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(head.weights[k], weights[k]) << k;
        EXPECT_EQ(head.centredWeights[k], centred[k]) << k;
        EXPECT_EQ(head.offsets[k], offsets[k]) << k;
    }
    // (8 * 160 - 3 * 320) / 8^2; the tail is the other five samples, 80,
    // 80, 0, 0, 0, each 40 from the mean; the deviation is formed a little high.
    const auto expectReference = [](const ScatteredReference& r, double meanShare,
                                    double tailSquares) {
        EXPECT_EQ(r.meanShare, meanShare);
        EXPECT_GE(r.deviation, std::sqrt(tailSquares) * (1 + 0x1p-53));
        EXPECT_LE(r.deviation, std::sqrt(tailSquares) * (1 + 0x1p-48));
        EXPECT_GT(r.margin, 0.0);
        EXPECT_LT(r.margin, 0.1);  // against numerators of thousands
    };
    expectReference(head.reference, 5.0, 5 * 1600.0);

    // Cut to the farthest sample, the 0s go back to the tail.
    ScatteredHead narrowed = head;
    narrowScatteredHead(&narrowed, 1, ordered.sum, ordered.squares);
    EXPECT_EQ(narrowed.samples, 1);
    expectReference(narrowed.reference, (8 * 160 - 320) / 64.0, 7 * 1600.0);
}

TEST(ScatteredHead, NoneWhereTheSetWouldBeHalfThePatchOrMore) {
    const Ordered ordered({{1, 2, 3}, {4, 5, 6}}, {0, 1});
    ScanArena& arena = ScanArena::forThisThread();
    ScanArena::Scope scope(arena);
    for (int count : {0, 4, 6, kMostScatteredSamples + 1})
        EXPECT_EQ(chooseScatteredHead(ordered.patch(), 3, count, &arena).samples, 0) << count;
    EXPECT_EQ(chooseScatteredHead(ordered.patch(), 3, 3, &arena).samples, 3);
}

}  // namespace
