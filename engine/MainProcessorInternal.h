#pragma once
// Building blocks of MainProcessor's registration, shared by its source files,
// its tests and the search benchmark. Not part of the program's interface.
//
// Positions are 1-based and count rows from the top of the picture; a view of
// a bottom-up buffer mirrors them when it cuts (MainProcessor.h).

#include "CorrelationKernels.h"

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
    int byteCount = 0;  // the patch's bytes, three a sample
    double sum = 0.0;   // sample sum
    double ssq = 0.0;   // corrected sum of squares
};

// The samples of the first byteCount bytes of a patch (bytes 0, 3, 6, ...):
// the n of the coefficient and of the corrected sums of squares.
inline int samplesIn(int byteCount) {
    return byteCount <= 0 ? 0 : byteCount / 3 + (byteCount % 3 != 0 ? 1 : 0);
}

// (0, 0) means nothing was found.
struct Position {
    int x = 0;
    int y = 0;
    bool found() const { return x >= 1 && y >= 1; }
};

// floor(v + 0.5) in double precision, the rounding of every scaled size and
// position; held to the range of int (NaN gives 0) so that no argument can
// make the conversion undefined.
int roundHalfUp(double value);

// Bytes of a width x height buffer of 3-byte pixels; 0 when a side is below
// 1 or the buffer would exceed the largest frame (kMaxFrameBytes). Each
// product is checked before it is formed.
std::size_t pixelBytes(long long width, long long height);

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
// The same cut into out (width x height x 3 bytes); false when it does not fit.
bool cutRectInto(const BufferView& source, int x, int y, int width, int height,
                 unsigned char* out);

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

// False when every sample of the first byteCount bytes has one value.
bool samplesVary(const unsigned char* patch, std::size_t byteCount);

// Coefficient of the candidate whose first byte is at candidate, its rows
// candidateStride bytes apart, against the reference. rowBytes x rows is the
// patch's layout; the samples are the bytes 0, 3, 6, ... of each row.
double correlate(const PatchStats& reference, std::size_t rowBytes, int rows,
                 const unsigned char* candidate, std::size_t candidateStride);

// The position scan: scores every position at which the patch fits in the
// searched buffer, rows 1 .. H - h + 1 from the top, each from column 1 to
// W - w + 1, and returns the first position in that order of the highest
// score above 0. A patch larger than the buffer finds nothing.
// Two implementations give the same winner and the same score, bit for bit.
struct ScanRange {
    int lastColumn = 0;  // 0: no position fits
    int lastRow = 0;
};
ScanRange scanRange(const BufferView& searched, int patchWidth, int patchHeight);

struct ScanResult {
    Position position;
    double score = 0.0;  // the winner's coefficient; 0.0 when nothing won
};

// The straightforward scan: every candidate's sums taken afresh with
// correlate(). Kept as the reference the fast scan is checked against.
ScanResult referenceSearch(const BufferView& searched, const PatchStats& reference);

// The product's scan: sample sums and sums of squares from running column
// sums, the cross term from exact integer dot products (CorrelationKernels.h),
// and the coefficient from those integers with correlate()'s own double
// arithmetic; candidates that provably cannot win are dismissed after part
// of their rows (CorrelationSearch.cpp). hint, where the caller expects the
// match (or nothing), only speeds the scan up: the result is the same
// wherever it points. Falls back to referenceSearch when its working memory
// cannot be had.
ScanResult fastSearch(const BufferView& searched, const PatchStats& reference, SimdLevel level,
                      Position hint);

// Which of the two a processor's registrations run (ProcessorAccess).
enum class SearchMethod { Fast, Reference };

ScanResult runSearch(SearchMethod method, const BufferView& searched, const PatchStats& reference,
                     Position hint);

// The fast scan with the best instruction set this processor has.
Position scanPositions(const BufferView& searched, const PatchStats& reference);

// A frame read for registration: the frame, or the codec's message.
struct FrameRead {
    FrameBuffer frame;
    bool ok = false;
    std::string message;
};

// Reads path with the processor's codec (which serves concurrent calls).
FrameRead readFrameFor(MainProcessor& processor, const std::string& path);

// A frame taken as far as its crop, the frame itself released: what is left
// of its registration is writing the crop and adding it to the stack. On a
// failure crop is null and failure holds the frame's message.
struct PreparedFrame {
    unsigned char* crop = nullptr;  // in ownedCrop, or in a buffer of the caller's
    std::unique_ptr<unsigned char[]> ownedCrop;
    int depth = 0;  // as the codec reported it, for the crop's file
    std::string failure;
};

// Engine-internal entry points of MainProcessor.
struct ProcessorAccess {
    // The scan a processor's registrations use: the fast one unless told
    // otherwise. Set it before the processor's first per-frame call.
    static void setSearchMethod(MainProcessor& processor, SearchMethod method);
    static SearchMethod searchMethod(const MainProcessor& processor);

    // setPhaseOne (or, with smallImage, processSmallImages) in two parts,
    // for an image that has already been read: prepareFrame does all that
    // needs the whole frame (the checks, the search, the cut), finishFrame
    // the rest (the crop's file, the stack, the run's flag and message).
    // Together they give the same results and failures as the single call.
    // cropBuffer (cropWidth x cropHeight x 3 bytes) receives the crop; when
    // null, a buffer of the prepared frame's own does.
    static PreparedFrame prepareFrame(MainProcessor& processor, FrameRead read,
                                      const std::string& path, int searchPerimeter,
                                      bool smallImage, unsigned char* cropBuffer);
    static void finishFrame(MainProcessor& processor, PreparedFrame prepared, int index,
                            bool smallImage, bool* okFlag, std::string* errorText);
};

// The frame's copy for the coarse search: resampled into the 320 x 240 box
// with the aspect kept, or the frame itself at scale 1 when it already fits.
struct CoarseFrame {
    std::unique_ptr<unsigned char[]> owned;
    BufferView view;
    double scale = 1.0;
};
CoarseFrame makeCoarseFrame(const BufferView& frame);

// How far the fine search reaches on each side of the coarse estimate of
// a frame: the perimeter (a negative one counts as 0), or more along an
// axis on which the coarse estimate can miss by more, as where one coarse
// pixel spans many frame pixels. Frames that fit the coarse box get the
// perimeter.
struct FineReach {
    int x = 0;
    int y = 0;
};
FineReach fineReach(const MainProcessor& processor, int frameWidth, int frameHeight,
                    int perimeter, Position estimate);

// The full-resolution window of the fine search: the crop plus the reach
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
                         int cropHeight, FineReach reach);
// The frame position (x, y) relative to the window, as a search hint.
Position windowRelative(const FineWindow& window, int x, int y);

// The crop rectangle on a coarse copy of the given scale and size: at least
// one pixel each way and inside the coarse frame, so a tiny crop or one at
// the far edge still leaves a patch to search for.
struct CoarseRect {
    int x = 0, y = 0, width = 0, height = 0;
};
CoarseRect coarseRectOf(int cropX, int cropY, int cropWidth, int cropHeight, double scale,
                        int coarseWidth, int coarseHeight);

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
// Uses the processor's search method.
Placement locateCrop(const MainProcessor& processor, const BufferView& frame, int perimeter);

// Messages of the processor's own failures; the codecs word the others.
// The corner counted from 0, as the caller gave it.
std::string cropOutsideReferenceMessage(const std::string& path, int frameWidth, int frameHeight,
                                        int cropWidth, int cropHeight, int cornerX, int cornerY);
std::string frameSmallerThanCropMessage(const std::string& path, int frameWidth, int frameHeight,
                                        const MainProcessor& processor);
std::string noMatchMessage(const std::string& path);
// coarse: the crop area varies, but not on the reduced copy.
std::string flatReferenceMessage(const std::string& path, bool coarse);
std::string noReferenceMessage(const std::string& path);
std::string unexplainedFailureMessage(int index);
std::string outOfMemoryMessage(const std::string& path);
std::string noStackSumMessage();
std::string stackCountMessage(int count);

}  // namespace detail
}  // namespace Tellvar
