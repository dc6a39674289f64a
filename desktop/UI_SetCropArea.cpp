#include "UI_SetCropArea.h"

#include "DialogGrid.h"
#include "DialogSizing.h"

#include <wx/button.h>
#include <wx/gbsizer.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <climits>

namespace {

// Control ids of this dialog; each dialog numbers its own from 1000 up.
enum ControlId {
    idCancel = 1000,
    idAccept = 1001,
};

void showTooLarge() {
    wxMessageBox(
        "Crop area must not be greater than the actual image size.\n\nPlease Refer to the actual "
        "size of the image which is displayed on the dialog.",
        "Crop Size Error", wxICON_ERROR);
}

void showNotPositive() {
    wxMessageBox(
        "Crop width and height must be positive whole numbers.\n\nPlease enter a width and a "
        "height of at least 1 pixel.",
        "Crop Size Error", wxICON_ERROR);
}

}  // namespace

CropEntry readCropEntry(const wxString& text) {
    auto it = text.begin();
    const auto end = text.end();
    while (it != end && wxIsspace(*it)) ++it;

    bool negative = false;
    if (it != end && (*it == '+' || *it == '-')) {
        negative = (*it == '-');
        ++it;
    }

    // Accumulate in a wide type and stop growing once past INT_MAX, so that
    // no length of digits can wrap round into a small, plausible size.
    long long magnitude = 0;
    bool anyDigit = false;
    for (; it != end && *it >= '0' && *it <= '9'; ++it) {
        anyDigit = true;
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (*it - '0');
    }

    if (!anyDigit || magnitude == 0) return {CropEntryKind::none, 0};
    if (negative) return {CropEntryKind::negative, 0};
    if (magnitude > INT_MAX) return {CropEntryKind::tooLarge, 0};
    return {CropEntryKind::positive, static_cast<int>(magnitude)};
}

wxBEGIN_EVENT_TABLE(UI_SetCropArea, wxDialog)
    EVT_BUTTON(idCancel, UI_SetCropArea::onCancel)
    EVT_BUTTON(idAccept, UI_SetCropArea::onAccept)
    EVT_CLOSE(UI_SetCropArea::onClose)
wxEND_EVENT_TABLE()

UI_SetCropArea::UI_SetCropArea(const wxString& title, bool* cancelledFlag, int width, int height,
                               wxString bitDepth, int* widthOut, int* heightOut)
    : cancelled(cancelledFlag),
      cropWidth(widthOut),
      cropHeight(heightOut),
      imageWidth(width),
      imageHeight(height) {
    Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE);
    initGUI();
    bitDepthText->ChangeValue(bitDepth);
    imageSizeText->ChangeValue(wxString::Format("%d", width) + " x " +
                               wxString::Format("%d", height));

    // The two boxes are for reading: widen them when their text needs more
    // than the designed width (large fonts, long captions).
    fitDisplayBox(bitDepthText);
    fitDisplayBox(imageSizeText);
    Layout();
    fitAndCentre(this);
}

void UI_SetCropArea::fitDisplayBox(wxTextCtrl* box) {
    const wxSize needed = box->GetSizeFromTextSize(box->GetTextExtent(box->GetValue()));
    box->SetMinSize(wxSize(std::max(110, needed.x), -1));
}

// The controls are child windows and go with the dialog.
UI_SetCropArea::~UI_SetCropArea() = default;

void UI_SetCropArea::initGUI() {
    SetSizeHints(wxDefaultSize, wxDefaultSize);

    wxStaticBoxSizer* propertiesGroup = initPropertiesGroup();
    wxStaticBoxSizer* dimensionsGroup = initDimensionsGroup();

    acceptButton = new wxButton(this, idAccept, "Accept");
    setMinSizeAtLeast(acceptButton, wxSize(105, 25));
    acceptButton->SetDefault();
    cancelButton = new wxButton(this, idCancel, "Cancel");
    setMinSizeAtLeast(cancelButton, wxSize(105, 25));

    auto* outerGrid = newDialogGrid();
    outerGrid->Add(propertiesGroup, wxGBPosition(0, 0), wxGBSpan(1, 2),
                   wxALL | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL | wxEXPAND, 7);
    outerGrid->Add(dimensionsGroup, wxGBPosition(1, 0), wxGBSpan(1, 2), wxALL, 7);
    outerGrid->Add(acceptButton, wxGBPosition(2, 0), wxGBSpan(1, 1), wxALL, 5);
    outerGrid->Add(cancelButton, wxGBPosition(2, 1), wxGBSpan(1, 1), wxALL, 5);

    auto* dialogSizer = new wxBoxSizer(wxVERTICAL);
    dialogSizer->Add(outerGrid, 1, wxEXPAND, 5);
    SetSizer(dialogSizer);
    Layout();
    widthText->SetFocus();
}

wxStaticBoxSizer* UI_SetCropArea::initPropertiesGroup() {
    auto* propertiesGroup =
        new wxStaticBoxSizer(new wxStaticBox(this, wxID_ANY, "Image Properties"), wxVERTICAL);
    bitDepthLabel = new wxStaticText(this, wxID_ANY, "Bit Depth:");
    bitDepthLabel->Wrap(-1);
    bitDepthText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(110, -1),
                                  wxTE_READONLY);
    imageSizeLabel = new wxStaticText(this, wxID_ANY, "Image Size:");
    imageSizeLabel->Wrap(-1);
    imageSizeText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                   wxSize(110, -1), wxTE_READONLY);

    auto* propertiesGrid = newDialogGrid();
    propertiesGrid->Add(bitDepthLabel, wxGBPosition(0, 0), wxGBSpan(1, 1),
                        wxALL | wxALIGN_CENTER_VERTICAL, 7);
    propertiesGrid->Add(bitDepthText, wxGBPosition(0, 1), wxGBSpan(1, 1),
                        wxALL | wxALIGN_CENTER_VERTICAL, 7);
    propertiesGrid->Add(imageSizeLabel, wxGBPosition(1, 0), wxGBSpan(1, 1),
                        wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 7);
    propertiesGrid->Add(imageSizeText, wxGBPosition(1, 1), wxGBSpan(1, 1),
                        wxALL | wxALIGN_CENTER_VERTICAL, 7);
    propertiesGroup->Add(propertiesGrid, 1, wxEXPAND, 5);
    return propertiesGroup;
}

wxStaticBoxSizer* UI_SetCropArea::initDimensionsGroup() {
    auto* dimensionsGroup = new wxStaticBoxSizer(
        new wxStaticBox(this, wxID_ANY, "Enter Crop Dimensions"), wxHORIZONTAL);
    dimensionsGroup->SetMinSize(wxSize(218, -1));
    widthText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(85, -1));
    timesLabel = new wxStaticText(this, wxID_ANY, "x");
    timesLabel->Wrap(-1);
    heightText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(85, -1));

    auto* dimensionsRow = new wxBoxSizer(wxHORIZONTAL);
    dimensionsRow->Add(widthText, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    dimensionsRow->Add(timesLabel, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    dimensionsRow->Add(heightText, 0, wxALL, 5);
    dimensionsGroup->Add(dimensionsRow, 1, 0, 5);
    return dimensionsGroup;
}

void UI_SetCropArea::onAccept(wxCommandEvent&) {
    const CropEntry width = readCropEntry(widthText->GetValue());
    const CropEntry height = readCropEntry(heightText->GetValue());

    // Nothing usable typed yet: stay open without a word.
    if (width.kind == CropEntryKind::none || height.kind == CropEntryKind::none) return;

    if (width.kind == CropEntryKind::negative || height.kind == CropEntryKind::negative) {
        showNotPositive();
        return;
    }
    if (width.kind == CropEntryKind::tooLarge || height.kind == CropEntryKind::tooLarge ||
        width.value > imageWidth || height.value > imageHeight) {
        showTooLarge();
        return;
    }

    *cropWidth = width.value;
    *cropHeight = height.value;
    endDialog(wxID_OK);
}

void UI_SetCropArea::onCancel(wxCommandEvent&) {
    *cancelled = true;
    endDialog(wxID_CANCEL);
}

void UI_SetCropArea::onClose(wxCloseEvent&) {
    *cancelled = true;
    endDialog(wxID_CANCEL);
}

void UI_SetCropArea::endDialog(int result) {
    // Destroy hides the dialog, which ends its modal loop, only while another
    // window is shown; end the loop here rather than when the dialog is deleted.
    if (IsModal()) EndModal(result);
    Destroy();
}
