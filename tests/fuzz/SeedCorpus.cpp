// Writes the fuzzers' seed inputs: small valid files of every kind the
// codecs read, and a few broken ones, into <root>/bmp, <root>/jpeg and
// <root>/tiff.

#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestImages.h"
#include "TiffBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Picture;
using testsupport::TiffBuilder;

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> bytes, std::size_t length) {
    if (bytes.size() > length) bytes.resize(length);
    return bytes;
}

void writeBmpSeeds(const fs::path& dir, const Picture& picture) {
    const auto file = [&](const char* name) { return (dir / name).string(); };
    testsupport::writeBmp24(file("valid.bmp"), picture);
    testsupport::writeBmp24(file("one-pixel.bmp"), testsupport::makeStarField(1, 1, 2));
    auto bytes = testsupport::readFile(file("valid.bmp"));

    auto topDown = bytes;  // negative height
    const std::int32_t negative = -picture.height;
    for (int i = 0; i < 4; ++i) topDown[22 + i] = static_cast<std::uint8_t>(negative >> (8 * i));
    testsupport::writeFile(file("top-down.bmp"), topDown);

    auto compressed = bytes;
    compressed[30] = 1;
    testsupport::writeFile(file("compressed.bmp"), compressed);

    auto eightBit = bytes;
    eightBit[28] = 8;
    testsupport::writeFile(file("eight-bit.bmp"), eightBit);

    testsupport::writeFile(file("truncated.bmp"), cut(bytes, bytes.size() / 2));
}

void writeJpegSeeds(const fs::path& dir, const Picture& picture) {
    const auto file = [&](const char* name) { return (dir / name).string(); };
    testsupport::writeJpeg(file("colour.jpg"), picture, 80);
    testsupport::writeJpeg(file("gray.jpg"), picture, 80, 1);
    testsupport::writeJpeg(file("progressive.jpg"), picture, 80, 3, true);
    testsupport::writeJpeg(file("one-row.jpg"), testsupport::makeStarField(9, 1, 3), 90);
    const auto bytes = testsupport::readFile(file("colour.jpg"));
    testsupport::writeFile(file("truncated.jpg"), cut(bytes, bytes.size() * 2 / 3));
    testsupport::writeFile(file("headers-only.jpg"), cut(bytes, 200));
}

void writeTiffSeeds(const fs::path& dir, const Picture& picture) {
    const auto file = [&](const char* name) { return (dir / name).string(); };
    testsupport::writeTiffRgb8(file("valid.tif"), picture);
    const std::vector<std::uint8_t> pixels(4 * 3 * 3, 90);
    TiffBuilder::rgb8(4, 3, pixels).write(file("crafted.tif"));
    TiffBuilder::rgb8(4, 3, pixels).remove(TIFFTAG_PHOTOMETRIC).write(file("no-photometric.tif"));
    TiffBuilder::rgb8(4, 3, pixels)
        .set(TIFFTAG_BITSPERSAMPLE, TiffBuilder::Short, {16, 16, 16})
        .write(file("sixteen-bit.tif"));
    TiffBuilder::rgb8(4, 3, pixels)
        .setShort(TIFFTAG_COMPRESSION, COMPRESSION_LZW)
        .write(file("lzw-flagged.tif"));

    TIFF* tiff = TIFFOpen(file("lzw.tif").c_str(), "w");
    if (tiff == nullptr) throw std::runtime_error("cannot create lzw.tif");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 8u);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 4u);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    std::vector<std::uint8_t> row(24, 40);
    for (std::uint32_t y = 0; y < 4; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
    TIFFClose(tiff);

    const auto bytes = testsupport::readFile(file("valid.tif"));
    testsupport::writeFile(file("truncated.tif"), cut(bytes, bytes.size() / 2));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    try {
        const fs::path root = argv[1];
        for (const char* kind : {"bmp", "jpeg", "tiff"}) fs::create_directories(root / kind);
        const Picture picture = testsupport::makeStarField(12, 8, 1);
        writeBmpSeeds(root / "bmp", picture);
        writeJpegSeeds(root / "jpeg", picture);
        writeTiffSeeds(root / "tiff", picture);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
