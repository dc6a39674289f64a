#pragma once
// What the validation of an image set needs at the boundary to the engine:
// the codec for the set's input type, and the input type itself.

#include "EngineText.h"
#include "InputType.h"

#include <wx/string.h>

#include <memory>
#include <string>

namespace Tellvar {
class Brennock;
}

// The engine codec that reads files of the given input type: BMP, TIF, and
// JPEG for every other type.
std::unique_ptr<Tellvar::Brennock> makeValidationCodec(const wxString& inputExtension);
