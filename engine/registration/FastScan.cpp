// The fast position scan.
//
// What it computes is exactly what referenceSearch computes: for every
// candidate position in the same scan order, the coefficient
//   r = (P - Sy * Sx / n) / sqrt(Qy * Qx),   Qy = Syy - Sy * Sy / n,
// and the first position whose r is strictly greater than every r before it
// (and above 0). Sy (sample sum), Syy (sum of squared samples) and P (the
// cross term) are integers; the reference accumulates them in double, where
// they stay exact (all below 2^53), so forming them as 64-bit integers and
// converting gives the very same doubles. The formula after that is written
// with the same operations in the same order, so every score agrees with
// the reference's to the last bit and the tie rule picks the same winner.
//
// Where the time goes instead:
//   - Sy and Syy come from column sums over the current band of rows, slid
//     one row per scanned row and one column per candidate: O(1) per
//     candidate instead of O(w x h).
//   - P is a dot product of 16-bit samples on the vector unit
//     (kernels/CorrelationKernels.h), read in place from a sample plane of the
//     searched buffer with its row stride: no per-candidate copy.
//   - Most candidates are dismissed after a few of their rows (bounded
//     partial correlation). P is split into the head rows, computed
//     exactly, and the tail rows, bounded from above by Cauchy-Schwarz:
//       m * Ptail - Sxt * Syt <= sqrt((m * Sxxt - Sxt^2) * (m * Syyt - Syt^2))
//     over the tail's m samples. r only grows with P, in floating point as
//     in exact arithmetic, so r evaluated with that bound in place of P is
//     at least the candidate's real score. A candidate whose bound cannot
//     beat the best score so far, or a score known to be reached (that of a
//     candidate near the caller's hint, scored first), cannot be the winner
//     and its tail is never computed. Every other candidate is scored in
//     full, so the winner and its score are the reference's.
//   - The head is not the patch's top rows but its busiest ones: the rows
//     with the largest spread of samples about their mean. The bound's
//     slack is the tail's spread, so leaving the flat rows (a sky's empty
//     background) to the tail dismisses far more candidates for the same
//     head. The patch rows are kept in that order and the dot kernels take
//     the matching rows of the searched buffer by offset; the sums they add
//     up do not depend on the order.
// All working memory is taken once per scan.

#include "registration/PositionScan.h"
#include "registration/SamplePlanes.h"
#include "registration/ScanArena.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace Tellvar {
namespace detail {

namespace {

int roundUpToDotLength(int width) {
    return (width + kDotLengthMultiple - 1) / kDotLengthMultiple * kDotLengthMultiple;
}

// The reference's coefficient split where the cross term enters:
//   r = (P - offset) / scale,  offset = Sy * Sx / n,  scale = sqrt(Qy * Qx).
// Each piece is formed with correlate()'s operations in correlate()'s order,
// so finish() gives correlate()'s double. A flat patch on either side gives
// a zero scale and a NaN score, as there.
struct ScorePieces {
    double offset;
    double scale;
    double finish(double products) const { return (products - offset) / scale; }
};

ScorePieces scorePieces(const PatchStats& reference, double sum, double squares) {
    const double n = samplesIn(reference.byteCount);
    const double ssq = squares - sum * sum / n;
    return {sum * reference.sum / n, std::sqrt(ssq * reference.ssq)};
}

// The patch rows below the head rows; rows is 0 when the patch is not split.
struct TailOfPatch {
    int firstRow = 0;  // the head's height
    int rows = 0;
    long long samples = 0;  // m
    TailReference reference{};
};

// How many of the (ordered) rows are computed exactly before the bound is
// tried. Where the seed shows a clear match, an eighth of the rows
// dismisses nearly every other candidate; where the best score is modest,
// as on a coarse copy (whose samples fall between the reference's), it
// takes more. The scan then adjusts the head by a sixteenth of the rows
// at a time: up when the tails of the candidates surviving their bounds
// cost more than a quarter of the head itself (computing more rows for
// every candidate is then cheaper), down after a long stretch in which
// none survived.
struct HeadRange {
    int first, least, most, step;
};

HeadRange headRange(int height, double reached) {
    const int sixteenth = std::max(1, height / 16);
    const int most = std::max(1, height / 2);
    const int first = std::clamp(height / (reached >= 0.95 ? 8 : 4), 1, most);
    return {first, std::clamp(sixteenth, 1, first), most, sixteenth};
}

// A surviving candidate's tail is computed on its own, without the
// neighbours that share the patch's loads in a full row: about this many
// times the cost per sample.
constexpr int kLoneCandidateCost = 4;
// Rows without a survivor before the head is made smaller.
constexpr int kQuietRowsBeforeShrinking = 16;

// rowSums and rowSquares: the sample sum and sum of squares of each row.
TailOfPatch tailOfPatch(const long long* rowSums, const long long* rowSquares, int width,
                        int height, int head) {
    TailOfPatch tail;
    if (head < 1 || head >= height) return tail;
    const long long samples = static_cast<long long>(width) * (height - head);
    tail.firstRow = head;
    tail.rows = height - head;
    tail.samples = samples;
    long long sum = 0, squares = 0;
    for (int r = head; r < height; ++r) {
        sum += rowSums[r];
        squares += rowSquares[r];
    }
    tail.reference = tailReferenceOf(samples, sum, squares);
    return tail;
}

// Rows in which bounding is not tried after it failed to pay, doubling
// after every further failure up to the longest stretch.
constexpr int kFullRowsAfterMiss = 4;
constexpr int kLongestFullStretch = 64;

class FastScan {
public:
    FastScan(const BufferView& searched, const PatchStats& reference, const KernelSet& kernels)
        : searched_(searched),
          reference_(reference),
          level_(kernels.level),
          dot_(kernels.dot),
          score_(kernels.scores),
          bound_(kernels.bounds),
          scoreReference_{static_cast<double>(samplesIn(reference.byteCount)), reference.sum,
                          reference.ssq},
          patchWidth_(reference.width),
          patchHeight_(reference.height),
          dotLength_(roundUpToDotLength(reference.width)),
          band_(kernels),
          headBand_(kernels),
          arena_(ScanArena::forThisThread()) {
        const ScanRange range = scanRange(searched, patchWidth_, patchHeight_);
        lastColumn_ = range.lastColumn;
        lastRow_ = range.lastRow;
        survivorLimit_ = std::max(4, lastColumn_ / 4);
    }

    // False when the working memory cannot be had.
    bool prepare();
    ScanResult run(Position hint);

private:
    bool orderPatchRows(const SampleRows& natural);
    // Makes the first rows of the ordered patch the head (no head when the
    // patch is too low or too large to bound).
    void setHead(int rows);
    int bandTop(int y) const {
        return (searched_.bottomUp ? mirrorRow(y, patchHeight_, searched_.height) : y) - 1;
    }
    double bestOfRun(int x, int y, int count);
    double bestNear(Position at);
    double seedScore(Position hint);
    void scoreFullRow(int y, ScanResult* best);
    struct BoundedRow {
        bool completed;  // false: so many survived that the rest was scored in full
        int survivors;   // candidates whose bounds could still win
    };
    BoundedRow scoreBoundedRow(int y, double reached, ScanResult* best);
    WindowTotals bandTotals(int first) const {
        return {bandSums_ + first, bandSquares_ + first, patchWidth_};
    }
    void scoreCandidates(int y, int first, int count, const std::uint64_t* moreProducts,
                         ScanResult* best);
    const std::ptrdiff_t* tailOffsets() const { return rowOffsets_ + tail_.firstRow; }

    const BufferView& searched_;
    const PatchStats& reference_;
    const SimdLevel level_;
    const DotKernelFunction dot_;
    const ScoreKernelFunction score_;
    const BoundKernelFunction bound_;
    const ScoreReference scoreReference_;
    const int patchWidth_, patchHeight_, dotLength_;
    int lastColumn_ = 0, lastRow_ = 0, survivorLimit_ = 0;

    // The patch's rows, busiest first, and where each meets a candidate's
    // rows: rowOffsets_[i] samples from the candidate's top row.
    SampleRows patch_, plane_;
    std::ptrdiff_t* rowOffsets_ = nullptr;
    long long *rowSums_ = nullptr, *rowSquares_ = nullptr;  // of the ordered rows
    TailOfPatch tail_;
    ColumnSums band_, headBand_;
    // One row of candidates, indexed by x - 1: their cross terms (of the
    // head rows only in a bounded row), the tail rows' ones, and the scores
    // or bounds.
    std::uint64_t *products_ = nullptr, *tailProducts_ = nullptr;
    double* scores_ = nullptr;
    // Running totals over the columns of the candidates' rows (band_) and
    // of their head rows (headBand_), one more than the buffer's width.
    long long *bandSums_ = nullptr, *bandSquares_ = nullptr, *headSums_ = nullptr,
              *headSquares_ = nullptr;
    ScanArena& arena_;
};

bool FastScan::prepare() {
    // Patch rows padded with zeros to the kernels' length; the plane's rows
    // carry as many zeros past the buffer's width, so the padded read of
    // any scanned candidate stays inside its own row.
    SampleRows natural;
    if (!extractSamples(reference_.pixels, patchWidth_, patchHeight_,
                        static_cast<std::size_t>(dotLength_), &natural, 0, &arena_) ||
        !extractSamples(searched_.pixels, searched_.width, searched_.height,
                        static_cast<std::size_t>(searched_.width) + kDotLengthMultiple, &plane_,
                        searched_.rowBytes(), &arena_) ||
        !orderPatchRows(natural))
        return false;

    const std::size_t row = static_cast<std::size_t>(lastColumn_);
    const std::size_t columns = static_cast<std::size_t>(searched_.width) + 1;
    products_ = arena_.take<std::uint64_t>(row);
    tailProducts_ = arena_.take<std::uint64_t>(row);
    scores_ = arena_.take<double>(row);
    bandSums_ = arena_.take<long long>(columns);
    bandSquares_ = arena_.take<long long>(columns);
    headSums_ = arena_.take<long long>(columns);
    headSquares_ = arena_.take<long long>(columns);
    return products_ && tailProducts_ && scores_ && bandSums_ && bandSquares_ && headSums_ &&
           headSquares_ && band_.allocate(searched_.width, patchHeight_, &arena_) &&
           headBand_.allocate(searched_.width, 1, &arena_);
}

// Row i of the ordered patch is the natural patch's row order[i]: the
// rows by falling spread w * sum(v^2) - sum(v)^2 (exact: in 128 bits, as a
// row of bright samples millions wide passes 64), ties in their own order.
bool FastScan::orderPatchRows(const SampleRows& natural) {
    const std::size_t rows = static_cast<std::size_t>(patchHeight_);
    int* order = arena_.take<int>(rows);
    unsigned __int128* spread = arena_.take<unsigned __int128>(rows);
    long long* sums = arena_.take<long long>(rows);
    long long* squares = arena_.take<long long>(rows);
    patch_.stride = natural.stride;
    patch_.samples = arena_.take<std::int16_t>(natural.stride * rows);
    rowOffsets_ = arena_.take<std::ptrdiff_t>(rows);
    rowSums_ = arena_.take<long long>(rows);
    rowSquares_ = arena_.take<long long>(rows);
    if (!order || !spread || !sums || !squares || !patch_.samples || !rowOffsets_ || !rowSums_ ||
        !rowSquares_)
        return false;
    for (int r = 0; r < patchHeight_; ++r) {
        sums[r] = squares[r] = 0;
        for (int c = 0; c < patchWidth_; ++c) {
            const long long v = natural.row(r)[c];
            sums[r] += v;
            squares[r] += v * v;
        }
        // Non-negative (Cauchy-Schwarz), so unsigned.
        spread[r] =
            static_cast<unsigned __int128>(patchWidth_) *
                static_cast<unsigned __int128>(squares[r]) -
            static_cast<unsigned __int128>(sums[r]) * static_cast<unsigned __int128>(sums[r]);
        order[r] = r;
    }
    std::stable_sort(order, order + rows, [spread](int a, int b) { return spread[a] > spread[b]; });
    for (std::size_t i = 0; i < rows; ++i) {
        std::copy(natural.row(order[i]), natural.row(order[i]) + natural.stride,
                  patch_.samples + i * natural.stride);
        rowOffsets_[i] =
            static_cast<std::ptrdiff_t>(order[i]) * static_cast<std::ptrdiff_t>(plane_.stride);
        rowSums_[i] = sums[order[i]];
        rowSquares_[i] = squares[order[i]];
    }
    return true;
}

void FastScan::setHead(int rows) {
    tail_ = tailOfPatch(rowSums_, rowSquares_, patchWidth_, patchHeight_, rows);
}

ScanResult FastScan::run(Position hint) {
    const double reached = seedScore(hint);
    const HeadRange range = headRange(patchHeight_, reached);
    int head = range.first;
    setHead(head);  // without a head every row is scored in full
    int fullStretch = kFullRowsAfterMiss;
    int fullRowsLeft = 0;
    int quietRows = 0;
    ScanResult best;
    for (int y = 1; y <= lastRow_; ++y) {
        if (tail_.rows == 0 || fullRowsLeft > 0) {
            if (fullRowsLeft > 0) --fullRowsLeft;
            scoreFullRow(y, &best);
            continue;
        }
        const BoundedRow row = scoreBoundedRow(y, reached, &best);
        const bool bounded = row.completed;
        // The winner and its nearest neighbours survive any head: only the
        // survivors beyond the first in a row tell that the bound is weak.
        const long long tailCost =
            static_cast<long long>(std::max(0, row.survivors - 1)) * tail_.rows *
            kLoneCandidateCost;
        const long long headCost = static_cast<long long>(head) * lastColumn_;
        quietRows = row.survivors == 0 ? quietRows + 1 : 0;
        if ((!bounded || 4 * tailCost > headCost) && head < range.most) {
            head = std::min(range.most, head + range.step);
            setHead(head);
            quietRows = 0;
        } else if (!bounded) {
            fullRowsLeft = fullStretch;
            fullStretch = std::min(2 * fullStretch, kLongestFullStretch);
        } else if (quietRows >= kQuietRowsBeforeShrinking && head > range.least) {
            head = std::max(range.least, head - range.step);
            setHead(head);
            quietRows = 0;
        }
    }
    return best;
}

// The best whole score of the count candidates of scan row y from column
// x on, scored together so that they share the patch's loads; NaN when
// every one is NaN.
double FastScan::bestOfRun(int x, int y, int count) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top) + (x - 1),
                    rowOffsets_, dotLength_, patchHeight_, count, products_);
    double best = std::numeric_limits<double>::quiet_NaN();
    WindowSums window;
    window.start(band_, x - 1, patchWidth_);
    for (int i = 0; i < count; ++i) {
        if (i > 0) window.slide(band_, x - 1 + i, patchWidth_);
        const double score = scorePieces(reference_, static_cast<double>(window.sum),
                                         static_cast<double>(window.squares))
                                 .finish(static_cast<double>(products_[i]));
        if (score > best || (std::isnan(best) && !std::isnan(score))) best = score;
    }
    return best;
}

// The best score of the candidates within two positions of at (clamped
// into the scanned range): a score the winner reaches at least. NaN when
// every one is NaN.
double FastScan::bestNear(Position at) {
    constexpr int kReach = 2;
    double reached = std::numeric_limits<double>::quiet_NaN();
    const int hx = std::clamp(at.x, 1, lastColumn_), hy = std::clamp(at.y, 1, lastRow_);
    const int first = std::max(1, hx - kReach), last = std::min(lastColumn_, hx + kReach);
    for (int y = std::max(1, hy - kReach); y <= std::min(lastRow_, hy + kReach); ++y) {
        const double score = bestOfRun(first, y, last - first + 1);
        if (score > reached || (std::isnan(reached) && !std::isnan(score))) reached = score;
    }
    return reached;
}

// A score the winner reaches at least: the best of the candidates near the
// hint, where the caller expects the match, and, when that is no clear
// match and the patch is large enough to halve, of those near the halved
// scan's winner (a sixteenth of this scan's work). NaN without a hint, or
// for a patch too low to be bounded.
double FastScan::seedScore(Position hint) {
    // The halved patch keeps at least this many pixels each way.
    constexpr int kLeastHalvedSide = 16;
    constexpr double kClearMatch = 0.95;
    constexpr int kLeastCandidatesToGuess = 64;
    double reached = std::numeric_limits<double>::quiet_NaN();
    if (!hint.found() || patchHeight_ < 2) return reached;
    reached = bestNear(hint);
    if (reached >= kClearMatch || std::min(patchWidth_, patchHeight_) < 2 * kLeastHalvedSide ||
        static_cast<long long>(lastColumn_) * lastRow_ < kLeastCandidatesToGuess)
        return reached;
    const Position guess = halvedScanGuess(searched_, reference_, level_, hint);
    if (!guess.found()) return reached;
    const double nearGuess = bestNear(guess);
    return nearGuess > reached || std::isnan(reached) ? nearGuess : reached;
}

// Every candidate of scan row y scored in full.
void FastScan::scoreFullRow(int y, ScanResult* best) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top), rowOffsets_,
                    dotLength_, patchHeight_, lastColumn_, products_);
    band_.runningTotals(bandSums_, bandSquares_);
    scoreCandidates(y, 0, lastColumn_, nullptr, best);
}

// Scan row y with every candidate first bounded from its head rows; only
// those whose bound can still win are scored in full, unless so many
// survive that the rest of the row is scored in full instead.
FastScan::BoundedRow FastScan::scoreBoundedRow(int y, double reached, ScanResult* best) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    headBand_.sumRowSet(plane_, top, rowOffsets_, tail_.firstRow);
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top), rowOffsets_,
                    dotLength_, tail_.firstRow, lastColumn_, products_);
    band_.runningTotals(bandSums_, bandSquares_);
    headBand_.runningTotals(headSums_, headSquares_);
    // The bounds land in scores_.
    bound_(scoreReference_, tail_.reference, bandTotals(0),
           {headSums_, headSquares_, patchWidth_}, products_, lastColumn_,
           scores_);

    const std::int16_t* candidates = plane_.row(top);
    int survivors = 0;
    for (int k = 0; k < lastColumn_; ++k) {
        const double bound = scores_[k];
        // No score exceeds its bound: a candidate whose bound cannot beat
        // the best so far, or falls short of a score some candidate
        // reaches, is not the winner. (A NaN bound comes with a NaN score.)
        if (!(bound > best->score) || bound < reached) continue;
        if (++survivors > survivorLimit_) {
            const int count = lastColumn_ - k;
            rowsDotProducts(dot_, patch_.row(tail_.firstRow), patch_.stride, candidates + k,
                            tailOffsets(), dotLength_, tail_.rows, count, tailProducts_);
            scoreCandidates(y, k, count, tailProducts_, best);
            return {false, survivors};
        }
        std::uint64_t tailProducts = 0;
        rowsDotProducts(dot_, patch_.row(tail_.firstRow), patch_.stride, candidates + k,
                        tailOffsets(), dotLength_, tail_.rows, 1, &tailProducts);
        const double sum = static_cast<double>(bandSums_[k + patchWidth_] - bandSums_[k]);
        const double squares = static_cast<double>(bandSquares_[k + patchWidth_] - bandSquares_[k]);
        const double score = scorePieces(reference_, sum, squares)
                                 .finish(static_cast<double>(products_[k] + tailProducts));
        if (score > best->score) {
            best->score = score;
            best->position = {k + 1, y};
        }
    }
    return {true, survivors};
}

// Scores count candidates of scan row y from index first (x = first + 1),
// whose cross terms are products_[first + i] (+ moreProducts[i]) for
// i < count, with the band's running totals in place.
void FastScan::scoreCandidates(int y, int first, int count, const std::uint64_t* moreProducts,
                               ScanResult* best) {
    std::uint64_t* products = products_ + first;
    if (moreProducts != nullptr)
        for (int i = 0; i < count; ++i) products[i] += moreProducts[i];
    score_(scoreReference_, bandTotals(first), products, count, scores_ + first);
    // Strictly greater, as in the reference: of equal scores the first in
    // scan order stays, and NaN never wins.
    for (int k = first; k < first + count; ++k)
        if (scores_[k] > best->score) {
            best->score = scores_[k];
            best->position = {k + 1, y};
        }
}

}  // namespace

ScanResult fastSearch(const BufferView& searched, const PatchStats& reference, SimdLevel level,
                      Position hint) {
    if (searched.pixels == nullptr || reference.pixels == nullptr || reference.byteCount < 1 ||
        scanRange(searched, reference.width, reference.height).lastColumn < 1)
        return {};
    ScanArena::Scope scope(ScanArena::forThisThread());
    FastScan scan(searched, reference, kernelsFor(level));
    if (!scan.prepare()) return referenceSearch(searched, reference);
    return scan.run(hint);
}

}  // namespace detail
}  // namespace Tellvar
