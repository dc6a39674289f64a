// The correlation kernels in portable code: one lane of everything.

#include "registration/kernels/CorrelationKernels.h"
#include "registration/kernels/KernelLanesScalar.h"

namespace Tellvar {
namespace detail {
namespace {

using Doubles = OneDouble;
using DotSamples = SamplePair;
using DotTailSamples = SamplePair;
using Columns = OneColumn;
using RunningTotals = OneRunningTotal;
using Windows = OneWindow;
using ColumnPairs = OneColumnPair;
using PixelSamples = FirstByte;
constexpr int kDotGroup = 1;
constexpr bool kDotBlocks = false;
constexpr SimdLevel kLevel = SimdLevel::Scalar;

}  // namespace
}  // namespace detail
}  // namespace Tellvar

#define TELLVAR_KERNEL_LEVEL scalar
#include "registration/kernels/CorrelationKernels.simd.h"
