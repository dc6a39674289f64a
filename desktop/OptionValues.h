#pragma once
// The user's settings block, mirrored line by line in the settings file.

#include <wx/string.h>

struct OptionValues {
    bool useReticle;
    bool stackEnabled;
    int red;
    int green;
    int blue;
    int cropMode;  // 0 manual, 1 fully automatic
    int searchPerimeter;
    int outputFormat;  // 1021 JPEG, 1022 BMP, 1023 TIF (8 bit), 1024 TIF (16 bit)
    wxString saveFolder;
};
