#pragma once
// Uncompressed 24-bit Windows bitmaps. Frames keep the file's bottom-up row
// order and blue-green-red bytes; saveImage writes them back the same way.

#include "Brennock/Brennock.h"

#include <cstdint>

namespace Tellvar {

#pragma pack(push, 1)
struct BitmapFileHeader {
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
};

struct BitmapInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
#pragma pack(pop)

static_assert(sizeof(BitmapFileHeader) == 14, "BMP file header must be packed");
static_assert(sizeof(BitmapInfoHeader) == 40, "BMP info header must be packed");

class BRENNOCK_API BMP : public Brennock {
public:
    BMP();
    ~BMP() override;

    bool openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                   std::string* errorText) override;
    bool saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                   std::string* errorText) override;
    bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) override;

    // Fills fileHeader and infoHeader as saveImage would for this size and
    // depth; returns the number of pad bytes after each stored row.
    int calcHeaders(int width, int height, int bitCount);

    // Headers of the file this object last wrote through calcHeaders. The
    // reading and writing operations work on headers of their own, so
    // concurrent calls on one object never share them.
    BitmapFileHeader fileHeader;
    BitmapInfoHeader infoHeader;
};

}  // namespace Tellvar
