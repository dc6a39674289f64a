// The correlation kernels on SSE2 lanes; the build compiles this file with
// -msse2.

#include "registration/kernels/CorrelationKernels.h"
#include "registration/kernels/KernelLanesScalar.h"
#include "registration/kernels/KernelLanesSse2.h"

namespace Tellvar {
namespace detail {
namespace {

using Doubles = Doubles2;
using DotSamples = Samples8;
using DotTailSamples = Samples8;  // lengths are multiples of 8: no tail step
using Columns = Columns4;
using RunningTotals = RunningTotals2;
using Windows = Windows4;
using ColumnPairs = ColumnPairs8;
using PixelSamples = FirstByte;  // SSE2 has no byte shuffle
constexpr int kDotGroup = 4;
constexpr bool kDotBlocks = false;
constexpr SimdLevel kLevel = SimdLevel::Sse2;

}  // namespace
}  // namespace detail
}  // namespace Tellvar

#define TELLVAR_KERNEL_LEVEL sse2
#include "registration/kernels/CorrelationKernels.simd.h"
