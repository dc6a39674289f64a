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

class ScanArena;

// Rows of 16-bit samples, zero beyond the used width; in an arena's memory,
// or in memory of their own.
struct SampleRows {
    std::int16_t* samples = nullptr;
    std::unique_ptr<std::int16_t[]> owned;
    std::size_t stride = 0;  // in samples
    const std::int16_t* row(int index) const {
        return samples + static_cast<std::size_t>(index) * stride;
    }
    std::int16_t* row(int index) { return samples + static_cast<std::size_t>(index) * stride; }
};

// Memory for count elements from the arena, or of the caller's own (owned)
// without one; null when it cannot be had.
template <class T>
T* workingArray(ScanArena* arena, std::size_t count, std::unique_ptr<T[]>* owned);

// The first byte of every pixel of a buffer of 3-byte pixels whose rows are
// rowBytes apart (width x 3 for a packed buffer), rows in the buffer's own
// order, each followed by zero samples up to stride (at least width). The
// rows come from the arena, or from memory of their own without one. False
// when the memory cannot be had.
bool extractSamples(const KernelSet& kernels, const unsigned char* pixels, int width, int height,
                    std::size_t stride, SampleRows* out, std::size_t rowBytes = 0,
                    ScanArena* arena = nullptr);

// Sample sum and sum of squares of every column of a plane over a band of
// bandHeight rows, moved a row at a time as a scan goes down (or up, in a
// bottom-up buffer) the plane, with the given level's kernels.
class ColumnSums {
public:
    explicit ColumnSums(const KernelSet& kernels) : kernels_(kernels) {}

    // From the arena, or of its own without one; false when the memory
    // cannot be had.
    bool allocate(int width, int bandHeight, ScanArena* arena = nullptr);
    // The band starting at row top (0-based); a band fewer than half its
    // height away is slid to a row at a time, any other summed afresh.
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
    long long* sum_ = nullptr;
    long long* squares_ = nullptr;
    std::unique_ptr<long long[]> ownedSum_, ownedSquares_;
};

}  // namespace detail
}  // namespace Tellvar
