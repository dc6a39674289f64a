// The engine's one TIFF writer: file layout, round trips and write failures.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <thread>

#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "CodecTestHelpers.h"
#include "TestImages.h"

using codectest::errorText;
using codectest::noiseFrame;
using testsupport::TempDir;

namespace {

const char* const kWriteTail =
    "\n\nPlease check your file permissions, folder or drive availability. You can specify a new "
    "save location in the options dialog.\n\nAll operations have now been cancelled. Please "
    "correct the problem and submit your images again.";

std::string expectedWriteFailure(const std::string& path, int errorNumber) {
    return "The system was unable to write the following file\n\n" + path +
           "'\n\nError Message: " + errorText(errorNumber) + kWriteTail;
}

struct TiffTags {
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t samples = 0, bits = 0, orientation = 0, planar = 0, photometric = 0,
                  compression = 0;
    std::vector<std::uint64_t> stripByteCounts;
};

// Opened with strip chopping off: the library would otherwise present one
// large uncompressed strip as several small ones.
TiffTags readTags(const std::string& path) {
    TiffTags tags;
    TIFF* tiff = TIFFOpen(path.c_str(), "rc");
    if (tiff == nullptr) return tags;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &tags.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &tags.height);
    TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &tags.rowsPerStrip);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &tags.samples);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &tags.bits);
    TIFFGetField(tiff, TIFFTAG_ORIENTATION, &tags.orientation);
    TIFFGetField(tiff, TIFFTAG_PLANARCONFIG, &tags.planar);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &tags.photometric);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &tags.compression);
    for (tstrip_t strip = 0; strip < TIFFNumberOfStrips(tiff); ++strip)
        tags.stripByteCounts.push_back(TIFFGetStrileByteCount(tiff, strip));
    TIFFClose(tiff);
    return tags;
}

// The file's pixels as the TIFF library delivers them, first row first.
std::vector<std::uint8_t> readPixelsWithLibrary(const std::string& path) {
    std::vector<std::uint8_t> pixels;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return pixels;
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tiff)));
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff, row.data(), y, 0) < 0) break;
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
    TIFFClose(tiff);
    return pixels;
}

// Error and warning handlers that change errno, as a program's own handlers
// (the toolkit's, say) may do while they word the library's message.
class ErrnoChangingTiffHandlers {
public:
    ErrnoChangingTiffHandlers()
        : error_(TIFFSetErrorHandler(changeErrno)), warning_(TIFFSetWarningHandler(changeErrno)) {}
    ~ErrnoChangingTiffHandlers() {
        TIFFSetErrorHandler(error_);
        TIFFSetWarningHandler(warning_);
    }

private:
    static void changeErrno(const char*, const char*, va_list) { errno = EIO; }
    TIFFErrorHandler error_, warning_;
};

}  // namespace

TEST(TiffWriter, StoresClassicUncompressedRgbWithTheRequestedStrips) {
    TempDir dir;
    Tellvar::TIF codec;
    std::string error;

    auto narrow = noiseFrame(10, 40, 1);
    ASSERT_TRUE(codec.saveTIFF(narrow.data(), 10, 40, 24, dir.file("narrow"), &error)) << error;
    const auto bytes = testsupport::readFile(dir.file("narrow.tif"));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("II*\0", 4));

    TiffTags tags = readTags(dir.file("narrow.tif"));
    EXPECT_EQ(tags.width, 10u);
    EXPECT_EQ(tags.height, 40u);
    EXPECT_EQ(tags.samples, 3);
    EXPECT_EQ(tags.bits, 8);
    EXPECT_EQ(tags.orientation, ORIENTATION_TOPLEFT);
    EXPECT_EQ(tags.planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(tags.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(tags.compression, COMPRESSION_NONE);
    EXPECT_EQ(tags.rowsPerStrip, 30u);
    EXPECT_EQ(tags.stripByteCounts, (std::vector<std::uint64_t>{30 * 30, 10 * 30}));
    EXPECT_EQ(readPixelsWithLibrary(dir.file("narrow.tif")), narrow);

    auto wide = noiseFrame(100, 80, 2);
    ASSERT_TRUE(codec.saveTIFF(wide.data(), 100, 80, 24, dir.file("wide"), &error)) << error;
    tags = readTags(dir.file("wide.tif"));
    EXPECT_EQ(tags.rowsPerStrip, 300u);
    EXPECT_EQ(tags.stripByteCounts, (std::vector<std::uint64_t>{100 * 80 * 3}));
    EXPECT_EQ(readPixelsWithLibrary(dir.file("wide.tif")), wide);
}

TEST(TiffWriter, FilesReadBackByteForByteThroughEveryTiffCodec) {
    TempDir dir;
    Tellvar::TIF tif;
    Tellvar::JPEG jpeg;
    for (int width = 1; width <= 9; ++width)
        for (int height = 1; height <= 4; ++height) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
            auto frame = noiseFrame(width, height, width * 10 + height);
            std::string error;
            Tellvar::Brennock& writer = height % 2 ? static_cast<Tellvar::Brennock&>(tif) : jpeg;
            ASSERT_TRUE(writer.saveImage(frame.data(), width, height, 24, dir.file("f"), &error))
                << error;
            unsigned char* read = nullptr;
            int readWidth = 0, readHeight = 0, depth = 0;
            ASSERT_TRUE(
                tif.openImage(&read, dir.file("f.tif"), &readWidth, &readHeight, &depth, &error))
                << error;
            EXPECT_EQ(readWidth, width);
            EXPECT_EQ(readHeight, height);
            EXPECT_EQ(depth, 24);
            EXPECT_EQ(std::vector<std::uint8_t>(read, read + frame.size()), frame);
            delete[] read;
        }
}

TEST(TiffWriter, AppendsItsExtensionAndIgnoresDepth) {
    TempDir dir;
    Tellvar::TIF codec;
    std::string error = "untouched";
    auto frame = noiseFrame(7, 5, 3);

    ASSERT_TRUE(codec.saveTIFF(frame.data(), 7, 5, 3, dir.file("crop_a.jpg"), &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_TRUE(codectest::fileExists(dir.file("crop_a.jpg.tif")));

    ASSERT_TRUE(codec.saveTIFF(frame.data(), 7, 5, 24, dir.file("crop_b"), &error));
    EXPECT_EQ(testsupport::readFile(dir.file("crop_a.jpg.tif")),
              testsupport::readFile(dir.file("crop_b.tif")));
}

TEST(TiffWriter, ReplacesAnExistingFile) {
    TempDir dir;
    Tellvar::TIF codec;
    std::string error;
    auto large = noiseFrame(64, 64, 4);
    auto small = noiseFrame(3, 2, 5);
    ASSERT_TRUE(codec.saveTIFF(large.data(), 64, 64, 24, dir.file("out"), &error));
    ASSERT_TRUE(codec.saveTIFF(small.data(), 3, 2, 24, dir.file("out"), &error));
    EXPECT_LT(testsupport::readFile(dir.file("out.tif")).size(), 64u * 64u * 3u);
    EXPECT_EQ(readPixelsWithLibrary(dir.file("out.tif")), small);
}

TEST(TiffWriterFailure, MissingFolderGivesTheWriteMessageWithTheSystemText) {
    TempDir dir;
    Tellvar::TIF codec;
    auto frame = noiseFrame(4, 4, 6);
    const std::string path = dir.file("no-such-folder/crop_x");
    std::string error;
    EXPECT_FALSE(codec.saveTIFF(frame.data(), 4, 4, 24, path, &error));
    EXPECT_EQ(error, expectedWriteFailure(path + ".tif", ENOENT));
}

TEST(TiffWriterFailure, MessagesCarryTheErrnoOfTheFailedCallWhateverTheHandlersDo) {
    TempDir dir;
    Tellvar::TIF codec;
    const ErrnoChangingTiffHandlers handlers;
    ASSERT_EQ(symlink("/dev/full", dir.file("full.tif").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("folder.tif").c_str(), 0700), 0);
    testsupport::writeFile(dir.file("plain"), {1});
    struct Case {
        std::string path;
        int errorNumber;
    };
    auto frame = noiseFrame(100, 80, 7);
    for (const Case& c : {Case{dir.file("absent/crop_x"), ENOENT}, Case{dir.file("full"), ENOSPC},
                          Case{dir.file("folder"), EISDIR}, Case{dir.file("plain/x"), ENOTDIR}}) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_FALSE(codec.saveTIFF(frame.data(), 100, 80, 24, c.path, &error));
        EXPECT_EQ(error, expectedWriteFailure(c.path + ".tif", c.errorNumber));
    }
}

TEST(TiffWriterFailure, FullDeviceIsReportedNotTakenForSuccess) {
    TempDir dir;
    Tellvar::TIF codec;
    ASSERT_EQ(symlink("/dev/full", dir.file("full.tif").c_str()), 0);
    auto frame = noiseFrame(100, 80, 7);
    std::string error;
    EXPECT_FALSE(codec.saveImage(frame.data(), 100, 80, 24, dir.file("full"), &error));
    EXPECT_EQ(error, expectedWriteFailure(dir.file("full.tif"), ENOSPC));
}

// A file-size cap lets the header through and fails the writes after it:
// in a row write when a full strip goes out, or in the final flush.
TEST(TiffWriterFailureDeathTest, FailedRowAndFlushWritesAreReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    for (const auto& [width, height] : {std::pair{10, 40}, std::pair{100, 80}}) {
        const std::string path = dir.file("capped" + std::to_string(width));
        EXPECT_EXIT(
            {
                codectest::limitFileSize(8);  // exactly the TIFF header
                const ErrnoChangingTiffHandlers handlers;
                Tellvar::TIF codec;
                auto frame = noiseFrame(width, height, 8);
                std::string error;
                const bool saved = codec.saveTIFF(frame.data(), width, height, 24, path, &error);
                const std::string expected = expectedWriteFailure(path + ".tif", EFBIG);
                codectest::finishChild(!saved && error == expected, error, dir.path());
            },
            ::testing::ExitedWithCode(0), "")
            << width << " x " << height;
    }
}

TEST(TiffWriterFailure, RefusesAFrameWithoutPixelsOrBeyondTheFrameLimit) {
    TempDir dir;
    Tellvar::TIF codec;
    std::string error;
    EXPECT_FALSE(codec.saveTIFF(nullptr, 0, 5, 24, dir.file("empty"), &error));
    EXPECT_EQ(error, "The system was unable to write the following file\n\n" +
                         dir.file("empty.tif") +
                         "\n\nThe image to be saved has an unsupported size of 0 x 5 pixels.\n\n"
                         "All operations have now been cancelled. Please correct the problem "
                         "and submit your images again.");
    EXPECT_FALSE(codec.saveTIFF(nullptr, 50000, 50000, 24, dir.file("huge"), &error));
    EXPECT_NE(error.find("50000 x 50000"), std::string::npos);
    EXPECT_FALSE(codectest::fileExists(dir.file("empty.tif")));
    EXPECT_FALSE(codectest::fileExists(dir.file("huge.tif")));
}

TEST(TiffWriterConcurrency, ThreadsSavingAtOnceEachWriteTheirOwnFile) {
    TempDir dir;
    Tellvar::JPEG codec;  // one codec object shared by every thread, as in a run
    constexpr int kThreads = 8;
    std::vector<std::vector<std::uint8_t>> frames;
    for (int t = 0; t < kThreads; ++t) frames.push_back(noiseFrame(33 + t, 21, 100 + t));
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                std::string error;
                if (!codec.saveImage(frames[t].data(), 33 + t, 21, 3,
                                     dir.file("t" + std::to_string(t)), &error))
                    ++failures[t];
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0);
        EXPECT_EQ(readPixelsWithLibrary(dir.file("t" + std::to_string(t) + ".tif")), frames[t]);
    }
}
