#pragma once
// SSE2 lanes: two doubles, eight samples, four columns to a register
// (see KernelLanesScalar.h for the vocabulary).

#include <emmintrin.h>

#include <cstdint>

namespace Tellvar {
namespace detail {
namespace {

// Integers turned into doubles by their bits (Doubles2::exactly and
// signedCount; the AVX2 lanes take the same): 2^52 and 1.5 * 2^52, and
// their bits as 64-bit integers.
constexpr double kTwoTo52 = 0x1p52;
constexpr long long kTwoTo52Bits = 0x4330000000000000LL;
constexpr double kOneAndAHalfTwoTo52 = 0x1.8p52;
constexpr long long kOneAndAHalfTwoTo52Bits = 0x4338000000000000LL;

struct Doubles2 {
    static constexpr int kCount = 2;
    __m128d v;

    static Doubles2 splat(double x) { return {_mm_set1_pd(x)}; }
    // A non-negative integer x below 2^52 sits in the mantissa of the
    // double 2^52 + x, whose bits are those of x with 2^52's exponent;
    // subtracting 2^52 then gives x exactly, as a conversion does.
    static Doubles2 exactly(__m128i integers) {
        return {_mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(integers, _mm_set1_epi64x(kTwoTo52Bits))),
                           _mm_set1_pd(kTwoTo52))};
    }
    static Doubles2 window(const long long* totals, int width, int j) {
        return exactly(_mm_sub_epi64(load(totals + j + width), load(totals + j)));
    }
    static Doubles2 count(const std::uint64_t* at) { return exactly(load(at)); }
    // An integer x of magnitude below 2^51 added to the bits of 1.5 * 2^52
    // gives the double 1.5 * 2^52 + x: the same trick, for either sign.
    static Doubles2 signedCount(const long long* at) {
        const __m128i bits = _mm_add_epi64(load(at), _mm_set1_epi64x(kOneAndAHalfTwoTo52Bits));
        return {_mm_sub_pd(_mm_castsi128_pd(bits), _mm_set1_pd(kOneAndAHalfTwoTo52))};
    }
    void store(double* at) const { _mm_storeu_pd(at, v); }
    // -infinity where a <= 0 or b <= c, else +infinity (NaN compares false).
    static Doubles2 unlessAtMost(Doubles2 a, Doubles2 b, Doubles2 c) {
        const __m128d atMost =
            _mm_or_pd(_mm_cmple_pd(a.v, _mm_setzero_pd()), _mm_cmple_pd(b.v, c.v));
        // The sign bit alone turns +infinity into -infinity.
        return {_mm_or_pd(_mm_set1_pd(__builtin_inf()), _mm_and_pd(atMost, _mm_set1_pd(-0.0)))};
    }

private:
    static __m128i load(const void* at) { return _mm_loadu_si128(static_cast<const __m128i*>(at)); }
};
inline Doubles2 operator+(Doubles2 a, Doubles2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline Doubles2 operator-(Doubles2 a, Doubles2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Doubles2 operator*(Doubles2 a, Doubles2 b) { return {_mm_mul_pd(a.v, b.v)}; }
inline Doubles2 operator/(Doubles2 a, Doubles2 b) { return {_mm_div_pd(a.v, b.v)}; }
inline Doubles2 sqrt(Doubles2 a) { return {_mm_sqrt_pd(a.v)}; }

// Four unsigned 32-bit partial sums.
struct Lanes4 {
    __m128i v;
    static Lanes4 zero() { return {_mm_setzero_si128()}; }
};
inline Lanes4 operator+(Lanes4 a, Lanes4 b) { return {_mm_add_epi32(a.v, b.v)}; }

// Two 64-bit sums.
struct Totals2 {
    __m128i v;
    static Totals2 zero() { return {_mm_setzero_si128()}; }
    Totals2 plus(Lanes4 lanes) const {
        const __m128i zero = _mm_setzero_si128();
        return {_mm_add_epi64(_mm_add_epi64(v, _mm_unpacklo_epi32(lanes.v, zero)),
                              _mm_unpackhi_epi32(lanes.v, zero))};
    }
    std::uint64_t sum() const {
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) +
               static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
    }
};

struct Samples8 {
    static constexpr int kCount = 8;
    using Lanes = Lanes4;
    using Totals = Totals2;
    __m128i v;

    static Samples8 load(const std::int16_t* at) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
    }
};
// Neighbouring products added pairwise into 32-bit lanes (pmaddwd).
inline Lanes4 multiplyAdd(Samples8 a, Samples8 b) { return {_mm_madd_epi16(a.v, b.v)}; }

// Four columns as signed 32-bit lanes.
struct Columns4 {
    static constexpr int kCount = 4;
    __m128i v;

    static Columns4 zero() { return {_mm_setzero_si128()}; }
    static Columns4 load(const std::int16_t* at) {
        return {_mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)),
                                   _mm_setzero_si128())};
    }
    // Samples are bytes: their upper halves are 0, so one multiply-add
    // squares each.
    Columns4 squared() const { return {_mm_madd_epi16(v, v)}; }
    // The weight in the lower half of every lane: one multiply-add.
    Columns4 times(std::int16_t weight) const {
        return {_mm_madd_epi16(v, _mm_set1_epi32(static_cast<std::uint16_t>(weight)))};
    }
    void addTo(long long* totals) const {
        const __m128i sign = _mm_srai_epi32(v, 31);
        __m128i* low = reinterpret_cast<__m128i*>(totals);
        __m128i* high = reinterpret_cast<__m128i*>(totals + 2);
        _mm_storeu_si128(low, _mm_add_epi64(_mm_loadu_si128(low), _mm_unpacklo_epi32(v, sign)));
        _mm_storeu_si128(high, _mm_add_epi64(_mm_loadu_si128(high), _mm_unpackhi_epi32(v, sign)));
    }
    void storeTo(long long* totals) const {
        const __m128i sign = _mm_srai_epi32(v, 31);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(totals), _mm_unpacklo_epi32(v, sign));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(totals + 2), _mm_unpackhi_epi32(v, sign));
    }
};
inline Columns4 operator+(Columns4 a, Columns4 b) { return {_mm_add_epi32(a.v, b.v)}; }
inline Columns4 operator-(Columns4 a, Columns4 b) { return {_mm_sub_epi32(a.v, b.v)}; }

// Eight candidates' sums as two Columns4: candidates 0-3, then 4-7.
struct Columns4x2 {
    Columns4 low, high;
    static Columns4x2 zero() { return {Columns4::zero(), Columns4::zero()}; }
    void storeTo(long long* totals) const {
        low.storeTo(totals);
        high.storeTo(totals + 4);
    }
};
inline Columns4x2 operator+(Columns4x2 a, Columns4x2 b) { return {a.low + b.low, a.high + b.high}; }

// Eight candidates' samples at two places of the patch, interleaved so
// that one multiply-add takes both: 32-bit lane i of low holds candidate
// i's pair, of high candidate 4 + i's.
struct ColumnPairs8 {
    static constexpr int kCount = 8;
    using Sums = Columns4x2;
    __m128i low, high;

    static ColumnPairs8 load(const std::int16_t* a, const std::int16_t* b) {
        return of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)),
                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
    }
    static ColumnPairs8 loadOne(const std::int16_t* a) {
        return of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)), _mm_setzero_si128());
    }
    Sums times(std::int16_t weightA, std::int16_t weightB) const {
        const __m128i weights =
            _mm_set1_epi32(static_cast<int>(static_cast<std::uint16_t>(weightA)) |
                           static_cast<int>(static_cast<std::uint16_t>(weightB)) << 16);
        return {{_mm_madd_epi16(low, weights)}, {_mm_madd_epi16(high, weights)}};
    }

private:
    static ColumnPairs8 of(__m128i a, __m128i b) {
        return {_mm_unpacklo_epi16(a, b), _mm_unpackhi_epi16(a, b)};
    }
};

// Two 64-bit running totals.
struct RunningTotals2 {
    static constexpr int kCount = 2;
    __m128i v;

    static RunningTotals2 splat(long long x) { return {_mm_set1_epi64x(x)}; }
    static RunningTotals2 load(const long long* at) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
    }
    void store(long long* at) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }
    RunningTotals2 running() const { return {_mm_add_epi64(v, _mm_slli_si128(v, 8))}; }
    RunningTotals2 last() const { return {_mm_unpackhi_epi64(v, v)}; }
};
inline RunningTotals2 operator+(RunningTotals2 a, RunningTotals2 b) {
    return {_mm_add_epi64(a.v, b.v)};
}

// Four 32-bit window sums.
struct Windows4 {
    static constexpr int kCount = 4;
    __m128i v;

    static Windows4 splat(std::uint32_t x) { return {_mm_set1_epi32(static_cast<int>(x))}; }
    static Windows4 load(const std::int16_t* at) { return {Columns4::load(at).v}; }
    void store(std::uint32_t* at) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }
    Windows4 squared() const { return {_mm_madd_epi16(v, v)}; }
    Windows4 running() const {
        const __m128i t = _mm_add_epi32(v, _mm_slli_si128(v, 4));
        return {_mm_add_epi32(t, _mm_slli_si128(t, 8))};
    }
    Windows4 last() const { return {_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 3))}; }
};
inline Windows4 operator+(Windows4 a, Windows4 b) { return {_mm_add_epi32(a.v, b.v)}; }
inline Windows4 operator-(Windows4 a, Windows4 b) { return {_mm_sub_epi32(a.v, b.v)}; }

}  // namespace
}  // namespace detail
}  // namespace Tellvar
