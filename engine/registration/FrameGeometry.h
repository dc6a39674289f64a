#pragma once
// Frame geometry of the registration: views of pixel buffers, 1-based
// positions, cutting rectangles (with the mirror rule of bottom-up
// buffers), fitting the coarse box, and resampling.
//
// Positions are 1-based and count rows from the top of the picture; a view
// of a bottom-up buffer mirrors them when it cuts (MainProcessor.h).

#include <cstddef>
#include <memory>

namespace Tellvar {
namespace detail {

// A pixel buffer seen read-only: width x height pixels of 3 bytes, rows
// packed, or stride bytes apart in a view of part of a larger buffer.
struct BufferView {
    const unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    bool bottomUp = false;
    std::size_t stride = 0;  // 0: packed
    std::size_t rowBytes() const {
        return stride != 0 ? stride : static_cast<std::size_t>(width) * 3;
    }
};

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
// The same rectangle seen in place, rows as the view stores them (a
// position (x', y') in it is (x + x' - 1, y + y' - 1) in the source, the
// mirror rule included); empty when it does not fit.
BufferView viewOfRect(const BufferView& source, int x, int y, int width, int height);
// The same cut into out (width x height x 3 bytes); false when it does not fit.
bool cutRectInto(const BufferView& source, int x, int y, int width, int height, unsigned char* out);

// Fits a box to the source's proportions (see MainProcessor::aspectRatio).
double fitToBox(int* width, int* height, int sourceWidth, int sourceHeight);

// The source index that nearest-neighbour resampling of sourceSize samples
// to size samples takes for index i: the reciprocal of the ratio is
// multiplied rather than the exact quotient taken, which picks the same
// source pixels as every earlier run did.
inline double nearestStep(int size, int sourceSize) {
    return 1.0 / (static_cast<double>(size) / sourceSize);
}
inline int nearestSource(int i, double step, int sourceSize) {
    const int index = static_cast<int>(i * step);
    return index < sourceSize - 1 ? index : sourceSize - 1;
}

// Buffer row (1-based) at which the rectangle at picture row y, height h
// starts in the view's buffer, bottom-up or not.
int firstBufferRow(const BufferView& source, int y, int height);

// Nearest-neighbour resampling to width x height with the reciprocal rule.
std::unique_ptr<unsigned char[]> rescaleNearest(const unsigned char* source, int sourceWidth,
                                                int sourceHeight, int width, int height);

}  // namespace detail
}  // namespace Tellvar
