#include "UI_ProgressDialog.h"

#include "DialogGrid.h"
#include "DialogSizing.h"

#include <wx/button.h>
#include <wx/font.h>
#include <wx/gauge.h>
#include <wx/gbsizer.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include <algorithm>

namespace {

// Control ids of this dialog; each dialog numbers its own from 1000 up.
enum ControlId { idCancelRun = 1010 };

wxFont pointFont(int points) {
    return wxFont(points, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                  wxEmptyString, wxFONTENCODING_DEFAULT);
}

// A read-only number box of the given nominal size and font. GTK draws an
// entry's text at its font's full height and clips what does not fit, so the
// nominal size is a minimum: the box grows to show its number whole.
wxTextCtrl* makeNumberBox(wxWindow* parent, int value, const wxSize& nominal, int points) {
    const wxString text = wxString::Format("%i", value);
    auto* box = new wxTextCtrl(parent, wxID_ANY, text, wxDefaultPosition, wxSize(nominal.x, -1),
                               wxTE_READONLY | wxTE_CENTRE);
    box->SetFont(pointFont(points));
    box->InvalidateBestSize();
    const wxSize needed = box->GetSizeFromTextSize(box->GetTextExtent(text).x);
    box->SetInitialSize(wxSize(std::max(nominal.x, needed.x),
                               std::max({nominal.y, needed.y, box->GetBestSize().y})));
    return box;
}

}  // namespace

wxBEGIN_EVENT_TABLE(UI_ProgressDialog, wxDialog)
    EVT_BUTTON(idCancelRun, UI_ProgressDialog::onCancel)
wxEND_EVENT_TABLE()

UI_ProgressDialog::UI_ProgressDialog(const wxString& title, int total, int threadCount) {
    wxDialog::Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
                     wxDEFAULT_DIALOG_STYLE);
    initGUI(threadCount, total);
    totalImages = total;
}

UI_ProgressDialog::~UI_ProgressDialog() = default;

void UI_ProgressDialog::initGUI(int threadCount, int total) {
    SetSizeHints(wxDefaultSize, wxDefaultSize);

    dialogSizer = newDialogGrid();

    threadsPanel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxBORDER_THEME | wxTAB_TRAVERSAL);
    threadsPanel->SetMaxSize(wxSize(300, -1));
    wxGridBagSizer* panelGrid = newDialogGrid();

    auto* threadLabel = new wxStaticText(threadsPanel, wxID_ANY,
                                         "Number of Threads:", wxDefaultPosition, wxDefaultSize, 0);
    threadLabel->Wrap(-1);
    panelGrid->Add(threadLabel, wxGBPosition(0, 0), wxGBSpan(2, 1), wxALIGN_CENTER_VERTICAL | wxALL,
                   5);

    threadCountText = makeNumberBox(threadsPanel, threadCount, wxSize(40, 30), 15);
    panelGrid->Add(threadCountText, wxGBPosition(0, 2), wxGBSpan(2, 1), wxALIGN_CENTRE | wxALL, 5);

    remainingPanel =
        new wxPanel(threadsPanel, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
    auto* remainingSizer = new wxBoxSizer(wxVERTICAL);
    remainingText = makeNumberBox(remainingPanel, total, wxSize(50, 40), 20);
    // wxALIGN_CENTRE is dropped here: beside wxEXPAND in a vertical box it
    // means nothing, and wx asserts on the combination.
    remainingSizer->Add(remainingText, 0, wxEXPAND | wxALL, 5);
    panelGrid->Add(remainingPanel, wxGBPosition(0, 3), wxGBSpan(2, 1), wxEXPAND | wxALL, 5);

    progressGauge =
        new wxGauge(this, wxID_ANY, total, wxDefaultPosition, wxSize(-1, 30), wxGA_HORIZONTAL);
    progressGauge->SetValue(0);
    dialogSizer->Add(threadsPanel, wxGBPosition(0, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);
    dialogSizer->Add(progressGauge, wxGBPosition(1, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);

    cancelRunButton =
        new wxButton(this, idCancelRun, "CANCEL", wxDefaultPosition, wxDefaultSize, 0);
    dialogSizer->Add(cancelRunButton, wxGBPosition(2, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);

    remainingPanel->SetSizer(remainingSizer);
    remainingPanel->Layout();
    remainingSizer->Fit(remainingPanel);
    threadsPanel->SetSizer(panelGrid);
    // The 300-pixel limit must not cut off a large number at GTK's sizes.
    const int neededWidth = panelGrid->GetMinSize().x + threadsPanel->GetWindowBorderSize().x;
    if (neededWidth > 300) threadsPanel->SetMaxSize(wxSize(neededWidth, -1));
    threadsPanel->Layout();
    panelGrid->Fit(threadsPanel);
    SetSizer(dialogSizer);
    Layout();
    fitAndCentre(this);
}

void UI_ProgressDialog::setValues(int done) {
    progressGauge->SetValue(done);
    remainingText->SetValue(wxString::Format("%i", totalImages - done));
}

void UI_ProgressDialog::setCancellationPointer(wxThread* thread) { worker = thread; }

void UI_ProgressDialog::onCancel(wxCommandEvent&) {
    if (cancelling || asking) return;
    asking = true;
    const int answer = wxMessageBox(
        "This operation will cancel the cropping and registration procedure.\n\nDo you want to "
        "cancel all requests?",
        "WARNING", wxYES_NO | wxICON_QUESTION);
    asking = false;
    if (closeAfterQuestion) {
        // The run ended while the question was open, as it ended; there is
        // nothing left to stop, whatever the answer.
        Destroy();
        return;
    }
    if (answer != wxYES || cancelling) return;

    if (worker == nullptr) {
        // The run this dialog belonged to is over: there is nothing left to
        // stop, only the dialog to close.
        Destroy();
        return;
    }
    cancelRun();
}

void UI_ProgressDialog::cancelRun() {
    if (cancelling) return;
    showWaitText();
    // Raise the worker's stop flag and return at once. The worker looks at it
    // before its next batch, ends with its cancellation message, and the end
    // of the run closes this dialog.
    cancelling = true;
    if (worker) worker->Delete();
    worker = nullptr;
}

bool UI_ProgressDialog::Destroy() {
    if (asking) {
        // Not even hidden: the question may be the dialog's own child, and
        // it must stay in view until it is answered.
        closeAfterQuestion = true;
        return true;
    }
    return wxDialog::Destroy();
}

void UI_ProgressDialog::showWaitText() {
    // The client area, so that the frame of a window manager takes nothing
    // of it.
    SetClientSize(wxSize(300, 200));
    dialogSizer->ShowItems(false);

    auto* waitSizer = new wxBoxSizer(wxVERTICAL);
    auto* waitText = new wxStaticText(this, wxID_ANY, "Cancelling, Please Wait...",
                                      wxDefaultPosition, wxSize(300, 200), wxALIGN_CENTRE);
    waitText->Wrap(-1);
    waitText->SetFont(pointFont(14));
    waitSizer->Add(waitText, 0, wxTOP, 70);

    SetSizer(waitSizer, true);
    dialogSizer = nullptr;
    Layout();
    Centre(wxBOTH);
}
