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

    // True once CANCEL has been confirmed: the dialog then waits, showing its
    // wait text, until the run's end closes it.
    bool isCancelling() const { return cancelling; }

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

    wxDECLARE_EVENT_TABLE();
};
