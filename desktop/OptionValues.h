#pragma once
// The user's settings block, mirrored line by line in the settings file.

#include <wx/string.h>

// The values of cropMode.
enum CropMode : int { kManualMode = 0, kAutomaticMode = 1 };

struct OptionValues {
    bool useReticle;
    bool stackEnabled;
    int red;
    int green;
    int blue;
    int cropMode;  // a CropMode; any other value reads as an unknown mode
    int searchPerimeter;
    int outputFormat;  // the id of its Output menu item (idOutputJpeg ... in CommandIds.h)
    wxString saveFolder;
};
