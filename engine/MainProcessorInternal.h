#pragma once
// Building blocks of MainProcessor's registration, shared by its source files,
// its tests and the search benchmark. Not part of the program's interface.
//
// Positions are 1-based and count rows from the top of the picture; a view of
// a bottom-up buffer mirrors them when it cuts (MainProcessor.h).

#include <cstddef>
#include <memory>
#include <string>

namespace Tellvar {

class Brennock;
class MainProcessor;

namespace detail {

// A frame as the codec delivered it.
struct FrameBuffer {
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0;
    int height = 0;
    int depth = 0;
};

// openImage into an owned buffer; false with the codec's message on failure.
bool readFrame(Brennock& codec, const std::string& path, FrameBuffer* frame,
               std::string* errorText);

// A pixel buffer seen read-only: width x height pixels of 3 bytes, rows packed.
struct BufferView {
    const unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    bool bottomUp = false;
};

// A reference patch with the statistics the coefficient needs.
struct PatchStats {
    const unsigned char* pixels = nullptr;
    int width = 0;  // in pixels; rows are width x 3 bytes
    int height = 0;
    int byteCount = 0;  // n of the coefficient: three times the sample count
    double sum = 0.0;   // sample sum
    double ssq = 0.0;   // corrected sum of squares
};

// (0, 0) means nothing was found.
struct Position {
    int x = 0;
    int y = 0;
    bool found() const { return x >= 1 && y >= 1; }
};

// floor(v + 0.5) in double precision, the rounding of every scaled size and position.
int roundHalfUp(double value);

// Buffer row (1-based) at which a rectangle at picture row y, height h starts
// in a bottom-up buffer of the given height.
int mirrorRow(int y, int height, int bufferHeight);

// True when the rectangle at 1-based (x, y), w x h lies inside a buffer of
// bufferWidth x bufferHeight (and is not empty).
bool rectFits(long long x, long long y, long long width, long long height, int bufferWidth,
              int bufferHeight);

// Copies the rectangle at 1-based picture position (x, y) out of the view,
// mirrored for bottom-up views; empty when it does not fit.
std::unique_ptr<unsigned char[]> cutRect(const BufferView& source, int x, int y, int width,
                                         int height);

// Fits a box to the source's proportions (see MainProcessor::aspectRatio).
double fitToBox(int* width, int* height, int sourceWidth, int sourceHeight);

// Nearest-neighbour resampling to width x height with the reciprocal rule.
std::unique_ptr<unsigned char[]> rescaleNearest(const unsigned char* source, int sourceWidth,
                                                int sourceHeight, int width, int height);

struct SampleStats {
    double sum = 0.0;
    double ssq = 0.0;
};
// Sample sum and corrected sum of squares over the first byteCount bytes.
SampleStats sampleStats(const unsigned char* patch, int byteCount);

// Coefficient of the candidate whose first byte is at candidate, its rows
// candidateStride bytes apart, against the reference. rowBytes x rows is the
// patch's layout; the samples are the bytes 0, 3, 6, ... of each row.
double correlate(const PatchStats& reference, std::size_t rowBytes, int rows,
                 const unsigned char* candidate, std::size_t candidateStride);

// Scores every patch-sized position of the searched buffer in scan order and
// returns the first position of the highest score above 0.
//   Rows 1 .. yLast - 1, each from column 1 to xLast (xLast = W - w,
//   yLast = H - h). When yLast is 1 only (1, 1) is scored. A patch as wide or
//   as high as the buffer scans columns 1 .. max(1, xLast) and rows
//   1 .. max(1, yLast - 1); a patch larger than the buffer finds nothing.
Position scanPositions(const BufferView& searched, const PatchStats& reference);

// The frame's copy for the coarse search: resampled into the 320 x 240 box
// with the aspect kept, or the frame itself at scale 1 when it already fits.
struct CoarseFrame {
    std::unique_ptr<unsigned char[]> owned;
    BufferView view;
    double scale = 1.0;
};
CoarseFrame makeCoarseFrame(const BufferView& frame);

// The full-resolution window of the fine search: the crop plus the perimeter
// on every side around the estimate, moved (not shrunk) to stay inside the
// frame, and no larger than the frame. Empty when the frame is smaller than
// the crop.
struct FineWindow {
    std::unique_ptr<unsigned char[]> pixels;
    int x = 0;  // 1-based picture position of the window in the frame
    int y = 0;
    int width = 0;
    int height = 0;
};
FineWindow cutFineWindow(const BufferView& frame, int estimateX, int estimateY, int cropWidth,
                         int cropHeight, int perimeter);

// The reference patches of a processor with their statistics.
PatchStats fullReference(const MainProcessor& processor);
PatchStats scaledReference(const MainProcessor& processor);

// Coarse-to-fine location of the reference crop in one frame. Each stage
// is filled only when the stage before it found something.
struct Placement {
    Position coarse;    // on the coarse copy
    Position estimate;  // the coarse hit at full resolution
    FineWindow window;
    Position inWindow;  // fine result, window-relative
    Position inFrame;   // where the crop is cut from the frame
};
Placement locateCrop(const MainProcessor& processor, const BufferView& frame, int perimeter);

// Messages of the processor's own failures; the codecs word the others.
std::string cropOutsideReferenceMessage(const std::string& path, int frameWidth, int frameHeight,
                                        const MainProcessor& processor);
std::string frameSmallerThanCropMessage(const std::string& path, int frameWidth, int frameHeight,
                                        const MainProcessor& processor);
std::string noMatchMessage(const std::string& path);
std::string noReferenceMessage(const std::string& path);
std::string outOfMemoryMessage(const std::string& path);
std::string noStackSumMessage();
std::string stackCountMessage(int count);

}  // namespace detail
}  // namespace Tellvar
