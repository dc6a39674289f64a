// Registration of the reference frame: the patch every other frame is
// searched for, at full resolution and on the coarse copy.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <algorithm>
#include <climits>
#include <new>

namespace Tellvar {

namespace {

// The crop rectangle on the coarse copy: at least one pixel each way and
// inside the coarse frame, so a tiny crop or one at the far edge still
// leaves a patch to search for.
struct CoarseRect {
    int x, y, width, height;
};

CoarseRect coarseRect(int cropX, int cropY, int cropWidth, int cropHeight, double scale,
                      int coarseWidth, int coarseHeight) {
    CoarseRect rect;
    rect.width = std::clamp(detail::roundHalfUp(cropWidth * scale), 1, coarseWidth);
    rect.height = std::clamp(detail::roundHalfUp(cropHeight * scale), 1, coarseHeight);
    rect.x = std::clamp(detail::roundHalfUp(cropX * scale), 1, coarseWidth - rect.width + 1);
    rect.y = std::clamp(detail::roundHalfUp(cropY * scale), 1, coarseHeight - rect.height + 1);
    return rect;
}

}  // namespace

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

    const long long cropBytes = 3LL * cropWidth * cropHeight;
    if (!detail::rectFits(cropX, cropY, cropWidth, cropHeight, frame.width, frame.height) ||
        cropBytes > INT_MAX) {
        cleanReference();
        *errorText = detail::cropOutsideReferenceMessage(path, frame.width, frame.height, *this);
        return false;
    }

    const detail::BufferView frameView{frame.pixels.get(), frame.width, frame.height, bottomUp};
    std::unique_ptr<unsigned char[]> patchScaled;
    CoarseRect scaled{};
    if (withCoarse) {
        const detail::CoarseFrame coarse = detail::makeCoarseFrame(frameView);
        if (coarse.view.pixels != nullptr) {
            scaled = coarseRect(cropX, cropY, cropWidth, cropHeight, coarse.scale,
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
        const std::size_t elements = static_cast<std::size_t>(cropBytes);
        stackSum.reset(new (std::nothrow) std::uint64_t[elements]);
        if (!stackSum) {
            cleanReference();
            *errorText = detail::outOfMemoryMessage(path);
            return false;
        }
        std::copy(refPatchFull.get(), refPatchFull.get() + elements, stackSum.get());
        stackElements = elements;
    }
    return true;
}

void MainProcessor::cleanReference() {
    refPatchScaled.reset();
    refPatchFull.reset();
}

}  // namespace Tellvar
