// Sample planes and running column sums of the fast scan.

#include "registration/SamplePlanes.h"

#include <algorithm>
#include <new>

namespace Tellvar {
namespace detail {

bool extractSamples(const unsigned char* pixels, int width, int height, std::size_t stride,
                    SampleRows* out) {
    out->stride = stride;
    out->samples.reset(new (std::nothrow) std::int16_t[stride * static_cast<std::size_t>(height)]);
    if (!out->samples) return false;
    for (int row = 0; row < height; ++row) {
        const unsigned char* from = pixels + static_cast<std::size_t>(row) * width * 3;
        std::int16_t* to = out->samples.get() + static_cast<std::size_t>(row) * stride;
        for (int c = 0; c < width; ++c) to[c] = from[3 * c];
        std::fill(to + width, to + stride, std::int16_t{0});
    }
    return true;
}

bool ColumnSums::allocate(int width, int bandHeight) {
    width_ = width;
    bandHeight_ = bandHeight;
    top_ = -1;
    sum_.reset(new (std::nothrow) long long[static_cast<std::size_t>(width)]);
    squares_.reset(new (std::nothrow) long long[static_cast<std::size_t>(width)]);
    return sum_ && squares_;
}

void ColumnSums::moveTo(const SampleRows& plane, int top) {
    if (top_ >= 0 && top == top_ + 1) {
        kernels_.slideRow(plane.row(top_), plane.row(top_ + bandHeight_), width_, sum_.get(),
                          squares_.get());
    } else if (top_ >= 0 && top == top_ - 1) {
        kernels_.slideRow(plane.row(top_ + bandHeight_ - 1), plane.row(top), width_, sum_.get(),
                          squares_.get());
    } else if (top != top_) {
        std::fill(sum_.get(), sum_.get() + width_, 0LL);
        std::fill(squares_.get(), squares_.get() + width_, 0LL);
        for (int r = 0; r < bandHeight_; ++r)
            kernels_.addRow(plane.row(top + r), width_, sum_.get(), squares_.get());
    }
    top_ = top;
}

void ColumnSums::sumRowSet(const SampleRows& plane, int top, const std::ptrdiff_t* rowOffsets,
                           int rows) {
    std::fill(sum_.get(), sum_.get() + width_, 0LL);
    std::fill(squares_.get(), squares_.get() + width_, 0LL);
    kernels_.addRowSet(plane.row(top), rowOffsets, rows, width_, sum_.get(), squares_.get());
    top_ = -1;
}

void ColumnSums::runningTotals(long long* sums, long long* squares) const {
    long long sum = 0, square = 0;
    sums[0] = squares[0] = 0;
    for (int c = 0; c < width_; ++c) {
        sums[c + 1] = sum += sum_[c];
        squares[c + 1] = square += squares_[c];
    }
}

}  // namespace detail
}  // namespace Tellvar
