#pragma once
// The engine's three input formats as the tests drive them: the type code
// that chooses the codec, the file names, and writers of inputs.

#include <string>

#include "TestImages.h"

namespace testsupport {

enum class Format { Bmp, Tiff, Jpeg };

const char* formatName(Format format);
// The format a lower-case name ("bmp", "tiff", "jpeg") names; false for
// any other name.
bool parseFormatName(const std::string& name, Format* format);
// The engine type code that chooses the format's codec.
int typeCode(Format format);
// Extension the engine's codec gives a saved crop of this input format.
std::string outputExtension(Format format);
std::string inputFileName(const std::string& stem, Format format);

// JPEG inputs are written at quality 95.
void writeInput(const std::string& path, const Picture& picture, Format format);

}  // namespace testsupport
