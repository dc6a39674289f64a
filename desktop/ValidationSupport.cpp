#include "ValidationSupport.h"

#include "BMP.h"
#include "JPEG.h"
#include "TIFF.h"

#include <wx/filename.h>

wxString foldedImageType(const wxString& fileName) {
    wxString type = wxFileName(fileName).GetExt().Upper();
    if (type == "TIFF") return "TIF";
    if (type == "JPEG") return "JPG";
    return type;
}

std::unique_ptr<Tellvar::Brennock> makeValidationCodec(const wxString& inputExtension) {
    if (inputExtension == "BMP") return std::make_unique<Tellvar::BMP>();
    if (inputExtension == "TIF") return std::make_unique<Tellvar::TIF>();
    return std::make_unique<Tellvar::JPEG>();
}
