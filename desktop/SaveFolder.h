#pragma once
// The one check both crop modes make before they write anything into the
// save folder.

#include <wx/string.h>

// True when the save folder is set and names an existing folder. Otherwise
// shows the user why nothing can be saved and returns false: an empty
// folder would put the crops into the root folder, a missing one would fail
// every save.
bool saveFolderReady(const wxString& saveFolder);
