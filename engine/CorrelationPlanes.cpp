// Sample planes and running column sums of the fast scan.

#include "CorrelationPlanes.h"

#include "CorrelationKernels.h"

#include <algorithm>
#include <new>

#if defined(__SSE2__)
#define TELLVAR_SSE2_SUMS 1
#include <immintrin.h>
#endif

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
        slide(plane.row(top_), plane.row(top_ + bandHeight_));
    } else if (top_ >= 0 && top == top_ - 1) {
        slide(plane.row(top_ + bandHeight_ - 1), plane.row(top));
    } else if (top != top_) {
        std::fill(sum_.get(), sum_.get() + width_, 0LL);
        std::fill(squares_.get(), squares_.get() + width_, 0LL);
        for (int r = 0; r < bandHeight_; ++r) add(plane.row(top + r));
    }
    top_ = top;
}


#ifdef TELLVAR_SSE2_SUMS

namespace {

// Adds four signed 32-bit lanes to four 64-bit sums.
void addWidened(long long* to, __m128i lanes) {
    const __m128i sign = _mm_srai_epi32(lanes, 31);
    __m128i* low = reinterpret_cast<__m128i*>(to);
    __m128i* high = reinterpret_cast<__m128i*>(to + 2);
    _mm_storeu_si128(low, _mm_add_epi64(_mm_loadu_si128(low), _mm_unpacklo_epi32(lanes, sign)));
    _mm_storeu_si128(high,
                     _mm_add_epi64(_mm_loadu_si128(high), _mm_unpackhi_epi32(lanes, sign)));
}

}  // namespace

#endif

// Both updates run four columns at a time where SSE2 is there (every x86-64
// processor): samples are bytes, so the column changes fit 32-bit lanes, and
// in^2 - out^2 is one multiply-add of the pairs (in, out) and (in, -out).
void ColumnSums::add(const std::int16_t* row) {
    int c = 0;
#ifdef TELLVAR_SSE2_SUMS
    const __m128i zero = _mm_setzero_si128();
    for (; c + 4 <= width_; c += 4) {
        const __m128i in = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + c));
        addWidened(sum_.get() + c, _mm_unpacklo_epi16(in, zero));
        addWidened(squares_.get() + c, _mm_madd_epi16(_mm_unpacklo_epi16(in, zero),
                                                      _mm_unpacklo_epi16(in, zero)));
    }
#endif
    for (; c < width_; ++c) {
        const long long v = row[c];
        sum_[c] += v;
        squares_[c] += v * v;
    }
}

void ColumnSums::slide(const std::int16_t* leaving, const std::int16_t* entering) {
    int c = 0;
#ifdef TELLVAR_SSE2_SUMS
    const __m128i zero = _mm_setzero_si128();
    for (; c + 4 <= width_; c += 4) {
        const __m128i out = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(leaving + c));
        const __m128i in = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(entering + c));
        addWidened(sum_.get() + c,
                   _mm_sub_epi32(_mm_unpacklo_epi16(in, zero), _mm_unpacklo_epi16(out, zero)));
        addWidened(squares_.get() + c,
                   _mm_madd_epi16(_mm_unpacklo_epi16(in, out),
                                  _mm_unpacklo_epi16(in, _mm_sub_epi16(zero, out))));
    }
#endif
    for (; c < width_; ++c) {
        const long long out = leaving[c], in = entering[c];
        sum_[c] += in - out;
        squares_[c] += in * in - out * out;
    }
}

// Rows added into 32-bit lanes before they are widened: 255^2 times this
// stays below 2^31.
constexpr int kRowsPer32BitSum = 32768;

#ifdef TELLVAR_SSE2_SUMS
namespace {

// sumRowSet's loop eight columns at a time; returns the columns done.
__attribute__((target("avx2"))) int sumRowSetAvx2(const std::int16_t* first,
                                                  const std::ptrdiff_t* offsets, int rows,
                                                  int width, long long* sum,
                                                  long long* squares) {
    int c = 0;
    for (; c + 8 <= width; c += 8) {
        __m256i sums = _mm256_setzero_si256(), squareSums = _mm256_setzero_si256();
        for (int r = 0; r < rows; ++r) {
            // Samples are bytes: as 32-bit lanes their upper halves are 0,
            // so one multiply-add squares each.
            const __m256i in = _mm256_cvtepu16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + offsets[r] + c)));
            sums = _mm256_add_epi32(sums, in);
            squareSums = _mm256_add_epi32(squareSums, _mm256_madd_epi16(in, in));
        }
        for (int half = 0; half < 2; ++half) {
            const __m128i s = half == 0 ? _mm256_castsi256_si128(sums)
                                        : _mm256_extracti128_si256(sums, 1);
            const __m128i q = half == 0 ? _mm256_castsi256_si128(squareSums)
                                        : _mm256_extracti128_si256(squareSums, 1);
            __m256i* sumTo = reinterpret_cast<__m256i*>(sum + c + 4 * half);
            __m256i* squaresTo = reinterpret_cast<__m256i*>(squares + c + 4 * half);
            _mm256_storeu_si256(sumTo, _mm256_add_epi64(_mm256_loadu_si256(sumTo),
                                                        _mm256_cvtepi32_epi64(s)));
            _mm256_storeu_si256(squaresTo, _mm256_add_epi64(_mm256_loadu_si256(squaresTo),
                                                            _mm256_cvtepi32_epi64(q)));
        }
    }
    return c;
}

}  // namespace
#endif

void ColumnSums::sumRowSet(const SampleRows& plane, int top, const std::ptrdiff_t* rowOffsets,
                           int rows) {
    std::fill(sum_.get(), sum_.get() + width_, 0LL);
    std::fill(squares_.get(), squares_.get() + width_, 0LL);
    const std::int16_t* first = plane.row(top);
    for (int done = 0; done < rows; done += kRowsPer32BitSum) {
        const std::ptrdiff_t* offsets = rowOffsets + done;
        const int count = std::min(kRowsPer32BitSum, rows - done);
        int c = 0;
#ifdef TELLVAR_SSE2_SUMS
        // Four (or eight) columns at a time, all the rows into 32-bit lanes,
        // widened once: the rows are few and scattered, the columns many.
        if (fastestSimdLevel() == SimdLevel::Avx2)
            c = sumRowSetAvx2(first, offsets, count, width_, sum_.get(), squares_.get());
        const __m128i zero = _mm_setzero_si128();
        for (; c + 4 <= width_; c += 4) {
            __m128i sums = zero, squares = zero;
            for (int r = 0; r < count; ++r) {
                const __m128i in = _mm_unpacklo_epi16(
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first + offsets[r] + c)),
                    zero);
                sums = _mm_add_epi32(sums, in);
                squares = _mm_add_epi32(squares, _mm_madd_epi16(in, in));
            }
            addWidened(sum_.get() + c, sums);
            addWidened(squares_.get() + c, squares);
        }
#endif
        for (; c < width_; ++c)
            for (int r = 0; r < count; ++r) {
                const long long v = first[offsets[r] + c];
                sum_[c] += v;
                squares_[c] += v * v;
            }
    }
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
