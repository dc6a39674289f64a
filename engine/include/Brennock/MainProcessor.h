#pragma once
// Registration and crop engine of one automatic run.
//
// Coordinates. The constructor takes the crop rectangle's corner exactly as
// the main window holds it: cropX and cropY are the column and row of the
// rectangle's top-left pixel counted from 0 at the picture's left and top
// edges, whatever the codec's row order. The constructor stores the corner
// 1-based (cropX + 1, cropY + 1); every position inside the processor is
// 1-based from there on. A rectangle at 1-based (x, y), w x h, covers the
// 0-based columns x - 1 .. x + w - 2 and, in a top-down buffer, the rows
// y - 1 .. y + h - 2. In a bottom-up buffer (BMP frames) its row is first
// mirrored to y' = H - (y + h) + 2, so that it covers the same picture rows
// as in a top-down buffer: the reference crop is exactly the rectangle the
// user drew, for every input format.
//
// Every cut is kept inside its buffer: a rectangle that does not fit the
// frame fails that frame with a message, the fine-search window is shifted
// to stay inside the frame, and a search that finds nothing fails the frame.
//
// Failures. Besides the codecs' read and write failures, the processor fails
// a reference frame the crop rectangle does not fit, a reference whose crop
// area has no variation to correlate (at full resolution or on the coarse
// copy; nothing is written then), a frame smaller than the crop, a frame in
// which no position scores above 0 (a black or flat frame), and a frame
// searched before a reference was registered; each with a message of its
// own naming the file. Sizes and positions at the ends of int fail like any
// other that does not fit; no arithmetic on them overflows.
//
// Search. Every position at which the patch fits is scored, in rows from
// the top, each from the left; the first of the highest scores above 0
// wins. The score is the correlation coefficient of the first byte of each
// pixel (n is the number of those samples). The fine search reaches the
// perimeter around the coarse estimate, or further where one coarse pixel
// spans so many frame pixels that the estimate can miss by more.
//
// Concurrency. The per-frame calls may run at once on one processor. Each
// hands the codec a message string of its own; a failure sets *okFlag to
// false and copies its message into *errorText under the processor's lock,
// and of several failed images the message of the lowest index is kept.
// Stack additions and the window-size fields are written under the same lock.
//
// Scale. A frame that already fits the 320 x 240 box (exactly 320 x 240 on
// the normal path) is searched at scale 1: its coarse copy is the frame
// itself. The coarse rectangle keeps at least one pixel each way and lies
// inside the coarse frame.

#include "Brennock/Brennock.h"
#include "Brennock/Export.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

namespace Tellvar {

namespace detail {
struct ProcessorAccess;
enum class SimdLevel : unsigned char;
}  // namespace detail

class BRENNOCK_API MainProcessor {
public:
    MainProcessor(int cropX, int cropY, int cropWidth, int cropHeight, std::string* fileNames,
                  std::string outputFolder, int typeCode, bool stackEnabled);
    ~MainProcessor();

    MainProcessor(const MainProcessor&) = delete;
    MainProcessor& operator=(const MainProcessor&) = delete;

    // Reference frame (image 0): cuts, saves and keeps the reference patch.
    bool setReferenceFrame(std::string path, std::string* errorText);
    bool setReferenceFrameSmallImage(std::string path, std::string* errorText);
    void cleanReference();

    // Per-frame registration; safe to call concurrently on one processor.
    // okFlag is only ever set to false; errorText receives a whole message.
    void setPhaseOne(std::string path, int index, int searchPerimeter, bool* okFlag,
                     std::string* errorText);
    void processSmallImages(std::string path, int index, int searchPerimeter, bool* okFlag,
                            std::string* errorText);
    // Fine search around the full-resolution estimate (*X, *Y). Hands back
    // the window (new[], the caller releases it) and the best window-relative
    // position in *X, *Y; both are 0 and *window null when nothing scored
    // above 0 or the frame is smaller than the crop. A negative perimeter
    // counts as 0; the window reaches at least as far as the coarse
    // estimate of a frame of this size can miss, and windowWidth and
    // windowHeight record the window used.
    void phaseTwo(unsigned char** window, int* X, int* Y, int perimeter, int width, int height,
                  unsigned char* frame);

    // Averages the stack sum over count images and writes STACK. Returns
    // false with a message when there is no stack sum (a small-image run, or
    // after a successful call) or count is below 1.
    bool StackImages(int count, std::string* errorText);

    // Output path (without extension) of image index, or of the stack for -1:
    // the folder, '/', "crop_" and the file name less its last four
    // characters (a name shorter than that is kept whole).
    std::string getFileName(int index);

    // Auxiliary operations the searches are built from (1-based positions).
    // cropImage returns null when the rectangle does not fit the source.
    unsigned char* cropImage(unsigned char* source, int x, int y, int width, int height,
                             int sourceWidth, int sourceHeight, bool flip);
    double aspectRatio(int* width, int* height, int sourceWidth, int sourceHeight);
    unsigned char* rescaleImage(unsigned char* source, int width, int height, int sourceWidth,
                                int sourceHeight, double* scale, bool keepAspect);
    double calc_ssqX(int count, bool full);
    double calcCoeff_Scaled(unsigned char* candidate);
    double calcCoeff_Full(unsigned char* candidate);

    // Fields (declaration order as documented).
    int cropX = 0;
    int cropY = 0;
    int cropWidth = 0;
    int cropHeight = 0;
    int scaledCropWidth = 0;
    int scaledCropHeight = 0;
    int refCountFull = 0;
    int refCountScaled = 0;
    int windowWidth = 0;
    int windowHeight = 0;
    double refSsqScaled = 0.0;
    double refSsqFull = 0.0;
    double refSumFull = 0.0;
    double refSumScaled = 0.0;
    std::string outputFolder;
    std::string* fileNames = nullptr;
    bool bottomUp = false;
    bool stackEnabled = false;
    std::unique_ptr<Brennock> codec;
    std::unique_ptr<unsigned char[]> refPatchScaled;
    std::unique_ptr<unsigned char[]> refPatchFull;
    std::unique_ptr<std::uint64_t[]> stackSum;

private:
    // The crop corner as the constructor was given it (0-based).
    int givenCropX = 0;
    int givenCropY = 0;
    // Serialises additions to stackSum and writes to the shared run message.
    std::mutex runMutex;
    // Lowest image index whose failure message is in the run message, and
    // the string that holds it.
    int lowestFailedIndex = std::numeric_limits<int>::max();
    const std::string* lowestFailedText = nullptr;
    // Elements of stackSum (a crop's byte count when it was made).
    std::size_t stackElements = 0;
    // How every search scans: the fast scan on the kernels the process
    // chose, unless a check asks for the straightforward scan or for one
    // instruction set's kernels (ProcessorAccess).
    bool useReferenceSearch = false;
    bool kernelLevelForced = false;
    detail::SimdLevel forcedKernelLevel{};

    // The engine's own side of the processor, which the exported interface
    // does not carry (processor/ProcessorAccess.h).
    friend struct detail::ProcessorAccess;
};

}  // namespace Tellvar
