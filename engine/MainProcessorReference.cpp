// Registration of the reference frame: the patch every other frame is
// searched for, at full resolution and on the coarse copy.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <algorithm>
#include <new>

namespace Tellvar {

namespace detail {

CoarseRect coarseRectOf(int cropX, int cropY, int cropWidth, int cropHeight, double scale,
                        int coarseWidth, int coarseHeight) {
    CoarseRect rect;
    rect.width = std::clamp(roundHalfUp(cropWidth * scale), 1, coarseWidth);
    rect.height = std::clamp(roundHalfUp(cropHeight * scale), 1, coarseHeight);
    rect.x = std::clamp(roundHalfUp(cropX * scale), 1, coarseWidth - rect.width + 1);
    rect.y = std::clamp(roundHalfUp(cropY * scale), 1, coarseHeight - rect.height + 1);
    return rect;
}

}  // namespace detail

bool MainProcessor::setReferenceFrame(std::string path, std::string* errorText) {
    return registerReference(path, errorText, true);
}

bool MainProcessor::setReferenceFrameSmallImage(std::string path, std::string* errorText) {
    return registerReference(path, errorText, false);
}

bool MainProcessor::registerReference(const std::string& path, std::string* errorText,
                                      bool withCoarse) {
    detail::FrameBuffer frame;
    if (!detail::readFrame(*codec, path, &frame, errorText)) return false;

    // Inside the frame the crop's byte count is bounded by the frame's.
    if (!detail::rectFits(cropX, cropY, cropWidth, cropHeight, frame.width, frame.height)) {
        cleanReference();
        *errorText = detail::cropOutsideReferenceMessage(path, frame.width, frame.height,
                                                         cropWidth, cropHeight, givenCropX,
                                                         givenCropY);
        return false;
    }
    const std::size_t cropBytes = detail::pixelBytes(cropWidth, cropHeight);

    const detail::BufferView frameView{frame.pixels.get(), frame.width, frame.height, bottomUp};
    std::unique_ptr<unsigned char[]> patchScaled;
    detail::CoarseRect scaled{};
    if (withCoarse) {
        const detail::CoarseFrame coarse = detail::makeCoarseFrame(frameView);
        if (coarse.view.pixels != nullptr) {
            scaled = detail::coarseRectOf(cropX, cropY, cropWidth, cropHeight, coarse.scale,
                                          coarse.view.width, coarse.view.height);
            patchScaled =
                detail::cutRect(coarse.view, scaled.x, scaled.y, scaled.width, scaled.height);
        }
        if (!patchScaled) {
            cleanReference();
            *errorText = detail::outOfMemoryMessage(path);
            return false;
        }
    }
    std::unique_ptr<unsigned char[]> patchFull =
        detail::cutRect(frameView, cropX, cropY, cropWidth, cropHeight);
    if (!patchFull) {
        cleanReference();
        *errorText = detail::outOfMemoryMessage(path);
        return false;
    }

    // Against a patch of one brightness every coefficient is undefined: no
    // frame could be registered, so the run stops here, before any file.
    const bool flatFull = !detail::samplesVary(patchFull.get(), cropBytes);
    const bool flatCoarse =
        withCoarse && !detail::samplesVary(patchScaled.get(),
                                           detail::pixelBytes(scaled.width, scaled.height));
    if (flatFull || flatCoarse) {
        cleanReference();
        *errorText = detail::flatReferenceMessage(path, !flatFull);
        return false;
    }

    // The reference crop is saved before any sum is taken: a reference whose
    // crop cannot be written leaves the processor without reference data.
    if (!codec->saveImage(patchFull.get(), cropWidth, cropHeight, frame.depth, getFileName(0),
                          errorText)) {
        cleanReference();
        return false;
    }

    refPatchFull = std::move(patchFull);
    refPatchScaled = std::move(patchScaled);
    if (withCoarse) {
        scaledCropWidth = scaled.width;
        scaledCropHeight = scaled.height;
        refSsqScaled = calc_ssqX(3 * scaledCropWidth * scaledCropHeight, false);
    }
    refSsqFull = calc_ssqX(static_cast<int>(cropBytes), true);

    // Small-image runs keep no stack: their frames are never summed.
    if (withCoarse && stackEnabled) {
        stackSum.reset(new (std::nothrow) std::uint64_t[cropBytes]);
        if (!stackSum) {
            cleanReference();
            *errorText = detail::outOfMemoryMessage(path);
            return false;
        }
        std::copy(refPatchFull.get(), refPatchFull.get() + cropBytes, stackSum.get());
        stackElements = cropBytes;
    }
    return true;
}

void MainProcessor::cleanReference() {
    refPatchScaled.reset();
    refPatchFull.reset();
}

}  // namespace Tellvar
