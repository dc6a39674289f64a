#pragma once
// The instruction-set levels of the engine's kernels, as the tests and the
// search benchmark force them.

#include "registration/kernels/CorrelationKernels.h"

#include <cstring>
#include <string>
#include <vector>

namespace kerneltest {

using Tellvar::detail::SimdLevel;

constexpr SimdLevel kAllLevels[] = {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2,
                                    SimdLevel::Avx512};

// The levels this build and processor run, scalar first.
inline std::vector<SimdLevel> supportedLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : kAllLevels)
        if (Tellvar::detail::simdLevelSupported(level)) levels.push_back(level);
    return levels;
}

inline std::string levelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return "Scalar";
        case SimdLevel::Sse2: return "Sse2";
        case SimdLevel::Avx2: return "Avx2";
        case SimdLevel::Avx512: return "Avx512";
    }
    return "?";
}

// The same double to the last bit (NaNs compare by their bits too).
inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace kerneltest
