// Per-frame registration: the crop rectangle found in a frame (coarse to
// fine, or in one full-resolution search for small images), then cut,
// saved and added to the stack; and the run's record of failures.

#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"
#include "processor/ProcessorMessages.h"
#include "registration/CoarseToFine.h"

namespace Tellvar {
namespace detail {

namespace {

// Where the crop is cut from the frame; not found when nothing matched or
// (placement.unread) the frame's rows could not be read.
Placement locateInFrame(MainProcessor& processor, const BufferView& view, int searchPerimeter,
                        bool smallImage, FrameRows* rows) {
    Placement placement = placeCrop(processor, view, searchPerimeter, smallImage, rows);
    if (placement.window.placed() && !placement.unread)
        ProcessorAccess::recordWindowSize(processor, placement.window.width,
                                          placement.window.height);
    return placement;
}

// The patches the search needs: the full one, and the coarse one unless the
// run is of small images.
bool hasReference(const MainProcessor& processor, bool smallImage) {
    return processor.refPatchFull && (smallImage || processor.refPatchScaled);
}

}  // namespace

FrameRead readFrameFor(MainProcessor& processor, const std::string& path) {
    FrameRead read;
    read.ok = readFrame(*processor.codec, path, &read.frame, &read.message);
    return read;
}

PreparedFrame ProcessorAccess::prepareFrame(MainProcessor& processor, FrameRead read,
                                            const std::string& path, int searchPerimeter,
                                            bool smallImage, unsigned char* cropBuffer) {
    PreparedFrame prepared;
    if (!hasReference(processor, smallImage)) {
        prepared.failure = noReferenceMessage(path);
        return prepared;
    }
    // The codec wrote its message into the read's own string.
    if (!read.ok) {
        prepared.failure = read.message;
        return prepared;
    }
    const FrameBuffer& frame = read.frame;
    const int cropWidth = processor.cropWidth, cropHeight = processor.cropHeight;
    if (frame.width < cropWidth || frame.height < cropHeight) {
        prepared.failure = frameSmallerThanCropMessage(path, frame.width, frame.height, processor);
        return prepared;
    }

    const BufferView view{frame.pixels.get(), frame.width, frame.height, processor.bottomUp};
    const Placement placement =
        locateInFrame(processor, view, searchPerimeter, smallImage, read.rows.get());
    if (placement.unread) {
        prepared.failure = read.rows->failure();
        return prepared;
    }
    const Position at = placement.inFrame;
    if (!at.found()) {
        prepared.failure = noMatchMessage(path);
        return prepared;
    }
    if (cropBuffer == nullptr) {
        prepared.ownedCrop = cutRect(view, at.x, at.y, cropWidth, cropHeight);
        prepared.crop = prepared.ownedCrop.get();
    } else if (cutRectInto(view, at.x, at.y, cropWidth, cropHeight, cropBuffer)) {
        prepared.crop = cropBuffer;
    }
    if (prepared.crop == nullptr) prepared.failure = outOfMemoryMessage(path);
    prepared.depth = frame.depth;
    return prepared;
}

void ProcessorAccess::finishFrame(MainProcessor& processor, PreparedFrame prepared, int index,
                                  bool smallImage, bool* okFlag, std::string* errorText) {
    if (prepared.crop == nullptr) {
        recordFailure(processor, index, prepared.failure, okFlag, errorText);
        return;
    }
    // The codec writes into a string of this call's own; only a failure is
    // copied into the run's message, under the lock.
    std::string message;
    if (!processor.codec->saveImage(prepared.crop, processor.cropWidth, processor.cropHeight,
                                    prepared.depth, processor.getFileName(index), &message)) {
        recordFailure(processor, index, message, okFlag, errorText);
        return;
    }
    // Small-image runs keep no stack sum.
    if (!smallImage && processor.stackEnabled) addToStack(processor, prepared.crop);
}

void ProcessorAccess::registerFrame(MainProcessor& processor, const std::string& path, int index,
                                    int searchPerimeter, bool smallImage, bool* okFlag,
                                    std::string* errorText) {
    // Without a reference there is nothing to look for: fail before reading.
    if (!hasReference(processor, smallImage)) {
        recordFailure(processor, index, noReferenceMessage(path), okFlag, errorText);
        return;
    }
    finishFrame(processor,
                prepareFrame(processor, readFrameFor(processor, path), path, searchPerimeter,
                             smallImage, nullptr),
                index, smallImage, okFlag, errorText);
}

void ProcessorAccess::recordFailure(MainProcessor& processor, int index, const std::string& message,
                                    bool* okFlag, std::string* errorText) {
    std::lock_guard<std::mutex> lock(processor.runMutex);
    if (okFlag != nullptr) *okFlag = false;
    if (errorText == nullptr) return;
    // Failures reported into one string leave it the message of the lowest
    // index, whatever order the threads finish in. Every failure leaves its
    // message in an empty string and in any string other than the last one
    // written, so a caller's own string or a later run's never stays empty.
    if (errorText != processor.lowestFailedText || errorText->empty() ||
        index <= processor.lowestFailedIndex) {
        processor.lowestFailedIndex = index;
        processor.lowestFailedText = errorText;
        // Every failure comes with its text; should one not, the run still
        // says which image failed.
        *errorText = message.empty() ? unexplainedFailureMessage(index) : message;
    }
}

void ProcessorAccess::recordWindowSize(MainProcessor& processor, int width, int height) {
    std::lock_guard<std::mutex> lock(processor.runMutex);
    processor.windowWidth = width;
    processor.windowHeight = height;
}

void ProcessorAccess::setSearchMethod(MainProcessor& processor, SearchMethod method) {
    processor.useReferenceSearch = method == SearchMethod::Reference;
}

void ProcessorAccess::setKernelLevel(MainProcessor& processor, SimdLevel level) {
    processor.kernelLevelForced = true;
    processor.forcedKernelLevel = level;
}

ScanChoice ProcessorAccess::scanChoice(const MainProcessor& processor) {
    return {processor.useReferenceSearch ? SearchMethod::Reference : SearchMethod::Fast,
            processor.kernelLevelForced ? processor.forcedKernelLevel : fastestSimdLevel()};
}

}  // namespace detail

void MainProcessor::setPhaseOne(std::string path, int index, int searchPerimeter, bool* okFlag,
                                std::string* errorText) {
    detail::ProcessorAccess::registerFrame(*this, path, index, searchPerimeter, false, okFlag,
                                           errorText);
}

void MainProcessor::processSmallImages(std::string path, int index, int searchPerimeter,
                                       bool* okFlag, std::string* errorText) {
    detail::ProcessorAccess::registerFrame(*this, path, index, searchPerimeter, true, okFlag,
                                           errorText);
}

void MainProcessor::phaseTwo(unsigned char** window, int* X, int* Y, int perimeter, int width,
                             int height, unsigned char* frame) {
    *window = nullptr;
    const detail::BufferView view{frame, width, height, bottomUp};
    const detail::FineReach reach = detail::fineReach(*this, width, height, perimeter, {*X, *Y});
    detail::FineWindow fine = detail::cutFineWindow(view, *X, *Y, cropWidth, cropHeight, reach);
    detail::Position best;
    if (fine.pixels) {
        detail::ProcessorAccess::recordWindowSize(*this, fine.width, fine.height);
        const detail::BufferView windowView{fine.pixels.get(), fine.width, fine.height, bottomUp};
        best = detail::runSearch(detail::ProcessorAccess::scanChoice(*this), windowView,
                                 detail::fullReference(*this), detail::windowRelative(fine, *X, *Y))
                   .position;
    }
    *X = best.x;
    *Y = best.y;
    if (best.found()) *window = fine.pixels.release();
}

}  // namespace Tellvar
