#include "codecs/BmpRows.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <unistd.h>

namespace Tellvar {
namespace detail {

namespace {

// Stored rows are read in pieces of about this many bytes when they cannot
// go straight into the frame (padded rows, or a top-down file).
constexpr std::uint64_t kRowReadBytes = 256u << 10;

// pread until all bytes are in: it may stop short of a large request.
bool readAt(int descriptor, unsigned char* to, std::uint64_t bytes, std::uint64_t offset) {
    while (bytes > 0) {
        const ssize_t got =
            pread(descriptor, to, static_cast<std::size_t>(bytes), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        bytes -= static_cast<std::uint64_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

class BmpRowsOnDemand final : public FrameRows {
public:
    BmpRowsOnDemand(FileHandle file, const BmpRowLayout& layout, unsigned char* frame,
                    const std::string& path, BmpMessage truncated, BmpMessage outOfMemory,
                    std::unique_ptr<bool[]> read)
        : file_(std::move(file)),
          layout_(layout),
          frame_(frame),
          path_(path),
          truncated_(truncated),
          outOfMemory_(outOfMemory),
          read_(std::move(read)) {}

    bool load(int first, int count) override {
        const long long height = layout_.height;
        long long begin = std::clamp<long long>(first, 0, height);
        long long end = std::clamp<long long>(static_cast<long long>(first) + count, begin, height);
        while (begin < end && read_[begin]) ++begin;
        while (end > begin && read_[end - 1]) --end;
        if (begin == end) return true;
        // One read from the first row not yet read to the last: the rows
        // read before that lie between (the coarse copy's, inside the fine
        // window) come again, which costs less than a call for each gap.
        bool outOfMemory = false;
        if (!readBmpRows(file_.get(), layout_, static_cast<std::uint32_t>(begin),
                         static_cast<std::uint32_t>(end - begin), frame_, &outOfMemory)) {
            failure_ = outOfMemory ? outOfMemory_(path_) : truncated_(path_);
            return false;
        }
        std::fill(read_.get() + begin, read_.get() + end, true);
        return true;
    }

    const std::string& failure() const override { return failure_; }

private:
    FileHandle file_;
    BmpRowLayout layout_;
    unsigned char* frame_;
    std::string path_;
    BmpMessage truncated_;
    BmpMessage outOfMemory_;
    std::unique_ptr<bool[]> read_;  // by buffer row
    std::string failure_;
};

}  // namespace

bool readBmpRows(std::FILE* file, const BmpRowLayout& layout, std::uint32_t first,
                 std::uint32_t count, unsigned char* frame, bool* outOfMemory) {
    const int descriptor = fileno(file);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.rowBytes);
    const std::uint64_t storedRowBytes = layout.storedRowBytes;
    // Buffers are bottom row first whatever the file's row order, so the
    // rows of a top-down file are laid in from the end.
    const std::uint32_t firstFileRow = layout.topDown ? layout.height - first - count : first;
    if (storedRowBytes == layout.rowBytes && !layout.topDown)
        return readAt(descriptor, frame + static_cast<std::size_t>(first) * rowBytes,
                      rowBytes * static_cast<std::uint64_t>(count),
                      layout.dataOffset + storedRowBytes * firstFileRow);

    const std::uint64_t rowsFitting = std::max<std::uint64_t>(1u, kRowReadBytes / storedRowBytes);
    const auto rowsPerRead =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(count, rowsFitting));
    std::unique_ptr<unsigned char[]> piece(
        new (std::nothrow) unsigned char[static_cast<std::size_t>(storedRowBytes) * rowsPerRead]);
    if (!piece) {
        *outOfMemory = true;
        return false;
    }
    for (std::uint32_t done = 0; done < count; done += rowsPerRead) {
        const std::uint32_t rows = std::min(rowsPerRead, count - done);
        const std::uint32_t fileRow = firstFileRow + done;
        if (!readAt(descriptor, piece.get(), storedRowBytes * rows,
                    layout.dataOffset + storedRowBytes * fileRow))
            return false;
        for (std::uint32_t i = 0; i < rows; ++i) {
            const std::uint32_t bufferRow =
                layout.topDown ? layout.height - 1 - (fileRow + i) : fileRow + i;
            std::memcpy(frame + static_cast<std::size_t>(bufferRow) * rowBytes,
                        piece.get() + static_cast<std::size_t>(i) * storedRowBytes, rowBytes);
        }
    }
    return true;
}

std::unique_ptr<FrameRows> bmpRowsOnDemand(FileHandle file, const BmpRowLayout& layout,
                                           unsigned char* frame, const std::string& path,
                                           BmpMessage truncated, BmpMessage outOfMemory) {
    std::unique_ptr<bool[]> read(new (std::nothrow) bool[layout.height]());
    if (!read) return nullptr;
    return std::unique_ptr<FrameRows>(new (std::nothrow) BmpRowsOnDemand(
        std::move(file), layout, frame, path, truncated, outOfMemory, std::move(read)));
}

}  // namespace detail
}  // namespace Tellvar
