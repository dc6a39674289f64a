#include "EngineText.h"

#include <wx/strconv.h>

bool toEngineText(const wxString& text, std::string* engineText) {
    // Only Unicode scalar values have a UTF-8 form; the toolkit would still
    // encode a lone surrogate (and read it back), handing the engine bytes
    // that name no file. A NUL would cut the path short.
    for (wxUniChar character : text) {
        const wxUint32 code = character.GetValue();
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    }
    const wxScopedCharBuffer utf8 = text.utf8_str();
    std::string converted(utf8.data(), utf8.length());
    if (wxString::FromUTF8(converted.data(), converted.size()) != text) return false;
    *engineText = std::move(converted);
    return true;
}

std::string toEnginePath(const wxString& path) {
    std::string enginePath;
    return toEngineText(path, &enginePath) ? enginePath : std::string();
}

wxString fromEngineText(const std::string& engineText) {
    if (engineText.empty()) return wxString();
    wxString text = wxString::FromUTF8(engineText.data(), engineText.size());
    if (text.empty()) text = wxString(engineText.data(), wxConvLibc, engineText.size());
    if (text.empty()) text = wxString(engineText.data(), wxConvISO8859_1, engineText.size());
    return text;
}
