// The BMP codec: file layout written, files read, refusals and their messages.

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <thread>

#include "Brennock/BMP.h"
#include "CodecTestHelpers.h"
#include "TestImages.h"

#include <filesystem>
#include <memory>

using codectest::errorText;
using codectest::le16;
using codectest::le32;
using codectest::noiseFrame;
using testsupport::TempDir;

namespace {

using codectest::checkSize;
using codectest::readImage;
using codectest::ReadResult;
using codectest::SizeResult;

// A 24-bit (or otherwise) bitmap assembled field by field. Rows are given
// in file order without pad; the pad is added here.
struct BmpFile {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;
    std::uint32_t gapBeforeRows = 0;  // a palette or any other bytes
    bool zeroSizeImage = false;
    std::vector<std::vector<std::uint8_t>> rows;

    std::vector<std::uint8_t> bytes() const {
        const std::uint32_t pad = (4 - (static_cast<std::uint32_t>(width) * 3) % 4) % 4;
        std::vector<std::uint8_t> out(14 + infoSize + gapBeforeRows, 0);
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        for (const auto& row : rows) {
            out.insert(out.end(), row.begin(), row.end());
            out.insert(out.end(), pad, 0);
        }
        out[0] = 'B';
        out[1] = 'M';
        codectest::putLe32(out, 2, static_cast<std::uint32_t>(out.size()));
        codectest::putLe32(out, 10, offset);
        codectest::putLe32(out, 14, infoSize);
        codectest::putLe32(out, 18, static_cast<std::uint32_t>(width));
        codectest::putLe32(out, 22, static_cast<std::uint32_t>(height));
        codectest::putLe16(out, 26, 1);
        codectest::putLe16(out, 28, bitCount);
        codectest::putLe32(out, 30, compression);
        codectest::putLe32(out, 34,
                           zeroSizeImage ? 0 : static_cast<std::uint32_t>(out.size()) - offset);
        return out;
    }
};

// The picture's rows as a bottom-up (or top-down) file stores them, BGR.
std::vector<std::vector<std::uint8_t>> fileRows(const testsupport::Picture& picture, bool topDown) {
    std::vector<std::vector<std::uint8_t>> rows;
    for (int i = 0; i < picture.height; ++i) {
        const int y = topDown ? i : picture.height - 1 - i;
        std::vector<std::uint8_t> row;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.pixel(x, y);
            row.insert(row.end(), {p[2], p[1], p[0]});
        }
        rows.push_back(row);
    }
    return rows;
}

BmpFile fileOf(const testsupport::Picture& picture, bool topDown = false) {
    BmpFile file;
    file.width = picture.width;
    file.height = topDown ? -picture.height : picture.height;
    file.rows = fileRows(picture, topDown);
    return file;
}

std::string openRefusal(const std::string& path, const std::string& reason) {
    return "An error has occurred while opening your Bitmap file named below.\n\n" + path + "\n\n" +
           reason;
}

std::string truncatedRefusal(const std::string& path) {
    return openRefusal(path,
                       "This Bitmap file ends before all of its image data. Please check that "
                       "your BMP files are valid and that there is no corruption. You can also "
                       "note the filename and remove it from your active list before trying "
                       "again.");
}

std::string dimensionsRefusal(const std::string& path, const std::string& size) {
    return openRefusal(path, "The image size recorded in this file (" + size +
                                 " pixels) is not valid. Please check that your BMP files are "
                                 "valid and that there is no corruption. You can also note the "
                                 "filename and remove it from your active list before trying "
                                 "again.");
}

std::string tooLargeRefusal(const std::string& path, const std::string& size) {
    return "The image file named below is too large for Tellvar.\n\n" + path + "\n\nIts " + size +
           " pixels would need more than 2 GB of memory, the most Tellvar can handle for one "
           "image.\n\nPlease reduce the image size or note the filename and remove it from your "
           "active list before trying again.";
}

std::string writeFailure(const std::string& path, int errorNumber) {
    return "The system was unable to write the following file\n\n" + path +
           "'\n\nError Message: " + errorText(errorNumber) +
           "\n\nPlease check your file permissions, folder or drive availability. You can "
           "specify a new save location in the options dialog.\n\nAll operations have now been "
           "cancelled. Please correct the problem and submit your images again.";
}

// Headers only, claiming rows that the file does not hold.
void writeHeadersOnly(const std::string& path, std::int32_t width, std::int32_t height) {
    BmpFile file;
    file.width = width;
    file.height = height;
    testsupport::writeFile(path, file.bytes());
}

}  // namespace

// ---- Writing ----------------------------------------------------------------

TEST(BmpWriter, WritesTheHeaderFieldsPadAndBottomUpRows) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::vector<std::uint8_t> frame = {1,  2,  3,  4,  5,  6,  7,  8,  9,
                                             10, 11, 12, 13, 14, 15, 16, 17, 18};
    std::string error = "untouched";
    ASSERT_TRUE(codec.saveImage(const_cast<std::uint8_t*>(frame.data()), 3, 2, 24, dir.file("crop"),
                                &error));
    EXPECT_EQ(error, "untouched");

    const auto bytes = testsupport::readFile(dir.file("crop.bmp"));
    ASSERT_EQ(bytes.size(), 78u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(le32(bytes, 2), 78u);   // bfSize
    EXPECT_EQ(le16(bytes, 6), 0);     // bfReserved1
    EXPECT_EQ(le16(bytes, 8), 0);     // bfReserved2
    EXPECT_EQ(le32(bytes, 10), 54u);  // bfOffBits
    EXPECT_EQ(le32(bytes, 14), 40u);  // biSize
    EXPECT_EQ(le32(bytes, 18), 3u);   // biWidth
    EXPECT_EQ(le32(bytes, 22), 2u);   // biHeight
    EXPECT_EQ(le16(bytes, 26), 1);    // biPlanes
    EXPECT_EQ(le16(bytes, 28), 24);   // biBitCount
    EXPECT_EQ(le32(bytes, 30), 0u);   // biCompression
    EXPECT_EQ(le32(bytes, 34), 24u);  // biSizeImage
    for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(le32(bytes, at), 0u) << at;

    const std::vector<std::uint8_t> rows(bytes.begin() + 54, bytes.end());
    EXPECT_EQ(rows, (std::vector<std::uint8_t>{1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                               10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}));
}

TEST(BmpWriter, CalcHeadersFillsTheRecordsAndReturnsThePad) {
    Tellvar::BMP codec;
    const int expectedPad[] = {1, 2, 3, 0, 1, 2, 3, 0, 1};
    for (int width = 1; width <= 9; ++width) {
        SCOPED_TRACE(width);
        const int pad = codec.calcHeaders(width, 5, 24);
        EXPECT_EQ(pad, expectedPad[width - 1]);
        const std::uint32_t stored = static_cast<std::uint32_t>(width * 3 + expectedPad[width - 1]);
        EXPECT_EQ(+codec.infoHeader.biSizeImage, 5 * stored);
        EXPECT_EQ(+codec.fileHeader.bfSize, 54 + 5 * stored);
        EXPECT_EQ(+codec.fileHeader.bfType, 0x4D42);
        EXPECT_EQ(+codec.fileHeader.bfOffBits, 54u);
        EXPECT_EQ(+codec.infoHeader.biSize, 40u);
        EXPECT_EQ(+codec.infoHeader.biWidth, width);
        EXPECT_EQ(+codec.infoHeader.biHeight, 5);
        EXPECT_EQ(+codec.infoHeader.biPlanes, 1);
        EXPECT_EQ(+codec.infoHeader.biBitCount, 24);
    }
}

TEST(BmpWriter, EveryWidthReadsBackByteForByte) {
    TempDir dir;
    Tellvar::BMP codec;
    std::vector<std::pair<int, int>> sizes;
    for (int width = 1; width <= 9; ++width)
        for (int height = 1; height <= 3; ++height) sizes.push_back({width, height});
    // Padded rows across more than one stream buffer's worth.
    sizes.push_back({301, 300});
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        auto frame = noiseFrame(width, height, width * 7 + height);
        std::string error;
        ASSERT_TRUE(codec.saveImage(frame.data(), width, height, 24, dir.file("f"), &error));
        const int pad = (4 - width * 3 % 4) % 4;
        const auto bytes = testsupport::readFile(dir.file("f.bmp"));
        EXPECT_EQ(bytes.size(), 54u + height * (width * 3 + pad));
        const ReadResult read = readImage(codec, dir.file("f.bmp"));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.width, width);
        EXPECT_EQ(read.height, height);
        EXPECT_EQ(read.depth, 24);
        EXPECT_EQ(read.pixels, frame);
    }
}

TEST(BmpWriter, ReplacesAnExistingFile) {
    TempDir dir;
    Tellvar::BMP codec;
    auto large = noiseFrame(40, 40, 1);
    auto small = noiseFrame(2, 2, 2);
    std::string error;
    ASSERT_TRUE(codec.saveImage(large.data(), 40, 40, 24, dir.file("out"), &error));
    ASSERT_TRUE(codec.saveImage(small.data(), 2, 2, 24, dir.file("out"), &error));
    EXPECT_EQ(testsupport::readFile(dir.file("out.bmp")).size(), 54u + 2 * 8);
    EXPECT_EQ(readImage(codec, dir.file("out.bmp")).pixels, small);
}

TEST(BmpWriterFailure, MissingFolderAndFullDeviceGiveTheWriteMessage) {
    TempDir dir;
    Tellvar::BMP codec;
    auto frame = noiseFrame(50, 50, 3);
    std::string error;
    const std::string missing = dir.file("absent/crop_a");
    EXPECT_FALSE(codec.saveImage(frame.data(), 50, 50, 24, missing, &error));
    EXPECT_EQ(error, writeFailure(missing + ".bmp", ENOENT));

    ASSERT_EQ(symlink("/dev/full", dir.file("full.bmp").c_str()), 0);
    EXPECT_FALSE(codec.saveImage(frame.data(), 50, 50, 24, dir.file("full"), &error));
    EXPECT_EQ(error, writeFailure(dir.file("full.bmp"), ENOSPC));
}

// A file-size cap makes the writes fail after the file was created: for a
// small image when the stream is closed, for one larger than the stream's
// buffer during the rows.
TEST(BmpWriterFailureDeathTest, WritesCutShortAreReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    for (int side : {3, 400}) {
        const std::string path = dir.file("capped" + std::to_string(side));
        EXPECT_EXIT(
            {
                codectest::limitFileSize(16);
                Tellvar::BMP codec;
                auto frame = noiseFrame(side, side, 4);
                std::string error;
                const bool saved = codec.saveImage(frame.data(), side, side, 24, path, &error);
                codectest::finishChild(!saved && error == writeFailure(path + ".bmp", EFBIG), error,
                                       dir.path());
            },
            ::testing::ExitedWithCode(0), "")
            << side;
    }
}

TEST(BmpWriterFailure, RefusesAFrameWithoutPixelsOrBeyondTheFrameLimit) {
    TempDir dir;
    Tellvar::BMP codec;
    std::string error;
    EXPECT_FALSE(codec.saveImage(nullptr, 4, -1, 24, dir.file("bad"), &error));
    EXPECT_EQ(error, "The system was unable to write the following file\n\n" + dir.file("bad.bmp") +
                         "\n\nThe image to be saved has an unsupported size of 4 x -1 pixels.\n\n"
                         "All operations have now been cancelled. Please correct the problem "
                         "and submit your images again.");
    EXPECT_FALSE(codec.saveImage(nullptr, 1, INT_MAX, 24, dir.file("tall"), &error));
    EXPECT_FALSE(codectest::fileExists(dir.file("bad.bmp")));
    EXPECT_FALSE(codectest::fileExists(dir.file("tall.bmp")));
}

// ---- Reading ----------------------------------------------------------------

TEST(BmpReader, KeepsTheFileRowOrderAndBlueGreenRedBytes) {
    TempDir dir;
    Tellvar::BMP codec;
    const auto picture = testsupport::makeStarField(37, 23, 5);
    testsupport::writeBmp24(dir.file("stars.bmp"), picture);
    const ReadResult read = readImage(codec, dir.file("stars.bmp"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.width, 37);
    EXPECT_EQ(read.height, 23);
    EXPECT_EQ(read.depth, 24);
    EXPECT_EQ(read.pixels, testsupport::cropBgrBottomUp(picture, 0, 0, 37, 23));

    const SizeResult size = checkSize(codec, dir.file("stars.bmp"));
    ASSERT_TRUE(size.ok) << size.error;
    EXPECT_EQ(size.width, 37);
    EXPECT_EQ(size.height, 23);
}

TEST(BmpReader, TopDownFilesArriveBottomUpWithAPositiveHeight) {
    TempDir dir;
    Tellvar::BMP codec;
    const auto picture = testsupport::makeStarField(9, 6, 6);
    testsupport::writeFile(dir.file("top.bmp"), fileOf(picture, true).bytes());
    const ReadResult read = readImage(codec, dir.file("top.bmp"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.height, 6);
    EXPECT_EQ(read.pixels, testsupport::cropBgrBottomUp(picture, 0, 0, 9, 6));
    const SizeResult size = checkSize(codec, dir.file("top.bmp"));
    EXPECT_TRUE(size.ok);
    EXPECT_EQ(size.height, 6);
}

// The rows are read in pieces of many rows; a picture of padded rows
// larger than several pieces (the last one partial) arrives whole, in
// both row orders and without pad.
TEST(BmpReader, FilesOfManyReadsArriveWhole) {
    TempDir dir;
    Tellvar::BMP codec;
    for (const auto& [width, topDown] : {std::pair{1001, false}, std::pair{1001, true},
                                         std::pair{1000, true}, std::pair{1000, false}}) {
        SCOPED_TRACE(std::to_string(width) + (topDown ? " top-down" : " bottom-up"));
        const auto picture = testsupport::makeStarField(width, 197, 8);
        testsupport::writeFile(dir.file("big.bmp"), fileOf(picture, topDown).bytes());
        const ReadResult read = readImage(codec, dir.file("big.bmp"));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.pixels, testsupport::cropBgrBottomUp(picture, 0, 0, width, 197));
    }
}

// A run's registration reads a frame's rows as it needs them: each range
// asked for arrives as the whole read has it (clipped to the frame, and
// overlapping the ranges before it), in both row orders, padded or not; a
// file cut short after it was opened fails the rows it no longer holds.
TEST(BmpReader, RowsOnDemandArriveAsTheWholeReadHasThem) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::string path = dir.file("rows.bmp");
    for (const auto& [width, topDown] : {std::pair{1001, false}, std::pair{1001, true},
                                         std::pair{1000, true}, std::pair{1000, false}}) {
        SCOPED_TRACE(std::to_string(width) + (topDown ? " top-down" : " bottom-up"));
        const auto picture = testsupport::makeStarField(width, 197, 9);
        testsupport::writeFile(path, fileOf(picture, topDown).bytes());
        const auto whole = testsupport::cropBgrBottomUp(picture, 0, 0, width, 197);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;

        // Two frames of the file: the second is for after the file is cut.
        codectest::OnDemandFrame frames[] = {codectest::openOnDemand(codec, path),
                                             codectest::openOnDemand(codec, path)};
        ASSERT_TRUE(frames[0].frame && frames[1].frame);
        EXPECT_EQ(frames[0].width, width);
        EXPECT_EQ(frames[0].height, 197);
        EXPECT_EQ(frames[0].depth, 24);
        const auto& rows = frames[0].rows;

        const std::pair<int, int> ranges[] = {{5, 1},   {3, 10},  {190, 20}, {-4, 2},
                                              {100, 0}, {120, 3}, {60, 1},   {0, 1}};
        std::vector<bool> asked(197, false);
        for (const auto& [first, count] : ranges) {
            ASSERT_TRUE(rows->load(first, count)) << rows->failure();
            for (int r = std::max(first, 0); r < std::min(first + count, 197); ++r) asked[r] = true;
        }
        for (int r = 0; r < 197; ++r) {
            if (!asked[r]) continue;
            EXPECT_TRUE(std::equal(frames[0].frame.get() + r * rowBytes,
                                   frames[0].frame.get() + (r + 1) * rowBytes,
                                   whole.begin() + static_cast<std::ptrdiff_t>(r * rowBytes)))
                << "row " << r;
        }

        // The file loses its last stored row while the second frame is in
        // use: that row fails, the others still arrive.
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - rowBytes);
        EXPECT_FALSE(frames[1].rows->load(topDown ? 0 : 196, 1));
        EXPECT_EQ(frames[1].rows->failure(), truncatedRefusal(path));
        EXPECT_TRUE(frames[1].rows->load(50, 5));
    }
}

TEST(BmpReader, FindsTheRowsThroughTheOffsetWhateverPrecedesThem) {
    TempDir dir;
    Tellvar::BMP codec;
    const auto picture = testsupport::makeStarField(11, 7, 7);
    const auto expected = testsupport::cropBgrBottomUp(picture, 0, 0, 11, 7);

    struct Variant {
        const char* name;
        std::uint32_t infoSize, gap;
        bool zeroSizeImage;
    };
    for (const Variant& v :
         {Variant{"v4 header", 108, 0, false}, Variant{"v5 header", 124, 0, false},
          Variant{"palette", 40, 1024, false}, Variant{"no image size", 40, 0, true}}) {
        SCOPED_TRACE(v.name);
        BmpFile file = fileOf(picture);
        file.infoSize = v.infoSize;
        file.gapBeforeRows = v.gap;
        file.zeroSizeImage = v.zeroSizeImage;
        auto bytes = file.bytes();
        // Fill what lies between the info header and the rows with noise, so
        // that reading it as pixels would show.
        for (std::size_t i = 54; i < 14 + v.infoSize + v.gap; ++i) bytes[i] = 0xA5;
        testsupport::writeFile(dir.file("v.bmp"), bytes);
        const ReadResult read = readImage(codec, dir.file("v.bmp"));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.pixels, expected);
    }
}

// ---- Refusals ---------------------------------------------------------------

TEST(BmpRefusal, MissingFileGivesEachOperationsMessage) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::string path = dir.file("missing.bmp");
    EXPECT_EQ(readImage(codec, path).error,
              "The system was unable to open '" + path +
                  "'\n\nError Message: " + errorText(ENOENT) +
                  "\n\nPlease check your image path and drive availability before trying again.");
    EXPECT_EQ(checkSize(codec, path).error,
              "An error has occurred while opening your Bitmap file named below.\n\n" + path +
                  "\n\nError Message: " + errorText(ENOENT) +
                  "\n\nPlease check your image path and drive availability.\n\nPlease correct the "
                  "problem and submit your images again.");
}

TEST(BmpRefusal, WrongSignatureIsRefusedBeforeTheInfoHeader) {
    TempDir dir;
    Tellvar::BMP codec;
    // A PNG signature, and a two-byte file that holds no info header at all.
    for (const std::vector<std::uint8_t>& bytes :
         {std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 13,  10,  26, 10, 0, 0,
                                    0,    13,  'I', 'H', 'D', 'R', 0,  0,  1, 0},
          std::vector<std::uint8_t>{'M', 'B'}}) {
        testsupport::writeFile(dir.file("x.bmp"), bytes);
        const std::string path = dir.file("x.bmp");
        EXPECT_EQ(readImage(codec, path).error,
                  "An error has occurred while opening your Bitmap file named below.\n\n" + path +
                      "\n\nPlease check that your BMP files are valid and that there is no "
                      "corruption. You can also note the filename and remove it from your active "
                      "list before trying again.");
        EXPECT_EQ(checkSize(codec, path).error,
                  "An error has occurred while opening your Bitmap file named below.\n\n" + path +
                      "\n\nThis image file does not look like a valid Bitmap Image.\n\nPlease "
                      "check the image or remove it from your active list.");
    }
}

TEST(BmpRefusal, CompressedFilesAreRefusedAfterTheInfoHeader) {
    TempDir dir;
    Tellvar::BMP codec;
    for (std::uint32_t compression : {1u, 3u}) {
        BmpFile file = fileOf(testsupport::makeStarField(4, 4, 8));
        file.compression = compression;
        file.bitCount = 8;  // the compression test comes first
        const std::string path = dir.file("rle.bmp");
        testsupport::writeFile(path, file.bytes());
        EXPECT_EQ(readImage(codec, path).error,
                  "Image file " + path +
                      " looks like it has been compressed. This applications does not support "
                      "compressed bitmap files.\n\nPlease note the filename and remove it form "
                      "your active list or remove the compression.");
        EXPECT_EQ(checkSize(codec, path).error,
                  "An error has occurred while opening your Bitmap file named below.\n\n" + path +
                      "This image file looks like it has been compressed. This applications does "
                      "not support compressed bitmap files.\n\nPlease either remove the "
                      "compression or delete the image from your active list.");
    }
}

TEST(BmpRefusal, OnlyTwentyFourBitFilesAreTaken) {
    TempDir dir;
    Tellvar::BMP codec;
    for (std::uint16_t bits : {1, 8, 16, 32}) {
        BmpFile file = fileOf(testsupport::makeStarField(4, 4, 9));
        file.bitCount = bits;
        const std::string path = dir.file("bits.bmp");
        testsupport::writeFile(path, file.bytes());
        const std::string expected = openRefusal(
            path, "This image has " + std::to_string(bits) +
                      " bits per pixel. Tellvar can only read uncompressed 24 bit Bitmap "
                      "files.\n\nPlease convert the image to 24 bit or note the filename and "
                      "remove it from your active list before trying again.");
        EXPECT_EQ(readImage(codec, path).error, expected);
        EXPECT_EQ(checkSize(codec, path).error, expected);
    }
}

TEST(BmpRefusal, ImpossibleSizesAreRefusedByBothOperations) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::string path = dir.file("size.bmp");
    struct Case {
        std::int32_t width, height;
        std::string expectedSize;
    };
    for (const Case& c : {Case{0, 4, "0 x 4"}, Case{-3, 4, "-3 x 4"}, Case{4, 0, "4 x 0"}}) {
        writeHeadersOnly(path, c.width, c.height);
        EXPECT_EQ(readImage(codec, path).error, dimensionsRefusal(path, c.expectedSize));
        EXPECT_EQ(checkSize(codec, path).error, dimensionsRefusal(path, c.expectedSize));
    }
}

TEST(BmpRefusal, FramesBeyondTwoGigabytesAreRefusedWithoutReadingRows) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::string path = dir.file("huge.bmp");
    // 715,827,882 x 3 = 2,147,483,646 bytes fits; one pixel more does not.
    writeHeadersOnly(path, 715827882, 1);
    const SizeResult fits = checkSize(codec, path);
    EXPECT_TRUE(fits.ok) << fits.error;
    EXPECT_EQ(fits.width, 715827882);

    for (const auto& [width, height, size] :
         {std::tuple{715827883, 1, "715827883 x 1"}, std::tuple{1, -715827883, "1 x 715827883"},
          std::tuple{65536, 65536, "65536 x 65536"}, std::tuple{4, INT32_MIN, "4 x 2147483648"}}) {
        writeHeadersOnly(path, width, height);
        EXPECT_EQ(readImage(codec, path).error, tooLargeRefusal(path, size));
        EXPECT_EQ(checkSize(codec, path).error, tooLargeRefusal(path, size));
    }
}

TEST(BmpRefusal, TruncatedFilesAreRefusedByTheReaderButPassTheSizeCheck) {
    TempDir dir;
    Tellvar::BMP codec;
    const std::string path = dir.file("cut.bmp");
    const auto full = fileOf(testsupport::makeStarField(5, 4, 10)).bytes();  // rows of 16 bytes

    for (std::size_t length :
         {full.size() - 1, full.size() - 16, std::size_t{60}, std::size_t{54}}) {
        SCOPED_TRACE(length);
        testsupport::writeFile(path,
                               std::vector<std::uint8_t>(full.begin(), full.begin() + length));
        EXPECT_EQ(readImage(codec, path).error, truncatedRefusal(path));
        const SizeResult size = checkSize(codec, path);
        EXPECT_TRUE(size.ok) << size.error;
        EXPECT_EQ(size.width, 5);
        EXPECT_EQ(size.height, 4);
    }

    // Rows said to start beyond the end of the file.
    auto farOffset = full;
    codectest::putLe32(farOffset, 10, 100000);
    testsupport::writeFile(path, farOffset);
    EXPECT_EQ(readImage(codec, path).error, truncatedRefusal(path));

    // Signature present, headers cut short: no size can be reported.
    for (std::size_t length : {std::size_t{10}, std::size_t{30}}) {
        testsupport::writeFile(path,
                               std::vector<std::uint8_t>(full.begin(), full.begin() + length));
        EXPECT_EQ(readImage(codec, path).error, truncatedRefusal(path));
        EXPECT_EQ(checkSize(codec, path).error, truncatedRefusal(path));
    }
}

TEST(BmpRefusalDeathTest, AFrameThatCannotBeAllocatedIsRefusedWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    codectest::AllocationCap cap;
    TempDir dir;
    const std::string path = dir.file("big.bmp");
    // 8000 x 8000 pixels (192 MB) in a sparse file: the rows are all there.
    writeHeadersOnly(path, 8000, 8000);
    ASSERT_EQ(truncate(path.c_str(), 54 + 8000LL * 8000 * 3), 0);
    EXPECT_EXIT(
        {
            Tellvar::BMP codec;
            codectest::AllocationCap::applyInChild();
            const ReadResult read = readImage(codec, path);
            const std::string expected = openRefusal(
                path,
                "There is not enough memory to load this image.\n\nPlease close other "
                "programs or note the filename and remove it from your active list before "
                "trying again.");
            codectest::finishChild(!read.ok && read.error == expected, read.error, dir.path());
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- Concurrency ------------------------------------------------------------

TEST(BmpConcurrency, ThreadsSharingOneCodecEachGetTheirOwnFramesAndMessages) {
    TempDir dir;
    Tellvar::BMP codec;
    constexpr int kThreads = 8;
    std::vector<testsupport::Picture> pictures;
    for (int t = 0; t < kThreads; ++t) {
        pictures.push_back(testsupport::makeStarField(20 + t, 10 + 2 * t, 50 + t));
        testsupport::writeBmp24(dir.file("good" + std::to_string(t) + ".bmp"), pictures[t]);
        BmpFile bad = fileOf(pictures[t]);
        bad.bitCount = static_cast<std::uint16_t>(t + 1);
        testsupport::writeFile(dir.file("bad" + std::to_string(t) + ".bmp"), bad.bytes());
    }
    std::vector<int> mistakes(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const auto expected = testsupport::cropBgrBottomUp(pictures[t], 0, 0, pictures[t].width,
                                                               pictures[t].height);
            const std::string badPath = dir.file("bad" + std::to_string(t) + ".bmp");
            const std::string badMessage = openRefusal(
                badPath, "This image has " + std::to_string(t + 1) +
                             " bits per pixel. Tellvar can only read uncompressed 24 bit Bitmap "
                             "files.\n\nPlease convert the image to 24 bit or note the filename "
                             "and remove it from your active list before trying again.");
            for (int round = 0; round < 50; ++round) {
                const ReadResult good =
                    readImage(codec, dir.file("good" + std::to_string(t) + ".bmp"));
                if (!good.ok || good.pixels != expected || good.width != pictures[t].width)
                    ++mistakes[t];
                if (readImage(codec, badPath).error != badMessage) ++mistakes[t];
                const SizeResult size = checkSize(codec, badPath);
                if (size.ok || size.error != badMessage) ++mistakes[t];
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mistakes[t], 0) << "thread " << t;
}
