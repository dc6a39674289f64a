// The batch loop of an automatic run.

#include "RunLoop.h"

#include "CodecLimits.h"
#include "MainProcessor.h"
#include "MainProcessorInternal.h"
#include "RunLoopMemory.h"
#include "RunLoopOutputs.h"
#include "RunLoopReadAhead.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <vector>

namespace Tellvar {

namespace {

std::string threadStartMessage(int index, const std::string& path, const std::system_error& error) {
    return "The system was unable to start a processing thread for image " +
           std::to_string(index + 1) + " named below.\n\n" + path +
           "\n\nError Message: " + error.what() +
           "\n\nThe images started before it have been finished and saved. Please close other "
           "programs, or choose a single processor in the run summary, and submit your images "
           "again.";
}

// The reference frame is read by the processor alone, with nothing else in
// memory; only a frame larger than the whole budget is refused, by the size
// its header gives. A file whose header cannot be read is left to the
// reference operation, which says why.
std::string referenceExceedsBudget(MainProcessor& processor, const std::string& path,
                                   const FrameBudget& budget) {
    int width = 0, height = 0;
    std::string ignored;
    if (!processor.codec->sizeChecker(&width, &height, path, &ignored) || width < 0 || height < 0)
        return {};
    const std::uint64_t bytes =
        frameBytes(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    return bytes > budget.bytes() ? detail::frameExceedsBudgetMessage(path, bytes, budget.bytes())
                                  : std::string();
}

// One image of a batch registered by its own thread: read within the
// budget, prepared and finished as setPhaseOne (or processSmallImages) does.
void registerWithinBudget(MainProcessor& processor, const RunPlan& plan, FrameBudget& budget,
                          int index, bool* okFlag, std::string* errorText) {
    const std::string& path = plan.filePaths[index];
    FrameBudget::Reservation hold;
    detail::PreparedFrame prepared = detail::ProcessorAccess::prepareFrame(
        processor, detail::readWithinBudget(processor, path, budget, &hold), path,
        plan.searchPerimeter, plan.smallImage, nullptr);
    // The frame is gone; only its crop is left to save.
    hold.release();
    detail::ProcessorAccess::finishFrame(processor, std::move(prepared), index, plan.smallImage,
                                         okFlag, errorText);
}

}  // namespace

RunResult runRegistration(MainProcessor& processor, const RunPlan& plan,
                          const RunCallbacks& callbacks) {
    RunResult result;
    const auto progress = [&](int handedOut) {
        result.imagesHandedOut = handedOut;
        if (callbacks.progress) callbacks.progress(handedOut);
    };

    if (plan.imageCount < 1 || plan.filePaths == nullptr) {
        result.outcome = RunOutcome::ReferenceFailed;
        result.message = "There are no images to process.";
        return result;
    }

    progress(1);
    const std::string clash = detail::outputClash(processor, plan);
    if (!clash.empty()) {
        result.outcome = RunOutcome::ReferenceFailed;
        result.message = clash;
        return result;
    }

    FrameBudget defaultBudget(plan.frameBudget != nullptr ? 0 : FrameBudget::fromPhysicalMemory());
    FrameBudget& budget = plan.frameBudget != nullptr ? *plan.frameBudget : defaultBudget;
    result.message = referenceExceedsBudget(processor, plan.filePaths[0], budget);
    if (!result.message.empty()) {
        result.outcome = RunOutcome::ReferenceFailed;
        return result;
    }

    std::string errorText;
    const bool referenceSet =
        plan.smallImage ? processor.setReferenceFrameSmallImage(plan.filePaths[0], &errorText)
                        : processor.setReferenceFrame(plan.filePaths[0], &errorText);
    if (!referenceSet) {
        result.outcome = RunOutcome::ReferenceFailed;
        result.message = errorText;
        return result;
    }

    const int threadCount = std::max(1, plan.threadCount);
    int next = 1;
    std::vector<std::thread> batch;
    batch.reserve(static_cast<std::size_t>(threadCount));
    // One success flag per thread of a batch, so the loop knows which images
    // failed; the run message stays shared and keeps the first failure.
    const std::unique_ptr<bool[]> frameOk(new bool[static_cast<std::size_t>(threadCount)]);

    // Created at the first batch, so that a run cancelled during its
    // reference frame, or whose reference failed, reads no other image.
    std::unique_ptr<detail::FrameReadAhead> readAhead;

    while (next < plan.imageCount) {
        if (callbacks.cancelRequested && callbacks.cancelRequested()) {
            result.outcome = RunOutcome::Cancelled;
            return result;
        }
        // Preparing ahead pays only when a batch follows another. Twice the
        // batch in flight lets the readers run a batch ahead of the one
        // being finished.
        if (!readAhead && threadCount > 1 && plan.imageCount - next > threadCount)
            readAhead = std::make_unique<detail::FrameReadAhead>(
                processor, plan.filePaths, next, plan.imageCount, plan.searchPerimeter,
                plan.smallImage, budget, threadCount, 2 * threadCount);

        const int first = next;
        const int end = std::min(plan.imageCount, next + threadCount);
        bool startFailed = false;
        for (int index = first; index < end; ++index) {
            bool* okFlag = &frameOk[index - first];
            *okFlag = true;
            detail::FrameReadAhead* reader = readAhead.get();
            std::function<void()> work = [&processor, &plan, &budget, &errorText, okFlag, index,
                                          reader] {
                detail::PreparedFrame prepared;
                detail::FrameReadAhead::Lease lease;
                if (reader != nullptr && reader->take(index, &prepared, &lease))
                    detail::ProcessorAccess::finishFrame(processor, std::move(prepared), index,
                                                         plan.smallImage, okFlag, &errorText);
                else
                    registerWithinBudget(processor, plan, budget, index, okFlag, &errorText);
                // This batch is the run's last: prepare nothing more.
                if (!*okFlag && reader != nullptr) reader->holdBack();
            };
            try {
                batch.push_back(callbacks.startThread ? callbacks.startThread(std::move(work))
                                                      : std::thread(std::move(work)));
                next = index + 1;
            } catch (const std::system_error& error) {
                // The threads already running still finish before the run ends.
                startFailed = true;
                result.message = threadStartMessage(index, plan.filePaths[index], error);
                break;
            }
        }

        for (std::thread& thread : batch) {
            thread.join();
            progress(next);
        }
        for (int index = first; index < next; ++index)
            if (!frameOk[index - first]) result.failedImages.push_back(index);
        batch.clear();

        if (startFailed) {
            result.outcome = RunOutcome::ThreadStartFailed;
            return result;
        }
        if (!result.failedImages.empty()) {
            result.outcome = RunOutcome::FrameFailed;
            result.message = errorText;
            return result;
        }
    }

    result.outcome = RunOutcome::Completed;
    return result;
}

}  // namespace Tellvar
