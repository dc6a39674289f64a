// Registration of the reference frame: the patch every other frame is
// searched for, at full resolution and on the coarse copy.

#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"
#include "processor/ProcessorMessages.h"
#include "registration/CoarseToFine.h"

#include <algorithm>
#include <new>

namespace Tellvar {

namespace detail {

namespace {

// The reference patches as cut from the frame, before the processor takes
// them over.
struct ReferencePatches {
    std::unique_ptr<unsigned char[]> full;
    std::unique_ptr<unsigned char[]> scaled;  // withCoarse only
    CoarseRect coarse{};
};

// Cuts the patches out of the frame and its coarse copy. Empty when both
// have detail to search for; otherwise the message of the failure.
std::string cutPatches(const MainProcessor& processor, const FrameBuffer& frame,
                       const std::string& path, bool withCoarse, int givenCropX, int givenCropY,
                       ReferencePatches* patches) {
    const int cropX = processor.cropX, cropY = processor.cropY;
    const int cropWidth = processor.cropWidth, cropHeight = processor.cropHeight;
    // Inside the frame the crop's byte count is bounded by the frame's.
    if (!rectFits(cropX, cropY, cropWidth, cropHeight, frame.width, frame.height))
        return cropOutsideReferenceMessage(path, frame.width, frame.height, cropWidth, cropHeight,
                                           givenCropX, givenCropY);

    const BufferView frameView{frame.pixels.get(), frame.width, frame.height, processor.bottomUp};
    if (withCoarse) {
        const CoarseFrame coarse = makeCoarseFrame(frameView);
        if (coarse.view.pixels != nullptr) {
            patches->coarse = coarseRectOf(cropX, cropY, cropWidth, cropHeight, coarse.scale,
                                           coarse.view.width, coarse.view.height);
            patches->scaled = cutRect(coarse.view, patches->coarse.x, patches->coarse.y,
                                      patches->coarse.width, patches->coarse.height);
        }
        if (!patches->scaled) return outOfMemoryMessage(path);
    }
    patches->full = cutRect(frameView, cropX, cropY, cropWidth, cropHeight);
    if (!patches->full) return outOfMemoryMessage(path);

    // Against a patch of one brightness every coefficient is undefined: no
    // frame could be registered, so the run stops here, before any file.
    const bool flatFull = !samplesVary(patches->full.get(), pixelBytes(cropWidth, cropHeight));
    const bool flatCoarse =
        withCoarse && !samplesVary(patches->scaled.get(),
                                   pixelBytes(patches->coarse.width, patches->coarse.height));
    if (flatFull || flatCoarse) return flatReferenceMessage(path, !flatFull);
    return {};
}

}  // namespace

bool ProcessorAccess::registerReference(MainProcessor& processor, const std::string& path,
                                        std::string* errorText, bool withCoarse) {
    FrameBuffer frame;
    if (!readFrame(*processor.codec, path, &frame, errorText)) return false;

    ReferencePatches patches;
    const std::string refusal = cutPatches(processor, frame, path, withCoarse, processor.givenCropX,
                                           processor.givenCropY, &patches);
    if (!refusal.empty()) {
        processor.cleanReference();
        *errorText = refusal;
        return false;
    }

    // The reference crop is saved before any sum is taken: a reference whose
    // crop cannot be written leaves the processor without reference data.
    if (!processor.codec->saveImage(patches.full.get(), processor.cropWidth, processor.cropHeight,
                                    frame.depth, processor.getFileName(0), errorText)) {
        processor.cleanReference();
        return false;
    }

    const std::size_t cropBytes = pixelBytes(processor.cropWidth, processor.cropHeight);
    processor.refPatchFull = std::move(patches.full);
    processor.refPatchScaled = std::move(patches.scaled);
    if (withCoarse) {
        processor.scaledCropWidth = patches.coarse.width;
        processor.scaledCropHeight = patches.coarse.height;
        processor.refSsqScaled =
            processor.calc_ssqX(3 * processor.scaledCropWidth * processor.scaledCropHeight, false);
    }
    processor.refSsqFull = processor.calc_ssqX(static_cast<int>(cropBytes), true);

    // Small-image runs keep no stack: their frames are never summed.
    if (withCoarse && processor.stackEnabled) {
        processor.stackSum.reset(new (std::nothrow) std::uint64_t[cropBytes]);
        if (!processor.stackSum) {
            processor.cleanReference();
            *errorText = outOfMemoryMessage(path);
            return false;
        }
        std::copy(processor.refPatchFull.get(), processor.refPatchFull.get() + cropBytes,
                  processor.stackSum.get());
        processor.stackElements = cropBytes;
    }
    return true;
}

}  // namespace detail

bool MainProcessor::setReferenceFrame(std::string path, std::string* errorText) {
    return detail::ProcessorAccess::registerReference(*this, path, errorText, true);
}

bool MainProcessor::setReferenceFrameSmallImage(std::string path, std::string* errorText) {
    return detail::ProcessorAccess::registerReference(*this, path, errorText, false);
}

void MainProcessor::cleanReference() {
    refPatchScaled.reset();
    refPatchFull.reset();
}

}  // namespace Tellvar
