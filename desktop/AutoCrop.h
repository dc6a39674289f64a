#pragma once
// The worker thread of one automatic run: builds the engine's processor,
// registers the reference frame, hands the other frames out in batches of
// per-frame threads and ends the run with its message.
//
// The worker never touches a window itself. Everything the user sees goes
// through the main window's event queue, in the order the run produces it:
//  - progress: wxEVT_TEXT, id idRunProgress, GetInt() = images handed out
//    so far, the reference frame included; never waited for;
//  - message boxes: run on the GUI thread; the worker waits until the user
//    has dismissed each one before its next step;
//  - wxEVT_THREAD, id idCloseProgress: the progress dialog is to close now;
//  - wxEVT_THREAD, id idRunEnded: the run is over; its payload
//    is a std::shared_ptr<std::promise<void>> that the main window fulfils
//    once it has let go of the worker. The worker returns from Entry() only
//    after that, so a pointer to it held by the GUI never outlives it.
//
// Cancelling is wxThread::Delete() from the GUI thread. For a detached thread
// on this platform that only raises the flag TestDestroy() reads, which the
// worker looks at before each batch, so a cancel never blocks the GUI.

#include "AutoData.h"
#include "CommandIds.h"

#include <wx/string.h>
#include <wx/thread.h>

#include "EngineText.h"

#include <functional>
#include <string>
#include <thread>

class wxDialog;
class wxFrame;

class AutoCrop : public wxThread {
public:
    AutoCrop(wxFrame* frame, wxDialog* dialog, AutoData data, int threadCount, bool stackEnabled);
    ~AutoCrop() override;

    ExitCode Entry() override;
    void OnExit() override;

    wxFrame* mainFrame = nullptr;
    // The run's progress dialog. The worker never touches it: it asks the
    // main window to close it, so that the window forgets it at the same time.
    wxDialog* progressDialog = nullptr;
    int cropX = 0;
    int cropY = 0;
    int cropWidth = 0;
    int cropHeight = 0;
    int imageCount = 0;
    int typeCode = 0;
    int searchPerimeter = 0;
    int threadCount = 1;
    std::string* fileNames = nullptr;
    std::string* filePaths = nullptr;
    std::string outputFolder;
    bool smallImage = false;
    bool stackEnabled = false;

    // Starts each per-frame thread; empty means std::thread. Set before Run()
    // only to inject a failing start in tests.
    std::function<std::thread(std::function<void()>)> startFrameThread;

private:
    void runAll();
    void postProgress(int handedOut);
    // Shows a message box on the GUI thread and returns once it is dismissed.
    void showMessage(const wxString& text, const wxString& caption, long style);
    void showEngineMessage(const std::string& engineText, const wxString& caption, long style);
    void requestProgressDialogClose();
    // Tells the main window the run is over and waits until it has let go.
    void announceEnd();
};
