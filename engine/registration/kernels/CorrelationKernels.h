#pragma once
// The vector kernels of the correlation search and the one place that
// chooses them.
//
// Every kernel is written once (CorrelationKernels.simd.h) over a small
// vocabulary of lanes, and that source is compiled once per instruction
// set: portable scalar code, SSE2 (present on every x86-64 processor),
// AVX2 and AVX-512 (F, BW, VL and DQ), each in a file of its own with its
// own compiler flags (CorrelationKernels.scalar.cpp, .sse2.cpp, .avx2.cpp,
// .avx512.cpp). The levels differ only in how many lanes an operation
// covers, so every level gives bit for bit the same results. kernelsFor()
// hands out a level's set; the product's searches use the set of
// fastestSimdLevel(), the fastest level this processor runs, chosen once
// per process; tests and benchmarks ask for any level.
//
//   Dot products: the cross term of the coefficient, the exact integer sum
//   of products of 16-bit samples holding byte values (0 .. 255).
//
//   Scores: the coefficient itself from the integer sums, with correlate()'s
//   double operations in correlate()'s order. Packed IEEE arithmetic rounds
//   every lane exactly as the scalar instruction would, so the scores equal
//   the reference's to the last bit.
//
//   Bounds: an upper bound of a score from part of its cross term; and
//   screens, which only tell whether that bound can exceed a limit.
//
//   Column sums: the sample sums and sums of squares of the columns of a
//   band of rows, as the scan slides it, and their running totals; and the
//   windows of a row, its sums over every run of a patch's width.
//
//   Samples: the correlation samples of a row of pixels.
//
// This header holds declarations and plain types only: it is included by
// the sources compiled for AVX2, and an inline function defined here could
// be emitted there with AVX2 instructions and shared with code that runs
// on any processor.

#include <cstddef>
#include <cstdint>

namespace Tellvar {
namespace detail {

// The underlying type is fixed so that MainProcessor.h can name the type
// without this header.
enum class SimdLevel : unsigned char { Scalar, Sse2, Avx2, Avx512 };

// True when this build has the level's kernels and this processor runs them.
bool simdLevelSupported(SimdLevel level);

// The fastest level this build and processor run, decided on first use.
SimdLevel fastestSimdLevel();

// ---- Dot products -----------------------------------------------------------

// Every length handed to a dot kernel is a multiple of this; the patch rows
// are padded with zero samples up to it, so whatever the candidate holds
// beyond the patch's width multiplies by zero. The candidate must be
// readable for the whole padded length of each row.
constexpr int kDotLengthMultiple = 8;

// The longest row a dot kernel takes at once; the vector kernels rely on it
// to keep their 32-bit partial sums from overflowing. Longer rows are split
// by rowsDotProducts.
constexpr int kMaxDotLength = 1 << 16;

// Dot products of the patch with count candidates that start one sample
// apart: for j < count,
//   out[j] = sum over r < rows and k < length of
//            patch[r * patchStride + k] * candidates[rowOffsets[r] + j + k].
// Patch row r meets the candidates' row at rowOffsets[r] (in samples, in
// any order), so a scan can take the patch's rows in an order of its own.
// length is a positive multiple of kDotLengthMultiple, at most
// kMaxDotLength. Neighbouring candidates share the patch's loads, which is
// where the vector kernels gain most.
using DotKernelFunction = void (*)(const std::int16_t* patch, std::size_t patchStride,
                                   const std::int16_t* candidates, const std::ptrdiff_t* rowOffsets,
                                   int length, int rows, int count, std::uint64_t* out);

// The same products for rows of any padded length (a multiple of
// kDotLengthMultiple), split into pieces the kernel accepts; out[j] is
// overwritten.
void rowsDotProducts(DotKernelFunction kernel, const std::int16_t* patch, std::size_t patchStride,
                     const std::int16_t* candidates, const std::ptrdiff_t* rowOffsets, int length,
                     int rows, int count, std::uint64_t* out);

// ---- Scores -----------------------------------------------------------------

// The reference patch's part of the coefficient.
struct ScoreReference {
    double n;    // sample count
    double sum;  // Sx
    double ssq;  // Qx
};

// A row of candidates' sample sums and sums of squares, as running totals
// over the columns of the rows they cover: candidate j (0-based from the
// first total) spans columns j .. j + width - 1, so its sum is
//   sums[j + width] - sums[j]
// and likewise its squares. Totals are non-negative integers below 2^52
// (a frame's samples are bytes and its size is bounded), which the kernels
// turn into exactly the same doubles as a plain conversion would.
struct WindowTotals {
    const long long* sums;
    const long long* squares;
    int width;
};

// For j < count, with s and q candidate j's sum and squares and
// p = products[j]:
//   scores[j] = (p - s * sum / n) / sqrt((q - s * s / n) * ssq)
// evaluated in that order, as correlate() does.
using ScoreKernelFunction = void (*)(const ScoreReference& reference, const WindowTotals& band,
                                     const std::uint64_t* products, int count, double* scores);

// ---- Score bounds -----------------------------------------------------------

// The patch rows below the first (head) rows: what bounding a candidate's
// cross term over them needs, with m their sample count and Sxt, Sxxt
// their sample sum and sum of squares.
struct TailReference {
    double sum;             // Sxt
    double deviation;       // sqrt(m * Sxxt - Sxt^2), formed from the exact integer
    double samples;         // m
    double inverseSamples;  // 1 / m
    double spreadMargin;    // m * 2^-50 (exact: a power of two times m)
};

// The tail of m samples with sum Sxt and squares Sxxt (exact integers).
TailReference tailReferenceOf(long long samples, long long sum, long long squares);

// For j < count, a number no smaller than the score of candidate j, whose
// cross term is known over the head rows only (headProducts[j]). band
// covers all the candidate's rows and head its head rows, so its tail's
// sum and squares are Syt = band - head and Syyt likewise (integers below
// 2^52, which the lanes convert exactly). The score formula is evaluated with its cross term
// replaced by
//   (headProducts[j] + (T * (1 + 1e-9) + 1)) + 1,
//   T = (Sxt * Syt + sqrt(m * Sxxt - Sxt^2) * sqrt(V)) / m,
// where T bounds the tail's cross term (Cauchy-Schwarz) and the margins
// cover every rounding. V stands for the candidate's tail spread
// m * Syyt - Syt^2; its products may pass 2^53 and round, so it is taken as
//   V = (m * Syyt - Syt * Syt) + (m * 2^-50) * Syyt,
// never below the exact spread: with a = m * Syyt >= b = Syt^2 and u = 2^-53,
// each product is off by at most u * a, the difference by u of itself, and
// the added term is at least 2^-50 * a * (1 - u) > 2 * u * a, so the
// computed V is positive and at least (a - b) / (1 + 3u), a factor the
// relative slack 1e-9 covers. The score only grows with its cross term, in
// floating point too, and the rest of the formula is the score kernel's to
// the last bit, so no score exceeds its bound.
using BoundKernelFunction = void (*)(const ScoreReference& reference, const TailReference& tail,
                                     const WindowTotals& band, const WindowTotals& head,
                                     const std::uint64_t* headProducts, int count, double* bounds);

// The bound's cheaper stand-in where only its comparison with a limit
// matters: for j < count, -infinity when the bound kernel's bound of
// candidate j is certainly at most limit (a number at least 0), +infinity
// otherwise. It forms the bound's numerator and the square of its
// denominator with margins that can only err towards +infinity, and
// compares squares, so it takes no square root of the denominator and no
// division (ScreenKernelFunction in the kernels' source gives the proof).
// A candidate may be screened in and still not beat the limit; none is
// screened out that could.
using ScreenKernelFunction = void (*)(const ScoreReference& reference, const TailReference& tail,
                                      const WindowTotals& band, const WindowTotals& head,
                                      const std::uint64_t* headProducts, double limit, int count,
                                      double* screens);

// ---- Column sums --------------------------------------------------------------

// Rows of samples (bytes held in 16 bits) added into the column sums
// sum[c] and squares[c] (squared samples), c < width: one row, or the rows
// rowOffsets[0 .. rows - 1] samples from first.
using AddRowFunction = void (*)(const std::int16_t* row, int width, long long* sum,
                                long long* squares);
using AddRowSetFunction = void (*)(const std::int16_t* first, const std::ptrdiff_t* rowOffsets,
                                   int rows, int width, long long* sum, long long* squares);
// A band moved by one row: entering added, leaving taken away.
using SlideRowFunction = void (*)(const std::int16_t* leaving, const std::int16_t* entering,
                                  int width, long long* sum, long long* squares);

// The running totals of width column sums, as WindowTotals reads them:
// sums[0] = 0 and sums[c + 1] = sums[c] + sum[c], c < width, and likewise
// squareTotals from squares.
using RunningTotalsFunction = void (*)(const long long* sum, const long long* squares, int width,
                                       long long* sums, long long* squareTotals);

// The windows of width samples along a row (bytes held in 16 bits): for
// k < count (count >= 1), sums[k] and squares[k] are the sum and the sum
// of squares of row[k .. k + width - 1], modulo 2^32 (exact below
// width = 66051).
using RowWindowsFunction = void (*)(const std::int16_t* row, int width, int count,
                                    std::uint32_t* sums, std::uint32_t* squares);

// ---- Scattered samples ---------------------------------------------------------

// The most samples a scattered set may have: each of their products is at
// most 255^2 in size, and this many of them stay below 2^31 in a signed
// 32-bit lane.
constexpr int kMostScatteredSamples = 4096;

// Over a scattered set of the patch's samples (weights[k] at offsets[k]
// samples from a candidate's first), for count candidates that start one
// sample apart: for j < count,
//   products[j] = sum over k < samples of weights[k] * candidates[offsets[k] + j]
// (overwritten). Samples are bytes held in 16 bits, weights lie in
// -255 .. 255, and samples is at most kMostScatteredSamples.
using ScatteredProductsFunction = void (*)(const std::int16_t* candidates,
                                           const std::ptrdiff_t* offsets,
                                           const std::int16_t* weights, int samples, int count,
                                           long long* products);

// What screening a candidate on a scattered set S of K of the patch's n
// samples needs, with x-bar the patch's mean and c its floor, and T the
// patch's other samples. A candidate's numerator N = P - Sx * Sy / n is
// the sum over the patch of (x - x-bar) * y, so, y being non-negative and
// Sum_T (x - x-bar) = -Sum_S (x - x-bar),
//   N <= G - Sy * meanShare + A * sqrt(Qy),
// with G the products of the centred weights x - c over S (x - x-bar is
// at most x - c), Qy = Syy - Sy^2 / n the candidate's whole spread, at
// least its spread over T about the candidate's mean (Cauchy-Schwarz over
// T), and A the patch's deviation over T about x-bar.
struct ScatteredReference {
    double meanShare;  // (n * Sum_S x - K * Sx) / n^2
    double deviation;  // A = sqrt(Sum_T (x - x-bar)^2), formed high
    // Far more than every rounding of the screen and of the score formula
    // can move its numerator by (ScatteredScreenFunction in the kernels'
    // source).
    double margin;
};

// For a set of setSamples samples with sum setSum and squares setSquares,
// of a patch of n samples with sum and squares (exact integers).
ScatteredReference scatteredReferenceOf(long long n, long long sum, long long squares,
                                        long long setSamples, long long setSum,
                                        long long setSquares);

// For j < count, -infinity when candidate j's score (the score kernel's,
// to the last bit) is certainly at most limit (a number at least 0), by
// the bound above with G = products[j] and band its sums and squares;
// +infinity otherwise. It compares squares, so it takes no square root
// and no division per candidate, and its margins only err towards
// +infinity.
using ScatteredScreenFunction = void (*)(const ScoreReference& reference,
                                         const ScatteredReference& scattered,
                                         const WindowTotals& band, const long long* products,
                                         double limit, int count, double* screens);

// ---- Samples ------------------------------------------------------------------

// The first byte of each of width 3-byte pixels, widened to a 16-bit
// sample: samples[c] = pixels[3 * c].
using ExtractRowFunction = void (*)(const unsigned char* pixels, int width, std::int16_t* samples);

// ---- One level's kernels -------------------------------------------------------

struct KernelSet {
    SimdLevel level;
    DotKernelFunction dot;
    ScoreKernelFunction scores;
    BoundKernelFunction bounds;
    AddRowFunction addRow;
    AddRowSetFunction addRowSet;
    SlideRowFunction slideRow;
    RunningTotalsFunction runningTotals;
    RowWindowsFunction rowWindows;
    ExtractRowFunction extractRow;
    ScatteredProductsFunction scatteredProducts;
    ScatteredScreenFunction scatteredScreens;
    ScreenKernelFunction screens;
};

// The level's kernels; the scalar ones when simdLevelSupported(level) is false.
const KernelSet& kernelsFor(SimdLevel level);

}  // namespace detail
}  // namespace Tellvar
