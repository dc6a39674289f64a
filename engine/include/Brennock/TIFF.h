#pragma once
// TIFF reader for 8-bit RGB, contiguous, uncompressed files; output goes
// through the TIFF writer of the codec base.

#include "Brennock/Brennock.h"

#include <cstdint>

namespace Tellvar {

class BRENNOCK_API TIF : public Brennock {
public:
    TIF();
    ~TIF() override;

    bool openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                   std::string* errorText) override;
    bool saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                   std::string* errorText) override;
    bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) override;

    // The acceptance rules shared by openImage and sizeChecker; true when the
    // file is acceptable, otherwise *errorText holds the refusal.
    bool chkTIFF(std::uint16_t planar, std::uint16_t photometric, std::uint16_t bitsPerSample,
                 std::uint16_t samplesPerPixel, std::uint16_t compression, std::uint16_t width,
                 std::uint16_t height, std::string path, std::string* errorText);
};

}  // namespace Tellvar
