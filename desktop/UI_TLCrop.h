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

#include "MainCommands.h"
#include "ManualPass.h"
#include "OptionValues.h"
#include "PreviewCanvas.h"
#include "PreviewGeometry.h"
#include "ReplaceFile.h"

#include <wx/arrstr.h>
#include <wx/bitmap.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/thread.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

class wxToolBar;
class wxMenuBar;
class wxMenu;
class wxBoxSizer;
class wxPanel;
class wxStatusBar;
class UI_ProgressDialog;
class AutoCrop;
namespace Tellvar {
class Brennock;
}

class UI_TLCrop : public wxFrame {
public:
    // setupUI's mode for a set of one image; its other modes are the crop
    // modes (OptionValues.h).
    static constexpr int kSingleImageMode = 2;
    // setupBitmap's modes: redraw at the size the last fit found, or fit the
    // image into the panel anew.
    enum BitmapMode { kRedrawBitmap = 1500, kFitBitmap = 1501 };
    // masterReset's variants, by the question each asks first, and its results.
    enum ResetVariant {
        kAskToClearBuffers = 0,
        kAskBeforeOpening = 1,
        kAskAfterManualPass = 2,
        kResetWithoutAsking = 3,
    };
    enum ResetResult { kResetDeclined = 1500, kResetDone = 1501 };

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
    // An image that fits the panel unscaled takes a search perimeter of 30
    // at most: a larger one is lowered to 30, with a box, and written.
    void limitPerimeterForSmallImage();
    // Draws the rectangle where the placement puts it and takes its corner.
    void showCropPlacement(const preview::Placement& placement);
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

    // What the commands offer; every enabling, ticking and relabelling of a
    // menu item or tool goes through it. Attached right after initGUI.
    MainCommands commands;

    // Steps of setupUI, one per mode.
    void setupManualMode();
    void setupAutomaticMode();
    void setupSingleImage();

    // Preview state (see UI_TLCrop_Preview.cpp).
    // The panel is painted from previewCanvas by paintEvent. The preview
    // operations record there what they draw and refresh the panel, in place
    // of drawing on a stored client DC, which an expose would wipe.
    PreviewCanvas previewCanvas;
    // Binds the panel's paint handler; called once, right after initGUI.
    void initPreview();
    // "Draw the preview bitmap at (0, 0)": shows it and so covers the crop
    // rectangle, reticle and safe area drawn before.
    void drawPreview(const wxBitmap& bitmap);
    // Redraws the loaded image: setupBitmap(kRedrawBitmap) drawn at (0, 0).
    void redrawPreview();
    // Clears the panel and shows the start-screen picture (no set loaded).
    void drawStartScreen();
    // Paints the panel as the user sees it; the body of the panel's paint.
    void renderPreview(wxDC& dc);
    // How the loaded image sits on the panel, from the last fit.
    preview::View previewView() const;

    // Automatic-run state (see UI_TLCrop_AutoRun.cpp). Owned by the automatic-run work.
    // The worker of the run in progress, or nullptr. The worker waits until
    // the run-ended event has been handled, so it is valid while set.
    AutoCrop* runWorker = nullptr;
    // The run's file arrays in the engine's encoding, reference frame first;
    // released when the run has ended, after its processor.
    std::unique_ptr<std::string[]> runFilePaths;
    std::unique_ptr<std::string[]> runFileNames;
    // A close request came during a run: the window closes when the run ends.
    bool closeWhenRunEnds = false;
    // The platform's count of hardware threads (0: unknown).
    std::function<unsigned()> hardwareThreadCount = [] {
        return std::thread::hardware_concurrency();
    };
    // Handed to each run's worker to start its per-frame threads; empty
    // means std::thread. Tests put a failing starter here.
    std::function<std::thread(std::function<void()>)> frameThreadStarter;
    // Starts the created worker thread; empty means wxThread::Run. Tests put
    // a start that fails here.
    std::function<wxThreadError(wxThread&)> workerThreadStarter;
    bool runInProgress() const { return runWorker != nullptr; }
    // Step of mainProcedure: creates and starts the worker's thread; on a
    // failure says so and leaves no run behind. True when the run goes on.
    bool startWorker(AutoCrop* worker);
    // The worker's requests: close the progress dialog; the run has ended.
    void onRunEvent(wxThreadEvent& event);
    // Close box and Exit: without a run the window goes at once; during a
    // run it cancels the run and goes when the run has ended.
    void onCloseWindow(wxCloseEvent& event);
    // Every event of the window passes here, and with it every handler of
    // the window and any dialog or box that the handler opens: the window is
    // never destroyed while one of them runs.
    bool ProcessEvent(wxEvent& event) override;
    // The window's one way to go: at once when none of its handlers runs,
    // otherwise as soon as the outermost one has returned. So a close that
    // comes while one of its dialogs or boxes is open (the run's end inside
    // Options, say) never leaves that dialog writing into a window that is
    // gone.
    void destroyWhenNoHandlerRuns();
    int handlersRunning = 0;
    bool destroyRequested = false;
    // Closes the progress dialog of the run, if it is still open.
    void closeProgressDialog();

    // Shell and settings file.
    // The first-run set-up ended without Accept: no settings are written
    // until the options dialog has been accepted.
    bool setupUnfinished = false;
    // The write call of the settings file; empty means write(2). Tests put
    // a failing one here.
    WriteCall settingsWrite;
    // The toolkit's user data directory as UTF-8 text (the settings path's start).
    static std::string userDataDirUtf8();
    // settingsDir followed directly by the settings file's name.
    std::string settingsPath() const;

    // Image set.
    // Steps of onOpen after the file dialog: takes the chosen full paths and
    // file names (same order) and loads them as the new set.
    void loadImageSet(const wxArrayString& paths, const wxArrayString& names);
    // Shows in blue the list row of the image the crop is placed on.
    void markCropRow(long row);
    // The "#" text the reference row showed before it became "REF".
    wxString referenceRowLabel;
    // Storage behind imagePaths and imageNames, which always point here.
    wxArrayString imagePathStore;
    wxArrayString imageNameStore;

    // Manual crop state (see UI_TLCrop_ManualCrop.cpp and UI_TLCrop_Validation.cpp).
    // Outputs and failed saves of the current manual pass.
    ManualPass manualPass;
    // Makes the codec whose sizeChecker validateImages asks; empty means the
    // engine codec for the input type. Tests put a counting codec here.
    std::function<std::unique_ptr<Tellvar::Brennock>(const wxString& inputExtension)>
        validationCodecFactory;
    // Steps of cropRoutine.
    void manualCropStep();
    bool cropFitsCurrentImage() const;
    void loadNextManualImage();
    void finishManualPass();
    void askToStartRun();

private:
    // Steps of initGUI.
    void initToolBar();
    void initMenus();
    void initPreviewPanel();
    void initImageList();
    void initStatusBar();
    void initLayout();

    wxDECLARE_EVENT_TABLE();
};
