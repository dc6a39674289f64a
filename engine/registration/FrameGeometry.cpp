// Frame geometry: cutting rectangles, fitting the coarse box, resampling.

#include "registration/FrameGeometry.h"

#include "codecs/FrameLimits.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace Tellvar {
namespace detail {

namespace {

constexpr std::size_t kBytesPerPixel = 3;

// Copies w x h pixels starting at the 1-based buffer position (x, bufferRow)
// into out, packed. The caller has checked the rectangle.
void copyRect(const unsigned char* source, std::size_t sourceStride, int x, int bufferRow,
              int width, int height, unsigned char* out) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
    const unsigned char* from = source + static_cast<std::size_t>(bufferRow - 1) * sourceStride +
                                static_cast<std::size_t>(x - 1) * kBytesPerPixel;
    for (int row = 0; row < height; ++row, from += sourceStride, out += rowBytes)
        std::memcpy(out, from, rowBytes);
}

}  // namespace

int roundHalfUp(double value) {
    const double rounded = std::floor(value + 0.5);
    if (!(rounded > INT_MIN)) return std::isnan(rounded) ? 0 : INT_MIN;
    if (!(rounded < INT_MAX)) return INT_MAX;
    return static_cast<int>(rounded);
}

std::size_t pixelBytes(long long width, long long height) {
    constexpr long long kMax = static_cast<long long>(kMaxFrameBytes);
    if (width < 1 || height < 1 || width > kMax / 3 || height > kMax / (3 * width)) return 0;
    return static_cast<std::size_t>(3 * width * height);
}

int mirrorRow(int y, int height, int bufferHeight) {
    // In 64 bits: the sum of a row and a height may pass INT_MAX even where
    // the mirrored row does not.
    return static_cast<int>(static_cast<long long>(bufferHeight) - y - height + 2);
}

bool rectFits(long long x, long long y, long long width, long long height, int bufferWidth,
              int bufferHeight) {
    return width >= 1 && height >= 1 && x >= 1 && y >= 1 && x + width - 1 <= bufferWidth &&
           y + height - 1 <= bufferHeight;
}

int firstBufferRow(const BufferView& source, int y, int height) {
    return source.bottomUp ? mirrorRow(y, height, source.height) : y;
}

bool cutRectInto(const BufferView& source, int x, int y, int width, int height,
                 unsigned char* out) {
    if (source.pixels == nullptr || out == nullptr ||
        !rectFits(x, y, width, height, source.width, source.height))
        return false;
    const int bufferRow = firstBufferRow(source, y, height);
    copyRect(source.pixels, source.rowBytes(), x, bufferRow, width, height, out);
    return true;
}

BufferView viewOfRect(const BufferView& source, int x, int y, int width, int height) {
    if (source.pixels == nullptr || !rectFits(x, y, width, height, source.width, source.height))
        return {};
    const int bufferRow = firstBufferRow(source, y, height);
    return {source.pixels + static_cast<std::size_t>(bufferRow - 1) * source.rowBytes() +
                static_cast<std::size_t>(x - 1) * kBytesPerPixel,
            width, height, source.bottomUp, source.rowBytes()};
}

std::unique_ptr<unsigned char[]> cutRect(const BufferView& source, int x, int y, int width,
                                         int height) {
    if (source.pixels == nullptr || !rectFits(x, y, width, height, source.width, source.height))
        return nullptr;
    const std::size_t bytes = pixelBytes(width, height);
    if (bytes == 0) return nullptr;
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[bytes]);
    if (out) cutRectInto(source, x, y, width, height, out.get());
    return out;
}

double fitToBox(int* width, int* height, int sourceWidth, int sourceHeight) {
    // An empty source has no proportions to fit: the box stays.
    if (sourceWidth < 1 || sourceHeight < 1) return 0.0;
    if (*width >= sourceWidth && *height >= sourceHeight) return 0.0;

    // Landscape sources keep the box width, portrait and square ones its
    // height, so a frame less than 4:3 wide may come out taller than the box.
    const double scale = sourceWidth > sourceHeight ? static_cast<double>(*width) / sourceWidth
                                                    : static_cast<double>(*height) / sourceHeight;
    *width = roundHalfUp(sourceWidth * scale);
    *height = roundHalfUp(sourceHeight * scale);
    return scale;
}

std::unique_ptr<unsigned char[]> rescaleNearest(const unsigned char* source, int sourceWidth,
                                                int sourceHeight, int width, int height) {
    const std::size_t bytes = pixelBytes(width, height);
    if (source == nullptr || sourceWidth < 1 || sourceHeight < 1 || bytes == 0) return nullptr;

    const double stepX = nearestStep(width, sourceWidth);
    const double stepY = nearestStep(height, sourceHeight);

    std::unique_ptr<std::size_t[]> columnOffset(new (std::nothrow)
                                                    std::size_t[static_cast<std::size_t>(width)]);
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[bytes]);
    if (!columnOffset || !out) return nullptr;
    for (int c = 0; c < width; ++c) {
        const int column = nearestSource(c, stepX, sourceWidth);
        columnOffset[c] = static_cast<std::size_t>(column) * kBytesPerPixel;
    }

    const std::size_t sourceStride = static_cast<std::size_t>(sourceWidth) * kBytesPerPixel;
    // Pixels go across as four bytes, the fourth being the next pixel's
    // first, which the next pixel writes over: one move instead of three.
    // The columns only grow, so those whose four bytes stay inside their
    // source row come first; the row's last pixel, whose fourth byte
    // would land past the row, and those at the source's last column go
    // byte by byte.
    int wordColumns = 0;
    while (wordColumns < width - 1 &&
           columnOffset[wordColumns] + kBytesPerPixel + 1 <= sourceStride)
        ++wordColumns;
    unsigned char* to = out.get();
    for (int r = 0; r < height; ++r) {
        const int row = nearestSource(r, stepY, sourceHeight);
        const unsigned char* sourceRow = source + static_cast<std::size_t>(row) * sourceStride;
        int c = 0;
        for (; c < wordColumns; ++c, to += kBytesPerPixel)
            std::memcpy(to, sourceRow + columnOffset[c], kBytesPerPixel + 1);
        for (; c < width; ++c, to += kBytesPerPixel) {
            const unsigned char* pixel = sourceRow + columnOffset[c];
            to[0] = pixel[0];
            to[1] = pixel[1];
            to[2] = pixel[2];
        }
    }
    return out;
}

}  // namespace detail
}  // namespace Tellvar
