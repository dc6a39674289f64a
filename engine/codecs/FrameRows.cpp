#include "codecs/FrameRows.h"

#include <algorithm>
#include <new>

namespace Tellvar {
namespace detail {

std::unique_ptr<bool[]> RowsReadOnce::noRowsRead(std::uint32_t height) {
    return std::unique_ptr<bool[]>(new (std::nothrow) bool[height]());
}

bool RowsReadOnce::load(int first, int count) {
    const long long height = height_;
    long long begin = std::clamp<long long>(first, 0, height);
    long long end = std::clamp<long long>(static_cast<long long>(first) + count, begin, height);
    while (begin < end && read_[begin]) ++begin;
    while (end > begin && read_[end - 1]) --end;
    if (begin == end) return true;
    if (!readRows(static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end - begin),
                  &failure_))
        return false;
    std::fill(read_.get() + begin, read_.get() + end, true);
    return true;
}

}  // namespace detail
}  // namespace Tellvar
