// Per-frame registration: coarse search on a copy of about 320 pixels, fine
// search in a window around the coarse hit, or one full-resolution search
// for small images; then the crop is cut, saved and added to the stack.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <algorithm>
#include <cmath>

namespace Tellvar {
namespace detail {

namespace {

constexpr int kCoarseBoxWidth = 320;
constexpr int kCoarseBoxHeight = 240;

// The size of a frame's coarse copy and the scale that maps it back; scale
// 0 when the frame already fits the box.
struct CoarseSize {
    int width = kCoarseBoxWidth;
    int height = kCoarseBoxHeight;
    double scale = 0.0;
};

CoarseSize coarseSizeOf(int frameWidth, int frameHeight) {
    CoarseSize size;
    size.scale = fitToBox(&size.width, &size.height, frameWidth, frameHeight);
    // A frame of extreme proportions would fit to zero rows or columns.
    size.width = std::max(1, size.width);
    size.height = std::max(1, size.height);
    return size;
}

}  // namespace

CoarseFrame makeCoarseFrame(const BufferView& frame) {
    CoarseFrame coarse;
    const CoarseSize size = coarseSizeOf(frame.width, frame.height);
    if (size.scale == 0.0) {
        // Already inside the box: nothing to map back, the frame serves as is.
        coarse.view = frame;
        coarse.scale = 1.0;
        return coarse;
    }
    coarse.owned =
        rescaleNearest(frame.pixels, frame.width, frame.height, size.width, size.height);
    coarse.view = {coarse.owned.get(), size.width, size.height, frame.bottomUp};
    coarse.scale = size.scale;
    return coarse;
}

namespace {

// The coarse estimate's largest error along one axis, in frame pixels, for
// a frame of frameSize pixels whose coarse copy has coarseSize, mapped back
// with scale; the reference crop's corner cropCorner lies at coarseCorner
// on the coarse copy, and the frame's estimate is at estimate. The estimate
// floor(hit / scale + 0.5) misses the match by at most the sum of
//   - the reference corner's rounding onto the coarse copy: half a coarse
//     pixel, or the exact distance where the corner was moved to keep the
//     patch inside the coarse copy;
//   - the coarse hit's own step: the match lies within half a coarse pixel
//     (half the resampling step) of the position that scores best;
//   - the drift between the resampling step and the mapping scale, which
//     differ where the coarse size was rounded, over the hit's distance
//     from the reference corner (taken from the estimate, which lies within
//     half a pixel of hit / scale);
// rounded back to a whole pixel as the estimate is.
int coarseErrorBound(int frameSize, int coarseSize, double scale, int cropCorner,
                     int coarseCorner, int estimate) {
    const double step = static_cast<double>(frameSize) / coarseSize;
    const double corner = std::max(0.5 / scale, std::fabs(coarseCorner / scale - cropCorner));
    const double displacement = std::fabs(estimate * scale - coarseCorner) + 0.5 * scale;
    const double drift = std::fabs(1.0 / scale - step) * displacement;
    return roundHalfUp(corner + step / 2 + drift);
}

}  // namespace

FineReach fineReach(const MainProcessor& processor, int frameWidth, int frameHeight,
                    int perimeter, Position estimate) {
    const int p = std::max(0, perimeter);
    if (frameWidth < 1 || frameHeight < 1) return {p, p};
    const CoarseSize coarse = coarseSizeOf(frameWidth, frameHeight);
    // A frame that fits the box is searched at full resolution from the start.
    if (coarse.scale == 0.0) return {p, p};
    const CoarseRect patch =
        coarseRectOf(processor.cropX, processor.cropY, processor.cropWidth, processor.cropHeight,
                     coarse.scale, coarse.width, coarse.height);
    return {std::max(p, coarseErrorBound(frameWidth, coarse.width, coarse.scale, processor.cropX,
                                         patch.x, estimate.x)),
            std::max(p, coarseErrorBound(frameHeight, coarse.height, coarse.scale,
                                         processor.cropY, patch.y, estimate.y))};
}

FineWindow cutFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                         int cropHeight, FineReach reach) {
    FineWindow window;
    if (cropWidth < 1 || cropHeight < 1 || frame.width < cropWidth || frame.height < cropHeight)
        return window;

    // Near an edge the window moves inward instead of shrinking, so the
    // search keeps its full range of shifts on the side that exists.
    const long long reachX = std::max(0, reach.x), reachY = std::max(0, reach.y);
    const long long width = std::min<long long>(cropWidth + 2 * reachX, frame.width);
    const long long height = std::min<long long>(cropHeight + 2 * reachY, frame.height);
    const long long x = std::clamp<long long>(estimateX - reachX, 1, frame.width - width + 1);
    const long long y = std::clamp<long long>(estimateY - reachY, 1, frame.height - height + 1);

    window.pixels = cutRect(frame, static_cast<int>(x), static_cast<int>(y),
                            static_cast<int>(width), static_cast<int>(height));
    if (!window.pixels) return window;
    window.x = static_cast<int>(x);
    window.y = static_cast<int>(y);
    window.width = static_cast<int>(width);
    window.height = static_cast<int>(height);
    return window;
}

Position windowRelative(const FineWindow& window, int x, int y) {
    // The caller's position may be anywhere; the hint only has to be an int.
    const auto relative = [](long long at, int origin, int size) {
        return static_cast<int>(std::clamp<long long>(at - origin + 1, 0, size + 1));
    };
    return {relative(x, window.x, window.width), relative(y, window.y, window.height)};
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
                                     processor.cropWidth, processor.cropHeight,
                                     fineReach(processor, frame.width, frame.height, perimeter,
                                               placement.estimate));
    if (!placement.window.pixels) return placement;

    const BufferView windowView{placement.window.pixels.get(), placement.window.width,
                                placement.window.height, frame.bottomUp};
    placement.inWindow =
        runSearch(method, windowView, fullReference(processor),
                  windowRelative(placement.window, placement.estimate.x, placement.estimate.y))
            .position;
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
    const detail::FineReach reach = detail::fineReach(*this, width, height, perimeter, {*X, *Y});
    detail::FineWindow fine = detail::cutFineWindow(view, *X, *Y, cropWidth, cropHeight, reach);
    detail::Position best;
    if (fine.pixels) {
        recordWindowSize(fine.width, fine.height);
        const detail::BufferView windowView{fine.pixels.get(), fine.width, fine.height, bottomUp};
        best = detail::runSearch(detail::ProcessorAccess::searchMethod(*this), windowView,
                                 detail::fullReference(*this), detail::windowRelative(fine, *X, *Y))
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
    if (errorText == nullptr) return;
    // Failures reported into one string leave it the message of the lowest
    // index, whatever order the threads finish in. Every failure leaves its
    // message in an empty string and in any string other than the last one
    // written, so a caller's own string or a later run's never stays empty.
    if (errorText != lowestFailedText || errorText->empty() || index <= lowestFailedIndex) {
        lowestFailedIndex = index;
        lowestFailedText = errorText;
        // Every failure comes with its text; should one not, the run still
        // says which image failed.
        *errorText = message.empty() ? detail::unexplainedFailureMessage(index) : message;
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
