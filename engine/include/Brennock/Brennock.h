#pragma once
// The codec interface shared by the BMP, JPEG and TIFF codecs, and the
// engine's one TIFF writer.
//
// Pixel buffers are width x height pixels of 3 bytes, rows packed at a stride
// of width x 3. BMP buffers are bottom-up blue-green-red, JPEG and TIFF
// buffers top-down red-green-blue. openImage hands out a buffer allocated
// with new[]; the caller releases it with delete[].
//
// Every operation that can fail returns false and replaces *errorText with a
// complete user message; on success *errorText is left untouched.
//
// The order of the virtual operations is part of the library's binary
// interface: the desktop program calls sizeChecker and the destructor
// through it.

#include "Brennock/Export.h"

#include <string>

namespace Tellvar {

class BRENNOCK_API Brennock {
public:
    Brennock() = default;
    virtual ~Brennock() = 0;

    virtual bool openImage(unsigned char** buffer, std::string path, int* width, int* height,
                           int* depth, std::string* errorText) = 0;
    virtual bool saveImage(unsigned char* buffer, int width, int height, int depth,
                           std::string path, std::string* errorText) = 0;
    virtual bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) = 0;

    // Writes an 8-bit RGB, uncompressed, top-left TIFF at path + ".tif".
    // depth is accepted for symmetry with saveImage and has no effect.
    bool saveTIFF(unsigned char* buffer, int width, int height, int depth, std::string path,
                  std::string* errorText);

    Brennock(const Brennock&) = delete;
    Brennock& operator=(const Brennock&) = delete;
};

}  // namespace Tellvar
