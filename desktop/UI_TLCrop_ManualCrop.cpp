// The Crop Image command: in the manual mode it cuts the crop rectangle out
// of the image shown, saves the cut and moves on to the next image of the
// list; in the fully automatic mode it offers to start the run.

#include "UI_TLCrop.h"

#include "ManualOutput.h"
#include "SaveFolder.h"

#include <wx/log.h>
#include <wx/msgdlg.h>

void UI_TLCrop::onCropImage(wxCommandEvent&) {
    if (multipleImages) commands.runOffered();
    cropRoutine();
}

void UI_TLCrop::cropRoutine() {
    if (options.cropMode == kManualMode || imageCount == 1)
        manualCropStep();
    else if (options.cropMode == kAutomaticMode)
        askToStartRun();
}

void UI_TLCrop::askToStartRun() {
    commands.runOffered();

    const int answer = wxMessageBox(
        "Tellvar is now ready to crop and register your images.\n\nClick YES if you are happy "
        "with your configuration and you want the images processed now. If you are not happy with "
        "your setup click NO and reconfigure.\n\nIf you select NO you can click the GO tool bar "
        "icon at anytime.",
        "Tellvar Question", wxYES_NO | wxICON_QUESTION);
    if (answer == wxYES) mainProcedure(cropX, cropY);
}

bool UI_TLCrop::cropFitsCurrentImage() const {
    if (!currentImage.IsOk() || cropWidth <= 0 || cropHeight <= 0) return false;
    if (cropX < 0 || cropY < 0) return false;
    // Compared in 64 bits so that no sum of two ints can wrap.
    return static_cast<long long>(cropX) + cropWidth <= currentImage.GetWidth() &&
           static_cast<long long>(cropY) + cropHeight <= currentImage.GetHeight();
}

void UI_TLCrop::manualCropStep() {
    if (!imagesLoaded || imagePaths == nullptr || imageNames == nullptr) return;

    const int listSize = static_cast<int>(imageNames->GetCount());
    if (croppedCount >= imageCount || croppedCount >= listSize) {
        // The pass has ended and the user kept the set: there is no next
        // image to name a crop after.
        wxMessageBox(
            "Every image of this set has already been cropped.\n\nPlease clear the image "
            "buffer or open new images before cropping again.",
            "Warning", wxICON_EXCLAMATION);
        return;
    }

    if (!saveFolderReady(options.saveFolder)) return;

    if (!cropFitsCurrentImage()) {
        // Images of a manual set may differ in size, so a rectangle centred on
        // a smaller image can reach past its edges. Cutting it would clip the
        // crop or invent pixels, so nothing is cut and the count stays.
        wxMessageBox(wxString::Format(
                         "The crop rectangle does not fit inside the current image.\n\nImage size: "
                         "%d x %d\nCrop rectangle: %d x %d at %d, %d\n\nNothing has been saved. "
                         "Please set a smaller cropping area or move the crop rectangle inside the "
                         "image, then try again.",
                         currentImage.IsOk() ? currentImage.GetWidth() : 0,
                         currentImage.IsOk() ? currentImage.GetHeight() : 0, cropWidth, cropHeight,
                         cropX, cropY),
                     "ERROR", wxICON_ERROR);
        return;
    }

    croppedCount += 1;
    if (croppedCount == 1) manualPass.begin(*imagePaths);

    autoSave(croppedCount, currentImage.GetSubImage(wxRect(cropX, cropY, cropWidth, cropHeight)));

    if (croppedCount >= imageCount)
        finishManualPass();
    else
        loadNextManualImage();
}

void UI_TLCrop::loadNextManualImage() {
    while (croppedCount < imageCount) {
        const wxString path = (*imagePaths)[croppedCount];
        if (openImage(path)) {
            cropArea();
            if (croppedCount < imageList->GetItemCount()) markCropRow(croppedCount);
            popStatusBar(path, 4, false);
            return;
        }
        // openImage has shown why the file cannot be loaded. Its crop cannot
        // be made, and cutting the image still shown would save it under
        // this file's name, so the file is passed over as not saved.
        manualPass.recordFailure();
        croppedCount += 1;
    }
    finishManualPass();
}

void UI_TLCrop::finishManualPass() {
    if (manualPass.failures() == 0) {
        wxMessageBox(
            "All crop operations have completed normally. Your files have been "
            "automatically saved and placed in\n\n" +
                options.saveFolder + "\n\nYou can change the save location in the options dialog",
            "Notification", wxICON_INFORMATION);
    } else {
        wxMessageBox(wxString::Format("The crop operations have finished, but %d of your %d images "
                                      "could not be cropped and saved. The reason was shown for "
                                      "each of them.\n\nThe crops that were saved have been "
                                      "placed in\n\n",
                                      manualPass.failures(), imageCount) +
                         options.saveFolder +
                         "\n\nYou can change the save location in the options dialog",
                     "Warning", wxICON_EXCLAMATION);
    }
    masterReset(kAskAfterManualPass);
}

void UI_TLCrop::autoSave(int number, wxImage image) {
    if (imageNames == nullptr || number < 1 || number > static_cast<int>(imageNames->GetCount())) {
        manualPass.recordFailure();
        wxMessageBox("Unable to save image file.", "ERROR", wxICON_ERROR);
        return;
    }

    const ManualOutputFormat format = manualOutputFormat(options.outputFormat);
    const wxString path = manualPass.uniquePath(
        manualOutputPath(options.saveFolder, (*imageNames)[number - 1], options.outputFormat));

    prepareManualSave(image, format.type);
    bool saved = false;
    {
        // The handler would also log its own error; the one message below
        // is the user's report.
        wxLogNull quiet;
        saved = image.SaveFile(path, format.type);
    }

    if (!saved) {
        manualPass.recordFailure();
        wxMessageBox("Unable to save image file.", "ERROR", wxICON_ERROR);
        return;
    }
    manualPass.recordSaved(path);
}
