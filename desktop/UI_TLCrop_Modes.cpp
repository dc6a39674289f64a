// Crop modes and output formats: applying a mode to the window (title, menu
// items, tools, status fields), the output-format rules of each mode and
// input type, and the mode, format, stack and options commands.

#include "CommandIds.h"
#include "UI_TLCrop.h"

#include "AutoVersion.h"
#include "InputType.h"
#include "UI_OptionsDialog.h"

#include <wx/msgdlg.h>

namespace {

const wxString kOptionChangedCaption = "Warning - Option Changed";

const wxString kManualNotification =
    "The application mode has been changed to Manual.\n\nImage alignment is not supported in this "
    "mode and a reference frame is not required.\n\nThis mode is useful for astronomical, normal "
    "photographs or as a preprocessor for the automatic modes if your images are not of the same "
    "size.\n\nIn this mode images can be of mixed sizes.";

const wxString kAutomaticNotification =
    "The application mode has been changed to Fully Automatic.\n\nThis is the recommended mode of "
    "operation for the Tellvar application.\n\nThis mode will automatically crop and align your "
    "images based solely on your reference frame. You do not provide crop information for every "
    "frame in your workflow.\n\nThis mode requires that all images are of the same size and a "
    "reference frame is required.";

// A mode that cannot write the stored output format says so and switches
// to 8-bit TIFF, which every mode writes.
void switchToTif8(UI_TLCrop& frame, const wxString& notice) {
    wxMessageBox(notice, kOptionChangedCaption, wxICON_EXCLAMATION);
    frame.commands.tickOutput(idOutputTif8);
    frame.options.outputFormat = idOutputTif8;
    frame.writeINI();
}

wxString modeText(int cropMode) {
    switch (cropMode) {
        case kManualMode: return "Manual Mode";
        case kAutomaticMode: return "Automatic Mode";
        default: return "Mode Unknown";
    }
}

// The automatic mode's output rules for the input type, run once per loaded
// set: the engine writes BMP input as BMP and every other input as 8-bit
// TIFF, and the Output menu is brought in line with that.
void applyInputFormatRules(UI_TLCrop& frame) {
    OptionValues& options = frame.options;
    const InputFormat input = inputFormatOf(frame.inputExtension);
    switch (input) {
        case InputFormat::Bmp:
            if (options.outputFormat != idOutputBmp) {
                wxMessageBox(
                    "The input file format has been detected to be Bitmap.\n\nTellvar "
                    "will output your files in the Bitmap File Format.",
                    kOptionChangedCaption, wxICON_EXCLAMATION);
                frame.commands.tickOutput(idOutputBmp);
                options.outputFormat = idOutputBmp;
            }
            frame.commands.bmpInputOutputs();
            break;
        case InputFormat::Jpeg:
        case InputFormat::Tif:
            if (options.outputFormat == idOutputBmp) {
                if (input == InputFormat::Jpeg)
                    wxMessageBox(
                        "The input file format has been detected to be JPEG.\n\nAs JPEG "
                        "files are typically lower quality Tellvar will only output your "
                        "images in the TIFF File Format.",
                        kOptionChangedCaption, wxICON_EXCLAMATION);
                else
                    wxMessageBox(
                        "The input file format has been detected to be TIFF.\n\nTellvar "
                        "will output your files in the TIFF File Format..",
                        kOptionChangedCaption, wxICON_EXCLAMATION);
                options.outputFormat = idOutputTif8;
            }
            frame.commands.tiffInputOutputs();
            break;
        case InputFormat::Other:
            // No rule for this input type (nothing loaded, or a type the
            // all-files filter let through): try again on the next set-up.
            return;
    }
    frame.formatRulesApplied = true;
    frame.writeINI();
}

}  // namespace

void UI_TLCrop::setupUI(int mode) {
    commands.tickOutput(options.outputFormat);

    // The em dash is written as a wide character so that the title is the
    // same whatever the locale's encoding.
    SetTitle(wxString::FromUTF8(AutoVersion::appName) + " 64Bit" + wxString(L" \u2014 (") +
             modeText(options.cropMode) + ")");

    if (mode == kManualMode && !singleImage)
        setupManualMode();
    else if (mode == kAutomaticMode && !singleImage)
        setupAutomaticMode();
    else if (mode == kSingleImageMode && singleImage)
        setupSingleImage();
    else
        popStatusBar("Mode: Unknown", 0, false);
}

void UI_TLCrop::setupManualMode() {
    commands.manualMode(imagesLoaded);
    popStatusBar("Mode: Manual", 0, false);
    popStatusBar("Search Size: N/A", 2, false);
    popStatusBar("Stack: N/A", 1, false);

    if (options.outputFormat == idOutputTif16)
        switchToTif8(*this,
                     "Saving 16bit TIFF Files is not supported in the manual mode.\n\nYour save "
                     "file format has been changed to 8 bit TIFF");
    commands.manualOutputs();
}

void UI_TLCrop::setupAutomaticMode() {
    // The stack text is overwritten at once: the image count is what the
    // field shows in this mode.
    popStatusBar(options.stackEnabled ? "Stack: YES" : "", 1, false);
    popStatusBar(wxString::Format("Images: %d", imageCount), 1, false);
    popStatusBar("Mode: Fully Automatic", 0, false);
    popStatusBar(wxString::Format("Search Size: %d px", options.searchPerimeter), 2, false);
    commands.automaticMode(imagesLoaded, options.stackEnabled);

    if (options.outputFormat == idOutputJpeg)
        switchToTif8(*this,
                     "Saving JPEG Image Files is not supported in the Automatic Mode.\n\nYour "
                     "save file format has been changed to 8 bit TIFF.");

    if (!formatRulesApplied) applyInputFormatRules(*this);
}

void UI_TLCrop::setupSingleImage() {
    if (options.cropMode == kAutomaticMode) {
        wxMessageBox(
            "You are currently in the fully automatic mode but have only loaded one "
            "image. The fully automatic mode requires multiple images.\n\nIf you want to "
            "crop one image please change to the manual mode and then load your image "
            "again.",
            "Warning", wxICON_EXCLAMATION);
        masterReset(kResetWithoutAsking);
        return;
    }

    popStatusBar(wxEmptyString, 3, true);
    popStatusBar("Mode: Single Image", 0, false);
    popStatusBar("Stack: N/A", 1, false);
    popStatusBar("Search Area: N/A", 2, false);
    commands.singleImageMode();
}

void UI_TLCrop::changeMode() {
    if (options.cropMode != kAutomaticMode) {
        wxMessageBox(kManualNotification, "Notification", wxICON_INFORMATION);
        setupUI(kManualMode);
        return;
    }
    // A failed validation has shown its own messages; the window stays as it was.
    if (imagesLoaded && !validateImages()) return;
    wxMessageBox(kAutomaticNotification, "Notification", wxICON_INFORMATION);
    setupUI(kAutomaticMode);
}

void UI_TLCrop::onModeChange(wxCommandEvent& event) {
    if (event.GetId() == idAutomaticMode) {
        options.cropMode = kAutomaticMode;
        changeMode();
    } else {
        options.cropMode = kManualMode;
        wxMessageBox(kManualNotification, "Notification", wxICON_INFORMATION);
        setupUI(kManualMode);
    }
    writeINI();
}

void UI_TLCrop::onFileFormat(wxCommandEvent& event) {
    switch (event.GetId()) {
        case idOutputBmp: options.outputFormat = idOutputBmp; break;
        case idOutputJpeg: options.outputFormat = idOutputJpeg; break;
        case idOutputTif8: options.outputFormat = idOutputTif8; break;
        default:
            wxMessageBox("16 Bit TIFF Support will be in a future version.", wxMessageBoxCaptionStr,
                         wxOK | wxCENTRE);
            options.outputFormat = idOutputTif8;
            break;
    }
    setupUI(options.cropMode);
    writeINI();
}

void UI_TLCrop::onStackSelect(wxCommandEvent&) {
    wxMessageBox("Image Stacking will be implemented in a future version of Tellvar.",
                 "Image Stack Function", wxICON_INFORMATION);
    options.stackEnabled = false;
    commands.stackOff();
    writeINI();
}

void UI_TLCrop::onOptions(wxCommandEvent&) {
    const int previousMode = options.cropMode;

    bool cancelled = false;
    UI_OptionsDialog* dialog = new UI_OptionsDialog("Tellvar Configuration");
    dialog->putVars(&options, &cancelled, false);
    dialog->ShowModal();
    if (cancelled) return;
    // Accept always comes with a save folder: an unfinished first-run set-up
    // is finished now.
    setupUnfinished = false;

    if (imagesLoaded) {
        // The new colour and reticle switch take effect on the redrawn
        // rectangle; the frame follows the new search perimeter.
        redrawPreview();
        limitPerimeterForSmallImage();
        if (showSafeArea) safetyArea();
        // Only a rectangle that exists is centred again: centring before the
        // first crop size would invent a rectangle from no size at all.
        if (cropDefined) cropArea();
    }

    if (options.cropMode == previousMode)
        setupUI(options.cropMode);
    else
        changeMode();
    writeINI();
}
