#include "ValidationSupport.h"

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"

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
