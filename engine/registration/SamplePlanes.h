#pragma once
// The working data of the fast scan: the correlation samples of a buffer as
// rows of 16-bit values, and running sums over them. Every sum is exact in
// 64-bit integers.

#include "registration/kernels/CorrelationKernels.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Tellvar {
namespace detail {

// Rows of 16-bit samples, zero beyond the used width.
struct SampleRows {
    std::unique_ptr<std::int16_t[]> samples;
    std::size_t stride = 0;  // in samples
    const std::int16_t* row(int index) const {
        return samples.get() + static_cast<std::size_t>(index) * stride;
    }
};

// The first byte of every pixel of a packed buffer (3 bytes a pixel), rows
// in the buffer's own order, each row followed by zero samples up to
// stride (at least width). False when the memory cannot be had.
bool extractSamples(const unsigned char* pixels, int width, int height, std::size_t stride,
                    SampleRows* out);

// Sample sum and sum of squares of every column of a plane over a band of
// bandHeight rows, moved a row at a time as a scan goes down (or up, in a
// bottom-up buffer) the plane, with the given level's kernels.
class ColumnSums {
public:
    explicit ColumnSums(const KernelSet& kernels) : kernels_(kernels) {}

    // False when the memory cannot be had.
    bool allocate(int width, int bandHeight);
    // The band starting at row top (0-based); a neighbouring band is slid
    // to, any other summed afresh.
    void moveTo(const SampleRows& plane, int top);

    // The column sums of any set of rows instead of a band: the rows at
    // rowOffsets[0 .. rows - 1] (in samples) from row top. The next moveTo
    // sums its band afresh.
    void sumRowSet(const SampleRows& plane, int top, const std::ptrdiff_t* rowOffsets, int rows);

    // Running totals of the columns: sums[c] and squares[c] over columns
    // 0 .. c - 1, for c = 0 .. width (width + 1 entries each).
    void runningTotals(long long* sums, long long* squares) const;

    long long sum(int column) const { return sum_[column]; }
    long long squares(int column) const { return squares_[column]; }

private:
    const KernelSet& kernels_;
    int width_ = 0;
    int bandHeight_ = 0;
    int top_ = -1;
    std::unique_ptr<long long[]> sum_;
    std::unique_ptr<long long[]> squares_;
};

// Sums over a candidate-wide window of a band's columns, slid one column at
// a time.
struct WindowSums {
    long long sum = 0;
    long long squares = 0;

    // The window of width columns from column left (0-based).
    void start(const ColumnSums& columns, int left, int width) {
        sum = squares = 0;
        for (int c = left; c < left + width; ++c) {
            sum += columns.sum(c);
            squares += columns.squares(c);
        }
    }
    // From the window at column left - 1 to the one at left.
    void slide(const ColumnSums& columns, int left, int width) {
        sum += columns.sum(left + width - 1) - columns.sum(left - 1);
        squares += columns.squares(left + width - 1) - columns.squares(left - 1);
    }
};

}  // namespace detail
}  // namespace Tellvar
