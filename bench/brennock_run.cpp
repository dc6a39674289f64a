// Runs one automatic registration from the command line and reports its
// throughput:
//
//   brennock_run --type CODE --crop X Y W H --perimeter P [--stack]
//                [--threads N] [--baseline] [--repeat K] --out DIR REF FRAME...
//
// X and Y are the crop's top-left corner counted from 0, as the main window
// holds it. Images narrower than 320 or lower than 240 pixels are registered
// at full resolution only, as the desktop program does. Exits 0 when every
// image was registered and saved (and the stack written when asked for).
//
// --baseline also times, in the same process and on as many threads, the
// work no registration can avoid: reading every frame and writing one crop
// of each (into DIR/baseline), with the threads taking frames from a shared
// queue, so the figure is a lower bound. The report gives the run's time
// over that. --repeat K alternates run and baseline K times and reports the
// fastest of each, which damps the noise of a busy machine, and the median
// of each with the median of the rounds' own run / baseline ratios, which
// follows a machine whose speed drifts.
//
// Each phase also reports its minor page faults per image (the process's
// getrusage count across the phase, over the images it read) and the run
// the process's peak resident memory when its first round ended, before
// any baseline had run.

#include "BenchSupport.h"
#include "Brennock/CodecForType.h"
#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"

#include <sys/resource.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int typeCode = 0;
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
    int perimeter = 0;
    bool stack = false;
    int threads = 0;
    bool baseline = false;
    int repeat = 1;
    std::string outputFolder;
    std::vector<std::string> paths;
};

void printUsage() {
    std::fprintf(stderr,
                 "usage: brennock_run --type CODE --crop X Y W H --perimeter P [--stack] "
                 "[--threads N] [--baseline] [--repeat K] --out DIR REF FRAME...\n");
}

using benchsupport::median;
using benchsupport::parseInt;

bool parseOptions(int argc, char** argv, Options* options) {
    bool haveType = false, haveCrop = false, havePerimeter = false, haveOut = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int remaining = argc - i - 1;
        if (arg == "--type" && remaining >= 1) {
            haveType = parseInt(argv[++i], &options->typeCode);
            if (!haveType) return false;
        } else if (arg == "--crop" && remaining >= 4) {
            haveCrop = parseInt(argv[i + 1], &options->cropX) &&
                       parseInt(argv[i + 2], &options->cropY) &&
                       parseInt(argv[i + 3], &options->cropWidth) &&
                       parseInt(argv[i + 4], &options->cropHeight);
            if (!haveCrop) return false;
            i += 4;
        } else if (arg == "--perimeter" && remaining >= 1) {
            havePerimeter = parseInt(argv[++i], &options->perimeter);
            if (!havePerimeter) return false;
        } else if (arg == "--threads" && remaining >= 1) {
            if (!parseInt(argv[++i], &options->threads) || options->threads < 1) return false;
        } else if (arg == "--out" && remaining >= 1) {
            options->outputFolder = argv[++i];
            haveOut = true;
        } else if (arg == "--repeat" && remaining >= 1) {
            if (!parseInt(argv[++i], &options->repeat) || options->repeat < 1) return false;
        } else if (arg == "--stack") {
            options->stack = true;
        } else if (arg == "--baseline") {
            options->baseline = true;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options->paths.push_back(arg);
        }
    }
    return haveType && haveCrop && havePerimeter && haveOut && !options->paths.empty();
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Engine messages span several lines; a report line holds one.
std::string oneLine(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// What the process (every thread) has used so far: processor time, user
// and system, minor page faults and peak resident memory.
struct Usage {
    double cpuSeconds = 0.0;
    long minorFaults = 0;
    long peakKilobytes = 0;
};

Usage processUsage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_minflt, usage.ru_maxrss};
}

struct RunTiming {
    bool success = false;
    int imagesHandedOut = 0;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    long minorFaults = 0;
};

// One automatic run as the desktop worker drives it, timed from the
// reference frame to the last joined batch; the stack is written after.
RunTiming timeRun(const Options& options, bool smallImage, std::vector<std::string>& names) {
    Tellvar::MainProcessor processor(options.cropX, options.cropY, options.cropWidth,
                                     options.cropHeight, names.data(), options.outputFolder,
                                     options.typeCode, options.stack);
    Tellvar::RunPlan plan;
    plan.filePaths = options.paths.data();
    plan.imageCount = static_cast<int>(options.paths.size());
    plan.searchPerimeter = options.perimeter;
    plan.threadCount = options.threads;
    plan.smallImage = smallImage;

    const Usage before = processUsage();
    const auto start = std::chrono::steady_clock::now();
    const Tellvar::RunResult result = Tellvar::runRegistration(processor, plan, {});
    RunTiming timing;
    timing.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Usage after = processUsage();
    timing.cpuSeconds = after.cpuSeconds - before.cpuSeconds;
    timing.minorFaults = after.minorFaults - before.minorFaults;
    timing.imagesHandedOut = result.imagesHandedOut;

    timing.success = result.outcome == Tellvar::RunOutcome::Completed;
    switch (result.outcome) {
        case Tellvar::RunOutcome::ReferenceFailed:
            std::printf("failed: %s: %s\n", options.paths[0].c_str(),
                        oneLine(result.message).c_str());
            break;
        case Tellvar::RunOutcome::FrameFailed:
            // The engine keeps the message of the first failed image of the batch.
            for (std::size_t i = 0; i < result.failedImages.size(); ++i) {
                const std::string& path = options.paths[result.failedImages[i]];
                if (i == 0)
                    std::printf("failed: %s: %s\n", path.c_str(), oneLine(result.message).c_str());
                else
                    std::printf("failed: %s\n", path.c_str());
            }
            break;
        case Tellvar::RunOutcome::ThreadStartFailed:
            std::printf("failed: %s\n", oneLine(result.message).c_str());
            break;
        case Tellvar::RunOutcome::Cancelled:
        case Tellvar::RunOutcome::Completed: break;
    }

    processor.cleanReference();
    if (timing.success && options.stack) {
        std::string error;
        if (!processor.StackImages(plan.imageCount, &error)) {
            std::printf("failed: stack: %s\n", oneLine(error).c_str());
            timing.success = false;
        }
    }
    return timing;
}

// Reads frame index and writes one crop of the reference rectangle, as a
// run's unavoidable work for that frame, cutting it into *crop, which a
// thread keeps from frame to frame. False when either fails.
bool readAndWriteCrop(Tellvar::Brennock& codec, const Options& options,
                      const std::vector<std::string>& names, const std::string& folder, int index,
                      std::vector<unsigned char>* crop) {
    std::string error;
    unsigned char* buffer = nullptr;
    int width = 0, height = 0, depth = 0;
    if (!codec.openImage(&buffer, options.paths[index], &width, &height, &depth, &error))
        return false;
    const std::unique_ptr<unsigned char[]> frame(buffer);
    const int cropWidth = std::min(options.cropWidth, width);
    const int cropHeight = std::min(options.cropHeight, height);
    const int x = std::clamp(options.cropX, 0, width - cropWidth);
    const int y = std::clamp(options.cropY, 0, height - cropHeight);
    const std::size_t rowBytes = static_cast<std::size_t>(cropWidth) * 3;
    crop->resize(rowBytes * cropHeight);
    for (int row = 0; row < cropHeight; ++row)
        std::memcpy(crop->data() + row * rowBytes,
                    frame.get() + ((static_cast<std::size_t>(y) + row) * width + x) * 3, rowBytes);
    const std::string& name = names[index];
    const std::string path =
        folder + "/crop_" + name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    return codec.saveImage(crop->data(), cropWidth, cropHeight, depth, path, &error);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The unavoidable work of the same run, every frame read and one crop
// written, on options.threads threads, scheduled two ways:
//   queue:   long-lived threads take frames from a shared queue; no thread
//            waits for another, so this is a lower bound;
//   batched: the run's own schedule, batches of one thread per frame, each
//            batch joined before the next.
struct Baseline {
    double queueSeconds = -1.0;  // negative: a frame could not be read or written
    double queueCpuSeconds = 0.0;
    long queueMinorFaults = 0;
    double batchedSeconds = -1.0;
};

Baseline timeBaseline(const Options& options, const std::vector<std::string>& names) {
    const std::string folder = options.outputFolder + "/baseline";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const int count = static_cast<int>(options.paths.size());
    std::atomic<bool> failed{false};
    Baseline baseline;

    std::atomic<int> next{0};
    const Usage before = processUsage();
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < options.threads; ++t)
        threads.emplace_back([&] {
            const std::unique_ptr<Tellvar::Brennock> codec = Tellvar::makeCodec(options.typeCode);
            std::vector<unsigned char> crop;
            for (int index = next++; index < count; index = next++)
                if (!readAndWriteCrop(*codec, options, names, folder, index, &crop)) failed = true;
        });
    for (std::thread& thread : threads) thread.join();
    baseline.queueSeconds = failed ? -1.0 : secondsSince(start);
    const Usage after = processUsage();
    baseline.queueCpuSeconds = after.cpuSeconds - before.cpuSeconds;
    baseline.queueMinorFaults = after.minorFaults - before.minorFaults;

    // The run reads its reference alone before the first batch.
    const std::unique_ptr<Tellvar::Brennock> codec = Tellvar::makeCodec(options.typeCode);
    start = std::chrono::steady_clock::now();
    std::vector<unsigned char> crop;
    if (!readAndWriteCrop(*codec, options, names, folder, 0, &crop)) failed = true;
    for (int first = 1; first < count; first += options.threads) {
        threads.clear();
        for (int index = first; index < std::min(count, first + options.threads); ++index)
            threads.emplace_back([&, index] {
                std::vector<unsigned char> threadCrop;
                if (!readAndWriteCrop(*codec, options, names, folder, index, &threadCrop))
                    failed = true;
            });
        for (std::thread& thread : threads) thread.join();
    }
    baseline.batchedSeconds = failed ? -1.0 : secondsSince(start);
    return baseline;
}

// Every round's figures, and the peak memory of the first run.
struct Rounds {
    std::vector<RunTiming> runs;
    std::vector<Baseline> baselines;  // empty without --baseline
    long runPeakKilobytes = 0;
};

// options.repeat rounds of the run and, when asked, of the baseline, in
// turn. False when a round failed; the failure has been printed.
bool timeRounds(const Options& options, bool smallImage, std::vector<std::string>& names,
                Rounds* rounds) {
    for (int round = 0; round < options.repeat; ++round) {
        const RunTiming timing = timeRun(options, smallImage, names);
        if (!timing.success) return false;
        rounds->runs.push_back(timing);
        if (round == 0) rounds->runPeakKilobytes = processUsage().peakKilobytes;
        if (!options.baseline) continue;
        const Baseline baseline = timeBaseline(options, names);
        if (baseline.queueSeconds < 0 || baseline.batchedSeconds < 0) {
            std::printf("failed: the baseline could not read or write a frame\n");
            return false;
        }
        rounds->baselines.push_back(baseline);
    }
    return true;
}

template <typename Round, typename Figure>
double fastest(const std::vector<Round>& rounds, Figure figure) {
    double best = figure(rounds.front());
    for (const Round& round : rounds) best = std::min(best, figure(round));
    return best;
}

template <typename Round, typename Figure>
double medianOf(const std::vector<Round>& rounds, Figure figure) {
    std::vector<double> values;
    for (const Round& round : rounds) values.push_back(figure(round));
    return median(values);
}

void printReport(const Options& options, const Rounds& rounds) {
    // The fastest run round, with its own processor time.
    const RunTiming* best = &rounds.runs.front();
    for (const RunTiming& timing : rounds.runs)
        if (timing.seconds < best->seconds) best = &timing;
    const int images = best->imagesHandedOut;
    std::printf("frames: %d seconds: %.3f frames_per_second: %.2f threads: %d cpu_seconds: %.3f\n",
                images, best->seconds, best->seconds > 0 ? images / best->seconds : 0.0,
                options.threads, best->cpuSeconds);
    const auto perImage = [images](long faults) {
        return images > 0 ? static_cast<double>(faults) / images : 0.0;
    };
    const double runMedian = medianOf(rounds.runs, [](const RunTiming& r) { return r.seconds; });
    const double runFaults =
        medianOf(rounds.runs, [&](const RunTiming& r) { return perImage(r.minorFaults); });
    std::printf(
        "rounds: %zu median_seconds: %.4f median_frames_per_second: %.2f "
        "faults_per_frame: %.1f peak_rss_mb: %.1f\n",
        rounds.runs.size(), runMedian, runMedian > 0 ? images / runMedian : 0.0, runFaults,
        rounds.runPeakKilobytes / 1024.0);
    if (rounds.baselines.empty()) return;

    // The fastest queue round, with its own processor time.
    const Baseline* fastestQueue = &rounds.baselines.front();
    for (const Baseline& baseline : rounds.baselines)
        if (baseline.queueSeconds < fastestQueue->queueSeconds) fastestQueue = &baseline;
    const double queue = fastestQueue->queueSeconds;
    const double queueCpu = fastestQueue->queueCpuSeconds;
    const double batched =
        fastest(rounds.baselines, [](const Baseline& b) { return b.batchedSeconds; });
    std::printf(
        "baseline_queue_seconds: %.3f (cpu_seconds: %.3f) run_over_queue: %.3f\n"
        "baseline_batched_seconds: %.3f run_over_batched: %.3f\n",
        queue, queueCpu, best->seconds / queue, batched, best->seconds / batched);

    // Each round's run over the same round's baseline, so that a machine
    // slowing down or speeding up between rounds cancels out.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < rounds.baselines.size(); ++i)
        ratios.push_back(rounds.runs[i].seconds / rounds.baselines[i].queueSeconds);
    std::printf(
        "baseline_median_queue_seconds: %.4f baseline_faults_per_frame: %.1f "
        "median_run_over_queue: %.3f\n",
        medianOf(rounds.baselines, [](const Baseline& b) { return b.queueSeconds; }),
        medianOf(rounds.baselines, [&](const Baseline& b) { return perImage(b.queueMinorFaults); }),
        median(ratios));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        printUsage();
        return 1;
    }
    if (options.threads == 0) {
        const unsigned hardware = std::thread::hardware_concurrency();
        options.threads = hardware == 0 ? 1 : static_cast<int>(hardware);
    }

    // The desktop program decides the small-image path from the reference's size.
    int width = 0, height = 0;
    std::string error;
    if (!Tellvar::makeCodec(options.typeCode)
             ->sizeChecker(&width, &height, options.paths[0], &error)) {
        std::printf("failed: %s: %s\n", options.paths[0].c_str(), oneLine(error).c_str());
        return 1;
    }
    const bool smallImage = width < 320 || height < 240;

    std::vector<std::string> names;
    for (const std::string& path : options.paths) names.push_back(baseName(path));

    Rounds rounds;
    if (!timeRounds(options, smallImage, names, &rounds)) return 1;
    printReport(options, rounds);
    return 0;
}
