#pragma once
// The dialog in which the user types the crop size, checked against the size
// of the loaded image.

#include <wx/dialog.h>

class wxButton;
class wxStaticBoxSizer;
class wxStaticText;
class wxTextCtrl;

// How one typed crop dimension reads: leading blanks and a sign are
// accepted, and reading stops at the first character that is not a digit
// ("400px" is 400).
enum class CropEntryKind {
    none,      // empty, not a number, or zero
    negative,  // below zero
    tooLarge,  // beyond the range of int, so larger than any image
    positive,  // a usable value
};

struct CropEntry {
    CropEntryKind kind;
    int value;  // meaningful for positive only
};

CropEntry readCropEntry(const wxString& text);

class UI_SetCropArea : public wxDialog {
public:
    UI_SetCropArea(const wxString& title, bool* cancelled, int imageWidth, int imageHeight,
                   wxString bitDepth, int* cropWidth, int* cropHeight);
    ~UI_SetCropArea() override;

    void initGUI();

    void onAccept(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    bool* cancelled = nullptr;
    int* cropWidth = nullptr;
    int* cropHeight = nullptr;
    int imageWidth = 0;
    int imageHeight = 0;
    wxStaticText* bitDepthLabel = nullptr;
    wxStaticText* imageSizeLabel = nullptr;
    wxStaticText* timesLabel = nullptr;
    wxTextCtrl* bitDepthText = nullptr;
    wxTextCtrl* imageSizeText = nullptr;
    wxTextCtrl* widthText = nullptr;
    wxTextCtrl* heightText = nullptr;
    wxButton* acceptButton = nullptr;
    wxButton* cancelButton = nullptr;

private:
    // Steps of initGUI: the two framed groups with their controls.
    wxStaticBoxSizer* initPropertiesGroup();
    wxStaticBoxSizer* initDimensionsGroup();
    void fitDisplayBox(wxTextCtrl* box);
    void endDialog(int result);

    wxDECLARE_EVENT_TABLE();
};
