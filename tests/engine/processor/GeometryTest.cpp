// Set-up, output names, rectangle cuts, the coarse box fit and resampling.

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/MainProcessor.h"
#include "Brennock/TIFF.h"
#include "Brennock/TypeCodes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Tellvar::MainProcessor;

// A buffer whose pixel (column, row) holds column low byte, column high byte
// and row, so every copied pixel tells where it came from.
std::vector<unsigned char> coordinateBuffer(int width, int height) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(width) * height * 3);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            unsigned char* p = &buffer[(static_cast<std::size_t>(row) * width + column) * 3];
            p[0] = static_cast<unsigned char>(column & 0xFF);
            p[1] = static_cast<unsigned char>(column >> 8);
            p[2] = static_cast<unsigned char>(row);
        }
    return buffer;
}

int columnOf(const unsigned char* pixel) { return pixel[0] | (pixel[1] << 8); }
int rowOf(const unsigned char* pixel) { return pixel[2]; }

TEST(ProcessorSetup, StoresTheWindowCornerOneBased) {
    std::string names[] = {"ref.tif"};
    MainProcessor processor(0, 0, 40, 30, names, "/out", Tellvar::kTypeCodeTiff, false);
    EXPECT_EQ(processor.cropX, 1);
    EXPECT_EQ(processor.cropY, 1);
    EXPECT_EQ(processor.cropWidth, 40);
    EXPECT_EQ(processor.cropHeight, 30);

    MainProcessor example(499, 399, 200, 150, names, "/out", Tellvar::kTypeCodeTiff, true);
    EXPECT_EQ(example.cropX, 500);
    EXPECT_EQ(example.cropY, 400);
    EXPECT_TRUE(example.stackEnabled);
    EXPECT_EQ(example.refPatchFull, nullptr);
    EXPECT_EQ(example.refPatchScaled, nullptr);
    EXPECT_EQ(example.stackSum, nullptr);
}

TEST(ProcessorSetup, TypeCodeChoosesTheCodecAndRowOrder) {
    std::string names[] = {"ref.bmp"};
    MainProcessor bmp(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeBmp, false);
    EXPECT_NE(dynamic_cast<Tellvar::BMP*>(bmp.codec.get()), nullptr);
    EXPECT_TRUE(bmp.bottomUp);

    MainProcessor tiff(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    EXPECT_NE(dynamic_cast<Tellvar::TIF*>(tiff.codec.get()), nullptr);
    EXPECT_FALSE(tiff.bottomUp);

    for (int code : {Tellvar::kTypeCodeJpeg, 0, 1023, 1024, -1, 99999}) {
        MainProcessor other(0, 0, 1, 1, names, "/out", code, false);
        EXPECT_NE(dynamic_cast<Tellvar::JPEG*>(other.codec.get()), nullptr) << code;
        EXPECT_FALSE(other.bottomUp) << code;
    }
}

TEST(ProcessorSetup, OutputNames) {
    std::string names[] = {"m42.jpg", "photo.jpeg", "abc", "a.b", "x.tif", "", "abcd"};
    MainProcessor processor(0, 0, 1, 1, names, "/data/out", Tellvar::kTypeCodeJpeg, false);
    EXPECT_EQ(processor.getFileName(-1), "/data/out/STACK");
    EXPECT_EQ(processor.getFileName(0), "/data/out/crop_m42");
    // The last four characters go whatever they are.
    EXPECT_EQ(processor.getFileName(1), "/data/out/crop_photo.");
    // Names too short to lose four characters are kept whole.
    EXPECT_EQ(processor.getFileName(2), "/data/out/crop_abc");
    EXPECT_EQ(processor.getFileName(3), "/data/out/crop_a.b");
    EXPECT_EQ(processor.getFileName(4), "/data/out/crop_x");
    EXPECT_EQ(processor.getFileName(5), "/data/out/crop_");
    EXPECT_EQ(processor.getFileName(6), "/data/out/crop_");
}

class CropImageTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 12, kHeight = 9;
    std::vector<unsigned char> source = coordinateBuffer(kWidth, kHeight);
    std::string names[1] = {"r.tif"};
    MainProcessor processor{0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false};

    std::unique_ptr<unsigned char[]> cut(int x, int y, int w, int h, bool flip) {
        return std::unique_ptr<unsigned char[]>(
            processor.cropImage(source.data(), x, y, w, h, kWidth, kHeight, flip));
    }
};

TEST_F(CropImageTest, TopDownCutStartsAtTheOneBasedPosition) {
    auto crop = cut(3, 2, 4, 3, false);
    ASSERT_NE(crop, nullptr);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) {
            const unsigned char* p = &crop[(row * 4 + column) * 3];
            EXPECT_EQ(columnOf(p), 2 + column);
            EXPECT_EQ(rowOf(p), 1 + row);
        }
}

TEST_F(CropImageTest, FlippedCutCoversTheSamePictureRows) {
    // In a bottom-up buffer picture row r is buffer row H - 1 - r. A
    // rectangle at picture row y = 1 is the top of the picture: the last h
    // buffer rows, kept in buffer order.
    const int h = 3;
    auto top = cut(1, 1, 2, h, true);
    ASSERT_NE(top, nullptr);
    for (int row = 0; row < h; ++row) EXPECT_EQ(rowOf(&top[row * 2 * 3]), kHeight - h + row);

    // Picture rows 3..6 (1-based y = 4, h = 4) are buffer rows 2..5.
    auto middle = cut(1, 4, 1, 4, true);
    ASSERT_NE(middle, nullptr);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(rowOf(&middle[row * 3]), 2 + row);

    // The bottom picture row is buffer row 0.
    auto bottom = cut(1, kHeight, 1, 1, true);
    ASSERT_NE(bottom, nullptr);
    EXPECT_EQ(rowOf(bottom.get()), 0);
}

TEST_F(CropImageTest, RectanglesTouchingEveryEdgeCutExactly) {
    auto whole = cut(1, 1, kWidth, kHeight, false);
    ASSERT_NE(whole, nullptr);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), whole.get()));

    auto wholeFlipped = cut(1, 1, kWidth, kHeight, true);
    ASSERT_NE(wholeFlipped, nullptr);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), wholeFlipped.get()));

    auto corner = cut(kWidth, kHeight, 1, 1, false);
    ASSERT_NE(corner, nullptr);
    EXPECT_EQ(columnOf(corner.get()), kWidth - 1);
    EXPECT_EQ(rowOf(corner.get()), kHeight - 1);
}

TEST_F(CropImageTest, RectanglesOutsideTheSourceGiveNoBuffer) {
    EXPECT_EQ(cut(0, 1, 2, 2, false), nullptr);
    EXPECT_EQ(cut(1, 0, 2, 2, false), nullptr);
    EXPECT_EQ(cut(kWidth, 1, 2, 2, false), nullptr);
    EXPECT_EQ(cut(1, kHeight, 2, 2, false), nullptr);
    EXPECT_EQ(cut(1, kHeight, 2, 2, true), nullptr);
    EXPECT_EQ(cut(1, 0, 2, 2, true), nullptr);
    EXPECT_EQ(cut(1, 1, 0, 2, false), nullptr);
    EXPECT_EQ(cut(1, 1, 2, -1, false), nullptr);
}

struct FitCase {
    int sourceWidth, sourceHeight;
    double scale;
    int width, height;
};

TEST(AspectRatio, FitsTheCoarseBox) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    const FitCase cases[] = {
        {1600, 1200, 0.2, 320, 240},       {330, 240, 320.0 / 330, 320, 233},
        {1000, 900, 0.32, 320, 288},       {900, 1200, 0.2, 180, 240},
        {1000, 1000, 0.24, 240, 240},      {320, 240, 0.0, 320, 240},
        {200, 100, 0.0, 320, 240},         {320, 100, 0.0, 320, 240},
        {321, 240, 320.0 / 321, 320, 239}, {300, 480, 0.5, 150, 240},
    };
    for (const FitCase& c : cases) {
        int width = 320, height = 240;
        const double scale = processor.aspectRatio(&width, &height, c.sourceWidth, c.sourceHeight);
        EXPECT_DOUBLE_EQ(scale, c.scale) << c.sourceWidth << " x " << c.sourceHeight;
        EXPECT_EQ(width, c.width) << c.sourceWidth << " x " << c.sourceHeight;
        EXPECT_EQ(height, c.height) << c.sourceWidth << " x " << c.sourceHeight;
    }
}

TEST(RescaleImage, SamplesByTheReciprocalRatio) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false);

    std::vector<unsigned char> wide = coordinateBuffer(1600, 200);
    double scale = -1;
    std::unique_ptr<unsigned char[]> small(
        processor.rescaleImage(wide.data(), 320, 40, 1600, 200, &scale, false));
    ASSERT_NE(small, nullptr);
    EXPECT_DOUBLE_EQ(scale, 0.2);
    for (int c = 0; c < 320; ++c) EXPECT_EQ(columnOf(&small[c * 3]), 5 * c) << c;
    for (int r = 0; r < 40; ++r) EXPECT_EQ(rowOf(&small[r * 320 * 3]), 5 * r) << r;

    // The multiplied reciprocal lands one column left of exact integer
    // arithmetic for some widths.
    std::vector<unsigned char> narrow = coordinateBuffer(392, 10);
    std::unique_ptr<unsigned char[]> resampled(
        processor.rescaleImage(narrow.data(), 320, 10, 392, 10, &scale, false));
    ASSERT_NE(resampled, nullptr);
    EXPECT_EQ(columnOf(&resampled[40 * 3]), 48);
}

TEST(RescaleImage, KeepsTheAspectAndTheRowOrder) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    std::vector<unsigned char> source = coordinateBuffer(640, 240);
    double scale = 0;
    std::unique_ptr<unsigned char[]> half(
        processor.rescaleImage(source.data(), 320, 240, 640, 240, &scale, true));
    ASSERT_NE(half, nullptr);
    EXPECT_DOUBLE_EQ(scale, 0.5);
    // 320 x 120: target row r comes from source row 2r.
    for (int r = 0; r < 120; ++r) EXPECT_EQ(rowOf(&half[r * 320 * 3 + 7 * 3]), 2 * r);
    EXPECT_EQ(columnOf(&half[(119 * 320 + 319) * 3]), 638);

    // A source that already fits the box comes back as the unchanged box.
    std::vector<unsigned char> fits = coordinateBuffer(320, 240);
    std::unique_ptr<unsigned char[]> same(
        processor.rescaleImage(fits.data(), 320, 240, 320, 240, &scale, true));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(scale, 0.0);
    EXPECT_TRUE(std::equal(fits.begin(), fits.end(), same.get()));
}

// Every byte of the copy is its nearest source pixel's, down and up,
// including copies whose last columns all take the source's last pixel
// (its bytes are the source buffer's last).
TEST(RescaleImage, EveryPixelIsItsNearestSourcePixel) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 1, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    const struct {
        int sourceWidth, sourceHeight, width, height;
    } cases[] = {{1, 1, 4, 4},   {2, 2, 5, 3}, {3, 1, 7, 2},   {7, 5, 3, 2},
                 {16, 9, 16, 9}, {5, 4, 1, 1}, {40, 6, 20, 3}, {33, 4, 20, 2}};
    for (const auto& c : cases) {
        std::vector<unsigned char> source(static_cast<std::size_t>(c.sourceWidth) * c.sourceHeight *
                                          3);
        for (std::size_t k = 0; k < source.size(); ++k)
            source[k] = static_cast<unsigned char>(k * 7 + 1);
        double scale = 0;
        std::unique_ptr<unsigned char[]> copy(processor.rescaleImage(
            source.data(), c.width, c.height, c.sourceWidth, c.sourceHeight, &scale, false));
        ASSERT_NE(copy, nullptr);
        const double stepX = 1.0 / (static_cast<double>(c.width) / c.sourceWidth);
        const double stepY = 1.0 / (static_cast<double>(c.height) / c.sourceHeight);
        for (int r = 0; r < c.height; ++r)
            for (int col = 0; col < c.width; ++col) {
                const int sr = std::min(static_cast<int>(r * stepY), c.sourceHeight - 1);
                const int sc = std::min(static_cast<int>(col * stepX), c.sourceWidth - 1);
                for (int b = 0; b < 3; ++b)
                    ASSERT_EQ(copy[(r * c.width + col) * 3 + b],
                              source[(sr * c.sourceWidth + sc) * 3 + b])
                        << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width << "x"
                        << c.height << " at " << col << "," << r;
            }
    }
}

}  // namespace
