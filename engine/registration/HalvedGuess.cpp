// A first guess of where a scan finds its best score, from the same scan on
// a copy of both buffers halved in each direction.
//
// The guess only tells the scan where to look first (a high score known
// early lets its bound dismiss far more candidates); it plays no part in
// which candidate wins. Each halved sample is the rounded mean of a 2 x 2
// block of stored samples, so a bottom-up buffer halves in its own order
// and its positions map back as closely as a top-down one's.

#include "registration/PositionScan.h"

#include <memory>
#include <new>

namespace Tellvar {
namespace detail {

namespace {

// The halved buffer keeps the 3-byte pixels the scan reads; only the first
// byte of each, the sample, is filled.
struct Halved {
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0, height = 0;
};

Halved halve(const unsigned char* pixels, int width, int height) {
    Halved out;
    out.width = width / 2;
    out.height = height / 2;
    const std::size_t bytes = static_cast<std::size_t>(out.width) * out.height * 3;
    out.pixels.reset(new (std::nothrow) unsigned char[bytes]);
    if (!out.pixels) return {};
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int r = 0; r < out.height; ++r) {
        const unsigned char* top = pixels + static_cast<std::size_t>(2 * r) * stride;
        const unsigned char* bottom = top + stride;
        unsigned char* to = out.pixels.get() + static_cast<std::size_t>(r) * out.width * 3;
        for (int c = 0; c < out.width; ++c, top += 6, bottom += 6, to += 3)
            to[0] = static_cast<unsigned char>((top[0] + top[3] + bottom[0] + bottom[3] + 2) / 4);
    }
    return out;
}

}  // namespace

Position halvedScanGuess(const BufferView& searched, const PatchStats& reference,
                         SimdLevel level, Position hint) {
    const Halved patch = halve(reference.pixels, reference.width, reference.height);
    const Halved buffer = halve(searched.pixels, searched.width, searched.height);
    if (!patch.pixels || !buffer.pixels) return {};
    const int patchBytes = patch.width * patch.height * 3;
    const SampleStats stats = sampleStats(patch.pixels.get(), patchBytes);
    const PatchStats halvedReference{patch.pixels.get(), patch.width, patch.height, patchBytes,
                                     stats.sum,          stats.ssq};
    const BufferView halvedView{buffer.pixels.get(), buffer.width, buffer.height, searched.bottomUp};
    const Position halvedHint{(hint.x + 1) / 2, (hint.y + 1) / 2};
    const Position found = fastSearch(halvedView, halvedReference, level, halvedHint).position;
    if (!found.found()) return {};
    return {2 * found.x - 1, 2 * found.y - 1};
}

}  // namespace detail
}  // namespace Tellvar
