// Validation of an image set for the fully automatic mode: every file must
// have the set's input type and the first file's width and height. Only the
// sizes are read, through the engine codec for the input type.

#include "UI_TLCrop.h"

#include "Brennock/Brennock.h"
#include "SpecialFile.h"
#include "ValidationSupport.h"

#include <wx/msgdlg.h>
#include <wx/progdlg.h>

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
    return wxString(
               "Errors have been detected and as a result the application cannot run in "
               "automatic mode.\n\nErrors have been previously shown, please take action and "
               "then resubmit your images.\n\nIf you remove images from the active file list "
               "please click the ") +
           validateWord + " on the toolbar which will revalidate all images.";
}

// What the walk over a set found. It shows nothing itself: the report does.
struct SetWalk {
    enum class Outcome { Passed, FirstFileUnreadable, Mismatch, ReadErrors };
    Outcome outcome = Outcome::Passed;
    // The first file's error text, or the box naming the offending file.
    wxString text;
    // Up to kMaxStoredReadErrors texts of unreadable files, in order.
    std::vector<wxString> readErrors;
};

// Reads the size of every file of the set (the first one twice: for the
// reference size, then in the walk) and compares each with the set's input
// type and the first file's size; a mismatch ends the walk at that file.
SetWalk walkImageSet(Tellvar::Brennock& codec, const wxArrayString& paths,
                     const wxArrayString& names, const wxString& inputExtension,
                     wxProgressDialog& progress) {
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
        return codec.sizeChecker(width, height, enginePath, errorText);
    };

    SetWalk walk;
    int referenceWidth = 0;
    int referenceHeight = 0;
    std::string errorText;
    if (!sizeOf(paths[0], &referenceWidth, &referenceHeight, &errorText)) {
        walk.outcome = SetWalk::Outcome::FirstFileUnreadable;
        walk.text = fromEngineText(errorText);
        return walk;
    }

    // Both mismatches end the walk with a box naming the offending file.
    const auto mismatchAt = [&walk](const char* opening, const wxString& path) {
        walk.outcome = SetWalk::Outcome::Mismatch;
        walk.text = wxString(opening) + path + kMismatchClosing;
        return walk;
    };

    const int fileCount = static_cast<int>(paths.GetCount());
    for (int i = 0; i < fileCount; ++i) {
        if (foldedImageType(names[i]) != inputExtension) {
            return mismatchAt(
                "Your images are not all of the same image format. At lest the "
                "following image is a different type:\n\n",
                paths[i]);
        }

        int width = 0;
        int height = 0;
        errorText.clear();
        if (!sizeOf(paths[i], &width, &height, &errorText)) {
            // An unreadable file is not compared for size; the walk goes on
            // so that up to four of these can be reported together.
            if (walk.readErrors.size() < kMaxStoredReadErrors)
                walk.readErrors.push_back(fromEngineText(errorText));
        } else if (width != referenceWidth || height != referenceHeight) {
            return mismatchAt(
                "Your images are not all of the same size. At lest the "
                "following image is a different size:\n\n",
                paths[i]);
        }

        progress.Update(i, wxEmptyString);
    }
    if (!walk.readErrors.empty()) walk.outcome = SetWalk::Outcome::ReadErrors;
    return walk;
}

// Tells the user what the walk found and sets the commands by it; true when
// the set passed.
bool reportSetWalk(const SetWalk& walk, const MainCommands& commands) {
    switch (walk.outcome) {
        case SetWalk::Outcome::FirstFileUnreadable:
            wxMessageBox(walk.text, "Image Validation Error", wxICON_ERROR);
            wxMessageBox(errorsSummary("Validate Option"), "Critical Error", wxICON_ERROR);
            // The other commands stay as they were; only the way back is opened.
            commands.firstFileUnreadable();
            return false;

        case SetWalk::Outcome::Mismatch:
            wxMessageBox(walk.text, "Critical Error", wxICON_ERROR);
            commands.validationFailed();
            return false;

        case SetWalk::Outcome::ReadErrors:
            for (const wxString& text : walk.readErrors)
                wxMessageBox(text, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
            wxMessageBox(errorsSummary("Validate option"), "Critical Error", wxICON_ERROR);
            commands.validationFailed();
            return false;

        case SetWalk::Outcome::Passed: break;
    }
    commands.validationPassed();
    wxMessageBox(
        "All images have been validated and are compatible with automatic alignment and "
        "cropping mode.",
        "Validation Completed!", wxOK | wxCENTRE);
    return true;
}

}  // namespace

bool UI_TLCrop::validateImages() {
    if (validated) return true;
    if (imagePaths == nullptr || imageNames == nullptr || imagePaths->IsEmpty() ||
        imageNames->GetCount() != imagePaths->GetCount())
        return false;

    // Shown for the whole validation, the boxes included.
    wxProgressDialog progress("", "Analysing Images", static_cast<int>(imagePaths->GetCount()) - 1,
                              this, wxPD_AUTO_HIDE | wxPD_REMAINING_TIME);

    // Owned here alone and released as soon as the walk is done, whatever
    // it found.
    std::unique_ptr<Tellvar::Brennock> codec = validationCodecFactory
                                                   ? validationCodecFactory(inputExtension)
                                                   : makeValidationCodec(inputExtension);
    if (!codec) return false;
    const SetWalk walk = walkImageSet(*codec, *imagePaths, *imageNames, inputExtension, progress);
    codec.reset();

    // Set before the report: a box of it may let other events run.
    validated = walk.outcome == SetWalk::Outcome::Passed;
    return reportSetWalk(walk, commands);
}

void UI_TLCrop::onRevalidate(wxCommandEvent&) {
    if (!imagesLoaded) return;
    validated = false;
    validateImages();
}
