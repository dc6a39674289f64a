// The correlation kernels on AVX2 lanes; the build compiles this file alone
// with -mavx2, and the dispatch runs it only where the processor has AVX2.

#include "registration/kernels/CorrelationKernels.h"
#include "registration/kernels/KernelLanesAvx2.h"
#include "registration/kernels/KernelLanesScalar.h"

namespace Tellvar {
namespace detail {
namespace {

using Doubles = Doubles4;
using DotSamples = Samples16;
using DotTailSamples = Samples8;  // a row length that is an odd multiple of 8
using Columns = Columns8;
using RunningTotals = RunningTotals4;
using Windows = Windows8;
using ColumnPairs = ColumnPairs16;
using PixelSamples = FirstBytes16;
constexpr int kDotGroup = 4;
// Sixteen candidates to a register, one per 32-bit lane: no lanes are
// summed across and no row is padded to whole vectors.
constexpr bool kDotBlocks = true;
constexpr SimdLevel kLevel = SimdLevel::Avx2;

}  // namespace
}  // namespace detail
}  // namespace Tellvar

#define TELLVAR_KERNEL_LEVEL avx2
#include "registration/kernels/CorrelationKernels.simd.h"
