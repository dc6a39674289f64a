#pragma once
// The rows of a frame read as a run's registration needs them. The coarse
// search looks at one row in every few of a large frame and the fine search
// at a band around the hit, so a file that gives any row at its own offset
// (an uncompressed Bitmap) need not be read whole.

#include <string>

namespace Tellvar {
namespace detail {

class FrameRows {
public:
    virtual ~FrameRows() = default;

    // Makes the frame buffer's rows [first, first + count) present, counted
    // as the buffer stores them (bottom row first) and clipped to the
    // frame. Rows read before keep their bytes (they may be read again
    // where they lie between rows that were not). False, with failure()
    // saying why, when the file no longer gives them.
    virtual bool load(int first, int count) = 0;
    virtual const std::string& failure() const = 0;
};

}  // namespace detail
}  // namespace Tellvar
