// Normalised cross-correlation of patches and the position scan.
//
// The coefficient works on one byte of each pixel (the first), with n the
// number of those samples, so it is the samples' correlation coefficient:
// 1 for a candidate that is the reference brightened or dimmed, -1 for its
// negative, and undefined (NaN, which never wins) for a flat candidate or a
// flat reference. Every sum is a sum of integers below 2^53, so accumulating
// in double is exact whatever the order.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

ScanRange scanRange(const BufferView& searched, int patchWidth, int patchHeight) {
    ScanRange range;
    if (patchWidth < 1 || patchHeight < 1 || searched.width < patchWidth ||
        searched.height < patchHeight)
        return range;
    range.lastColumn = searched.width - patchWidth + 1;
    range.lastRow = searched.height - patchHeight + 1;
    return range;
}

ScanResult referenceSearch(const BufferView& searched, const PatchStats& reference) {
    const int patchWidth = reference.width, patchHeight = reference.height;
    const ScanRange range = scanRange(searched, patchWidth, patchHeight);
    if (searched.pixels == nullptr || reference.pixels == nullptr || reference.byteCount < 1 ||
        range.lastColumn < 1)
        return {};

    const std::size_t stride = static_cast<std::size_t>(searched.width) * 3;
    const std::size_t rowBytes = static_cast<std::size_t>(patchWidth) * 3;
    ScanResult best;
    for (int y = 1; y <= range.lastRow; ++y) {
        const int bufferRow = searched.bottomUp ? mirrorRow(y, patchHeight, searched.height) : y;
        const unsigned char* rowStart =
            searched.pixels + static_cast<std::size_t>(bufferRow - 1) * stride;
        for (int x = 1; x <= range.lastColumn; ++x) {
            const double score = correlate(reference, rowBytes, patchHeight,
                                           rowStart + static_cast<std::size_t>(x - 1) * 3, stride);
            // Strictly greater: of equal scores the first in scan order stays.
            if (score > best.score) {
                best.score = score;
                best.position = {x, y};
            }
        }
    }
    return best;
}

PatchStats fullReference(const MainProcessor& processor) {
    return {processor.refPatchFull.get(), processor.cropWidth,  processor.cropHeight,
            processor.refCountFull,       processor.refSumFull, processor.refSsqFull};
}

PatchStats scaledReference(const MainProcessor& processor) {
    return {processor.refPatchScaled.get(), processor.scaledCropWidth, processor.scaledCropHeight,
            processor.refCountScaled,       processor.refSumScaled,    processor.refSsqScaled};
}

}  // namespace detail

namespace {

// The candidate is a packed patch of the reference's byte count.
double coefficientOfPacked(const detail::PatchStats& reference, const unsigned char* candidate) {
    if (reference.pixels == nullptr || candidate == nullptr || reference.byteCount < 1)
        return std::numeric_limits<double>::quiet_NaN();
    const std::size_t bytes = static_cast<std::size_t>(reference.byteCount);
    return detail::correlate(reference, bytes, 1, candidate, bytes);
}

}  // namespace

double MainProcessor::calc_ssqX(int count, bool full) {
    const unsigned char* patch = full ? refPatchFull.get() : refPatchScaled.get();
    // The patch holds its rectangle's bytes; a count beyond them is held to them.
    const std::size_t available = full ? detail::pixelBytes(cropWidth, cropHeight)
                                       : detail::pixelBytes(scaledCropWidth, scaledCropHeight);
    const int n = patch == nullptr || count < 1
                      ? 0
                      : static_cast<int>(std::min(static_cast<std::size_t>(count), available));
    const detail::SampleStats stats = detail::sampleStats(patch, n);
    if (full) {
        refSumFull = stats.sum;
        refCountFull = n;
    } else {
        refSumScaled = stats.sum;
        refCountScaled = n;
    }
    return stats.ssq;
}

double MainProcessor::calcCoeff_Scaled(unsigned char* candidate) {
    return coefficientOfPacked(detail::scaledReference(*this), candidate);
}

double MainProcessor::calcCoeff_Full(unsigned char* candidate) {
    return coefficientOfPacked(detail::fullReference(*this), candidate);
}

}  // namespace Tellvar
