#include "registration/ScatteredHead.h"

#include "registration/SamplePlanes.h"
#include "registration/ScanArena.h"

#include <algorithm>
#include <cstdlib>

namespace Tellvar {
namespace detail {

namespace {

// The head's part in the screen, for a patch of n samples with the given
// sum and squares.
ScatteredReference referenceOf(const ScatteredHead& head, long long n, long long sum,
                               long long squares) {
    long long setSum = 0, setSquares = 0;
    for (int k = 0; k < head.samples; ++k) {
        setSum += head.weights[k];
        setSquares += head.weights[k] * head.weights[k];
    }
    return scatteredReferenceOf(n, sum, squares, head.samples, setSum, setSquares);
}

}  // namespace

ScatteredHead chooseScatteredHead(const OrderedPatch& patch, std::size_t planeStride, int count,
                                  ScanArena* arena) {
    ScatteredHead head;
    const long long n = static_cast<long long>(patch.width) * patch.height;
    if (count < 1 || count > kMostScatteredSamples || n < 2LL * count) return head;

    // The busiest rows hold the outstanding samples; a bounded share of
    // them keeps the choice cheap for a patch of millions of samples.
    const int rows = static_cast<int>(std::clamp<long long>(
        (kScatteredChoiceSamples + patch.width - 1) / patch.width, 1, patch.height));
    const int width = static_cast<int>(std::min<long long>(patch.width, kScatteredChoiceSamples));

    // Samples are bytes: a value's distance from the mean is the same for
    // all its samples, so a histogram of the rows decides the set.
    long long histogram[256] = {};
    for (int i = 0; i < rows; ++i) {
        const std::int16_t* row = patch.rows.row(i);
        for (int c = 0; c < width; ++c) ++histogram[static_cast<std::uint8_t>(row[c])];
    }
    int values[256];
    for (int v = 0; v < 256; ++v) values[v] = v;
    // |n v - sum| is n times the distance from the mean, exactly (below 2^63:
    // n is a patch's sample count, at most 2^31 times 255).
    const auto distance = [&](int v) { return std::llabs(n * v - patch.sum); };
    std::stable_sort(values, values + 256, [&](int a, int b) { return distance(a) > distance(b); });
    long long taken[256] = {};
    long long wanted = count;
    for (int i = 0; i < 256 && wanted > 0; ++i) {
        taken[values[i]] = std::min(wanted, histogram[values[i]]);
        wanted -= taken[values[i]];
    }
    if (wanted > 0) return head;  // fewer samples in the rows than the set

    // Taken in row order, then put farthest first (stably, so of one value
    // the first in row order stays first).
    const std::size_t size = static_cast<std::size_t>(count);
    std::ptrdiff_t* rowOrderOffsets = arena->take<std::ptrdiff_t>(size);
    std::int16_t* rowOrderWeights = arena->take<std::int16_t>(size);
    int* order = arena->take<int>(size);
    std::ptrdiff_t* offsets = arena->take<std::ptrdiff_t>(size);
    std::int16_t* weights = arena->take<std::int16_t>(size);
    std::int16_t* centredWeights = arena->take<std::int16_t>(size);
    if (!rowOrderOffsets || !rowOrderWeights || !order || !offsets || !weights || !centredWeights)
        return head;
    int k = 0;
    for (int i = 0; i < rows && k < count; ++i) {
        const std::int16_t* row = patch.rows.row(i);
        const std::ptrdiff_t rowOffset = static_cast<std::ptrdiff_t>(patch.naturalRows[i]) *
                                         static_cast<std::ptrdiff_t>(planeStride);
        for (int c = 0; c < width && k < count; ++c) {
            const int v = static_cast<std::uint8_t>(row[c]);
            if (taken[v] == 0) continue;
            --taken[v];
            rowOrderOffsets[k] = rowOffset + c;
            rowOrderWeights[k] = static_cast<std::int16_t>(v);
            order[k] = k;
            ++k;
        }
    }
    int rank[256];
    for (int i = 0; i < 256; ++i) rank[values[i]] = i;
    std::stable_sort(order, order + count, [&](int a, int b) {
        return rank[rowOrderWeights[a]] < rank[rowOrderWeights[b]];
    });
    // Sums are non-negative: the floor of the mean is their quotient.
    const int meanFloor = static_cast<int>(patch.sum / n);
    for (int i = 0; i < count; ++i) {
        offsets[i] = rowOrderOffsets[order[i]];
        weights[i] = rowOrderWeights[order[i]];
        centredWeights[i] = static_cast<std::int16_t>(weights[i] - meanFloor);
    }
    head.samples = count;
    head.patchSamples = n;
    head.offsets = offsets;
    head.weights = weights;
    head.centredWeights = centredWeights;
    head.reference = referenceOf(head, n, patch.sum, patch.squares);
    return head;
}

void narrowScatteredHead(ScatteredHead* head, int count, long long patchSum,
                         long long patchSquares) {
    if (head->samples <= count) return;
    const long long n = static_cast<long long>(head->patchSamples);
    head->samples = count;
    head->reference = referenceOf(*head, n, patchSum, patchSquares);
}

}  // namespace detail
}  // namespace Tellvar
