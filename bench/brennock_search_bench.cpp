// Time of one frame's search, coarse and fine (or the single full-resolution
// search of the small-image path), per cell of frame size, crop and
// perimeter; reading and writing files are excluded. Run it on one core
// (taskset -c N) for the single-core figures.
//
//   searchOneFrame/<cell>/Fast          the product's search, fastest instruction set
//   searchOneFrame/<cell>/Fast_<level>  the same on one instruction set's kernels
//   searchOneFrame/default/Reference    the straightforward search it replaced
//   scanStage/<cell>/coarse_<level>     the coarse scan alone, per instruction set
//   scanStage/<cell>/fine_<level>       the fine (or small-image) scan alone
//
// Every iteration checks that the search found the shifted crop, so a fast
// but wrong search cannot report a figure. --benchmark_filter=default (or
// any cell's name) picks cells.

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "KernelLevels.h"
#include "TestImages.h"
#include "processor/ProcessorAccess.h"
#include "registration/CoarseToFine.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

namespace {

using Tellvar::detail::SearchMethod;
using Tellvar::detail::SimdLevel;

// One cell: a frame size, the crop rectangle (corner counted from 0, as
// the main window holds it) and the perimeter.
struct Cell {
    const char* name;
    int width, height;
    int cropX, cropY, cropWidth, cropHeight;
    int perimeter;
    bool smallImage() const { return width < 320 || height < 240; }
};

constexpr Cell kCells[] = {
    {"default", 1600, 1200, 699, 524, 200, 150, 10},
    {"crop1200x900", 1600, 1200, 199, 149, 1200, 900, 10},
    {"small300x220", 300, 220, 89, 64, 120, 90, 10},
    {"vga640x480", 640, 480, 219, 164, 200, 150, 10},
    {"perimeter60", 1600, 1200, 699, 524, 200, 150, 60},
    {"big6000x4000", 6000, 4000, 2624, 1749, 750, 500, 30},
};
constexpr int kShiftX = 7, kShiftY = -5;

// The reference frame registered once, and a shifted frame to search.
struct Scene {
    const Cell& cell;
    testsupport::TempDir dir;
    testsupport::Picture frame;
    std::string names[1] = {"reference.tif"};
    std::unique_ptr<Tellvar::MainProcessor> processor;
    std::string error;

    explicit Scene(const Cell& cell) : cell(cell) {
        // A large frame is a finer pixel scale of the sky, its stars spread
        // over several pixels, as a camera of that size records them.
        const int magnification = cell.width > 2000 ? 4 : 1;
        const testsupport::Picture sky = testsupport::magnified(
            testsupport::makeStarField(cell.width / magnification, cell.height / magnification, 1),
            cell.width, cell.height);
        testsupport::writeTiffRgb8(dir.file(names[0]), sky);
        // The frame as the JPEG and TIFF readers deliver it: top-down RGB.
        frame = testsupport::shifted(sky, kShiftX, kShiftY, 2, 2);
        processor = std::make_unique<Tellvar::MainProcessor>(cell.cropX, cell.cropY, cell.cropWidth,
                                                             cell.cropHeight, names, dir.path(),
                                                             Tellvar::kTypeCodeTiff, false);
        const bool ok = cell.smallImage()
                            ? processor->setReferenceFrameSmallImage(dir.file(names[0]), &error)
                            : processor->setReferenceFrame(dir.file(names[0]), &error);
        if (!ok) processor.reset();
    }
    Tellvar::detail::BufferView view() const {
        return {frame.rgb.data(), cell.width, cell.height, false};
    }
    // Where the crop lies in the frame, 1-based.
    Tellvar::detail::Position expected() const {
        return {cell.cropX + 1 + kShiftX, cell.cropY + 1 + kShiftY};
    }
};

// Scenes are made when a cell's first benchmark runs, so a filter that
// leaves a cell out does not pay for its frames.
const Scene& scene(const Cell& cell) {
    static std::map<const Cell*, std::unique_ptr<Scene>> scenes;
    std::unique_ptr<Scene>& made = scenes[&cell];
    if (!made) made = std::make_unique<Scene>(cell);
    return *made;
}

void reportRate(benchmark::State& state) {
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// False, with the benchmark skipped, when the scene could not be set up or
// the level's kernels cannot run here.
bool ready(benchmark::State& state, const Scene& s, SimdLevel level) {
    if (!s.processor) {
        state.SkipWithError(s.error.c_str());
        return false;
    }
    if (!Tellvar::detail::simdLevelSupported(level)) {
        state.SkipWithError("this build or processor lacks the instruction set");
        return false;
    }
    return true;
}

// The frame's whole search as a registration makes it; where the crop is
// cut from the frame.
Tellvar::detail::Position searchFrame(const Scene& s) {
    if (s.cell.smallImage())
        return Tellvar::detail::runSearch(
                   Tellvar::detail::ProcessorAccess::scanChoice(*s.processor), s.view(),
                   Tellvar::detail::fullReference(*s.processor),
                   {s.cell.cropX + 1, s.cell.cropY + 1})
            .position;
    return Tellvar::detail::locateCrop(*s.processor, s.view(), s.cell.perimeter).inFrame;
}

// The whole search of one frame with the given scan, on the given level's
// kernels.
void searchOneFrame(benchmark::State& state, const Cell& cell, SearchMethod method,
                    SimdLevel level) {
    const Scene& s = scene(cell);
    if (!ready(state, s, level)) return;
    Tellvar::detail::ProcessorAccess::setSearchMethod(*s.processor, method);
    Tellvar::detail::ProcessorAccess::setKernelLevel(*s.processor, level);
    for (auto _ : state) {
        const Tellvar::detail::Position at = searchFrame(s);
        if (at.x != s.expected().x || at.y != s.expected().y) {
            state.SkipWithError("the search missed the shifted crop");
            break;
        }
        benchmark::DoNotOptimize(at);
    }
    Tellvar::detail::ProcessorAccess::setSearchMethod(*s.processor, SearchMethod::Fast);
    Tellvar::detail::ProcessorAccess::setKernelLevel(*s.processor,
                                                     Tellvar::detail::fastestSimdLevel());
    reportRate(state);
}

// One stage of the search on its own buffer, with a given instruction set.
// The small-image path has one stage, named fine.
void scanStage(benchmark::State& state, const Cell& cell, SimdLevel level, bool coarse) {
    const Scene& s = scene(cell);
    if (!ready(state, s, level)) return;
    const Tellvar::MainProcessor& processor = *s.processor;
    Tellvar::detail::BufferView searched = s.view();
    Tellvar::detail::PatchStats reference = Tellvar::detail::fullReference(processor);
    Tellvar::detail::Position expected = s.expected();
    Tellvar::detail::Position hint{cell.cropX + 1, cell.cropY + 1};
    Tellvar::detail::Placement placement;
    Tellvar::detail::CoarseFrame coarseFrame;
    if (!cell.smallImage()) {
        placement = Tellvar::detail::locateCrop(processor, s.view(), cell.perimeter);
        coarseFrame = Tellvar::detail::makeCoarseFrame(s.view());
        if (coarse) {
            searched = coarseFrame.view;
            reference = Tellvar::detail::scaledReference(processor);
            expected = placement.coarse;
            hint = Tellvar::detail::coarseHint(processor, coarseFrame.scale);
        } else {
            searched = placement.windowView;
            expected = placement.inWindow;
            hint = Tellvar::detail::windowRelative(placement.window, placement.estimate.x,
                                                   placement.estimate.y);
        }
    }
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

void registerBenchmarks() {
    for (const Cell& cell : kCells) {
        const std::string name = cell.name;
        benchmark::RegisterBenchmark(("searchOneFrame/" + name + "/Fast").c_str(), searchOneFrame,
                                     cell, SearchMethod::Fast, Tellvar::detail::fastestSimdLevel())
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        for (SimdLevel level : kerneltest::kAllLevels)
            benchmark::RegisterBenchmark(
                ("searchOneFrame/" + name + "/Fast_" + kerneltest::levelName(level)).c_str(),
                searchOneFrame, cell, SearchMethod::Fast, level)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        // The straightforward search takes seconds away from the default cell.
        if (&cell == &kCells[0])
            benchmark::RegisterBenchmark(("searchOneFrame/" + name + "/Reference").c_str(),
                                         searchOneFrame, cell, SearchMethod::Reference,
                                         SimdLevel::Scalar)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        for (bool coarse : {true, false}) {
            if (coarse && cell.smallImage()) continue;
            for (SimdLevel level : kerneltest::kAllLevels)
                benchmark::RegisterBenchmark(
                    ("scanStage/" + name + (coarse ? "/coarse_" : "/fine_") +
                     kerneltest::levelName(level))
                        .c_str(),
                    scanStage, cell, level, coarse)
                    ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
