#pragma once
// The main window: image set, preview with crop rectangle, crop modes,
// validation, manual crop and the launcher of the automatic run.
//
// The class is implemented across several source files, one per concern:
//   UI_TLCrop.cpp            construction, event table, shell handlers
//   UI_TLCrop_Settings.cpp   readINI / writeINI
//   UI_TLCrop_Modes.cpp      setupUI, changeMode, mode/format/stack/options handlers
//   UI_TLCrop_ImageSet.cpp   open, select, reference frame, remove, reset
//   UI_TLCrop_Validation.cpp validateImages, onRevalidate
//   UI_TLCrop_Preview.cpp    preview bitmap, crop rectangle, safe area, paint, mouse
//   UI_TLCrop_ManualCrop.cpp onCropImage, cropRoutine, autoSave
//   UI_TLCrop_AutoRun.cpp    mainProcedure, onAutoStart, onThreadUpdate

#include "OptionValues.h"

#include <wx/arrstr.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/bitmap.h>
#include <wx/listctrl.h>

#include <string>

class wxToolBar;
class wxMenuBar;
class wxMenu;
class wxBoxSizer;
class wxPanel;
class wxStatusBar;
class UI_ProgressDialog;
class AutoCrop;

class UI_TLCrop : public wxFrame {
public:
    explicit UI_TLCrop(const wxString& title);
    ~UI_TLCrop() override;

    // Shell (construction, commands, status bar).
    void initGUI();
    void widgetState(bool enable);
    void popStatusBar(const wxString& text, int field, bool fromImage);
    void onExit(wxCommandEvent& event);
    void onAbout(wxCommandEvent& event);
    void onImageDetails(wxCommandEvent& event);

    // Settings file.
    bool readINI();
    bool writeINI();

    // Crop modes and output formats.
    void setupUI(int mode);
    void changeMode();
    void onModeChange(wxCommandEvent& event);
    void onFileFormat(wxCommandEvent& event);
    void onStackSelect(wxCommandEvent& event);
    void onOptions(wxCommandEvent& event);

    // Image set.
    void onOpen(wxCommandEvent& event);
    bool openImage(wxString path);
    void onSelect(wxListEvent& event);
    void onReferenceFrameSet(wxCommandEvent& event);
    void deleteImage();
    void onDelete(wxCommandEvent& event);
    void onKeyDown(wxListEvent& event);
    int masterReset(int variant);
    void onMasterReset(wxCommandEvent& event);

    // Validation.
    bool validateImages();
    void onRevalidate(wxCommandEvent& event);

    // Preview and crop rectangle.
    wxBitmap setupBitmap(int mode);
    void paintEvent(wxPaintEvent& event);
    void cropArea();
    void safetyArea();
    void cropDefinition(int x, int y);
    void onMouse(wxMouseEvent& event);
    void onToggleSafeArea(wxCommandEvent& event);
    void onSetCrop(wxCommandEvent& event);

    // Manual crop.
    void onCropImage(wxCommandEvent& event);
    void cropRoutine();
    void autoSave(int number, wxImage image);

    // Automatic run.
    void mainProcedure(int x, int y);
    void onAutoStart(wxCommandEvent& event);
    void onThreadUpdate(wxCommandEvent& event);

    // Fields, in the documented order.
    bool imagesLoaded = false;
    bool multipleImages = false;
    bool previewScaled = false;
    bool validated = false;
    bool referenceSet = false;
    bool formatRulesApplied = false;
    bool singleImage = false;
    bool showSafeArea = true;
    bool cropDefined = false;
    int referenceIndex = 0;
    int imageCount = 0;
    int croppedCount = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    int previewWidth = 0;
    int previewHeight = 0;
    int displayCropWidth = 0;
    int displayCropHeight = 0;
    int cropWidth = 0;
    int cropHeight = 0;
    int cropX = 0;
    int cropY = 0;
    std::string settingsDir;
    OptionValues options{};
    wxString inputExtension;
    UI_ProgressDialog* progressDialog = nullptr;
    wxImage currentImage;
    wxArrayString* imagePaths = nullptr;
    wxArrayString* imageNames = nullptr;
    wxToolBar* toolBar = nullptr;
    wxMenuBar* menuBar = nullptr;
    wxMenu* fileMenu = nullptr;
    wxMenu* helpMenu = nullptr;
    wxMenu* toolsMenu = nullptr;
    wxMenu* settingsMenu = nullptr;
    wxMenu* cropModeMenu = nullptr;
    wxMenu* outputMenu = nullptr;
    wxBoxSizer* panelSizer = nullptr;
    wxBoxSizer* mainSizer = nullptr;
    wxPanel* previewPanel = nullptr;
    wxListCtrl* imageList = nullptr;
    wxStatusBar* statusBar = nullptr;

    // Preview state drawn by the panel's paint handler (see UI_TLCrop_Preview.cpp).
    // Owned by the preview and image-set work.

    // Automatic-run state (see UI_TLCrop_AutoRun.cpp). Owned by the automatic-run work.

private:
    wxDECLARE_EVENT_TABLE();
};
