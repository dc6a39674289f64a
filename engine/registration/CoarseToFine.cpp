// Coarse-to-fine location of the reference crop: a coarse search on a copy
// of about 320 pixels, then a fine search in a window around the coarse hit.

#include "registration/CoarseToFine.h"

#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"
#include "registration/PositionScan.h"

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

// Reads the rows the coarse copy is resampled from (the whole frame where
// it serves as its own coarse copy), each run of neighbouring rows at once.
bool readCoarseRows(FrameRows& rows, const BufferView& frame) {
    const CoarseSize size = coarseSizeOf(frame.width, frame.height);
    if (size.scale == 0.0) return rows.load(0, frame.height);
    const double step = nearestStep(size.height, frame.height);
    int runStart = 0, runEnd = 0;
    for (int r = 0; r < size.height; ++r) {
        const int row = nearestSource(r, step, frame.height);
        if (row >= runStart && row <= runEnd) {
            runEnd = std::max(runEnd, row + 1);
            continue;
        }
        if (runEnd > runStart && !rows.load(runStart, runEnd - runStart)) return false;
        runStart = row;
        runEnd = row + 1;
    }
    return runEnd <= runStart || rows.load(runStart, runEnd - runStart);
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
    coarse.owned = rescaleNearest(frame.pixels, frame.width, frame.height, size.width, size.height);
    coarse.view = {coarse.owned.get(), size.width, size.height, frame.bottomUp};
    coarse.scale = size.scale;
    return coarse;
}

CoarseRect coarseRectOf(int cropX, int cropY, int cropWidth, int cropHeight, double scale,
                        int coarseWidth, int coarseHeight) {
    CoarseRect rect;
    rect.width = std::clamp(roundHalfUp(cropWidth * scale), 1, coarseWidth);
    rect.height = std::clamp(roundHalfUp(cropHeight * scale), 1, coarseHeight);
    rect.x = std::clamp(roundHalfUp(cropX * scale), 1, coarseWidth - rect.width + 1);
    rect.y = std::clamp(roundHalfUp(cropY * scale), 1, coarseHeight - rect.height + 1);
    return rect;
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
int coarseErrorBound(int frameSize, int coarseSize, double scale, int cropCorner, int coarseCorner,
                     int estimate) {
    const double step = static_cast<double>(frameSize) / coarseSize;
    const double corner = std::max(0.5 / scale, std::fabs(coarseCorner / scale - cropCorner));
    const double displacement = std::fabs(estimate * scale - coarseCorner) + 0.5 * scale;
    const double drift = std::fabs(1.0 / scale - step) * displacement;
    return roundHalfUp(corner + step / 2 + drift);
}

}  // namespace

FineReach fineReach(const MainProcessor& processor, int frameWidth, int frameHeight, int perimeter,
                    Position estimate) {
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
            std::max(p, coarseErrorBound(frameHeight, coarse.height, coarse.scale, processor.cropY,
                                         patch.y, estimate.y))};
}

FineWindow placeFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                           int cropHeight, FineReach reach) {
    FineWindow window;
    if (cropWidth < 1 || cropHeight < 1 || frame.width < cropWidth || frame.height < cropHeight)
        return window;

    // Near an edge the window moves inward instead of shrinking, so the
    // search keeps its full range of shifts on the side that exists.
    const long long reachX = std::max(0, reach.x), reachY = std::max(0, reach.y);
    const long long width = std::min<long long>(cropWidth + 2 * reachX, frame.width);
    const long long height = std::min<long long>(cropHeight + 2 * reachY, frame.height);
    window.x =
        static_cast<int>(std::clamp<long long>(estimateX - reachX, 1, frame.width - width + 1));
    window.y =
        static_cast<int>(std::clamp<long long>(estimateY - reachY, 1, frame.height - height + 1));
    window.width = static_cast<int>(width);
    window.height = static_cast<int>(height);
    return window;
}

FineWindow cutFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                         int cropHeight, FineReach reach) {
    FineWindow window = placeFineWindow(frame, estimateX, estimateY, cropWidth, cropHeight, reach);
    if (!window.placed()) return window;
    window.pixels = cutRect(frame, window.x, window.y, window.width, window.height);
    if (!window.pixels) return {};
    return window;
}

Position windowRelative(const FineWindow& window, int x, int y) {
    // The caller's position may be anywhere; the hint only has to be an int.
    const auto relative = [](long long at, int origin, int size) {
        return static_cast<int>(std::clamp<long long>(at - origin + 1, 0, size + 1));
    };
    return {relative(x, window.x, window.width), relative(y, window.y, window.height)};
}

Placement placeCrop(const MainProcessor& processor, const BufferView& frame, int perimeter,
                    bool smallImage, FrameRows* rows) {
    if (!smallImage) return locateCrop(processor, frame, perimeter, rows);
    Placement placement;
    if (rows != nullptr && !rows->load(0, frame.height)) {
        placement.unread = true;
        return placement;
    }
    placement.inFrame = runSearch(ProcessorAccess::scanChoice(processor), frame,
                                  fullReference(processor), {processor.cropX, processor.cropY})
                            .position;
    return placement;
}

Position coarseHint(const MainProcessor& processor, double scale) {
    // The frames of a run show one target, so the match is expected near
    // the reference's own rectangle; the hint only speeds the scan up.
    return {roundHalfUp(processor.cropX * scale), roundHalfUp(processor.cropY * scale)};
}

Placement locateCrop(const MainProcessor& processor, const BufferView& frame, int perimeter,
                     FrameRows* rows) {
    Placement placement;
    if (rows != nullptr && !readCoarseRows(*rows, frame)) {
        placement.unread = true;
        return placement;
    }
    const CoarseFrame coarse = makeCoarseFrame(frame);
    const ScanChoice scan = ProcessorAccess::scanChoice(processor);
    placement.coarse = runSearch(scan, coarse.view, scaledReference(processor),
                                 coarseHint(processor, coarse.scale))
                           .position;
    if (!placement.coarse.found()) return placement;

    placement.estimate = {roundHalfUp(placement.coarse.x / coarse.scale),
                          roundHalfUp(placement.coarse.y / coarse.scale)};
    // The window is searched in place, in the frame: no copy of it is made.
    placement.window = placeFineWindow(
        frame, placement.estimate.x, placement.estimate.y, processor.cropWidth,
        processor.cropHeight,
        fineReach(processor, frame.width, frame.height, perimeter, placement.estimate));
    if (!placement.window.placed()) return placement;
    if (rows != nullptr &&
        !rows->load(firstBufferRow(frame, placement.window.y, placement.window.height) - 1,
                    placement.window.height)) {
        placement.unread = true;
        return placement;
    }

    placement.windowView = viewOfRect(frame, placement.window.x, placement.window.y,
                                      placement.window.width, placement.window.height);
    placement.inWindow =
        runSearch(scan, placement.windowView, fullReference(processor),
                  windowRelative(placement.window, placement.estimate.x, placement.estimate.y))
            .position;
    if (placement.inWindow.found())
        placement.inFrame = {placement.window.x + placement.inWindow.x - 1,
                             placement.window.y + placement.inWindow.y - 1};
    return placement;
}

}  // namespace detail
}  // namespace Tellvar
