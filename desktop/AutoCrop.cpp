#include "AutoCrop.h"

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "EngineText.h"

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>

#include <future>
#include <memory>

namespace {

wxString completionText(const std::string& outputFolder) {
    return "Tellvar has completed all operations and your image files have been saved in the "
           "following folder.\n\n" +
           fromEngineText(outputFolder) +
           "\n\nIf you want to change this location for future runs please use the options "
           "drop down menu.";
}

}  // namespace

AutoCrop::AutoCrop(wxFrame* frame, wxDialog* dialog, AutoData data, int threadCount,
                   bool stackEnabled)
    : wxThread(wxTHREAD_DETACHED),
      mainFrame(frame),
      progressDialog(dialog),
      cropX(data.cropX),
      cropY(data.cropY),
      cropWidth(data.cropWidth),
      cropHeight(data.cropHeight),
      imageCount(data.imageCount),
      typeCode(data.typeCode),
      searchPerimeter(data.searchPerimeter),
      threadCount(threadCount),
      fileNames(data.fileNames),
      filePaths(data.filePaths),
      outputFolder(data.outputFolder),
      smallImage(data.smallImage),
      stackEnabled(stackEnabled) {}

AutoCrop::~AutoCrop() = default;

wxThread::ExitCode AutoCrop::Entry() {
    runAll();
    announceEnd();
    return 0;
}

void AutoCrop::OnExit() {}

void AutoCrop::runAll() {
    Tellvar::MainProcessor processor(cropX, cropY, cropWidth, cropHeight, fileNames, outputFolder,
                                     typeCode, stackEnabled);

    Tellvar::RunPlan plan;
    plan.filePaths = filePaths;
    plan.imageCount = imageCount;
    plan.searchPerimeter = searchPerimeter;
    plan.threadCount = threadCount;
    plan.smallImage = smallImage;

    Tellvar::RunCallbacks callbacks;
    callbacks.progress = [this](int handedOut) { postProgress(handedOut); };
    callbacks.cancelRequested = [this] { return TestDestroy(); };
    callbacks.startThread = startFrameThread;

    const Tellvar::RunResult result = Tellvar::runRegistration(processor, plan, callbacks);

    switch (result.outcome) {
        case Tellvar::RunOutcome::ReferenceFailed:
            showEngineMessage(result.message, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
            requestProgressDialogClose();
            return;

        case Tellvar::RunOutcome::Cancelled:
            // The progress dialog is waiting for this end and closes with it.
            showMessage("Cancellation Request Completed", wxMessageBoxCaptionStr, wxOK | wxCENTRE);
            processor.cleanReference();
            return;

        case Tellvar::RunOutcome::FrameFailed:
        case Tellvar::RunOutcome::ThreadStartFailed:
            showEngineMessage(result.message, "ERROR", wxICON_ERROR);
            processor.cleanReference();
            requestProgressDialogClose();
            return;

        case Tellvar::RunOutcome::Completed:
            // The user acknowledges the completion before anything is released.
            showMessage(completionText(outputFolder), "Completed", wxICON_INFORMATION);
            processor.cleanReference();
            requestProgressDialogClose();
            if (stackEnabled) {
                std::string errorText;
                if (!processor.StackImages(imageCount, &errorText)) {
                    showEngineMessage(errorText, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
                }
            }
            return;
    }
}

void AutoCrop::postProgress(int handedOut) {
    wxCommandEvent progress(wxEVT_TEXT, idRunProgress);
    progress.SetInt(handedOut);
    wxQueueEvent(mainFrame->GetEventHandler(), progress.Clone());
}

void AutoCrop::showEngineMessage(const std::string& engineText, const wxString& caption,
                                 long style) {
    showMessage(fromEngineText(engineText), caption, style);
}

void AutoCrop::showMessage(const wxString& text, const wxString& caption, long style) {
    auto dismissed = std::make_shared<std::promise<void>>();
    std::future<void> acknowledged = dismissed->get_future();
    // wxString copies are deep, so the box owns its texts on the GUI thread.
    mainFrame->CallAfter([text, caption, style, dismissed] {
        wxMessageBox(text, caption, style);
        dismissed->set_value();
    });
    // Also returns if the request is dropped unhandled: the promise is then
    // destroyed unfulfilled and the future becomes ready.
    acknowledged.wait();
}

void AutoCrop::requestProgressDialogClose() {
    wxQueueEvent(mainFrame->GetEventHandler(), new wxThreadEvent(wxEVT_THREAD, idCloseProgress));
}

void AutoCrop::announceEnd() {
    auto released = std::make_shared<std::promise<void>>();
    std::future<void> done = released->get_future();
    auto* ended = new wxThreadEvent(wxEVT_THREAD, idRunEnded);
    ended->SetPayload(released);
    released.reset();
    wxQueueEvent(mainFrame->GetEventHandler(), ended);
    done.wait();
}
