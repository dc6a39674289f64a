#include "InputFormats.h"

#include "Brennock/TypeCodes.h"

namespace testsupport {

const char* formatName(Format format) {
    switch (format) {
        case Format::Bmp: return "Bmp";
        case Format::Tiff: return "Tiff";
        case Format::Jpeg: return "Jpeg";
    }
    return "?";
}

bool parseFormatName(const std::string& name, Format* format) {
    for (Format candidate : {Format::Bmp, Format::Tiff, Format::Jpeg}) {
        std::string lower = formatName(candidate);
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (name == lower) {
            *format = candidate;
            return true;
        }
    }
    return false;
}

int typeCode(Format format) {
    switch (format) {
        case Format::Bmp: return Tellvar::kTypeCodeBmp;
        case Format::Tiff: return Tellvar::kTypeCodeTiff;
        case Format::Jpeg: return Tellvar::kTypeCodeJpeg;
    }
    return Tellvar::kTypeCodeJpeg;
}

std::string outputExtension(Format format) { return format == Format::Bmp ? ".bmp" : ".tif"; }

std::string inputFileName(const std::string& stem, Format format) {
    switch (format) {
        case Format::Bmp: return stem + ".bmp";
        case Format::Tiff: return stem + ".tif";
        case Format::Jpeg: return stem + ".jpg";
    }
    return stem;
}

void writeInput(const std::string& path, const Picture& picture, Format format) {
    switch (format) {
        case Format::Bmp: testsupport::writeBmp24(path, picture); break;
        case Format::Tiff: testsupport::writeTiffRgb8(path, picture); break;
        case Format::Jpeg: testsupport::writeJpeg(path, picture, 95); break;
    }
}

}  // namespace testsupport
