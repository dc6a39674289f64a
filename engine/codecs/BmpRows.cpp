#include "codecs/BmpRows.h"

#include "codecs/InputFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace Tellvar {
namespace detail {

namespace {

// Stored rows are read in pieces of about this many bytes when they cannot
// go straight into the frame (padded rows, or a top-down file).
constexpr std::uint64_t kRowReadBytes = 256u << 10;

class BmpRowsOnDemand final : public RowsReadOnce {
public:
    BmpRowsOnDemand(std::unique_ptr<bool[]> read, FileHandle file, const BmpRowLayout& layout,
                    unsigned char* frame, const std::string& path, BmpMessage truncated,
                    BmpMessage outOfMemory)
        : RowsReadOnce(std::move(read), layout.height),
          file_(std::move(file)),
          layout_(layout),
          frame_(frame),
          path_(path),
          truncated_(truncated),
          outOfMemory_(outOfMemory) {}

private:
    bool readRows(std::uint32_t first, std::uint32_t count, std::string* failure) override {
        bool outOfMemory = false;
        if (readBmpRows(file_.get(), layout_, first, count, frame_, &outOfMemory)) return true;
        *failure = outOfMemory ? outOfMemory_(path_) : truncated_(path_);
        return false;
    }

    FileHandle file_;
    BmpRowLayout layout_;
    unsigned char* frame_;
    std::string path_;
    BmpMessage truncated_;
    BmpMessage outOfMemory_;
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
        return readFileAt(descriptor, frame + static_cast<std::size_t>(first) * rowBytes,
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
        if (!readFileAt(descriptor, piece.get(), storedRowBytes * rows,
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
    std::unique_ptr<bool[]> read = BmpRowsOnDemand::noRowsRead(layout.height);
    if (!read) return nullptr;
    return std::unique_ptr<FrameRows>(new (std::nothrow) BmpRowsOnDemand(
        std::move(read), std::move(file), layout, frame, path, truncated, outOfMemory));
}

}  // namespace detail
}  // namespace Tellvar
