#pragma once
// AVX2 lanes: four doubles, sixteen samples, eight columns to a register
// (see KernelLanesScalar.h for the vocabulary); the SSE2 lanes serve a
// row's last eight samples.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "registration/kernels/KernelLanesSse2.h"

namespace Tellvar {
namespace detail {
namespace {

struct Doubles4 {
    static constexpr int kCount = 4;
    __m256d v;

    static Doubles4 splat(double x) { return {_mm256_set1_pd(x)}; }
    // Exact for integers from 0 to 2^52, as Doubles2::exactly.
    static Doubles4 exactly(__m256i integers) {
        return {_mm256_sub_pd(
            _mm256_castsi256_pd(_mm256_or_si256(integers, _mm256_set1_epi64x(kTwoTo52Bits))),
            _mm256_set1_pd(kTwoTo52))};
    }
    static Doubles4 window(const long long* totals, int width, int j) {
        return exactly(_mm256_sub_epi64(load(totals + j + width), load(totals + j)));
    }
    static Doubles4 count(const std::uint64_t* at) { return exactly(load(at)); }
    // As Doubles2::signedCount.
    static Doubles4 signedCount(const long long* at) {
        const __m256i bits =
            _mm256_add_epi64(load(at), _mm256_set1_epi64x(kOneAndAHalfTwoTo52Bits));
        return {_mm256_sub_pd(_mm256_castsi256_pd(bits), _mm256_set1_pd(kOneAndAHalfTwoTo52))};
    }
    void store(double* at) const { _mm256_storeu_pd(at, v); }
    // -infinity where a <= 0 or b <= c, else +infinity (NaN compares false).
    static Doubles4 unlessAtMost(Doubles4 a, Doubles4 b, Doubles4 c) {
        const __m256d atMost = _mm256_or_pd(_mm256_cmp_pd(a.v, _mm256_setzero_pd(), _CMP_LE_OQ),
                                            _mm256_cmp_pd(b.v, c.v, _CMP_LE_OQ));
        // The sign bit alone turns +infinity into -infinity.
        return {_mm256_or_pd(_mm256_set1_pd(__builtin_inf()),
                             _mm256_and_pd(atMost, _mm256_set1_pd(-0.0)))};
    }

private:
    static __m256i load(const void* at) {
        return _mm256_loadu_si256(static_cast<const __m256i*>(at));
    }
};
inline Doubles4 operator+(Doubles4 a, Doubles4 b) { return {_mm256_add_pd(a.v, b.v)}; }
inline Doubles4 operator-(Doubles4 a, Doubles4 b) { return {_mm256_sub_pd(a.v, b.v)}; }
inline Doubles4 operator*(Doubles4 a, Doubles4 b) { return {_mm256_mul_pd(a.v, b.v)}; }
inline Doubles4 operator/(Doubles4 a, Doubles4 b) { return {_mm256_div_pd(a.v, b.v)}; }
inline Doubles4 sqrt(Doubles4 a) { return {_mm256_sqrt_pd(a.v)}; }

// Sixteen pixels' first bytes (48 bytes read, none beyond them) as samples:
// pixels 0-5 lie in the first 16 bytes, 6-10 in the next, 11-15 in the last.
struct FirstBytes16 {
    static constexpr int kCount = 16;
    static void extract(const unsigned char* pixels, std::int16_t* samples) {
        const auto load = [pixels](int at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + at));
        };
        const __m128i first = _mm_shuffle_epi8(
            load(0), _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
        const __m128i second = _mm_shuffle_epi8(
            load(16), _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1));
        const __m128i third = _mm_shuffle_epi8(
            load(32), _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples),
                            _mm256_cvtepu8_epi16(_mm_or_si128(_mm_or_si128(first, second), third)));
    }
};

// Eight unsigned 32-bit partial sums.
struct Lanes8 {
    __m256i v;
    static Lanes8 zero() { return {_mm256_setzero_si256()}; }

    // out[2i] += even lane i and out[2i + 1] += odd lane i, i < 8. Per
    // 128-bit half, unpacklo gives candidates 0-3 (8-11), unpackhi 4-7
    // (12-15), widened to 64 bits.
    static void addInterleaved(std::uint64_t* out, Lanes8 even, Lanes8 odd) {
        const __m256i low = _mm256_unpacklo_epi32(even.v, odd.v);
        const __m256i high = _mm256_unpackhi_epi32(even.v, odd.v);
        const __m256i parts[4] = {_mm256_cvtepu32_epi64(_mm256_castsi256_si128(low)),
                                  _mm256_cvtepu32_epi64(_mm256_castsi256_si128(high)),
                                  _mm256_cvtepu32_epi64(_mm256_extracti128_si256(low, 1)),
                                  _mm256_cvtepu32_epi64(_mm256_extracti128_si256(high, 1))};
        alignas(32) std::uint64_t widened[16];
        for (int q = 0; q < 4; ++q)
            _mm256_store_si256(reinterpret_cast<__m256i*>(widened + 4 * q), parts[q]);
        for (int j = 0; j < 16; ++j) out[j] += widened[j];
    }
};
inline Lanes8 operator+(Lanes8 a, Lanes8 b) { return {_mm256_add_epi32(a.v, b.v)}; }

// Four 64-bit sums.
struct Totals4 {
    __m256i v;
    static Totals4 zero() { return {_mm256_setzero_si256()}; }
    Totals4 plus(Lanes8 lanes) const {
        return {_mm256_add_epi64(
            _mm256_add_epi64(v, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(lanes.v))),
            _mm256_cvtepu32_epi64(_mm256_extracti128_si256(lanes.v, 1)))};
    }
    // The eight-sample step's lanes.
    Totals4 plus(Lanes4 lanes) const {
        return {_mm256_add_epi64(v, _mm256_cvtepu32_epi64(lanes.v))};
    }
    std::uint64_t sum() const {
        const __m128i pair =
            _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(pair)) +
               static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(pair, pair)));
    }
};

struct Samples16 {
    static constexpr int kCount = 16;
    using Lanes = Lanes8;
    using Totals = Totals4;
    __m256i v;

    static Samples16 load(const std::int16_t* at) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))};
    }
    // The pair at[0], at[1] in every 32-bit lane.
    static Samples16 broadcastPair(const std::int16_t* at) {
        std::int32_t pair;
        std::memcpy(&pair, at, sizeof pair);
        return {_mm256_set1_epi32(pair)};
    }
};
inline Lanes8 multiplyAdd(Samples16 a, Samples16 b) { return {_mm256_madd_epi16(a.v, b.v)}; }

// Eight columns as signed 32-bit lanes.
struct Columns8 {
    static constexpr int kCount = 8;
    __m256i v;

    static Columns8 zero() { return {_mm256_setzero_si256()}; }
    static Columns8 load(const std::int16_t* at) {
        return {_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)))};
    }
    // Samples are bytes: their upper halves are 0, so one multiply-add
    // squares each.
    Columns8 squared() const { return {_mm256_madd_epi16(v, v)}; }
    // The weight in the lower half of every lane: one multiply-add.
    Columns8 times(std::int16_t weight) const {
        return {_mm256_madd_epi16(v, _mm256_set1_epi32(static_cast<std::uint16_t>(weight)))};
    }
    void addTo(long long* totals) const {
        __m256i* low = reinterpret_cast<__m256i*>(totals);
        __m256i* high = reinterpret_cast<__m256i*>(totals + 4);
        _mm256_storeu_si256(low,
                            _mm256_add_epi64(_mm256_loadu_si256(low),
                                             _mm256_cvtepi32_epi64(_mm256_castsi256_si128(v))));
        _mm256_storeu_si256(
            high, _mm256_add_epi64(_mm256_loadu_si256(high),
                                   _mm256_cvtepi32_epi64(_mm256_extracti128_si256(v, 1))));
    }
    void storeTo(long long* totals) const {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(totals),
                            _mm256_cvtepi32_epi64(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(totals + 4),
                            _mm256_cvtepi32_epi64(_mm256_extracti128_si256(v, 1)));
    }
};
inline Columns8 operator+(Columns8 a, Columns8 b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline Columns8 operator-(Columns8 a, Columns8 b) { return {_mm256_sub_epi32(a.v, b.v)}; }

// Sixteen candidates' sums in the order ColumnPairs16 leaves them: low
// holds candidates 0-3 and 8-11, high 4-7 and 12-15.
struct Columns8x2 {
    Columns8 low, high;
    static Columns8x2 zero() { return {Columns8::zero(), Columns8::zero()}; }
    void storeTo(long long* totals) const {
        Columns8{_mm256_permute2x128_si256(low.v, high.v, 0x20)}.storeTo(totals);
        Columns8{_mm256_permute2x128_si256(low.v, high.v, 0x31)}.storeTo(totals + 8);
    }
};
inline Columns8x2 operator+(Columns8x2 a, Columns8x2 b) { return {a.low + b.low, a.high + b.high}; }

// Sixteen candidates' samples at two places of the patch, interleaved so
// that one multiply-add takes both (per 128-bit half, as unpack works).
struct ColumnPairs16 {
    static constexpr int kCount = 16;
    using Sums = Columns8x2;
    __m256i low, high;

    static ColumnPairs16 load(const std::int16_t* a, const std::int16_t* b) {
        return of(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)),
                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)));
    }
    static ColumnPairs16 loadOne(const std::int16_t* a) {
        return of(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)), _mm256_setzero_si256());
    }
    Sums times(std::int16_t weightA, std::int16_t weightB) const {
        const __m256i weights =
            _mm256_set1_epi32(static_cast<int>(static_cast<std::uint16_t>(weightA)) |
                              static_cast<int>(static_cast<std::uint16_t>(weightB)) << 16);
        return {{_mm256_madd_epi16(low, weights)}, {_mm256_madd_epi16(high, weights)}};
    }

private:
    static ColumnPairs16 of(__m256i a, __m256i b) {
        return {_mm256_unpacklo_epi16(a, b), _mm256_unpackhi_epi16(a, b)};
    }
};

// Four 64-bit running totals.
struct RunningTotals4 {
    static constexpr int kCount = 4;
    __m256i v;

    static RunningTotals4 splat(long long x) { return {_mm256_set1_epi64x(x)}; }
    static RunningTotals4 load(const long long* at) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))};
    }
    void store(long long* at) const { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v); }
    // Within each 128-bit half, then the low half's total into the high.
    RunningTotals4 running() const {
        const __m256i halves = _mm256_add_epi64(v, _mm256_slli_si256(v, 8));
        const __m256i lowTotal = _mm256_permute4x64_epi64(halves, _MM_SHUFFLE(1, 1, 1, 1));
        return {_mm256_add_epi64(halves,
                                 _mm256_blend_epi32(_mm256_setzero_si256(), lowTotal, 0xF0))};
    }
    RunningTotals4 last() const {
        return {_mm256_permute4x64_epi64(v, _MM_SHUFFLE(3, 3, 3, 3))};
    }
};
inline RunningTotals4 operator+(RunningTotals4 a, RunningTotals4 b) {
    return {_mm256_add_epi64(a.v, b.v)};
}

// Eight 32-bit window sums.
struct Windows8 {
    static constexpr int kCount = 8;
    __m256i v;

    static Windows8 splat(std::uint32_t x) { return {_mm256_set1_epi32(static_cast<int>(x))}; }
    static Windows8 load(const std::int16_t* at) { return {Columns8::load(at).v}; }
    void store(std::uint32_t* at) const { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v); }
    Windows8 squared() const { return {_mm256_madd_epi16(v, v)}; }
    // Within each 128-bit half, then the low half's total into the high.
    Windows8 running() const {
        __m256i halves = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
        halves = _mm256_add_epi32(halves, _mm256_slli_si256(halves, 8));
        const __m256i lowTotal = _mm256_permutevar8x32_epi32(halves, _mm256_set1_epi32(3));
        return {_mm256_add_epi32(halves,
                                 _mm256_blend_epi32(_mm256_setzero_si256(), lowTotal, 0xF0))};
    }
    Windows8 last() const { return {_mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(7))}; }
};
inline Windows8 operator+(Windows8 a, Windows8 b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline Windows8 operator-(Windows8 a, Windows8 b) { return {_mm256_sub_epi32(a.v, b.v)}; }

}  // namespace
}  // namespace detail
}  // namespace Tellvar
