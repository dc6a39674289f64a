#pragma once
// What the validation of an image set needs at the boundary to the engine:
// the codec for the set's input type and the folded type of a file name.

#include "EngineText.h"

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

