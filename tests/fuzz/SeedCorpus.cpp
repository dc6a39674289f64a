// Writes the fuzzers' seed inputs: small valid files of every kind the
// codecs read, a few broken ones, the hostile files and the kept
// reproducers (tests/corpus) into <root>/bmp, <root>/jpeg and <root>/tiff,
// and run geometries for the processor target into <root>/run.

#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostileFiles.h"
#include "RunInput.h"
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

// The folder a hostile or kept file seeds, by its name: "bmp-...", a .jpg
// or .tif extension and so on; a file of no one format seeds all three.
std::vector<std::string> kindsOf(const fs::path& file) {
    const std::string name = file.filename().string(), extension = file.extension().string();
    for (const char* kind : {"bmp", "jpeg", "tiff"})
        if (name.rfind(std::string(kind) + "-", 0) == 0) return {kind};
    if (extension == ".bmp") return {"bmp"};
    if (extension == ".jpg") return {"jpeg"};
    if (extension == ".tif") return {"tiff"};
    return {"bmp", "jpeg", "tiff"};
}

void copySeeds(const fs::path& from, const fs::path& root) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(from, ignored))
        if (entry.is_regular_file())
            for (const std::string& kind : kindsOf(entry.path()))
                fs::copy_file(entry.path(), root / kind / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
}

// Geometries of one run each: ordinary runs, crops flush with the frame's
// edges and corners, flat frames and references, frames cut short or of
// another size, and the 32-bit extremes.
void writeRunSeeds(const fs::path& dir) {
    using runfuzz::RunInput;
    using runfuzz::Value;
    constexpr std::int32_t kMax = 2147483647, kMin = -kMax - 1;
    const auto make = [](std::uint8_t format, std::uint8_t flags, int w, int h, Value x, Value y,
                         Value cw, Value ch, Value perimeter) {
        RunInput input;
        input.format = format;
        input.flags = flags;
        input.frameCount = 3;
        input.threads = 2;
        // Stored sizes fold back to the wanted ones (see RunInput).
        input.width = static_cast<std::uint16_t>(flags & runfuzz::LargeFrames ? w - 320 : w - 1);
        input.height = static_cast<std::uint16_t>(flags & runfuzz::LargeFrames ? h - 240 : h - 1);
        input.cropX = x, input.cropY = y, input.cropWidth = cw, input.cropHeight = ch;
        input.perimeter = perimeter;
        input.seed = 7;
        input.frames[0] = {runfuzz::Shifted, 2, -1, 1};
        input.frames[1] = {runfuzz::Shifted, 0, 0, 0};
        return input;
    };
    const auto raw = [](std::int32_t value) { return Value{3, value}; };
    std::vector<RunInput> runs;
    for (std::uint8_t format = 0; format < 3; ++format) {
        runs.push_back(make(format, 0, 64, 48, {0, 20}, {0, 15}, {0, 16}, {0, 12}, {0, 4}));
        runs.push_back(make(format, runfuzz::LargeFrames | runfuzz::Stacking, 400, 300, {1, 280},
                            {1, 210}, {1, 120}, {1, 90}, {0, 10}));
        runs.push_back(make(format, runfuzz::Stacking, 40, 30, {0, 0}, {0, 0}, {0, 40}, {0, 30},
                            {0, 3}));  // the whole frame
    }
    runs.push_back(make(1, 0, 64, 48, {1, 48}, {1, 36}, {0, 16}, {0, 12}, {0, 4}));  // corner
    runs.push_back(make(0, 0, 64, 48, {0, 0}, {1, 36}, {0, 16}, {0, 12}, {0, 4}));   // bottom
    runs.push_back(make(1, runfuzz::LargeFrames, 320, 240, {1, 290}, {1, 220}, {0, 30}, {0, 20},
                        {0, 6}));  // a large frame's corner
    RunInput flatFrames = make(1, 0, 64, 48, {0, 20}, {0, 15}, {0, 16}, {0, 12}, {0, 4});
    flatFrames.frames[0] = {runfuzz::Flat, 0, 0, 40};
    runs.push_back(flatFrames);
    flatFrames.flags |= runfuzz::FlatReference;
    runs.push_back(flatFrames);
    RunInput odd =
        make(2, runfuzz::ContrarySmallImage, 64, 48, {0, 20}, {0, 15}, {0, 16}, {0, 12}, {0, 4});
    odd.frames[0] = {runfuzz::Resized, -9, 5, 0};
    odd.frames[1] = {runfuzz::CutShort, 0, 0, 128};
    runs.push_back(odd);
    for (const Value extreme : {raw(kMax), raw(kMin), raw(-1)})
        for (int field = 0; field < 5; ++field) {
            RunInput run = make(1, 0, 32, 24, {0, 4}, {0, 4}, {0, 8}, {0, 8}, {0, 2});
            Value* fields[] = {&run.cropX, &run.cropY, &run.cropWidth, &run.cropHeight,
                               &run.perimeter};
            *fields[field] = extreme;
            runs.push_back(run);
        }
    RunInput hugeCrop = make(1, 0, 32, 24, {0, 4}, {0, 4}, raw(kMax), raw(kMax), {0, 2});
    runs.push_back(hugeCrop);  // its byte count overflows 64 bits
    for (std::size_t i = 0; i < runs.size(); ++i)
        testsupport::writeFile((dir / ("run" + std::to_string(i))).string(),
                               runfuzz::serialise(runs[i]));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    try {
        const fs::path root = argv[1];
        for (const char* kind : {"bmp", "jpeg", "tiff", "run", "hostile"})
            fs::create_directories(root / kind);
        const Picture picture = testsupport::makeStarField(12, 8, 1);
        writeBmpSeeds(root / "bmp", picture);
        writeJpegSeeds(root / "jpeg", picture);
        writeTiffSeeds(root / "tiff", picture);
        testsupport::writeHostileFiles((root / "hostile").string());
        copySeeds(root / "hostile", root);
        copySeeds(HOSTILE_CORPUS_DIR, root);
        writeRunSeeds(root / "run");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
