#pragma once
// One lane of each kind: the whole vocabulary of the scalar kernels, and
// the one every level uses for what is left after its full vectors.
//
// The kernels (CorrelationKernels.simd.h) are written in these terms:
//   Doubles   the numbers of the score and bound formulas;
//   Samples   16-bit samples multiplied pairwise (Lanes: their 32-bit
//             partial sums, Totals: those widened to 64 bits);
//   Columns   samples as 32-bit lanes, one column each, added into 64-bit
//             column sums (ColumnPairs: two samples of a candidate a lane,
//             for the scattered products);
//   FirstByte a pixel's sample (PixelSamples: the level's widest step).
//   OneRunningTotal  a 64-bit running total of column sums (RunningTotals:
//             the level's widest).
//   OneWindow a row window's sum of samples (Windows: the level's widest).
// Each level's types live in an unnamed namespace: every instruction set's
// source compiles a copy of its own, so none compiled for AVX2 can stand
// in for another level's at link time.

#include <cmath>
#include <cstdint>

namespace Tellvar {
namespace detail {
namespace {

struct OneDouble {
    static constexpr int kCount = 1;
    double v;

    static OneDouble splat(double x) { return {x}; }
    // The window of candidate j in running totals (WindowTotals).
    static OneDouble window(const long long* totals, int width, int j) {
        return {static_cast<double>(totals[j + width] - totals[j])};
    }
    static OneDouble count(const std::uint64_t* at) { return {static_cast<double>(*at)}; }
    // A signed integer of magnitude below 2^51, exactly.
    static OneDouble signedCount(const long long* at) { return {static_cast<double>(*at)}; }
    void store(double* at) const { *at = v; }
    // -infinity where a <= 0 or b <= c, else +infinity (NaN compares false).
    static OneDouble unlessAtMost(OneDouble a, OneDouble b, OneDouble c) {
        return {a.v <= 0.0 || b.v <= c.v ? -__builtin_inf() : __builtin_inf()};
    }
};
inline OneDouble operator+(OneDouble a, OneDouble b) { return {a.v + b.v}; }
inline OneDouble operator-(OneDouble a, OneDouble b) { return {a.v - b.v}; }
inline OneDouble operator*(OneDouble a, OneDouble b) { return {a.v * b.v}; }
inline OneDouble operator/(OneDouble a, OneDouble b) { return {a.v / b.v}; }
inline OneDouble sqrt(OneDouble a) { return {std::sqrt(a.v)}; }

// A pair of samples, the unit of a multiply-add.
struct OneLane {
    std::uint32_t v;
    static OneLane zero() { return {0}; }
};
inline OneLane operator+(OneLane a, OneLane b) { return {a.v + b.v}; }

struct OneTotal {
    std::uint64_t v;
    static OneTotal zero() { return {0}; }
    OneTotal plus(OneLane lanes) const { return {v + lanes.v}; }
    std::uint64_t sum() const { return v; }
};

struct SamplePair {
    static constexpr int kCount = 2;
    using Lanes = OneLane;
    using Totals = OneTotal;
    std::int16_t first, second;

    static SamplePair load(const std::int16_t* at) { return {at[0], at[1]}; }
};
// first * first' + second * second', as one 32-bit lane.
inline OneLane multiplyAdd(SamplePair a, SamplePair b) {
    return {static_cast<std::uint32_t>(a.first * b.first + a.second * b.second)};
}

struct OneColumn {
    static constexpr int kCount = 1;
    std::int32_t v;

    static OneColumn zero() { return {0}; }
    static OneColumn load(const std::int16_t* at) { return {at[0]}; }
    OneColumn squared() const { return {v * v}; }
    OneColumn times(std::int16_t weight) const { return {v * weight}; }
    void addTo(long long* totals) const { *totals += v; }
    void storeTo(long long* totals) const { *totals = v; }
};
inline OneColumn operator+(OneColumn a, OneColumn b) { return {a.v + b.v}; }
inline OneColumn operator-(OneColumn a, OneColumn b) { return {a.v - b.v}; }

// One pixel's correlation sample: its first byte.
struct FirstByte {
    static constexpr int kCount = 1;
    static void extract(const unsigned char* pixels, std::int16_t* samples) {
        *samples = pixels[0];
    }
};

// One candidate's samples at two places of the patch (a second of 0 where
// only one is taken); the sums over them in a OneColumn.
struct OneColumnPair {
    static constexpr int kCount = 1;
    using Sums = OneColumn;
    std::int32_t first, second;

    static OneColumnPair load(const std::int16_t* a, const std::int16_t* b) { return {*a, *b}; }
    static OneColumnPair loadOne(const std::int16_t* a) { return {*a, 0}; }
    Sums times(std::int16_t weightA, std::int16_t weightB) const {
        return {first * weightA + second * weightB};
    }
};

// One 64-bit running total (RunningTotals: the level's widest).
struct OneRunningTotal {
    static constexpr int kCount = 1;
    long long v;

    static OneRunningTotal splat(long long x) { return {x}; }
    static OneRunningTotal load(const long long* at) { return {*at}; }
    void store(long long* at) const { *at = v; }
    // Lane i holds the sum of lanes 0 .. i.
    OneRunningTotal running() const { return *this; }
    // The last lane in every lane.
    OneRunningTotal last() const { return *this; }
};
inline OneRunningTotal operator+(OneRunningTotal a, OneRunningTotal b) { return {a.v + b.v}; }

// One 32-bit window sum of samples, kept modulo 2^32 (Windows: the
// level's widest), as the windows of a row are slid along it.
struct OneWindow {
    static constexpr int kCount = 1;
    std::uint32_t v;

    static OneWindow splat(std::uint32_t x) { return {x}; }
    static OneWindow load(const std::int16_t* at) { return {static_cast<std::uint16_t>(*at)}; }
    void store(std::uint32_t* at) const { *at = v; }
    OneWindow squared() const { return {v * v}; }
    OneWindow running() const { return *this; }
    OneWindow last() const { return *this; }
};
inline OneWindow operator+(OneWindow a, OneWindow b) { return {a.v + b.v}; }
inline OneWindow operator-(OneWindow a, OneWindow b) { return {a.v - b.v}; }

}  // namespace
}  // namespace detail
}  // namespace Tellvar
