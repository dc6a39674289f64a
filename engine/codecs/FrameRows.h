#pragma once
// The rows of a frame read as a run's registration needs them. The coarse
// search looks at one row in every few of a large frame and the fine search
// at a band around the hit, so a file that gives any row at its own offset
// (an uncompressed Bitmap or TIFF) need not be read whole.

#include <cstdint>
#include <memory>
#include <string>

namespace Tellvar {
namespace detail {

class FrameRows {
public:
    virtual ~FrameRows() = default;

    // Makes the frame buffer's rows [first, first + count) present, counted
    // as the buffer stores them (bottom row first for a Bitmap) and clipped
    // to the frame. Rows read before keep their bytes (they may be read
    // again where they lie between rows that were not). False, with
    // failure() saying why, when the file no longer gives them.
    virtual bool load(int first, int count) = 0;
    virtual const std::string& failure() const = 0;
};

// What every reader's rows on demand share: which rows have been read, and
// one read from the first row of a range not yet read to its last; the rows
// read before that lie between (the coarse copy's, inside the fine window)
// come again, which costs less than a call for each gap.
class RowsReadOnce : public FrameRows {
public:
    bool load(int first, int count) final;
    const std::string& failure() const final { return failure_; }

    // The record of a frame's rows, none read yet, for the constructor;
    // null when there is no memory for it.
    static std::unique_ptr<bool[]> noRowsRead(std::uint32_t height);

protected:
    RowsReadOnce(std::unique_ptr<bool[]> read, std::uint32_t height)
        : read_(std::move(read)), height_(height) {}

    // Reads buffer rows [first, first + count) into the frame; false, with
    // the reader's words for it in *failure, when the file does not give
    // them.
    virtual bool readRows(std::uint32_t first, std::uint32_t count, std::string* failure) = 0;

private:
    std::unique_ptr<bool[]> read_;  // by buffer row
    std::uint32_t height_;
    std::string failure_;
};

}  // namespace detail
}  // namespace Tellvar
