#pragma once
// The scan's first, cheapest bound: a candidate's cross term over a few
// scattered samples of the patch, those farthest from its mean.
//
// The bound's slack is the spread of the samples left out, so the patch's
// few outstanding samples (the stars on a dark sky) make a far tighter
// head than whole rows of it, most of whose samples are background: a
// candidate that does not match them is dismissed after a few dozen
// products instead of a few hundred. Any set of samples bounds soundly;
// the choice only decides how many candidates it dismisses.

#include "registration/kernels/CorrelationKernels.h"

#include <cstddef>
#include <cstdint>

namespace Tellvar {
namespace detail {

class ScanArena;
struct SampleRows;

struct ScatteredHead {
    int samples = 0;  // 0: no scattered head
    // Sample k of the set: where it lies from a candidate's first sample in
    // the searched plane, its value, and its value less the floor of the
    // patch's mean (the weight the screen multiplies by).
    const std::ptrdiff_t* offsets = nullptr;
    const std::int16_t* weights = nullptr;
    const std::int16_t* centredWeights = nullptr;
    ScatteredReference reference{};  // the set's part in the screen
    long long patchSamples = 0;
};

// The patch as the scan holds it: its rows busiest first, row i being the
// natural row naturalRows[i], and its whole sample sum and squares.
struct OrderedPatch {
    const SampleRows& rows;
    const int* naturalRows;
    int width, height;
    long long sum, squares;
};

// count samples far from the patch's mean, taken from its busiest rows
// (as many as hold kScatteredChoiceSamples): of those rows' samples the
// farthest, farthest first (of equally far ones, the lower values first,
// and of one value the first in the rows' order), so that the set's first
// k samples are the k farthest; with offsets for a plane of planeStride
// samples a row. None when the patch has fewer than twice count samples,
// or without the memory.
constexpr int kScatteredChoiceSamples = 1 << 13;
ScatteredHead chooseScatteredHead(const OrderedPatch& patch, std::size_t planeStride, int count,
                                  ScanArena* arena);

// The head cut to its first count samples (when it has more), with the
// screen's reference that leaves for the patch whose whole sample sum and
// squares are given.
void narrowScatteredHead(ScatteredHead* head, int count, long long patchSum,
                         long long patchSquares);

}  // namespace detail
}  // namespace Tellvar
