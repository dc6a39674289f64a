#pragma once
// AVX-512 lanes (F, BW, VL and DQ): eight doubles, thirty-two samples,
// sixteen columns to a register (see KernelLanesScalar.h for the
// vocabulary). The AVX2 lanes serve the steps that stay narrower: a row's
// pixels and its last samples.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "registration/kernels/KernelLanesAvx2.h"

namespace Tellvar {
namespace detail {
namespace {

struct Doubles8 {
    static constexpr int kCount = 8;
    __m512d v;

    static Doubles8 splat(double x) { return {_mm512_set1_pd(x)}; }
    // Exact for integers from 0 to 2^52, as Doubles2::exactly.
    static Doubles8 exactly(__m512i integers) {
        return {_mm512_sub_pd(
            _mm512_castsi512_pd(_mm512_or_si512(integers, _mm512_set1_epi64(kTwoTo52Bits))),
            _mm512_set1_pd(kTwoTo52))};
    }
    static Doubles8 window(const long long* totals, int width, int j) {
        return exactly(_mm512_sub_epi64(load(totals + j + width), load(totals + j)));
    }
    static Doubles8 count(const std::uint64_t* at) { return exactly(load(at)); }
    // As Doubles2::signedCount.
    static Doubles8 signedCount(const long long* at) {
        const __m512i bits = _mm512_add_epi64(load(at), _mm512_set1_epi64(kOneAndAHalfTwoTo52Bits));
        return {_mm512_sub_pd(_mm512_castsi512_pd(bits), _mm512_set1_pd(kOneAndAHalfTwoTo52))};
    }
    void store(double* at) const { _mm512_storeu_pd(at, v); }
    // -infinity where a <= 0 or b <= c, else +infinity (NaN compares false).
    static Doubles8 unlessAtMost(Doubles8 a, Doubles8 b, Doubles8 c) {
        const __mmask8 atMost = _mm512_cmp_pd_mask(a.v, _mm512_setzero_pd(), _CMP_LE_OQ) |
                                _mm512_cmp_pd_mask(b.v, c.v, _CMP_LE_OQ);
        return {_mm512_mask_blend_pd(atMost, _mm512_set1_pd(__builtin_inf()),
                                     _mm512_set1_pd(-__builtin_inf()))};
    }

private:
    static __m512i load(const void* at) { return _mm512_loadu_si512(at); }
};
inline Doubles8 operator+(Doubles8 a, Doubles8 b) { return {_mm512_add_pd(a.v, b.v)}; }
inline Doubles8 operator-(Doubles8 a, Doubles8 b) { return {_mm512_sub_pd(a.v, b.v)}; }
inline Doubles8 operator*(Doubles8 a, Doubles8 b) { return {_mm512_mul_pd(a.v, b.v)}; }
inline Doubles8 operator/(Doubles8 a, Doubles8 b) { return {_mm512_div_pd(a.v, b.v)}; }
inline Doubles8 sqrt(Doubles8 a) { return {_mm512_sqrt_pd(a.v)}; }

// Sixteen unsigned 32-bit partial sums.
struct Lanes16 {
    __m512i v;
    static Lanes16 zero() { return {_mm512_setzero_si512()}; }

    // out[2i] += even lane i and out[2i + 1] += odd lane i, i < 16. Per
    // 128-bit quarter q, unpacklo gives candidates 8q to 8q + 3, unpackhi
    // 8q + 4 to 8q + 7. Once per flush, so plainly in memory.
    static void addInterleaved(std::uint64_t* out, Lanes16 even, Lanes16 odd) {
        alignas(64) std::uint32_t low[16], high[16];
        _mm512_store_si512(low, _mm512_unpacklo_epi32(even.v, odd.v));
        _mm512_store_si512(high, _mm512_unpackhi_epi32(even.v, odd.v));
        for (int q = 0; q < 4; ++q)
            for (int i = 0; i < 4; ++i) {
                out[8 * q + i] += low[4 * q + i];
                out[8 * q + 4 + i] += high[4 * q + i];
            }
    }
};
inline Lanes16 operator+(Lanes16 a, Lanes16 b) { return {_mm512_add_epi32(a.v, b.v)}; }

// Eight 64-bit sums.
struct Totals8 {
    __m512i v;
    static Totals8 zero() { return {_mm512_setzero_si512()}; }
    Totals8 plus(Lanes16 lanes) const {
        return {_mm512_add_epi64(
            _mm512_add_epi64(v, _mm512_cvtepu32_epi64(_mm512_castsi512_si256(lanes.v))),
            _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(lanes.v, 1)))};
    }
    // The eight-sample steps' lanes.
    Totals8 plus(Lanes4 lanes) const {
        return {_mm512_add_epi64(v, _mm512_zextsi256_si512(_mm256_cvtepu32_epi64(lanes.v)))};
    }
    std::uint64_t sum() const { return static_cast<std::uint64_t>(_mm512_reduce_add_epi64(v)); }
};

struct Samples32 {
    static constexpr int kCount = 32;
    using Lanes = Lanes16;
    using Totals = Totals8;
    __m512i v;

    static Samples32 load(const std::int16_t* at) { return {_mm512_loadu_si512(at)}; }
    // The pair at[0], at[1] in every 32-bit lane.
    static Samples32 broadcastPair(const std::int16_t* at) {
        std::int32_t pair;
        std::memcpy(&pair, at, sizeof pair);
        return {_mm512_set1_epi32(pair)};
    }
};
inline Lanes16 multiplyAdd(Samples32 a, Samples32 b) { return {_mm512_madd_epi16(a.v, b.v)}; }

// Sixteen columns as signed 32-bit lanes.
struct Columns16 {
    static constexpr int kCount = 16;
    __m512i v;

    static Columns16 zero() { return {_mm512_setzero_si512()}; }
    static Columns16 load(const std::int16_t* at) {
        return {_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)))};
    }
    // Samples are bytes: their upper halves are 0, so one multiply-add
    // squares each.
    Columns16 squared() const { return {_mm512_madd_epi16(v, v)}; }
    // The weight in the lower half of every lane: one multiply-add.
    Columns16 times(std::int16_t weight) const {
        return {_mm512_madd_epi16(v, _mm512_set1_epi32(static_cast<std::uint16_t>(weight)))};
    }
    void addTo(long long* totals) const {
        const __m512i low = _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v));
        const __m512i high = _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1));
        _mm512_storeu_si512(totals, _mm512_add_epi64(_mm512_loadu_si512(totals), low));
        _mm512_storeu_si512(totals + 8, _mm512_add_epi64(_mm512_loadu_si512(totals + 8), high));
    }
    void storeTo(long long* totals) const {
        _mm512_storeu_si512(totals, _mm512_cvtepi32_epi64(_mm512_castsi512_si256(v)));
        _mm512_storeu_si512(totals + 8, _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1)));
    }
};
inline Columns16 operator+(Columns16 a, Columns16 b) { return {_mm512_add_epi32(a.v, b.v)}; }
inline Columns16 operator-(Columns16 a, Columns16 b) { return {_mm512_sub_epi32(a.v, b.v)}; }

// Thirty-two candidates' sums in the order ColumnPairs32 leaves them: per
// 128-bit quarter q, low holds candidates 8q to 8q + 3, high 8q + 4 to
// 8q + 7.
struct Columns16x2 {
    Columns16 low, high;
    static Columns16x2 zero() { return {Columns16::zero(), Columns16::zero()}; }
    void storeTo(long long* totals) const {
        // Lanes 0-15 of the pair are low's, 16-31 high's.
        const __m512i firstHalf =
            _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 4, 5, 6, 7, 20, 21, 22, 23);
        const __m512i secondHalf =
            _mm512_setr_epi32(8, 9, 10, 11, 24, 25, 26, 27, 12, 13, 14, 15, 28, 29, 30, 31);
        Columns16{_mm512_permutex2var_epi32(low.v, firstHalf, high.v)}.storeTo(totals);
        Columns16{_mm512_permutex2var_epi32(low.v, secondHalf, high.v)}.storeTo(totals + 16);
    }
};
inline Columns16x2 operator+(Columns16x2 a, Columns16x2 b) {
    return {a.low + b.low, a.high + b.high};
}

// Thirty-two candidates' samples at two places of the patch, interleaved
// so that one multiply-add takes both (per 128-bit quarter, as unpack
// works).
struct ColumnPairs32 {
    static constexpr int kCount = 32;
    using Sums = Columns16x2;
    __m512i low, high;

    static ColumnPairs32 load(const std::int16_t* a, const std::int16_t* b) {
        return of(_mm512_loadu_si512(a), _mm512_loadu_si512(b));
    }
    static ColumnPairs32 loadOne(const std::int16_t* a) {
        return of(_mm512_loadu_si512(a), _mm512_setzero_si512());
    }
    Sums times(std::int16_t weightA, std::int16_t weightB) const {
        const __m512i weights =
            _mm512_set1_epi32(static_cast<int>(static_cast<std::uint16_t>(weightA)) |
                              static_cast<int>(static_cast<std::uint16_t>(weightB)) << 16);
        return {{_mm512_madd_epi16(low, weights)}, {_mm512_madd_epi16(high, weights)}};
    }

private:
    static ColumnPairs32 of(__m512i a, __m512i b) {
        return {_mm512_unpacklo_epi16(a, b), _mm512_unpackhi_epi16(a, b)};
    }
};

// Eight 64-bit running totals.
struct RunningTotals8 {
    static constexpr int kCount = 8;
    __m512i v;

    static RunningTotals8 splat(long long x) { return {_mm512_set1_epi64(x)}; }
    static RunningTotals8 load(const long long* at) { return {_mm512_loadu_si512(at)}; }
    void store(long long* at) const { _mm512_storeu_si512(at, v); }
    // Each lane plus the lanes 1, 2 and then 4 below it (valignq against
    // zero moves the lanes up).
    RunningTotals8 running() const {
        const __m512i zero = _mm512_setzero_si512();
        __m512i t = _mm512_add_epi64(v, _mm512_alignr_epi64(v, zero, 7));
        t = _mm512_add_epi64(t, _mm512_alignr_epi64(t, zero, 6));
        return {_mm512_add_epi64(t, _mm512_alignr_epi64(t, zero, 4))};
    }
    RunningTotals8 last() const { return {_mm512_permutexvar_epi64(_mm512_set1_epi64(7), v)}; }
};
inline RunningTotals8 operator+(RunningTotals8 a, RunningTotals8 b) {
    return {_mm512_add_epi64(a.v, b.v)};
}

// Sixteen 32-bit window sums.
struct Windows16 {
    static constexpr int kCount = 16;
    __m512i v;

    static Windows16 splat(std::uint32_t x) { return {_mm512_set1_epi32(static_cast<int>(x))}; }
    static Windows16 load(const std::int16_t* at) { return {Columns16::load(at).v}; }
    void store(std::uint32_t* at) const { _mm512_storeu_si512(at, v); }
    Windows16 squared() const { return {_mm512_madd_epi16(v, v)}; }
    // Each lane plus the lanes 1, 2, 4 and then 8 below it.
    Windows16 running() const {
        const __m512i zero = _mm512_setzero_si512();
        __m512i t = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 15));
        t = _mm512_add_epi32(t, _mm512_alignr_epi32(t, zero, 14));
        t = _mm512_add_epi32(t, _mm512_alignr_epi32(t, zero, 12));
        return {_mm512_add_epi32(t, _mm512_alignr_epi32(t, zero, 8))};
    }
    Windows16 last() const { return {_mm512_permutexvar_epi32(_mm512_set1_epi32(15), v)}; }
};
inline Windows16 operator+(Windows16 a, Windows16 b) { return {_mm512_add_epi32(a.v, b.v)}; }
inline Windows16 operator-(Windows16 a, Windows16 b) { return {_mm512_sub_epi32(a.v, b.v)}; }

}  // namespace
}  // namespace detail
}  // namespace Tellvar
