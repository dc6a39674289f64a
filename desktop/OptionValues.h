#pragma once
// The user's settings block, mirrored line by line in the settings file.

#include <wx/colour.h>
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

// The colour of the crop rectangle and the reticle: the low 8 bits of each
// stored part, opaque.
inline wxColour reticleColour(const OptionValues& options) {
    return wxColour(static_cast<unsigned char>(options.red & 0xFF),
                    static_cast<unsigned char>(options.green & 0xFF),
                    static_cast<unsigned char>(options.blue & 0xFF), wxALPHA_OPAQUE);
}
