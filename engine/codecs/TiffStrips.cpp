#include "codecs/TiffStrips.h"

#include "codecs/InputFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <new>

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

}  // namespace

bool checkStripRows(TIFF* tiff, std::uint32_t height, std::size_t scanline, StripRows* rows) {
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    // The library holds no 0; a count beyond the image means one strip.
    rowsPerStrip = std::min(std::max(rowsPerStrip, 1u), height);
    const int fd = TIFFFileno(tiff);
    struct stat file;
    if (::fstat(fd, &file) != 0 || file.st_size < 0) return false;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(file.st_size);
    for (std::uint32_t row = 0; row < height; row += rowsPerStrip) {
        const std::uint64_t needed =
            static_cast<std::uint64_t>(std::min(rowsPerStrip, height - row)) * scanline;
        if (!stripHolds(tiff, row / rowsPerStrip, needed, fileSize)) return false;
    }

    std::uint16_t fillOrder = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fillOrder);
    *rows = {tiff, fd, height, scanline, rowsPerStrip, fillOrder == FILLORDER_LSB2MSB};
    return true;
}

bool readStripRows(const StripRows& rows, std::uint32_t first, std::uint32_t count,
                   unsigned char* frame) {
    // The rows' bytes in the file, from runOffset on, for the rows from
    // runTarget on; read when the next strip's rows do not follow on.
    std::uint64_t runOffset = 0, runBytes = 0;
    unsigned char* runTarget = frame;
    const std::uint64_t end = static_cast<std::uint64_t>(first) + count;
    for (std::uint64_t row = first; row < end;) {
        const std::uint64_t strip = row / rows.rowsPerStrip;
        const std::uint64_t stripEnd = std::min(end, (strip + 1) * rows.rowsPerStrip);
        const std::uint64_t offset =
            TIFFGetStrileOffset(rows.tiff, static_cast<std::uint32_t>(strip)) +
            (row - strip * rows.rowsPerStrip) * rows.scanline;
        const std::uint64_t bytes = (stripEnd - row) * rows.scanline;
        if (runBytes > 0 && offset == runOffset + runBytes) {
            runBytes += bytes;
        } else {
            if (runBytes > 0 && !readFileAt(rows.fd, runTarget, runBytes, runOffset)) return false;
            runOffset = offset;
            runBytes = bytes;
            runTarget = frame + static_cast<std::size_t>(row) * rows.scanline;
        }
        row = stripEnd;
    }
    if (runBytes > 0 && !readFileAt(rows.fd, runTarget, runBytes, runOffset)) return false;

    // Bytes stored lowest bit first are turned round, as the library does.
    if (rows.lowBitFirst)
        TIFFReverseBits(frame + static_cast<std::size_t>(first) * rows.scanline,
                        static_cast<tmsize_t>(static_cast<std::size_t>(count) * rows.scanline));
    return true;
}

namespace {

class TiffRowsOnDemand final : public detail::RowsReadOnce {
public:
    TiffRowsOnDemand(std::unique_ptr<bool[]> read, TiffHandle tiff, const StripRows& rows,
                     unsigned char* frame, const char* failure)
        : RowsReadOnce(std::move(read), rows.height),
          tiff_(std::move(tiff)),
          rows_(rows),
          frame_(frame),
          failure_(failure) {}

private:
    bool readRows(std::uint32_t first, std::uint32_t count, std::string* failure) override {
        if (readStripRows(rows_, first, count, frame_)) return true;
        *failure = failure_;
        return false;
    }

    TiffHandle tiff_;
    StripRows rows_;
    unsigned char* frame_;
    const char* failure_;
};

}  // namespace

std::unique_ptr<detail::FrameRows> stripRowsOnDemand(TiffHandle tiff, const StripRows& rows,
                                                     unsigned char* frame, const char* failure) {
    std::unique_ptr<bool[]> read = detail::RowsReadOnce::noRowsRead(rows.height);
    if (!read) return nullptr;
    return std::unique_ptr<detail::FrameRows>(new (std::nothrow) TiffRowsOnDemand(
        std::move(read), std::move(tiff), rows, frame, failure));
}

}  // namespace Tellvar
