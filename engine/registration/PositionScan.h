#pragma once
// The position scan: scores every position at which the patch fits in the
// searched buffer, rows 1 .. H - h + 1 from the top, each from column 1 to
// W - w + 1, and returns the first position in that order of the highest
// score above 0. A patch larger than the buffer finds nothing.
// Two implementations give the same winner and the same score, bit for bit.

#include "registration/Correlation.h"
#include "registration/FrameGeometry.h"
#include "registration/kernels/CorrelationKernels.h"

namespace Tellvar {
namespace detail {

struct ScanRange {
    int lastColumn = 0;  // 0: no position fits
    int lastRow = 0;
};
ScanRange scanRange(const BufferView& searched, int patchWidth, int patchHeight);

struct ScanResult {
    Position position;
    double score = 0.0;  // the winner's coefficient; 0.0 when nothing won
};

// The straightforward scan: every candidate's sums taken afresh with
// correlate(). Kept as the reference the fast scan is checked against.
ScanResult referenceSearch(const BufferView& searched, const PatchStats& reference);

// The product's scan: sample sums and sums of squares from running column
// sums, the cross term from exact integer dot products (CorrelationKernels.h),
// and the coefficient from those integers with correlate()'s own double
// arithmetic; candidates that provably cannot win are dismissed after part
// of their rows (FastScan.cpp). Every kernel is the given level's. hint,
// where the caller expects the match (or nothing), only speeds the scan up:
// the result is the same wherever it points. Falls back to referenceSearch
// when its working memory cannot be had.
ScanResult fastSearch(const BufferView& searched, const PatchStats& reference, SimdLevel level,
                      Position hint);

// Where fastSearch probably finds its winner: the winner of fastSearch on
// both buffers halved in each direction (HalvedGuess.cpp), mapped back;
// not found when the halved scan finds nothing. The patch must be at
// least 2 x 2 pixels.
Position halvedScanGuess(const BufferView& searched, const PatchStats& reference, SimdLevel level,
                         Position hint);

// The fast scan with the best instruction set this processor has.
Position scanPositions(const BufferView& searched, const PatchStats& reference);

// Which scan a processor's registrations run (ProcessorAccess): the fast
// one on the process's kernels unless a check asks for the straightforward
// one or for one level's kernels.
enum class SearchMethod { Fast, Reference };
struct ScanChoice {
    SearchMethod method = SearchMethod::Fast;
    SimdLevel level = SimdLevel::Scalar;
};
ScanResult runSearch(const ScanChoice& choice, const BufferView& searched,
                     const PatchStats& reference, Position hint);

}  // namespace detail
}  // namespace Tellvar
