// Time of one 1600 x 1200 frame's search, coarse and fine, with a 200 x 150
// crop and a perimeter of 10; reading and writing files are excluded.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"
#include "TestImages.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kWidth = 1600, kHeight = 1200;
constexpr int kCropX = 699, kCropY = 524, kCropWidth = 200, kCropHeight = 150;
constexpr int kPerimeter = 10;
constexpr int kShiftX = 7, kShiftY = -5;

void searchOneFrame(benchmark::State& state) {
    const testsupport::TempDir dir;
    const testsupport::Picture sky = testsupport::makeStarField(kWidth, kHeight, 1);
    testsupport::writeTiffRgb8(dir.file("reference.tif"), sky);
    // The frame as the JPEG and TIFF readers deliver it: top-down RGB.
    const testsupport::Picture frame = testsupport::shifted(sky, kShiftX, kShiftY, 2, 2);

    std::string names[] = {"reference.tif"};
    Tellvar::MainProcessor processor(kCropX, kCropY, kCropWidth, kCropHeight, names, dir.path(),
                                     1025, false);
    std::string error;
    if (!processor.setReferenceFrame(dir.file("reference.tif"), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const Tellvar::detail::BufferView view{frame.rgb.data(), kWidth, kHeight, false};

    for (auto _ : state) {
        const Tellvar::detail::Placement placement =
            Tellvar::detail::locateCrop(processor, view, kPerimeter);
        if (placement.inFrame.x != kCropX + 1 + kShiftX ||
            placement.inFrame.y != kCropY + 1 + kShiftY) {
            state.SkipWithError("the search missed the shifted crop");
            break;
        }
        benchmark::DoNotOptimize(placement.inFrame);
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(searchOneFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
