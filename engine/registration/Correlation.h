#pragma once
// Normalised cross-correlation of patches: the sample statistics of a
// patch and the coefficient of a candidate against a reference.

#include <cstddef>

namespace Tellvar {
namespace detail {

// A reference patch with the statistics the coefficient needs.
struct PatchStats {
    const unsigned char* pixels = nullptr;
    int width = 0;  // in pixels; rows are width x 3 bytes
    int height = 0;
    int byteCount = 0;  // the patch's bytes, three a sample
    double sum = 0.0;   // sample sum
    double ssq = 0.0;   // corrected sum of squares
};

// The samples of the first byteCount bytes of a patch (bytes 0, 3, 6, ...):
// the n of the coefficient and of the corrected sums of squares.
inline int samplesIn(int byteCount) {
    return byteCount <= 0 ? 0 : byteCount / 3 + (byteCount % 3 != 0 ? 1 : 0);
}

struct SampleStats {
    double sum = 0.0;
    double ssq = 0.0;
};
// Sample sum and corrected sum of squares over the first byteCount bytes.
SampleStats sampleStats(const unsigned char* patch, int byteCount);

// False when every sample of the first byteCount bytes has one value.
bool samplesVary(const unsigned char* patch, std::size_t byteCount);

// Coefficient of the candidate whose first byte is at candidate, its rows
// candidateStride bytes apart, against the reference. rowBytes x rows is the
// patch's layout; the samples are the bytes 0, 3, 6, ... of each row.
double correlate(const PatchStats& reference, std::size_t rowBytes, int rows,
                 const unsigned char* candidate, std::size_t candidateStride);

}  // namespace detail
}  // namespace Tellvar
