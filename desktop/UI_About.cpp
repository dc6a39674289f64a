#include "UI_About.h"

#include "AutoVersion.h"
#include "DialogGrid.h"
#include "DialogSizing.h"
#include "EmbeddedResources.h"

#include <wx/button.h>
#include <wx/gbsizer.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>
#include <string>

namespace {

// Control ids of this dialog; each dialog numbers its own from 1000 up.
enum ControlId { idOk = 1000 };

// Version numbers of this build of the program and of its engine, as shown
// to the user (major, minor, build).
constexpr int kSoftwareVersion[3] = {1, 1, 0};
constexpr int kEngineVersion[3] = {1, 0, 3};

wxString versionText(const int (&version)[3]) {
    return wxString::Format("%i", version[0]) + "." + wxString::Format("%i", version[1]) + "." +
           wxString::Format("%i", version[2]);
}

wxStaticText* addLabel(wxWindow* parent, wxSizer* column, const wxString& text, int flags,
                       int border) {
    auto* label = new wxStaticText(parent, wxID_ANY, text, wxDefaultPosition, wxDefaultSize, 0);
    label->Wrap(-1);
    column->Add(label, 0, flags, border);
    return label;
}

}  // namespace

wxBEGIN_EVENT_TABLE(UI_TLAbout, wxDialog)
    EVT_BUTTON(idOk, UI_TLAbout::onExit)
    EVT_CLOSE(UI_TLAbout::onClose)
wxEND_EVENT_TABLE()

UI_TLAbout::UI_TLAbout(const wxString& title) {
    Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE);
    initGUI();
    populateFields();
}

// The controls are child windows and go with the dialog.
UI_TLAbout::~UI_TLAbout() = default;

void UI_TLAbout::initGUI() {
    // The picture decoder may log; nothing of that belongs in front of the user.
    wxLogNull quiet;

    SetSizeHints(wxDefaultSize, wxDefaultSize);

    wxGridBagSizer* dialogGrid = newDialogGrid();

    aboutPanel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxBORDER_THEME | wxTAB_TRAVERSAL);
    auto* panelRow = new wxBoxSizer(wxHORIZONTAL);
    logoBitmap = new wxStaticBitmap(aboutPanel, wxID_ANY,
                                    wxBitmap::NewFromPNGData(img_about_png, img_about_png_size),
                                    wxDefaultPosition, wxDefaultSize, 0);
    panelRow->Add(logoBitmap, 0, wxALL, 5);

    auto* textColumn = new wxBoxSizer(wxVERTICAL);
    textColumn->SetMinSize(wxSize(230, -1));

    appNameLabel = addLabel(aboutPanel, textColumn, "<APP NAME>", wxALIGN_CENTER | wxTOP, 5);
    appNameLabel->SetFont(wxFont(16, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD,
                                 false, wxEmptyString));
    wxStaticText* subtitle = addLabel(aboutPanel, textColumn, "Image Registration and Cropping",
                                      wxALIGN_CENTER | wxTOP | wxBOTTOM, 5);
    subtitle->SetFont(wxFont(10, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_LIGHT,
                             false, wxEmptyString));
    softwareVersionLabel =
        addLabel(aboutPanel, textColumn, "<APP VERSION>", wxALIGN_CENTER | wxTOP, 3);
    engineVersionLabel =
        addLabel(aboutPanel, textColumn, "<DLL VERSION>", wxALIGN_CENTER | wxBOTTOM, 3);
    legalNoticeLabel = addLabel(aboutPanel, textColumn, "<COPYRIGHT>", wxALIGN_CENTER | wxTOP, 8);
    contactLabel = addLabel(aboutPanel, textColumn, "<DEV NAME>", wxALIGN_CENTER | wxALL, 5);

    panelRow->Add(textColumn, 1, wxEXPAND | wxALL, 5);
    aboutPanel->SetSizer(panelRow);
    aboutPanel->Layout();
    panelRow->Fit(aboutPanel);
    dialogGrid->Add(aboutPanel, wxGBPosition(0, 0), wxGBSpan(1, 1), wxEXPAND | wxALL, 8);

    okButton = new wxButton(this, idOk, "OK", wxDefaultPosition, wxDefaultSize, 0);
    okButton->SetMinSize(wxSize(-1, std::max(30, okButton->GetBestSize().y)));
    dialogGrid->Add(okButton, wxGBPosition(1, 0), wxGBSpan(1, 1),
                    wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);

    SetSizer(dialogGrid);
    Layout();
}

void UI_TLAbout::populateFields() {
    // The product strings are ASCII in UTF-8 source; reading them as UTF-8
    // keeps them whole under any locale.
    appNameLabel->SetLabel(wxString::FromUTF8(std::string(AutoVersion::appName) + " 64Bit"));
    softwareVersionLabel->SetLabel("Software Version: " + versionText(kSoftwareVersion));
    legalNoticeLabel->SetLabel(wxString::FromUTF8(AutoVersion::appCopyright));
    contactLabel->SetLabel(wxString::FromUTF8(AutoVersion::appCopyrightName));
    engineVersionLabel->SetLabel("Engine Version: " + versionText(kEngineVersion));

    // The layout was computed with the placeholders; lay out again for the
    // real texts so that a longer line is neither clipped nor off centre.
    aboutPanel->Layout();
    aboutPanel->GetSizer()->Fit(aboutPanel);
    Layout();
    fitAndCentre(this);
}

void UI_TLAbout::onExit(wxCommandEvent&) { endDialog(wxID_OK); }

void UI_TLAbout::onClose(wxCloseEvent&) { endDialog(wxID_CANCEL); }

void UI_TLAbout::endDialog(int result) {
    // Destroy hides the dialog, which ends its modal loop, only while another
    // window is shown; end the loop here rather than when the dialog is deleted.
    if (IsModal()) EndModal(result);
    Destroy();
}
