// Sample planes and running column sums of the fast scan.

#include "registration/SamplePlanes.h"

#include "registration/ScanArena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace Tellvar {
namespace detail {

template <class T>
T* workingArray(ScanArena* arena, std::size_t count, std::unique_ptr<T[]>* owned) {
    if (arena != nullptr) return arena->take<T>(count);
    owned->reset(new (std::nothrow) T[count]);
    return owned->get();
}
template std::int16_t* workingArray(ScanArena*, std::size_t, std::unique_ptr<std::int16_t[]>*);
template long long* workingArray(ScanArena*, std::size_t, std::unique_ptr<long long[]>*);

bool extractSamples(const KernelSet& kernels, const unsigned char* pixels, int width, int height,
                    std::size_t stride, SampleRows* out, std::size_t rowBytes, ScanArena* arena) {
    if (rowBytes == 0) rowBytes = static_cast<std::size_t>(width) * 3;
    out->stride = stride;
    out->samples = workingArray(arena, stride * static_cast<std::size_t>(height), &out->owned);
    if (out->samples == nullptr) return false;
    for (int row = 0; row < height; ++row) {
        std::int16_t* to = out->row(row);
        kernels.extractRow(pixels + static_cast<std::size_t>(row) * rowBytes, width, to);
        std::fill(to + width, to + stride, std::int16_t{0});
    }
    return true;
}

bool ColumnSums::allocate(int width, int bandHeight, ScanArena* arena) {
    width_ = width;
    bandHeight_ = bandHeight;
    top_ = -1;
    sum_ = workingArray(arena, static_cast<std::size_t>(width), &ownedSum_);
    squares_ = workingArray(arena, static_cast<std::size_t>(width), &ownedSquares_);
    return sum_ != nullptr && squares_ != nullptr;
}

void ColumnSums::moveTo(const SampleRows& plane, int top) {
    // A slide takes two rows, a fresh sum the band's height.
    const bool slides = top_ >= 0 && 2 * static_cast<long long>(std::abs(top - top_)) < bandHeight_;
    if (slides) {
        for (; top_ < top; ++top_)
            kernels_.slideRow(plane.row(top_), plane.row(top_ + bandHeight_), width_, sum_,
                              squares_);
        for (; top_ > top; --top_)
            kernels_.slideRow(plane.row(top_ + bandHeight_ - 1), plane.row(top_ - 1), width_, sum_,
                              squares_);
    } else if (top != top_) {
        std::fill(sum_, sum_ + width_, 0LL);
        std::fill(squares_, squares_ + width_, 0LL);
        for (int r = 0; r < bandHeight_; ++r)
            kernels_.addRow(plane.row(top + r), width_, sum_, squares_);
    }
    top_ = top;
}

void ColumnSums::sumRowSet(const SampleRows& plane, int top, const std::ptrdiff_t* rowOffsets,
                           int rows) {
    std::fill(sum_, sum_ + width_, 0LL);
    std::fill(squares_, squares_ + width_, 0LL);
    kernels_.addRowSet(plane.row(top), rowOffsets, rows, width_, sum_, squares_);
    top_ = -1;
}

void ColumnSums::runningTotals(long long* sums, long long* squares) const {
    kernels_.runningTotals(sum_, squares_, width_, sums, squares);
}

}  // namespace detail
}  // namespace Tellvar
