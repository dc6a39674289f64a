// Vector kernels of the correlation search.
//
// Dot products. The vector kernels multiply 16-bit samples pairwise and add
// neighbouring products into 32-bit lanes (pmaddwd). A lane's partial sum is
// read as unsigned: every product is at most 255 x 255, so one pmaddwd
// result is at most 130050 and a lane holds kLaneCapacity of them before it
// could wrap. The lanes are widened into 64-bit totals before that happens.
// Each dot kernel works on four neighbouring candidates at once: one load of
// a patch block serves four multiplications, and the four candidate loads
// overlap in the same cache lines. Long runs of candidates take the AVX2
// kernel's block path instead, sixteen candidates to a register, one per
// 32-bit lane, so no lanes are summed across and no row is padded to whole
// vectors (see blocksAvx2).
//
// Scores and bounds. Packed double arithmetic with the scalar code's
// operations in the scalar code's order; no fused multiply-add is enabled,
// so every lane rounds as the scalar instruction does.

#include "CorrelationKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define TELLVAR_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace Tellvar {
namespace detail {

namespace {

constexpr int kGroup = 4;  // candidates per pass

constexpr std::uint64_t kLargestPairSum = 2u * 255u * 255u;
constexpr int kLaneCapacity = static_cast<int>(0xFFFFFFFFu / kLargestPairSum);
static_assert(static_cast<std::uint64_t>(kMaxDotLength / 8) * kLargestPairSum <= 0xFFFFFFFFu,
              "one row of the longest length must fit a 32-bit lane");

// Rows a kernel may add into its 32-bit lanes before widening them, when
// each row adds pairSumsPerRow pmaddwd results to every lane.
int rowsPerFlush(int pairSumsPerRow) {
    return std::max(1, kLaneCapacity / std::max(1, pairSumsPerRow));
}

void dotScalar(const std::int16_t* patch, std::size_t patchStride,
               const std::int16_t* candidates, const std::ptrdiff_t* rowOffsets, int length, int rows,
               int count, std::uint64_t* out) {
    for (int j = 0; j < count; ++j) {
        std::uint64_t total = 0;
        const std::int16_t* p = patch;
        for (int r = 0; r < rows; ++r, p += patchStride) {
            const std::int16_t* c = candidates + rowOffsets[r] + j;
            for (int k = 0; k < length; ++k)
                total += static_cast<std::uint32_t>(p[k] * c[k]);
        }
        out[j] = total;
    }
}

// Candidate j's sum and squares from the running totals.
double windowSum(const WindowTotals& totals, int j) {
    return static_cast<double>(totals.sums[j + totals.width] - totals.sums[j]);
}
double windowSquares(const WindowTotals& totals, int j) {
    return static_cast<double>(totals.squares[j + totals.width] - totals.squares[j]);
}

double scoreOf(const ScoreReference& reference, double s, double squares, double products) {
    const double ssq = squares - s * s / reference.n;
    return (products - s * reference.sum / reference.n) / std::sqrt(ssq * reference.ssq);
}

void scoresScalar(const ScoreReference& reference, const WindowTotals& band,
                  const std::uint64_t* products, int count, double* scores) {
    for (int j = 0; j < count; ++j)
        scores[j] = scoreOf(reference, windowSum(band, j), windowSquares(band, j),
                            static_cast<double>(products[j]));
}

// Relative slack of the tail bound: far above the few roundings of its
// non-negative terms.
constexpr double kBoundSlack = 1.0 + 1e-9;

void boundsScalar(const ScoreReference& reference, const TailReference& tail,
                  const WindowTotals& band, const WindowTotals& head,
                  const std::uint64_t* headProducts, int count, double* bounds) {
    for (int j = 0; j < count; ++j) {
        const double s = windowSum(band, j);
        const double tailSum = s - windowSum(head, j);
        const double tailSquares = windowSquares(band, j) - windowSquares(head, j);
        // Integers below 2^53 throughout: exact.
        const double tailSpread = tail.samples * tailSquares - tailSum * tailSum;
        const double tailBound =
            (tail.sum * tailSum + tail.deviation * std::sqrt(tailSpread)) * tail.inverseSamples;
        const double products =
            (static_cast<double>(headProducts[j]) + (tailBound * kBoundSlack + 1.0)) + 1.0;
        bounds[j] = scoreOf(reference, s, windowSquares(band, j), products);
    }
}

#ifdef TELLVAR_X86_KERNELS

// ---- SSE2: 8 samples per step --------------------------------------------

template <int G>
__attribute__((target("sse2"))) void groupSse2(const std::int16_t* patch,
                                               std::size_t patchStride,
                                               const std::int16_t* candidates,
                                               const std::ptrdiff_t* rowOffsets, int length, int rows,
                                               std::uint64_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const int flushEvery = rowsPerFlush(length / 8);
    __m128i total[G];  // two 64-bit sums per candidate
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) total[g] = zero;

    for (int r = 0; r < rows;) {
        const int chunkEnd = std::min(rows, r + flushEvery);
        __m128i lanes[G];  // four unsigned 32-bit partial sums per candidate
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) lanes[g] = zero;
        for (; r < chunkEnd; ++r, patch += patchStride) {
            const std::int16_t* row = candidates + rowOffsets[r];
            for (int k = 0; k < length; k += 8) {
                const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(patch + k));
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    const __m128i c =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + g + k));
                    lanes[g] = _mm_add_epi32(lanes[g], _mm_madd_epi16(p, c));
                }
            }
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            total[g] = _mm_add_epi64(total[g], _mm_unpacklo_epi32(lanes[g], zero));
            total[g] = _mm_add_epi64(total[g], _mm_unpackhi_epi32(lanes[g], zero));
        }
    }
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g)
        out[g] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(total[g])) +
                 static_cast<std::uint64_t>(
                     _mm_cvtsi128_si64(_mm_unpackhi_epi64(total[g], total[g])));
}

__attribute__((target("sse2"))) void dotSse2(const std::int16_t* patch, std::size_t patchStride,
                                             const std::int16_t* candidates,
                                             const std::ptrdiff_t* rowOffsets, int length, int rows,
                                             int count, std::uint64_t* out) {
    int j = 0;
    for (; j + kGroup <= count; j += kGroup)
        groupSse2<kGroup>(patch, patchStride, candidates + j, rowOffsets, length, rows,
                          out + j);
    for (; j < count; ++j)
        groupSse2<1>(patch, patchStride, candidates + j, rowOffsets, length, rows, out + j);
}

// ---- AVX2: 16 samples per step, a last step of 8 when the length is an
// odd multiple of 8 ----------------------------------------------------------

template <int G>
__attribute__((target("avx2"))) void groupAvx2(const std::int16_t* patch,
                                               std::size_t patchStride,
                                               const std::int16_t* candidates,
                                               const std::ptrdiff_t* rowOffsets, int length, int rows,
                                               std::uint64_t* out) {
    const int wide = length / 16 * 16;
    const bool halfStep = wide != length;
    const int flushEvery = rowsPerFlush(wide / 16 + (halfStep ? 1 : 0));
    const __m256i zero = _mm256_setzero_si256();
    __m256i total[G];  // four 64-bit sums per candidate
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) total[g] = zero;

    for (int r = 0; r < rows;) {
        const int chunkEnd = std::min(rows, r + flushEvery);
        __m256i lanes[G];  // eight unsigned 32-bit partial sums per candidate
        __m128i halfLanes[G];  // the 8-sample steps, four more
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            lanes[g] = zero;
            halfLanes[g] = _mm_setzero_si128();
        }
        for (; r < chunkEnd; ++r, patch += patchStride) {
            const std::int16_t* row = candidates + rowOffsets[r];
            int k = 0;
            for (; k < wide; k += 16) {
                const __m256i p =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(patch + k));
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    const __m256i c =
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + g + k));
                    lanes[g] = _mm256_add_epi32(lanes[g], _mm256_madd_epi16(p, c));
                }
            }
            if (halfStep) {
                const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(patch + k));
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g) {
                    const __m128i c =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + g + k));
                    halfLanes[g] = _mm_add_epi32(halfLanes[g], _mm_madd_epi16(p, c));
                }
            }
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            total[g] = _mm256_add_epi64(total[g],
                                        _mm256_cvtepu32_epi64(_mm256_castsi256_si128(lanes[g])));
            total[g] = _mm256_add_epi64(
                total[g], _mm256_cvtepu32_epi64(_mm256_extracti128_si256(lanes[g], 1)));
            total[g] = _mm256_add_epi64(total[g], _mm256_cvtepu32_epi64(halfLanes[g]));
        }
    }
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) {
        const __m128i pair = _mm_add_epi64(_mm256_castsi256_si128(total[g]),
                                           _mm256_extracti128_si256(total[g], 1));
        out[g] = static_cast<std::uint64_t>(_mm_cvtsi128_si64(pair)) +
                 static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pair, pair)));
    }
}

// Sixteen neighbouring candidates per block, Blocks blocks side by side,
// with no horizontal sums: 32-bit lane i of a plain load from candidates + b
// holds the sample pair (c[b + 2i], c[b + 2i + 1]), which is candidate
// b + 2i's pair at offset 0. So with the patch pair (p[k], p[k + 1])
// broadcast to every lane, one pmaddwd of the load from candidates + k adds
//   p[k] * c[2i + k] + p[k + 1] * c[2i + k + 1]
// to the even candidates 2i, and one of the load from candidates + k + 1
// does the same for the odd candidates 2i + 1. Stepping k over the row's
// pairs gives each lane its candidate's whole dot product. pairs is the
// row's pair count; a row reads candidates[0 .. 2 * pairs + 16 * Blocks - 1],
// which is the last candidate's own padded row. out[0 .. 16 * Blocks - 1]
// are overwritten.
template <int Blocks>
__attribute__((target("avx2"))) void blocksAvx2(const std::int16_t* patch,
                                                std::size_t patchStride,
                                                const std::int16_t* candidates,
                                                const std::ptrdiff_t* rowOffsets, int pairs, int rows,
                                                std::uint64_t* out) {
    const int flushEvery = rowsPerFlush(pairs);
    const __m256i zero = _mm256_setzero_si256();
    std::fill(out, out + 16 * Blocks, std::uint64_t{0});
    for (int r = 0; r < rows;) {
        const int chunkEnd = std::min(rows, r + flushEvery);
        __m256i even[Blocks], odd[Blocks];  // unsigned 32-bit partial sums
#pragma GCC unroll 4
        for (int b = 0; b < Blocks; ++b) even[b] = odd[b] = zero;
        for (; r < chunkEnd; ++r, patch += patchStride) {
            const std::int16_t* row = candidates + rowOffsets[r];
            for (int k = 0; k < 2 * pairs; k += 2) {
                std::int32_t patchPair;
                std::memcpy(&patchPair, patch + k, sizeof patchPair);
                const __m256i p = _mm256_set1_epi32(patchPair);
#pragma GCC unroll 4
                for (int b = 0; b < Blocks; ++b) {
                    const std::int16_t* c = row + 16 * b + k;
                    even[b] = _mm256_add_epi32(
                        even[b], _mm256_madd_epi16(
                                     p, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c))));
                    odd[b] = _mm256_add_epi32(
                        odd[b], _mm256_madd_epi16(p, _mm256_loadu_si256(
                                                         reinterpret_cast<const __m256i*>(c + 1))));
                }
            }
        }
        // Lanes back into candidate order: per 128-bit half, unpacklo gives
        // candidates 0-3 (8-11), unpackhi 4-7 (12-15), widened to 64 bits.
        alignas(32) std::uint64_t widened[16];
#pragma GCC unroll 4
        for (int b = 0; b < Blocks; ++b) {
            const __m256i low = _mm256_unpacklo_epi32(even[b], odd[b]);
            const __m256i high = _mm256_unpackhi_epi32(even[b], odd[b]);
            const __m256i parts[4] = {
                _mm256_cvtepu32_epi64(_mm256_castsi256_si128(low)),
                _mm256_cvtepu32_epi64(_mm256_castsi256_si128(high)),
                _mm256_cvtepu32_epi64(_mm256_extracti128_si256(low, 1)),
                _mm256_cvtepu32_epi64(_mm256_extracti128_si256(high, 1))};
            for (int q = 0; q < 4; ++q)
                _mm256_store_si256(reinterpret_cast<__m256i*>(widened + 4 * q), parts[q]);
            for (int j = 0; j < 16; ++j) out[16 * b + j] += widened[j];
        }
    }
}

__attribute__((target("avx2"))) void dotAvx2(const std::int16_t* patch, std::size_t patchStride,
                                             const std::int16_t* candidates,
                                             const std::ptrdiff_t* rowOffsets, int length, int rows,
                                             int count, std::uint64_t* out) {
    // length is a multiple of 8, so every row is whole sample pairs.
    // Four blocks share each broadcast patch pair and still leave the
    // sixteen registers room; fewer blocks take the rest.
    const int pairs = length / 2;
    int j = 0;
    for (; j + 64 <= count; j += 64)
        blocksAvx2<4>(patch, patchStride, candidates + j, rowOffsets, pairs, rows, out + j);
    for (; j + 32 <= count; j += 32)
        blocksAvx2<2>(patch, patchStride, candidates + j, rowOffsets, pairs, rows, out + j);
    for (; j + 16 <= count; j += 16)
        blocksAvx2<1>(patch, patchStride, candidates + j, rowOffsets, pairs, rows, out + j);
    // The last few of a long run: one more block ending at the last
    // candidate, rewriting some already done with the same sums.
    if (j < count && count >= 16) {
        j = count - 16;
        blocksAvx2<1>(patch, patchStride, candidates + j, rowOffsets, pairs, rows, out + j);
        j = count;
    }
    for (; j + kGroup <= count; j += kGroup)
        groupAvx2<kGroup>(patch, patchStride, candidates + j, rowOffsets, length, rows,
                          out + j);
    for (; j < count; ++j)
        groupAvx2<1>(patch, patchStride, candidates + j, rowOffsets, length, rows, out + j);
}

// ---- Scores and bounds: the same operations as the scalar code, two or
// four lanes at a time; the remaining ones go through the scalar loop.
//
// Integer to double: a non-negative integer x below 2^52 sits in the
// mantissa of the double 2^52 + x, whose bits are those of x with 2^52's
// exponent; subtracting 2^52 then gives x exactly, as a conversion does.

constexpr long long kTwoTo52Bits = 0x4330000000000000LL;
constexpr double kTwoTo52 = 4503599627370496.0;

__attribute__((target("sse2"))) __m128d toDoubleSse2(__m128i x) {
    return _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(x, _mm_set1_epi64x(kTwoTo52Bits))),
                      _mm_set1_pd(kTwoTo52));
}

__attribute__((target("sse2"))) __m128i loadSse2(const void* from) {
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

// Lanes j, j + 1 of a window total.
__attribute__((target("sse2"))) __m128d windowSse2(const long long* totals, int width, int j) {
    return toDoubleSse2(_mm_sub_epi64(loadSse2(totals + j + width), loadSse2(totals + j)));
}

__attribute__((target("sse2"))) __m128d scoreOfSse2(const ScoreReference& reference, __m128d s,
                                                   __m128d squares, __m128d products) {
    const __m128d n = _mm_set1_pd(reference.n);
    const __m128d candidateSsq = _mm_sub_pd(squares, _mm_div_pd(_mm_mul_pd(s, s), n));
    const __m128d numerator =
        _mm_sub_pd(products, _mm_div_pd(_mm_mul_pd(s, _mm_set1_pd(reference.sum)), n));
    return _mm_div_pd(numerator,
                      _mm_sqrt_pd(_mm_mul_pd(candidateSsq, _mm_set1_pd(reference.ssq))));
}

__attribute__((target("sse2"))) void scoresSse2(const ScoreReference& reference,
                                                const WindowTotals& band,
                                                const std::uint64_t* products, int count,
                                                double* scores) {
    int j = 0;
    for (; j + 2 <= count; j += 2)
        _mm_storeu_pd(scores + j, scoreOfSse2(reference, windowSse2(band.sums, band.width, j),
                                              windowSse2(band.squares, band.width, j),
                                              toDoubleSse2(loadSse2(products + j))));
    const WindowTotals rest{band.sums + j, band.squares + j, band.width};
    scoresScalar(reference, rest, products + j, count - j, scores + j);
}

__attribute__((target("sse2"))) void boundsSse2(const ScoreReference& reference,
                                                const TailReference& tail,
                                                const WindowTotals& band,
                                                const WindowTotals& head,
                                                const std::uint64_t* headProducts, int count,
                                                double* bounds) {
    const __m128d one = _mm_set1_pd(1.0);
    int j = 0;
    for (; j + 2 <= count; j += 2) {
        const __m128d s = windowSse2(band.sums, band.width, j);
        const __m128d squares = windowSse2(band.squares, band.width, j);
        const __m128d tailSum = _mm_sub_pd(s, windowSse2(head.sums, head.width, j));
        const __m128d tailSquares = _mm_sub_pd(squares, windowSse2(head.squares, head.width, j));
        const __m128d tailSpread = _mm_sub_pd(_mm_mul_pd(_mm_set1_pd(tail.samples), tailSquares),
                                              _mm_mul_pd(tailSum, tailSum));
        const __m128d tailBound = _mm_mul_pd(
            _mm_add_pd(_mm_mul_pd(_mm_set1_pd(tail.sum), tailSum),
                       _mm_mul_pd(_mm_set1_pd(tail.deviation), _mm_sqrt_pd(tailSpread))),
            _mm_set1_pd(tail.inverseSamples));
        const __m128d products = _mm_add_pd(
            _mm_add_pd(toDoubleSse2(loadSse2(headProducts + j)),
                       _mm_add_pd(_mm_mul_pd(tailBound, _mm_set1_pd(kBoundSlack)), one)),
            one);
        _mm_storeu_pd(bounds + j, scoreOfSse2(reference, s, squares, products));
    }
    const WindowTotals bandRest{band.sums + j, band.squares + j, band.width};
    const WindowTotals headRest{head.sums + j, head.squares + j, head.width};
    boundsScalar(reference, tail, bandRest, headRest, headProducts + j, count - j, bounds + j);
}

__attribute__((target("avx2"))) __m256d toDoubleAvx2(__m256i x) {
    return _mm256_sub_pd(
        _mm256_castsi256_pd(_mm256_or_si256(x, _mm256_set1_epi64x(kTwoTo52Bits))),
        _mm256_set1_pd(kTwoTo52));
}

__attribute__((target("avx2"))) __m256i loadAvx2(const void* from) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}

// Lanes j .. j + 3 of a window total.
__attribute__((target("avx2"))) __m256d windowAvx2(const long long* totals, int width, int j) {
    return toDoubleAvx2(_mm256_sub_epi64(loadAvx2(totals + j + width), loadAvx2(totals + j)));
}

__attribute__((target("avx2"))) __m256d scoreOfAvx2(const ScoreReference& reference, __m256d s,
                                                   __m256d squares, __m256d products) {
    const __m256d n = _mm256_set1_pd(reference.n);
    const __m256d candidateSsq = _mm256_sub_pd(squares, _mm256_div_pd(_mm256_mul_pd(s, s), n));
    const __m256d numerator = _mm256_sub_pd(
        products, _mm256_div_pd(_mm256_mul_pd(s, _mm256_set1_pd(reference.sum)), n));
    return _mm256_div_pd(
        numerator, _mm256_sqrt_pd(_mm256_mul_pd(candidateSsq, _mm256_set1_pd(reference.ssq))));
}

__attribute__((target("avx2"))) void scoresAvx2(const ScoreReference& reference,
                                                const WindowTotals& band,
                                                const std::uint64_t* products, int count,
                                                double* scores) {
    int j = 0;
    for (; j + 4 <= count; j += 4)
        _mm256_storeu_pd(scores + j,
                         scoreOfAvx2(reference, windowAvx2(band.sums, band.width, j),
                                     windowAvx2(band.squares, band.width, j),
                                     toDoubleAvx2(loadAvx2(products + j))));
    const WindowTotals rest{band.sums + j, band.squares + j, band.width};
    scoresScalar(reference, rest, products + j, count - j, scores + j);
}

__attribute__((target("avx2"))) void boundsAvx2(const ScoreReference& reference,
                                                const TailReference& tail,
                                                const WindowTotals& band,
                                                const WindowTotals& head,
                                                const std::uint64_t* headProducts, int count,
                                                double* bounds) {
    const __m256d one = _mm256_set1_pd(1.0);
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m256d s = windowAvx2(band.sums, band.width, j);
        const __m256d squares = windowAvx2(band.squares, band.width, j);
        const __m256d tailSum = _mm256_sub_pd(s, windowAvx2(head.sums, head.width, j));
        const __m256d tailSquares =
            _mm256_sub_pd(squares, windowAvx2(head.squares, head.width, j));
        const __m256d tailSpread =
            _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(tail.samples), tailSquares),
                          _mm256_mul_pd(tailSum, tailSum));
        const __m256d tailBound = _mm256_mul_pd(
            _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(tail.sum), tailSum),
                          _mm256_mul_pd(_mm256_set1_pd(tail.deviation), _mm256_sqrt_pd(tailSpread))),
            _mm256_set1_pd(tail.inverseSamples));
        const __m256d products = _mm256_add_pd(
            _mm256_add_pd(toDoubleAvx2(loadAvx2(headProducts + j)),
                          _mm256_add_pd(_mm256_mul_pd(tailBound, _mm256_set1_pd(kBoundSlack)), one)),
            one);
        _mm256_storeu_pd(bounds + j, scoreOfAvx2(reference, s, squares, products));
    }
    const WindowTotals bandRest{band.sums + j, band.squares + j, band.width};
    const WindowTotals headRest{head.sums + j, head.squares + j, head.width};
    boundsScalar(reference, tail, bandRest, headRest, headProducts + j, count - j, bounds + j);
}

#endif  // TELLVAR_X86_KERNELS

}  // namespace

bool simdLevelSupported(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return true;
#ifdef TELLVAR_X86_KERNELS
        case SimdLevel::Sse2: return __builtin_cpu_supports("sse2");
        case SimdLevel::Avx2: return __builtin_cpu_supports("avx2");
#else
        case SimdLevel::Sse2:
        case SimdLevel::Avx2: return false;
#endif
    }
    return false;
}

SimdLevel fastestSimdLevel() {
    // Decided once; the answer cannot change while the program runs.
    static const SimdLevel fastest = simdLevelSupported(SimdLevel::Avx2)   ? SimdLevel::Avx2
                                     : simdLevelSupported(SimdLevel::Sse2) ? SimdLevel::Sse2
                                                                           : SimdLevel::Scalar;
    return fastest;
}

DotKernelFunction dotKernelFunction(SimdLevel level) {
    if (!simdLevelSupported(level)) return dotScalar;
    switch (level) {
#ifdef TELLVAR_X86_KERNELS
        case SimdLevel::Sse2: return dotSse2;
        case SimdLevel::Avx2: return dotAvx2;
#endif
        default: return dotScalar;
    }
}

ScoreKernelFunction scoreKernelFunction(SimdLevel level) {
    if (!simdLevelSupported(level)) return scoresScalar;
    switch (level) {
#ifdef TELLVAR_X86_KERNELS
        case SimdLevel::Sse2: return scoresSse2;
        case SimdLevel::Avx2: return scoresAvx2;
#endif
        default: return scoresScalar;
    }
}

BoundKernelFunction boundKernelFunction(SimdLevel level) {
    if (!simdLevelSupported(level)) return boundsScalar;
    switch (level) {
#ifdef TELLVAR_X86_KERNELS
        case SimdLevel::Sse2: return boundsSse2;
        case SimdLevel::Avx2: return boundsAvx2;
#endif
        default: return boundsScalar;
    }
}

void rowsDotProducts(DotKernelFunction kernel, const std::int16_t* patch,
                     std::size_t patchStride, const std::int16_t* candidates,
                     const std::ptrdiff_t* rowOffsets, int length, int rows, int count,
                     std::uint64_t* out) {
    if (length <= kMaxDotLength) {
        kernel(patch, patchStride, candidates, rowOffsets, length, rows, count, out);
        return;
    }
    // Rows longer than a kernel takes: add up the pieces, a few candidates
    // at a time.
    constexpr int kCandidatesPerPass = 64;
    std::uint64_t piece[kCandidatesPerPass];
    for (int first = 0; first < count; first += kCandidatesPerPass) {
        const int n = std::min(kCandidatesPerPass, count - first);
        std::fill(out + first, out + first + n, std::uint64_t{0});
        for (int start = 0; start < length; start += kMaxDotLength) {
            kernel(patch + start, patchStride, candidates + first + start, rowOffsets,
                   std::min(kMaxDotLength, length - start), rows, n, piece);
            for (int j = 0; j < n; ++j) out[first + j] += piece[j];
        }
    }
}

}  // namespace detail
}  // namespace Tellvar
