// The vector kernels against plain loops: every instruction set this
// processor has must give exactly the plain loops' numbers.

#include "KernelLevels.h"
#include "registration/kernels/CorrelationKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using kerneltest::levelName;
using kerneltest::sameBits;
using kerneltest::supportedLevels;
using Tellvar::detail::kernelsFor;
using Tellvar::detail::SimdLevel;

TEST(KernelDispatch, EachLevelHandsOutItsOwnKernelsAndTheFastestIsChosen) {
    for (SimdLevel level : kerneltest::kAllLevels)
        EXPECT_EQ(kernelsFor(level).level,
                  Tellvar::detail::simdLevelSupported(level) ? level : SimdLevel::Scalar)
            << levelName(level);
    EXPECT_EQ(Tellvar::detail::fastestSimdLevel(), supportedLevels().back());
}

// Samples laid out as the search lays them out: a patch of rows padded to
// `length`, and a wider plane of candidates.
struct DotCase {
    int length, rows, count;
    std::size_t patchStride, planeStride;
    std::vector<std::int16_t> patch, plane;

    DotCase(int length, int rows, int count, std::mt19937& random, int low = 0, int high = 255)
        : length(length),
          rows(rows),
          count(count),
          patchStride(length),
          planeStride(static_cast<std::size_t>(length) + count + 5),
          patch(patchStride * rows),
          plane(planeStride * rows) {
        std::uniform_int_distribution<int> value(low, high);
        for (auto& v : patch) v = static_cast<std::int16_t>(value(random));
        for (auto& v : plane) v = static_cast<std::int16_t>(value(random));
    }

    std::uint64_t expected(int j) const {
        std::uint64_t total = 0;
        for (int r = 0; r < rows; ++r)
            for (int k = 0; k < length; ++k)
                total += static_cast<std::uint64_t>(patch[r * patchStride + k]) *
                         static_cast<std::uint64_t>(plane[r * planeStride + j + k]);
        return total;
    }

    std::vector<std::uint64_t> run(SimdLevel level) const {
        std::vector<std::ptrdiff_t> offsets(rows);
        for (int r = 0; r < rows; ++r)
            offsets[r] = static_cast<std::ptrdiff_t>(r) * static_cast<std::ptrdiff_t>(planeStride);
        return run(level, offsets);
    }

    // Patch row r against the plane's row at offsets[r].
    std::vector<std::uint64_t> run(SimdLevel level,
                                   const std::vector<std::ptrdiff_t>& offsets) const {
        std::vector<std::uint64_t> out(count, 0xDEADBEEF);
        Tellvar::detail::rowsDotProducts(kernelsFor(level).dot, patch.data(), patchStride,
                                         plane.data(), offsets.data(), length, rows, count,
                                         out.data());
        return out;
    }
};

TEST(DotKernels, MatchPlainSumsForEveryGroupingAndLength) {
    std::mt19937 random(3);
    for (SimdLevel level : supportedLevels()) {
        SCOPED_TRACE(levelName(level));
        // Lengths that are and are not multiples of 16 and 32 (tails of 8,
        // 16 and 24), counts around the group of four and the blocks of 16,
        // 32, 64 and 128 neighbours (with every kind of remainder), and one
        // row as well as many.
        for (int length : {8, 16, 24, 40, 56, 80, 200})
            for (int count : {1, 3, 4, 5, 9, 16, 21, 32, 53, 61, 70, 93, 100, 130, 161})
                for (int rows : {1, 7}) {
                    const DotCase c(length, rows, count, random);
                    const std::vector<std::uint64_t> out = c.run(level);
                    for (int j = 0; j < count; ++j)
                        ASSERT_EQ(out[j], c.expected(j))
                            << "length " << length << " rows " << rows << " candidate " << j;
                }
    }
}

TEST(DotKernels, PatchRowsMeetTheCandidateRowsTheirOffsetsName) {
    // The scan hands the patch's rows over in an order of its own: patch
    // row r must meet the plane's row at offsets[r], whatever the order.
    std::mt19937 random(6);
    for (SimdLevel level : supportedLevels()) {
        SCOPED_TRACE(levelName(level));
        for (int count : {1, 5, 16, 70}) {
            const DotCase c(40, 9, count, random);
            const int order[9] = {4, 0, 8, 2, 7, 1, 6, 3, 5};
            // The patch's rows taken in that order against the same rows of
            // the plane give the natural order's sums.
            DotCase permuted = c;
            std::vector<std::ptrdiff_t> offsets(c.rows);
            for (int r = 0; r < c.rows; ++r) {
                std::copy_n(c.patch.begin() + order[r] * c.patchStride, c.patchStride,
                            permuted.patch.begin() + r * c.patchStride);
                offsets[r] = static_cast<std::ptrdiff_t>(order[r] * c.planeStride);
            }
            const std::vector<std::uint64_t> out = permuted.run(level, offsets);
            for (int j = 0; j < count; ++j) ASSERT_EQ(out[j], c.expected(j)) << "candidate " << j;
            // And a row met twice counts twice: offsets are followed, not
            // assumed to be a permutation.
            std::vector<std::ptrdiff_t> repeated(c.rows, 0);
            const std::vector<std::uint64_t> twice = c.run(level, repeated);
            for (int j = 0; j < count; ++j) {
                std::uint64_t expected = 0;
                for (int r = 0; r < c.rows; ++r)
                    for (int k = 0; k < c.length; ++k)
                        expected += static_cast<std::uint64_t>(c.patch[r * c.patchStride + k]) *
                                    static_cast<std::uint64_t>(c.plane[j + k]);
                ASSERT_EQ(twice[j], expected) << "candidate " << j;
            }
        }
    }
}

TEST(DotKernels, SumsBeyondThirtyTwoBitsStayExact) {
    // Every sample 255: each 32-bit lane of the vector kernels would wrap
    // after about 33000 pair sums; 1024 x 600 samples give every lane well
    // over that, so the kernels must widen in time.
    std::mt19937 random(4);
    // 37 candidates: a block of 32, a group of 4 and a single one, each
    // with its own lanes to widen.
    const DotCase c(1024, 600, 37, random, 255, 255);
    const std::uint64_t expected = 1024ull * 600ull * 255ull * 255ull;
    ASSERT_GT(expected, 0xFFFFFFFFull);
    for (SimdLevel level : supportedLevels()) {
        const std::vector<std::uint64_t> out = c.run(level);
        for (int j = 0; j < c.count; ++j) EXPECT_EQ(out[j], expected) << levelName(level);
    }
}

TEST(DotKernels, RowsLongerThanOneKernelCallAreSplit) {
    std::mt19937 random(5);
    const int length = Tellvar::detail::kMaxDotLength + 24;
    const DotCase c(length, 2, 6, random);
    for (SimdLevel level : supportedLevels()) {
        const std::vector<std::uint64_t> out = c.run(level);
        for (int j = 0; j < c.count; ++j) ASSERT_EQ(out[j], c.expected(j)) << levelName(level);
    }
}

// correlate()'s formula, written out as the reference writes it.
double referenceFormula(const Tellvar::detail::ScoreReference& reference, double sum,
                        double squares, double products) {
    const double n = reference.n;
    const double ssq = squares - sum * sum / n;
    return (products - sum * reference.sum / n) / std::sqrt(ssq * reference.ssq);
}

// Running totals whose windows of `width` columns are the given values:
// totals[j + width] - totals[j] == windows[j], from a random start.
std::vector<long long> totalsOf(const std::vector<long long>& windows, int width,
                                std::mt19937& random) {
    std::vector<long long> totals(windows.size() + width);
    for (int c = 0; c < width; ++c)
        totals[c] = (c > 0 ? totals[c - 1] : 0) + static_cast<long long>(random() % 1000);
    for (std::size_t j = 0; j < windows.size(); ++j) totals[j + width] = totals[j] + windows[j];
    return totals;
}

TEST(ScoreKernels, GiveTheReferenceFormulasBitsInEveryLane) {
    std::mt19937 random(6);
    const int count = 203;  // not a multiple of any vector width
    for (int trial = 0; trial < 20; ++trial) {
        // A patch of m samples (n = m) and candidates whose sums are
        // consistent integers, among them flat ones of any brightness (a
        // NaN score: their cross term is their value times Sx).
        const int m = 1 + static_cast<int>(random() % 3000);
        const double referenceSum = static_cast<double>(random() % 765000);
        std::vector<long long> sums(count), squares(count);
        std::vector<std::uint64_t> products(count);
        for (int j = 0; j < count; ++j) {
            const bool flat = j % 17 == 0;
            const long long mean = static_cast<long long>(random() % 256);
            sums[j] = mean * m;
            squares[j] = mean * mean * m + (flat ? 0 : static_cast<long long>(random() % 100000));
            products[j] =
                flat ? static_cast<std::uint64_t>(mean * referenceSum) : random() % 200000000;
        }
        // The kernels form each candidate's sums from running totals over
        // windows of a few columns.
        const int width = 1 + static_cast<int>(random() % 5);
        const std::vector<long long> sumTotals = totalsOf(sums, width, random);
        const std::vector<long long> squareTotals = totalsOf(squares, width, random);
        const Tellvar::detail::WindowTotals band{sumTotals.data(), squareTotals.data(), width};
        const Tellvar::detail::ScoreReference reference{static_cast<double>(m), referenceSum,
                                                        static_cast<double>(random() % 9000000)};
        for (SimdLevel level : supportedLevels()) {
            std::vector<double> scores(count);
            kernelsFor(level).scores(reference, band, products.data(), count, scores.data());
            for (int j = 0; j < count; ++j) {
                const double expected = referenceFormula(reference, static_cast<double>(sums[j]),
                                                         static_cast<double>(squares[j]),
                                                         static_cast<double>(products[j]));
                ASSERT_TRUE(sameBits(scores[j], expected) ||
                            (std::isnan(scores[j]) && std::isnan(expected)))
                    << levelName(level) << " lane " << j << ": " << scores[j] << " vs " << expected;
                if (j % 17 == 0) {
                    ASSERT_TRUE(std::isnan(scores[j])) << levelName(level) << " lane " << j;
                }
            }
        }
    }
}

// A patch and a candidate of `samples` samples each, split after `head`
// of them, with every sum the bound kernel and the score need.
struct BoundCase {
    Tellvar::detail::ScoreReference reference{};
    Tellvar::detail::TailReference tail{};
    long long sum = 0, squares = 0, tailSum = 0, tailSquares = 0;
    std::uint64_t headProducts = 0;
    double products = 0;  // the whole cross term

    BoundCase(const std::vector<int>& x, const std::vector<int>& y, std::size_t head) {
        long long sx = 0, sxx = 0, sy = 0, syy = 0, p = 0, headP = 0;
        long long sxt = 0, sxxt = 0, syt = 0, syyt = 0;
        for (std::size_t k = 0; k < x.size(); ++k) {
            sx += x[k];
            sxx += x[k] * x[k];
            sy += y[k];
            syy += y[k] * y[k];
            p += x[k] * y[k];
            if (k < head) {
                headP += x[k] * y[k];
            } else {
                sxt += x[k];
                sxxt += x[k] * x[k];
                syt += y[k];
                syyt += y[k] * y[k];
            }
        }
        const long long m = static_cast<long long>(x.size() - head);
        const double n = static_cast<double>(x.size());
        reference = {n, static_cast<double>(sx),
                     static_cast<double>(sxx) - static_cast<double>(sx) * sx / n};
        tail = Tellvar::detail::tailReferenceOf(m, sxt, sxxt);
        sum = sy;
        squares = syy;
        headProducts = static_cast<std::uint64_t>(headP);
        tailSum = syt;
        tailSquares = syyt;
        products = static_cast<double>(p);
    }

    double bound(SimdLevel level) const { return boundOrScreen(level, nullptr); }
    // The screen kernel's verdict for the limit: +inf or -inf.
    double screen(SimdLevel level, double limit) const { return boundOrScreen(level, &limit); }
    double boundOrScreen(SimdLevel level, const double* limit) const {
        // Several lanes of the same case, so that the vector lanes run too.
        constexpr int kLanes = 5;
        constexpr int kWidth = 3;
        std::mt19937 random(9);
        const std::vector<long long> sums =
            totalsOf(std::vector<long long>(kLanes, sum), kWidth, random);
        const std::vector<long long> squaresV =
            totalsOf(std::vector<long long>(kLanes, squares), kWidth, random);
        const std::vector<long long> headSums =
            totalsOf(std::vector<long long>(kLanes, sum - tailSum), kWidth, random);
        const std::vector<long long> headSquares =
            totalsOf(std::vector<long long>(kLanes, squares - tailSquares), kWidth, random);
        const std::vector<std::uint64_t> head(kLanes, headProducts);
        std::vector<double> bounds(kLanes);
        const Tellvar::detail::WindowTotals band{sums.data(), squaresV.data(), kWidth},
            headTotals{headSums.data(), headSquares.data(), kWidth};
        if (limit)
            kernelsFor(level).screens(reference, tail, band, headTotals, head.data(), *limit,
                                      kLanes, bounds.data());
        else
            kernelsFor(level).bounds(reference, tail, band, headTotals, head.data(), kLanes,
                                     bounds.data());
        for (double b : bounds) EXPECT_TRUE(sameBits(b, bounds[0]) || std::isnan(b));
        return bounds[0];
    }
    double score() const {
        return referenceFormula(reference, static_cast<double>(sum), static_cast<double>(squares),
                                products);
    }
};

TEST(BoundKernels, NoScoreExceedsItsBound) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t samples = 2 + random() % 600;
        const std::size_t head = 1 + random() % (samples - 1);
        std::vector<int> x(samples), y(samples);
        const int kind = trial % 5;
        for (std::size_t k = 0; k < samples; ++k) {
            x[k] = static_cast<int>(random() % 256);
            switch (kind) {
                case 0: y[k] = static_cast<int>(random() % 256); break;  // unrelated
                case 1: y[k] = x[k]; break;                              // identical: 1
                case 2: y[k] = std::min(255, x[k] / 2 + 3); break;       // nearly proportional
                case 3: y[k] = std::clamp(x[k] + static_cast<int>(random() % 9) - 4, 0, 255); break;
                case 4:
                    y[k] = k < head ? static_cast<int>(random() % 256) : 77;
                    break;  // flat tail
            }
        }
        const BoundCase c(x, y, head);
        const double score = c.score();
        for (SimdLevel level : supportedLevels()) {
            const double bound = c.bound(level);
            if (std::isnan(score)) continue;
            ASSERT_GE(bound, score) << levelName(level) << " trial " << trial << " kind " << kind;
        }
    }
}

// The screen never dismisses a candidate whose bound exceeds the limit,
// even by the last bit, and does dismiss it for a limit a little above.
TEST(BoundKernels, ScreensDismissOnlyWhatTheBoundDismisses) {
    std::mt19937 random(12);
    const double infinity = std::numeric_limits<double>::infinity();
    int dismissed = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t samples = 2 + random() % 600;
        const std::size_t head = 1 + random() % (samples - 1);
        std::vector<int> x(samples), y(samples);
        for (std::size_t k = 0; k < samples; ++k) {
            x[k] = static_cast<int>(random() % 256);
            y[k] = trial % 3 == 0 ? x[k] : trial % 3 == 1 ? static_cast<int>(random() % 256) : 77;
        }
        const BoundCase c(x, y, head);
        const double bound = c.bound(SimdLevel::Scalar);
        if (!(bound > 0.0) || !std::isfinite(bound)) continue;
        for (double limit : {0.0, bound * 0.5, std::nextafter(bound, 0.0), bound})
            for (SimdLevel level : supportedLevels()) {
                const double screen = c.screen(level, limit);
                ASSERT_EQ(screen, bound > limit ? infinity : screen)
                    << levelName(level) << " trial " << trial << " limit " << limit;
                ASSERT_EQ(screen, c.screen(SimdLevel::Scalar, limit)) << levelName(level);
            }
        const double screen = c.screen(SimdLevel::Scalar, bound * (1 + 1e-9));
        dismissed += screen == -infinity;
    }
    EXPECT_GT(dismissed, 150);
}

TEST(BoundKernels, TailsWhoseSpreadPassesTwoToThe53) {
    // Millions of bright samples: m * Syyt and Syt^2 round as doubles, and
    // a nearly flat candidate tail leaves a spread far below either.
    std::mt19937 random(11);
    for (int kind = 0; kind < 3; ++kind) {
        const std::size_t samples = 2'000'000, head = 1000;
        std::vector<int> x(samples), y(samples);
        for (std::size_t k = 0; k < samples; ++k) {
            x[k] = 200 + static_cast<int>(random() % 56);
            y[k] = kind == 0   ? 254 + static_cast<int>(k % 977 == 0)  // nearly flat
                   : kind == 1 ? x[k]                                  // identical: 1
                               : std::min(255, x[k] + static_cast<int>(random() % 3));
        }
        const BoundCase c(x, y, head);
        for (SimdLevel level : supportedLevels())
            EXPECT_GE(c.bound(level), c.score()) << levelName(level) << " kind " << kind;
    }
}

TEST(BoundKernels, EveryLevelGivesTheScalarBounds) {
    std::mt19937 random(8);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<int> x(300), y(300);
        for (int k = 0; k < 300; ++k) {
            x[k] = static_cast<int>(random() % 256);
            y[k] = static_cast<int>(random() % 256);
        }
        const BoundCase c(x, y, 100 + random() % 100);
        const double scalar = c.bound(SimdLevel::Scalar);
        for (SimdLevel level : supportedLevels())
            EXPECT_TRUE(sameBits(c.bound(level), scalar)) << levelName(level);
    }
}

// Every width's remainder of the widest step: each pixel's first byte,
// bright ones unsigned, nothing written past the row, and nothing read
// past it (the pixels end their allocation, for the sanitizer build).
TEST(SampleKernels, ExtractRowTakesEachPixelsFirstByte) {
    std::mt19937 random(14);
    for (int width = 0; width <= 70; ++width) {
        std::unique_ptr<unsigned char[]> pixels(new unsigned char[3 * width]);
        for (int b = 0; b < 3 * width; ++b) pixels[b] = static_cast<unsigned char>(random());
        for (SimdLevel level : supportedLevels()) {
            std::vector<std::int16_t> samples(width + 1, -7);
            kernelsFor(level).extractRow(pixels.get(), width, samples.data());
            for (int c = 0; c < width; ++c)
                ASSERT_EQ(samples[c], pixels[3 * c]) << levelName(level) << " width " << width;
            ASSERT_EQ(samples[width], -7) << levelName(level) << " width " << width;
        }
    }
}

// A row's windows slid along it against plain sums: counts with each
// level's remainders, narrow and wide windows, and bright rows whose
// squares pass 2^31.
TEST(SampleKernels, RowWindowsMatchPlainSums) {
    std::mt19937 random(15);
    const struct {
        int width, count;
        bool bright;
    } cases[] = {{1, 1, false},   {1, 40, false},   {5, 15, false},  {40, 16, false},
                 {40, 17, false}, {40, 280, false}, {33, 63, false}, {40000, 35, true}};
    for (const auto& c : cases) {
        std::vector<std::int16_t> row(c.width + c.count - 1);
        for (auto& v : row)
            v = static_cast<std::int16_t>(c.bright ? 255 - random() % 2 : random() % 256);
        for (SimdLevel level : supportedLevels()) {
            std::vector<std::uint32_t> sums(c.count + 1, 7), squares(c.count + 1, 7);
            kernelsFor(level).rowWindows(row.data(), c.width, c.count, sums.data(), squares.data());
            for (int k = 0; k < c.count; ++k) {
                std::uint64_t sum = 0, square = 0;
                for (int i = 0; i < c.width; ++i) {
                    sum += static_cast<std::uint64_t>(row[k + i]);
                    square += static_cast<std::uint64_t>(row[k + i] * row[k + i]);
                }
                ASSERT_EQ(sums[k], sum)
                    << levelName(level) << " width " << c.width << " window " << k;
                ASSERT_EQ(squares[k], square)
                    << levelName(level) << " width " << c.width << " window " << k;
            }
            ASSERT_TRUE(sums[c.count] == 7u && squares[c.count] == 7u)
                << levelName(level) << " wrote past the last window";
        }
    }
}

// A scattered set of patch samples against a plane: the plain products of
// every candidate, at every level, for counts with each kind of lane
// remainder and weights of either sign, and full sets at the 32-bit
// lanes' limits either way.
TEST(ScatteredKernels, MatchPlainProductsAtEveryLevel) {
    using Tellvar::detail::kMostScatteredSamples;
    std::mt19937 random(11);
    const struct {
        int samples, count, extreme;  // extreme: every weight and sample at +-255
    } cases[] = {{1, 1, 0},
                 {3, 7, 0},
                 {32, 8, 0},
                 {32, 61, 0},
                 {5, 100, 0},
                 {kMostScatteredSamples, 19, 1},
                 {kMostScatteredSamples, 19, -1}};
    constexpr int kPlaneWidth = 140, kPlaneRows = 40;
    for (const auto& c : cases) {
        std::vector<std::int16_t> plane(kPlaneWidth * kPlaneRows), weights(c.samples);
        std::vector<std::ptrdiff_t> offsets(c.samples);
        for (auto& v : plane) v = static_cast<std::int16_t>(c.extreme ? 255 : random() % 256);
        for (int k = 0; k < c.samples; ++k) {
            weights[k] =
                static_cast<std::int16_t>(c.extreme ? 255 * c.extreme : random() % 511 - 255);
            offsets[k] = static_cast<std::ptrdiff_t>(random() % kPlaneRows) * kPlaneWidth +
                         random() % (kPlaneWidth - c.count);
        }
        for (SimdLevel level : supportedLevels()) {
            std::vector<long long> products(c.count, -1);
            kernelsFor(level).scatteredProducts(plane.data(), offsets.data(), weights.data(),
                                                c.samples, c.count, products.data());
            for (int j = 0; j < c.count; ++j) {
                long long p = 0;
                for (int k = 0; k < c.samples; ++k) p += weights[k] * plane[offsets[k] + j];
                ASSERT_EQ(products[j], p) << levelName(level) << " candidate " << j;
            }
        }
    }
}

// The scattered screen against the score formula: for patches and windows
// of every kind (flat and nearly flat ones, bright ones of millions of
// samples among them) and sets of any size, it never dismisses a window
// whose score exceeds the limit, even by the last bit, every level gives
// the scalar verdicts, and it does dismiss windows that plainly fall short.
TEST(ScatteredKernels, ScreensNeverDismissAScoreAboveTheLimit) {
    using namespace Tellvar::detail;
    std::mt19937 random(13);
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        int trials;
        std::size_t largest;
    } kinds[] = {{"unrelated", 120, 600},
                 {"identical", 60, 600},
                 {"proportional", 60, 600},
                 {"noisy", 120, 600},
                 {"flat", 40, 600},
                 {"nearly flat", 40, 600},
                 {"bright millions", 3, 2000000},
                 {"other stars", 100, 2000}};
    int stars = 0, starsDismissed = 0;
    for (int kind = 0; kind < 8; ++kind)
        for (int trial = 0; trial < kinds[kind].trials; ++trial) {
            const std::size_t n = 64 + random() % (kinds[kind].largest - 63);
            // A sky: dim noise, a few stars (the set: the first samples)
            // and, in the window, stars elsewhere.
            const auto sky = [&](bool star) {
                return star ? 180 + static_cast<int>(random() % 76)
                            : 20 + static_cast<int>(random() % 6);
            };
            const std::size_t starCount = n / 50;
            std::vector<int> x(n), y(n);
            for (std::size_t k = 0; k < n; ++k) {
                x[k] = kind == 6   ? 200 + static_cast<int>(random() % 56)
                       : kind == 7 ? sky(k < starCount)
                                   : static_cast<int>(random() % 256);
                const int noise = static_cast<int>(random() % 9) - 4;
                const int values[] = {static_cast<int>(random() % 256),
                                      x[k],
                                      std::min(255, x[k] / 2 + 3),
                                      std::clamp(x[k] + noise, 0, 255),
                                      77,
                                      254 + static_cast<int>(k % 97 == 0),
                                      std::min(255, x[k] + static_cast<int>(random() % 3)),
                                      sky(random() % 50 == 0)};
                y[k] = values[kind];
            }
            // Any set bounds soundly: here the first K samples.
            const std::size_t setSize =
                kind == 7 ? starCount : 1 + random() % std::min<std::size_t>(n / 2, 64);
            long long sx = 0, sxx = 0, sy = 0, syy = 0, p = 0, setSum = 0, setSquares = 0;
            for (std::size_t k = 0; k < n; ++k) {
                sx += x[k];
                sxx += 1LL * x[k] * x[k];
                sy += y[k];
                syy += 1LL * y[k] * y[k];
                p += 1LL * x[k] * y[k];
                if (k < setSize) {
                    setSum += x[k];
                    setSquares += 1LL * x[k] * x[k];
                }
            }
            const long long meanFloor = sx / static_cast<long long>(n);
            long long g = 0;
            for (std::size_t k = 0; k < setSize; ++k) g += (x[k] - meanFloor) * y[k];
            const double dn = static_cast<double>(n);
            const ScoreReference reference{
                dn, static_cast<double>(sx),
                static_cast<double>(sxx) - static_cast<double>(sx) * sx / dn};
            const ScatteredReference scattered =
                scatteredReferenceOf(static_cast<long long>(n), sx, sxx,
                                     static_cast<long long>(setSize), setSum, setSquares);
            const double score = referenceFormula(reference, static_cast<double>(sy),
                                                  static_cast<double>(syy), static_cast<double>(p));
            // Several lanes of the same window, so that the vector lanes run too.
            constexpr int kLanes = 7, kWidth = 3;
            const std::vector<long long> sums = totalsOf(std::vector<long long>(kLanes, sy), kWidth,
                                                         random),
                                         squares = totalsOf(std::vector<long long>(kLanes, syy),
                                                            kWidth, random);
            const std::vector<long long> products(kLanes, g);
            const WindowTotals band{sums.data(), squares.data(), kWidth};
            const auto screen = [&](SimdLevel level, double limit) {
                std::vector<double> out(kLanes);
                kernelsFor(level).scatteredScreens(reference, scattered, band, products.data(),
                                                   limit, kLanes, out.data());
                for (double v : out) EXPECT_EQ(v, out[0]) << levelName(level);
                return out[0];
            };
            const double below = std::nextafter(score, -infinity);
            for (double limit : {0.0, 0.3, 0.9, 0.999, score, below, score * 0.5}) {
                if (!(limit >= 0.0)) continue;
                const double verdict = screen(SimdLevel::Scalar, limit);
                if (score > limit) {
                    ASSERT_EQ(verdict, infinity) << kinds[kind].name << " trial " << trial
                                                 << " score " << score << " limit " << limit;
                }
                for (SimdLevel level : supportedLevels())
                    ASSERT_EQ(screen(level, limit), verdict) << levelName(level);
            }
            if (kind == 7) {
                ++stars;
                starsDismissed += screen(SimdLevel::Scalar, 0.5) == -infinity;
            }
        }
    // A sky whose stars lie elsewhere, against a modest limit: the stars'
    // products alone settle nearly all of them.
    EXPECT_GT(starsDismissed, stars * 9 / 10) << stars;
}

}  // namespace
