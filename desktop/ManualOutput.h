#pragma once
// Names and save options of the manual mode's output files.

#include <wx/gdicmn.h>
#include <wx/string.h>

class wxImage;

// JPEG quality of the manual mode's crops: high enough that a crop looks like
// its source, where the handler's default (75) visibly smears star images.
constexpr int kManualJpegQuality = 95;

struct ManualOutputFormat {
    const char* extension;  // with its dot
    wxBitmapType type;
};

// Extension and image type by output format id: JPEG, BMP, and TIFF for
// any other value (both TIFF ids).
ManualOutputFormat manualOutputFormat(int outputFormat);

// saveFolder + "/" + "crop_" + the file name cut before its last dot + the
// format's extension. The slash is appended whatever the folder ends with.
wxString manualOutputPath(const wxString& saveFolder, const wxString& fileName, int outputFormat);

// Fixes the options the image handler writes with, so the file does not
// depend on the handler's defaults or on options carried over from the
// source file: JPEG at kManualJpegQuality, 24-bit BMP, and TIFF as 8-bit RGB,
// contiguous and uncompressed (the kind of TIFF the engine itself reads, so
// manual crops can feed an automatic run). None of the three formats holds
// transparency, so an alpha channel is dropped and the colours kept.
void prepareManualSave(wxImage& image, wxBitmapType type);
