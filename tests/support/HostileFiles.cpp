#include "HostileFiles.h"

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "TestImages.h"
#include "TiffBuilder.h"
#include "TiffLayouts.h"

namespace testsupport {

namespace {

using Bytes = std::vector<std::uint8_t>;

void putLe(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t le16(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8;
}

Bytes cut(Bytes bytes, std::size_t length) {
    bytes.resize(std::min(bytes.size(), length));
    return bytes;
}

Picture picture() { return makeStarField(12, 8, 1); }

// ---- BMP --------------------------------------------------------------------

Bytes validBmp(const std::string& path) {
    writeBmp24(path, picture());
    return readFile(path);
}

// An uncompressed-layout file of any bit count, with a grey palette when
// the count is 8 or less; rows hold a ramp.
Bytes bmpOfDepth(int width, int height, int bits) {
    const std::uint32_t paletteBytes = bits <= 8 ? 4u << bits : 0;
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * bits + 31) / 32) * 4;
    const std::uint32_t offset = 54 + paletteBytes;
    Bytes bytes(offset + stride * static_cast<std::uint32_t>(height));
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLe(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    putLe(bytes, 10, offset, 4);
    putLe(bytes, 14, 40, 4);
    putLe(bytes, 18, static_cast<std::uint32_t>(width), 4);
    putLe(bytes, 22, static_cast<std::uint32_t>(height), 4);
    putLe(bytes, 26, 1, 2);
    putLe(bytes, 28, static_cast<std::uint32_t>(bits), 2);
    putLe(bytes, 34, stride * static_cast<std::uint32_t>(height), 4);
    for (std::uint32_t i = 0; i < paletteBytes; ++i)
        bytes[54 + i] = static_cast<std::uint8_t>(i / 4);
    for (std::size_t i = offset; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 5);
    return bytes;
}

// A valid file's headers with one field rewritten (no rows unless kept).
Bytes bmpWith(const std::string& path, std::size_t at, std::uint32_t value, int width,
              bool keepRows = false) {
    Bytes bytes = validBmp(path);
    if (!keepRows) bytes.resize(54);
    putLe(bytes, at, value, width);
    return bytes;
}

// ---- JPEG -------------------------------------------------------------------

// Large enough for entropy-coded data well beyond the headers.
Bytes validJpeg(const std::string& path, bool progressive = false) {
    writeJpeg(path, makeStarField(48, 32, 1), 80, 3, progressive);
    return readFile(path);
}

std::size_t marker(const Bytes& bytes, std::uint8_t code) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == code) return i;
    throw std::runtime_error("marker not found");
}

std::size_t frameHeader(const Bytes& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) return i;
    throw std::runtime_error("no frame header");
}

// A file whose frame header claims width x height over its own small data.
Bytes jpegClaiming(const std::string& path, std::uint16_t width, std::uint16_t height) {
    Bytes bytes = validJpeg(path);
    const std::size_t at = frameHeader(bytes);
    bytes[at + 5] = height >> 8;
    bytes[at + 6] = height & 0xFF;
    bytes[at + 7] = width >> 8;
    bytes[at + 8] = width & 0xFF;
    return bytes;
}

// Cut halfway between the first scan's header and the end of the file.
Bytes jpegCutInScan(const std::string& path, bool progressive) {
    Bytes bytes = validJpeg(path, progressive);
    const std::size_t scan = marker(bytes, 0xDA);
    return cut(bytes, scan + (bytes.size() - scan) / 2);
}

// Flips bits in the middle of the entropy-coded data, leaving markers and
// stuffed bytes alone.
Bytes jpegCorrupt(const std::string& path) {
    Bytes bytes = validJpeg(path);
    const std::size_t scan = marker(bytes, 0xDA);
    const std::size_t data = scan + 2 + (bytes[scan + 2] << 8 | bytes[scan + 3]);
    const std::size_t end = bytes.size() - 2;
    for (std::size_t i = data + (end - data) / 3; i < data + (end - data) * 2 / 3; ++i)
        if (bytes[i] != 0xFF && bytes[i - 1] != 0xFF && (bytes[i] ^ 0x5A) != 0xFF) bytes[i] ^= 0x5A;
    return bytes;
}

// Junk between two header segments: the library warns and reads on.
Bytes jpegExtraneous(const std::string& path) {
    Bytes bytes = validJpeg(path);
    const std::size_t app0 = marker(bytes, 0xE0);
    const std::size_t next = app0 + 2 + (bytes[app0 + 2] << 8 | bytes[app0 + 3]);
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(next), {0x00, 0x11, 0x22});
    return bytes;
}

// ---- TIFF -------------------------------------------------------------------

Bytes validTiff(const std::string& path) {
    writeTiffRgb8(path, picture());
    return readFile(path);
}

TiffBuilder crafted() { return TiffBuilder::rgb8(4, 3, Bytes(36, 90)); }

void layout(const std::string& path, void (*change)(TiffLayout&)) {
    TiffLayout tiff;
    change(tiff);
    writeTiff(path, tiff);
}

// ---- The table --------------------------------------------------------------

struct Hostile {
    const char* name;
    std::function<void(const std::string& path)> write;
};

// Writers that produce bytes; the file is written under the same path
// first when the bytes start from a valid file.
std::function<void(const std::string&)> bytesOf(Bytes (*make)(const std::string&)) {
    return [make](const std::string& path) { writeFile(path, make(path)); };
}

const std::vector<Hostile>& table() {
    static const std::vector<Hostile> files = {
        // Any format.
        {"empty.img", [](const std::string& p) { writeFile(p, {}); }},
        {"one-byte.img", [](const std::string& p) { writeFile(p, {0xFF}); }},
        {"text.img", [](const std::string& p) {
             writeFile(p, Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
         }},

        // BMP.
        {"bmp-truncated-file-header.bmp", bytesOf([](const std::string& p) {
             return cut(validBmp(p), 10);
         })},
        {"bmp-truncated-info-header.bmp", bytesOf([](const std::string& p) {
             return cut(validBmp(p), 40);
         })},
        {"bmp-truncated-rows.bmp", bytesOf([](const std::string& p) {
             auto b = validBmp(p);
             return cut(b, b.size() / 2);
         })},
        {"bmp-huge-claim.bmp", bytesOf([](const std::string& p) {
             auto b = bmpWith(p, 18, 0x7FFFFFFF, 4);
             putLe(b, 22, 0x7FFFFFFF, 4);
             return b;
         })},
        {"bmp-huge-claim-under-limit.bmp", bytesOf([](const std::string& p) {
             auto b = bmpWith(p, 18, 30000, 4);
             putLe(b, 22, 20000, 4);
             return b;
         })},
        {"bmp-negative-width.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 18, 0xFFFFFFF4, 4, true);
         })},
        {"bmp-zero-height.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 22, 0, 4, true);
         })},
        {"bmp-int-min-height.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 22, 0x80000000, 4);
         })},
        {"bmp-top-down.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 22, static_cast<std::uint32_t>(-8), 4, true);
         })},
        {"bmp-palette-8bit.bmp", bytesOf([](const std::string&) { return bmpOfDepth(12, 8, 8); })},
        {"bmp-1bit.bmp", bytesOf([](const std::string&) { return bmpOfDepth(12, 8, 1); })},
        {"bmp-16bit.bmp", bytesOf([](const std::string&) { return bmpOfDepth(12, 8, 16); })},
        {"bmp-32bit.bmp", bytesOf([](const std::string&) { return bmpOfDepth(12, 8, 32); })},
        {"bmp-rle8.bmp", bytesOf([](const std::string&) {
             auto b = bmpOfDepth(12, 8, 8);
             putLe(b, 30, 1, 4);
             return b;
         })},
        {"bmp-bitfields.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 30, 3, 4, true);
         })},
        {"bmp-offset-beyond-end.bmp", bytesOf([](const std::string& p) {
             return bmpWith(p, 10, 0xFFFFFFF0, 4, true);
         })},
        {"bmp-v5-header.bmp", bytesOf([](const std::string& p) {
             Bytes b = validBmp(p);
             b.insert(b.begin() + 54, 84, 0);
             putLe(b, 10, 138, 4);
             putLe(b, 14, 124, 4);
             return b;
         })},

        // JPEG.
        {"jpeg-truncated-after-headers.jpg", bytesOf([](const std::string& p) {
             auto b = validJpeg(p);
             return cut(b, marker(b, 0xDA) + 14);
         })},
        {"jpeg-truncated-mid-scan.jpg", bytesOf([](const std::string& p) {
             return jpegCutInScan(p, false);
         })},
        {"jpeg-truncated-progressive.jpg", bytesOf([](const std::string& p) {
             return jpegCutInScan(p, true);
         })},
        {"jpeg-no-end-marker.jpg", bytesOf([](const std::string& p) {
             auto b = validJpeg(p);
             return cut(b, b.size() - 2);
         })},
        {"jpeg-corrupt-entropy.jpg", bytesOf(jpegCorrupt)},
        {"jpeg-extraneous-before-marker.jpg", bytesOf(jpegExtraneous)},
        {"jpeg-huge-claim.jpg", bytesOf([](const std::string& p) {
             return jpegClaiming(p, 65500, 65500);
         })},
        {"jpeg-huge-claim-under-limit.jpg", bytesOf([](const std::string& p) {
             return jpegClaiming(p, 6000, 4000);
         })},
        {"jpeg-zero-width.jpg", bytesOf([](const std::string& p) {
             return jpegClaiming(p, 0, 8);
         })},
        {"jpeg-12-bit-precision.jpg", bytesOf([](const std::string& p) {
             auto b = validJpeg(p);
             b[frameHeader(b) + 4] = 12;
             return b;
         })},
        {"jpeg-gray.jpg", [](const std::string& p) { writeJpeg(p, picture(), 80, 1); }},
        {"jpeg-cmyk.jpg", [](const std::string& p) {
             writeJpegInColourSpace(p, 4, 4 /* JCS_CMYK */, 4);
         }},
        {"jpeg-ycck.jpg", [](const std::string& p) {
             writeJpegInColourSpace(p, 4, 4 /* JCS_CMYK */, 5 /* JCS_YCCK */);
         }},
        {"jpeg-no-frame.jpg", bytesOf([](const std::string& p) {
             auto b = validJpeg(p);
             b = cut(b, frameHeader(b));
             b.insert(b.end(), {0xFF, 0xD9});
             return b;
         })},

        // TIFF.
        {"tiff-truncated-header.tif", bytesOf([](const std::string& p) {
             return cut(validTiff(p), 6);
         })},
        {"tiff-truncated-directory.tif", bytesOf([](const std::string&) {
             return cut(crafted().bytes(), 30);
         })},
        {"tiff-truncated-strip.tif", bytesOf([](const std::string&) {
             auto b = TiffBuilder::rgb8(12, 8, Bytes(288, 60)).bytes();
             return cut(b, b.size() - 144);
         })},
        {"tiff-huge-claim.tif", bytesOf([](const std::string&) {
             return TiffBuilder::rgb8(65535, 65535, Bytes(16)).setLong(279, 0xFFFFFFFF).bytes();
         })},
        {"tiff-huge-claim-under-limit.tif", bytesOf([](const std::string&) {
             return TiffBuilder::rgb8(6000, 6000, Bytes(64))
                 .setLong(279, 6000u * 6000u * 3u)
                 .bytes();
         })},
        {"tiff-32-bit-sides.tif", bytesOf([](const std::string&) {
             return TiffBuilder::rgb8(0xFFFFFFFF, 0xFFFFFFFF, Bytes(16)).bytes();
         })},
        {"tiff-zero-size.tif", bytesOf([](const std::string&) {
             return TiffBuilder::rgb8(0, 0, {}).bytes();
         })},
        {"tiff-16bit.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.bits = 16; });
         }},
        {"tiff-12bit.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.bits = 12; });
         }},
        {"tiff-4bit.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.bits = 4; });
         }},
        {"tiff-bilevel.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) {
                 t.bits = 1;
                 t.samples = 1;
                 t.photometric = PHOTOMETRIC_MINISBLACK;
             });
         }},
        {"tiff-gray.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) {
                 t.samples = 1;
                 t.photometric = PHOTOMETRIC_MINISBLACK;
             });
         }},
        {"tiff-palette.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.samples = 1; t.photometric = PHOTOMETRIC_PALETTE; });
         }},
        {"tiff-rgb-one-sample.tif", bytesOf([](const std::string&) {
             return crafted().setShort(277, 1).set(258, TiffBuilder::Short, {8}).bytes();
         })},
        {"tiff-rgba.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.samples = 4; });
         }},
        {"tiff-two-samples.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) {
                 t.samples = 2;
                 t.photometric = PHOTOMETRIC_MINISBLACK;
             });
         }},
        {"tiff-lzw.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.compression = COMPRESSION_LZW; });
         }},
        {"tiff-packbits.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.compression = COMPRESSION_PACKBITS; });
         }},
        {"tiff-deflate-flagged.tif", bytesOf([](const std::string&) {
             return crafted().setShort(259, COMPRESSION_ADOBE_DEFLATE).bytes();
         })},
        {"tiff-jpeg-flagged.tif", bytesOf([](const std::string&) {
             return crafted().setShort(259, COMPRESSION_JPEG).bytes();
         })},
        {"tiff-old-jpeg-flagged.tif", bytesOf([](const std::string&) {
             return crafted().setShort(259, COMPRESSION_OJPEG).bytes();
         })},
        {"tiff-tiled.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.width = 20; t.height = 18; t.tileSize = 16; });
         }},
        {"tiff-planar.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.planar = PLANARCONFIG_SEPARATE; });
         }},
        {"tiff-planar-lzw.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) {
                 t.planar = PLANARCONFIG_SEPARATE;
                 t.compression = COMPRESSION_LZW;
             });
         }},
        {"tiff-bigtiff.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.bigTiff = true; });
         }},
        {"tiff-big-endian.tif", [](const std::string& p) {
             layout(p, [](TiffLayout& t) { t.bigEndian = true; });
         }},
        {"tiff-strip-beyond-end.tif", bytesOf([](const std::string&) {
             return crafted().setLong(273, 0x7FFFFFF0).bytes();
         })},
        {"tiff-rows-per-strip-zero.tif", bytesOf([](const std::string&) {
             return crafted().setLong(278, 0).bytes();
         })},
        {"tiff-strip-count-mismatch.tif", bytesOf([](const std::string&) {
             return crafted().set(273, TiffBuilder::Long, {8, 8, 8}).bytes();
         })},
        {"tiff-directory-loop.tif", bytesOf([](const std::string&) {
             Bytes b = crafted().bytes();
             putLe(b, 8 + 2 + 12 * le16(b, 8), 8, 4);  // the next directory is this one
             return b;
         })},
    };
    return files;
}

}  // namespace

std::vector<std::string> hostileFileNames() {
    std::vector<std::string> names;
    for (const Hostile& file : table()) names.push_back(file.name);
    return names;
}

void writeHostileFile(const std::string& folder, const std::string& name) {
    for (const Hostile& file : table())
        if (file.name == name) return file.write(folder + "/" + file.name);
    throw std::invalid_argument("no hostile file named " + name);
}

void writeHostileFiles(const std::string& folder) {
    for (const Hostile& file : table()) file.write(folder + "/" + file.name);
}

}  // namespace testsupport
