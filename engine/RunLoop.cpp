// The batch loop of an automatic run.

#include "RunLoop.h"

#include "MainProcessor.h"
#include "MainProcessorInternal.h"
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
                plan.smallImage, threadCount, 2 * threadCount);

        const int first = next;
        const int end = std::min(plan.imageCount, next + threadCount);
        bool startFailed = false;
        for (int index = first; index < end; ++index) {
            bool* okFlag = &frameOk[index - first];
            *okFlag = true;
            detail::FrameReadAhead* reader = readAhead.get();
            std::function<void()> work = [&processor, &plan, &errorText, okFlag, index, reader] {
                detail::PreparedFrame prepared;
                detail::FrameReadAhead::Lease lease;
                if (reader != nullptr && reader->take(index, &prepared, &lease))
                    detail::ProcessorAccess::finishFrame(processor, std::move(prepared), index,
                                                         plan.smallImage, okFlag, &errorText);
                else if (plan.smallImage)
                    processor.processSmallImages(plan.filePaths[index], index, plan.searchPerimeter,
                                                 okFlag, &errorText);
                else
                    processor.setPhaseOne(plan.filePaths[index], index, plan.searchPerimeter,
                                          okFlag, &errorText);
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
