// The batch loop of an automatic run.

#include "Brennock/RunLoop.h"

#include "Brennock/MainProcessor.h"
#include "codecs/FrameLimits.h"
#include "processor/ProcessorAccess.h"
#include "run/FrameBudget.h"
#include "run/FrameReadAhead.h"
#include "run/FrameStacks.h"
#include "run/FrameThread.h"
#include "run/OutputClash.h"
#include "run/ShortSlice.h"

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

// Everything before the first batch: the run's outputs, the reference
// frame's size and its registration. False, with the outcome and message
// in *result, when the run stops there.
bool registerReferenceFrame(MainProcessor& processor, const RunPlan& plan, FrameBudget& budget,
                            RunResult* result) {
    result->outcome = RunOutcome::ReferenceFailed;
    result->message = detail::outputClash(processor, plan);
    if (!result->message.empty()) return false;
    result->message = referenceExceedsBudget(processor, plan.filePaths[0], budget);
    if (!result->message.empty()) return false;

    std::string errorText;
    const bool referenceSet =
        plan.smallImage ? processor.setReferenceFrameSmallImage(plan.filePaths[0], &errorText)
                        : processor.setReferenceFrame(plan.filePaths[0], &errorText);
    if (!referenceSet) {
        result->message = errorText;
        return false;
    }
    result->outcome = RunOutcome::Completed;
    return true;
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

// The images 1 .. imageCount - 1 in batches: each batch is launched, one
// thread per image, and joined in slot order before the next.
class Batches {
public:
    Batches(MainProcessor& processor, const RunPlan& plan, const RunCallbacks& callbacks,
            FrameBudget& budget, RunResult* result)
        : processor_(processor),
          plan_(plan),
          callbacks_(callbacks),
          budget_(budget),
          result_(*result),
          threadCount_(std::max(1, plan.threadCount)),
          // One success flag per thread of a batch, so the loop knows which
          // images failed; the run message stays shared and keeps the first
          // failure.
          frameOk_(new bool[static_cast<std::size_t>(threadCount_)]),
          stacks_(threadCount_, detail::kFrameThreadStack) {
        batch_.reserve(static_cast<std::size_t>(threadCount_));
    }

    // Sets the outcome and message in the result.
    void run();

private:
    // Starts the threads of the images first .. end - 1; false (with the
    // message) when one could not be started, the images before it running.
    bool launch(int first, int end);
    // Joins the running threads in slot order, reporting progress after
    // each, and notes which of the images from first failed.
    void join(int first);
    std::function<void()> work(int index, bool* okFlag);
    void progress(int handedOut);

    MainProcessor& processor_;
    const RunPlan& plan_;
    const RunCallbacks& callbacks_;
    FrameBudget& budget_;
    RunResult& result_;
    const int threadCount_;
    const std::unique_ptr<bool[]> frameOk_;
    // Slot i of every batch runs on stack i; declared before the threads,
    // so it outlives any of them.
    const detail::FrameStacks stacks_;
    std::vector<detail::FrameThread> batch_;
    std::string errorText_;  // the run message
    int next_ = 1;           // the next image to hand out
    // Created at the first batch, so that a run cancelled during its
    // reference frame, or whose reference failed, reads no other image.
    std::unique_ptr<detail::FrameReadAhead> readAhead_;
};

void Batches::run() {
    while (next_ < plan_.imageCount) {
        if (callbacks_.cancelRequested && callbacks_.cancelRequested()) {
            result_.outcome = RunOutcome::Cancelled;
            return;
        }
        // Preparing ahead pays only when a batch follows another, batches of
        // one image included: a reader keeps its working memory from frame
        // to frame, where a thread per image would map it afresh for each
        // (thousands of page faults a frame for a large crop). Twice the
        // batch in flight lets the readers run a batch ahead of the one
        // being finished.
        if (!readAhead_ && plan_.imageCount - next_ > threadCount_)
            readAhead_ = std::make_unique<detail::FrameReadAhead>(
                processor_, plan_.filePaths, next_, plan_.imageCount, plan_.searchPerimeter,
                plan_.smallImage, budget_, threadCount_, 2 * threadCount_);

        const int first = next_;
        const bool started = launch(first, std::min(plan_.imageCount, first + threadCount_));
        join(first);
        if (!started) {
            result_.outcome = RunOutcome::ThreadStartFailed;
            return;
        }
        if (!result_.failedImages.empty()) {
            result_.outcome = RunOutcome::FrameFailed;
            result_.message = errorText_;
            return;
        }
    }
    result_.outcome = RunOutcome::Completed;
}

bool Batches::launch(int first, int end) {
    for (int index = first; index < end; ++index) {
        bool* okFlag = &frameOk_[index - first];
        *okFlag = true;
        try {
            std::function<void()> task = work(index, okFlag);
            if (callbacks_.startThread)
                batch_.emplace_back(callbacks_.startThread(std::move(task)));
            else
                batch_.emplace_back(std::move(task), stacks_.stack(index - first));
            next_ = index + 1;
        } catch (const std::system_error& error) {
            // The threads already running still finish before the run ends.
            result_.message = threadStartMessage(index, plan_.filePaths[index], error);
            return false;
        }
    }
    return true;
}

void Batches::join(int first) {
    for (detail::FrameThread& thread : batch_) {
        thread.join();
        progress(next_);
    }
    for (int index = first; index < next_; ++index)
        if (!frameOk_[index - first]) result_.failedImages.push_back(index);
    batch_.clear();
}

std::function<void()> Batches::work(int index, bool* okFlag) {
    detail::FrameReadAhead* reader = readAhead_.get();
    return [this, okFlag, index, reader] {
        detail::PreparedFrame prepared;
        detail::FrameReadAhead::Lease lease;
        // With the frame prepared ahead, this thread's whole work is the
        // batch's last step (ShortSlice.h).
        if (reader != nullptr) detail::requestShortSlice();
        if (reader != nullptr && reader->take(index, &prepared, &lease))
            detail::ProcessorAccess::finishFrame(processor_, std::move(prepared), index,
                                                 plan_.smallImage, okFlag, &errorText_);
        else
            registerWithinBudget(processor_, plan_, budget_, index, okFlag, &errorText_);
        // This batch is the run's last: prepare nothing more.
        if (!*okFlag && reader != nullptr) reader->holdBack();
    };
}

void Batches::progress(int handedOut) {
    result_.imagesHandedOut = handedOut;
    if (callbacks_.progress) callbacks_.progress(handedOut);
}

}  // namespace

RunResult runRegistration(MainProcessor& processor, const RunPlan& plan,
                          const RunCallbacks& callbacks) {
    RunResult result;
    if (plan.imageCount < 1 || plan.filePaths == nullptr) {
        result.outcome = RunOutcome::ReferenceFailed;
        result.message = "There are no images to process.";
        return result;
    }

    result.imagesHandedOut = 1;
    if (callbacks.progress) callbacks.progress(1);
    FrameBudget defaultBudget(plan.frameBudget != nullptr ? 0 : FrameBudget::fromPhysicalMemory());
    FrameBudget& budget = plan.frameBudget != nullptr ? *plan.frameBudget : defaultBudget;
    if (!registerReferenceFrame(processor, plan, budget, &result)) return result;

    Batches(processor, plan, callbacks, budget, &result).run();
    return result;
}

}  // namespace Tellvar
