#include "TiffLayouts.h"

#include <tiffio.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace testsupport {

void writeTiff(const std::string& path, const TiffLayout& layout) {
    std::string mode = layout.bigTiff ? "w8" : "w";
    mode += layout.bigEndian ? "b" : "l";
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), mode.c_str()), TIFFClose);
    if (!tiff) throw std::runtime_error("cannot create " + path);
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, layout.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, layout.compression);
    if (layout.samples == 4 || layout.samples == 2) {
        std::uint16_t extra[1] = {EXTRASAMPLE_ASSOCALPHA};
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<std::uint16_t> colours(std::size_t{1} << layout.bits, 0x8000);
    if (layout.photometric == PHOTOMETRIC_PALETTE)
        TIFFSetField(t, TIFFTAG_COLORMAP, colours.data(), colours.data(), colours.data());

    const auto fill = [](std::vector<std::uint8_t>& bytes, std::uint32_t seed) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    };
    const int planes = layout.planar == PLANARCONFIG_SEPARATE ? layout.samples : 1;
    bool written = true;
    if (layout.tileSize != 0) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, layout.tileSize);
        TIFFSetField(t, TIFFTAG_TILELENGTH, layout.tileSize);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(t)));
        for (int plane = 0; plane < planes; ++plane)
            for (std::uint32_t y = 0; y < layout.height; y += layout.tileSize)
                for (std::uint32_t x = 0; x < layout.width; x += layout.tileSize) {
                    fill(tile, x + y);
                    written &= TIFFWriteTile(t, tile.data(), x, y, 0,
                                             static_cast<std::uint16_t>(plane)) >= 0;
                }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(t)));
        for (int plane = 0; plane < planes; ++plane)
            for (std::uint32_t y = 0; y < layout.height; ++y) {
                fill(row, y);
                written &=
                    TIFFWriteScanline(t, row.data(), y, static_cast<std::uint16_t>(plane)) >= 0;
            }
    }
    if (!written) throw std::runtime_error("cannot write " + path);
}

}  // namespace testsupport
