#include "Brennock.h"

#include <tiffio.h>

#include <cerrno>
#include <cstdint>

#include "CodecLimits.h"
#include "CodecMessages.h"
#include "CodecTiffHandle.h"

namespace Tellvar {

Brennock::~Brennock() {}

bool Brennock::saveTIFF(unsigned char* buffer, int width, int height, int /*depth*/,
                        std::string path, std::string* errorText) {
    path += ".tif";
    if (width <= 0 || height <= 0 || !frameFitsLimit(width, height)) {
        *errorText = invalidOutputSizeMessage(path, width, height);
        return false;
    }

    errno = 0;
    TiffHandle tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff) {
        *errorText = writeFailureMessage(path, failureErrno());
        return false;
    }

    const std::uint32_t rowBytes = static_cast<std::uint32_t>(width) * 3u;
    TIFFSetField(tiff.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff.get(), rowBytes));

    for (int row = 0; row < height; ++row) {
        errno = 0;
        if (TIFFWriteScanline(tiff.get(), buffer + static_cast<std::size_t>(row) * rowBytes,
                              static_cast<std::uint32_t>(row), 0) < 0) {
            *errorText = writeFailureMessage(path, failureErrno());
            return false;
        }
    }

    // TIFFClose cannot report a failure, so the last strip and the directory
    // are written out here, where a full disk still shows.
    errno = 0;
    if (!TIFFFlush(tiff.get())) {
        *errorText = writeFailureMessage(path, failureErrno());
        return false;
    }
    return true;
}

}  // namespace Tellvar
