#pragma once
// TIFF files written by the TIFF library itself in a chosen layout (depth,
// samples, photometric, planar, compression, tiles, BigTIFF, byte order);
// the samples hold a deterministic ramp.

#include <cstdint>
#include <string>

namespace testsupport {

struct TiffLayout {
    std::uint32_t width = 8, height = 6;
    std::uint16_t samples = 3, bits = 8, photometric = 2 /* RGB */, planar = 1 /* contiguous */,
                  compression = 1 /* none */;
    std::uint32_t tileSize = 0;  // 0: strips of 2 rows; else square tiles (a multiple of 16)
    bool bigTiff = false;
    bool bigEndian = false;
};

// Throws std::runtime_error when the library refuses the layout.
void writeTiff(const std::string& path, const TiffLayout& layout);

}  // namespace testsupport
