// The processor's auxiliary operations, the cuts, resampling, sums and
// coefficients the registration is built from, on the processor's own
// reference patches.

#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"
#include "registration/FrameGeometry.h"

#include <algorithm>
#include <limits>

namespace Tellvar {
namespace detail {

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

unsigned char* MainProcessor::cropImage(unsigned char* source, int x, int y, int width, int height,
                                        int sourceWidth, int sourceHeight, bool flip) {
    const detail::BufferView view{source, sourceWidth, sourceHeight, flip};
    return detail::cutRect(view, x, y, width, height).release();
}

double MainProcessor::aspectRatio(int* width, int* height, int sourceWidth, int sourceHeight) {
    return detail::fitToBox(width, height, sourceWidth, sourceHeight);
}

unsigned char* MainProcessor::rescaleImage(unsigned char* source, int width, int height,
                                           int sourceWidth, int sourceHeight, double* scale,
                                           bool keepAspect) {
    if (sourceWidth < 1 || sourceHeight < 1) return nullptr;
    const double fitted = keepAspect ? detail::fitToBox(&width, &height, sourceWidth, sourceHeight)
                                     : static_cast<double>(width) / sourceWidth;
    if (scale != nullptr) *scale = fitted;
    // A frame of extreme proportions would fit to zero rows or columns.
    return detail::rescaleNearest(source, sourceWidth, sourceHeight, std::max(1, width),
                                  std::max(1, height))
        .release();
}

}  // namespace Tellvar
