// The correlation kernels, written once for every instruction set.
//
// Included by one source per level (CorrelationKernels.scalar.cpp, .sse2.cpp,
// .avx2.cpp, .avx512.cpp), each compiled with its level's flags, after it has named its
// lanes (KernelLanes*.h):
//   Doubles          the widest lanes of doubles (OneDouble finishes a row);
//   DotSamples       the widest lanes of samples for the dot products;
//   DotTailSamples   a narrower step for the last samples of a row whose
//                    length is not a multiple of DotSamples::kCount;
//   Columns          the widest lanes of columns (OneColumn finishes a row);
//   ColumnPairs      as many columns, each holding two samples of a candidate;
//   RunningTotals    the widest lanes of 64-bit running totals (OneRunningTotal
//                    finishes a row);
//   Windows          the widest lanes of a row's window sums (OneWindow
//                    finishes a row);
//   PixelSamples     the widest step of pixels turned into samples (FirstByte
//                    finishes a row);
//   kDotGroup        candidates that share each load of the patch;
//   kDotBlocks       whether long runs of candidates take the block kernel;
//   kLevel           the level, and TELLVAR_KERNEL_LEVEL its namespace.
// The formulas below are evaluated lane by lane exactly as written, in
// this order; no fused multiply-add is enabled (the build compiles these
// sources with -ffp-contract=off), so every lane rounds as the scalar
// instruction does, on every level.
//
// Nothing here uses the standard library's templates: an instantiation
// compiled for AVX2 could be merged at link time with the same one used by
// code that runs on any processor.

#include "registration/kernels/CorrelationKernels.h"

#ifndef TELLVAR_KERNEL_LEVEL
#error "Include this file from a level's source, after naming its lanes"
#endif

namespace Tellvar {
namespace detail {
namespace {

int lesserOf(int a, int b) { return a < b ? a : b; }

// Where a row's whole vectors of kCount candidates stop at rest, short of
// count, the kernels that only write their candidates' results run one
// more vector, the one that ends at the row's last candidate (when the row
// is that long): it writes a few of them again with the very same values,
// and spares the narrower steps. lanes(from) runs the vectors from there.
template <int kCount, class Lanes>
int lastVector(int rest, int count, Lanes lanes) {
    if (rest >= count || count < kCount) return rest;
    lanes(count - kCount);
    return count;
}

// ---- Dot products -----------------------------------------------------------
//
// The vector kernels multiply 16-bit samples pairwise and add neighbouring
// products into 32-bit lanes (pmaddwd). A lane's partial sum is read as
// unsigned: every product is at most 255 x 255, so one multiply-add result
// is at most 130050 and a lane holds kLaneCapacity of them before it could
// wrap. The lanes are widened into 64-bit totals before that happens.

constexpr unsigned long long kLargestPairSum = 2ull * 255u * 255u;
constexpr int kLaneCapacity = static_cast<int>(0xFFFFFFFFull / kLargestPairSum);
// A kernel with one candidate per lane pair (a scalar step) adds half a
// row's length into each lane: the most any kernel adds per row.
static_assert(static_cast<unsigned long long>(kMaxDotLength / 2) * kLargestPairSum <= 0xFFFFFFFFu,
              "one row of the longest length must fit a 32-bit lane");

// Rows a kernel may add into its 32-bit lanes before widening them, when
// each row adds pairSumsPerRow multiply-add results to every lane.
int rowsPerFlush(int pairSumsPerRow) {
    const int perRow = pairSumsPerRow < 1 ? 1 : pairSumsPerRow;
    return kLaneCapacity / perRow < 1 ? 1 : kLaneCapacity / perRow;
}

// G neighbouring candidates at once: one load of a patch step serves G
// multiply-adds, and the G candidate loads overlap in the same cache lines.
template <int G>
void dotGroup(const std::int16_t* patch, std::size_t patchStride, const std::int16_t* candidates,
              const std::ptrdiff_t* rowOffsets, int length, int rows, std::uint64_t* out) {
    using Step = DotSamples;
    using TailStep = DotTailSamples;
    // Lengths are multiples of kDotLengthMultiple: only a level whose step
    // is wider has a tail, of whole steps of that many samples.
    constexpr bool kMayHaveTail = Step::kCount > kDotLengthMultiple;
    static_assert(!kMayHaveTail || (TailStep::kCount == kDotLengthMultiple &&
                                    Step::kCount % TailStep::kCount == 0),
                  "tail steps cover the rest of a row");
    const int wide = length / Step::kCount * Step::kCount;
    const bool tailStep = kMayHaveTail && wide != length;
    const int tailSteps = tailStep ? (length - wide) / TailStep::kCount : 0;
    const int flushEvery = rowsPerFlush(wide / Step::kCount + tailSteps);
    typename Step::Totals total[G];
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) total[g] = Step::Totals::zero();

    for (int r = 0; r < rows;) {
        const int chunkEnd = lesserOf(rows, r + flushEvery);
        typename Step::Lanes lanes[G];
        typename TailStep::Lanes tailLanes[G];
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            lanes[g] = Step::Lanes::zero();
            tailLanes[g] = TailStep::Lanes::zero();
        }
        for (; r < chunkEnd; ++r, patch += patchStride) {
            const std::int16_t* row = candidates + rowOffsets[r];
            int k = 0;
            for (; k < wide; k += Step::kCount) {
                const Step p = Step::load(patch + k);
#pragma GCC unroll 4
                for (int g = 0; g < G; ++g)
                    lanes[g] = lanes[g] + multiplyAdd(p, Step::load(row + g + k));
            }
            if (kMayHaveTail && tailStep) {
                for (; k < length; k += TailStep::kCount) {
                    const TailStep p = TailStep::load(patch + k);
#pragma GCC unroll 4
                    for (int g = 0; g < G; ++g)
                        tailLanes[g] = tailLanes[g] + multiplyAdd(p, TailStep::load(row + g + k));
                }
            }
        }
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            total[g] = total[g].plus(lanes[g]);
            if (kMayHaveTail && tailStep) total[g] = total[g].plus(tailLanes[g]);
        }
    }
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) out[g] = total[g].sum();
}

// DotSamples::kCount neighbouring candidates per block, Blocks blocks side
// by side, with no horizontal sums: 32-bit lane i of a plain load from
// candidates + b holds the sample pair (c[b + 2i], c[b + 2i + 1]), which is
// candidate b + 2i's pair at offset 0. So with the patch pair
// (p[k], p[k + 1]) broadcast to every lane, one multiply-add of the load
// from candidates + k adds
//   p[k] * c[2i + k] + p[k + 1] * c[2i + k + 1]
// to the even candidates 2i, and one of the load from candidates + k + 1
// does the same for the odd candidates 2i + 1. Stepping k over the row's
// pairs gives each lane its candidate's whole dot product. pairs is the
// row's pair count; a row reads candidates[0 .. 2 * pairs + kPerBlock *
// Blocks - 1], which is the last candidate's own padded row.
// out[0 .. kPerBlock * Blocks - 1] are overwritten.
// Step is DotSamples on the levels that take blocks (kDotBlocks).
template <class Step, int Blocks>
void dotBlocks(const std::int16_t* patch, std::size_t patchStride, const std::int16_t* candidates,
               const std::ptrdiff_t* rowOffsets, int pairs, int rows, std::uint64_t* out) {
    constexpr int kPerBlock = Step::kCount;
    const int flushEvery = rowsPerFlush(pairs);
    for (int j = 0; j < kPerBlock * Blocks; ++j) out[j] = 0;
    for (int r = 0; r < rows;) {
        const int chunkEnd = lesserOf(rows, r + flushEvery);
        typename Step::Lanes even[Blocks], odd[Blocks];
#pragma GCC unroll 4
        for (int b = 0; b < Blocks; ++b) even[b] = odd[b] = Step::Lanes::zero();
        for (; r < chunkEnd; ++r, patch += patchStride) {
            const std::int16_t* row = candidates + rowOffsets[r];
            for (int k = 0; k < 2 * pairs; k += 2) {
                const Step p = Step::broadcastPair(patch + k);
#pragma GCC unroll 4
                for (int b = 0; b < Blocks; ++b) {
                    const std::int16_t* c = row + kPerBlock * b + k;
                    even[b] = even[b] + multiplyAdd(p, Step::load(c));
                    odd[b] = odd[b] + multiplyAdd(p, Step::load(c + 1));
                }
            }
        }
#pragma GCC unroll 4
        for (int b = 0; b < Blocks; ++b)
            Step::Lanes::addInterleaved(out + kPerBlock * b, even[b], odd[b]);
    }
}

void dot(const std::int16_t* patch, std::size_t patchStride, const std::int16_t* candidates,
         const std::ptrdiff_t* rowOffsets, int length, int rows, int count, std::uint64_t* out) {
    int j = 0;
    if constexpr (kDotBlocks) {
        // length is a multiple of 8, so every row is whole sample pairs.
        // Four blocks share each broadcast patch pair and still leave the
        // registers room; fewer blocks take the rest.
        constexpr int kPerBlock = DotSamples::kCount;
        const int pairs = length / 2;
        for (; j + 4 * kPerBlock <= count; j += 4 * kPerBlock)
            dotBlocks<DotSamples, 4>(patch, patchStride, candidates + j, rowOffsets, pairs, rows,
                                     out + j);
        if (count - j > 2 * kPerBlock) {
            dotBlocks<DotSamples, 2>(patch, patchStride, candidates + j, rowOffsets, pairs, rows,
                                     out + j);
            j += 2 * kPerBlock;
        }
        // The last few of a run: as few blocks as cover them, the last one
        // ending at the last candidate and rewriting some already done with
        // the same sums.
        if (count - j > kPerBlock) {
            if (count >= 2 * kPerBlock) {
                dotBlocks<DotSamples, 2>(patch, patchStride, candidates + count - 2 * kPerBlock,
                                         rowOffsets, pairs, rows, out + count - 2 * kPerBlock);
                j = count;
            } else {
                dotBlocks<DotSamples, 1>(patch, patchStride, candidates + j, rowOffsets, pairs,
                                         rows, out + j);
                j += kPerBlock;
            }
        }
        if (j < count && count >= kPerBlock) {
            dotBlocks<DotSamples, 1>(patch, patchStride, candidates + count - kPerBlock, rowOffsets,
                                     pairs, rows, out + count - kPerBlock);
            j = count;
        }
    }
    for (; j + kDotGroup <= count; j += kDotGroup)
        dotGroup<kDotGroup>(patch, patchStride, candidates + j, rowOffsets, length, rows, out + j);
    for (; j < count; ++j)
        dotGroup<1>(patch, patchStride, candidates + j, rowOffsets, length, rows, out + j);
}

// ---- Scores and bounds --------------------------------------------------------

// correlate()'s formula from a candidate's sum s, squares and cross term.
template <class D>
D scoreOf(const ScoreReference& reference, D s, D squares, D products) {
    const D n = D::splat(reference.n);
    const D candidateSsq = squares - s * s / n;
    return (products - s * D::splat(reference.sum) / n) /
           sqrt(candidateSsq * D::splat(reference.ssq));
}

// Relative slack of the tail bound: far above the few roundings of its
// non-negative terms.
constexpr double kBoundSlack = 1.0 + 1e-9;

// The bound of a candidate's cross term (BoundKernelFunction), from its
// sum s and squares and what its head rows hold.
// Inlined into both of its callers: it sits in the screen's inner loop.
template <class D>
[[gnu::always_inline]] inline D boundedProducts(const TailReference& tail, const WindowTotals& head,
                                                const std::uint64_t* headProducts, int j, D s,
                                                D squares) {
    const D one = D::splat(1.0);
    const D tailSum = s - D::window(head.sums, head.width, j);
    const D tailSquares = squares - D::window(head.squares, head.width, j);
    // The sums are integers below 2^53, so exact; the spread's products may
    // round, which the margin covers (BoundKernelFunction).
    const D tailSpread = (D::splat(tail.samples) * tailSquares - tailSum * tailSum) +
                         D::splat(tail.spreadMargin) * tailSquares;
    const D tailBound =
        (D::splat(tail.sum) * tailSum + D::splat(tail.deviation) * sqrt(tailSpread)) *
        D::splat(tail.inverseSamples);
    return (D::count(headProducts + j) + (tailBound * D::splat(kBoundSlack) + one)) + one;
}

template <class D>
D boundOf(const ScoreReference& reference, const TailReference& tail, const WindowTotals& band,
          const WindowTotals& head, const std::uint64_t* headProducts, int j) {
    const D s = D::window(band.sums, band.width, j);
    const D squares = D::window(band.squares, band.width, j);
    return scoreOf(reference, s, squares, boundedProducts(tail, head, headProducts, j, s, squares));
}

// Factors 2^-48 either side of one: each covers the few roundings of a
// product or quotient (at most 2^-53 each) many times over.
constexpr double kJustBelowOne = 1.0 - 0x1p-48;
constexpr double kJustAboveOne = 1.0 + 0x1p-48;

// The screen (ScreenKernelFunction) of candidate j: with the bound's
// numerator b = products - s * sum / n and denominator d = sqrt(D),
// D = (squares - s * s / n) * ssq, as boundOf forms them, it takes
//   B >= b   (s * sum / n formed low: times 1 / n, then a little less),
//   L <= D   (s * s / n formed high, so the difference comes out low),
// and dismisses the candidate when B <= 0, or when B^2 <= limit2 * L
// times a little less. Then b / d <= limit: with every rounding at most
// 2^-53 of its result, B^2 <= limit2 * L * (1 - 2^-48) gives
// B <= limit * sqrt(L) * (1 - 2^-53) <= limit * fl(sqrt(L)), and b <= B,
// fl(sqrt(D)) >= fl(sqrt(L)); division rounds monotonically and limit is a
// double, so the bound boundOf computes is at most limit too.
template <class D>
D screenOf(const ScoreReference& reference, const TailReference& tail, const WindowTotals& band,
           const WindowTotals& head, const std::uint64_t* headProducts, D inverseN, D limit2,
           int j) {
    const D s = D::window(band.sums, band.width, j);
    const D squares = D::window(band.squares, band.width, j);
    const D products = boundedProducts(tail, head, headProducts, j, s, squares);
    const D meanTerm = s * D::splat(reference.sum) * inverseN * D::splat(kJustBelowOne);
    const D squareTerm = s * s * inverseN * D::splat(kJustAboveOne);
    const D numerator = products - meanTerm;
    const D spread = (squares - squareTerm) * D::splat(reference.ssq);
    return D::unlessAtMost(numerator, numerator * numerator,
                           limit2 * spread * D::splat(kJustBelowOne));
}

// Candidates from .. count - 1 as far as whole vectors of D go; returns
// the first candidate left.
template <class D>
int scoreLanes(const ScoreReference& reference, const WindowTotals& band,
               const std::uint64_t* products, int from, int count, double* scores) {
    int j = from;
    for (; j + D::kCount <= count; j += D::kCount)
        scoreOf(reference, D::window(band.sums, band.width, j),
                D::window(band.squares, band.width, j), D::count(products + j))
            .store(scores + j);
    return j;
}

template <class D>
int boundLanes(const ScoreReference& reference, const TailReference& tail, const WindowTotals& band,
               const WindowTotals& head, const std::uint64_t* headProducts, int from, int count,
               double* bounds) {
    int j = from;
    for (; j + D::kCount <= count; j += D::kCount)
        boundOf<D>(reference, tail, band, head, headProducts, j).store(bounds + j);
    return j;
}

template <class D>
int screenLanes(const ScoreReference& reference, const TailReference& tail,
                const WindowTotals& band, const WindowTotals& head,
                const std::uint64_t* headProducts, double limit, int from, int count,
                double* screens) {
    const D inverseN = D::splat(1.0 / reference.n);
    const D limit2 = D::splat(limit * limit);
    int j = from;
    for (; j + D::kCount <= count; j += D::kCount)
        screenOf<D>(reference, tail, band, head, headProducts, inverseN, limit2, j)
            .store(screens + j);
    return j;
}

void screens(const ScoreReference& reference, const TailReference& tail, const WindowTotals& band,
             const WindowTotals& head, const std::uint64_t* headProducts, double limit, int count,
             double* out) {
    const auto lanes = [&](int from) {
        return screenLanes<Doubles>(reference, tail, band, head, headProducts, limit, from, count,
                                    out);
    };
    const int rest = lastVector<Doubles::kCount>(lanes(0), count, lanes);
    screenLanes<OneDouble>(reference, tail, band, head, headProducts, limit, rest, count, out);
}

void scores(const ScoreReference& reference, const WindowTotals& band,
            const std::uint64_t* products, int count, double* out) {
    const auto lanes = [&](int from) {
        return scoreLanes<Doubles>(reference, band, products, from, count, out);
    };
    const int rest = lastVector<Doubles::kCount>(lanes(0), count, lanes);
    scoreLanes<OneDouble>(reference, band, products, rest, count, out);
}

void bounds(const ScoreReference& reference, const TailReference& tail, const WindowTotals& band,
            const WindowTotals& head, const std::uint64_t* headProducts, int count, double* out) {
    const auto lanes = [&](int from) {
        return boundLanes<Doubles>(reference, tail, band, head, headProducts, from, count, out);
    };
    const int rest = lastVector<Doubles::kCount>(lanes(0), count, lanes);
    boundLanes<OneDouble>(reference, tail, band, head, headProducts, rest, count, out);
}

// ---- Column sums ----------------------------------------------------------------
//
// Samples are bytes, so a column's change over a row, and the sums of up
// to kRowsPer32BitSum rows, fit 32-bit lanes; they are widened into the
// 64-bit column sums once.

// Rows added into 32-bit lanes before they are widened: 255^2 times this
// stays below 2^31.
constexpr int kRowsPer32BitSum = 32768;

template <class C>
int addRowLanes(const std::int16_t* row, int from, int width, long long* sum, long long* squares) {
    int c = from;
    for (; c + C::kCount <= width; c += C::kCount) {
        const C in = C::load(row + c);
        in.addTo(sum + c);
        in.squared().addTo(squares + c);
    }
    return c;
}

template <class C>
int slideRowLanes(const std::int16_t* leaving, const std::int16_t* entering, int from, int width,
                  long long* sum, long long* squares) {
    int c = from;
    for (; c + C::kCount <= width; c += C::kCount) {
        const C out = C::load(leaving + c), in = C::load(entering + c);
        (in - out).addTo(sum + c);
        (in.squared() - out.squared()).addTo(squares + c);
    }
    return c;
}

// At most kRowsPer32BitSum rows.
template <class C>
int addRowSetLanes(const std::int16_t* first, const std::ptrdiff_t* rowOffsets, int rows, int from,
                   int width, long long* sum, long long* squares) {
    int c = from;
    for (; c + C::kCount <= width; c += C::kCount) {
        C sums = C::zero(), squareSums = C::zero();
        for (int r = 0; r < rows; ++r) {
            const C in = C::load(first + rowOffsets[r] + c);
            sums = sums + in;
            squareSums = squareSums + in.squared();
        }
        sums.addTo(sum + c);
        squareSums.addTo(squares + c);
    }
    return c;
}

void addRow(const std::int16_t* row, int width, long long* sum, long long* squares) {
    addRowLanes<OneColumn>(row, addRowLanes<Columns>(row, 0, width, sum, squares), width, sum,
                           squares);
}

void slideRow(const std::int16_t* leaving, const std::int16_t* entering, int width, long long* sum,
              long long* squares) {
    const int rest = slideRowLanes<Columns>(leaving, entering, 0, width, sum, squares);
    slideRowLanes<OneColumn>(leaving, entering, rest, width, sum, squares);
}

// The rows are few and scattered, the columns many: each column block
// takes all of its rows into 32-bit lanes at once.
void addRowSet(const std::int16_t* first, const std::ptrdiff_t* rowOffsets, int rows, int width,
               long long* sum, long long* squares) {
    for (int done = 0; done < rows; done += kRowsPer32BitSum) {
        const std::ptrdiff_t* offsets = rowOffsets + done;
        const int count = lesserOf(kRowsPer32BitSum, rows - done);
        const int rest = addRowSetLanes<Columns>(first, offsets, count, 0, width, sum, squares);
        addRowSetLanes<OneColumn>(first, offsets, count, rest, width, sum, squares);
    }
}

// Each vector's totals are its own running sums (a few shifts and adds)
// plus the total before it, and the next total before is this one plus
// the vector's own total: the only chain from vector to vector is one
// add, where the plain loop chains every column.
template <class R>
int runningTotalsLanes(const long long* sum, const long long* squares, int from, int width,
                       long long* sums, long long* squareTotals) {
    int c = from;
    if (c + R::kCount > width) return c;
    R sumBefore = R::splat(sums[c]), squaresBefore = R::splat(squareTotals[c]);
    for (; c + R::kCount <= width; c += R::kCount) {
        const R s = R::load(sum + c).running(), q = R::load(squares + c).running();
        (s + sumBefore).store(sums + c + 1);
        (q + squaresBefore).store(squareTotals + c + 1);
        sumBefore = sumBefore + s.last();
        squaresBefore = squaresBefore + q.last();
    }
    return c;
}

void runningTotals(const long long* sum, const long long* squares, int width, long long* sums,
                   long long* squareTotals) {
    sums[0] = squareTotals[0] = 0;
    const int rest = runningTotalsLanes<RunningTotals>(sum, squares, 0, width, sums, squareTotals);
    runningTotalsLanes<OneRunningTotal>(sum, squares, rest, width, sums, squareTotals);
}

// A row's windows slid along it: each window is the one before plus the
// sample that enters less the one that leaves, so a vector of windows is
// the running sum of those changes plus the window before the vector.
// Modulo 2^32, as a difference can dip below zero on the way. Here the
// next window before is taken from the finished vector: with twice the
// shifts of the running totals' loop, the shifts set the pace, not the
// chain, and the running totals' form measured slower.
template <class W>
int rowWindowsLanes(const std::int16_t* row, int width, int from, int count, std::uint32_t* sums,
                    std::uint32_t* squares) {
    int k = from;
    if (k + W::kCount > count) return k;
    W sumBefore = W::splat(sums[k - 1]), squaresBefore = W::splat(squares[k - 1]);
    for (; k + W::kCount <= count; k += W::kCount) {
        const W in = W::load(row + k + width - 1), out = W::load(row + k - 1);
        const W s = (in - out).running() + sumBefore;
        const W q = (in.squared() - out.squared()).running() + squaresBefore;
        s.store(sums + k);
        q.store(squares + k);
        sumBefore = s.last();
        squaresBefore = q.last();
    }
    return k;
}

void rowWindows(const std::int16_t* row, int width, int count, std::uint32_t* sums,
                std::uint32_t* squares) {
    OneWindow sum = OneWindow::splat(0), square = OneWindow::splat(0);
    for (int c = 0; c < width; ++c) {
        const OneWindow v = OneWindow::load(row + c);
        sum = sum + v;
        square = square + v.squared();
    }
    sum.store(sums);
    square.store(squares);
    const int rest = rowWindowsLanes<Windows>(row, width, 1, count, sums, squares);
    rowWindowsLanes<OneWindow>(row, width, rest, count, sums, squares);
}

// ---- Scattered samples -------------------------------------------------------------
//
// One lane per candidate: the sample a set member meets in each of the
// lanes' neighbouring candidates is one plain load. The widest lanes take
// the set's members two at a time, interleaved, so that one multiply-add
// forms both products; the last candidates of a row, fewer than those
// lanes hold, take one member at a time.

static_assert(static_cast<unsigned long long>(kMostScatteredSamples) * 255u * 255u < 0x80000000u,
              "a scattered set's products must fit a signed 32-bit lane");

template <class P>
int scatteredPairLanes(const std::int16_t* candidates, const std::ptrdiff_t* offsets,
                       const std::int16_t* weights, int samples, int from, int count,
                       long long* products) {
    int j = from;
    for (; j + P::kCount <= count; j += P::kCount) {
        typename P::Sums p = P::Sums::zero();
        int k = 0;
        for (; k + 2 <= samples; k += 2)
            p = p + P::load(candidates + offsets[k] + j, candidates + offsets[k + 1] + j)
                        .times(weights[k], weights[k + 1]);
        if (k < samples) p = p + P::loadOne(candidates + offsets[k] + j).times(weights[k], 0);
        p.storeTo(products + j);
    }
    return j;
}

template <class C>
int scatteredProductLanes(const std::int16_t* candidates, const std::ptrdiff_t* offsets,
                          const std::int16_t* weights, int samples, int from, int count,
                          long long* products) {
    int j = from;
    for (; j + C::kCount <= count; j += C::kCount) {
        C p = C::zero();
        for (int k = 0; k < samples; ++k)
            p = p + C::load(candidates + offsets[k] + j).times(weights[k]);
        p.storeTo(products + j);
    }
    return j;
}

void scatteredProducts(const std::int16_t* candidates, const std::ptrdiff_t* offsets,
                       const std::int16_t* weights, int samples, int count, long long* products) {
    const auto pairs = [&](int from) {
        return scatteredPairLanes<ColumnPairs>(candidates, offsets, weights, samples, from, count,
                                               products);
    };
    int rest = lastVector<ColumnPairs::kCount>(pairs(0), count, pairs);
    rest = scatteredProductLanes<Columns>(candidates, offsets, weights, samples, rest, count,
                                          products);
    scatteredProductLanes<OneColumn>(candidates, offsets, weights, samples, rest, count, products);
}

// The screen on a scattered set (ScatteredScreenFunction). With u = 2^-53
// (every rounding is at most u of its result), s and q a candidate's sum
// and squares, G its exact products and N, Qy as in ScatteredReference:
//   - The score kernel's numerator b0 = fl(P - fl(fl(s * Sx) / n)) is at
//     most N + 4u * 255 * Sx + u * 65025 * n (s <= 255 n, |N| <= 65025 n).
//   - U = fl(G - fl(s * meanShare)) is within 8u * (|G| + 255 n |meanShare|)
//     of G - s * meanShare (meanShare itself within 4u of its quotient).
//   - Q = fl(q - s * s * (1 / n) * (1 + 2^-48)) is at most the score's
//     fl(q - fl(fl(s * s) / n)), so fl(Q * ssq) is at most the score's
//     square of its denominator D; and Qy <= max(Q, 0) * (1 + 2u) +
//     65025 n * 2^-47, so A * sqrt(Qy) <= A (1 + u) sqrt(max(Q, 0)) +
//     A * 255 sqrt(n) * 2^-23.5.
// The reference's margin exceeds all of that and R's own rounding many
// times over, and its deviation A' >= A (1 + u), so
//   b0 <= R + A' * sqrt(max(Q, 0)),   R = fl(U + margin).
// With L = limit * sqrt(ssq) formed low (at most limit * sqrt(ssq) *
// (1 - 2^-49)) and kappa = (L - A') formed low: where kappa > 0 and
// either R <= 0, or R^2 <= kappa^2 * Q, squares formed as in the code,
// b0 <= L * sqrt(Q) <= limit * fl(sqrt(D)) * (1 - 2^-52), and the score
// fl(b0 / fl(sqrt(D))) is at most limit (or -infinity or NaN, where the
// denominator is 0 and b0 <= 0, neither of which wins). R is a sum of
// multiples of far larger units than its square could underflow from.
template <class D>
D scatteredScreenOf(const ScatteredReference& scattered, const WindowTotals& band,
                    const long long* products, D inverseN, D kappa2, int j) {
    const D s = D::window(band.sums, band.width, j);
    const D squares = D::window(band.squares, band.width, j);
    const D r = (D::signedCount(products + j) - s * D::splat(scattered.meanShare)) +
                D::splat(scattered.margin);
    const D spread = squares - s * s * inverseN * D::splat(kJustAboveOne);
    return D::unlessAtMost(r, r * r, kappa2 * spread * D::splat(kJustBelowOne));
}

template <class D>
int scatteredScreenLanes(const ScatteredReference& scattered, const WindowTotals& band,
                         const long long* products, double inverseN, double kappa2, int from,
                         int count, double* screens) {
    int j = from;
    for (; j + D::kCount <= count; j += D::kCount)
        scatteredScreenOf<D>(scattered, band, products, D::splat(inverseN), D::splat(kappa2), j)
            .store(screens + j);
    return j;
}

void scatteredScreens(const ScoreReference& reference, const ScatteredReference& scattered,
                      const WindowTotals& band, const long long* products, double limit, int count,
                      double* out) {
    const double low = limit * std::sqrt(reference.ssq) * kJustBelowOne;
    const double kappa = (low - scattered.deviation) * kJustBelowOne;
    if (!(kappa > 0.0)) {
        // Below the patch's own deviation nothing is screened out.
        for (int j = 0; j < count; ++j) out[j] = __builtin_inf();
        return;
    }
    const double inverseN = 1.0 / reference.n;
    const auto lanes = [&](int from) {
        return scatteredScreenLanes<Doubles>(scattered, band, products, inverseN, kappa * kappa,
                                             from, count, out);
    };
    const int rest = lastVector<Doubles::kCount>(lanes(0), count, lanes);
    scatteredScreenLanes<OneDouble>(scattered, band, products, inverseN, kappa * kappa, rest, count,
                                    out);
}

// ---- Samples ----------------------------------------------------------------------

template <class P>
int extractLanes(const unsigned char* pixels, int from, int width, std::int16_t* samples) {
    int c = from;
    for (; c + P::kCount <= width; c += P::kCount) P::extract(pixels + 3 * c, samples + c);
    return c;
}

void extractRow(const unsigned char* pixels, int width, std::int16_t* samples) {
    extractLanes<FirstByte>(pixels, extractLanes<PixelSamples>(pixels, 0, width, samples), width,
                            samples);
}

}  // namespace

namespace TELLVAR_KERNEL_LEVEL {
extern const KernelSet kernels;
const KernelSet kernels = {kLevel,
                           dot,
                           scores,
                           bounds,
                           addRow,
                           addRowSet,
                           slideRow,
                           runningTotals,
                           rowWindows,
                           extractRow,
                           scatteredProducts,
                           scatteredScreens,
                           screens};
}  // namespace TELLVAR_KERNEL_LEVEL

}  // namespace detail
}  // namespace Tellvar
