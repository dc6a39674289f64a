#pragma once
// The largest frame any codec hands out or writes. The engine's geometry is
// 32-bit, so a frame buffer (width x height x 3 bytes) must stay below 2 GiB;
// sizes are always computed in 64 bits so that hostile headers cannot wrap.

#include <cstdint>

namespace Tellvar {

constexpr std::uint64_t kMaxFrameBytes = 2147483647u;

constexpr std::uint64_t frameBytes(std::uint64_t width, std::uint64_t height) {
    return width * height * 3u;
}

// width and height are at most 2^32 - 1 wherever they come from, so the
// product cannot overflow 64 bits once each is checked against the limit.
constexpr bool frameFitsLimit(std::uint64_t width, std::uint64_t height) {
    return width <= kMaxFrameBytes && height <= kMaxFrameBytes &&
           frameBytes(width, height) <= kMaxFrameBytes;
}

}  // namespace Tellvar
