// The automatic run launcher of the main window, and the GUI side of a run:
// progress, the worker's requests, and closing the window: during a run, and
// never while one of its handlers (with the dialogs and boxes it opened) runs.

#include "CommandIds.h"
#include "UI_TLCrop.h"

#include "AutoCrop.h"
#include "AutoData.h"
#include "InputType.h"
#include "SaveFolder.h"
#include "UI_ConfDialog.h"
#include "UI_ProgressDialog.h"

#include <wx/msgdlg.h>

#include <future>
#include <memory>
#include <string>
#include <vector>

namespace {

// Images narrower or lower than this are searched once, at full resolution.
constexpr int kSmallImageWidth = 320;
constexpr int kSmallImageHeight = 240;

// The run's files in the engine's encoding, reference frame first, and the
// output folder.
struct EngineInputs {
    std::vector<std::string> paths;
    std::vector<std::string> names;
    std::string outputFolder;
};

void refuseUnrepresentablePath(const wxString& path) {
    wxMessageBox("Tellvar cannot hand the following path to its image engine:\n\n" + path +
                     "\n\nPlease rename the file or folder so that its name holds only valid "
                     "characters and start the procedure again.",
                 "ERROR", wxICON_ERROR);
}

// Everything a run needs from the window, checked before the user is asked:
// no second run, a set that passed validation, a reference frame inside the
// set, texts the engine can take and a save folder. Each refusal shows its
// message and returns false.
bool prepareEngineInputs(const UI_TLCrop& frame, EngineInputs* inputs) {
    if (frame.runInProgress()) {
        wxMessageBox(
            "An automatic procedure is already running.\n\nPlease wait until it has "
            "finished, or cancel it, before you start another one.",
            "WARNING", wxICON_EXCLAMATION);
        return false;
    }

    // The engine registers every frame against the reference at one size and
    // in one format; only validation makes sure of that. The start commands
    // can be enabled again after a failed validation (choosing an output
    // format applies the mode anew), so the set itself is asked here.
    if (!frame.validated) {
        wxMessageBox(
            "Tellvar cannot start the automatic procedure because your images have not "
            "passed validation.\n\nThe fully automatic mode requires that all your "
            "images are exactly the same size and are of the same file type. Please "
            "remove any incorrect images, click the Validate Images toolbar option in "
            "the fully automatic mode and start the procedure again.",
            "ERROR", wxICON_ERROR);
        return false;
    }

    const int count = frame.imageNames ? static_cast<int>(frame.imageNames->GetCount()) : 0;
    const bool listsAgree = frame.imagePaths && frame.imageNames &&
                            frame.imagePaths->GetCount() == frame.imageNames->GetCount();
    if (!listsAgree || count == 0 || !frame.referenceSet || frame.referenceIndex < 0 ||
        frame.referenceIndex >= count) {
        wxMessageBox(
            "Tellvar cannot start the automatic procedure without a reference frame."
            "\n\nPlease select the best reference frame with Set Reference Frame and "
            "start the procedure again.",
            "ERROR", wxICON_ERROR);
        return false;
    }

    // Reference row first, then the other rows in list order.
    std::vector<int> order{frame.referenceIndex};
    for (int row = 0; row < count; ++row) {
        if (row != frame.referenceIndex) order.push_back(row);
    }
    for (int row : order) {
        std::string path;
        std::string name;
        const wxString& widePath = (*frame.imagePaths)[row];
        if (!toEngineText(widePath, &path) || !toEngineText((*frame.imageNames)[row], &name)) {
            refuseUnrepresentablePath(widePath);
            return false;
        }
        inputs->paths.push_back(std::move(path));
        inputs->names.push_back(std::move(name));
    }
    if (!toEngineText(frame.options.saveFolder, &inputs->outputFolder)) {
        refuseUnrepresentablePath(frame.options.saveFolder);
        return false;
    }
    return saveFolderReady(frame.options.saveFolder);
}

// Copies the entries into an array one longer than the set, the last entry
// left empty.
std::unique_ptr<std::string[]> toRunArray(std::vector<std::string>& entries) {
    auto array = std::make_unique<std::string[]>(entries.size() + 1);
    for (std::size_t i = 0; i < entries.size(); ++i) array[i] = std::move(entries[i]);
    return array;
}

// What the run summary shows of the window's state.
ImageData runSummary(const UI_TLCrop& frame) {
    ImageData summary;
    summary.cropWidth = frame.cropWidth;
    summary.cropHeight = frame.cropHeight;
    summary.imageWidth = frame.imageWidth;
    summary.imageHeight = frame.imageHeight;
    summary.imageCount = frame.imageCount;
    summary.outputFormat = frame.options.outputFormat;
    summary.saveFolder = frame.options.saveFolder;
    summary.referenceFrame = (*frame.imageNames)[frame.referenceIndex];
    return summary;
}

// The per-frame threads of one batch: one per hardware thread, or one when
// the platform reports none (said in a box, even when the user asked for a
// single processor) or the user asked for a single processor.
int runThreadCount(const UI_TLCrop& frame, bool singleThread) {
    int threads = static_cast<int>(frame.hardwareThreadCount ? frame.hardwareThreadCount() : 0);
    if (threads <= 0) {
        wxMessageBox(
            "Unable to determine the number of cores on your CPU.\n\nThe Application "
            "will run on one thread. Running on a single core is MUCH slower then "
            "running multi core. Please report this problem to the developer.",
            wxMessageBoxCaptionStr, wxOK | wxCENTRE);
        threads = 1;
    }
    if (singleThread) threads = 1;
    return threads;
}

void reportThreadFailure(const wxString& step) {
    wxMessageBox("The application has been unable to " + step +
                     " the worker thread. Please contact the developer for support.",
                 "Critical Error", wxICON_ERROR);
}

}  // namespace

void UI_TLCrop::mainProcedure(int x, int y) {
    EngineInputs inputs;
    if (!prepareEngineInputs(*this, &inputs)) return;

    const ImageData summary = runSummary(*this);
    const int typeCode = engineTypeCode(inputExtension);

    bool cancelled = false;
    bool singleThread = false;
    auto* summaryDialog = new UI_ConfDialog("Configuration", summary, &cancelled, &singleThread);
    summaryDialog->ShowModal();
    if (cancelled) return;

    const int runImageCount = static_cast<int>(inputs.names.size());
    std::unique_ptr<std::string[]> paths = toRunArray(inputs.paths);
    std::unique_ptr<std::string[]> names = toRunArray(inputs.names);

    AutoData data;
    data.imageCount = runImageCount;
    data.cropWidth = cropWidth;
    data.cropHeight = cropHeight;
    // The engine takes the corner exactly as this window holds it, 0-based.
    data.cropX = x;
    data.cropY = y;
    data.searchPerimeter = options.searchPerimeter;
    data.typeCode = typeCode;
    data.outputFolder = inputs.outputFolder;
    data.filePaths = paths.get();
    data.fileNames = names.get();
    data.smallImage = imageWidth < kSmallImageWidth || imageHeight < kSmallImageHeight;

    const int threads = runThreadCount(*this, singleThread);

    progressDialog = new UI_ProgressDialog("Tellvar Progress...", data.imageCount, threads);
    auto* worker = new AutoCrop(this, progressDialog, data, threads, options.stackEnabled);
    worker->startFrameThread = frameThreadStarter;
    progressDialog->setCancellationPointer(worker);
    if (!startWorker(worker)) return;

    // From here the run belongs to the worker; the arrays stay until it ends.
    runWorker = worker;
    runFilePaths = std::move(paths);
    runFileNames = std::move(names);
}

bool UI_TLCrop::startWorker(AutoCrop* worker) {
    // A failed start leaves no run behind: the hidden dialog is closed before
    // anything is shown, so no event can reach it, and the worker goes the
    // way its state allows.
    if (worker->Create() != wxTHREAD_NO_ERROR) {
        // No thread was made: the object is still ours to delete.
        closeProgressDialog();
        delete worker;
        reportThreadFailure("create");
        return false;
    }
    if ((workerThreadStarter ? workerThreadStarter(*worker) : worker->Run()) != wxTHREAD_NO_ERROR) {
        // The thread exists and waits to be started. Delete() lets it end
        // without running the run, and the thread then deletes the worker
        // itself; deleting it here would pull its state from under it.
        closeProgressDialog();
        worker->Delete();
        reportThreadFailure("run");
        return false;
    }
    return true;
}

void UI_TLCrop::onAutoStart(wxCommandEvent&) { mainProcedure(cropX, cropY); }

void UI_TLCrop::onThreadUpdate(wxCommandEvent& event) {
    // The dialog closes after the run's last progress event has been queued,
    // but a progress event must never reach a dialog that is gone.
    if (progressDialog == nullptr) return;
    progressDialog->Show(true);
    progressDialog->setValues(event.GetInt());
}

void UI_TLCrop::onRunEvent(wxThreadEvent& event) {
    switch (event.GetId()) {
        case idCloseProgress: closeProgressDialog(); break;

        case idRunEnded: {
            // The worker has destroyed its processor and waits for this
            // handler: let go of everything that pointed at it, then let it go.
            closeProgressDialog();
            runWorker = nullptr;
            runFilePaths.reset();
            runFileNames.reset();
            event.GetPayload<std::shared_ptr<std::promise<void>>>()->set_value();
            if (closeWhenRunEnds) destroyWhenNoHandlerRuns();
            break;
        }

        default: event.Skip(); break;
    }
}

void UI_TLCrop::onCloseWindow(wxCloseEvent& event) {
    if (!runInProgress()) {
        destroyWhenNoHandlerRuns();
        return;
    }
    // Never destroy the window under a running worker: ask it to stop before
    // its next batch and close when its end has been handled.
    if (!closeWhenRunEnds) {
        closeWhenRunEnds = true;
        // The close cancels the run as a confirmed CANCEL does, and the
        // progress dialog shows it; its question then no longer comes up,
        // so no box of it can be open when the window goes.
        if (progressDialog)
            progressDialog->cancelRun();
        else
            runWorker->Delete();
    }
    if (event.CanVeto()) event.Veto();
}

bool UI_TLCrop::ProcessEvent(wxEvent& event) {
    ++handlersRunning;
    const bool handled = wxFrame::ProcessEvent(event);
    --handlersRunning;
    if (handlersRunning == 0 && destroyRequested) {
        destroyRequested = false;
        Destroy();
    }
    return handled;
}

void UI_TLCrop::destroyWhenNoHandlerRuns() {
    if (handlersRunning == 0)
        Destroy();
    else
        destroyRequested = true;
}

void UI_TLCrop::closeProgressDialog() {
    if (progressDialog == nullptr) return;
    progressDialog->setCancellationPointer(nullptr);
    progressDialog->Destroy();
    progressDialog = nullptr;
}
