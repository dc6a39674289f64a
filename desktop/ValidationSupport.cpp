#include "ValidationSupport.h"

#include "BMP.h"
#include "JPEG.h"
#include "TIFF.h"

#include <wx/filename.h>
#include <wx/strconv.h>

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

std::string toEnginePath(const wxString& path) {
    const wxScopedCharBuffer bytes = path.fn_str();
    if (!bytes.data() || (bytes.length() == 0 && !path.empty())) return std::string();
    return std::string(bytes.data(), bytes.length());
}

wxString fromEngineText(const std::string& text) {
    if (text.empty()) return wxString();

    wxString converted = wxString::FromUTF8(text.data(), text.size());
    if (!converted.empty()) return converted;

    converted = wxString(text.data(), wxConvFile, text.size());
    if (!converted.empty()) return converted;

    return wxString(text.data(), wxConvISO8859_1, text.size());
}
