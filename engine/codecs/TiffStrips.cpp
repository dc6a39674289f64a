#include "codecs/TiffStrips.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace Tellvar {

namespace {

// The library cuts a byte count far above its strip's size down to ten
// times that size plus a margin before it reads the strip.
constexpr std::uint64_t kLargeStripCount = 1u << 20;
constexpr std::uint64_t kStripCountMargin = 4096;

// True when the library, reading strip `strip` of a mapped file of
// fileSize bytes, would hand out its first `needed` bytes: the strip
// exists, its byte count is not 0, the bytes it counts (cut down as the
// library cuts them) lie inside the file, and they hold the needed bytes.
bool stripHolds(TIFF* tiff, std::uint32_t strip, std::uint64_t needed, std::uint64_t fileSize) {
    if (strip >= TIFFNumberOfStrips(tiff)) return false;
    std::uint64_t count = TIFFGetStrileByteCount(tiff, strip);
    if (count == 0 || count > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
    if (count > kLargeStripCount) {
        const tmsize_t stripSize = TIFFStripSize(tiff);
        if (stripSize != 0 &&
            (count - kStripCountMargin) / 10 > static_cast<std::uint64_t>(stripSize))
            count = static_cast<std::uint64_t>(stripSize) * 10 + kStripCountMargin;
    }
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, strip);
    return count <= fileSize && offset <= fileSize - count && needed <= count;
}

// Reads count bytes at offset into out; false when the file ends first or
// a read fails.
bool readAt(int fd, unsigned char* out, std::uint64_t count, std::uint64_t offset) {
    constexpr std::uint64_t kMostPerRead = 1u << 30;
    while (count > 0) {
        const ssize_t got =
            ::pread(fd, out, static_cast<std::size_t>(std::min(count, kMostPerRead)),
                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

bool readStripsInto(TIFF* tiff, std::uint32_t height, std::size_t scanline, unsigned char* frame) {
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    // The library holds no 0; a count beyond the image means one strip.
    rowsPerStrip = std::min(std::max(rowsPerStrip, 1u), height);
    const int fd = TIFFFileno(tiff);
    struct stat file;
    if (::fstat(fd, &file) != 0 || file.st_size < 0) return false;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(file.st_size);

    // The strips' bytes in the file, from runOffset on, for the rows from
    // runTarget on; read when the next strip does not follow on.
    std::uint64_t runOffset = 0, runBytes = 0;
    unsigned char* runTarget = frame;
    for (std::uint32_t row = 0; row < height; row += rowsPerStrip) {
        const std::uint32_t strip = row / rowsPerStrip;
        const std::uint64_t needed =
            static_cast<std::uint64_t>(std::min(rowsPerStrip, height - row)) * scanline;
        if (!stripHolds(tiff, strip, needed, fileSize)) return false;
        const std::uint64_t offset = TIFFGetStrileOffset(tiff, strip);
        if (runBytes > 0 && offset == runOffset + runBytes) {
            runBytes += needed;
            continue;
        }
        if (runBytes > 0 && !readAt(fd, runTarget, runBytes, runOffset)) return false;
        runOffset = offset;
        runBytes = needed;
        runTarget = frame + static_cast<std::size_t>(row) * scanline;
    }
    if (runBytes > 0 && !readAt(fd, runTarget, runBytes, runOffset)) return false;

    // Bytes stored lowest bit first are turned round, as the library does.
    std::uint16_t fillOrder = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fillOrder);
    if (fillOrder == FILLORDER_LSB2MSB)
        TIFFReverseBits(frame, static_cast<tmsize_t>(static_cast<std::size_t>(height) * scanline));
    return true;
}

}  // namespace Tellvar
