#include "UI_OptionsDialog.h"

#include "DialogGrid.h"
#include "DialogSizing.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dirdlg.h>
#include <wx/gbsizer.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {

// Control ids of this dialog; each dialog numbers its own from 1000 up.
enum ControlId {
    idRed = 1000,
    idGreen = 1001,
    idBlue = 1002,
    idUseReticle = 1003,
    idColourPicker = 1004,
    idManual = 1005,
    idAutomatic = 1006,
    idStack = 1007,
    idChangeFolder = 1008,
    idAccept = 1009,
    idCancel = 1010,
    idPerimeter = 1011,
};

// Perimeters above this make the fine search slow enough to warrant advice.
constexpr long kAdvisedPerimeterLimit = 20;

const wxColour kPureRed(255, 0, 0);
const wxColour kPureGreen(0, 255, 0);
const wxColour kPureBlue(0, 0, 255);

// A framed group: a static box whose vertical sizer holds one grid.
wxStaticBoxSizer* newGroup(wxWindow* parent, const wxString& caption, wxGridBagSizer* grid) {
    auto* group = new wxStaticBoxSizer(new wxStaticBox(parent, wxID_ANY, caption), wxVERTICAL);
    group->Add(grid, 1, wxEXPAND | wxALL, 5);
    return group;
}

bool sameRgb(const wxColour& a, const wxColour& b) {
    return a.Red() == b.Red() && a.Green() == b.Green() && a.Blue() == b.Blue();
}

// The perimeter as chosen, or 0 when no choice is made. The choice only ever
// holds its own items, which are plain decimal numbers.
long chosenPerimeter(const wxComboBox* choice) {
    long value = 0;
    if (!choice->GetValue().ToLong(&value, 10)) return 0;
    return value;
}

}  // namespace

wxBEGIN_EVENT_TABLE(UI_OptionsDialog, wxDialog)
    EVT_BUTTON(idCancel, UI_OptionsDialog::onCancel)
    EVT_BUTTON(idAccept, UI_OptionsDialog::onOK)
    EVT_BUTTON(idChangeFolder, UI_OptionsDialog::onChangeDirectory)
    EVT_CHECKBOX(idUseReticle, UI_OptionsDialog::onUseReticle)
    EVT_CHECKBOX(idStack, UI_OptionsDialog::onStackImage)
    EVT_RADIOBUTTON(idAutomatic, UI_OptionsDialog::onCropMode)
    EVT_RADIOBUTTON(idManual, UI_OptionsDialog::onCropMode)
    EVT_COMBOBOX(idPerimeter, UI_OptionsDialog::onRadiusChange)
    EVT_RADIOBUTTON(idRed, UI_OptionsDialog::onPresetColourChange)
    EVT_RADIOBUTTON(idGreen, UI_OptionsDialog::onPresetColourChange)
    EVT_RADIOBUTTON(idBlue, UI_OptionsDialog::onPresetColourChange)
    EVT_COLOURPICKER_CHANGED(idColourPicker, UI_OptionsDialog::onColourPicker)
    EVT_CLOSE(UI_OptionsDialog::onClose)
wxEND_EVENT_TABLE()

UI_OptionsDialog::UI_OptionsDialog(const wxString& title)
    : wxDialog(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE) {
    initGUI();
}

// The controls are child windows and go with the dialog.
UI_OptionsDialog::~UI_OptionsDialog() = default;

void UI_OptionsDialog::initGUI() {
    SetFont(wxFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                   wxEmptyString));

    wxGridBagSizer* reticleGrid = initReticleGroup();
    wxGridBagSizer* modeGrid = initCropModeGroup();
    wxGridBagSizer* saveGrid = initSaveGroup();

    acceptButton = new wxButton(this, idAccept, "Accept");
    setMinSizeAtLeast(acceptButton, wxSize(200, 30));
    cancelButton = new wxButton(this, idCancel, "Cancel");

    // Row 0 of the main grid stays empty.
    auto* mainGrid = newDialogGrid();
    mainGrid->Add(newGroup(this, "Reticle Configuration", reticleGrid), wxGBPosition(1, 0),
                  wxGBSpan(1, 1), wxEXPAND | wxLEFT, 10);
    mainGrid->Add(newGroup(this, "Default Crop Mode", modeGrid), wxGBPosition(1, 1), wxGBSpan(1, 1),
                  wxEXPAND | wxLEFT | wxRIGHT, 10);
    mainGrid->Add(newGroup(this, "Image Save Defaults", saveGrid), wxGBPosition(2, 0),
                  wxGBSpan(1, 2), wxEXPAND | wxTOP | wxLEFT | wxRIGHT, 10);
    mainGrid->Add(acceptButton, wxGBPosition(3, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);
    mainGrid->Add(cancelButton, wxGBPosition(3, 1), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);

    auto* dialogSizer = new wxBoxSizer(wxVERTICAL);
    dialogSizer->Add(mainGrid, 1, wxEXPAND | wxALL, 5);
    SetSizer(dialogSizer);
    Layout();
    fitAndCentre(this);
}

wxGridBagSizer* UI_OptionsDialog::initReticleGroup() {
    useReticleBox = new wxCheckBox(this, idUseReticle, "Use Reticle");
    useReticleBox->SetValue(true);
    useReticleBox->SetToolTip("Use the reticle guides inside the crop definition area");

    presetPanel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
    reticleColourLabel = new wxStaticText(presetPanel, wxID_ANY, "Reticle Colour:");
    reticleColourLabel->Wrap(-1);
    redButton = new wxRadioButton(presetPanel, idRed, "RED");
    greenButton = new wxRadioButton(presetPanel, idGreen, "GREEN");
    blueButton = new wxRadioButton(presetPanel, idBlue, "BLUE");
    customColourLabel = new wxStaticText(presetPanel, wxID_ANY, "Use Custom Colour:");
    customColourLabel->Wrap(-1);
    colourPicker = new wxColourPickerCtrl(presetPanel, idColourPicker, kPureRed);
    // Joins the preset group (it follows BLUE on the panel); it stands for "no
    // preset" and is never shown or laid out.
    customColourButton = new wxRadioButton(presetPanel, wxID_ANY, "Custom");
    customColourButton->Hide();
    customColourButton->SetValue(true);

    auto* presetRow = new wxBoxSizer(wxHORIZONTAL);
    presetRow->Add(redButton, 0, wxALL, 5);
    presetRow->Add(greenButton, 0, wxALL, 5);
    presetRow->Add(blueButton, 0, wxALL, 5);

    auto* panelGrid = newDialogGrid();
    panelGrid->Add(reticleColourLabel, wxGBPosition(0, 0), wxGBSpan(1, 1),
                   wxALIGN_CENTER_VERTICAL | wxALL, 5);
    panelGrid->Add(presetRow, wxGBPosition(1, 0), wxGBSpan(1, 2), wxEXPAND | wxALL, 5);
    panelGrid->Add(customColourLabel, wxGBPosition(2, 0), wxGBSpan(1, 1),
                   wxALIGN_CENTER_VERTICAL | wxALL, 5);
    panelGrid->Add(colourPicker, wxGBPosition(2, 1), wxGBSpan(1, 1), wxALL, 5);

    auto* panelSizer = new wxBoxSizer(wxVERTICAL);
    panelSizer->Add(panelGrid, 1, wxEXPAND | wxALL, 5);
    presetPanel->SetSizer(panelSizer);
    presetPanel->Layout();
    panelSizer->Fit(presetPanel);

    auto* reticleGrid = newDialogGrid();
    reticleGrid->Add(useReticleBox, wxGBPosition(0, 0), wxGBSpan(1, 1), wxTOP | wxLEFT, 10);
    reticleGrid->Add(presetPanel, wxGBPosition(1, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);
    return reticleGrid;
}

wxGridBagSizer* UI_OptionsDialog::initCropModeGroup() {
    // The two mode buttons are the first radio buttons on the dialog itself,
    // so they form a group of their own.
    manualButton = new wxRadioButton(this, idManual, "Manual Cropping Mode");
    manualButton->SetToolTip(
        "The manual mode simply crops your images, it does not register or further process "
        "your images.  Your cropped images will be automatically saved. This is the best mode "
        "for general photographs.");
    automaticButton = new wxRadioButton(this, idAutomatic, "Fully Automatic Mode");
    automaticButton->SetToolTip(
        "The fully automatic mode will precisely crop your images to pixel accuracy based on a "
        "defined crop for just one image. Your images will be automatically saved. ");
    stackBox = new wxCheckBox(this, idStack, "Stack Cropped Images");
    stackBox->SetValue(true);
    stackBox->Disable();
    stackBox->Hide();

    perimeterLabel = new wxStaticText(this, wxID_ANY, "Search Perimeter");
    perimeterLabel->Wrap(-1);
    perimeterLabel->Disable();
    const wxString perimeters[] = {"5",  "10", "15", "20", "25", "30",
                                   "35", "40", "45", "50", "55", "60"};
    perimeterChoice =
        new wxComboBox(this, idPerimeter, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                       WXSIZEOF(perimeters), perimeters, wxCB_READONLY);
    setMinSizeAtLeast(perimeterChoice, wxSize(55, 25));
    perimeterChoice->SetToolTip(
        "This is the value in which the semi automatic crop routine searches to find the best "
        "crop match. The larger the value the slower the operation but will provide greater "
        "accuracy.\n\nThe value is in pixels.");
    perimeterChoice->Disable();

    auto* perimeterRow = new wxBoxSizer(wxHORIZONTAL);
    perimeterRow->Add(perimeterLabel, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM | wxLEFT, 5);
    perimeterRow->Add(perimeterChoice, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM | wxLEFT, 5);

    auto* modeColumn = new wxBoxSizer(wxVERTICAL);
    modeColumn->Add(manualButton, 0, wxALL, 5);
    modeColumn->Add(automaticButton, 0, wxALL, 5);
    modeColumn->Add(stackBox, 0, wxALL, 5);
    modeColumn->Add(perimeterRow, 1, wxEXPAND | wxALL, 5);

    auto* modeGrid = newDialogGrid();
    modeGrid->Add(modeColumn, wxGBPosition(0, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 5);
    return modeGrid;
}

wxGridBagSizer* UI_OptionsDialog::initSaveGroup() {
    saveFolderLabel = new wxStaticText(this, wxID_ANY, "Current Save Folder:");
    saveFolderLabel->Wrap(-1);
    saveFolderText = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                    wxSize(275, -1), wxTE_READONLY);
    saveFolderText->SetToolTip("The folder which cropped images will be saved to");
    changeFolderButton = new wxButton(this, idChangeFolder, "Change Folder");
    setMinSizeAtLeast(changeFolderButton, wxSize(115, 30));

    auto* saveGrid = newDialogGrid();
    saveGrid->Add(saveFolderLabel, wxGBPosition(0, 0), wxGBSpan(1, 1),
                  wxALIGN_CENTER_VERTICAL | wxALL, 5);
    saveGrid->Add(saveFolderText, wxGBPosition(0, 1), wxGBSpan(1, 1), wxALL, 5);
    saveGrid->Add(changeFolderButton, wxGBPosition(1, 0), wxGBSpan(1, 2), wxEXPAND | wxALL, 5);
    return saveGrid;
}

void UI_OptionsDialog::putVars(OptionValues* valuesBlock, bool* cancelledFlag, bool setupMode) {
    values = valuesBlock;
    cancelled = cancelledFlag;
    firstRun = setupMode;

    const wxColour colour = reticleColour(*values);

    useReticleBox->SetValue(values->useReticle);
    enableReticleColourControls(values->useReticle);
    colourPicker->SetColour(colour);

    if (sameRgb(colour, kPureRed))
        redButton->SetValue(true);
    else if (sameRgb(colour, kPureGreen))
        greenButton->SetValue(true);
    else if (sameRgb(colour, kPureBlue))
        blueButton->SetValue(true);
    else
        customColourButton->SetValue(true);

    if (values->cropMode != kManualMode)
        automaticButton->SetValue(true);
    else
        manualButton->SetValue(true);
    applyCropModeRule();

    saveFolderText->ChangeValue(values->saveFolder);

    // A read-only choice selects the item with this text; a stored value that
    // is none of the items leaves it without a selection.
    perimeterChoice->SetValue(wxString::Format("%d", values->searchPerimeter));

    stackBox->SetValue(false);
}

void UI_OptionsDialog::onOK(wxCommandEvent&) {
    if (saveFolderText->GetValue().empty()) {
        wxMessageBox("Please specify a save location", "ERROR", wxICON_ERROR);
        return;
    }
    const bool automatic = !manualButton->GetValue();
    const long perimeter = chosenPerimeter(perimeterChoice);
    // Only a settings file edited outside the program can leave the choice
    // empty; storing the 0 it reads as would make every automatic run fail.
    if (automatic && perimeter <= 0) {
        wxMessageBox("Please choose a search perimeter for the fully automatic mode", "ERROR",
                     wxICON_ERROR);
        return;
    }

    values->useReticle = useReticleBox->GetValue();
    const wxColour colour = colourPicker->GetColour();
    values->red = colour.Red();
    values->green = colour.Green();
    values->blue = colour.Blue();
    if (!automatic) {
        values->cropMode = kManualMode;
    } else {
        values->cropMode = kAutomaticMode;
        values->stackEnabled = stackBox->GetValue();
        values->searchPerimeter = static_cast<int>(perimeter);
    }
    values->saveFolder = saveFolderText->GetValue();

    *cancelled = false;
    endDialog(wxID_OK);
}

void UI_OptionsDialog::onCancel(wxCommandEvent&) { refuseOrCancel(); }

void UI_OptionsDialog::onClose(wxCloseEvent& event) {
    // A close that cannot be refused (the session ends) must still end the
    // dialog; the block stays as it was.
    if (!event.CanVeto()) {
        *cancelled = true;
        endDialog(wxID_CANCEL);
        return;
    }
    refuseOrCancel();
}

void UI_OptionsDialog::refuseOrCancel() {
    if (firstRun) {
        wxMessageBox("You must complete the setup before exiting this dialog box.", "ERROR",
                     wxICON_ERROR);
        return;
    }
    *cancelled = true;
    endDialog(wxID_CANCEL);
}

void UI_OptionsDialog::endDialog(int result) {
    // Destroy hides the dialog, which ends its modal loop, only while another
    // window is shown; on the first run this dialog is the only one, and the
    // loop must not be left to end when the toolkit deletes the dialog.
    if (IsModal()) EndModal(result);
    Destroy();
}

void UI_OptionsDialog::onUseReticle(wxCommandEvent&) {
    enableReticleColourControls(useReticleBox->GetValue());
}

void UI_OptionsDialog::enableReticleColourControls(bool enable) {
    redButton->Enable(enable);
    greenButton->Enable(enable);
    blueButton->Enable(enable);
    reticleColourLabel->Enable(enable);
    customColourLabel->Enable(enable);
    colourPicker->Enable(enable);
    customColourButton->Enable(enable);
}

void UI_OptionsDialog::onPresetColourChange(wxCommandEvent&) {
    if (redButton->GetValue())
        colourPicker->SetColour(kPureRed);
    else if (greenButton->GetValue())
        colourPicker->SetColour(kPureGreen);
    else if (blueButton->GetValue())
        colourPicker->SetColour(kPureBlue);
}

// The picker is read on Accept; picking a colour leaves the preset buttons as
// they are.
void UI_OptionsDialog::onColourPicker(wxColourPickerEvent&) {}

void UI_OptionsDialog::onCropMode(wxCommandEvent&) { applyCropModeRule(); }

void UI_OptionsDialog::applyCropModeRule() {
    stackBox->Disable();
    const bool automatic = !manualButton->GetValue();
    perimeterLabel->Enable(automatic);
    perimeterChoice->Enable(automatic);
}

void UI_OptionsDialog::onRadiusChange(wxCommandEvent&) {
    if (chosenPerimeter(perimeterChoice) > kAdvisedPerimeterLimit) {
        wxMessageBox(
            "A setting of between 10 and 20 is usually enough for a good result.\n\nSetting a "
            "large search area will more accurately align your images but can take "
            "substantially longer to run, especially on older computers or single core "
            "CPU's.\n\nTry a smaller value first and examine your results.",
            "Please Note", wxICON_EXCLAMATION);
    }
}

void UI_OptionsDialog::onChangeDirectory(wxCommandEvent&) {
    wxDirDialog chooser(this, "Set Default File Path", wxEmptyString, wxDD_DEFAULT_STYLE);
    if (chooser.ShowModal() == wxID_OK) saveFolderText->ChangeValue(chooser.GetPath());
}

void UI_OptionsDialog::onStackImage(wxCommandEvent&) {
    if (!stackBox->GetValue()) return;
    wxMessageBox("Image Stacking will be implemented in the next version of Tellvar",
                 "Function not Implemented", wxICON_INFORMATION);
    stackBox->SetValue(false);
}
