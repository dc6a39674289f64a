// Registration of the reference frame: the patches, their sums, the saved
// reference crop and the start of the stack sum.

#include "Brennock/MainProcessor.h"
#include "ProcessorTestSupport.h"
#include "registration/CoarseToFine.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using proctest::Format;
using proctest::makeProcessor;
using proctest::Rect;
using proctest::Series;
using Tellvar::MainProcessor;
using testsupport::Picture;

// The patch a processor holds, as a top-down RGB picture.
Picture patchPicture(const MainProcessor& processor) {
    return proctest::toPicture(processor.refPatchFull.get(), processor.cropWidth,
                               processor.cropHeight, processor.bottomUp);
}

class ReferenceExample : public ::testing::Test {
protected:
    const Picture* picture = &proctest::sharedStarField(1600, 1200, 42);
    static constexpr Rect kRect{499, 399, 200, 150};
};

TEST_F(ReferenceExample, TopDownPatchesSumsAndSavedCrop) {
    Series series(Format::Tiff);
    series.add(*picture);
    auto processor = makeProcessor(series, kRect, true);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;

    EXPECT_EQ(processor->scaledCropWidth, 40);
    EXPECT_EQ(processor->scaledCropHeight, 30);
    EXPECT_EQ(processor->refCountFull, 90000);
    EXPECT_EQ(processor->refCountScaled, 3600);

    const Picture expected = proctest::cropPicture(*picture, 499, 399, 200, 150);
    EXPECT_TRUE(proctest::samePixels(patchPicture(*processor), expected));
    EXPECT_TRUE(
        proctest::samePixels(proctest::decode(series.outputPath(0), Format::Tiff), expected));

    // The coarse frame takes every fifth column and row; the coarse rectangle
    // sits at the 1-based (100, 80).
    for (int r = 0; r < 30; ++r)
        for (int c = 0; c < 40; ++c) {
            const unsigned char* got = &processor->refPatchScaled[(r * 40 + c) * 3];
            const std::uint8_t* want = picture->pixel(5 * (99 + c), 5 * (79 + r));
            ASSERT_TRUE(std::equal(want, want + 3, got)) << c << ", " << r;
        }

    double sum = 0, squares = 0;
    for (int k = 0; k < 90000; k += 3) {
        sum += processor->refPatchFull[k];
        squares += processor->refPatchFull[k] * processor->refPatchFull[k];
    }
    EXPECT_DOUBLE_EQ(processor->refSumFull, sum);
    // n is the sample count, a third of the byte count.
    EXPECT_DOUBLE_EQ(processor->refSsqFull, squares - sum * sum / 30000);

    ASSERT_NE(processor->stackSum, nullptr);
    for (int k = 0; k < 90000; ++k)
        ASSERT_EQ(processor->stackSum[k], processor->refPatchFull[k]) << k;
}

TEST_F(ReferenceExample, BottomUpPatchesCoverTheDrawnRectangle) {
    Series bmp(Format::Bmp);
    bmp.add(*picture);
    auto processor = makeProcessor(bmp, kRect, false);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(bmp.paths[0], &error)) << error;

    const Picture expected = proctest::cropPicture(*picture, 499, 399, 200, 150);
    EXPECT_TRUE(proctest::samePixels(patchPicture(*processor), expected));
    const Picture savedBmp = proctest::decode(bmp.outputPath(0), Format::Bmp);
    EXPECT_TRUE(proctest::samePixels(savedBmp, expected));

    // The coarse patch is cut at the mirrored row 240 - (80 + 30) + 2 = 132
    // of the bottom-up coarse copy.
    unsigned char* frame = nullptr;
    int width = 0, height = 0, depth = 0;
    ASSERT_TRUE(processor->codec->openImage(&frame, bmp.paths[0], &width, &height, &depth, &error));
    std::unique_ptr<unsigned char[]> frameOwner(frame);
    double scale = 0;
    std::unique_ptr<unsigned char[]> coarse(
        processor->rescaleImage(frame, 320, 240, width, height, &scale, true));
    std::unique_ptr<unsigned char[]> expectedCoarse(
        processor->cropImage(coarse.get(), 100, 132, 40, 30, 320, 240, false));
    ASSERT_NE(expectedCoarse, nullptr);
    EXPECT_TRUE(std::equal(expectedCoarse.get(), expectedCoarse.get() + 3600,
                           processor->refPatchScaled.get()));

    // The same picture as TIFF gives the same reference crop.
    Series tiff(Format::Tiff);
    tiff.add(*picture);
    auto tiffProcessor = makeProcessor(tiff, kRect, false);
    ASSERT_TRUE(tiffProcessor->setReferenceFrame(tiff.paths[0], &error)) << error;
    EXPECT_TRUE(proctest::samePixels(savedBmp, proctest::decode(tiff.outputPath(0), Format::Tiff)));
}

TEST(Reference, JpegPatchIsTheDecodedRectangle) {
    const Picture picture = testsupport::makeStarField(480, 360, 3);
    Series series(Format::Jpeg);
    series.add(picture);
    auto processor = makeProcessor(series, {100, 80, 90, 70}, false);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    const Picture decoded = proctest::decode(series.paths[0], Format::Jpeg);
    const Picture expected = proctest::cropPicture(decoded, 100, 80, 90, 70);
    EXPECT_TRUE(proctest::samePixels(patchPicture(*processor), expected));
    EXPECT_TRUE(
        proctest::samePixels(proctest::decode(series.outputPath(0), Format::Jpeg), expected));
}

class ReferenceEdges : public ::testing::TestWithParam<Format> {};

TEST_P(ReferenceEdges, RectanglesTouchingEachEdgeCropExactly) {
    const Picture picture = testsupport::makeStarField(400, 300, 5);
    const Rect rects[] = {{0, 0, 50, 40},     {350, 0, 50, 40}, {0, 260, 50, 40},
                          {350, 260, 50, 40}, {0, 0, 400, 300}, {123, 0, 1, 300}};
    for (const Rect& rect : rects)
        for (bool small : {false, true}) {
            Series series(GetParam());
            series.add(picture);
            auto processor = makeProcessor(series, rect, false);
            std::string error;
            const bool ok = small ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                                  : processor->setReferenceFrame(series.paths[0], &error);
            ASSERT_TRUE(ok) << error;
            EXPECT_TRUE(proctest::samePixels(
                proctest::decode(series.outputPath(0), GetParam()),
                proctest::cropPicture(picture, rect.x, rect.y, rect.width, rect.height)))
                << rect.x << ", " << rect.y << " " << rect.width << " x " << rect.height
                << (small ? " small" : "");
        }
}

TEST_P(ReferenceEdges, RectangleOutsideTheFrameFailsWithoutReading) {
    const Picture picture = testsupport::makeStarField(400, 300, 6);
    // The last ones lie at the ends of int: no sum or product of them may
    // overflow on the way to the message.
    const Rect rects[] = {{351, 0, 50, 40},
                          {0, 261, 50, 40},
                          {-1, 0, 50, 40},
                          {0, -1, 50, 40},
                          {0, 0, 401, 10},
                          {0, 0, 10, 301},
                          {10, 10, 0, 5},
                          {10, 10, 5, -3},
                          {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                          {INT_MIN, INT_MIN, INT_MIN, INT_MIN},
                          {INT_MAX, 0, 50, 40},
                          {0, INT_MIN, 50, 40},
                          {0, 0, INT_MAX, INT_MAX},
                          {10, 10, INT_MIN, 40},
                          {INT_MIN, INT_MAX, INT_MAX, INT_MIN}};
    for (const Rect& rect : rects)
        for (bool small : {false, true}) {
            Series series(GetParam());
            series.add(picture);
            auto processor = makeProcessor(series, rect, true);
            std::string error;
            const bool ok = small ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                                  : processor->setReferenceFrame(series.paths[0], &error);
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find("does not lie inside the reference frame"), std::string::npos)
                << error;
            // The corner as it was given.
            EXPECT_NE(
                error.find("column " + std::to_string(rect.x) + ", row " + std::to_string(rect.y)),
                std::string::npos)
                << error;
            EXPECT_NE(error.find(series.paths[0]), std::string::npos) << error;
            EXPECT_EQ(processor->refPatchFull, nullptr);
            EXPECT_EQ(processor->refPatchScaled, nullptr);
            EXPECT_EQ(processor->stackSum, nullptr);
            EXPECT_TRUE(std::filesystem::is_empty(series.outputFolder));
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, ReferenceEdges, ::testing::Values(Format::Bmp, Format::Tiff),
                         [](const auto& info) { return proctest::formatName(info.param); });

TEST(Reference, UnreadableFrameChangesNothing) {
    Series series(Format::Tiff);
    series.addMissing();
    auto processor = makeProcessor(series, {0, 0, 10, 10}, true);
    std::string error;
    EXPECT_FALSE(processor->setReferenceFrame(series.paths[0], &error));
    EXPECT_NE(error.find(series.paths[0]), std::string::npos) << error;
    EXPECT_EQ(processor->refPatchFull, nullptr);
    EXPECT_EQ(processor->stackSum, nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(series.outputFolder));
}

TEST(Reference, UnwritableCropLeavesNoReferenceData) {
    for (Format format : {Format::Bmp, Format::Tiff}) {
        Series series(format);
        series.add(testsupport::makeStarField(400, 300, 7));
        series.outputFolder += "/missing";
        auto processor = makeProcessor(series, {10, 10, 50, 40}, true);
        std::string error;
        EXPECT_FALSE(processor->setReferenceFrame(series.paths[0], &error));
        EXPECT_NE(error.find(series.outputFolder), std::string::npos) << error;
        EXPECT_EQ(processor->refPatchFull, nullptr);
        EXPECT_EQ(processor->refPatchScaled, nullptr);
        EXPECT_EQ(processor->stackSum, nullptr);
    }
}

TEST(Reference, FrameThatFitsTheCoarseBoxIsUsedAtScaleOne) {
    Series series(Format::Tiff);
    series.add(testsupport::makeStarField(320, 240, 8));
    auto processor = makeProcessor(series, {100, 60, 64, 48}, true);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    EXPECT_EQ(processor->scaledCropWidth, 64);
    EXPECT_EQ(processor->scaledCropHeight, 48);
    EXPECT_EQ(processor->refCountScaled, processor->refCountFull);
    EXPECT_TRUE(std::equal(processor->refPatchFull.get(),
                           processor->refPatchFull.get() + processor->refCountFull,
                           processor->refPatchScaled.get()));
    EXPECT_DOUBLE_EQ(processor->refSsqScaled, processor->refSsqFull);
}

TEST(Reference, CoarseRectangleKeepsOnePixelInsideTheCoarseFrame) {
    // 400 x 303 scales by 0.8 to 320 x 242; a 2-row crop on the bottom row
    // rounds to coarse rows 242..243 and is moved up into the frame.
    Series series(Format::Bmp);
    series.add(testsupport::makeStarField(400, 303, 9));
    auto processor = makeProcessor(series, {200, 301, 30, 2}, false);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    EXPECT_EQ(processor->scaledCropHeight, 2);

    unsigned char* frame = nullptr;
    int width = 0, height = 0, depth = 0;
    ASSERT_TRUE(
        processor->codec->openImage(&frame, series.paths[0], &width, &height, &depth, &error));
    std::unique_ptr<unsigned char[]> frameOwner(frame);
    double scale = 0;
    std::unique_ptr<unsigned char[]> coarse(
        processor->rescaleImage(frame, 320, 240, width, height, &scale, true));
    std::unique_ptr<unsigned char[]> expected(processor->cropImage(
        coarse.get(), 161, 241, processor->scaledCropWidth, 2, 320, 242, true));
    ASSERT_NE(expected, nullptr);
    EXPECT_TRUE(std::equal(expected.get(), expected.get() + processor->refCountScaled,
                           processor->refPatchScaled.get()));

    // A crop below one coarse pixel keeps one (and a single pixel, with
    // nothing to correlate, is then refused as without detail).
    const Tellvar::detail::CoarseRect one =
        Tellvar::detail::coarseRectOf(501, 401, 2, 1, 1.0 / 3, 320, 240);
    EXPECT_EQ(one.width, 1);
    EXPECT_EQ(one.height, 1);
    EXPECT_EQ(one.x, 167);
    EXPECT_EQ(one.y, 134);
}

TEST(Reference, CropAreasWithoutDetailAreRefusedBeforeAnythingIsWritten) {
    // Detail only off the coarse copy's sample grid (every third column and
    // buffer row of a 960 x 720 frame: picture rows 0, 3, ... top-down,
    // 2, 5, ... bottom-up): flat at the coarse size only. A crop of one
    // pixel, or of one colour, is flat at both.
    Picture grid(testsupport::makeStarField(960, 720, 12));
    for (int y = 0; y < grid.height; ++y)
        for (int x = 0; x < grid.width; x += 3)
            if (y % 3 != 1) std::fill_n(grid.pixel(x, y), 3, 30);
    Picture grey = grid;
    std::fill(grey.rgb.begin(), grey.rgb.end(), 90);
    struct Case {
        const Picture* picture;
        Rect rect;
        bool coarseFlat, fullFlat;
    } cases[] = {{&grid, {600, 400, 120, 90}, true, false},
                 {&grey, {600, 400, 120, 90}, true, true},
                 {&grid, {601, 401, 1, 1}, true, true}};
    for (const Case& c : cases)
        for (Format format : {Format::Bmp, Format::Tiff})
            for (bool small : {false, true}) {
                Series series(format);
                series.add(*c.picture);
                auto processor = makeProcessor(series, c.rect, true);
                std::string error;
                const bool ok =
                    small ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                          : processor->setReferenceFrame(series.paths[0], &error);
                const bool refused = c.fullFlat || (!small && c.coarseFlat);
                SCOPED_TRACE(std::to_string(c.rect.width) + " x " + std::to_string(c.rect.height) +
                             (small ? " small " : " ") + proctest::formatName(format));
                EXPECT_EQ(ok, !refused) << error;
                if (!refused) continue;
                EXPECT_NE(error.find("no detail to search for"), std::string::npos) << error;
                EXPECT_EQ(error.find("reduced size") != std::string::npos, !c.fullFlat) << error;
                EXPECT_NE(error.find(series.paths[0]), std::string::npos) << error;
                EXPECT_EQ(processor->refPatchFull, nullptr);
                EXPECT_EQ(processor->refPatchScaled, nullptr);
                EXPECT_EQ(processor->stackSum, nullptr);
                EXPECT_TRUE(std::filesystem::is_empty(series.outputFolder));
            }
}

TEST(Reference, SmallImageReferenceHasNoCoarsePatchAndNoStack) {
    Series series(Format::Tiff);
    series.add(testsupport::makeStarField(200, 150, 11));
    auto processor = makeProcessor(series, {20, 30, 60, 40}, true);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrameSmallImage(series.paths[0], &error)) << error;
    EXPECT_NE(processor->refPatchFull, nullptr);
    EXPECT_EQ(processor->refCountFull, 60 * 40 * 3);
    EXPECT_EQ(processor->refPatchScaled, nullptr);
    EXPECT_EQ(processor->stackSum, nullptr);

    processor->cleanReference();
    EXPECT_EQ(processor->refPatchFull, nullptr);
    processor->cleanReference();
    EXPECT_EQ(processor->refPatchFull, nullptr);
}

}  // namespace
