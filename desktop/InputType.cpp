#include "InputType.h"

#include "Brennock/TypeCodes.h"

#include <wx/filename.h>

wxString foldedImageType(const wxString& fileName) {
    wxString type = wxFileName(fileName).GetExt().Upper();
    if (type == "TIFF") return "TIF";
    if (type == "JPEG") return "JPG";
    return type;
}

InputFormat inputFormatOf(const wxString& inputExtension) {
    if (inputExtension == "BMP") return InputFormat::Bmp;
    if (inputExtension == "JPG") return InputFormat::Jpeg;
    if (inputExtension == "TIF") return InputFormat::Tif;
    return InputFormat::Other;
}

int engineTypeCode(const wxString& inputExtension) {
    switch (inputFormatOf(inputExtension)) {
        case InputFormat::Bmp: return Tellvar::kTypeCodeBmp;
        case InputFormat::Tif: return Tellvar::kTypeCodeTiff;
        default: return Tellvar::kTypeCodeJpeg;
    }
}
