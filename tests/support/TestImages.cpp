#include "TestImages.h"

#include <jpeglib.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tellvar-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Picture makeStarField(int width, int height, std::uint32_t seed, float starScale) {
    std::mt19937 random(seed);
    std::vector<float> value(static_cast<std::size_t>(width) * height * 3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (float& v : value) v = 12.0f + 6.0f * unit(random);

    // A faint nebula: a few broad blobs, so that patches without stars still
    // carry structure.
    for (int blob = 0; blob < 4; ++blob) {
        const float cx = unit(random) * width, cy = unit(random) * height;
        const float radius = (0.15f + 0.2f * unit(random)) * std::min(width, height);
        const float r = 30 * unit(random), g = 25 * unit(random), b = 40 * unit(random);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const float d2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (radius * radius);
                const float k = std::exp(-d2);
                float* p = &value[(static_cast<std::size_t>(y) * width + x) * 3];
                p[0] += r * k;
                p[1] += g * k;
                p[2] += b * k;
            }
    }

    const double perStar = 400.0 * starScale * starScale;
    const int stars = std::max(8, static_cast<int>(static_cast<double>(width) * height / perStar));
    for (int s = 0; s < stars; ++s) {
        const float cx = unit(random) * width, cy = unit(random) * height;
        const float sigma = (0.6f + 2.2f * unit(random) * unit(random)) * starScale;
        const float peak = 60.0f + 195.0f * unit(random);
        const int reach = static_cast<int>(std::ceil(sigma * 3));
        for (int y = std::max(0, int(cy) - reach); y <= std::min(height - 1, int(cy) + reach); ++y)
            for (int x = std::max(0, int(cx) - reach); x <= std::min(width - 1, int(cx) + reach);
                 ++x) {
                const float d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                const float k = peak * std::exp(-d2 / (2 * sigma * sigma));
                float* p = &value[(static_cast<std::size_t>(y) * width + x) * 3];
                p[0] += k;
                p[1] += k * 0.95f;
                p[2] += k * 0.9f;
            }
    }

    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.resize(value.size());
    for (std::size_t i = 0; i < value.size(); ++i)
        picture.rgb[i] = static_cast<std::uint8_t>(std::clamp(value[i], 0.0f, 255.0f));
    return picture;
}

Picture shifted(const Picture& source, int dx, int dy, int noiseAmplitude, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-noiseAmplitude, noiseAmplitude);
    Picture out;
    out.width = source.width;
    out.height = source.height;
    out.rgb.resize(source.rgb.size());
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const int sx = x - dx, sy = y - dy;
            std::uint8_t* target = out.pixel(x, y);
            for (int c = 0; c < 3; ++c) {
                int v = 14;
                if (sx >= 0 && sy >= 0 && sx < source.width && sy < source.height)
                    v = source.pixel(sx, sy)[c];
                if (noiseAmplitude > 0) v += noise(random);
                target[c] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
        }
    return out;
}

Picture magnified(const Picture& source, int width, int height) {
    Picture out;
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    const float stepX = static_cast<float>(source.width) / width;
    const float stepY = static_cast<float>(source.height) / height;
    for (int y = 0; y < height; ++y) {
        const float fy = std::clamp((y + 0.5f) * stepY - 0.5f, 0.0f, source.height - 1.0f);
        const int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, source.height - 1);
        for (int x = 0; x < width; ++x) {
            const float fx = std::clamp((x + 0.5f) * stepX - 0.5f, 0.0f, source.width - 1.0f);
            const int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, source.width - 1);
            const float ax = fx - x0, ay = fy - y0;
            for (int c = 0; c < 3; ++c) {
                const float top = source.pixel(x0, y0)[c] * (1 - ax) + source.pixel(x1, y0)[c] * ax;
                const float bottom =
                    source.pixel(x0, y1)[c] * (1 - ax) + source.pixel(x1, y1)[c] * ax;
                out.pixel(x, y)[c] = static_cast<std::uint8_t>(top * (1 - ay) + bottom * ay + 0.5f);
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> cropRgb(const Picture& picture, int x, int y, int width, int height) {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int row = y; row < y + height; ++row)
        out.insert(out.end(), picture.pixel(x, row), picture.pixel(x, row) + width * 3);
    return out;
}

std::vector<std::uint8_t> cropBgrBottomUp(const Picture& picture, int x, int y, int width,
                                          int height) {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int row = y + height - 1; row >= y; --row)
        for (int col = x; col < x + width; ++col) {
            const std::uint8_t* p = picture.pixel(col, row);
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
    return out;
}

namespace {
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}
}  // namespace

void writeBmp24(const std::string& path, const Picture& picture) {
    const int pad = (4 - (picture.width * 3) % 4) % 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(picture.height) *
                                    static_cast<std::uint32_t>(picture.width * 3 + pad);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + imageSize);
    put32(out, 0);
    put32(out, 54);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(picture.width));
    put32(out, static_cast<std::uint32_t>(picture.height));
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, imageSize);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.pixel(x, y);
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (int i = 0; i < pad; ++i) out.push_back(0);
    }
    writeFile(path, out);
}

void writeTiffRgb8(const std::string& path, const Picture& picture) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) throw std::runtime_error("cannot create " + path);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    for (int y = 0; y < picture.height; ++y) {
        std::vector<std::uint8_t> row(picture.pixel(0, y), picture.pixel(0, y) + picture.width * 3);
        if (TIFFWriteScanline(tiff, row.data(), y, 0) < 0) {
            TIFFClose(tiff);
            throw std::runtime_error("cannot write " + path);
        }
    }
    TIFFClose(tiff);
}

void writeJpeg(const std::string& path, const Picture& picture, int quality, int components,
               bool progressive) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* source = picture.pixel(0, static_cast<int>(cinfo.next_scanline));
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < components; ++c) row[x * components + c] = source[x * 3 + c];
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

void writeJpegInColourSpace(const std::string& path, int components, int input, int stored) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = 16;
    cinfo.image_height = 8;
    cinfo.input_components = components;
    cinfo.in_color_space = static_cast<J_COLOR_SPACE>(input);
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, static_cast<J_COLOR_SPACE>(stored));
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(16 * static_cast<std::size_t>(components), 77);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
