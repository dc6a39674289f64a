// The correlation kernels on AVX-512 lanes; the build compiles this file
// alone with -mavx512f -mavx512bw -mavx512vl -mavx512dq, and the dispatch
// runs it only where the processor and the system have all four.

#include "registration/kernels/CorrelationKernels.h"
#include "registration/kernels/KernelLanesAvx512.h"
#include "registration/kernels/KernelLanesScalar.h"

namespace Tellvar {
namespace detail {
namespace {

using Doubles = Doubles8;
using DotSamples = Samples32;
using DotTailSamples = Samples8;  // the last 8, 16 or 24 samples of a row
using Columns = Columns16;
using RunningTotals = RunningTotals8;
using Windows = Windows16;
using ColumnPairs = ColumnPairs32;
using PixelSamples = FirstBytes16;
constexpr int kDotGroup = 4;
// Thirty-two candidates to a register, one per 32-bit lane.
constexpr bool kDotBlocks = true;
constexpr SimdLevel kLevel = SimdLevel::Avx512;

}  // namespace
}  // namespace detail
}  // namespace Tellvar

#define TELLVAR_KERNEL_LEVEL avx512
#include "registration/kernels/CorrelationKernels.simd.h"
