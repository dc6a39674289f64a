#include "UI_ConfDialog.h"
#include "CommandIds.h"

#include "DialogGrid.h"
#include "DialogSizing.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/gbsizer.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbox.h>

namespace {

// Control ids of this dialog; each dialog numbers its own from 1000 up.
enum ControlId {
    idCancel = 1001,
    idStart = 1002,
    idSingleProcessor = 1003,
};

const wxString kRule(52, wxUniChar('-'));

// The engine writes every TIFF with 8 bits per sample, so both TIFF ids and
// any unknown value read the same.
wxString outputFormatName(int outputFormat) {
    switch (outputFormat) {
        case idOutputJpeg: return "JPEG";
        case idOutputBmp: return "Bitmap";
        default: return "TIFF (8 bit)";
    }
}

}  // namespace

wxBEGIN_EVENT_TABLE(UI_ConfDialog, wxDialog)
    EVT_BUTTON(idCancel, UI_ConfDialog::onCancel)
    EVT_BUTTON(idStart, UI_ConfDialog::onOK)
    EVT_CHECKBOX(idSingleProcessor, UI_ConfDialog::onComboBox)
    EVT_CLOSE(UI_ConfDialog::onClose)
wxEND_EVENT_TABLE()

UI_ConfDialog::UI_ConfDialog(const wxString& title, ImageData data, bool* cancelled,
                             bool* singleThread) {
    wxDialog::Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize,
                     wxDEFAULT_DIALOG_STYLE);
    initGUI();

    const wxString lines[] = {
        "Tellvar configured with the following parameters",
        kRule,
        wxString::Format("Images to Process  : %d", data.imageCount),
        wxString::Format("Initial Image Size : %d x %d", data.imageWidth, data.imageHeight),
        wxString::Format("Crop Size          : %d x %d", data.cropWidth, data.cropHeight),
        "Reference Frame    : " + data.referenceFrame,
        kRule,
        "Save File Format: " + outputFormatName(data.outputFormat),
        wxString(),
        "Image Save Location:",
        data.saveFolder,
    };
    for (const wxString& line : lines) parameterList->AppendAndEnsureVisible(line);

    // The caller has set both flags to false; they change only on user action.
    this->cancelled = cancelled;
    this->singleThread = singleThread;
}

UI_ConfDialog::~UI_ConfDialog() = default;

void UI_ConfDialog::initGUI() {
    SetSizeHints(wxDefaultSize, wxDefaultSize);

    wxGridBagSizer* grid = newDialogGrid();

    parameterList =
        new wxListBox(this, wxID_ANY, wxDefaultPosition, wxSize(360, 170), 0, nullptr, 0);
    grid->Add(parameterList, wxGBPosition(0, 0), wxGBSpan(1, 2), wxALL, 5);

    auto* optionsBox =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Compatibility Options"), wxVERTICAL);
    singleProcessorBox =
        new wxCheckBox(this, idSingleProcessor, "Run on Single Processor (For Older Computers)",
                       wxDefaultPosition, wxDefaultSize, 0);
    optionsBox->Add(singleProcessorBox, 0, wxALL, 10);
    grid->Add(optionsBox, wxGBPosition(1, 0), wxGBSpan(1, 2), wxALL | wxEXPAND, 8);

    startButton = new wxButton(this, idStart, "START", wxDefaultPosition, wxSize(230, -1), 0);
    grid->Add(startButton, wxGBPosition(2, 0), wxGBSpan(1, 1), wxALL, 5);

    cancelButton = new wxButton(this, idCancel, "Cancel", wxDefaultPosition, wxDefaultSize, 0);
    grid->Add(cancelButton, wxGBPosition(2, 1), wxGBSpan(1, 1), wxALL | wxEXPAND, 5);

    SetSizer(grid);
    Layout();
    fitAndCentre(this);
}

int UI_ConfDialog::ShowModal() {
    const int result = wxDialog::ShowModal();
    if (closeAfterModal) Destroy();
    return result;
}

void UI_ConfDialog::finish(int returnCode) {
    if (IsModal()) {
        closeAfterModal = true;
        EndModal(returnCode);
    } else {
        Destroy();
    }
}

void UI_ConfDialog::onCancel(wxCommandEvent&) {
    *cancelled = true;
    finish(wxID_CANCEL);
}

void UI_ConfDialog::onOK(wxCommandEvent&) { finish(wxID_OK); }

void UI_ConfDialog::onComboBox(wxCommandEvent&) {
    if (!singleProcessorBox->IsChecked()) {
        *singleThread = false;
        return;
    }
    wxMessageBox(
        "Checking this option will cause the application to run on one CPU core. This will "
        "also cause the cropping and registration process to run slower.\n\nThis option should "
        "not be used in most cases. Only select this option if the application does not run "
        "correctly on multiple cores.\n\nThe developer would be interested in hearing if you "
        "need to select this compatibility option.",
        "Warning Notification", wxICON_EXCLAMATION);
    *singleThread = true;
}

void UI_ConfDialog::onClose(wxCloseEvent&) {
    *cancelled = true;
    finish(wxID_CANCEL);
}
