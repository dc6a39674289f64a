// A first guess of where a scan finds its best score, from the same scan on
// a copy of both buffers halved in each direction.
//
// The guess only tells the scan where to look first (a high score known
// early lets its bound dismiss far more candidates); it plays no part in
// which candidate wins. Each halved sample is the rounded mean of a 2 x 2
// block of stored samples, so a bottom-up buffer halves in its own order
// and its positions map back as closely as a top-down one's.

#include "registration/PositionScan.h"
#include "registration/ScanArena.h"

namespace Tellvar {
namespace detail {

namespace {

// The halved buffer keeps the 3-byte pixels the scan reads; only the first
// byte of each, the sample, is filled. From the arena; null when the
// memory cannot be had.
struct Halved {
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
};

Halved halve(const unsigned char* pixels, int width, int height, std::size_t rowBytes,
             ScanArena& arena) {
    Halved out;
    out.width = width / 2;
    out.height = height / 2;
    out.pixels = arena.take<unsigned char>(static_cast<std::size_t>(out.width) * out.height * 3);
    if (out.pixels == nullptr) return {};
    for (int r = 0; r < out.height; ++r) {
        const unsigned char* top = pixels + static_cast<std::size_t>(2 * r) * rowBytes;
        const unsigned char* bottom = top + rowBytes;
        unsigned char* to = out.pixels + static_cast<std::size_t>(r) * out.width * 3;
        for (int c = 0; c < out.width; ++c, top += 6, bottom += 6, to += 3)
            to[0] = static_cast<unsigned char>((top[0] + top[3] + bottom[0] + bottom[3] + 2) / 4);
    }
    return out;
}

}  // namespace

Position halvedScanGuess(const BufferView& searched, const PatchStats& reference, SimdLevel level,
                         Position hint) {
    ScanArena& arena = ScanArena::forThisThread();
    const ScanArena::Scope scope(arena);
    const Halved patch = halve(reference.pixels, reference.width, reference.height,
                               static_cast<std::size_t>(reference.width) * 3, arena);
    const Halved buffer =
        halve(searched.pixels, searched.width, searched.height, searched.rowBytes(), arena);
    if (!patch.pixels || !buffer.pixels) return {};
    const int patchBytes = patch.width * patch.height * 3;
    const SampleStats stats = sampleStats(patch.pixels, patchBytes);
    const PatchStats halvedReference{patch.pixels, patch.width, patch.height,
                                     patchBytes,   stats.sum,   stats.ssq};
    const BufferView halvedView{buffer.pixels, buffer.width, buffer.height, searched.bottomUp};
    const Position halvedHint{(hint.x + 1) / 2, (hint.y + 1) / 2};
    const Position found = fastSearch(halvedView, halvedReference, level, halvedHint).position;
    if (!found.found()) return {};
    return {2 * found.x - 1, 2 * found.y - 1};
}

}  // namespace detail
}  // namespace Tellvar
