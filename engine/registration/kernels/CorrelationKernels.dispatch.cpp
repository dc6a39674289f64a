// The one place that chooses the correlation kernels: each level's set as
// its source compiled it, and the fastest one this processor runs, chosen
// once per process.
//
// A build with TELLVAR_VECTOR_KERNELS has the SSE2, AVX2 and AVX-512 sets
// beside the scalar one (x86-64, unless configured with
// TELLVAR_SCALAR_KERNELS).

#include "registration/kernels/CorrelationKernels.h"

#include <algorithm>
#include <cmath>

namespace Tellvar {
namespace detail {

namespace scalar {
extern const KernelSet kernels;
}
#ifdef TELLVAR_VECTOR_KERNELS
namespace sse2 {
extern const KernelSet kernels;
}
namespace avx2 {
extern const KernelSet kernels;
}
namespace avx512 {
extern const KernelSet kernels;
}
#endif

bool simdLevelSupported(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return true;
#ifdef TELLVAR_VECTOR_KERNELS
        case SimdLevel::Sse2: return __builtin_cpu_supports("sse2");
        case SimdLevel::Avx2: return __builtin_cpu_supports("avx2");
        // The library's check includes the system's saving of the wide
        // registers, not the processor's word alone.
        case SimdLevel::Avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
#else
        case SimdLevel::Sse2:
        case SimdLevel::Avx2:
        case SimdLevel::Avx512: return false;
#endif
    }
    return false;
}

SimdLevel fastestSimdLevel() {
    // Decided once; the answer cannot change while the program runs.
    static const SimdLevel fastest = simdLevelSupported(SimdLevel::Avx512) ? SimdLevel::Avx512
                                     : simdLevelSupported(SimdLevel::Avx2) ? SimdLevel::Avx2
                                     : simdLevelSupported(SimdLevel::Sse2) ? SimdLevel::Sse2
                                                                           : SimdLevel::Scalar;
    return fastest;
}

const KernelSet& kernelsFor(SimdLevel level) {
    if (!simdLevelSupported(level)) return scalar::kernels;
    switch (level) {
#ifdef TELLVAR_VECTOR_KERNELS
        case SimdLevel::Sse2: return sse2::kernels;
        case SimdLevel::Avx2: return avx2::kernels;
        case SimdLevel::Avx512: return avx512::kernels;
#endif
        default: return scalar::kernels;
    }
}

TailReference tailReferenceOf(long long samples, long long sum, long long squares) {
    // m * Sxxt passes 64 bits for a tail of millions of bright samples.
    const unsigned __int128 spread =
        static_cast<unsigned __int128>(samples) * static_cast<unsigned __int128>(squares) -
        static_cast<unsigned __int128>(sum) * static_cast<unsigned __int128>(sum);
    const double m = static_cast<double>(samples);
    return {static_cast<double>(sum), std::sqrt(static_cast<double>(spread)), m, 1.0 / m,
            std::ldexp(m, -50)};
}

ScatteredReference scatteredReferenceOf(long long n, long long sum, long long squares,
                                        long long setSamples, long long setSum,
                                        long long setSquares) {
    // n^2 * Sum_T (x - x-bar)^2 = n^2 Sxxt - 2 n Sx Sxt + m Sx^2 exactly:
    // every term stays below 2^111 for a patch of up to 2^31 samples.
    using Wide = __int128;
    const long long m = n - setSamples, tailSum = sum - setSum;
    const Wide spread =
        Wide{n} * n * (squares - setSquares) - 2 * Wide{n} * sum * tailSum + Wide{m} * sum * sum;
    const double samples = static_cast<double>(n);
    // Each of the four roundings is at most 2^-53: the factor leaves A'
    // at least A * (1 + 2^-53).
    const double deviation =
        std::sqrt(static_cast<double>(spread)) / samples * (1.0 + std::ldexp(1.0, -50));
    const double meanShare =
        static_cast<double>(n * setSum - setSamples * sum) / (samples * samples);
    const double largest = 65025.0 * static_cast<double>(setSamples) +
                           255.0 * samples * std::fabs(meanShare) +
                           255.0 * static_cast<double>(sum) + 65025.0 * samples;
    const double margin =
        std::ldexp(largest, -44) + std::ldexp(deviation * 255.0 * std::sqrt(samples), -22);
    return {meanShare, deviation, margin};
}

void rowsDotProducts(DotKernelFunction kernel, const std::int16_t* patch, std::size_t patchStride,
                     const std::int16_t* candidates, const std::ptrdiff_t* rowOffsets, int length,
                     int rows, int count, std::uint64_t* out) {
    if (length <= kMaxDotLength) {
        kernel(patch, patchStride, candidates, rowOffsets, length, rows, count, out);
        return;
    }
    // Rows longer than a kernel takes: add up the pieces, a few candidates
    // at a time.
    constexpr int kCandidatesPerPass = 64;
    std::uint64_t piece[kCandidatesPerPass];
    for (int first = 0; first < count; first += kCandidatesPerPass) {
        const int n = std::min(kCandidatesPerPass, count - first);
        std::fill(out + first, out + first + n, std::uint64_t{0});
        for (int start = 0; start < length; start += kMaxDotLength) {
            kernel(patch + start, patchStride, candidates + first + start, rowOffsets,
                   std::min(kMaxDotLength, length - start), rows, n, piece);
            for (int j = 0; j < n; ++j) out[first + j] += piece[j];
        }
    }
}

}  // namespace detail
}  // namespace Tellvar
