#include "InputFormats.h"

namespace testsupport {

const char* formatName(Format format) {
    switch (format) {
        case Format::Bmp: return "Bmp";
        case Format::Tiff: return "Tiff";
        case Format::Jpeg: return "Jpeg";
    }
    return "?";
}

int typeCode(Format format) {
    switch (format) {
        case Format::Bmp: return 1022;
        case Format::Tiff: return 1025;
        case Format::Jpeg: return 1021;
    }
    return 1021;
}

std::string outputExtension(Format format) {
    return format == Format::Bmp ? ".bmp" : ".tif";
}

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
