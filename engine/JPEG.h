#pragma once
// JPEG reader (libjpeg-turbo, jpeg 6b interface); output goes through the
// TIFF writer, so a JPEG run's crops are 8-bit RGB TIFF files.

#include "Brennock.h"

#include <cstddef>

struct jpeg_common_struct;

namespace Tellvar {

// Text of the last fatal library error on the calling thread. Each thread
// has its own copy, so failures on several threads at once never garble one
// another's message.
constexpr std::size_t kJpegMessageLength = 200;
extern thread_local char jpegLastErrorMsg[kJpegMessageLength];

// The library's fatal-error hook: records the message and leaves the decode
// in progress. It never returns to the library.
void jpegErrorExit(jpeg_common_struct* cinfo);

class JPEG : public Brennock {
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
