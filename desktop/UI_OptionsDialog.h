#pragma once
// The settings dialog: reticle, default crop mode, search perimeter and save
// folder. It edits the caller's OptionValues in place, and only on Accept.

#include "OptionValues.h"

#include <wx/clrpicker.h>
#include <wx/dialog.h>

class wxButton;
class wxCheckBox;
class wxComboBox;
class wxGridBagSizer;
class wxPanel;
class wxRadioButton;
class wxStaticText;
class wxTextCtrl;

class UI_OptionsDialog : public wxDialog {
public:
    explicit UI_OptionsDialog(const wxString& title);
    ~UI_OptionsDialog() override;

    void initGUI();
    // Remembers the caller's block and flag and loads the controls from the
    // block. Must be called before ShowModal.
    void putVars(OptionValues* values, bool* cancelled, bool firstRun);

    void onCancel(wxCommandEvent& event);
    void onOK(wxCommandEvent& event);
    void onChangeDirectory(wxCommandEvent& event);
    void onUseReticle(wxCommandEvent& event);
    void onStackImage(wxCommandEvent& event);
    void onCropMode(wxCommandEvent& event);
    void onRadiusChange(wxCommandEvent& event);
    void onPresetColourChange(wxCommandEvent& event);
    void onColourPicker(wxColourPickerEvent& event);
    void onClose(wxCloseEvent& event);

    wxCheckBox* useReticleBox = nullptr;
    wxPanel* presetPanel = nullptr;
    wxRadioButton* redButton = nullptr;
    wxRadioButton* greenButton = nullptr;
    wxRadioButton* blueButton = nullptr;
    wxStaticText* reticleColourLabel = nullptr;
    wxStaticText* customColourLabel = nullptr;
    wxColourPickerCtrl* colourPicker = nullptr;
    wxRadioButton* manualButton = nullptr;
    wxRadioButton* automaticButton = nullptr;
    wxCheckBox* stackBox = nullptr;
    wxStaticText* saveFolderLabel = nullptr;
    wxTextCtrl* saveFolderText = nullptr;
    wxButton* changeFolderButton = nullptr;
    wxButton* acceptButton = nullptr;
    wxButton* cancelButton = nullptr;
    wxComboBox* perimeterChoice = nullptr;
    wxStaticText* perimeterLabel = nullptr;
    bool* cancelled = nullptr;
    bool firstRun = false;
    OptionValues* values = nullptr;

    // A GTK radio group always has one member selected, so a colour that is
    // none of the presets selects this never-shown member of the preset group.
    wxRadioButton* customColourButton = nullptr;

private:
    // Steps of initGUI: the controls of each framed group, in the grid the
    // group holds.
    wxGridBagSizer* initReticleGroup();
    wxGridBagSizer* initCropModeGroup();
    wxGridBagSizer* initSaveGroup();

    void enableReticleColourControls(bool enable);
    void applyCropModeRule();
    void refuseOrCancel();
    void endDialog(int result);

    wxDECLARE_EVENT_TABLE();
};
