// Validation of an image set for the fully automatic mode: every file must
// have the set's input type and the first file's width and height. Only the
// sizes are read, through the engine codec for the input type.

#include "UI_TLCrop.h"
#include "CommandIds.h"

#include "Brennock/Brennock.h"
#include "SpecialFile.h"
#include "ValidationSupport.h"

#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/progdlg.h>
#include <wx/toolbar.h>

#include <vector>

namespace {


// At most this many read errors are kept to be shown after the walk.
constexpr size_t kMaxStoredReadErrors = 4;

const char* const kMismatchClosing =
    "\n\nThe fully automatic modes require that all your images are exactly the same size and "
    "are of the same file type.\n\nYou can use Tellvar's remove feature to remove incorrect "
    "images and then click the revalidate toolbar option or switch to manual mode. ";

// The two summaries differ only in the case of "Option"/"option".
wxString errorsSummary(const char* validateWord) {
    return wxString("Errors have been detected and as a result the application cannot run in "
                    "automatic mode.\n\nErrors have been previously shown, please take action and "
                    "then resubmit your images.\n\nIf you remove images from the active file list "
                    "please click the ") +
           validateWord + " on the toolbar which will revalidate all images.";
}

void enableCommand(wxMenu* menu, wxToolBar* tools, int id, bool enable) {
    menu->Enable(id, enable);
    tools->EnableTool(id, enable);
}

// Every failure box asks the user to validate again, and on a fresh start
// only a mode's set-up, which a failed validation skips, would have enabled
// the tool; it has no menu item.
void keepValidateUsable(wxToolBar* tools) { tools->EnableTool(idValidate, true); }

// After a failure the user can remove the offending files and validate
// again, but cannot go on with the set as it is.
void applyFailureCommands(wxMenu* menu, wxToolBar* tools) {
    enableCommand(menu, tools, idSetReference, false);
    enableCommand(menu, tools, idSetCrop, false);
    enableCommand(menu, tools, idRemoveFiles, true);
    keepValidateUsable(tools);
}

}  // namespace

bool UI_TLCrop::validateImages() {
    if (validated) return true;
    if (imagePaths == nullptr || imageNames == nullptr || imagePaths->IsEmpty() ||
        imageNames->GetCount() != imagePaths->GetCount())
        return false;

    const wxArrayString& paths = *imagePaths;
    const wxArrayString& names = *imageNames;
    const int fileCount = static_cast<int>(paths.GetCount());

    wxProgressDialog progress("", "Analysing Images", fileCount - 1, this,
                              wxPD_AUTO_HIDE | wxPD_REMAINING_TIME);

    // Owned here alone, so it is released on every way out of the walk.
    std::unique_ptr<Tellvar::Brennock> codec = validationCodecFactory
                                                   ? validationCodecFactory(inputExtension)
                                                   : makeValidationCodec(inputExtension);
    if (!codec) return false;

    // The codec is not given what is no regular file: opening a named pipe
    // would wait on the GUI thread for a writer that never comes.
    const auto sizeOf = [&codec](const wxString& path, int* width, int* height,
                                 std::string* errorText) {
        const std::string enginePath = toEnginePath(path);
        if (namesSpecialFile(enginePath)) {
            // Shown through fromEngineText like the codec's own messages.
            *errorText = specialFileMessage(path).utf8_str().data();
            return false;
        }
        return codec->sizeChecker(width, height, enginePath, errorText);
    };

    int referenceWidth = 0;
    int referenceHeight = 0;
    std::string errorText;
    if (!sizeOf(paths[0], &referenceWidth, &referenceHeight, &errorText)) {
        wxMessageBox(fromEngineText(errorText), "Image Validation Error", wxICON_ERROR);
        wxMessageBox(errorsSummary("Validate Option"), "Critical Error", wxICON_ERROR);
        validated = false;
        // The other commands stay as they were; only the way back is opened.
        keepValidateUsable(toolBar);
        return false;
    }

    // A mismatch ends the walk at the first offending file.
    const auto failWalk = [this, &codec](const wxString& text) {
        wxMessageBox(text, "Critical Error", wxICON_ERROR);
        codec.reset();
        validated = false;
        applyFailureCommands(toolsMenu, toolBar);
        return false;
    };

    std::vector<wxString> readErrors;
    for (int i = 0; i < fileCount; ++i) {
        if (foldedImageType(names[i]) != inputExtension) {
            return failWalk(wxString("Your images are not all of the same image format. At lest the "
                                     "following image is a different type:\n\n") +
                            paths[i] + kMismatchClosing);
        }

        int width = 0;
        int height = 0;
        errorText.clear();
        if (!sizeOf(paths[i], &width, &height, &errorText)) {
            // An unreadable file is not compared for size; the walk goes on
            // so that up to four of these can be reported together.
            if (readErrors.size() < kMaxStoredReadErrors)
                readErrors.push_back(fromEngineText(errorText));
        } else if (width != referenceWidth || height != referenceHeight) {
            return failWalk(wxString("Your images are not all of the same size. At lest the "
                                     "following image is a different size:\n\n") +
                            paths[i] + kMismatchClosing);
        }

        progress.Update(i, wxEmptyString);
    }

    if (!readErrors.empty()) {
        for (const wxString& text : readErrors)
            wxMessageBox(text, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
        wxMessageBox(errorsSummary("Validate option"), "Critical Error", wxICON_ERROR);
        codec.reset();
        validated = false;
        applyFailureCommands(toolsMenu, toolBar);
        return false;
    }

    validated = true;
    codec.reset();
    enableCommand(toolsMenu, toolBar, idSetReference, true);
    enableCommand(toolsMenu, toolBar, idSetCrop, true);
    enableCommand(toolsMenu, toolBar, idRemoveFiles, true);
    wxMessageBox("All images have been validated and are compatible with automatic alignment and "
                 "cropping mode.",
                 "Validation Completed!", wxOK | wxCENTRE);
    return true;
}

void UI_TLCrop::onRevalidate(wxCommandEvent&) {
    if (!imagesLoaded) return;
    validated = false;
    validateImages();
}
