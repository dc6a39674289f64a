#include "SaveFolder.h"

#include <wx/filefn.h>
#include <wx/msgdlg.h>

bool saveFolderReady(const wxString& saveFolder) {
    if (saveFolder.empty()) {
        wxMessageBox(
            "Tellvar has no save folder for your cropped images.\n\nPlease choose a save "
            "folder in the options dialog and try again.",
            "ERROR", wxICON_ERROR);
        return false;
    }
    if (!wxDirExists(saveFolder)) {
        wxMessageBox("The save folder for your cropped images cannot be found:\n\n" + saveFolder +
                         "\n\nPlease choose an existing folder in the options dialog and try "
                         "again.",
                     "ERROR", wxICON_ERROR);
        return false;
    }
    return true;
}
