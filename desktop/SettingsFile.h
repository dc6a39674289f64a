#pragma once
// The text form of the settings file: nine positional lines, no keys.
// These helpers hold the line-level rules so that the reader and writer in
// the main window stay short and the rules can be checked on their own.

#include <wx/string.h>

#include <cstdio>
#include <string>
#include <vector>

namespace settingsfile {

// The reader keeps at most this many lines; anything after them is ignored.
constexpr int kLineSlots = 13;

// Reads up to kLineSlots lines, each without its line end (a trailing
// carriage return, left by a file written with DOS line ends, is dropped as
// well). Stops early at the end of the file or at a read error.
std::vector<std::string> readLines(std::FILE* file);

// atoi-style reading: leading blanks skipped, an optional sign, then the
// decimal digits up to the first other character. No number gives 0; a
// number beyond the 32-bit range saturates to INT_MIN or INT_MAX.
int parseInteger(const std::string& line);

// Only the exact text "1" is true.
bool parseFlag(const std::string& line);

// The save folder is written as UTF-8. Files written by earlier versions
// hold it in the locale's multibyte encoding; those are read with the
// locale's converter, and failing that as Latin-1, so no stored byte is
// lost.
wxString decodeFolder(const std::string& line);
std::string encodeFolder(const wxString& folder);

}  // namespace settingsfile
