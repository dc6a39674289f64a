#include "SettingsFile.h"

#include <wx/strconv.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace settingsfile {

namespace {

bool isBlank(char c) {
    // The blanks that atoi skips in the C locale.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool convertsWith(const wxMBConv& converter, const std::string& bytes, wxString& result) {
    const wxWCharBuffer wide = converter.cMB2WC(bytes.c_str(), bytes.size(), nullptr);
    if (!wide.data()) return false;
    result = wxString(wide.data(), wide.length());
    return true;
}

}  // namespace

std::vector<std::string> readLines(std::FILE* file) {
    std::vector<std::string> lines;
    std::string current;
    bool lineOpen = false;
    const auto finishLine = [&] {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        lines.push_back(current);
        current.clear();
        lineOpen = false;
    };
    while (static_cast<int>(lines.size()) < kLineSlots) {
        const int c = std::fgetc(file);
        if (c == EOF) {
            // A last line without a line end still counts.
            if (lineOpen) finishLine();
            break;
        }
        if (c == '\n') {
            finishLine();
        } else {
            current.push_back(static_cast<char>(c));
            lineOpen = true;
        }
    }
    return lines;
}

int parseInteger(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;

    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }

    // Accumulate in 64 bits and stop growing once past the 32-bit range, so
    // that any number of digits saturates instead of wrapping.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::int64_t magnitude = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        magnitude = std::min<std::int64_t>(magnitude * 10 + (line[i] - '0'), limit);
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool parseFlag(const std::string& line) { return line == "1"; }

wxString decodeFolder(const std::string& line) {
    wxString folder;
    if (convertsWith(wxConvUTF8, line, folder)) return folder;
    if (convertsWith(wxConvLibc, line, folder)) return folder;
    convertsWith(wxConvISO8859_1, line, folder);
    return folder;
}

std::string encodeFolder(const wxString& folder) {
    const wxScopedCharBuffer utf8 = folder.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

}  // namespace settingsfile
