#pragma once
// The pixel rows of an accepted Bitmap file, read into a frame buffer
// (bottom row first, unpadded, whatever the file's order): all at once, or
// as a run's registration asks for them.

#include "codecs/FileHandle.h"
#include "codecs/FrameRows.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Tellvar {
namespace detail {

// Geometry of the pixel rows of an accepted file.
struct BmpRowLayout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;  // always positive
    bool topDown = false;      // a negative biHeight stores the top row first
    std::uint64_t rowBytes = 0;
    std::uint64_t storedRowBytes = 0;  // with the pad that keeps rows 4-byte aligned
    std::uint64_t dataOffset = 0;      // of the first stored row in the file
};

// Reads buffer rows [first, first + count) of the file into frame, in a
// few large reads rather than one per row. False when the file ends early
// or a read fails, or when a piece for padded or top-down rows cannot be
// had (*outOfMemory then set).
bool readBmpRows(std::FILE* file, const BmpRowLayout& layout, std::uint32_t first,
                 std::uint32_t count, unsigned char* frame, bool* outOfMemory);

// The file's rows, read into frame as they are asked for; the file stays
// open until then. A failure is worded as the reader words it. Null when
// there is no memory for it.
using BmpMessage = std::string (*)(const std::string& path);
std::unique_ptr<FrameRows> bmpRowsOnDemand(FileHandle file, const BmpRowLayout& layout,
                                           unsigned char* frame, const std::string& path,
                                           BmpMessage truncated, BmpMessage outOfMemory);

}  // namespace detail
}  // namespace Tellvar
