#include "Brennock/BMP.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/BmpRows.h"
#include "codecs/CodecMessages.h"
#include "codecs/FileHandle.h"
#include "codecs/FrameAdmission.h"
#include "codecs/FrameLimits.h"
#include "codecs/InputFile.h"
#include "codecs/OutputExtensions.h"

namespace Tellvar {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The BMP header records are read and written in the host's byte order"
#endif

namespace {

constexpr std::uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr std::uint32_t kHeadersSize = sizeof(BitmapFileHeader) + sizeof(BitmapInfoHeader);

// ---- Messages -------------------------------------------------------------

std::string openFailedMessage(const std::string& path, int errorNumber) {
    return "The system was unable to open '" + path +
           "'\n\nError Message: " + systemErrorText(errorNumber) +
           "\n\nPlease check your image path and drive availability before trying again.";
}

std::string notBitmapMessage(const std::string& path) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path +
           "\n\nPlease check that your BMP files are valid and that there is no corruption. You "
           "can also note the filename and remove it from your active list before trying again.";
}

std::string compressedMessage(const std::string& path) {
    return "Image file " + path +
           " looks like it has been compressed. This applications does not support compressed "
           "bitmap files.\n\nPlease note the filename and remove it form your active list or "
           "remove the compression.";
}

std::string checkerOpenFailedMessage(const std::string& path, int errorNumber) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path +
           "\n\nError Message: " + systemErrorText(errorNumber) +
           "\n\nPlease check your image path and drive availability.\n\nPlease correct the "
           "problem and submit your images again.";
}

std::string checkerNotBitmapMessage(const std::string& path) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path +
           "\n\nThis image file does not look like a valid Bitmap Image.\n\nPlease check the "
           "image or remove it from your active list.";
}

std::string checkerCompressedMessage(const std::string& path) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path +
           "This image file looks like it has been compressed. This applications does not "
           "support compressed bitmap files.\n\nPlease either remove the compression or delete "
           "the image from your active list.";
}

std::string refusalMessage(const std::string& path, const std::string& reason) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path + "\n\n" +
           reason;
}

std::string truncatedMessage(const std::string& path) {
    return refusalMessage(
        path,
        "This Bitmap file ends before all of its image data. Please check that your BMP files "
        "are valid and that there is no corruption. You can also note the filename and remove "
        "it from your active list before trying again.");
}

std::string bitCountMessage(const std::string& path, int bitCount) {
    return refusalMessage(
        path, "This image has " + std::to_string(bitCount) +
                  " bits per pixel. Tellvar can only read uncompressed 24 bit Bitmap files.\n\n"
                  "Please convert the image to 24 bit or note the filename and remove it from "
                  "your active list before trying again.");
}

std::string dimensionsMessage(const std::string& path, std::int32_t width, std::int32_t height) {
    return refusalMessage(
        path, "The image size recorded in this file (" + std::to_string(width) + " x " +
                  std::to_string(height) +
                  " pixels) is not valid. Please check that your BMP files are valid and that "
                  "there is no corruption. You can also note the filename and remove it from "
                  "your active list before trying again.");
}

std::string outOfMemoryMessage(const std::string& path) {
    return refusalMessage(path, kFrameMemoryReason);
}

// ---- Header reading and acceptance ----------------------------------------

int padBytes(std::uint64_t width) { return static_cast<int>((4u - (width * 3u) % 4u) % 4u); }

enum class HeaderRead { Complete, NotBitmap, Truncated };

// Reads both records from the start of the file. A file too short to hold
// its signature is not a bitmap; one that has the signature but ends inside
// the headers is truncated.
HeaderRead readHeaders(std::FILE* file, BitmapFileHeader* fileHeader,
                       BitmapInfoHeader* infoHeader) {
    *fileHeader = BitmapFileHeader{};
    *infoHeader = BitmapInfoHeader{};
    const std::size_t fileHeaderBytes = std::fread(fileHeader, 1, sizeof *fileHeader, file);
    if (fileHeader->bfType != kBitmapSignature) return HeaderRead::NotBitmap;
    if (fileHeaderBytes != sizeof *fileHeader) return HeaderRead::Truncated;
    if (std::fread(infoHeader, 1, sizeof *infoHeader, file) != sizeof *infoHeader)
        return HeaderRead::Truncated;
    return HeaderRead::Complete;
}

using detail::BmpRowLayout;

// The tests beyond the signature and compression: the codec delivers 3 bytes
// per pixel, so only 24-bit files of a sane size are taken.
bool acceptLayout(const BitmapInfoHeader& info, const std::string& path, BmpRowLayout* layout,
                  std::string* errorText) {
    if (info.biBitCount != 24) {
        *errorText = bitCountMessage(path, info.biBitCount);
        return false;
    }
    const std::int64_t signedHeight = info.biHeight;
    const std::uint64_t height =
        static_cast<std::uint64_t>(signedHeight < 0 ? -signedHeight : signedHeight);
    if (info.biWidth <= 0 || height == 0) {
        *errorText = dimensionsMessage(path, info.biWidth, info.biHeight);
        return false;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(info.biWidth);
    if (!frameFitsLimit(width, height)) {
        *errorText = frameTooLargeMessage(path, width, height);
        return false;
    }
    layout->width = static_cast<std::uint32_t>(width);
    layout->height = static_cast<std::uint32_t>(height);
    layout->topDown = signedHeight < 0;
    layout->rowBytes = width * 3u;
    layout->storedRowBytes = layout->rowBytes + static_cast<std::uint64_t>(padBytes(width));
    return true;
}

// True when the file holds every stored row from layout.dataOffset on.
bool rowsPresent(std::FILE* file, const BmpRowLayout& layout) {
    const std::uint64_t dataOffset = layout.dataOffset;
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file);
    if (end < 0) return false;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(end);
    if (dataOffset > fileSize) return false;
    return layout.storedRowBytes * layout.height <= fileSize - dataOffset;
}

// saveImage's stream buffer holds a whole crop up to about this size; a
// larger crop goes out in writes of this many bytes.
constexpr std::size_t kWriteBufferBytes = 256u << 10;

// Fills the headers saveImage writes for this frame.
int fillHeaders(int width, int height, int bitCount, BitmapFileHeader* fileHeader,
                BitmapInfoHeader* infoHeader) {
    const int pad = padBytes(static_cast<std::uint64_t>(width));
    const std::uint32_t imageSize = static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(height) * (static_cast<std::uint64_t>(width) * 3u + pad));

    *fileHeader = BitmapFileHeader{};
    fileHeader->bfType = kBitmapSignature;
    fileHeader->bfSize = kHeadersSize + imageSize;
    fileHeader->bfOffBits = kHeadersSize;

    *infoHeader = BitmapInfoHeader{};
    infoHeader->biSize = sizeof(BitmapInfoHeader);
    infoHeader->biWidth = width;
    infoHeader->biHeight = height;
    infoHeader->biPlanes = 1;
    infoHeader->biBitCount = static_cast<std::uint16_t>(bitCount);
    infoHeader->biCompression = 0;
    infoHeader->biSizeImage = imageSize;
    return pad;
}

// The readers word the first refusals differently but make the same tests.
struct HeaderRefusals {
    std::string (*notBitmap)(const std::string& path);
    std::string (*compressed)(const std::string& path);
};
const HeaderRefusals kReaderRefusals{notBitmapMessage, compressedMessage};
const HeaderRefusals kCheckerRefusals{checkerNotBitmapMessage, checkerCompressedMessage};

// Reads both headers and applies the acceptance tests in order: signature,
// compression, then the layout this codec can hand out.
bool acceptHeaders(std::FILE* file, const std::string& path, const HeaderRefusals& refusals,
                   BitmapFileHeader* fileHeader, BitmapInfoHeader* infoHeader, BmpRowLayout* layout,
                   std::string* errorText) {
    switch (readHeaders(file, fileHeader, infoHeader)) {
        case HeaderRead::NotBitmap: *errorText = refusals.notBitmap(path); return false;
        case HeaderRead::Truncated: *errorText = truncatedMessage(path); return false;
        case HeaderRead::Complete: break;
    }
    if (infoHeader->biCompression != 0) {
        *errorText = refusals.compressed(path);
        return false;
    }
    return acceptLayout(*infoHeader, path, layout, errorText);
}

// Opens the input for reading; an empty handle with the failure in
// *errorText (each reader words a failed open its own way).
FileHandle openInput(const std::string& path, std::string (*openFailed)(const std::string&, int),
                     std::string* errorText) {
    return FileHandle(openInputStream(path, openFailed, errorText));
}

}  // namespace

BMP::BMP() : fileHeader{}, infoHeader{} {}

BMP::~BMP() {}

bool BMP::openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                    std::string* errorText) {
    return detail::openAdmitted(*this, path, buffer, width, height, depth, errorText, nullptr);
}

bool BMP::saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                    std::string* errorText) {
    path += kBmpExtension;
    if (width <= 0 || height <= 0 || !frameFitsLimit(width, height)) {
        *errorText = invalidOutputSizeMessage(path, width, height);
        return false;
    }

    BitmapFileHeader fileHeaderWritten;
    BitmapInfoHeader infoHeaderWritten;
    const int pad = fillHeaders(width, height, depth, &fileHeaderWritten, &infoHeaderWritten);

    // The whole file goes out in one write where it fits the buffer: rows
    // written through the stream's own block-sized buffer would take a
    // system call every few kilobytes. Declared before the stream, so it
    // outlives the stream's close.
    const std::size_t fileBytes = fileHeaderWritten.bfSize;
    const std::size_t bufferBytes = std::min(fileBytes, kWriteBufferBytes);
    const std::unique_ptr<char[]> writeBuffer(new (std::nothrow) char[bufferBytes]);
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        *errorText = writeFailureMessage(path, errno);
        return false;
    }
    // Without the buffer the stream keeps its own.
    if (writeBuffer) std::setvbuf(file.get(), writeBuffer.get(), _IOFBF, bufferBytes);

    // The error number is taken at the call that failed, before anything
    // else can change it.
    int failedErrno = 0;
    const auto put = [&file, &failedErrno](const void* bytes, std::size_t count) {
        if (failedErrno != 0) return;
        errno = 0;
        if (std::fwrite(bytes, 1, count, file.get()) != count) failedErrno = failureErrno();
    };
    static const unsigned char zeros[3] = {0, 0, 0};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3u;
    put(&fileHeaderWritten, sizeof fileHeaderWritten);
    put(&infoHeaderWritten, sizeof infoHeaderWritten);
    for (int row = 0; failedErrno == 0 && row < height; ++row) {
        put(buffer + static_cast<std::size_t>(row) * rowBytes, rowBytes);
        put(zeros, static_cast<std::size_t>(pad));
    }
    // Most of the data is still buffered until the stream is closed, so a
    // full disk usually shows only here.
    if (failedErrno == 0) {
        errno = 0;
        if (!file.close()) failedErrno = failureErrno();
    }
    if (failedErrno != 0) {
        *errorText = writeFailureMessage(path, failedErrno);
        return false;
    }
    return true;
}

bool BMP::sizeChecker(int* width, int* height, std::string path, std::string* errorText) {
    FileHandle file = openInput(path, checkerOpenFailedMessage, errorText);
    if (!file) return false;

    BitmapFileHeader fileHeaderRead;
    BitmapInfoHeader infoHeaderRead;
    BmpRowLayout layout;
    if (!acceptHeaders(file.get(), path, kCheckerRefusals, &fileHeaderRead, &infoHeaderRead,
                       &layout, errorText))
        return false;

    *width = static_cast<int>(layout.width);
    *height = static_cast<int>(layout.height);
    return true;
}

int BMP::calcHeaders(int width, int height, int bitCount) {
    return fillHeaders(width, height, bitCount, &fileHeader, &infoHeader);
}

namespace detail {

bool openAdmitted(BMP& /*codec*/, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand) {
    FileHandle file = openInput(path, openFailedMessage, errorText);
    if (!file) return false;

    BitmapFileHeader fileHeaderRead;
    BitmapInfoHeader infoHeaderRead;
    BmpRowLayout layout;
    if (!acceptHeaders(file.get(), path, kReaderRefusals, &fileHeaderRead, &infoHeaderRead, &layout,
                       errorText))
        return false;
    // The rows are found through bfOffBits, which also skips a palette or a
    // longer info header. A file too short for its rows is refused before
    // any memory is committed to it.
    layout.dataOffset = fileHeaderRead.bfOffBits;
    if (!rowsPresent(file.get(), layout)) {
        *errorText = truncatedMessage(path);
        return false;
    }

    const std::size_t frameSize = static_cast<std::size_t>(layout.rowBytes) * layout.height;
    if (admission != nullptr && !admission->admit(frameSize, path, errorText)) return false;
    std::unique_ptr<unsigned char[]> frame(new (std::nothrow) unsigned char[frameSize]);
    if (!frame) {
        *errorText = outOfMemoryMessage(path);
        return false;
    }

    if (rowsOnDemand != nullptr) {
        *rowsOnDemand = bmpRowsOnDemand(std::move(file), layout, frame.get(), path,
                                        truncatedMessage, outOfMemoryMessage);
        if (!*rowsOnDemand) {
            *errorText = outOfMemoryMessage(path);
            return false;
        }
    } else {
        bool outOfMemory = false;
        if (!readBmpRows(file.get(), layout, 0, layout.height, frame.get(), &outOfMemory)) {
            *errorText = outOfMemory ? outOfMemoryMessage(path) : truncatedMessage(path);
            return false;
        }
    }

    *buffer = frame.release();
    *width = static_cast<int>(layout.width);
    *height = static_cast<int>(layout.height);
    *depth = infoHeaderRead.biBitCount;
    return true;
}

}  // namespace detail

}  // namespace Tellvar
