// Per-frame registration: coarse search on a copy of about 320 pixels, fine
// search in a window around the coarse hit, or one full-resolution search
// for small images; then the crop is cut, saved and added to the stack.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <algorithm>

namespace Tellvar {
namespace detail {

namespace {
constexpr int kCoarseBoxWidth = 320;
constexpr int kCoarseBoxHeight = 240;
}  // namespace

CoarseFrame makeCoarseFrame(const BufferView& frame) {
    CoarseFrame coarse;
    int width = kCoarseBoxWidth, height = kCoarseBoxHeight;
    const double scale = fitToBox(&width, &height, frame.width, frame.height);
    if (scale == 0.0) {
        // Already inside the box: nothing to map back, the frame serves as is.
        coarse.view = frame;
        coarse.scale = 1.0;
        return coarse;
    }
    width = std::max(1, width);
    height = std::max(1, height);
    coarse.owned = rescaleNearest(frame.pixels, frame.width, frame.height, width, height);
    coarse.view = {coarse.owned.get(), width, height, frame.bottomUp};
    coarse.scale = scale;
    return coarse;
}

FineWindow cutFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                         int cropHeight, int perimeter) {
    FineWindow window;
    if (cropWidth < 1 || cropHeight < 1 || frame.width < cropWidth || frame.height < cropHeight)
        return window;

    // Near an edge the window moves inward instead of shrinking, so the
    // search keeps its full range of shifts on the side that exists.
    const long long p = std::max(0, perimeter);
    const long long width = std::min<long long>(cropWidth + 2 * p, frame.width);
    const long long height = std::min<long long>(cropHeight + 2 * p, frame.height);
    const long long x = std::clamp<long long>(estimateX - p, 1, frame.width - width + 1);
    const long long y = std::clamp<long long>(estimateY - p, 1, frame.height - height + 1);

    window.pixels = cutRect(frame, static_cast<int>(x), static_cast<int>(y),
                            static_cast<int>(width), static_cast<int>(height));
    if (!window.pixels) return window;
    window.x = static_cast<int>(x);
    window.y = static_cast<int>(y);
    window.width = static_cast<int>(width);
    window.height = static_cast<int>(height);
    return window;
}

Placement locateCrop(const MainProcessor& processor, const BufferView& frame, int perimeter) {
    Placement placement;
    const CoarseFrame coarse = makeCoarseFrame(frame);
    const SearchMethod method = ProcessorAccess::searchMethod(processor);
    // The frames of a run show one target, so the match is expected near
    // the reference's own rectangle; the hint only speeds the scan up.
    const Position coarseHint{roundHalfUp(processor.cropX * coarse.scale),
                              roundHalfUp(processor.cropY * coarse.scale)};
    placement.coarse =
        runSearch(method, coarse.view, scaledReference(processor), coarseHint).position;
    if (!placement.coarse.found()) return placement;

    placement.estimate = {roundHalfUp(placement.coarse.x / coarse.scale),
                          roundHalfUp(placement.coarse.y / coarse.scale)};
    placement.window = cutFineWindow(frame, placement.estimate.x, placement.estimate.y,
                                     processor.cropWidth, processor.cropHeight, perimeter);
    if (!placement.window.pixels) return placement;

    const BufferView windowView{placement.window.pixels.get(), placement.window.width,
                                placement.window.height, frame.bottomUp};
    const Position fineHint{placement.estimate.x - placement.window.x + 1,
                            placement.estimate.y - placement.window.y + 1};
    placement.inWindow =
        runSearch(method, windowView, fullReference(processor), fineHint).position;
    if (placement.inWindow.found())
        placement.inFrame = {placement.window.x + placement.inWindow.x - 1,
                             placement.window.y + placement.inWindow.y - 1};
    return placement;
}

}  // namespace detail

void MainProcessor::setPhaseOne(std::string path, int index, int searchPerimeter, bool* okFlag,
                                std::string* errorText) {
    // Without a reference there is nothing to look for: fail before reading.
    if (!refPatchFull || !refPatchScaled) {
        recordFailure(index, detail::noReferenceMessage(path), okFlag, errorText);
        return;
    }
    finishFrame(
        prepareFrame(detail::readFrameFor(*this, path), path, searchPerimeter, false, nullptr),
        index, false, okFlag, errorText);
}

void MainProcessor::processSmallImages(std::string path, int index, int searchPerimeter,
                                       bool* okFlag, std::string* errorText) {
    if (!refPatchFull) {
        recordFailure(index, detail::noReferenceMessage(path), okFlag, errorText);
        return;
    }
    finishFrame(
        prepareFrame(detail::readFrameFor(*this, path), path, searchPerimeter, true, nullptr),
        index, true, okFlag, errorText);
}

detail::PreparedFrame MainProcessor::prepareFrame(detail::FrameRead read,
                                                  const std::string& path, int searchPerimeter,
                                                  bool smallImage, unsigned char* cropBuffer) {
    detail::PreparedFrame prepared;
    const bool haveReference = refPatchFull && (smallImage || refPatchScaled);
    if (!haveReference) {
        prepared.failure = detail::noReferenceMessage(path);
        return prepared;
    }
    // The codec wrote its message into the read's own string.
    if (!read.ok) {
        prepared.failure = read.message;
        return prepared;
    }
    const detail::FrameBuffer& frame = read.frame;
    if (frame.width < cropWidth || frame.height < cropHeight) {
        prepared.failure =
            detail::frameSmallerThanCropMessage(path, frame.width, frame.height, *this);
        return prepared;
    }

    const detail::BufferView view{frame.pixels.get(), frame.width, frame.height, bottomUp};
    detail::Position at;
    if (smallImage) {
        // One search over the whole image at full resolution; the
        // perimeter plays no part.
        at = detail::runSearch(detail::ProcessorAccess::searchMethod(*this), view,
                               detail::fullReference(*this), {cropX, cropY})
                 .position;
    } else {
        const detail::Placement placement = detail::locateCrop(*this, view, searchPerimeter);
        if (placement.window.pixels)
            recordWindowSize(placement.window.width, placement.window.height);
        at = placement.inFrame;
    }
    if (!at.found()) {
        prepared.failure = detail::noMatchMessage(path);
        return prepared;
    }
    if (cropBuffer == nullptr) {
        prepared.ownedCrop = detail::cutRect(view, at.x, at.y, cropWidth, cropHeight);
        prepared.crop = prepared.ownedCrop.get();
    } else if (detail::cutRectInto(view, at.x, at.y, cropWidth, cropHeight, cropBuffer)) {
        prepared.crop = cropBuffer;
    }
    if (prepared.crop == nullptr) prepared.failure = detail::outOfMemoryMessage(path);
    prepared.depth = frame.depth;
    return prepared;
}

void MainProcessor::finishFrame(detail::PreparedFrame prepared, int index, bool smallImage,
                                bool* okFlag, std::string* errorText) {
    if (prepared.crop == nullptr) {
        recordFailure(index, prepared.failure, okFlag, errorText);
        return;
    }
    // The codec writes into a string of this call's own; only a failure is
    // copied into the run's message, under the lock.
    std::string message;
    if (!codec->saveImage(prepared.crop, cropWidth, cropHeight, prepared.depth,
                          getFileName(index), &message)) {
        recordFailure(index, message, okFlag, errorText);
        return;
    }
    // Small-image runs keep no stack sum.
    if (!smallImage && stackEnabled) addToStack(prepared.crop);
}

void MainProcessor::phaseTwo(unsigned char** window, int* X, int* Y, int perimeter, int width,
                             int height, unsigned char* frame) {
    *window = nullptr;
    const detail::BufferView view{frame, width, height, bottomUp};
    detail::FineWindow fine = detail::cutFineWindow(view, *X, *Y, cropWidth, cropHeight, perimeter);
    detail::Position best;
    if (fine.pixels) {
        recordWindowSize(fine.width, fine.height);
        const detail::BufferView windowView{fine.pixels.get(), fine.width, fine.height, bottomUp};
        best = detail::runSearch(detail::ProcessorAccess::searchMethod(*this), windowView,
                                 detail::fullReference(*this),
                                 {*X - fine.x + 1, *Y - fine.y + 1})
                   .position;
    }
    *X = best.x;
    *Y = best.y;
    if (best.found()) *window = fine.pixels.release();
}

void MainProcessor::recordFailure(int index, const std::string& message, bool* okFlag,
                                  std::string* errorText) {
    std::lock_guard<std::mutex> lock(runMutex);
    if (okFlag != nullptr) *okFlag = false;
    // Whatever order the threads finish in, the run reports its first
    // failed image.
    if (errorText != nullptr && index <= lowestFailedIndex) {
        lowestFailedIndex = index;
        *errorText = message;
    }
}

void MainProcessor::recordWindowSize(int width, int height) {
    std::lock_guard<std::mutex> lock(runMutex);
    windowWidth = width;
    windowHeight = height;
}

namespace detail {

FrameRead readFrameFor(MainProcessor& processor, const std::string& path) {
    FrameRead read;
    read.ok = readFrame(*processor.codec, path, &read.frame, &read.message);
    return read;
}

void ProcessorAccess::setSearchMethod(MainProcessor& processor, SearchMethod method) {
    processor.useReferenceSearch = method == SearchMethod::Reference;
}

SearchMethod ProcessorAccess::searchMethod(const MainProcessor& processor) {
    return processor.useReferenceSearch ? SearchMethod::Reference : SearchMethod::Fast;
}

PreparedFrame ProcessorAccess::prepareFrame(MainProcessor& processor, FrameRead read,
                                           const std::string& path, int searchPerimeter,
                                           bool smallImage, unsigned char* cropBuffer) {
    return processor.prepareFrame(std::move(read), path, searchPerimeter, smallImage,
                                  cropBuffer);
}

void ProcessorAccess::finishFrame(MainProcessor& processor, PreparedFrame prepared, int index,
                                  bool smallImage, bool* okFlag, std::string* errorText) {
    processor.finishFrame(std::move(prepared), index, smallImage, okFlag, errorText);
}

}  // namespace detail
}  // namespace Tellvar
