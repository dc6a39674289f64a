#pragma once
// The modeless window beside an automatic run: worker thread count, images
// still to hand out, a gauge, and CANCEL.

#include <wx/dialog.h>

class wxButton;
class wxGauge;
class wxGridBagSizer;
class wxPanel;
class wxTextCtrl;
class wxThread;

class UI_ProgressDialog : public wxDialog {
public:
    UI_ProgressDialog(const wxString& title, int total, int threadCount);
    ~UI_ProgressDialog() override;

    void initGUI(int threadCount, int total);
    // done: images handed out so far, the reference frame included.
    void setValues(int done);
    // The run's worker, which CANCEL asks to stop; nullptr once it has ended.
    void setCancellationPointer(wxThread* thread);
    void onCancel(wxCommandEvent& event);
    // Cancels the run as a confirmed CANCEL does, without asking: the wait
    // text replaces the controls and the worker is asked to stop. Also the
    // main window's close during a run, after which CANCEL asks nothing.
    void cancelRun();

    // True once CANCEL has been confirmed: the dialog then waits, showing its
    // wait text, until the run's end closes it.
    bool isCancelling() const { return cancelling; }

    // Closes the dialog. While CANCEL's question is open the run's end may
    // come: the dialog then stays until the question has been answered and
    // closes then, so that the late answer finds it still there.
    bool Destroy() override;

    int totalImages = 0;
    wxThread* worker = nullptr;
    wxPanel* threadsPanel = nullptr;
    wxTextCtrl* threadCountText = nullptr;
    wxPanel* remainingPanel = nullptr;
    wxTextCtrl* remainingText = nullptr;
    wxGauge* progressGauge = nullptr;
    wxButton* cancelRunButton = nullptr;
    wxGridBagSizer* dialogSizer = nullptr;

private:
    void showWaitText();

    bool cancelling = false;
    // CANCEL's question is open.
    bool asking = false;
    // The run's end asked to close the dialog while the question was open.
    bool closeAfterQuestion = false;

    wxDECLARE_EVENT_TABLE();
};
