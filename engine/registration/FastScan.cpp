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
//     and its tail is never computed. The rows are computed in a cascade of
//     stages, each twice the last: after each, the candidates still in are
//     bounded again with the smaller tail, and only those that can still
//     win go on. The candidates that pass every stage are scored in full, so
//     the winner and its score are the reference's.
//   - The head is not the patch's top rows but its busiest ones: the rows
//     with the largest spread of samples about their mean. The bound's
//     slack is the tail's spread, so leaving the flat rows (a sky's empty
//     background) to the tail dismisses far more candidates for the same
//     head. The patch rows are kept in that order and the dot kernels take
//     the matching rows of the searched buffer by offset; the sums they add
//     up do not depend on the order.
//   - Before its head rows every candidate is screened on a few scattered
//     samples of the patch, those farthest from its mean (ScatteredHead.h):
//     on a star field the stars, which dismiss nearly every candidate
//     after a few dozen products. That screen (ScatteredScreenFunction)
//     needs only the products with the samples' distances from the mean
//     and the candidate's whole sums, so it takes one multiply-add per two
//     samples. At the head the bound is only compared with the best score,
//     so a screen (ScreenKernelFunction) stands in for it too: it keeps
//     every candidate the bound would keep and takes neither a division
//     nor the denominator's square root.
// All working memory is taken once per scan.

#include "registration/PositionScan.h"
#include "registration/SamplePlanes.h"
#include "registration/ScanArena.h"
#include "registration/ScatteredHead.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Tellvar {
namespace detail {

namespace {

int roundUpToDotLength(int width) {
    return (width + kDotLengthMultiple - 1) / kDotLengthMultiple * kDotLengthMultiple;
}

// The patch rows below the head rows; firstRow is 0 when the patch is not split.
struct TailOfPatch {
    int firstRow = 0;  // the head's height
    TailReference reference{};
};

// The cascade: a candidate's rows are computed in stages of growing
// height, and after each stage but the last the candidate is bounded from
// the rows computed so far (its tail is the rows still to come); only the
// candidates whose bounds can still win go on to the next stage, and those
// that reach the last have their exact score. Stage s ends at row end(s):
// the first stage (the head) ends at the head's height, each later one at
// least doubles it, the last ends at the patch's height. Every stage's
// bound is the bound kernel's with that stage's tail, so it holds as the
// head's does. A candidate stopped at a stage has cost that stage's rows;
// the survivors of a row are taken together in runs of neighbours, so they
// still share the patch's loads.
constexpr int kMostStages = 40;
// A candidate's bookkeeping at a stage (its bound, its place in the
// survivors) costs about as much as this many of its products: a stage
// has at least as many samples, so that it pays for itself.
constexpr int kLeastStageSamples = 256;
// Survivors this close together are computed in one run: the candidates
// between them cost less than a run of their own each.
constexpr int kRunGap = 4;
// The widest patch whose row windows fit 32 bits: 255^2 times this is
// below 2^32.
constexpr int kWidestRowWindow = 66051;
// A short run costs as much per row as this many candidates in a long one
// (they no longer share the patch's loads), and a run of its own at a
// stage about as much as kRunOverheadSamples products more.
constexpr int kLeastRunCost = 4;
constexpr int kRunOverheadSamples = 256;

// A seed score at least this high is a clear match.
constexpr double kClearMatch = 0.95;

// How many rows the head has. Where the seed shows a clear match a
// thirty-second of the rows dismisses nearly every candidate far from it;
// where the best score is modest, as on a coarse copy (whose samples fall
// between the reference's), it takes more. The scan then grows the head
// by a quarter while its later stages cost more than a quarter of it, and
// shrinks it after a long stretch in which they cost far less (run()).
struct HeadRange {
    int first, least, most;
};

int leastStageRows(int width) { return (kLeastStageSamples + width - 1) / width; }

HeadRange headRange(int width, int height, double reached) {
    const int most = std::max(1, height / 2);
    const int least = std::clamp(std::max(height / 64, leastStageRows(width)), 1, most);
    const int first = std::clamp(height / (reached >= kClearMatch ? 32 : 8), least, most);
    return {first, least, most};
}

// A candidate's head sums from the row windows cost about as much as
// this many columns' from the column sums.
constexpr int kColumnsPerWindowSum = 8;

// The scattered head's size, by the patch's sample count n and how well
// the seed matched. Against a modest match, as on a coarse copy, n / 128
// samples (32 to 64): with fewer, some frames of a series keep thousands
// of candidates for their rows and cost three times the others; more cost
// more than they dismiss. Against a clear match n / 2048 (at least 16),
// which for a large crop at full resolution is still far fewer samples
// than its head rows hold.
constexpr int kLeastScatteredSamples = 32;
constexpr long long kSamplesPerScatteredSample = 128;
constexpr int kMostScatteredForModestMatch = 64;
constexpr int kLeastScatteredForClearMatch = 16;
constexpr long long kSamplesPerScatteredSampleForClearMatch = 2048;

struct ScatteredSizes {
    int modestMatch, clearMatch;
};

ScatteredSizes scatteredSizes(int width, int height) {
    const long long n = static_cast<long long>(width) * height;
    return {
        static_cast<int>(std::clamp<long long>(
            n / kSamplesPerScatteredSample, kLeastScatteredSamples, kMostScatteredForModestMatch)),
        static_cast<int>(std::clamp<long long>(n / kSamplesPerScatteredSampleForClearMatch,
                                               kLeastScatteredForClearMatch,
                                               kMostScatteredSamples))};
}

// Rows whose later stages cost little before the head is made smaller.
constexpr int kQuietRowsBeforeShrinking = 16;

// rowSums and rowSquares: the sample sum and sum of squares of each row.
TailOfPatch tailOfPatch(const long long* rowSums, const long long* rowSquares, int width,
                        int height, int head) {
    TailOfPatch tail;
    if (head < 1 || head >= height) return tail;
    const long long samples = static_cast<long long>(width) * (height - head);
    tail.firstRow = head;
    long long sum = 0, squares = 0;
    for (int r = head; r < height; ++r) {
        sum += rowSums[r];
        squares += rowSquares[r];
    }
    tail.reference = tailReferenceOf(samples, sum, squares);
    return tail;
}

class FastScan {
public:
    FastScan(const BufferView& searched, const PatchStats& reference, const KernelSet& kernels)
        : kernels_(kernels),
          searched_(searched),
          reference_(reference),
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
    }

    // False when the working memory cannot be had.
    bool prepare();
    ScanResult run(Position hint);

private:
    bool orderPatchRows();
    // The cascade's stages for a head of the first rows of the ordered
    // patch (none when the patch is too low to bound).
    void setStages(int head);
    int stageEnd(int stage) const {
        return stage < stages_ ? tails_[stage].firstRow : patchHeight_;
    }
    int bandTop(int y) const {
        return (searched_.bottomUp ? mirrorRow(y, patchHeight_, searched_.height) : y) - 1;
    }
    void bestNear(Position at, ScanResult* best);
    double seedScore(Position hint);
    void scoreFullRow(int y, ScanResult* best);
    // The cost of the row's stages after the head, in rows of one
    // candidate, beyond the one candidate that may win.
    long long scoreCascadeRow(int y, int first, int count, double reached, ScanResult* best);
    template <class Run>
    void forEachRun(int count, Run run) const;
    long long addStageRows(int top, int stage, int count);
    void addStageWindows(int top, int stage, int count);
    void addWindowRows(int top, int from, int to, int count);
    void makeRowWindows(int row);
    int keepSurvivors(int count, double reached, const ScanResult& best);
    int keepFromRange(int first, int count, double reached, const ScanResult& best);
    void scoreSurvivors(int y, int count, ScanResult* best);
    WindowTotals bandTotals(int first) const {
        return {bandSums_ + first, bandSquares_ + first, patchWidth_};
    }
    WindowTotals headTotals(int first) const {
        return {headSums_ + first, headSquares_ + first, patchWidth_};
    }

    const KernelSet& kernels_;
    const BufferView& searched_;
    const PatchStats& reference_;
    const ScoreReference scoreReference_;
    const int patchWidth_, patchHeight_, dotLength_;
    int lastColumn_ = 0, lastRow_ = 0;

    // The patch's rows, busiest first, and where each meets a candidate's
    // rows: rowOffsets_[i] samples from the candidate's top row.
    SampleRows patch_, plane_;
    std::ptrdiff_t* rowOffsets_ = nullptr;
    long long *rowSums_ = nullptr, *rowSquares_ = nullptr;  // of the ordered rows
    long long patchSum_ = 0, patchSquares_ = 0;
    // The stages that bound: stage s has computed the rows above
    // tails_[s].firstRow.
    TailOfPatch tails_[kMostStages];
    int stages_ = 0;
    ColumnSums band_, headBand_;
    // The first screen of every candidate, before its head rows
    // (ScatteredHead.h).
    ScatteredHead scattered_;
    // One row of candidates, indexed by x - 1: their cross terms over the
    // rows computed so far, the current stage's ones, and the scores or
    // bounds; the candidates still in the cascade, in scan order.
    std::uint64_t *products_ = nullptr, *stageProducts_ = nullptr;
    double* scores_ = nullptr;
    int* survivors_ = nullptr;
    // The sums and squares of the rows computed so far of the candidates
    // still in the cascade, as WindowTotals of width lastColumn_: zeros,
    // then candidate k's at lastColumn_ + k. All set from the start, as the
    // candidates a run takes between survivors read theirs too.
    long long *stageSums_ = nullptr, *stageSquares_ = nullptr;
    // Each row of the plane's windows: the sum and squares of the
    // patchWidth_ samples from column k at [row * lastColumn_ + k], made on
    // first use (windowsMade_). 32 bits hold them for rows up to
    // kWidestRowWindow wide; a wider patch is bounded at its head only.
    std::uint32_t *rowWindowSums_ = nullptr, *rowWindowSquares_ = nullptr;
    unsigned char* windowsMade_ = nullptr;
    int* naturalRows_ = nullptr;  // of the ordered rows
    // Running totals over the columns of the candidates' rows (band_) and
    // of the rows computed so far (headBand_), one more than the buffer's
    // width.
    long long *bandSums_ = nullptr, *bandSquares_ = nullptr, *headSums_ = nullptr,
              *headSquares_ = nullptr;
    ScanArena& arena_;
};

bool FastScan::prepare() {
    // Patch rows padded with zeros to the kernels' length; the plane's rows
    // carry as many zeros past the buffer's width, so the padded read of
    // any scanned candidate stays inside its own row.
    if (!extractSamples(kernels_, searched_.pixels, searched_.width, searched_.height,
                        static_cast<std::size_t>(searched_.width) + kDotLengthMultiple, &plane_,
                        searched_.rowBytes(), &arena_) ||
        !orderPatchRows())
        return false;

    const std::size_t row = static_cast<std::size_t>(lastColumn_);
    const std::size_t columns = static_cast<std::size_t>(searched_.width) + 1;
    products_ = arena_.take<std::uint64_t>(row);
    stageProducts_ = arena_.take<std::uint64_t>(row);
    scores_ = arena_.take<double>(row);
    survivors_ = arena_.take<int>(row);
    stageSums_ = arena_.take<long long>(2 * row);
    stageSquares_ = arena_.take<long long>(2 * row);
    const std::size_t planeRows = static_cast<std::size_t>(searched_.height);
    windowsMade_ = arena_.take<unsigned char>(planeRows);
    if (patchWidth_ <= kWidestRowWindow) {
        rowWindowSums_ = arena_.take<std::uint32_t>(planeRows * row);
        rowWindowSquares_ = arena_.take<std::uint32_t>(planeRows * row);
        if (!rowWindowSums_ || !rowWindowSquares_) return false;
    }
    if (!survivors_ || !stageSums_ || !stageSquares_ || !windowsMade_) return false;
    for (int i = 0; i < patchHeight_; ++i) {
        patchSum_ += rowSums_[i];
        patchSquares_ += rowSquares_[i];
    }
    // Chosen for the larger need; the seed's score decides which it keeps.
    const ScatteredSizes sizes = scatteredSizes(patchWidth_, patchHeight_);
    scattered_ = chooseScatteredHead(
        {patch_, naturalRows_, patchWidth_, patchHeight_, patchSum_, patchSquares_}, plane_.stride,
        std::max(sizes.modestMatch, sizes.clearMatch), &arena_);
    std::fill(stageSums_, stageSums_ + 2 * row, 0LL);
    std::fill(stageSquares_, stageSquares_ + 2 * row, 0LL);
    std::fill(windowsMade_, windowsMade_ + planeRows, 0);
    bandSums_ = arena_.take<long long>(columns);
    bandSquares_ = arena_.take<long long>(columns);
    headSums_ = arena_.take<long long>(columns);
    headSquares_ = arena_.take<long long>(columns);
    return products_ && stageProducts_ && scores_ && bandSums_ && bandSquares_ && headSums_ &&
           headSquares_ && band_.allocate(searched_.width, patchHeight_, &arena_) &&
           headBand_.allocate(searched_.width, 1, &arena_);
}

// Row i of the ordered patch is the natural patch's row order[i]: the
// rows by falling spread w * sum(v^2) - sum(v)^2 (exact: in 128 bits, as a
// row of bright samples millions wide passes 64), ties in their own order.
// The rows are extracted once, in their natural order, and copied into
// their places.
bool FastScan::orderPatchRows() {
    const std::size_t rows = static_cast<std::size_t>(patchHeight_);
    const std::size_t stride = static_cast<std::size_t>(dotLength_);
    const std::size_t rowBytes = static_cast<std::size_t>(patchWidth_) * 3;
    int* order = arena_.take<int>(rows);
    unsigned __int128* spread = arena_.take<unsigned __int128>(rows);
    long long* sums = arena_.take<long long>(rows);
    long long* squares = arena_.take<long long>(rows);
    patch_.stride = stride;
    patch_.samples = arena_.take<std::int16_t>(stride * rows);
    std::int16_t* natural = arena_.take<std::int16_t>(stride * rows);
    rowOffsets_ = arena_.take<std::ptrdiff_t>(rows);
    naturalRows_ = arena_.take<int>(rows);
    rowSums_ = arena_.take<long long>(rows);
    rowSquares_ = arena_.take<long long>(rows);
    std::int16_t* ones = arena_.take<std::int16_t>(stride);
    if (!order || !spread || !sums || !squares || !patch_.samples || !natural || !rowOffsets_ ||
        !naturalRows_ || !rowSums_ || !rowSquares_ || !ones)
        return false;
    // A row's sum and squares are its dot products with ones and with
    // itself (exact, and on the vector unit).
    std::fill(ones, ones + stride, std::int16_t{1});
    const std::ptrdiff_t sameRow = 0;
    for (int r = 0; r < patchHeight_; ++r) {
        std::int16_t* row = natural + static_cast<std::size_t>(r) * stride;
        kernels_.extractRow(reference_.pixels + static_cast<std::size_t>(r) * rowBytes, patchWidth_,
                            row);
        std::fill(row + patchWidth_, row + stride, std::int16_t{0});
        std::uint64_t sum = 0, square = 0;
        rowsDotProducts(kernels_.dot, ones, 0, row, &sameRow, dotLength_, 1, 1, &sum);
        rowsDotProducts(kernels_.dot, row, 0, row, &sameRow, dotLength_, 1, 1, &square);
        sums[r] = static_cast<long long>(sum);
        squares[r] = static_cast<long long>(square);
        // Non-negative (Cauchy-Schwarz), so unsigned.
        spread[r] =
            static_cast<unsigned __int128>(patchWidth_) *
                static_cast<unsigned __int128>(squares[r]) -
            static_cast<unsigned __int128>(sums[r]) * static_cast<unsigned __int128>(sums[r]);
        order[r] = r;
    }
    std::stable_sort(order, order + rows, [spread](int a, int b) { return spread[a] > spread[b]; });
    for (std::size_t i = 0; i < rows; ++i) {
        const std::int16_t* from = natural + static_cast<std::size_t>(order[i]) * stride;
        std::copy(from, from + stride, patch_.samples + i * stride);
        naturalRows_[i] = order[i];
        rowOffsets_[i] =
            static_cast<std::ptrdiff_t>(order[i]) * static_cast<std::ptrdiff_t>(plane_.stride);
        rowSums_[i] = sums[order[i]];
        rowSquares_[i] = squares[order[i]];
    }
    return true;
}

void FastScan::setStages(int head) {
    stages_ = 0;
    const int most = rowWindowSums_ != nullptr ? kMostStages : 1;
    for (int end = head; end >= 1 && end < patchHeight_ && stages_ < most;) {
        tails_[stages_++] = tailOfPatch(rowSums_, rowSquares_, patchWidth_, patchHeight_, end);
        // A last stage shorter than half the one before is merged into it.
        const long long next = std::max(2LL * end, 0LL + end + leastStageRows(patchWidth_));
        end = next > patchHeight_ - end / 2 ? patchHeight_ : static_cast<int>(next);
    }
}

ScanResult FastScan::run(Position hint) {
    // The seed's candidates are scored against the one at the hint, mostly
    // a close match: a head as for one.
    setStages(headRange(patchWidth_, patchHeight_, 1.0).first);
    const double reached = seedScore(hint);
    const ScatteredSizes sizes = scatteredSizes(patchWidth_, patchHeight_);
    narrowScatteredHead(&scattered_, reached >= kClearMatch ? sizes.clearMatch : sizes.modestMatch,
                        patchSum_, patchSquares_);
    const HeadRange range = headRange(patchWidth_, patchHeight_, reached);
    int head = range.first;
    setStages(head);  // without a stage every row is scored in full
    int quietRows = 0;
    ScanResult best;
    for (int y = 1; y <= lastRow_; ++y) {
        if (stages_ == 0) {
            scoreFullRow(y, &best);
            continue;
        }
        const long long laterCost = scoreCascadeRow(y, 0, lastColumn_, reached, &best);
        const long long headCost = static_cast<long long>(head) * patchWidth_ * lastColumn_;
        // A larger head pays when the later stages cost more than a quarter
        // of it; a smaller one when they have long cost far less.
        quietRows = 16 * laterCost < headCost ? quietRows + 1 : 0;
        if (4 * laterCost > headCost && head < range.most) {
            head = std::min(range.most, head + std::max(1, head / 4));
            setStages(head);
            quietRows = 0;
        } else if (quietRows >= kQuietRowsBeforeShrinking && head > range.least) {
            head = std::max(range.least, head - std::max(1, head / 4));
            setStages(head);
            quietRows = 0;
        }
    }
    return best;
}

// The best of best and the candidates within two positions of at (clamped
// into the scanned range), or a candidate at least as good. The candidate
// at at is scored first, and the others go through the cascade against
// the best so far.
void FastScan::bestNear(Position at, ScanResult* best) {
    constexpr int kReach = 2;
    const int hx = std::clamp(at.x, 1, lastColumn_), hy = std::clamp(at.y, 1, lastRow_);
    scoreCascadeRow(hy, hx - 1, 1, std::numeric_limits<double>::quiet_NaN(), best);
    const int first = std::max(1, hx - kReach), last = std::min(lastColumn_, hx + kReach);
    for (int y = std::max(1, hy - kReach); y <= std::min(lastRow_, hy + kReach); ++y)
        scoreCascadeRow(y, first - 1, last - first + 1, best->score, best);
}

// A score the winner reaches at least: the best of the candidates near the
// hint, where the caller expects the match, or near where that climbs to,
// and, when that is no clear match and the patch is large enough to halve,
// of those near the halved scan's winner (a sixteenth of this scan's
// work). NaN without a hint, or for a patch too low to be bounded.
double FastScan::seedScore(Position hint) {
    // The halved patch keeps at least this many pixels each way.
    constexpr int kLeastHalvedSide = 16;
    constexpr int kLeastCandidatesToGuess = 64;
    // A hint a few positions off (a coarse estimate misses by a few pixels)
    // still scores well near the match: climbing from it, a neighbourhood
    // at a time, often finds the clear match that spares the halved scan.
    constexpr double kCloseMatch = 0.5;
    constexpr int kMostClimbs = 6;
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (!hint.found() || patchHeight_ < 2) return none;
    ScanResult best;
    bestNear(hint, &best);
    for (int climb = 0;
         climb < kMostClimbs && best.score >= kCloseMatch && best.score < kClearMatch; ++climb) {
        const Position from = best.position;
        bestNear(from, &best);
        if (best.position.x == from.x && best.position.y == from.y) break;
    }
    if (best.score >= kClearMatch || std::min(patchWidth_, patchHeight_) < 2 * kLeastHalvedSide ||
        static_cast<long long>(lastColumn_) * lastRow_ < kLeastCandidatesToGuess)
        return best.position.found() ? best.score : none;
    const Position guess = halvedScanGuess(searched_, reference_, kernels_.level, hint);
    if (guess.found()) bestNear(guess, &best);
    return best.position.found() ? best.score : none;
}

// The limit of the screens before the head and at it (ScreenKernelFunction):
// a candidate whose bound is at most the best score so far, or below a
// score known to be reached, cannot win. The best score is never below 0.
double screenLimit(double reached, const ScanResult& best) {
    if (!(reached > best.score)) return best.score;
    return std::max(best.score, std::nextafter(reached, -std::numeric_limits<double>::infinity()));
}

// Candidates first .. first + count - 1 of scan row y through the
// cascade: every one screened on the scattered head, the survivors' head
// rows computed and screened, then stage after stage only the survivors'
// rows bounded. Returns what the stages after the head cost, in
// products, beyond the one candidate that may win.
long long FastScan::scoreCascadeRow(int y, int first, int count, double reached, ScanResult* best) {
    const int top = bandTop(y);
    const int head = stageEnd(0);
    band_.moveTo(plane_, top);
    band_.runningTotals(bandSums_, bandSquares_);
    if (scattered_.samples > 0) {
        // Signed products, in the head rows' place until those are computed.
        long long* setProducts = reinterpret_cast<long long*>(products_ + first);
        kernels_.scatteredProducts(plane_.row(top) + first, scattered_.offsets,
                                   scattered_.centredWeights, scattered_.samples, count,
                                   setProducts);
        kernels_.scatteredScreens(scoreReference_, scattered_.reference, bandTotals(first),
                                  setProducts, screenLimit(reached, *best), count, scores_ + first);
        count = keepFromRange(first, count, reached, *best);
        if (count == 0) return 0;
    } else {
        for (int i = 0; i < count; ++i) survivors_[i] = first + i;
    }
    // The head rows' sums and squares: where the scattered head has left
    // few candidates they take theirs from the row windows; else column
    // sums serve the whole row at once, a vector of columns at a time.
    const bool fromRowWindows = rowWindowSums_ != nullptr &&
                                static_cast<long long>(count) * kColumnsPerWindowSum < lastColumn_;
    if (fromRowWindows) {
        for (int i = 0; i < count; ++i) {
            stageSums_[lastColumn_ + survivors_[i]] = 0;
            stageSquares_[lastColumn_ + survivors_[i]] = 0;
        }
        addWindowRows(top, 0, head, count);
    } else {
        headBand_.sumRowSet(plane_, top, rowOffsets_, head);
        headBand_.runningTotals(headSums_, headSquares_);
    }
    // The screens land in scores_.
    const double limit = screenLimit(reached, *best);
    forEachRun(count, [&](int at, int n) {
        rowsDotProducts(kernels_.dot, patch_.row(0), patch_.stride, plane_.row(top) + at,
                        rowOffsets_, dotLength_, head, n, products_ + at);
        const WindowTotals headRows =
            fromRowWindows ? WindowTotals{stageSums_ + at, stageSquares_ + at, lastColumn_}
                           : headTotals(at);
        kernels_.screens(scoreReference_, tails_[0].reference, bandTotals(at), headRows,
                         products_ + at, limit, n, scores_ + at);
    });
    count = keepSurvivors(count, reached, *best);

    if (!fromRowWindows) {
        // The survivors' sums and squares over the head rows.
        for (int i = 0; i < count; ++i) {
            const int k = survivors_[i];
            stageSums_[lastColumn_ + k] = headSums_[k + patchWidth_] - headSums_[k];
            stageSquares_[lastColumn_ + k] = headSquares_[k + patchWidth_] - headSquares_[k];
        }
    }

    long long laterCost = 0;
    for (int stage = 1; count > 0; ++stage) {
        laterCost += addStageRows(top, stage, count);
        if (stage == stages_) {
            scoreSurvivors(y, count, best);
            break;
        }
        addStageWindows(top, stage, count);
        const WindowTotals sums{stageSums_, stageSquares_, lastColumn_};
        forEachRun(count, [&](int at, int n) {
            kernels_.bounds(scoreReference_, tails_[stage].reference, bandTotals(at),
                            {sums.sums + at, sums.squares + at, sums.width}, products_ + at, n,
                            scores_ + at);
        });
        count = keepSurvivors(count, reached, *best);
    }
    // The winner and its nearest neighbours pass every stage.
    return std::max(0LL, laterCost - static_cast<long long>(patchHeight_ - head) * patchWidth_);
}

// Calls run(first, count) for runs of candidates that cover the count
// survivors, in scan order: neighbours fewer than kRunGap apart share a run.
template <class Run>
void FastScan::forEachRun(int count, Run run) const {
    for (int i = 0; i < count;) {
        int j = i;
        while (j + 1 < count && survivors_[j + 1] - survivors_[j] <= kRunGap) ++j;
        run(survivors_[i], survivors_[j] - survivors_[i] + 1);
        i = j + 1;
    }
}

// Adds the stage's rows to the survivors' cross terms; returns what that
// cost, in products, each run's own overhead included.
long long FastScan::addStageRows(int top, int stage, int count) {
    const int from = stageEnd(stage - 1), rows = stageEnd(stage) - from;
    long long cost = 0;
    forEachRun(count, [&](int at, int n) {
        rowsDotProducts(kernels_.dot, patch_.row(from), patch_.stride, plane_.row(top) + at,
                        rowOffsets_ + from, dotLength_, rows, n, stageProducts_ + at);
        cost += static_cast<long long>(std::max(n, kLeastRunCost)) * rows * patchWidth_ +
                kRunOverheadSamples;
    });
    for (int i = 0; i < count; ++i) products_[survivors_[i]] += stageProducts_[survivors_[i]];
    return cost;
}

// Adds the stage's rows to the survivors' sums and squares.
void FastScan::addStageWindows(int top, int stage, int count) {
    addWindowRows(top, stageEnd(stage - 1), stageEnd(stage), count);
}

// Adds the ordered patch rows from .. to - 1 to the survivors' sums and
// squares, from the row windows.
void FastScan::addWindowRows(int top, int from, int to, int count) {
    const std::size_t columns = static_cast<std::size_t>(lastColumn_);
    for (int r = from; r < to; ++r) {
        const int row = top + naturalRows_[r];
        const std::uint32_t* sums = rowWindowSums_ + row * columns;
        const std::uint32_t* squares = rowWindowSquares_ + row * columns;
        if (!windowsMade_[row]) {
            makeRowWindows(row);
            windowsMade_[row] = 1;
        }
        for (int i = 0; i < count; ++i) {
            const int k = survivors_[i];
            stageSums_[lastColumn_ + k] += sums[k];
            stageSquares_[lastColumn_ + k] += squares[k];
        }
    }
}

// The windows of a plane row, slid along it.
void FastScan::makeRowWindows(int row) {
    const std::size_t at = static_cast<std::size_t>(row) * lastColumn_;
    kernels_.rowWindows(plane_.row(row), patchWidth_, lastColumn_, rowWindowSums_ + at,
                        rowWindowSquares_ + at);
}

// Keeps, of the count survivors, those whose bound (in scores_) can still
// win; returns how many. No score exceeds its bound: a candidate whose
// bound cannot beat the best of the rows before, or falls short of a score
// some candidate reaches, is not the winner. (A NaN bound comes with a NaN
// score.)
int FastScan::keepSurvivors(int count, double reached, const ScanResult& best) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const double bound = scores_[survivors_[i]];
        // Without a branch: which candidates survive is hard to foretell.
        survivors_[kept] = survivors_[i];
        kept += bound > best.score && !(bound < reached);
    }
    return kept;
}

// keepSurvivors for the candidates first .. first + count - 1 as they
// all stand after their first screen. Nearly every one is out there, so
// only a block that may hold a survivor is looked at one by one: one
// whose bounds are not all negative (a negative bound, negative zero or
// NaN never beats the best score, which is never below 0; the screen
// writes minus infinity for the candidates it dismisses). The block's
// sign bits are ANDed in four independent chains, which the compiler
// turns into vector ANDs; comparing the doubles instead costs a branch
// per bound.
int FastScan::keepFromRange(int first, int count, double reached, const ScanResult& best) {
    constexpr int kBlock = 16;
    constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    const double* bounds = scores_ + first;
    const double beat = best.score;
    const auto survives = [beat, reached](double bound) {
        return bound > beat && !(bound < reached);
    };
    const bool blocksSkippable = beat >= 0.0;
    int kept = 0;
    for (int at = 0; at < count; at += kBlock) {
        const int n = std::min(kBlock, count - at);
        if (n == kBlock && blocksSkippable) {
            const auto bitsOf = [bounds](int k) {
                std::uint64_t bits;
                std::memcpy(&bits, bounds + k, sizeof bits);
                return bits;
            };
            std::uint64_t a = kSignBit, b = kSignBit, c = kSignBit, d = kSignBit;
            for (int k = at; k < at + kBlock; k += 4) {
                a &= bitsOf(k);
                b &= bitsOf(k + 1);
                c &= bitsOf(k + 2);
                d &= bitsOf(k + 3);
            }
            if ((a & b & c & d) != 0) continue;
        }
        for (int k = 0; k < n; ++k) {
            survivors_[kept] = first + at + k;
            kept += survives(bounds[at + k]);
        }
    }
    return kept;
}

// The exact scores of the survivors of the last stage, in scan order.
void FastScan::scoreSurvivors(int y, int count, ScanResult* best) {
    forEachRun(count, [&](int at, int n) {
        kernels_.scores(scoreReference_, bandTotals(at), products_ + at, n, scores_ + at);
    });
    // Strictly greater, as in the reference: of equal scores the first in
    // scan order stays, and NaN never wins.
    for (int i = 0; i < count; ++i) {
        const int k = survivors_[i];
        if (scores_[k] > best->score) {
            best->score = scores_[k];
            best->position = {k + 1, y};
        }
    }
}

// Every candidate of scan row y scored in full.
void FastScan::scoreFullRow(int y, ScanResult* best) {
    const int top = bandTop(y);
    band_.moveTo(plane_, top);
    rowsDotProducts(kernels_.dot, patch_.row(0), patch_.stride, plane_.row(top), rowOffsets_,
                    dotLength_, patchHeight_, lastColumn_, products_);
    band_.runningTotals(bandSums_, bandSquares_);
    kernels_.scores(scoreReference_, bandTotals(0), products_, lastColumn_, scores_);
    for (int k = 0; k < lastColumn_; ++k)
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
