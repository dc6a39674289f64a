// Time of one 1600 x 1200 frame's search, coarse and fine, with a 200 x 150
// crop and a perimeter of 10; reading and writing files are excluded. Run it
// on one core (taskset -c N) for the single-core figures.
//
//   searchOneFrame/Fast          the product's search, fastest instruction set
//   searchOneFrame/Fast_<level>  the same on one instruction set's kernels
//   searchOneFrame/Reference     the straightforward search it replaced
//   scanStage/coarse_<level>     the coarse scan alone, per instruction set
//   scanStage/fine_<level>       the fine scan alone, per instruction set
//
// Every iteration checks that the search found the shifted crop, so a fast
// but wrong search cannot report a figure.

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "TestImages.h"
#include "processor/ProcessorAccess.h"
#include "registration/CoarseToFine.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using Tellvar::detail::SearchMethod;
using Tellvar::detail::SimdLevel;

constexpr int kWidth = 1600, kHeight = 1200;
constexpr int kCropX = 699, kCropY = 524, kCropWidth = 200, kCropHeight = 150;
constexpr int kPerimeter = 10;
constexpr int kShiftX = 7, kShiftY = -5;

// The reference frame registered once, and a shifted frame to search.
struct Scene {
    testsupport::TempDir dir;
    testsupport::Picture frame;
    std::string names[1] = {"reference.tif"};
    std::unique_ptr<Tellvar::MainProcessor> processor;
    std::string error;

    Scene() {
        const testsupport::Picture sky = testsupport::makeStarField(kWidth, kHeight, 1);
        testsupport::writeTiffRgb8(dir.file(names[0]), sky);
        // The frame as the JPEG and TIFF readers deliver it: top-down RGB.
        frame = testsupport::shifted(sky, kShiftX, kShiftY, 2, 2);
        processor =
            std::make_unique<Tellvar::MainProcessor>(kCropX, kCropY, kCropWidth, kCropHeight, names,
                                                     dir.path(), Tellvar::kTypeCodeTiff, false);
        if (!processor->setReferenceFrame(dir.file(names[0]), &error)) processor.reset();
    }
    Tellvar::detail::BufferView view() const { return {frame.rgb.data(), kWidth, kHeight, false}; }
};

const Scene& scene() {
    static const Scene instance;
    return instance;
}

void reportRate(benchmark::State& state) {
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// False, with the benchmark skipped, when the scene could not be set up or
// the level's kernels cannot run here.
bool ready(benchmark::State& state, SimdLevel level) {
    if (!scene().processor) {
        state.SkipWithError(scene().error.c_str());
        return false;
    }
    if (!Tellvar::detail::simdLevelSupported(level)) {
        state.SkipWithError("this build or processor lacks the instruction set");
        return false;
    }
    return true;
}

// The whole search of one frame with the given scan, on the given level's
// kernels.
void searchOneFrame(benchmark::State& state, SearchMethod method, SimdLevel level) {
    if (!ready(state, level)) return;
    const Scene& s = scene();
    Tellvar::detail::ProcessorAccess::setSearchMethod(*s.processor, method);
    Tellvar::detail::ProcessorAccess::setKernelLevel(*s.processor, level);
    for (auto _ : state) {
        const Tellvar::detail::Placement placement =
            Tellvar::detail::locateCrop(*s.processor, s.view(), kPerimeter);
        if (placement.inFrame.x != kCropX + 1 + kShiftX ||
            placement.inFrame.y != kCropY + 1 + kShiftY) {
            state.SkipWithError("the search missed the shifted crop");
            break;
        }
        benchmark::DoNotOptimize(placement.inFrame);
    }
    Tellvar::detail::ProcessorAccess::setSearchMethod(*s.processor, SearchMethod::Fast);
    Tellvar::detail::ProcessorAccess::setKernelLevel(*s.processor,
                                                     Tellvar::detail::fastestSimdLevel());
    reportRate(state);
}

// One stage of the search on its own buffer, with a given instruction set.
void scanStage(benchmark::State& state, SimdLevel level, bool coarse) {
    if (!ready(state, level)) return;
    const Scene& s = scene();
    const Tellvar::detail::Placement placement =
        Tellvar::detail::locateCrop(*s.processor, s.view(), kPerimeter);
    const Tellvar::detail::CoarseFrame coarseFrame = Tellvar::detail::makeCoarseFrame(s.view());
    const Tellvar::detail::BufferView searched =
        coarse ? coarseFrame.view
               : Tellvar::detail::BufferView{placement.window.pixels.get(), placement.window.width,
                                             placement.window.height, false};
    const Tellvar::detail::PatchStats reference =
        coarse ? Tellvar::detail::scaledReference(*s.processor)
               : Tellvar::detail::fullReference(*s.processor);
    const Tellvar::detail::Position expected = coarse ? placement.coarse : placement.inWindow;
    // Where the registration expects each match: the reference's place.
    const Tellvar::detail::Position hint =
        coarse ? Tellvar::detail::Position{(kCropX + 1) / 5, (kCropY + 1) / 5}
               : Tellvar::detail::Position{kPerimeter + 1, kPerimeter + 1};

    for (auto _ : state) {
        const Tellvar::detail::ScanResult result =
            Tellvar::detail::fastSearch(searched, reference, level, hint);
        if (result.position.x != expected.x || result.position.y != expected.y) {
            state.SkipWithError("the scan disagrees with the full search");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    reportRate(state);
}

}  // namespace

BENCHMARK_CAPTURE(searchOneFrame, Fast, SearchMethod::Fast, Tellvar::detail::fastestSimdLevel())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(searchOneFrame, Fast_Avx2, SearchMethod::Fast, SimdLevel::Avx2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(searchOneFrame, Fast_Sse2, SearchMethod::Fast, SimdLevel::Sse2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(searchOneFrame, Fast_Scalar, SearchMethod::Fast, SimdLevel::Scalar)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(searchOneFrame, Reference, SearchMethod::Reference, SimdLevel::Scalar)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(scanStage, coarse_Avx2, SimdLevel::Avx2, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanStage, coarse_Sse2, SimdLevel::Sse2, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanStage, coarse_Scalar, SimdLevel::Scalar, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanStage, fine_Avx2, SimdLevel::Avx2, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanStage, fine_Sse2, SimdLevel::Sse2, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanStage, fine_Scalar, SimdLevel::Scalar, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
