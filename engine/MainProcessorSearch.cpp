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
    placement.coarse = scanPositions(coarse.view, scaledReference(processor));
    if (!placement.coarse.found()) return placement;

    placement.estimate = {roundHalfUp(placement.coarse.x / coarse.scale),
                          roundHalfUp(placement.coarse.y / coarse.scale)};
    placement.window = cutFineWindow(frame, placement.estimate.x, placement.estimate.y,
                                     processor.cropWidth, processor.cropHeight, perimeter);
    if (!placement.window.pixels) return placement;

    const BufferView windowView{placement.window.pixels.get(), placement.window.width,
                                placement.window.height, frame.bottomUp};
    placement.inWindow = scanPositions(windowView, fullReference(processor));
    if (placement.inWindow.found())
        placement.inFrame = {placement.window.x + placement.inWindow.x - 1,
                             placement.window.y + placement.inWindow.y - 1};
    return placement;
}

}  // namespace detail

namespace {

// Cuts the crop at the found position and saves it as output index. Returns
// the crop, or nothing with *message set.
std::unique_ptr<unsigned char[]> cutAndSave(MainProcessor& processor,
                                            const detail::BufferView& frame,
                                            detail::Position position, int depth, int index,
                                            const std::string& path, std::string* message) {
    std::unique_ptr<unsigned char[]> crop =
        detail::cutRect(frame, position.x, position.y, processor.cropWidth, processor.cropHeight);
    if (!crop) {
        *message = detail::outOfMemoryMessage(path);
        return nullptr;
    }
    if (!processor.codec->saveImage(crop.get(), processor.cropWidth, processor.cropHeight, depth,
                                    processor.getFileName(index), message))
        return nullptr;
    return crop;
}

}  // namespace

void MainProcessor::setPhaseOne(std::string path, int index, int searchPerimeter, bool* okFlag,
                                std::string* errorText) {
    // The codec writes into a string of this call's own; only a failure is
    // copied into the run's message, under the lock.
    std::string message;
    if (!refPatchFull || !refPatchScaled) {
        recordFailure(index, detail::noReferenceMessage(path), okFlag, errorText);
        return;
    }
    detail::FrameBuffer frame;
    if (!detail::readFrame(*codec, path, &frame, &message)) {
        recordFailure(index, message, okFlag, errorText);
        return;
    }
    if (frame.width < cropWidth || frame.height < cropHeight) {
        recordFailure(index,
                      detail::frameSmallerThanCropMessage(path, frame.width, frame.height, *this),
                      okFlag, errorText);
        return;
    }

    const detail::BufferView view{frame.pixels.get(), frame.width, frame.height, bottomUp};
    const detail::Placement placement = detail::locateCrop(*this, view, searchPerimeter);
    if (placement.window.pixels) recordWindowSize(placement.window.width, placement.window.height);
    if (!placement.inFrame.found()) {
        recordFailure(index, detail::noMatchMessage(path), okFlag, errorText);
        return;
    }

    const std::unique_ptr<unsigned char[]> crop =
        cutAndSave(*this, view, placement.inFrame, frame.depth, index, path, &message);
    if (!crop) {
        recordFailure(index, message, okFlag, errorText);
        return;
    }
    if (stackEnabled) addToStack(crop.get());
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
        best = detail::scanPositions(windowView, detail::fullReference(*this));
    }
    *X = best.x;
    *Y = best.y;
    if (best.found()) *window = fine.pixels.release();
}

void MainProcessor::processSmallImages(std::string path, int index, int /*searchPerimeter*/,
                                       bool* okFlag, std::string* errorText) {
    std::string message;
    if (!refPatchFull) {
        recordFailure(index, detail::noReferenceMessage(path), okFlag, errorText);
        return;
    }
    detail::FrameBuffer frame;
    if (!detail::readFrame(*codec, path, &frame, &message)) {
        recordFailure(index, message, okFlag, errorText);
        return;
    }
    if (frame.width < cropWidth || frame.height < cropHeight) {
        recordFailure(index,
                      detail::frameSmallerThanCropMessage(path, frame.width, frame.height, *this),
                      okFlag, errorText);
        return;
    }

    const detail::BufferView view{frame.pixels.get(), frame.width, frame.height, bottomUp};
    const detail::Position best = detail::scanPositions(view, detail::fullReference(*this));
    if (!best.found()) {
        recordFailure(index, detail::noMatchMessage(path), okFlag, errorText);
        return;
    }
    // Small-image runs keep no stack sum, so nothing is added here.
    if (!cutAndSave(*this, view, best, frame.depth, index, path, &message))
        recordFailure(index, message, okFlag, errorText);
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

}  // namespace Tellvar
