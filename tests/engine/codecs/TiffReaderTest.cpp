// The TIFF reader: the acceptance rules, the files they refuse, the reads
// they allow, and the agreement between openImage and sizeChecker.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "Brennock/TIFF.h"
#include "CodecTestHelpers.h"
#include "TestImages.h"
#include "TiffBuilder.h"
#include "TiffLayouts.h"

using testsupport::TempDir;
using testsupport::TiffBuilder;
using testsupport::TiffLayout;
using testsupport::writeTiff;

namespace {

using codectest::checkSize;
using codectest::readImage;
using codectest::ReadResult;
using codectest::SizeResult;

const char* const kPlanarTail =
    "\n\nPlanar value not yet supported (must be RGBRGB).\n\nSupport for alternative planar "
    "configurations maybe in the next version.\n\nPlease change the Planar configuration of your "
    "TIFF file or you can also note the filename and remove it from your active list before "
    "trying again.";
const char* const kPhotometricTail =
    "\n\nPhotometric value not yet supported (TIFF must be RGB).\n\nSupport for alterative "
    "photometic configurations (Example Grayscale) maybe in the next version.\n\nPlease input RGB "
    "images or you can also note the filename and remove it from your active list before trying "
    "again.";
const char* const kBitsTail =
    "\n\nCurrently Tellvar only supports 8 Bit TIFF Files. 16 Bit TIFF support will be in the "
    "next version..\n\nPlease input 8 bit images or you can also note the filename and remove it "
    "from your active list before trying again.";
const char* const kTransparencyTail =
    "\n\nThis TIFF appears to have transparency. Tellvar does not support TIFF images with "
    "transparency.\n\nPlease remove the transparanecy layer and try again. You can also note the "
    "filename and remove it from your active list before trying again.";
const char* const kCompressionTail =
    "\n\nThis TIFF appears to be compressed. Please remove the compression and try again.";
const char* const kSizeTail =
    "\n\nImage file too big, must be less than 35.7 megapixel.\n\nThis limitation should be "
    "removed in the next version.";

std::string refusal(const std::string& path, const std::string& tail) {
    return "An error has occurred while opening your TIFF file named below.\n\n" + path + tail;
}

std::string openFailure(const std::string& path) {
    return "The system was unable to open the following file\n\n" + path +
           "\n\nPlease check that you TIFF is not corrupt. Also check your file permissions, "
           "folder or drive availability.";
}

std::string layoutRefusal(const std::string& path, const std::string& what) {
    return refusal(path, "\n\n" + what +
                             " Tellvar reads 8 bit RGB TIFF files stored in strips (3 bytes per "
                             "pixel) only.\n\nPlease convert the image or note the filename and "
                             "remove it from your active list before trying again.");
}

std::string sideRefusal(const std::string& path, const std::string& size) {
    return refusal(path, "\n\nThis image is " + size +
                             " pixels. Tellvar reads TIFF images from 1 to 65535 pixels wide and "
                             "high.\n\nPlease reduce the image size or note the filename and "
                             "remove it from your active list before trying again.");
}

const char* const kReadFailure =
    "TIFF Open Error.\n\nAn unspecified error occurred while opening your TIFF File. This could be "
    "because your TIFF is corrupt. Please check your files and if this error occurs again please "
    "report to the developer.";

}  // namespace

// ---- The rules --------------------------------------------------------------

TEST(TiffRules, TheFirstFailingTestDecidesTheMessage) {
    Tellvar::TIF codec;
    struct Case {
        const char* name;
        std::uint16_t planar, photometric, bits, samples, compression, width, height;
        const char* tail;  // null: accepted
    };
    const Case cases[] = {
        {"acceptable", 1, 2, 8, 3, 1, 640, 480, nullptr},
        {"planar beats everything", 2, 1, 16, 4, 5, 65535, 65535, kPlanarTail},
        {"photometric before bits", 1, 1, 16, 4, 5, 640, 480, kPhotometricTail},
        {"bits before samples", 1, 2, 16, 4, 5, 640, 480, kBitsTail},
        {"fifteen bits pass", 1, 2, 15, 3, 1, 640, 480, nullptr},
        {"samples before compression", 1, 2, 8, 4, 5, 640, 480, kTransparencyTail},
        {"two samples", 1, 2, 8, 2, 1, 640, 480, kTransparencyTail},
        {"one sample passes the rules", 1, 2, 8, 1, 1, 640, 480, nullptr},
        {"compression before size", 1, 2, 8, 3, 32773, 65535, 65535, kCompressionTail},
        {"exactly 37,500,000 pixels", 1, 2, 8, 3, 1, 6000, 6250, nullptr},
        {"one column more", 1, 2, 8, 3, 1, 6001, 6250, kSizeTail},
        {"largest 16-bit sides", 1, 2, 8, 3, 1, 65535, 65535, kSizeTail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error = "untouched";
        const bool accepted = codec.chkTIFF(c.planar, c.photometric, c.bits, c.samples,
                                            c.compression, c.width, c.height, "/x/f.tif", &error);
        EXPECT_EQ(accepted, c.tail == nullptr);
        EXPECT_EQ(error, c.tail ? refusal("/x/f.tif", c.tail) : std::string("untouched"));
    }
}

// ---- Files refused, identically by both operations -----------------------------

TEST(TiffRefusal, BothOperationsRefuseTheSameFilesWithTheSameMessage) {
    TempDir dir;
    Tellvar::TIF codec;
    struct Case {
        std::string name;
        std::string expectedTail;
    };
    std::vector<Case> cases;
    auto add = [&](const std::string& name, const TiffLayout& layout, const char* tail) {
        writeTiff(dir.file(name + ".tif"), layout);
        cases.push_back({name, tail});
    };
    TiffLayout layout;
    layout.bits = 16;
    add("rgb16", layout, kBitsTail);
    layout = {};
    layout.samples = 1;
    layout.bits = 16;
    layout.photometric = PHOTOMETRIC_MINISBLACK;
    add("gray16", layout, kPhotometricTail);
    layout = {};
    layout.samples = 4;
    add("rgba", layout, kTransparencyTail);
    layout = {};
    layout.planar = PLANARCONFIG_SEPARATE;
    layout.compression = COMPRESSION_LZW;
    add("planar-lzw", layout, kPlanarTail);
    layout = {};
    layout.compression = COMPRESSION_LZW;
    add("lzw", layout, kCompressionTail);
    layout = {};
    layout.compression = COMPRESSION_PACKBITS;
    add("packbits", layout, kCompressionTail);

    const std::vector<std::uint8_t> pixels(4 * 3 * 3, 9);
    TiffBuilder::rgb8(4, 3, pixels)
        .remove(TIFFTAG_PHOTOMETRIC)
        .write(dir.file("no-photometric.tif"));
    cases.push_back({"no-photometric", kPhotometricTail});
    TiffBuilder::rgb8(6001, 6250, {})
        .writeSparse(dir.file("too-many-pixels.tif"), 6001ull * 6250 * 3);
    cases.push_back({"too-many-pixels", kSizeTail});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name + ".tif");
        const std::string expected = refusal(path, c.expectedTail);
        EXPECT_EQ(readImage(codec, path).error, expected);
        EXPECT_EQ(checkSize(codec, path).error, expected);
    }
}

TEST(TiffRefusal, FilesThatDoNotDeliverThreeBytesPerPixelAreRefused) {
    TempDir dir;
    Tellvar::TIF codec;
    const std::vector<std::uint8_t> pixels(16 * 16 * 3, 5);
    struct Case {
        std::string name;
        TiffBuilder file;
        std::string what;
    };
    const std::vector<Case> cases = {
        {"four-bit",
         TiffBuilder::rgb8(4, 3, pixels).set(TIFFTAG_BITSPERSAMPLE, TiffBuilder::Short, {4, 4, 4}),
         "This image stores 4 bits per sample."},
        {"twelve-bit",
         TiffBuilder::rgb8(4, 3, pixels)
             .set(TIFFTAG_BITSPERSAMPLE, TiffBuilder::Short, {12, 12, 12}),
         "This image stores 12 bits per sample."},
        // A missing BitsPerSample means 1 bit per sample.
        {"no-bits", TiffBuilder::rgb8(4, 3, pixels).remove(TIFFTAG_BITSPERSAMPLE),
         "This image stores 1 bit per sample."},
        {"one-sample-rgb",
         TiffBuilder::rgb8(4, 3, pixels)
             .setShort(TIFFTAG_SAMPLESPERPIXEL, 1)
             .setShort(TIFFTAG_BITSPERSAMPLE, 8),
         "This image stores 1 sample per pixel."},
        // A missing SamplesPerPixel means 1 sample per pixel.
        {"no-samples",
         TiffBuilder::rgb8(4, 3, pixels)
             .remove(TIFFTAG_SAMPLESPERPIXEL)
             .setShort(TIFFTAG_BITSPERSAMPLE, 8),
         "This image stores 1 sample per pixel."},
        {"tiled",
         TiffBuilder::rgb8(16, 16, pixels)
             .remove(TIFFTAG_STRIPOFFSETS)
             .remove(TIFFTAG_STRIPBYTECOUNTS)
             .remove(TIFFTAG_ROWSPERSTRIP)
             .setLong(TIFFTAG_TILEWIDTH, 16)
             .setLong(TIFFTAG_TILELENGTH, 16)
             .setLong(TIFFTAG_TILEOFFSETS, 300)
             .setLong(TIFFTAG_TILEBYTECOUNTS, 768),
         "This image is stored in tiles."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name + ".tif");
        c.file.write(path);
        EXPECT_EQ(readImage(codec, path).error, layoutRefusal(path, c.what));
        EXPECT_EQ(checkSize(codec, path).error, layoutRefusal(path, c.what));
    }
}

TEST(TiffRefusal, SidesBeyondSixteenBitsAreRefusedBeforeTheyAreNarrowed) {
    TempDir dir;
    Tellvar::TIF codec;
    // 65,536 x 100 would read as 0 x 100, and 70,000 x 3 as 4,464 x 3.
    for (const auto& [width, height, size] :
         {std::tuple{65536u, 100u, "65536 x 100"}, std::tuple{70000u, 3u, "70000 x 3"},
          std::tuple{3u, 65536u, "3 x 65536"}}) {
        const std::string path = dir.file("wide.tif");
        TiffBuilder::rgb8(width, height, {}).writeSparse(path, std::uint64_t{width} * height * 3);
        EXPECT_EQ(readImage(codec, path).error, sideRefusal(path, size));
        EXPECT_EQ(checkSize(codec, path).error, sideRefusal(path, size));
    }
}

TEST(TiffRefusal, FilesTheLibraryCannotOpenGiveTheOpenMessage) {
    TempDir dir;
    Tellvar::TIF codec;
    testsupport::writeBmp24(dir.file("bitmap.tif"), testsupport::makeStarField(4, 4, 1));
    testsupport::writeFile(dir.file("empty.tif"), {});
    writeTiff(dir.file("big.tif"), [] {
        TiffLayout layout;
        layout.bigTiff = true;
        return layout;
    }());
    for (const char* name : {"bitmap.tif", "empty.tif", "big.tif", "absent.tif"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        EXPECT_EQ(readImage(codec, path).error, openFailure(path));
        EXPECT_EQ(checkSize(codec, path).error, openFailure(path));
    }
}

TEST(TiffRefusal, MissingPixelDataFailsTheReadButNotTheSizeCheck) {
    TempDir dir;
    Tellvar::TIF codec;
    const std::string path = dir.file("short.tif");
    TiffBuilder::rgb8(4, 3, std::vector<std::uint8_t>(20, 1))
        .setLong(TIFFTAG_STRIPBYTECOUNTS, 36)
        .write(path);
    EXPECT_EQ(readImage(codec, path).error, kReadFailure);
    const SizeResult size = checkSize(codec, path);
    EXPECT_TRUE(size.ok) << size.error;
    EXPECT_EQ(size.width, 4);
    EXPECT_EQ(size.height, 3);
}

TEST(TiffRefusalDeathTest, AFrameThatCannotBeAllocatedGivesTheMemoryMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    codectest::AllocationCap cap;
    TempDir dir;
    const std::string path = dir.file("big.tif");
    TiffBuilder::rgb8(6000, 6250, {}).writeSparse(path, 6000ull * 6250 * 3);
    EXPECT_EXIT(
        {
            Tellvar::TIF codec;
            codectest::AllocationCap::applyInChild();
            const ReadResult read = readImage(codec, path);
            codectest::finishChild(
                !read.ok && read.error == "ERROR: Unable to allocate enough memory for TIFF file.",
                read.error, dir.path());
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- Files read --------------------------------------------------------------

TEST(TiffReader, ReadsTopDownRgbWithDepth24) {
    TempDir dir;
    Tellvar::TIF codec;
    const auto picture = testsupport::makeStarField(53, 29, 2);
    testsupport::writeTiffRgb8(dir.file("stars.tif"), picture);  // strips of 16 rows
    const ReadResult read = readImage(codec, dir.file("stars.tif"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.width, 53);
    EXPECT_EQ(read.height, 29);
    EXPECT_EQ(read.depth, 24);
    EXPECT_EQ(read.pixels, picture.rgb);
    const SizeResult size = checkSize(codec, dir.file("stars.tif"));
    EXPECT_TRUE(size.ok);
    EXPECT_EQ(size.width, 53);
    EXPECT_EQ(size.height, 29);
}

TEST(TiffReader, TagsWithFormatDefaultsMayBeMissing) {
    TempDir dir;
    Tellvar::TIF codec;
    const auto pixels = codectest::noiseFrame(4, 3, 3);
    const std::string path = dir.file("defaults.tif");
    TiffBuilder::rgb8(4, 3, pixels)
        .remove(TIFFTAG_PLANARCONFIG)
        .remove(TIFFTAG_COMPRESSION)
        .write(path);
    const ReadResult read = readImage(codec, path);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.pixels, pixels);
}

TEST(TiffReader, TheLargestAcceptedFrameIsReadWhole) {
    TempDir dir;
    Tellvar::TIF codec;
    const std::string path = dir.file("largest.tif");
    TiffBuilder::rgb8(6000, 6250, {}).writeSparse(path, 6000ull * 6250 * 3);
    const ReadResult read = readImage(codec, path);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.width, 6000);
    EXPECT_EQ(read.height, 6250);
    EXPECT_EQ(read.pixels.size(), 112500000u);
    EXPECT_TRUE(std::all_of(read.pixels.begin(), read.pixels.end(), [](auto b) { return b == 0; }));
}

// The reader takes the strips' bytes itself; it reads exactly the files the
// library reads row by row from a mapped file, with the same bytes. Each
// case lays `stored` bytes of noise out as strips of rowsPerStrip rows at
// the given places (offsets into the stored bytes) with the given counts.
TEST(TiffReader, StripsAreTakenAsTheLibraryTakesThem) {
    TempDir dir;
    Tellvar::TIF codec;
    const std::string path = dir.file("strips.tif");
    struct Case {
        const char* name;
        std::uint32_t width, height, rowsPerStrip;
        std::vector<std::uint32_t> counts, places;
        std::size_t stored;
        bool read;
        std::vector<std::size_t> rowPlaces;  // where each row lies in the stored bytes
        bool lowBitFirst = false;
    };
    const Case cases[] = {
        {"one strip", 4, 3, 3, {36}, {0}, 36, true, {0, 12, 24}},
        {"count beyond the rows", 4, 3, 3, {48}, {0}, 48, true, {0, 12, 24}},
        {"count short of the rows", 4, 3, 3, {30}, {0}, 36, true, {0, 12, 24}},
        {"count beyond the file", 4, 3, 3, {48}, {0}, 40, true, {0, 12, 24}},
        {"strips of one row", 4, 3, 1, {12, 12, 12}, {0, 12, 24}, 36, true, {0, 12, 24}},
        {"strips in reverse", 4, 3, 1, {12, 12, 12}, {24, 12, 0}, 36, true, {24, 12, 0}},
        {"strips apart", 4, 3, 1, {12, 12, 12}, {0, 20, 40}, 52, true, {0, 20, 40}},
        {"a short last strip", 4, 3, 1, {12, 12, 11}, {0, 12, 24}, 36, false, {}},
        {"last strip beyond the file", 4, 3, 1, {12, 12, 20}, {0, 12, 24}, 36, false, {}},
        {"a partial last strip", 4, 3, 2, {24, 12}, {0, 24}, 36, true, {0, 12, 24}},
        {"huge count cut to what the file holds",
         4,
         3,
         1,
         {12, 12, 2000000},
         {0, 12, 24},
         24 + 12 * 10 + 4096,
         true,
         {0, 12, 24}},
        {"huge count cut to beyond the file",
         4,
         3,
         1,
         {12, 12, 2000000},
         {0, 12, 24},
         24 + 12 * 10 + 4095,
         false,
         {}},
        {"one strip the library splits",
         1000,
         9,
         9,
         {27000},
         {0},
         27000,
         true,
         {0, 3000, 6000, 9000, 12000, 15000, 18000, 21000, 24000}},
        {"one split strip cut short", 1000, 9, 9, {27000}, {0}, 26999, false, {}},
        {"lowest bit first", 4, 3, 3, {36}, {0}, 36, true, {0, 12, 24}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stored = codectest::noiseFrame(static_cast<int>(c.stored), 1, 9);
        stored.resize(c.stored);  // three bytes a pixel: more than asked for
        const auto build = [&](std::vector<std::uint32_t> offsets) {
            TiffBuilder file = TiffBuilder::rgb8(c.width, c.height, {stored.begin(), stored.end()});
            file.setLong(TIFFTAG_ROWSPERSTRIP, c.rowsPerStrip)
                .set(TIFFTAG_STRIPBYTECOUNTS, TiffBuilder::Long, c.counts)
                .set(TIFFTAG_STRIPOFFSETS, TiffBuilder::Long, offsets);
            if (c.lowBitFirst) file.setShort(TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
            return file;
        };
        // The stored bytes come last: where they start does not depend on
        // the offsets' values.
        const auto start =
            static_cast<std::uint32_t>(build(c.places).bytes().size() - stored.size());
        std::vector<std::uint32_t> offsets;
        for (std::uint32_t place : c.places) offsets.push_back(start + place);
        build(offsets).write(path);

        const ReadResult read = readImage(codec, path);
        ASSERT_EQ(read.ok, c.read) << read.error;
        if (!c.read) {
            EXPECT_EQ(read.error, kReadFailure);
            continue;
        }
        const std::size_t scanline = c.width * 3;
        std::vector<std::uint8_t> expected;
        for (std::size_t place : c.rowPlaces)
            expected.insert(expected.end(), stored.begin() + place,
                            stored.begin() + place + scanline);
        if (c.lowBitFirst) TIFFReverseBits(expected.data(), static_cast<tmsize_t>(expected.size()));
        EXPECT_EQ(read.pixels, expected);

        // A run's registration reads the rows as it needs them: one at a
        // time from the last, then all, they come out the same; once the
        // file has lost its pixels, they fail with the read message.
        codectest::OnDemandFrame frames[] = {codectest::openOnDemand(codec, path),
                                             codectest::openOnDemand(codec, path)};
        ASSERT_TRUE(frames[0].frame && frames[1].frame);
        const int height = static_cast<int>(c.height);
        for (int row = height - 1; row >= 0; row -= 2) ASSERT_TRUE(frames[0].rows->load(row, 1));
        ASSERT_TRUE(frames[0].rows->load(0, height));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frames[0].frame.get()));
        std::filesystem::resize_file(path, start);
        EXPECT_FALSE(frames[1].rows->load(0, height));
        EXPECT_EQ(frames[1].rows->failure(), kReadFailure);
    }
}

// ---- Concurrency -------------------------------------------------------------

TEST(TiffConcurrency, ThreadsSharingOneCodecEachGetTheirOwnFramesAndMessages) {
    TempDir dir;
    Tellvar::TIF codec;
    constexpr int kThreads = 8;
    std::vector<testsupport::Picture> pictures;
    for (int t = 0; t < kThreads; ++t) {
        pictures.push_back(testsupport::makeStarField(12 + t, 9 + t, 70 + t));
        testsupport::writeTiffRgb8(dir.file("good" + std::to_string(t) + ".tif"), pictures[t]);
        TiffLayout layout;
        layout.compression = t % 2 ? COMPRESSION_LZW : COMPRESSION_NONE;
        layout.bits = t % 2 ? 8 : 16;
        writeTiff(dir.file("bad" + std::to_string(t) + ".tif"), layout);
    }
    std::vector<int> mistakes(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string bad = dir.file("bad" + std::to_string(t) + ".tif");
            const std::string expected = refusal(bad, t % 2 ? kCompressionTail : kBitsTail);
            for (int round = 0; round < 50; ++round) {
                const ReadResult good =
                    readImage(codec, dir.file("good" + std::to_string(t) + ".tif"));
                if (!good.ok || good.pixels != pictures[t].rgb) ++mistakes[t];
                if (readImage(codec, bad).error != expected) ++mistakes[t];
                if (checkSize(codec, bad).error != expected) ++mistakes[t];
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mistakes[t], 0) << "thread " << t;
}
