#pragma once
// The about box: logo, product name, version lines, legal notice, contact.

#include <wx/dialog.h>

class wxButton;
class wxPanel;
class wxStaticBitmap;
class wxStaticText;

class UI_TLAbout : public wxDialog {
public:
    explicit UI_TLAbout(const wxString& title);
    ~UI_TLAbout() override;

    void initGUI();
    void populateFields();

    void onExit(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    wxPanel* aboutPanel = nullptr;
    wxStaticBitmap* logoBitmap = nullptr;
    wxStaticText* appNameLabel = nullptr;
    wxStaticText* softwareVersionLabel = nullptr;
    wxStaticText* engineVersionLabel = nullptr;
    wxStaticText* legalNoticeLabel = nullptr;
    wxStaticText* contactLabel = nullptr;
    wxButton* okButton = nullptr;

private:
    void endDialog(int result);

    wxDECLARE_EVENT_TABLE();
};
