#pragma once
// Coarse-to-fine location of the reference crop in a frame: the frame's
// coarse copy, the reference rectangle on it, how far the fine search must
// reach around the coarse hit, and the fine window.

#include "codecs/FrameRows.h"
#include "registration/FrameGeometry.h"

#include <memory>

namespace Tellvar {

class MainProcessor;

namespace detail {

// The frame's copy for the coarse search: resampled into the 320 x 240 box
// with the aspect kept, or the frame itself at scale 1 when it already fits.
struct CoarseFrame {
    std::unique_ptr<unsigned char[]> owned;
    BufferView view;
    double scale = 1.0;
};
CoarseFrame makeCoarseFrame(const BufferView& frame);

// The crop rectangle on a coarse copy of the given scale and size: at least
// one pixel each way and inside the coarse frame, so a tiny crop or one at
// the far edge still leaves a patch to search for.
struct CoarseRect {
    int x = 0, y = 0, width = 0, height = 0;
};
CoarseRect coarseRectOf(int cropX, int cropY, int cropWidth, int cropHeight, double scale,
                        int coarseWidth, int coarseHeight);

// How far the fine search reaches on each side of the coarse estimate of
// a frame: the perimeter (a negative one counts as 0), or more along an
// axis on which the coarse estimate can miss by more, as where one coarse
// pixel spans many frame pixels. Frames that fit the coarse box get the
// perimeter.
struct FineReach {
    int x = 0;
    int y = 0;
};
FineReach fineReach(const MainProcessor& processor, int frameWidth, int frameHeight, int perimeter,
                    Position estimate);

// The full-resolution window of the fine search: the crop plus the reach
// on every side around the estimate, moved (not shrunk) to stay inside the
// frame, and no larger than the frame. Empty when the frame is smaller than
// the crop.
struct FineWindow {
    std::unique_ptr<unsigned char[]> pixels;  // cutFineWindow only
    // 1-based picture position of the window in the frame.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool placed() const { return width > 0; }
};
// Where the window lies, without its pixels.
FineWindow placeFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                           int cropHeight, FineReach reach);
// The window with a copy of its pixels.
FineWindow cutFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                         int cropHeight, FineReach reach);
// The frame position (x, y) relative to the window, as a search hint.
Position windowRelative(const FineWindow& window, int x, int y);

// Coarse-to-fine location of the reference crop in one frame. Each stage
// is filled only when the stage before it found something.
struct Placement {
    Position coarse;        // on the coarse copy
    Position estimate;      // the coarse hit at full resolution
    FineWindow window;      // placed, not cut
    BufferView windowView;  // the window in the frame
    Position inWindow;      // fine result, window-relative
    Position inFrame;       // where the crop is cut from the frame
    bool unread = false;    // the frame's rows could not be read (see FrameRows)
};
// Searches with the processor's scan (ProcessorAccess::scanChoice). Given
// rows, the frame's rows are read as each stage comes to them: those the
// coarse copy is resampled from, then the fine window's, which hold the
// crop.
Placement locateCrop(const MainProcessor& processor, const BufferView& frame, int perimeter,
                     FrameRows* rows = nullptr);

// Where a run's registration finds the crop in a frame: coarse to fine, or,
// for a run of small images, in one search of the whole frame at full
// resolution (inFrame alone is filled; the perimeter plays no part).
Placement placeCrop(const MainProcessor& processor, const BufferView& frame, int perimeter,
                    bool smallImage, FrameRows* rows = nullptr);

// Where the coarse scan looks first: the reference rectangle's corner on a
// coarse copy of the given scale.
Position coarseHint(const MainProcessor& processor, double scale);

}  // namespace detail
}  // namespace Tellvar
