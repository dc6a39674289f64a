#pragma once
// JPEG reader (libjpeg-turbo, jpeg 6b interface); output goes through the
// TIFF writer, so a JPEG run's crops are 8-bit RGB TIFF files.

#include "Brennock/Brennock.h"

namespace Tellvar {

class BRENNOCK_API JPEG : public Brennock {
public:
    JPEG();
    ~JPEG() override;

    bool openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                   std::string* errorText) override;
    bool saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                   std::string* errorText) override;
    bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) override;
};

}  // namespace Tellvar
