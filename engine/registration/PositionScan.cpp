// The position scan's range, the straightforward scan, and the choice of
// scan a search runs.

#include "registration/PositionScan.h"

#include <cstddef>

namespace Tellvar {
namespace detail {

ScanRange scanRange(const BufferView& searched, int patchWidth, int patchHeight) {
    ScanRange range;
    if (patchWidth < 1 || patchHeight < 1 || searched.width < patchWidth ||
        searched.height < patchHeight)
        return range;
    range.lastColumn = searched.width - patchWidth + 1;
    range.lastRow = searched.height - patchHeight + 1;
    return range;
}

ScanResult referenceSearch(const BufferView& searched, const PatchStats& reference) {
    const int patchWidth = reference.width, patchHeight = reference.height;
    const ScanRange range = scanRange(searched, patchWidth, patchHeight);
    if (searched.pixels == nullptr || reference.pixels == nullptr || reference.byteCount < 1 ||
        range.lastColumn < 1)
        return {};

    const std::size_t stride = searched.rowBytes();
    const std::size_t rowBytes = static_cast<std::size_t>(patchWidth) * 3;
    ScanResult best;
    for (int y = 1; y <= range.lastRow; ++y) {
        const int bufferRow = searched.bottomUp ? mirrorRow(y, patchHeight, searched.height) : y;
        const unsigned char* rowStart =
            searched.pixels + static_cast<std::size_t>(bufferRow - 1) * stride;
        for (int x = 1; x <= range.lastColumn; ++x) {
            const double score = correlate(reference, rowBytes, patchHeight,
                                           rowStart + static_cast<std::size_t>(x - 1) * 3, stride);
            // Strictly greater: of equal scores the first in scan order stays.
            if (score > best.score) {
                best.score = score;
                best.position = {x, y};
            }
        }
    }
    return best;
}

ScanResult runSearch(const ScanChoice& choice, const BufferView& searched,
                     const PatchStats& reference, Position hint) {
    return choice.method == SearchMethod::Reference
               ? referenceSearch(searched, reference)
               : fastSearch(searched, reference, choice.level, hint);
}

Position scanPositions(const BufferView& searched, const PatchStats& reference) {
    return fastSearch(searched, reference, fastestSimdLevel(), {}).position;
}

}  // namespace detail
}  // namespace Tellvar
