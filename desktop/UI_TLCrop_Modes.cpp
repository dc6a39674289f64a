// Crop modes and output formats: applying a mode to the window (title, menu
// items, tools, status fields), the output-format rules of each mode and
// input type, and the mode, format, stack and options commands.

#include "UI_TLCrop.h"
#include "CommandIds.h"

#include "AutoVersion.h"
#include "UI_OptionsDialog.h"

#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/toolbar.h>

namespace {

enum ModeId { kManualMode = 0, kAutomaticMode = 1, kSingleImageMode = 2 };

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

// Menu changes that look the item up first: the stack switch (1019) has a
// table entry but no item, and checking or enabling a missing item is a
// programming error to the toolkit rather than a quiet no-op.
void checkItem(wxMenu* menu, int id, bool check) {
    if (menu->FindItem(id)) menu->Check(id, check);
}

void enableItem(wxMenu* menu, int id, bool enable) {
    if (menu->FindItem(id)) menu->Enable(id, enable);
}

void enableItems(wxMenu* menu, std::initializer_list<int> ids, bool enable) {
    for (int id : ids) enableItem(menu, id, enable);
}

// A mode that cannot write the stored output format says so and switches
// to 8-bit TIFF, which every mode writes.
void switchToTif8(UI_TLCrop& frame, const wxString& notice) {
    wxMessageBox(notice, kOptionChangedCaption, wxICON_EXCLAMATION);
    checkItem(frame.outputMenu, idOutputTif8, true);
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
    wxMenu* outputMenu = frame.outputMenu;
    const wxString& inputExtension = frame.inputExtension;
    if (inputExtension == "BMP") {
        if (options.outputFormat != idOutputBmp) {
            wxMessageBox("The input file format has been detected to be Bitmap.\n\nTellvar will "
                         "output your files in the Bitmap File Format.",
                         kOptionChangedCaption, wxICON_EXCLAMATION);
            checkItem(outputMenu, idOutputBmp, true);
            options.outputFormat = idOutputBmp;
        }
        enableItem(outputMenu, idOutputBmp, true);
        enableItems(outputMenu, {idOutputTif8, idOutputTif16}, false);
    } else if (inputExtension == "JPG" || inputExtension == "TIF") {
        if (options.outputFormat == idOutputBmp) {
            if (inputExtension == "JPG")
                wxMessageBox("The input file format has been detected to be JPEG.\n\nAs JPEG files "
                             "are typically lower quality Tellvar will only output your images in "
                             "the TIFF File Format.",
                             kOptionChangedCaption, wxICON_EXCLAMATION);
            else
                wxMessageBox("The input file format has been detected to be TIFF.\n\nTellvar will "
                             "output your files in the TIFF File Format..",
                             kOptionChangedCaption, wxICON_EXCLAMATION);
            options.outputFormat = idOutputTif8;
        }
        checkItem(outputMenu, idOutputTif8, true);
        enableItems(outputMenu, {idOutputTif8, idOutputTif16}, true);
        enableItem(outputMenu, idOutputBmp, false);
    } else {
        // No rule for this input type (nothing loaded, or a type the
        // all-files filter let through): try again on the next set-up.
        return;
    }
    frame.formatRulesApplied = true;
    frame.writeINI();
}

}  // namespace

void UI_TLCrop::setupUI(int mode) {
    checkItem(outputMenu, options.outputFormat, true);

    // The em dash is written as a wide character so that the title is the
    // same whatever the locale's encoding.
    SetTitle(wxString::FromUTF8(AutoVersion::appName) + " 64Bit" + wxString(L" \u2014 (") +
             modeText(options.cropMode) + ")");

    if (mode == kManualMode && !singleImage) {
        checkItem(cropModeMenu, idManualMode, true);
        checkItem(cropModeMenu, idStack, false);
        enableItem(cropModeMenu, idStack, false);
        enableItem(cropModeMenu, idAutomaticMode, true);
        cropModeMenu->SetLabel(idManualMode, "Manual");

        popStatusBar("Mode: Manual", 0, false);
        popStatusBar("Search Size: N/A", 2, false);
        popStatusBar("Stack: N/A", 1, false);

        enableItem(toolsMenu, idSetReference, false);
        toolBar->EnableTool(idSetReference, false);
        toolBar->EnableTool(idValidate, false);
        toolBar->EnableTool(idToggleSafeArea, false);
        toolBar->EnableTool(idRemoveFiles, imagesLoaded);
        enableItem(toolsMenu, idRemoveFiles, imagesLoaded);

        if (options.outputFormat == idOutputTif16)
            switchToTif8(*this,
                         "Saving 16bit TIFF Files is not supported in the manual mode.\n\nYour "
                         "save file format has been changed to 8 bit TIFF");

        enableItems(outputMenu, {idOutputBmp, idOutputJpeg, idOutputTif8}, true);
        enableItem(outputMenu, idOutputTif16, false);
    } else if (mode == kAutomaticMode && !singleImage) {
        checkItem(cropModeMenu, idAutomaticMode, true);
        checkItem(cropModeMenu, idStack, options.stackEnabled);
        enableItems(cropModeMenu, {idStack, idAutomaticMode}, true);
        cropModeMenu->SetLabel(idManualMode, "Manual");

        // The stack text is overwritten at once: the image count is what the
        // field shows in this mode.
        popStatusBar(options.stackEnabled ? "Stack: YES" : "", 1, false);
        popStatusBar(wxString::Format("Images: %d", imageCount), 1, false);
        popStatusBar("Mode: Fully Automatic", 0, false);
        popStatusBar(wxString::Format("Search Size: %d px", options.searchPerimeter), 2, false);

        enableItem(toolsMenu, idSetReference, imagesLoaded);
        toolBar->EnableTool(idSetReference, imagesLoaded);
        toolBar->EnableTool(idRemoveFiles, imagesLoaded);
        enableItem(toolsMenu, idRemoveFiles, imagesLoaded);
        toolBar->EnableTool(idValidate, imagesLoaded);
        toolBar->EnableTool(idToggleSafeArea, imagesLoaded);

        enableItem(outputMenu, idOutputJpeg, false);
        enableItems(outputMenu, {idOutputTif8, idOutputTif16, idOutputBmp}, true);

        if (options.outputFormat == idOutputJpeg)
            switchToTif8(*this,
                         "Saving JPEG Image Files is not supported in the Automatic Mode.\n\nYour "
                         "save file format has been changed to 8 bit TIFF.");

        if (formatRulesApplied) return;
        applyInputFormatRules(*this);
    } else if (mode == kSingleImageMode && singleImage) {
        if (options.cropMode == kAutomaticMode) {
            wxMessageBox("You are currently in the fully automatic mode but have only loaded one "
                         "image. The fully automatic mode requires multiple images.\n\nIf you want "
                         "to crop one image please change to the manual mode and then load your "
                         "image again.",
                         "Warning", wxICON_EXCLAMATION);
            masterReset(3);
            return;
        }

        popStatusBar(wxEmptyString, 3, true);
        popStatusBar("Mode: Single Image", 0, false);
        popStatusBar("Stack: N/A", 1, false);
        popStatusBar("Search Area: N/A", 2, false);

        checkItem(cropModeMenu, idManualMode, true);
        checkItem(cropModeMenu, idStack, false);
        enableItems(cropModeMenu, {idStack, idAutomaticMode}, false);
        cropModeMenu->SetLabel(idManualMode, "Manual (Single Image)");

        enableItems(outputMenu, {idOutputBmp, idOutputJpeg, idOutputTif8}, true);
        enableItem(outputMenu, idOutputTif16, false);
    } else {
        popStatusBar("Mode: Unknown", 0, false);
    }
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
    checkItem(cropModeMenu, idStack, false);
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
        if (!previewScaled && options.searchPerimeter > 30) {
            wxMessageBox("Your current search perimeter is greater then 30. This is not supported "
                         "when you load images smaller than 800 x 600.\n\nYour search perimeter "
                         "has been reduced to 30. ",
                         wxMessageBoxCaptionStr, wxOK | wxCENTRE);
            options.searchPerimeter = 30;
            writeINI();
        }
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
