// Column sums of the fast scan against plain loops: a band slid up and
// down, any set of rows, and the running totals the kernels read, on the
// kernels of every instruction set this processor has.

#include "KernelLevels.h"
#include "registration/SamplePlanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Tellvar::detail::ColumnSums;
using Tellvar::detail::SampleRows;
using Tellvar::detail::SimdLevel;

class ColumnSumsOnLevel : public ::testing::TestWithParam<SimdLevel> {
protected:
    ColumnSums makeSums() const { return ColumnSums(Tellvar::detail::kernelsFor(GetParam())); }
};

// A random plane of byte samples, as extractSamples leaves them.
SampleRows randomPlane(SimdLevel level, int width, int height, std::mt19937& random) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (unsigned char& v : pixels) v = static_cast<unsigned char>(random());
    SampleRows plane;
    EXPECT_TRUE(Tellvar::detail::extractSamples(Tellvar::detail::kernelsFor(level), pixels.data(),
                                                width, height, static_cast<std::size_t>(width) + 8,
                                                &plane));
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            EXPECT_EQ(plane.row(r)[c], pixels[(static_cast<std::size_t>(r) * width + c) * 3]);
    return plane;
}

// Expected column sums over the rows top + offsets[i] / stride.
void expectColumnSums(const ColumnSums& sums, const SampleRows& plane, int width, int top,
                      const std::vector<int>& rows) {
    for (int c = 0; c < width; ++c) {
        long long sum = 0, squares = 0;
        for (int r : rows) {
            const long long v = plane.row(top + r)[c];
            sum += v;
            squares += v * v;
        }
        ASSERT_EQ(sums.sum(c), sum) << "column " << c;
        ASSERT_EQ(sums.squares(c), squares) << "column " << c;
    }
}

TEST_P(ColumnSumsOnLevel, RowSetsOfAnyOrderAndWidth) {
    std::mt19937 random(41);
    // Widths around the four- and eight-column steps, with remainders.
    for (int width : {1, 3, 4, 7, 8, 9, 16, 37}) {
        const SampleRows plane = randomPlane(GetParam(), width, 30, random);
        ColumnSums sums = makeSums();
        ASSERT_TRUE(sums.allocate(width, 1));
        for (int trial = 0; trial < 6; ++trial) {
            std::vector<int> rows;
            std::vector<std::ptrdiff_t> offsets;
            const int count = 1 + static_cast<int>(random() % 12);
            for (int i = 0; i < count; ++i) {
                rows.push_back(static_cast<int>(random() % 20));  // repeats allowed
                offsets.push_back(static_cast<std::ptrdiff_t>(rows.back()) *
                                  static_cast<std::ptrdiff_t>(plane.stride));
            }
            const int top = static_cast<int>(random() % 10);
            sums.sumRowSet(plane, top, offsets.data(), count);
            SCOPED_TRACE("width " + std::to_string(width) + " trial " + std::to_string(trial));
            expectColumnSums(sums, plane, width, top, rows);

            std::vector<long long> totals(width + 1), squareTotals(width + 1);
            sums.runningTotals(totals.data(), squareTotals.data());
            long long sum = 0, squares = 0;
            for (int c = 0; c <= width; ++c) {
                ASSERT_EQ(totals[c], sum);
                ASSERT_EQ(squareTotals[c], squares);
                if (c < width) {
                    sum += sums.sum(c);
                    squares += sums.squares(c);
                }
            }
        }
    }
}

TEST_P(ColumnSumsOnLevel, ABandSlidDownUpAndAfterARowSet) {
    std::mt19937 random(42);
    // Wide enough for whole vectors of every level, with a remainder.
    const int width = 13, band = 5;
    const SampleRows plane = randomPlane(GetParam(), width, 40, random);
    ColumnSums sums = makeSums();
    ASSERT_TRUE(sums.allocate(width, band));
    std::vector<int> bandRows;
    for (int r = 0; r < band; ++r) bandRows.push_back(r);
    // Down a row at a time, up again, a jump, and back to a band after the
    // same sums held a set of rows.
    for (int top : {0, 1, 2, 3, 2, 1, 20, 21, 35, 34}) {
        sums.moveTo(plane, top);
        expectColumnSums(sums, plane, width, top, bandRows);
    }
    const std::ptrdiff_t offset = 3 * static_cast<std::ptrdiff_t>(plane.stride);
    sums.sumRowSet(plane, 33, &offset, 1);
    sums.moveTo(plane, 34);
    expectColumnSums(sums, plane, width, 34, bandRows);
}

INSTANTIATE_TEST_SUITE_P(Levels, ColumnSumsOnLevel,
                         ::testing::ValuesIn(kerneltest::supportedLevels()),
                         [](const auto& info) { return kerneltest::levelName(info.param); });

}  // namespace
