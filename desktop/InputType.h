#pragma once
// The input type of an image set (inputExtension): its first file's
// extension with the two spellings of one format folded together, and the
// format that type names, for the rules that depend on the input type (the
// validation codec, the automatic mode's output rules).

#include <wx/string.h>

// The upper-case extension of a file name as wxFileName splits it, with
// "TIFF" folded to "TIF" and "JPEG" to "JPG".
wxString foldedImageType(const wxString& fileName);

// The formats the engine reads. Other is any type the all-files filter let
// through, and the empty type of no set.
enum class InputFormat { Bmp, Jpeg, Tif, Other };

// The format of a folded type: "BMP", "JPG" and "TIF".
InputFormat inputFormatOf(const wxString& inputExtension);

// The engine type code of a folded type: BMP's and TIF's own codes, and
// JPEG's for every other type.
int engineTypeCode(const wxString& inputExtension);
