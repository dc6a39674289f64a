#include "Brennock/Brennock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "codecs/CodecMessages.h"
#include "codecs/FrameLimits.h"
#include "codecs/OutputExtensions.h"
#include "codecs/TiffHandle.h"

namespace Tellvar {

namespace {

// The file a TIFF is written to, reached by the library through the
// procedures below. Each keeps the error number of the first call that
// failed: the library's error handler (a program may have put its own in
// place) runs before the writer learns of the failure and may change errno.
struct OutputFile {
    int fd = -1;
    int failedErrno = 0;

    // Called right after the failed system call.
    void fail() {
        if (failedErrno == 0) failedErrno = errno != 0 ? errno : EIO;
    }
    // For a failure the library met without a failed call of ours (it ran
    // out of memory, say) there is no error number of its own.
    int errorNumber() const { return failedErrno != 0 ? failedErrno : EIO; }
};

OutputFile& outputOf(thandle_t handle) { return *static_cast<OutputFile*>(handle); }

tmsize_t readOutput(thandle_t handle, void* data, tmsize_t size) {
    const ssize_t count = ::read(outputOf(handle).fd, data, static_cast<std::size_t>(size));
    if (count < 0) outputOf(handle).fail();
    return count;
}

tmsize_t writeOutput(thandle_t handle, void* data, tmsize_t size) {
    OutputFile& file = outputOf(handle);
    const char* bytes = static_cast<const char*>(data);
    std::size_t left = static_cast<std::size_t>(size);
    while (left > 0) {
        errno = 0;
        const ssize_t count = ::write(file.fd, bytes, left);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            file.fail();
            return -1;
        }
        bytes += count;
        left -= static_cast<std::size_t>(count);
    }
    return size;
}

toff_t seekOutput(thandle_t handle, toff_t offset, int whence) {
    const off_t at = ::lseek(outputOf(handle).fd, static_cast<off_t>(offset), whence);
    if (at < 0) {
        outputOf(handle).fail();
        return static_cast<toff_t>(-1);
    }
    return static_cast<toff_t>(at);
}

int closeOutput(thandle_t handle) {
    OutputFile& file = outputOf(handle);
    const int result = ::close(file.fd);
    if (result != 0) file.fail();
    file.fd = -1;
    return result;
}

toff_t sizeOfOutput(thandle_t handle) {
    struct stat status;
    if (::fstat(outputOf(handle).fd, &status) != 0) {
        outputOf(handle).fail();
        return 0;
    }
    return static_cast<toff_t>(status.st_size);
}

// Written files are never mapped.
int mapOutput(thandle_t, void**, toff_t*) { return 0; }
void unmapOutput(thandle_t, void*, toff_t) {}

}  // namespace

Brennock::~Brennock() {}

bool Brennock::saveTIFF(unsigned char* buffer, int width, int height, int /*depth*/,
                        std::string path, std::string* errorText) {
    path += kTiffExtension;
    if (width <= 0 || height <= 0 || !frameFitsLimit(width, height)) {
        *errorText = invalidOutputSizeMessage(path, width, height);
        return false;
    }

    // Opened as TIFFOpen would open it ("w": created or truncated, read and
    // write), but here, where the error number of a failure is still its own.
    OutputFile file;
    file.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file.fd < 0) {
        *errorText = writeFailureMessage(path, failureErrno());
        return false;
    }
    TiffHandle tiff(TIFFClientOpen(path.c_str(), "w", &file, readOutput, writeOutput, seekOutput,
                                   closeOutput, sizeOfOutput, mapOutput, unmapOutput));
    if (!tiff) {
        // The library closes the file only once it has opened a handle.
        ::close(file.fd);
        *errorText = writeFailureMessage(path, file.errorNumber());
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
        if (TIFFWriteScanline(tiff.get(), buffer + static_cast<std::size_t>(row) * rowBytes,
                              static_cast<std::uint32_t>(row), 0) < 0) {
            *errorText = writeFailureMessage(path, file.errorNumber());
            return false;
        }
    }

    // TIFFClose cannot report a failure, so the last strip and the directory
    // are written out here, where a full disk still shows; the close itself
    // is checked through the file's record.
    const bool flushed = TIFFFlush(tiff.get()) != 0;
    tiff.reset();
    if (!flushed || file.failedErrno != 0) {
        *errorText = writeFailureMessage(path, file.errorNumber());
        return false;
    }
    return true;
}

}  // namespace Tellvar
