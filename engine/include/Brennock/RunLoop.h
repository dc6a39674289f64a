#pragma once
// The batch loop of one automatic run, shared by every driver of a run.
//
// runRegistration registers image 0 as the reference frame, then hands the
// images 1 .. imageCount - 1 out in batches of at most threadCount
// std::threads, one image per thread, and joins each batch in slot order
// before it starts the next. It reports progress through a callback:
// 1 before the reference frame is read, then, after every joined thread, the
// number of images handed out so far (reference included), so a batch of k
// threads reports the same number k times. It asks for cancellation only
// before a batch; a launched batch always runs to its end. It stops after a
// batch in which any image failed.
//
// The loop leaves the processor's reference data and stack sum alone: the
// caller decides when to call cleanReference and StackImages (a desktop
// worker shows its completion message first).
//
// Before anything is read or written the loop checks the run's output files
// (run/OutputClash.h): a run in which two outputs would be one file, or an
// output one of the run's inputs, is refused like a failed reference frame,
// with nothing written.
//
// Memory. The frames the loop's threads read are admitted against a budget
// (run/FrameBudget.h) before their pixels are allocated: a frame that does not
// fit beside those in memory waits for them, and one larger than the whole
// budget fails like an unreadable image (the reference frame before it is
// read).
//
// Preparing ahead. In a run of more than one batch on more than one thread,
// from the first batch on (never while the reference frame is registered),
// threadCount reader threads of the loop's own read the images in index
// order and search and crop each (run/FrameReadAhead.h); a per-frame thread
// then takes its image's crop and writes it, adds it to the stack or
// reports the image's failure. The readers run up to a batch ahead of the
// batch being finished, so no core idles until the slowest frame of a batch
// is done. Results, progress and cancellation are as without it: images are
// saved, summed and reported only in their batches. At most
// 2 x threadCount images are between the start of their reading and the
// end of their batch, of which at most threadCount hold a whole frame (one
// per reader; the others hold a crop), fewer when the frames' memory says so. When the run ends
// early, up to 2 x threadCount images after the last launched batch may already have been read and
// searched; they are dropped without a trace in the outputs.

#include "Brennock/Export.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace Tellvar {

// The engine's own bound on the frames in memory (run/FrameBudget.h);
// the program leaves the plan's pointer null.
class FrameBudget;
class MainProcessor;

enum class RunOutcome {
    Completed,          // every image registered and saved
    Cancelled,          // cancelRequested answered true before a batch
    ReferenceFailed,    // the outputs clash, or image 0 could not be registered; nothing
                        // else was read
    FrameFailed,        // an image of the last batch failed; the batch finished
    ThreadStartFailed,  // a per-frame thread could not be started
};

struct BRENNOCK_API RunPlan {
    const std::string* filePaths = nullptr;  // full paths, reference frame at index 0
    int imageCount = 0;                      // reference frame included
    int searchPerimeter = 0;
    int threadCount = 1;      // most threads per batch; values below 1 count as 1
    bool smallImage = false;  // register with the small-image operations
    // Bounds the frames in memory at once; null: half of the machine's
    // memory (FrameBudget::fromPhysicalMemory).
    FrameBudget* frameBudget = nullptr;
};

struct BRENNOCK_API RunCallbacks {
    // Images handed out so far, reference included. May be empty.
    std::function<void(int imagesHandedOut)> progress;
    // Asked before each batch. May be empty (never cancelled).
    std::function<bool()> cancelRequested;
    // Starts one per-frame thread. Empty means the engine's own per-frame
    // thread (a small stack, kept by the C library from batch to batch); a
    // starter may throw std::system_error, as std::thread does when the
    // system has no thread to give.
    std::function<std::thread(std::function<void()>)> startThread;
};

struct BRENNOCK_API RunResult {
    RunOutcome outcome = RunOutcome::Completed;
    // The complete user message of a failed run (the engine's own message for
    // reference and frame failures; of several failed images the one with
    // the lowest index); empty for completed and cancelled runs.
    std::string message;
    // Indices of the images that failed in the last batch, ascending.
    std::vector<int> failedImages;
    // Images handed out when the loop ended, reference included.
    int imagesHandedOut = 0;
};

// Runs on the calling thread and returns when every started thread has been
// joined. Never throws for a failed image or thread start.
BRENNOCK_API RunResult runRegistration(MainProcessor& processor, const RunPlan& plan,
                                       const RunCallbacks& callbacks);

}  // namespace Tellvar
