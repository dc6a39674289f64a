#include "Brennock/TIFF.h"

#include <tiffio.h>

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <new>

#include "codecs/FrameAdmission.h"
#include "codecs/FrameLimits.h"
#include "codecs/InputFile.h"
#include "codecs/TiffHandle.h"
#include "codecs/TiffStrips.h"

namespace Tellvar {

namespace {

constexpr std::uint64_t kMaxPixels = 37500000u;
constexpr std::uint32_t kMaxSide = 65535u;  // the rules and the reported size are 16-bit

// ---- Messages -------------------------------------------------------------

std::string openFailedMessage(const std::string& path) {
    return "The system was unable to open the following file\n\n" + path +
           "\n\nPlease check that you TIFF is not corrupt. Also check your file permissions, "
           "folder or drive availability.";
}

const char* const kOutOfMemoryMessage = "ERROR: Unable to allocate enough memory for TIFF file.";

const char* const kReadFailedMessage =
    "TIFF Open Error.\n\nAn unspecified error occurred while opening your TIFF File. This could "
    "be because your TIFF is corrupt. Please check your files and if this error occurs again "
    "please report to the developer.";

std::string refusalMessage(const std::string& path, const std::string& tail) {
    return "An error has occurred while opening your TIFF file named below.\n\n" + path + tail;
}

std::string sideOutOfRangeMessage(const std::string& path, std::uint32_t width,
                                  std::uint32_t height) {
    return refusalMessage(path, "\n\nThis image is " + std::to_string(width) + " x " +
                                    std::to_string(height) +
                                    " pixels. Tellvar reads TIFF images from 1 to 65535 pixels "
                                    "wide and high.\n\nPlease reduce the image size or note the "
                                    "filename and remove it from your active list before trying "
                                    "again.");
}

std::string counted(unsigned count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string notThreeBytesMessage(const std::string& path, const std::string& what) {
    return refusalMessage(path, "\n\n" + what +
                                    " Tellvar reads 8 bit RGB TIFF files stored in strips (3 "
                                    "bytes per pixel) only.\n\nPlease convert the image or note "
                                    "the filename and remove it from your active list before "
                                    "trying again.");
}

// ---- Acceptance -----------------------------------------------------------

// The values of the first directory that the acceptance rules look at.
struct DirectoryValues {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t samplesPerPixel = 0;
    std::uint16_t photometric = 0;
    std::uint16_t compression = 0;
    std::uint16_t planar = 0;
};

// Width and height are required by the library. BitsPerSample,
// SamplesPerPixel, Compression and PlanarConfiguration have defaults in the
// TIFF format (1, 1, none, contiguous) that a writer may rely on;
// PhotometricInterpretation has none, so a file without it stays at 0 and
// is refused as not RGB.
DirectoryValues readDirectory(TIFF* tiff) {
    DirectoryValues values;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &values.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &values.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &values.bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &values.samplesPerPixel);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &values.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &values.compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &values.planar);
    return values;
}

// The rules leave room for files that do not deliver 3 bytes per pixel;
// those are refused after them.
bool deliversThreeBytes(TIFF* tiff, const DirectoryValues& values, const std::string& path,
                        std::string* errorText) {
    if (values.bitsPerSample != 8) {
        *errorText = notThreeBytesMessage(
            path, "This image stores " + counted(values.bitsPerSample, "bit") + " per sample.");
        return false;
    }
    if (values.samplesPerPixel != 3) {
        *errorText = notThreeBytesMessage(
            path, "This image stores " + counted(values.samplesPerPixel, "sample") + " per pixel.");
        return false;
    }
    if (TIFFIsTiled(tiff)) {
        *errorText = notThreeBytesMessage(path, "This image is stored in tiles.");
        return false;
    }
    if (TIFFScanlineSize64(tiff) != static_cast<std::uint64_t>(values.width) * 3u) {
        *errorText = notThreeBytesMessage(path,
                                          "The rows of this image are not stored as 3 "
                                          "bytes per pixel.");
        return false;
    }
    return true;
}

// Reads the directory values and applies every acceptance rule, so that
// openImage and sizeChecker refuse exactly the same files with the same
// messages. On success width and height hold the image size.
bool acceptFile(TIF& codec, TIFF* tiff, const std::string& path, std::uint16_t* width,
                std::uint16_t* height, std::string* errorText) {
    // The reader is built for classic TIFF only.
    if (TIFFIsBigTIFF(tiff)) {
        *errorText = openFailedMessage(path);
        return false;
    }
    const DirectoryValues values = readDirectory(tiff);

    // Narrowing a larger side to 16 bits would pass a different image
    // through the rules, so it is refused before that.
    if (values.width == 0 || values.height == 0 || values.width > kMaxSide ||
        values.height > kMaxSide) {
        *errorText = sideOutOfRangeMessage(path, values.width, values.height);
        return false;
    }
    const auto narrowWidth = static_cast<std::uint16_t>(values.width);
    const auto narrowHeight = static_cast<std::uint16_t>(values.height);
    if (!codec.chkTIFF(values.planar, values.photometric, values.bitsPerSample,
                       values.samplesPerPixel, values.compression, narrowWidth, narrowHeight, path,
                       errorText) ||
        !deliversThreeBytes(tiff, values, path, errorText))
        return false;

    *width = narrowWidth;
    *height = narrowHeight;
    return true;
}

// Opens the file and accepts it; an empty handle (with the message) when
// either fails.
TiffHandle openAccepted(TIF& codec, const std::string& path, std::uint16_t* width,
                        std::uint16_t* height, std::string* errorText) {
    InputFile input = InputFile::open(path);
    if (refusedAsNotRegular(input, path, errorText)) return TiffHandle(nullptr);
    if (!input.opened()) {
        *errorText = openFailedMessage(path);
        return TiffHandle(nullptr);
    }
    // What TIFFOpen does after its open(); the handle closes the descriptor
    // from now on, a failed TIFFFdOpen leaves it to the caller.
    const int fd = input.release();
    TiffHandle tiff(TIFFFdOpen(fd, path.c_str(), kTiffReadMode));
    if (!tiff) {
        ::close(fd);
        *errorText = openFailedMessage(path);
        return tiff;
    }
    if (!acceptFile(codec, tiff.get(), path, width, height, errorText)) tiff.reset();
    return tiff;
}

}  // namespace

TIF::TIF() {}

TIF::~TIF() {}

bool TIF::chkTIFF(std::uint16_t planar, std::uint16_t photometric, std::uint16_t bitsPerSample,
                  std::uint16_t samplesPerPixel, std::uint16_t compression, std::uint16_t width,
                  std::uint16_t height, std::string path, std::string* errorText) {
    const char* tail = nullptr;
    if (planar != PLANARCONFIG_CONTIG) {
        tail =
            "\n\nPlanar value not yet supported (must be RGBRGB).\n\nSupport for alternative "
            "planar configurations maybe in the next version.\n\nPlease change the Planar "
            "configuration of your TIFF file or you can also note the filename and remove it "
            "from your active list before trying again.";
    } else if (photometric != PHOTOMETRIC_RGB) {
        tail =
            "\n\nPhotometric value not yet supported (TIFF must be RGB).\n\nSupport for "
            "alterative photometic configurations (Example Grayscale) maybe in the next "
            "version.\n\nPlease input RGB images or you can also note the filename and remove it "
            "from your active list before trying again.";
    } else if (bitsPerSample > 15) {
        tail =
            "\n\nCurrently Tellvar only supports 8 Bit TIFF Files. 16 Bit TIFF support will be in "
            "the next version..\n\nPlease input 8 bit images or you can also note the filename "
            "and remove it from your active list before trying again.";
    } else if (samplesPerPixel > 3 || samplesPerPixel == 2) {
        tail =
            "\n\nThis TIFF appears to have transparency. Tellvar does not support TIFF images "
            "with transparency.\n\nPlease remove the transparanecy layer and try again. You can "
            "also note the filename and remove it from your active list before trying again.";
    } else if (compression != COMPRESSION_NONE) {
        tail =
            "\n\nThis TIFF appears to be compressed. Please remove the compression and try "
            "again.";
    } else if (static_cast<std::uint64_t>(width) * height > kMaxPixels) {
        tail =
            "\n\nImage file too big, must be less than 35.7 megapixel.\n\nThis limitation should "
            "be removed in the next version.";
    }
    if (tail == nullptr) return true;
    *errorText = refusalMessage(path, tail);
    return false;
}

bool TIF::openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                    std::string* errorText) {
    return detail::openAdmitted(*this, path, buffer, width, height, depth, errorText, nullptr);
}

bool TIF::saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                    std::string* errorText) {
    return saveTIFF(buffer, width, height, depth, path, errorText);
}

bool TIF::sizeChecker(int* width, int* height, std::string path, std::string* errorText) {
    std::uint16_t imageWidth = 0;
    std::uint16_t imageHeight = 0;
    if (!openAccepted(*this, path, &imageWidth, &imageHeight, errorText)) return false;
    *width = imageWidth;
    *height = imageHeight;
    return true;
}

namespace detail {

bool openAdmitted(TIF& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand) {
    std::uint16_t imageWidth = 0;
    std::uint16_t imageHeight = 0;
    TiffHandle tiff = openAccepted(codec, path, &imageWidth, &imageHeight, errorText);
    if (!tiff) return false;
    if (admission != nullptr &&
        !admission->admit(frameBytes(imageWidth, imageHeight), path, errorText))
        return false;

    // Accepted files have scanlines of exactly width x 3 bytes, and the
    // pixel rule keeps the frame far below the frame limit.
    const std::size_t scanline = static_cast<std::size_t>(imageWidth) * 3u;
    std::unique_ptr<unsigned char[]> frame(new (
        std::nothrow) unsigned char[static_cast<std::size_t>(frameBytes(imageWidth, imageHeight))]);
    if (!frame) {
        *errorText = kOutOfMemoryMessage;
        return false;
    }
    StripRows rows;
    if (!checkStripRows(tiff.get(), imageHeight, scanline, &rows) ||
        (rowsOnDemand == nullptr && !readStripRows(rows, 0, imageHeight, frame.get()))) {
        *errorText = kReadFailedMessage;
        return false;
    }
    if (rowsOnDemand != nullptr) {
        *rowsOnDemand = stripRowsOnDemand(std::move(tiff), rows, frame.get(), kReadFailedMessage);
        if (!*rowsOnDemand) {
            *errorText = kOutOfMemoryMessage;
            return false;
        }
    }

    *buffer = frame.release();
    *width = imageWidth;
    *height = imageHeight;
    *depth = 24;
    return true;
}

}  // namespace detail
}  // namespace Tellvar
