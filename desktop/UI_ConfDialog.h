#pragma once
// The run summary shown before every automatic run: eleven read-only lines,
// a single-processor check box, START and Cancel. It answers through two
// flags owned by the caller.

#include <wx/dialog.h>
#include <wx/string.h>

class wxButton;
class wxCheckBox;
class wxListBox;

// What the run summary shows; filled by the launcher.
struct ImageData {
    int cropWidth = 0;
    int cropHeight = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    int imageCount = 0;
    int outputFormat = 0;  // an output format id (CommandIds.h)
    wxString saveFolder;
    wxString referenceFrame;  // file name of the reference frame, no folder
};

class UI_ConfDialog : public wxDialog {
public:
    UI_ConfDialog(const wxString& title, ImageData data, bool* cancelled, bool* singleThread);
    ~UI_ConfDialog() override;

    void initGUI();

    // Runs the modal loop and, when a handler ended it, closes the dialog
    // once the loop has returned: a dialog destroyed inside its own modal
    // loop would be deleted at the loop's next idle time, before ShowModal()
    // is done with it.
    int ShowModal() override;

    void onCancel(wxCommandEvent& event);
    void onOK(wxCommandEvent& event);
    void onComboBox(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    bool* cancelled = nullptr;
    bool* singleThread = nullptr;
    wxButton* cancelButton = nullptr;
    wxButton* startButton = nullptr;
    wxListBox* parameterList = nullptr;
    wxCheckBox* singleProcessorBox = nullptr;

private:
    // Ends the dialog: ends a running modal loop (ShowModal then closes it),
    // or closes it at once.
    void finish(int returnCode);

    bool closeAfterModal = false;

    wxDECLARE_EVENT_TABLE();
};
