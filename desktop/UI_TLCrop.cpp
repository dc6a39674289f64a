// The main window's shell: construction, widgets, the static event table,
// the workflow command group and the status bar.

#include "UI_TLCrop.h"
#include "CommandIds.h"
#include "DialogSizing.h"

#include "EmbeddedResources.h"
#include "UI_About.h"

#include <wx/bitmap.h>
#include <wx/filename.h>
#include <wx/iconbndl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>
#include <wx/toolbar.h>

#include <cstdlib>

namespace {

constexpr int kStatusFieldCount = 5;
const int kStatusFieldWidths[kStatusFieldCount] = {130, 80, 150, 150, 530};

wxBitmap pictureFromPng(const unsigned char* data, unsigned int size) {
    return wxBitmap::NewFromPNGData(data, size);
}

std::string toUtf8(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

wxIcon iconFromPng(const unsigned char* data, unsigned int size) {
    wxIcon icon;
    icon.CopyFromBitmap(pictureFromPng(data, size));
    return icon;
}

// The program's icon at every size it comes in.
wxIconBundle applicationIcons() {
    wxIconBundle icons;
    icons.AddIcon(iconFromPng(aaaa_main_icon_16_png, aaaa_main_icon_16_png_size));
    icons.AddIcon(iconFromPng(aaaa_main_icon_32_png, aaaa_main_icon_32_png_size));
    icons.AddIcon(iconFromPng(aaaa_main_icon_48_png, aaaa_main_icon_48_png_size));
    icons.AddIcon(iconFromPng(aaaa_main_icon_64_png, aaaa_main_icon_64_png_size));
    icons.AddIcon(iconFromPng(aaaa_main_icon_128_png, aaaa_main_icon_128_png_size));
    return icons;
}

// The toolkit registers some handlers (BMP) by itself; adding one twice
// would only log a complaint.
template <class Handler>
void addImageHandler(wxBitmapType type) {
    if (!wxImage::FindHandler(type)) wxImage::AddHandler(new Handler);
}

// Appends a menu item that carries one of the toolkit's standard ids without
// the key GTK binds to such an id (Ctrl+O for Open, Ctrl+Q for Exit): the menus
// have no accelerators. GTK looks the key up when the item is made, so the
// item is made under an id of its own and then given the standard one.
void appendWithoutStockKey(wxMenu* menu, int id, const wxString& label) {
    wxMenuItem* item = menu->Append(wxID_ANY, label, wxEmptyString);
    const int madeUnder = item->GetId();
    item->SetId(id);
    wxWindow::UnreserveControlId(madeUnder);
}

}  // namespace

wxBEGIN_EVENT_TABLE(UI_TLCrop, wxFrame)
    EVT_PAINT(UI_TLCrop::paintEvent)
    EVT_LEFT_DOWN(UI_TLCrop::onMouse)
    EVT_LEFT_UP(UI_TLCrop::onMouse)
    EVT_LEFT_DCLICK(UI_TLCrop::onMouse)
    EVT_MIDDLE_DOWN(UI_TLCrop::onMouse)
    EVT_MIDDLE_UP(UI_TLCrop::onMouse)
    EVT_MIDDLE_DCLICK(UI_TLCrop::onMouse)
    EVT_RIGHT_DOWN(UI_TLCrop::onMouse)
    EVT_RIGHT_UP(UI_TLCrop::onMouse)
    EVT_RIGHT_DCLICK(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX1_DOWN(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX1_UP(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX1_DCLICK(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX2_DOWN(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX2_UP(UI_TLCrop::onMouse)
    EVT_MOUSE_AUX2_DCLICK(UI_TLCrop::onMouse)
    EVT_MOTION(UI_TLCrop::onMouse)
    EVT_LEAVE_WINDOW(UI_TLCrop::onMouse)
    EVT_ENTER_WINDOW(UI_TLCrop::onMouse)
    EVT_MOUSEWHEEL(UI_TLCrop::onMouse)
    EVT_MENU(idExit, UI_TLCrop::onExit)
    EVT_MENU(idOpen, UI_TLCrop::onOpen)
    EVT_MENU(idAbout, UI_TLCrop::onAbout)
    EVT_MENU(idOptions, UI_TLCrop::onOptions)
    EVT_MENU(idSetCrop, UI_TLCrop::onSetCrop)
    EVT_MENU(idClearImages, UI_TLCrop::onMasterReset)
    EVT_MENU(idRemoveFiles, UI_TLCrop::onDelete)
    EVT_MENU(idCropImage, UI_TLCrop::onCropImage)
    EVT_MENU(idSetReference, UI_TLCrop::onReferenceFrameSet)
    EVT_MENU(idStartRun, UI_TLCrop::onAutoStart)
    EVT_MENU(idImageDetails, UI_TLCrop::onImageDetails)
    EVT_MENU(idManualMode, UI_TLCrop::onModeChange)
    EVT_MENU(idAutomaticMode, UI_TLCrop::onModeChange)
    EVT_MENU(idStack, UI_TLCrop::onStackSelect)
    EVT_LIST_ITEM_SELECTED(wxID_ANY, UI_TLCrop::onSelect)
    EVT_MENU(idOutputJpeg, UI_TLCrop::onFileFormat)
    EVT_MENU(idOutputBmp, UI_TLCrop::onFileFormat)
    EVT_MENU(idOutputTif8, UI_TLCrop::onFileFormat)
    EVT_MENU(idOutputTif16, UI_TLCrop::onFileFormat)
    EVT_MENU(idValidate, UI_TLCrop::onRevalidate)
    EVT_MENU(idToggleSafeArea, UI_TLCrop::onToggleSafeArea)
    EVT_LIST_KEY_DOWN(idImageList, UI_TLCrop::onKeyDown)
    EVT_TEXT(idRunProgress, UI_TLCrop::onThreadUpdate)
    // Automatic run: the worker's requests, and closing during a run.
    EVT_THREAD(wxID_ANY, UI_TLCrop::onRunEvent)
    EVT_CLOSE(UI_TLCrop::onCloseWindow)
wxEND_EVENT_TABLE()

UI_TLCrop::UI_TLCrop(const wxString& title) {
    // A fixed-size frame: no resize border and no maximise box, because the
    // preview panel and the list have fixed sizes. initGUI then sizes the
    // frame by its client area, around them.
    Create(nullptr, wxID_ANY, title, wxDefaultPosition, wxSize(1044, 700),
           wxCAPTION | wxTAB_TRAVERSAL | wxCLOSE_BOX | wxMINIMIZE_BOX);

    imagePaths = &imagePathStore;
    imageNames = &imageNameStore;

    // Held as UTF-8 rather than in the locale's encoding, so that a home
    // folder with non-ASCII characters still gives a usable settings path
    // in the C locale.
    settingsDir = userDataDirUtf8();

    addImageHandler<wxPNGHandler>(wxBITMAP_TYPE_PNG);
    addImageHandler<wxBMPHandler>(wxBITMAP_TYPE_BMP);
    addImageHandler<wxTIFFHandler>(wxBITMAP_TYPE_TIFF);
    addImageHandler<wxJPEGHandler>(wxBITMAP_TYPE_JPEG);

    initGUI();
    commands.attach(menuBar, toolBar);
    // The preview panel paints itself from the preview state.
    initPreview();

    popStatusBar("Image Path: N/A", 4, false);
    popStatusBar("Image Size: N/A", 3, false);
    widgetState(false);

    // On the first run this shows the first-run message and the set-up
    // dialog while the frame is still hidden.
    readINI();
    setupUI(options.cropMode);
}

UI_TLCrop::~UI_TLCrop() = default;

void UI_TLCrop::initGUI() {
    SetIcons(applicationIcons());

    SetFont(wxFont(8, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                   wxEmptyString));
    SetSizeHints(wxDefaultSize, wxDefaultSize);

    // Building the widgets may make the toolkit log harmless complaints
    // (missing theme icons and the like); keep them away from the user.
    const bool wasLogging = wxLog::EnableLogging(false);

    initToolBar();
    initMenus();
    initPreviewPanel();
    initImageList();
    initStatusBar();
    initLayout();

    wxLog::EnableLogging(wasLogging);
}

void UI_TLCrop::initToolBar() {
    toolBar = new wxToolBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTB_HORIZONTAL);
    toolBar->SetToolBitmapSize(wxSize(16, 16));
    const auto addTool = [this](int id, const wxString& label, const wxString& tooltip,
                                const unsigned char* png, unsigned int pngSize) {
        toolBar->AddTool(id, label, pictureFromPng(png, pngSize), wxNullBitmap, wxITEM_NORMAL,
                         tooltip, wxEmptyString);
    };
    addTool(idOpen, "Open Image Files", "Open Image Files", icon_open_png, icon_open_png_size);
    toolBar->AddSeparator();
    addTool(idSetCrop, "Set Crop Area", "Set Cropping Area", icon_setcrop_png,
            icon_setcrop_png_size);
    addTool(idCropImage, "Crop Image", "Crop Image", icon_crop_png, icon_crop_png_size);
    toolBar->AddSeparator();
    addTool(idClearImages, "Clear Image Buffer", "Clear Image Buffer", icon_clear_png,
            icon_clear_png_size);
    toolBar->AddSeparator();
    addTool(idRemoveFiles, "Remove Highlighted Files", "Remove Highlighted Image Files",
            icon_delete_png, icon_delete_png_size);
    addTool(idSetReference, "Set Reference Frame", "Set Reference Frame", icon_reference_png,
            icon_reference_png_size);
    toolBar->AddSeparator();
    addTool(idStartRun, "Start The Automatic Procedure", "Start Auto Crop Procedure", icon_GO_png,
            icon_GO_png_size);
    toolBar->AddSeparator();
    addTool(idValidate, "Validate Images", "Validate Images", icon_Validate_png,
            icon_Validate_png_size);
    toolBar->AddSeparator();
    addTool(idToggleSafeArea, "Toggle Safe Area", "Toggle Safe Area", icon_SafeAreaOn_png,
            icon_SafeAreaOn_png_size);
    toolBar->Realize();
}

void UI_TLCrop::initMenus() {
    menuBar = new wxMenuBar;
    fileMenu = new wxMenu;
    toolsMenu = new wxMenu;
    cropModeMenu = new wxMenu;
    settingsMenu = new wxMenu;
    outputMenu = new wxMenu;
    helpMenu = new wxMenu;

    appendWithoutStockKey(fileMenu, idOpen, "Open Image Files");
    fileMenu->AppendSeparator();
    appendWithoutStockKey(fileMenu, idExit, "Exit");

    toolsMenu->Append(idClearImages, "Clear Image Buffer", wxEmptyString);
    toolsMenu->Append(idRemoveFiles, "Delete Highlighted Files", wxEmptyString);
    toolsMenu->AppendSeparator();
    toolsMenu->Append(idSetCrop, "Set Cropping Area", wxEmptyString);
    toolsMenu->Append(idCropImage, "Crop Image", wxEmptyString);
    toolsMenu->AppendSeparator();
    toolsMenu->Append(idSetReference, "Set Reference Frame", wxEmptyString);
    toolsMenu->Append(idStartRun, "Start Procedure", wxEmptyString);
    toolsMenu->AppendSeparator();
    toolsMenu->Append(idImageDetails, "Image Details", wxEmptyString);

    cropModeMenu->AppendRadioItem(idManualMode, "Manual", wxEmptyString);
    cropModeMenu->AppendRadioItem(idAutomaticMode, "Fully Automatic (Recommended)", wxEmptyString);

    settingsMenu->Append(idOptions, "Options", wxEmptyString);

    outputMenu->AppendRadioItem(idOutputJpeg, "JPEG", wxEmptyString);
    outputMenu->AppendRadioItem(idOutputBmp, "BMP", wxEmptyString);
    outputMenu->AppendRadioItem(idOutputTif8, "TIF (8 bit)", wxEmptyString);
    outputMenu->AppendRadioItem(idOutputTif16, "TIF (16 bit)", wxEmptyString);

    appendWithoutStockKey(helpMenu, idAbout, "About");

    menuBar->Append(fileMenu, "File");
    menuBar->Append(toolsMenu, "Tellvar Tools");
    menuBar->Append(cropModeMenu, "Crop Mode");
    menuBar->Append(settingsMenu, "Settings");
    menuBar->Append(outputMenu, "Output");
    menuBar->Append(helpMenu, "Help");
    SetMenuBar(menuBar);
}

void UI_TLCrop::initPreviewPanel() {
    previewPanel = new wxPanel(this, idPreviewPanel, wxDefaultPosition,
                               wxSize(preview::kPanelWidth, preview::kPanelHeight), 0);
    previewPanel->Bind(wxEVT_LEFT_DOWN, &UI_TLCrop::onMouse, this, idPreviewPanel);
    previewPanel->Bind(wxEVT_RIGHT_DOWN, &UI_TLCrop::onMouse, this, idPreviewPanel);
    previewPanel->Bind(wxEVT_MOTION, &UI_TLCrop::onMouse, this, idPreviewPanel);
}

void UI_TLCrop::initImageList() {
    imageList = new wxListCtrl(this, idImageList, wxDefaultPosition, wxSize(250, 602), wxLC_REPORT,
                               wxDefaultValidator);
    imageList->SetFont(wxFont(7, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
    imageList->InsertColumn(0, "#", wxLIST_FORMAT_LEFT);
    imageList->InsertColumn(1, "Active Image List", wxLIST_FORMAT_LEFT);
    imageList->SetColumnWidth(0, 35);
    imageList->SetColumnWidth(1, 200);
    imageList->SetBackgroundColour(wxColour(255, 255, 255));
}

void UI_TLCrop::initStatusBar() {
    statusBar = CreateStatusBar(kStatusFieldCount, 0, wxID_ANY);
    statusBar->SetStatusWidths(kStatusFieldCount, kStatusFieldWidths);
    statusBar->SetFont(wxFont(7, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
}

void UI_TLCrop::initLayout() {
    panelSizer = new wxBoxSizer(wxHORIZONTAL);
    mainSizer = new wxBoxSizer(wxVERTICAL);
    mainSizer->Add(toolBar, 0, wxEXPAND, 5);
    mainSizer->Add(panelSizer, 1, wxEXPAND, 5);
    panelSizer->Add(previewPanel, 0, wxTOP, 3);
    panelSizer->Add(imageList, 0, wxTOP, 3);
    SetSizer(mainSizer);
    // The frame is sized by its client area, so that the preview panel and
    // the list keep their sizes whatever frame the window manager draws.
    fitAndCentre(this);
}

void UI_TLCrop::widgetState(bool enable) { commands.setWorkflowGroup(enable); }

void UI_TLCrop::popStatusBar(const wxString& text, int field, bool fromImage) {
    if (fromImage) {
        // No image (after a reset) has no size to show.
        const wxString size = currentImage.IsOk()
                                  ? wxString::Format("Image Size: %d x %d", currentImage.GetWidth(),
                                                     currentImage.GetHeight())
                                  : wxString("Image Size: N/A");
        statusBar->SetStatusText(size, field);
    } else {
        statusBar->SetStatusText(text, field);
    }
}

// Through the close handler, which waits for a running automatic run.
void UI_TLCrop::onExit(wxCommandEvent&) { Close(true); }

void UI_TLCrop::onAbout(wxCommandEvent&) {
    // The dialog destroys itself when it is closed.
    UI_TLAbout* about = new UI_TLAbout("About");
    about->ShowModal();
}

void UI_TLCrop::onImageDetails(wxCommandEvent&) {
    wxMessageBox("Image Details", wxMessageBoxCaptionStr, wxOK | wxCENTRE);
}

std::string UI_TLCrop::userDataDirUtf8() {
    const wxString dataDir = wxStandardPaths::Get().GetUserDataDir();

    // The toolkit decodes $HOME with the locale's converter; in the C locale
    // a home folder with non-ASCII characters fails that and the toolkit
    // falls back to the password database's entry. Put the environment's own
    // bytes back in front, since those name the folder the user really has.
    const char* home = std::getenv("HOME");
    const wxString toolkitHome = wxFileName::GetHomeDir();
    wxString rest;
    if (home && *home && !toolkitHome.empty() && dataDir.StartsWith(toolkitHome, &rest))
        return std::string(home) + toUtf8(rest);
    return toUtf8(dataDir);
}
