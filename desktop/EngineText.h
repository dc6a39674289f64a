#pragma once
// Text crossing to and from the engine, whose strings are narrow. Paths go
// as UTF-8 whatever the locale, so non-ASCII folders and names survive a C
// locale; messages come back mixing those paths with C library error texts.

#include <wx/string.h>

#include <string>

// The engine's form of a path or folder. Returns false, leaving engineText
// alone, for a text that has no faithful UTF-8 form (a lone surrogate or a
// NUL): the engine would then look for another file.
bool toEngineText(const wxString& text, std::string* engineText);

// The same for callers that let the engine report an unopenable path: a
// text without a faithful form becomes the empty path.
std::string toEnginePath(const wxString& path);

// An engine message for display: UTF-8, else the locale's encoding (system
// error texts), else Latin-1, which maps every byte, so that no message is
// ever shown empty.
wxString fromEngineText(const std::string& engineText);
