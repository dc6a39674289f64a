#pragma once
// What the validation of an image set needs at the boundary to the engine:
// the codec for the set's input type, the folded type of a file name, and
// the conversions of paths and messages between wxString and the engine's
// narrow strings.

#include <wx/string.h>

#include <memory>
#include <string>

namespace Tellvar {
class Brennock;
}

// The upper-case extension of a file name as wxFileName splits it, with
// "TIFF" folded to "TIF" and "JPEG" to "JPG", so that both spellings of one
// format compare equal.
wxString foldedImageType(const wxString& fileName);

// The engine codec that reads files of the given folded type: BMP for
// "BMP", TIF for "TIF", JPEG for everything else.
std::unique_ptr<Tellvar::Brennock> makeValidationCodec(const wxString& inputExtension);

// A path as the file system spells it, for the engine's fopen/TIFFOpen.
// The file-name conversion is used rather than the C library's, so that
// non-ASCII paths survive a C locale; a path that cannot be converted
// becomes an empty string and the engine reports it as unopenable.
std::string toEnginePath(const wxString& path);

// An engine message as a wxString. Engine messages mix file-system paths
// with C library error texts; UTF-8 is tried first, then the file-name
// encoding, and as a last resort every byte is kept as Latin-1, so that no
// message is ever shown empty.
wxString fromEngineText(const std::string& text);
