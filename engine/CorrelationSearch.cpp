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
//     (CorrelationKernels.h), read in place from a sample plane of the
//     searched buffer with its row stride: no per-candidate copy.
//   - Most candidates are dismissed after a quarter or half of their rows
//     (bounded partial correlation). P is split into the head rows, computed exactly, and
//     the tail rows, bounded from above by Cauchy-Schwarz:
//       m * Ptail - Sxt * Syt <= sqrt((m * Sxxt - Sxt^2) * (m * Syyt - Syt^2))
//     over the tail's m samples. r only grows with P, in floating point as
//     in exact arithmetic, so r evaluated with that bound in place of P is
//     at least the candidate's real score. A candidate whose bound cannot
//     beat the best score so far, or a score known to be reached (that of a
//     candidate near the caller's hint, scored first), cannot be the winner
//     and its tail is never computed. Every other candidate is scored in
//     full, so the winner and its score are the reference's.
// All working memory is taken once per scan.

#include "CorrelationPlanes.h"
#include "MainProcessor.h"
#include "MainProcessorInternal.h"

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
    const double n = reference.byteCount;
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

// The share of rows computed exactly before the bound is tried. Where the
// seed shows a clear match, bounds from a quarter of the rows dismiss
// nearly every other candidate; where the best score is modest, as on a
// coarse copy (whose samples fall between the reference's), it takes half.
int headDivisor(double reached) {
    return reached >= 0.95 ? 4 : 2;
}

// m * Syyt stays below 2^63 for tails up to this many samples; larger ones
// are scored in full without bounds.
constexpr long long kMaxBoundedSamples = 11'000'000;

TailOfPatch tailOfPatch(const SampleRows& patch, int width, int height, int divisor) {
    TailOfPatch tail;
    const int head = height / divisor;
    const long long samples = static_cast<long long>(width) * (height - head);
    if (head < 1 || samples > kMaxBoundedSamples) return tail;
    tail.firstRow = head;
    tail.rows = height - head;
    tail.samples = samples;
    long long sum = 0, squares = 0;
    for (int r = head; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const long long v = patch.row(r)[c];
            sum += v;
            squares += v * v;
        }
    tail.reference = {static_cast<double>(sum),
                      std::sqrt(static_cast<double>(samples * squares - sum * sum)),
                      1.0 / static_cast<double>(samples)};
    return tail;
}

// Rows in which bounding is not tried after it failed to pay, doubling
// after every further failure up to the longest stretch.
constexpr int kFullRowsAfterMiss = 4;
constexpr int kLongestFullStretch = 64;

class FastScan {
public:
    FastScan(const BufferView& searched, const PatchStats& reference, SimdLevel level)
        : searched_(searched),
          reference_(reference),
          dot_(dotKernelFunction(level)),
          score_(scoreKernelFunction(level)),
          bound_(boundKernelFunction(level)),
          scoreReference_{static_cast<double>(reference.byteCount), reference.sum,
                          reference.ssq},
          patchWidth_(reference.width),
          patchHeight_(reference.height),
          dotLength_(roundUpToDotLength(reference.width)) {
        // The reference scan's range: see scanPositions.
        const int xLast = searched.width - patchWidth_, yLast = searched.height - patchHeight_;
        lastColumn_ = yLast == 1 ? 1 : std::max(1, xLast);
        lastRow_ = std::max(1, yLast - 1);
        survivorLimit_ = std::max(4, lastColumn_ / 4);
    }

    // False when the working memory cannot be had.
    bool prepare();
    ScanResult run(Position hint);

private:
    int bandTop(int y) const {
        return (searched_.bottomUp ? mirrorRow(y, patchHeight_, searched_.height) : y) - 1;
    }
    double scoreAt(int x, int y);
    double seedScore(Position hint);
    void scoreFullRow(int y, ScanResult* best);
    bool scoreBoundedRow(int y, double reached, ScanResult* best);
    void fillSums(int count);
    void scoreCandidates(int y, int first, int count, const std::uint64_t* products,
                         const std::uint64_t* moreProducts, ScanResult* best);

    const BufferView& searched_;
    const PatchStats& reference_;
    const DotKernelFunction dot_;
    const ScoreKernelFunction score_;
    const BoundKernelFunction bound_;
    const ScoreReference scoreReference_;
    const int patchWidth_, patchHeight_, dotLength_;
    int lastColumn_ = 0, lastRow_ = 0, survivorLimit_ = 0;

    SampleRows patch_, plane_;
    TailOfPatch tail_;
    ColumnSums band_, headBand_;
    // One row of candidates, indexed by x - 1: their cross terms (of the
    // head rows only in a bounded row) and the tail rows' ones, their sums,
    // and the inputs and outputs of the score and bound kernels.
    std::unique_ptr<std::uint64_t[]> products_, tailProducts_;
    std::unique_ptr<double[]> sums_, squares_;
    std::unique_ptr<double[]> productValues_, tailSums_, tailSpreads_, scores_;
};

bool FastScan::prepare() {
    // Patch rows padded with zeros to the kernels' length; the plane's rows
    // carry as many zeros past the buffer's width, so the padded read of
    // any scanned candidate stays inside its own row.
    if (!extractSamples(reference_.pixels, patchWidth_, patchHeight_,
                        static_cast<std::size_t>(dotLength_), &patch_) ||
        !extractSamples(searched_.pixels, searched_.width, searched_.height,
                        static_cast<std::size_t>(searched_.width) + kDotLengthMultiple, &plane_))
        return false;

    const std::size_t row = static_cast<std::size_t>(lastColumn_);
    bool ok = true;
    for (std::unique_ptr<std::uint64_t[]>* array : {&products_, &tailProducts_}) {
        array->reset(new (std::nothrow) std::uint64_t[row]);
        ok = ok && *array;
    }
    for (std::unique_ptr<double[]>* array :
         {&sums_, &squares_, &productValues_, &tailSums_, &tailSpreads_, &scores_}) {
        array->reset(new (std::nothrow) double[row]);
        ok = ok && *array;
    }
    return ok && band_.allocate(searched_.width, patchHeight_);
}

ScanResult FastScan::run(Position hint) {
    const double reached = seedScore(hint);
    tail_ = tailOfPatch(patch_, patchWidth_, patchHeight_, headDivisor(reached));
    if (tail_.rows > 0 && !headBand_.allocate(searched_.width, tail_.firstRow))
        tail_ = TailOfPatch{};  // no memory for bounds: score every row in full
    int fullStretch = kFullRowsAfterMiss;
    int fullRowsLeft = 0;
    ScanResult best;
    for (int y = 1; y <= lastRow_; ++y) {
        if (tail_.rows == 0 || fullRowsLeft > 0) {
            if (fullRowsLeft > 0) --fullRowsLeft;
            scoreFullRow(y, &best);
        } else if (!scoreBoundedRow(y, reached, &best)) {
            fullRowsLeft = fullStretch;
            fullStretch = std::min(2 * fullStretch, kLongestFullStretch);
        }
    }
    return best;
}

// The whole score of the candidate at (x, y).
double FastScan::scoreAt(int x, int y) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    WindowSums window;
    window.start(band_, x - 1, patchWidth_);
    std::uint64_t products = 0;
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top) + (x - 1), plane_.stride,
                    dotLength_, patchHeight_, 1, &products);
    return scorePieces(reference_, static_cast<double>(window.sum),
                       static_cast<double>(window.squares))
        .finish(static_cast<double>(products));
}

// A score the winner reaches at least: the best of the candidates near the
// hint, where the caller expects the match. NaN without a hint, or for a
// patch too low to be bounded.
double FastScan::seedScore(Position hint) {
    constexpr int kReach = 2;
    double reached = std::numeric_limits<double>::quiet_NaN();
    if (!hint.found() || patchHeight_ < 2) return reached;
    const int hx = std::clamp(hint.x, 1, lastColumn_), hy = std::clamp(hint.y, 1, lastRow_);
    for (int y = std::max(1, hy - kReach); y <= std::min(lastRow_, hy + kReach); ++y)
        for (int x = std::max(1, hx - kReach); x <= std::min(lastColumn_, hx + kReach); ++x) {
            const double score = scoreAt(x, y);
            if (score > reached || (std::isnan(reached) && !std::isnan(score))) reached = score;
        }
    return reached;
}

// The sample sums and sums of squares of the row's first count candidates,
// as doubles (exact: integers below 2^53).
void FastScan::fillSums(int count) {
    WindowSums window;
    window.start(band_, 0, patchWidth_);
    for (int k = 0; k < count; ++k) {
        if (k > 0) window.slide(band_, k, patchWidth_);
        sums_[k] = static_cast<double>(window.sum);
        squares_[k] = static_cast<double>(window.squares);
    }
}

// Every candidate of scan row y scored in full.
void FastScan::scoreFullRow(int y, ScanResult* best) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top), plane_.stride,
                    dotLength_, patchHeight_, lastColumn_, products_.get());
    fillSums(lastColumn_);
    scoreCandidates(y, 0, lastColumn_, products_.get(), nullptr, best);
}

// Scan row y with every candidate first bounded from its head rows; only
// those whose bound can still win are scored in full. Returns false when
// so many survived their bounds that the rest of the row was scored in
// full instead.
bool FastScan::scoreBoundedRow(int y, double reached, ScanResult* best) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    headBand_.moveTo(plane_, top);
    rowsDotProducts(dot_, patch_.row(0), patch_.stride, plane_.row(top), plane_.stride,
                    dotLength_, tail_.firstRow, lastColumn_, products_.get());
    WindowSums whole, head;
    whole.start(band_, 0, patchWidth_);
    head.start(headBand_, 0, patchWidth_);
    for (int k = 0; k < lastColumn_; ++k) {
        if (k > 0) {
            whole.slide(band_, k, patchWidth_);
            head.slide(headBand_, k, patchWidth_);
        }
        // m * Syyt - Syt^2 is formed exactly before it is rounded.
        const long long tailSum = whole.sum - head.sum;
        const long long tailSquares = whole.squares - head.squares;
        sums_[k] = static_cast<double>(whole.sum);
        squares_[k] = static_cast<double>(whole.squares);
        tailSums_[k] = static_cast<double>(tailSum);
        tailSpreads_[k] = static_cast<double>(tail_.samples * tailSquares - tailSum * tailSum);
        productValues_[k] = static_cast<double>(products_[k]);
    }
    // The bounds land in scores_.
    bound_(scoreReference_, tail_.reference, sums_.get(), squares_.get(), productValues_.get(),
           tailSums_.get(), tailSpreads_.get(), lastColumn_, scores_.get());

    const std::int16_t* tailRows = plane_.row(top + tail_.firstRow);
    int survivors = 0;
    for (int k = 0; k < lastColumn_; ++k) {
        const double bound = scores_[k];
        // No score exceeds its bound: a candidate whose bound cannot beat
        // the best so far, or falls short of a score some candidate
        // reaches, is not the winner. (A NaN bound comes with a NaN score.)
        if (!(bound > best->score) || bound < reached) continue;
        if (++survivors > survivorLimit_) {
            const int count = lastColumn_ - k;
            rowsDotProducts(dot_, patch_.row(tail_.firstRow), patch_.stride, tailRows + k,
                            plane_.stride, dotLength_, tail_.rows, count, tailProducts_.get());
            scoreCandidates(y, k, count, products_.get() + k, tailProducts_.get(), best);
            return false;
        }
        std::uint64_t tailProducts = 0;
        rowsDotProducts(dot_, patch_.row(tail_.firstRow), patch_.stride, tailRows + k,
                        plane_.stride, dotLength_, tail_.rows, 1, &tailProducts);
        const double score = scorePieces(reference_, sums_[k], squares_[k])
                                 .finish(static_cast<double>(products_[k] + tailProducts));
        if (score > best->score) {
            best->score = score;
            best->position = {k + 1, y};
        }
    }
    return true;
}

// Scores count candidates of scan row y from index first (x = first + 1),
// whose sums are in sums_ and squares_ at their index and whose cross terms
// are products[i] (+ moreProducts[i]) for i < count.
void FastScan::scoreCandidates(int y, int first, int count, const std::uint64_t* products,
                               const std::uint64_t* moreProducts, ScanResult* best) {
    for (int i = 0; i < count; ++i)
        productValues_[first + i] =
            static_cast<double>(products[i] + (moreProducts != nullptr ? moreProducts[i] : 0));
    score_(scoreReference_, sums_.get() + first, squares_.get() + first,
           productValues_.get() + first, count, scores_.get() + first);
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
    if (searched.pixels == nullptr || reference.pixels == nullptr || reference.width < 1 ||
        reference.height < 1 || reference.byteCount < 1 || searched.width < reference.width ||
        searched.height < reference.height)
        return {};
    FastScan scan(searched, reference, level);
    if (!scan.prepare()) return referenceSearch(searched, reference);
    return scan.run(hint);
}

ScanResult runSearch(SearchMethod method, const BufferView& searched, const PatchStats& reference,
                     Position hint) {
    return method == SearchMethod::Reference
               ? referenceSearch(searched, reference)
               : fastSearch(searched, reference, fastestSimdLevel(), hint);
}

Position scanPositions(const BufferView& searched, const PatchStats& reference) {
    return fastSearch(searched, reference, fastestSimdLevel(), {}).position;
}

}  // namespace detail
}  // namespace Tellvar
