// The image set: opening files, showing a row, choosing the reference frame,
// removing rows and clearing the whole set.

#include "UI_TLCrop.h"

#include "InputType.h"
#include "SpecialFile.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>

#include <vector>

namespace {

const wxString kReferenceLabel = "REF";
const wxColour kReferenceRowColour(255, 0, 0);
const wxColour kCropRowColour(0, 0, 255);

const wxString kOpenWildcard =
    wxString(
        "All Supported Images|*.TIFF;*.TIF;*.tif;*.tiff;*.BMP;*.bmp;*.jpg;*.JPG;*.jpeg;"
        "*.JPEG") +
    "|JPEG Images (*.jpg)|*.JPG;*.jpg|Bitmap Images (*.bmp)|*.bmp;*.BMP|TIFF Images (*.tif, "
    "*.tiff)|*.tif;*.TIF;*.TIFF;*.tiff" +
    "|All Files (*.*)|*.*";

bool askYesNo(const wxString& text, const wxString& caption) {
    // Closing the box counts as No: only an explicit Yes goes ahead.
    return wxMessageBox(text, caption, wxYES_NO | wxICON_QUESTION) == wxYES;
}

// Rows of the list that are selected, in ascending order.
std::vector<long> selectedRows(const wxListCtrl& list) {
    std::vector<long> rows;
    long row = -1;
    while ((row = list.GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) != -1)
        rows.push_back(row);
    return rows;
}

}  // namespace

void UI_TLCrop::onOpen(wxCommandEvent&) {
    if (imagesLoaded && masterReset(kAskBeforeOpening) == kResetDeclined) return;

    wxFileDialog dialog(this, "Open Image Files", wxEmptyString, wxEmptyString, kOpenWildcard,
                        wxFD_MULTIPLE, wxDefaultPosition, wxDefaultSize);
    if (dialog.ShowModal() != wxID_OK) return;

    wxArrayString paths;
    wxArrayString names;
    dialog.GetPaths(paths);
    dialog.GetFilenames(names);
    loadImageSet(paths, names);
}

void UI_TLCrop::loadImageSet(const wxArrayString& paths, const wxArrayString& names) {
    // The dialog pairs every path with its name; anything else is no set.
    if (paths.IsEmpty() || paths.GetCount() != names.GetCount()) return;

    *imagePaths = paths;
    *imageNames = names;
    inputExtension = foldedImageType(names[0]);

    if (!openImage(paths[0])) {
        // Nothing of the refused set stays behind: the lists, the list rows
        // and the count agree on an empty set.
        imagePaths->Clear();
        imageNames->Clear();
        inputExtension.Clear();
        return;
    }

    imageList->DeleteAllItems();
    imagesLoaded = true;
    imageCount = static_cast<int>(paths.GetCount());
    for (int i = 0; i < imageCount; ++i) {
        imageList->InsertItem(i, wxString::Format("%d -", i + 1));
        imageList->SetItem(i, 1, names[i]);
    }

    if (imageCount == 1) {
        singleImage = true;
        setupUI(kSingleImageMode);
        return;
    }

    multipleImages = true;
    popStatusBar("Image Path: " + paths[0], 4, false);
    popStatusBar(wxEmptyString, 3, true);
    // A set the automatic mode cannot use stays listed, so that the user can
    // remove the offending files, but the mode is not applied to it.
    if (options.cropMode == kAutomaticMode && !validateImages()) return;
    setupUI(options.cropMode);
}

bool UI_TLCrop::openImage(wxString path) {
    // Spelt as the toolkit's loader spells the path when it opens the file.
    if (namesSpecialFile(std::string(path.fn_str()))) {
        wxMessageBox(specialFileMessage(path), "Image Load Error", wxICON_ERROR);
        return false;
    }

    // Loaded aside: a failed load leaves what the panel shows and what a
    // crop cuts the same image, the one shown before.
    wxImage loadedImage;
    bool loaded;
    {
        // The failure is reported below in one box of our own; the toolkit's
        // log messages about the same file would only repeat it.
        wxLogNull quiet;
        loaded = loadedImage.LoadFile(path, wxBITMAP_TYPE_ANY, -1);
    }
    if (!loaded) {
        wxMessageBox("Tellvar has been unable to load your image file:\n\n" + path +
                         "\n\nPlease check the format of your image files and make sure that they "
                         "are not corrupt and try the request again.",
                     "Image Load Error", wxICON_ERROR);
        return false;
    }
    currentImage = loadedImage;

    imageWidth = currentImage.GetWidth();
    imageHeight = currentImage.GetHeight();
    // The fitted picture replaces whatever the panel showed, overlays included.
    drawPreview(setupBitmap(kFitBitmap));

    commands.imageShown();

    if (showSafeArea) safetyArea();

    limitPerimeterForSmallImage();
    return true;
}

void UI_TLCrop::onSelect(wxListEvent& event) {
    if (!multipleImages) return;
    const long row = event.GetIndex();
    if (row < 0 || row >= static_cast<long>(imagePaths->GetCount())) return;

    const wxString path = imagePaths->Item(row);
    if (!openImage(path)) return;
    popStatusBar(wxEmptyString, 3, true);
    popStatusBar("Image Path:  " + path, 4, false);
}

void UI_TLCrop::onReferenceFrameSet(wxCommandEvent&) {
    if (imageList->GetItemCount() == 0) return;

    if (referenceSet) {
        if (!askYesNo("Your reference frame has already been set.\n\nDo you want to discard it "
                      "and set a new reference frame?",
                      "WARNING"))
            return;
        imageList->SetItemTextColour(referenceIndex, wxColour(0, 0, 0));
        imageList->SetItem(referenceIndex, 0, referenceRowLabel);
    }

    const std::vector<long> selected = selectedRows(*imageList);
    if (selected.size() > 1) {
        wxMessageBox(
            "This application requires one reference frame.\n\nPlease select the best "
            "reference frame before starting the procedure.",
            "ERROR", wxICON_ERROR);
        referenceSet = false;
        return;
    }

    const long row = selected.empty() ? 0 : selected.back();
    referenceRowLabel = imageList->GetItemText(row, 0);
    imageList->SetItemTextColour(row, kReferenceRowColour);
    imageList->SetItem(row, 0, kReferenceLabel);
    wxMessageBox("Your reference frame '" + imageList->GetItemText(row, 1) +
                     "' has been successfully configured.",
                 "Reference Frame", wxICON_INFORMATION);
    referenceSet = true;
    referenceIndex = static_cast<int>(row);
}

void UI_TLCrop::deleteImage() {
    if (!askYesNo("Clicking yes will remove the selected images from your active file list.",
                  "Warning"))
        return;

    const std::vector<long> selected = selectedRows(*imageList);
    if (static_cast<long>(selected.size()) >= imageCount - 1) {
        if (askYesNo("This operation will leave too few images in your workflow.\n\nYou must have "
                     "at least two images in the workflow for the automatic mode to work.\n\nWould "
                     "you like to remove all images and start again?",
                     "WARNING"))
            masterReset(kResetWithoutAsking);
        return;
    }

    // From the bottom up, so that the rows still to be handled keep their
    // numbers while the ones below them go.
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const long row = *it;
        if (imageList->GetItemText(row, 0) == kReferenceLabel) {
            if (!askYesNo("You are about to delete your reference frame.\n\nIf you continue, you "
                          "will have to select a new reference frame.",
                          "WARNING"))
                continue;
            referenceSet = false;
            // With no reference chosen the index goes back to row 0, as after
            // a reset, so that it never names a row past the end of the set.
            referenceIndex = 0;
        }

        imagePaths->RemoveAt(row);
        imageNames->RemoveAt(row);
        --imageCount;
        imageList->DeleteItem(row);
        popStatusBar(wxString::Format("Images: %d", imageCount), 1, false);

        if (referenceSet && row < referenceIndex) --referenceIndex;
    }
}

void UI_TLCrop::markCropRow(long row) { imageList->SetItemTextColour(row, kCropRowColour); }

void UI_TLCrop::onDelete(wxCommandEvent&) { deleteImage(); }

void UI_TLCrop::onKeyDown(wxListEvent& event) {
    if (imagesLoaded && event.GetKeyCode() == WXK_DELETE) deleteImage();
}

int UI_TLCrop::masterReset(int variant) {
    static const wxString questions[] = {
        "Do you want to clear the applications internal buffers?\n\nThis will clear all image "
        "data and reconfigure the application to its original startup configuration.",
        "You have already loaded files into this software. If you continue your existing files "
        "will be removed and the new files will be loaded. \n\nDo you want to continue with this "
        "operation",
        "Would you like to clear the application data. \n\n",
    };
    if (variant >= kAskToClearBuffers && variant <= kAskAfterManualPass &&
        !askYesNo(questions[variant], "Clear Application"))
        return kResetDeclined;

    widgetState(false);
    imageList->DeleteAllItems();
    currentImage.Destroy();
    imagePaths->Clear();
    imageNames->Clear();

    imagesLoaded = false;
    previewScaled = false;
    multipleImages = false;
    referenceSet = false;
    validated = false;
    formatRulesApplied = false;
    singleImage = false;
    cropDefined = false;
    showSafeArea = true;

    drawStartScreen();

    popStatusBar("Image Size: N/A", 3, false);
    popStatusBar("Image Path: N/A", 4, false);

    referenceIndex = 0;
    referenceRowLabel.Clear();
    imageCount = 0;
    croppedCount = 0;
    imageWidth = 0;
    imageHeight = 0;
    previewWidth = 0;
    previewHeight = 0;
    displayCropWidth = 0;
    displayCropHeight = 0;
    inputExtension.Clear();

    setupUI(options.cropMode);
    return kResetDone;
}

void UI_TLCrop::onMasterReset(wxCommandEvent&) { masterReset(kAskToClearBuffers); }
