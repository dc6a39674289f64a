// The JPEG codec: decoding, colour handling, refusals, limits and the
// per-thread library message.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

// jpeglib.h expects FILE and size_t to be declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "Brennock/JPEG.h"
#include "CodecTestHelpers.h"
#include "TestImages.h"
#include "codecs/FrameAdmission.h"

using codectest::errorText;
using testsupport::TempDir;
using testsupport::writeJpegInColourSpace;

namespace {

using codectest::checkSize;
using codectest::readImage;
using codectest::ReadResult;
using codectest::SizeResult;

// The library's plain RGB decode of a file, as the reference the codec must match.
std::vector<std::uint8_t> referenceRgb(const std::string& path) {
    std::vector<std::uint8_t> pixels;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return pixels;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<std::uint8_t> row(cinfo.output_width * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return pixels;
}

std::size_t findMarker(const std::vector<std::uint8_t>& bytes, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
    return std::string::npos;
}

// Rewrites the frame header's size: a small file that claims a huge image.
void claimSize(std::vector<std::uint8_t>& bytes, std::uint8_t frameMarker, std::uint16_t width,
               std::uint16_t height) {
    const std::size_t at = findMarker(bytes, frameMarker);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] = height >> 8;
    bytes[at + 6] = height & 0xFF;
    bytes[at + 7] = width >> 8;
    bytes[at + 8] = width & 0xFF;
}

std::string libraryFailure(const std::string& path, const std::string& libraryText) {
    return "An error has occurred while opening your JPEG file named below.\n\n" + path +
           "\n\nPlease check that your JPEG files are valid and that there is no corruption. You "
           "can also note the filename and remove it from your active list before trying "
           "again.\n\nError: " +
           libraryText;
}

std::string colourRefusal(const std::string& path) {
    return "An error has occurred while opening your JPEG file named below.\n\n" + path +
           "\n\nThis JPEG uses a colour space that Tellvar cannot convert to RGB (for example "
           "CMYK). Tellvar reads colour and grayscale JPEG files only.\n\nPlease convert the "
           "image to RGB or note the filename and remove it from your active list before trying "
           "again.";
}

std::string notJpegText(int first, int second) {
    char text[64];
    std::snprintf(text, sizeof text, "Not a JPEG file: starts with 0x%02x 0x%02x", first, second);
    return text;
}

}  // namespace

// ---- Decoding ---------------------------------------------------------------

TEST(JpegReader, ColourFilesDecodeTopDownRedGreenBlue) {
    TempDir dir;
    Tellvar::JPEG codec;
    const auto picture = testsupport::makeStarField(61, 37, 1);
    testsupport::writeJpeg(dir.file("c.jpg"), picture, 95);
    const ReadResult read = readImage(codec, dir.file("c.jpg"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.width, 61);
    EXPECT_EQ(read.height, 37);
    EXPECT_EQ(read.depth, 3);
    EXPECT_EQ(read.pixels, referenceRgb(dir.file("c.jpg")));

    // Row order and byte order against the source picture, within the
    // compression's error.
    long long difference = 0;
    for (std::size_t i = 0; i < read.pixels.size(); ++i)
        difference += std::abs(int(read.pixels[i]) - int(picture.rgb[i]));
    EXPECT_LT(double(difference) / read.pixels.size(), 3.0);
}

TEST(JpegReader, GrayFilesAreExpandedToRgbAndReportOneComponent) {
    TempDir dir;
    Tellvar::JPEG codec;
    const auto picture = testsupport::makeStarField(30, 20, 2);
    testsupport::writeJpeg(dir.file("g.jpg"), picture, 90, 1);
    const ReadResult read = readImage(codec, dir.file("g.jpg"));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.depth, 1);
    ASSERT_EQ(read.pixels.size(), 30u * 20u * 3u);
    for (std::size_t i = 0; i < read.pixels.size(); i += 3) {
        EXPECT_EQ(read.pixels[i], read.pixels[i + 1]) << i;
        EXPECT_EQ(read.pixels[i], read.pixels[i + 2]) << i;
    }
    EXPECT_EQ(read.pixels, referenceRgb(dir.file("g.jpg")));
    const SizeResult size = checkSize(codec, dir.file("g.jpg"));
    EXPECT_TRUE(size.ok);
    EXPECT_EQ(size.width, 30);
}

TEST(JpegReader, ProgressiveAndOneOrTwoRowFilesDecode) {
    TempDir dir;
    Tellvar::JPEG codec;
    struct Case {
        int width, height, components;
        bool progressive;
    };
    for (const Case& c : {Case{45, 33, 3, true}, Case{45, 33, 1, true}, Case{17, 1, 3, false},
                          Case{17, 2, 3, false}, Case{1, 1, 3, false}, Case{300, 2, 3, true}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::string path = dir.file("case.jpg");
        testsupport::writeJpeg(path, testsupport::makeStarField(c.width, c.height, 3), 85,
                               c.components, c.progressive);
        const ReadResult read = readImage(codec, path);
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.width, c.width);
        EXPECT_EQ(read.height, c.height);
        EXPECT_EQ(read.depth, c.components);
        EXPECT_EQ(read.pixels, referenceRgb(path));
        const SizeResult size = checkSize(codec, path);
        ASSERT_TRUE(size.ok) << size.error;
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
}

// What this process has read so far, by the kernel's count: bytes and read
// calls. False where the kernel keeps no count.
bool readsSoFar(long long* bytes, long long* calls) {
    std::FILE* io = std::fopen("/proc/self/io", "r");
    if (io == nullptr) return false;
    const bool counted = std::fscanf(io, "rchar: %lld wchar: %*d syscr: %lld", bytes, calls) == 2;
    std::fclose(io);
    return counted;
}

// A frame's decode reads the file in large pieces; a size check of a
// sequential file reads its headers only, not a whole stream buffer.
TEST(JpegReader, AFrameIsReadInLargePiecesAndASizeCheckReadsOnlyItsHeaders) {
    TempDir dir;
    Tellvar::JPEG codec;
    const std::string path = dir.file("large.jpg");
    testsupport::writeJpeg(path, testsupport::makeStarField(1200, 900, 7), 98);
    const long long fileBytes = static_cast<long long>(testsupport::readFile(path).size());
    ASSERT_GT(fileBytes, 128 << 10);
    long long bytes0, calls0, bytes1, calls1, bytes2, calls2;
    if (!readsSoFar(&bytes0, &calls0)) GTEST_SKIP() << "the kernel counts no reads";

    const SizeResult size = checkSize(codec, path);
    ASSERT_TRUE(readsSoFar(&bytes1, &calls1));
    ASSERT_TRUE(size.ok) << size.error;
    EXPECT_LT(bytes1 - bytes0, 16 << 10);

    const ReadResult read = readImage(codec, path);
    ASSERT_TRUE(readsSoFar(&bytes2, &calls2));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_GE(bytes2 - bytes1, fileBytes);
    // 4 KiB reads would take fileBytes / 4096.
    EXPECT_LE(calls2 - calls1, fileBytes / (32 << 10) + 4);
}

// A run admits a frame with what decoding it holds: a sequential file its
// frame, a progressive one also every coefficient, at least two bytes a
// sample of its full-resolution luma alone.
TEST(JpegReader, AFrameIsAdmittedWithWhatItsDecodeHolds) {
    struct Recorder final : Tellvar::detail::FrameAdmission {
        std::uint64_t bytes = 0;
        bool admit(std::uint64_t frameBytes, const std::string&, std::string*) override {
            bytes = frameBytes;
            return true;
        }
    };
    TempDir dir;
    Tellvar::JPEG codec;
    constexpr int kWidth = 160, kHeight = 120;
    const std::uint64_t frame = std::uint64_t{kWidth} * kHeight * 3;
    for (const bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "sequential");
        const std::string path = dir.file("admitted.jpg");
        testsupport::writeJpeg(path, testsupport::makeStarField(kWidth, kHeight, 5), 85, 3,
                               progressive);
        Recorder recorder;
        unsigned char* pixels = nullptr;
        int width = 0, height = 0, depth = 0;
        std::string error;
        ASSERT_TRUE(Tellvar::detail::openAdmitted(codec, path, &pixels, &width, &height, &depth,
                                                  &error, &recorder))
            << error;
        delete[] pixels;
        if (progressive)
            EXPECT_GE(recorder.bytes, frame + std::uint64_t{kWidth} * kHeight * 2);
        else
            EXPECT_EQ(recorder.bytes, frame);
    }
}

// ---- Damaged data -----------------------------------------------------------

// Where a file's entropy-coded data starts and where its end marker is.
struct ScanData {
    std::size_t start, end;
};
ScanData scanData(const std::vector<std::uint8_t>& bytes) {
    const std::size_t scan = findMarker(bytes, 0xDA);
    EXPECT_NE(scan, std::string::npos);
    return {scan + 2 + (bytes[scan + 2] << 8 | bytes[scan + 3]), bytes.size() - 2};
}

// Data that ends early or is damaged fails the read with the library's
// warning instead of decoding to invented grey. The size check reads no
// entropy-coded data of a sequential file, but all of a progressive one.
TEST(JpegDamage, DataThatEndsEarlyOrIsCorruptFailsAtTheFirstLoss) {
    TempDir dir;
    Tellvar::JPEG codec;
    const char* const kEnded = "Premature end of JPEG file";
    using Damage = void (*)(std::vector<std::uint8_t>&, ScanData);
    struct Case {
        const char* name;
        bool progressive;
        Damage damage;
        const char* libraryText;
    };
    const Damage cutAfter20 = [](std::vector<std::uint8_t>& b, ScanData d) {
        b.resize(d.start + 20);
    };
    const Damage cutHalfway = [](std::vector<std::uint8_t>& b, ScanData d) {
        b.resize((d.start + d.end) / 2);
    };
    const Damage noEndMarker = [](std::vector<std::uint8_t>& b, ScanData d) { b.resize(d.end); };
    const Damage markerInside = [](std::vector<std::uint8_t>& b, ScanData d) {
        b[(d.start + d.end) / 2] = 0xFF;
        b[(d.start + d.end) / 2 + 1] = 0xD9;
    };
    const Damage badCodes = [](std::vector<std::uint8_t>& b, ScanData d) {
        // Stuffed 0xFF bytes: a run of one bits no Huffman table assigns.
        for (std::size_t i = 0; i < 8; i += 2) {
            b[(d.start + d.end) / 2 + i] = 0xFF;
            b[(d.start + d.end) / 2 + i + 1] = 0x00;
        }
    };
    for (const Case& c :
         {Case{"cut 20 bytes into its data", false, cutAfter20, kEnded},
          Case{"cut halfway", false, cutHalfway, kEnded},
          Case{"without its end marker", false, noEndMarker, kEnded},
          Case{"progressive, cut halfway", true, cutHalfway, kEnded},
          Case{"progressive, without its end marker", true, noEndMarker, kEnded},
          Case{"a marker inside its data", false, markerInside,
               "Corrupt JPEG data: premature end of data segment"},
          Case{"codes no table has", false, badCodes, "Corrupt JPEG data: bad Huffman code"}}) {
        SCOPED_TRACE(c.name);
        testsupport::writeJpeg(dir.file("whole.jpg"), testsupport::makeStarField(64, 48, 4), 90, 3,
                               c.progressive);
        auto bytes = testsupport::readFile(dir.file("whole.jpg"));
        c.damage(bytes, scanData(bytes));
        const std::string path = dir.file("damaged.jpg");
        testsupport::writeFile(path, bytes);

        EXPECT_EQ(readImage(codec, path).error, libraryFailure(path, c.libraryText));
        const SizeResult size = checkSize(codec, path);
        if (c.progressive)
            EXPECT_EQ(size.error, libraryFailure(path, c.libraryText));
        else
            EXPECT_TRUE(size.ok) << size.error;
    }
}

TEST(JpegDamage, BytesToSkipBeforeAMarkerLoseNoPixel) {
    TempDir dir;
    Tellvar::JPEG codec;
    testsupport::writeJpeg(dir.file("whole.jpg"), testsupport::makeStarField(64, 48, 4), 90);
    const auto whole = testsupport::readFile(dir.file("whole.jpg"));
    const std::vector<std::uint8_t> junk{0x12, 0x34, 0x56};
    for (const std::size_t at : {findMarker(whole, 0xDA), scanData(whole).end, whole.size()}) {
        SCOPED_TRACE(at);
        auto bytes = whole;
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), junk.begin(), junk.end());
        testsupport::writeFile(dir.file("junk.jpg"), bytes);
        const ReadResult read = readImage(codec, dir.file("junk.jpg"));
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.pixels, referenceRgb(dir.file("whole.jpg")));
        EXPECT_TRUE(checkSize(codec, dir.file("junk.jpg")).ok);
    }
}

// A small file that claims a huge picture fails where its data runs out,
// before the rest of the 1.2 GB frame is filled in.
TEST(JpegDamage, ASmallFileClaimingAHugePictureCostsNeitherItsTimeNorItsMemory) {
    TempDir dir;
    Tellvar::JPEG codec;
    testsupport::writeJpeg(dir.file("small.jpg"), testsupport::makeStarField(16, 16, 6), 80);
    auto bytes = testsupport::readFile(dir.file("small.jpg"));
    claimSize(bytes, 0xC0, 20000, 20000);
    const std::string path = dir.file("claim.jpg");
    testsupport::writeFile(path, bytes);

    const long peakBefore = codectest::peakResidentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readImage(codec, path).error,
              libraryFailure(path, "Corrupt JPEG data: premature end of data segment"));
    // Filling the frame would take all of 1.2 GB and, under the sanitizers,
    // minutes; what the sanitizers themselves add (the allocation's shadow)
    // stays well below both bounds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_LT(codectest::peakResidentKilobytes() - peakBefore, 512L << 10);
}

TEST(JpegReader, SizeCheckerAgreesWithTheReaderAndLeavesNothingOpen) {
    TempDir dir;
    Tellvar::JPEG codec;
    testsupport::writeJpeg(dir.file("a.jpg"), testsupport::makeStarField(70, 50, 5), 80);
    testsupport::writeFile(dir.file("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xD9});
    const ReadResult read = readImage(codec, dir.file("a.jpg"));
    ASSERT_TRUE(read.ok);

    const int descriptorsBefore = codectest::openDescriptorCount();
    for (int i = 0; i < 200; ++i) {
        const SizeResult size = checkSize(codec, dir.file("a.jpg"));
        ASSERT_TRUE(size.ok);
        ASSERT_EQ(size.width, read.width);
        ASSERT_EQ(size.height, read.height);
        ASSERT_FALSE(checkSize(codec, dir.file("bad.jpg")).ok);
        ASSERT_FALSE(readImage(codec, dir.file("bad.jpg")).ok);
    }
    EXPECT_EQ(codectest::openDescriptorCount(), descriptorsBefore);
}

// ---- Refusals ---------------------------------------------------------------

TEST(JpegRefusal, MissingFileGivesTheOpenMessageWithNothingAfterTheSystemText) {
    TempDir dir;
    Tellvar::JPEG codec;
    const std::string path = dir.file("absent.jpg");
    const std::string expected =
        "The system was unable to open '" + path + "'\n\nError Message: " + errorText(ENOENT);
    EXPECT_EQ(readImage(codec, path).error, expected);
    EXPECT_EQ(checkSize(codec, path).error, expected);
}

TEST(JpegRefusal, LibraryFailuresCarryTheLibrarysOwnText) {
    TempDir dir;
    Tellvar::JPEG codec;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string libraryText;
    };
    for (const Case& c :
         {Case{"bitmap", {'B', 'M', 1, 2, 3, 4}, notJpegText(0x42, 0x4d)},
          Case{"empty", {}, "Empty input file"},
          Case{"no image", {0xFF, 0xD8, 0xFF, 0xD9}, "JPEG datastream contains no image"}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".jpg");
        testsupport::writeFile(path, c.bytes);
        std::string error = "before";
        unsigned char* buffer = reinterpret_cast<unsigned char*>(&error);
        int width = -7, height = -7, depth = -7;
        EXPECT_FALSE(codec.openImage(&buffer, path, &width, &height, &depth, &error));
        EXPECT_EQ(buffer, reinterpret_cast<unsigned char*>(&error)) << "no buffer handed out";
        EXPECT_EQ(width, -7);
        EXPECT_EQ(error, libraryFailure(path, c.libraryText));
        EXPECT_EQ(checkSize(codec, path).error, libraryFailure(path, c.libraryText));
    }
}

TEST(JpegRefusal, ColourSpacesWithoutAnRgbFormAreRefusedByBothOperations) {
    TempDir dir;
    Tellvar::JPEG codec;
    writeJpegInColourSpace(dir.file("cmyk.jpg"), 4, JCS_CMYK, JCS_CMYK);
    writeJpegInColourSpace(dir.file("ycck.jpg"), 4, JCS_CMYK, JCS_YCCK);
    writeJpegInColourSpace(dir.file("two.jpg"), 2, JCS_UNKNOWN, JCS_UNKNOWN);
    for (const char* name : {"cmyk.jpg", "ycck.jpg", "two.jpg"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        EXPECT_EQ(readImage(codec, path).error, colourRefusal(path));
        EXPECT_EQ(checkSize(codec, path).error, colourRefusal(path));
    }
}

TEST(JpegRefusal, HugeFramesAreRefusedBeforeTheDecoderCommitsMemory) {
    TempDir dir;
    Tellvar::JPEG codec;
    testsupport::writeJpeg(dir.file("small.jpg"), testsupport::makeStarField(16, 16, 6), 80);
    auto bytes = testsupport::readFile(dir.file("small.jpg"));
    claimSize(bytes, 0xC0, 65000, 60000);  // 11.7 GB of pixels
    const std::string path = dir.file("huge.jpg");
    testsupport::writeFile(path, bytes);
    const std::string expected =
        "The image file named below is too large for Tellvar.\n\n" + path +
        "\n\nIts 65000 x 60000 pixels would need more than 2 GB of memory, the most Tellvar can "
        "handle for one image.\n\nPlease reduce the image size or note the filename and remove "
        "it from your active list before trying again.";
    EXPECT_EQ(readImage(codec, path).error, expected);
    EXPECT_EQ(checkSize(codec, path).error, expected);
}

// A progressive file keeps every coefficient while it decodes; a header that
// asks for more than the codec's working-memory cap fails inside the library.
TEST(JpegRefusal, ProgressiveFilesBeyondTheWorkingMemoryCapFailCleanly) {
    TempDir dir;
    Tellvar::JPEG codec;
    testsupport::writeJpeg(dir.file("small.jpg"), testsupport::makeStarField(16, 16, 7), 80, 3,
                           true);
    auto bytes = testsupport::readFile(dir.file("small.jpg"));
    claimSize(bytes, 0xC2, 20000, 20000);  // 1.2 GB of coefficients, 1.2 GB of pixels
    const std::string path = dir.file("deep.jpg");
    testsupport::writeFile(path, bytes);
    EXPECT_EQ(checkSize(codec, path).error, libraryFailure(path, "Backing store not supported"));
    EXPECT_EQ(readImage(codec, path).error, libraryFailure(path, "Backing store not supported"));
}

TEST(JpegRefusalDeathTest, AFrameThatCannotBeAllocatedIsRefusedWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    codectest::AllocationCap cap;
    TempDir dir;
    testsupport::writeJpeg(dir.file("small.jpg"), testsupport::makeStarField(16, 16, 8), 80);
    auto bytes = testsupport::readFile(dir.file("small.jpg"));
    claimSize(bytes, 0xC0, 8000, 8000);  // 192 MB of pixels
    const std::string path = dir.file("big.jpg");
    testsupport::writeFile(path, bytes);
    EXPECT_EXIT(
        {
            Tellvar::JPEG codec;
            codectest::AllocationCap::applyInChild();
            const ReadResult read = readImage(codec, path);
            const std::string expected =
                "An error has occurred while opening your JPEG file named below.\n\n" + path +
                "\n\nThere is not enough memory to load this image.\n\nPlease close other "
                "programs or note the filename and remove it from your active list before "
                "trying again.";
            codectest::finishChild(!read.ok && read.error == expected, read.error, dir.path());
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- Concurrency ------------------------------------------------------------

TEST(JpegConcurrency, ThreadsFailingAtOnceEachGetTheirOwnWholeMessage) {
    TempDir dir;
    Tellvar::JPEG codec;  // one object for all threads, as in a run
    constexpr int kThreads = 8;
    for (int t = 0; t < kThreads; ++t) {
        testsupport::writeJpeg(dir.file("good" + std::to_string(t) + ".jpg"),
                               testsupport::makeStarField(24 + t, 16, 60 + t), 85, t % 2 ? 1 : 3,
                               t % 3 == 0);
        testsupport::writeFile(dir.file("bad" + std::to_string(t) + ".jpg"),
                               {std::uint8_t(0x10 + t), std::uint8_t(0x20 + t), 0, 0});
    }
    std::vector<int> mistakes(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string good = dir.file("good" + std::to_string(t) + ".jpg");
            const std::string bad = dir.file("bad" + std::to_string(t) + ".jpg");
            const std::string expected = libraryFailure(bad, notJpegText(0x10 + t, 0x20 + t));
            const std::vector<std::uint8_t> reference = referenceRgb(good);
            for (int round = 0; round < 100; ++round) {
                if (readImage(codec, bad).error != expected) ++mistakes[t];
                if (checkSize(codec, bad).error != expected) ++mistakes[t];
                const ReadResult read = readImage(codec, good);
                if (!read.ok || read.pixels != reference) ++mistakes[t];
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mistakes[t], 0) << "thread " << t;
}
