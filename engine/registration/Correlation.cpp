// Normalised cross-correlation of patches.
//
// The coefficient works on one byte of each pixel (the first), with n the
// number of those samples, so it is the samples' correlation coefficient:
// 1 for a candidate that is the reference brightened or dimmed, -1 for its
// negative, and undefined (NaN, which never wins) for a flat candidate or a
// flat reference. Every sum is a sum of integers below 2^53, so accumulating
// in double is exact whatever the order.

#include "registration/Correlation.h"

#include <cmath>

namespace Tellvar {
namespace detail {

SampleStats sampleStats(const unsigned char* patch, int byteCount) {
    SampleStats stats;
    if (patch == nullptr || byteCount <= 0) return stats;
    double squares = 0.0;
    const std::size_t bytes = static_cast<std::size_t>(byteCount);
    for (std::size_t k = 0; k < bytes; k += 3) {
        const int sample = patch[k];
        stats.sum += sample;
        squares += sample * sample;
    }
    stats.ssq = squares - stats.sum * stats.sum / samplesIn(byteCount);
    return stats;
}

bool samplesVary(const unsigned char* patch, std::size_t byteCount) {
    if (patch == nullptr) return false;
    for (std::size_t k = 3; k < byteCount; k += 3)
        if (patch[k] != patch[0]) return true;
    return false;
}

double correlate(const PatchStats& reference, std::size_t rowBytes, int rows,
                 const unsigned char* candidate, std::size_t candidateStride) {
    const double n = samplesIn(reference.byteCount);
    double sum = 0.0, squares = 0.0, products = 0.0;
    const unsigned char* referenceRow = reference.pixels;
    for (int row = 0; row < rows; ++row, referenceRow += rowBytes, candidate += candidateStride) {
        for (std::size_t k = 0; k < rowBytes; k += 3) {
            const int x = referenceRow[k];
            const int y = candidate[k];
            sum += y;
            squares += y * y;
            products += x * y;
        }
    }
    const double ssq = squares - sum * sum / n;
    // A flat patch on either side gives 0 / 0: not a number, which never wins.
    return (products - sum * reference.sum / n) / std::sqrt(ssq * reference.ssq);
}

}  // namespace detail
}  // namespace Tellvar
