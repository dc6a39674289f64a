// Per-frame registration: frames made by shifting one picture by known
// amounts must be cropped exactly where the reference content moved to.

#include "Brennock/MainProcessor.h"
#include "ProcessorTestSupport.h"
#include "processor/ProcessorAccess.h"
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

struct Shift {
    int dx, dy;
};

// A frame as the engine reads it, owned.
struct EngineFrame {
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0, height = 0;
    Tellvar::detail::BufferView view(bool bottomUp) const {
        return {pixels.get(), width, height, bottomUp};
    }
};

EngineFrame readFrame(MainProcessor& processor, const std::string& path) {
    EngineFrame frame;
    unsigned char* buffer = nullptr;
    int depth = 0;
    std::string error;
    EXPECT_TRUE(
        processor.codec->openImage(&buffer, path, &frame.width, &frame.height, &depth, &error))
        << error;
    frame.pixels.reset(buffer);
    return frame;
}

// Registers every shifted frame (with noise; none for a shift of 0, 0: an
// identical frame) and checks that its saved crop is the frame's rectangle
// at the shifted place, on the coarse-to-fine path from a window of full
// size, or on the small-image path.
void expectRegisteredAtShifts(Format format, const Picture& picture, Rect rect,
                              const std::vector<Shift>& shifts, int perimeter,
                              bool smallImage = false) {
    Series series(format);
    series.add(picture);
    for (std::size_t i = 0; i < shifts.size(); ++i)
        series.add(shifts[i].dx == 0 && shifts[i].dy == 0
                       ? picture
                       : testsupport::shifted(picture, shifts[i].dx, shifts[i].dy, 2,
                                              static_cast<std::uint32_t>(100 + i)));

    auto processor = makeProcessor(series, rect);
    std::string error;
    ASSERT_TRUE(smallImage ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                           : processor->setReferenceFrame(series.paths[0], &error))
        << error;

    for (std::size_t i = 0; i < shifts.size(); ++i) {
        const int index = static_cast<int>(i + 1);
        SCOPED_TRACE(std::string(proctest::formatName(format)) + " crop at " +
                     std::to_string(rect.x) + ", " + std::to_string(rect.y) + " shift " +
                     std::to_string(shifts[i].dx) + ", " + std::to_string(shifts[i].dy) +
                     (smallImage ? " small" : ""));
        bool ok = true;
        if (smallImage) {
            processor->processSmallImages(series.paths[index], index, perimeter, &ok, &error);
        } else {
            processor->setPhaseOne(series.paths[index], index, perimeter, &ok, &error);
            EXPECT_EQ(processor->windowWidth, std::min(rect.width + 2 * perimeter, picture.width));
            EXPECT_EQ(processor->windowHeight,
                      std::min(rect.height + 2 * perimeter, picture.height));
        }
        ASSERT_TRUE(ok) << error;

        const Picture decoded = proctest::decode(series.paths[index], format);
        EXPECT_TRUE(proctest::samePixels(
            proctest::decode(series.outputPath(index), format),
            proctest::cropPicture(decoded, rect.x + shifts[i].dx, rect.y + shifts[i].dy, rect.width,
                                  rect.height)));
    }
}

class ShiftedFrames : public ::testing::TestWithParam<Format> {
protected:
    const Picture* picture = &proctest::sharedStarField(400, 300, 21);
};

TEST_P(ShiftedFrames, WellInsideTheFrame) {
    expectRegisteredAtShifts(GetParam(), *picture, {180, 140, 40, 30}, {{5, -3}, {-6, 7}}, 10);
}

// The target ends 3 pixels from the edges; the window around the coarse hit
// would reach outside the frame and is moved inward.
TEST_P(ShiftedFrames, NearTheEdges) {
    const int w = 40, h = 30, W = 400, H = 300;
    expectRegisteredAtShifts(GetParam(), *picture, {9, 8, w, h}, {{-6, -5}}, 12);
    expectRegisteredAtShifts(GetParam(), *picture, {W - w - 8, H - h - 9, w, h}, {{5, 6}}, 12);
}

INSTANTIATE_TEST_SUITE_P(Formats, ShiftedFrames,
                         ::testing::Values(Format::Bmp, Format::Tiff, Format::Jpeg),
                         [](const auto& info) { return proctest::formatName(info.param); });

// Content flush with each edge and corner of the frame is found there, on
// both paths: in a frame identical to the reference, and in one whose
// content moved by a few pixels onto the edge. (400 x 300, crop (280, 210)
// 120 x 90 is the bottom-right corner of the coarse-to-fine case.)
class FlushFrames : public ::testing::TestWithParam<Format> {};

TEST_P(FlushFrames, FlushWithEachEdgeAndCorner) {
    const Picture frames[] = {testsupport::makeStarField(400, 300, 21),
                              testsupport::makeStarField(160, 120, 36)};
    for (bool smallImage : {false, true}) {
        const Picture& frame = frames[smallImage ? 1 : 0];
        const int w = smallImage ? 40 : 120, h = smallImage ? 30 : 90;
        const int W = frame.width, H = frame.height;
        for (int x : {0, (W - w) / 2, W - w})
            for (int y : {0, (H - h) / 2, H - h}) {
                if (x == (W - w) / 2 && y == (H - h) / 2) continue;
                // Moved towards the edge it ends flush with.
                const Shift onto{x == 0       ? -4
                                 : x == W - w ? 4
                                              : 3,
                                 y == 0       ? -4
                                 : y == H - h ? 4
                                              : 3};
                expectRegisteredAtShifts(GetParam(), frame, {x, y, w, h}, {{0, 0}}, 6, smallImage);
                expectRegisteredAtShifts(GetParam(), frame, {x - onto.dx, y - onto.dy, w, h},
                                         {onto}, 6, smallImage);
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FlushFrames, ::testing::Values(Format::Bmp, Format::Tiff),
                         [](const auto& info) { return proctest::formatName(info.param); });

TEST(Registration, FramesThatFitTheCoarseBoxRegisterAtScaleOne) {
    const Picture picture = testsupport::makeStarField(320, 240, 22);
    expectRegisteredAtShifts(Format::Bmp, picture, {110, 80, 40, 30}, {{4, -3}}, 6);
    expectRegisteredAtShifts(Format::Tiff, picture, {110, 80, 40, 30}, {{-5, 6}}, 6);
}

class SpecimenFrame : public ::testing::Test {
protected:
    const Picture* picture = &proctest::sharedStarField(1600, 1200, 42);
};

TEST_F(SpecimenFrame, IdenticalFrameIsFoundAtTheReferencePlace) {
    for (Format format : {Format::Tiff, Format::Bmp}) {
        SCOPED_TRACE(proctest::formatName(format));
        Series series(format);
        series.add(*picture);
        series.add(*picture);
        auto processor = makeProcessor(series, {499, 399, 200, 150});
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;

        EngineFrame frame = readFrame(*processor, series.paths[1]);
        const auto placement =
            Tellvar::detail::locateCrop(*processor, frame.view(processor->bottomUp), 10);
        EXPECT_EQ(placement.coarse.x, 100);
        EXPECT_EQ(placement.coarse.y, 80);
        EXPECT_EQ(placement.estimate.x, 500);
        EXPECT_EQ(placement.estimate.y, 400);
        EXPECT_EQ(placement.window.x, 490);
        EXPECT_EQ(placement.window.y, 390);

        unsigned char* window = nullptr;
        int x = 500, y = 400;
        processor->phaseTwo(&window, &x, &y, 10, frame.width, frame.height, frame.pixels.get());
        std::unique_ptr<unsigned char[]> windowOwner(window);
        EXPECT_EQ(x, 11);
        EXPECT_EQ(y, 11);
        EXPECT_EQ(processor->windowWidth, 220);
        EXPECT_EQ(processor->windowHeight, 170);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(proctest::samePixels(proctest::toPicture(window, 220, 170, processor->bottomUp),
                                         proctest::cropPicture(*picture, 489, 389, 220, 170)));

        std::unique_ptr<unsigned char[]> crop(
            processor->cropImage(window, x, y, 200, 150, 220, 170, processor->bottomUp));
        ASSERT_NE(crop, nullptr);
        EXPECT_TRUE(std::equal(crop.get(), crop.get() + 90000, processor->refPatchFull.get()));

        // The fine search reaches the full perimeter on every side of the
        // estimate: the place is found from estimates p pixels off.
        for (int dx : {-10, 10})
            for (int dy : {-10, 10}) {
                x = 500 + dx, y = 400 + dy;
                processor->phaseTwo(&window, &x, &y, 10, frame.width, frame.height,
                                    frame.pixels.get());
                windowOwner.reset(window);
                EXPECT_EQ(x, 11 - dx) << dx << ", " << dy;
                EXPECT_EQ(y, 11 - dy) << dx << ", " << dy;
            }
    }
}

TEST(Registration, BmpAndTiffInputGiveTheSameCrops) {
    const Picture picture = testsupport::makeStarField(400, 300, 23);
    const std::vector<Shift> shifts = {{3, 4}, {-4, 2}};
    std::vector<Picture> crops[2];
    const Format formats[2] = {Format::Bmp, Format::Tiff};
    for (int f = 0; f < 2; ++f) {
        Series series(formats[f]);
        series.add(picture);
        for (const Shift& s : shifts) series.add(testsupport::shifted(picture, s.dx, s.dy, 2, 7));
        auto processor = makeProcessor(series, {150, 110, 40, 30});
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
        bool ok = true;
        for (int index = 1; index < static_cast<int>(series.paths.size()); ++index)
            processor->setPhaseOne(series.paths[index], index, 8, &ok, &error);
        ASSERT_TRUE(ok) << error;
        for (int index = 0; index < static_cast<int>(series.paths.size()); ++index)
            crops[f].push_back(proctest::decode(series.outputPath(index), formats[f]));
    }
    ASSERT_EQ(crops[0].size(), crops[1].size());
    for (std::size_t i = 0; i < crops[0].size(); ++i)
        EXPECT_TRUE(proctest::samePixels(crops[0][i], crops[1][i])) << "image " << i;
}

TEST(Registration, PerimeterZeroStillCoversTheCoarseError) {
    // 400 x 300 scales by 0.8: a coarse pixel is 1.25 frame pixels, and the
    // coarse estimate may miss by one pixel, which the window still covers
    // when the perimeter is 0 (or negative, which counts as 0).
    const Picture picture = testsupport::makeStarField(400, 300, 24);
    for (int perimeter : {0, INT_MIN}) {
        Series series(Format::Tiff);
        series.add(picture);
        series.add(testsupport::shifted(picture, 4, -3, 1, 9));
        auto processor = makeProcessor(series, {180, 140, 40, 30});
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
        bool ok = true;
        processor->setPhaseOne(series.paths[1], 1, perimeter, &ok, &error);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(processor->windowWidth, 42) << perimeter;
        EXPECT_EQ(processor->windowHeight, 32) << perimeter;
        EXPECT_TRUE(proctest::samePixels(
            proctest::decode(series.outputPath(1), Format::Tiff),
            proctest::cropPicture(proctest::decode(series.paths[1], Format::Tiff), 184, 137, 40,
                                  30)))
            << perimeter;
    }
}

TEST(Registration, WindowLargerThanTheFrameIsTheWholeFrame) {
    Series series(Format::Tiff);
    const Picture picture = testsupport::makeStarField(100, 80, 25);
    series.add(picture);
    auto processor = makeProcessor(series, {6, 4, 90, 70});
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrameSmallImage(series.paths[0], &error)) << error;

    EngineFrame frame = readFrame(*processor, series.paths[0]);
    unsigned char* window = nullptr;
    int x = 7, y = 5;
    processor->phaseTwo(&window, &x, &y, 10, frame.width, frame.height, frame.pixels.get());
    std::unique_ptr<unsigned char[]> windowOwner(window);
    EXPECT_EQ(processor->windowWidth, 100);
    EXPECT_EQ(processor->windowHeight, 80);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 5);
}

TEST(Registration, FramesWithNothingToFindFailWithTheirName) {
    const Picture picture = testsupport::makeStarField(200, 150, 26);
    Picture black = picture;
    std::fill(black.rgb.begin(), black.rgb.end(), 0);
    // A frame of one grey, as a damaged frame's fill.
    Picture grey = picture;
    std::fill(grey.rgb.begin(), grey.rgb.end(), 40);

    Series series(Format::Tiff);
    series.add(picture);
    series.add(black);
    series.add(grey);
    auto processor = makeProcessor(series, {150, 100, 20, 16}, true);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    bool ok = true;
    std::string runMessage;
    processor->setPhaseOne(series.paths[1], 1, 8, &ok, &runMessage);
    EXPECT_FALSE(ok);
    EXPECT_NE(runMessage.find("could not find"), std::string::npos) << runMessage;
    EXPECT_NE(runMessage.find(series.paths[1]), std::string::npos) << runMessage;
    EXPECT_FALSE(std::filesystem::exists(series.outputPath(1)));
    // Nothing was added to the stack.
    for (int k = 0; k < processor->refCountFull; ++k)
        ASSERT_EQ(processor->stackSum[k], processor->refPatchFull[k]);

    // The grey frame matches nothing either; its message goes into a
    // string of its own although a lower index failed before.
    ok = true;
    std::string greyMessage;
    processor->setPhaseOne(series.paths[2], 2, 8, &ok, &greyMessage);
    EXPECT_FALSE(ok);
    EXPECT_NE(greyMessage.find(series.paths[2]), std::string::npos) << greyMessage;

    // The fine search alone hands back nothing: no window, position (0, 0).
    unsigned char* window = reinterpret_cast<unsigned char*>(&ok);
    int x = 151, y = 101;
    processor->phaseTwo(&window, &x, &y, 8, black.width, black.height, black.rgb.data());
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    Picture narrow = testsupport::makeStarField(10, 150, 35);
    x = 1, y = 101;
    processor->phaseTwo(&window, &x, &y, 8, narrow.width, narrow.height, narrow.rgb.data());
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(x, 0);
}

TEST(Registration, FrameSmallerThanTheCropFails) {
    Series series(Format::Tiff);
    series.add(testsupport::makeStarField(400, 300, 27));
    series.add(testsupport::makeStarField(80, 300, 28));
    auto processor = makeProcessor(series, {150, 100, 90, 50});
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    for (bool small : {false, true}) {
        bool ok = true;
        std::string runMessage;
        if (small)
            processor->processSmallImages(series.paths[1], 1, 8, &ok, &runMessage);
        else
            processor->setPhaseOne(series.paths[1], 1, 8, &ok, &runMessage);
        EXPECT_FALSE(ok);
        EXPECT_NE(runMessage.find("smaller than the crop area"), std::string::npos) << runMessage;
        EXPECT_NE(runMessage.find(series.paths[1]), std::string::npos) << runMessage;
    }
}

TEST(Registration, FramesBeforeAReferenceOrAfterItsReleaseFail) {
    Series series(Format::Tiff);
    series.add(testsupport::makeStarField(400, 300, 29));
    series.add(testsupport::makeStarField(400, 300, 29));
    auto processor = makeProcessor(series, {150, 100, 60, 50});
    bool ok = true;
    std::string runMessage;
    processor->setPhaseOne(series.paths[1], 1, 8, &ok, &runMessage);
    EXPECT_FALSE(ok);
    EXPECT_NE(runMessage.find(series.paths[1]), std::string::npos);

    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    processor->cleanReference();
    for (bool small : {false, true}) {
        ok = true;
        if (small)
            processor->processSmallImages(series.paths[1], 1, 8, &ok, &runMessage);
        else
            processor->setPhaseOne(series.paths[1], 1, 8, &ok, &runMessage);
        EXPECT_FALSE(ok);
    }
    EXPECT_FALSE(std::filesystem::exists(series.outputPath(1)));
}

TEST(Registration, FailedImagesReportTheLowestIndexAndOthersStillSave) {
    const Picture picture = testsupport::makeStarField(320, 240, 30);
    Series series(Format::Bmp);
    series.add(picture);
    series.add(testsupport::shifted(picture, 2, 1, 2, 1));
    series.addMissing();
    series.add(testsupport::shifted(picture, -3, 2, 2, 3));
    series.addMissing();
    auto processor = makeProcessor(series, {150, 100, 30, 24}, true);
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;

    bool ok = true;
    std::string runMessage;
    for (int index : {3, 2, 4, 1})
        processor->setPhaseOne(series.paths[index], index, 8, &ok, &runMessage);
    EXPECT_FALSE(ok);
    EXPECT_NE(runMessage.find(series.paths[2]), std::string::npos) << runMessage;
    EXPECT_EQ(runMessage.find(series.paths[4]), std::string::npos) << runMessage;
    EXPECT_TRUE(std::filesystem::exists(series.outputPath(1)));
    EXPECT_TRUE(std::filesystem::exists(series.outputPath(3)));

    // A failed image adds nothing to the stack: the sum holds three crops.
    const Picture stackFrom[] = {proctest::decode(series.outputPath(0), Format::Bmp),
                                 proctest::decode(series.outputPath(1), Format::Bmp),
                                 proctest::decode(series.outputPath(3), Format::Bmp)};
    ASSERT_TRUE(processor->StackImages(3, &error)) << error;
    const Picture stack = proctest::decode(series.stackPath(), Format::Bmp);
    for (std::size_t k = 0; k < stack.rgb.size(); ++k)
        ASSERT_EQ(stack.rgb[k],
                  (stackFrom[0].rgb[k] + stackFrom[1].rgb[k] + stackFrom[2].rgb[k]) / 3)
            << k;
}

TEST(Registration, UnwritableCropFailsTheFrame) {
    const Picture picture = testsupport::makeStarField(320, 240, 31);
    for (bool small : {false, true}) {
        Series series(Format::Tiff);
        series.add(picture);
        series.add(testsupport::shifted(picture, 1, 1, 1, 5));
        auto processor = makeProcessor(series, {150, 100, 24, 18}, true);
        std::string error;
        ASSERT_TRUE(small ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                          : processor->setReferenceFrame(series.paths[0], &error))
            << error;
        std::filesystem::remove_all(series.outputFolder);

        bool ok = true;
        std::string runMessage;
        if (small)
            processor->processSmallImages(series.paths[1], 1, 8, &ok, &runMessage);
        else
            processor->setPhaseOne(series.paths[1], 1, 8, &ok, &runMessage);
        EXPECT_FALSE(ok);
        EXPECT_NE(runMessage.find(series.outputFolder), std::string::npos) << runMessage;
    }
}

TEST(SmallImages, ShiftedFramesAreFoundOverTheWholeImage) {
    const Picture picture = testsupport::makeStarField(200, 150, 32);
    const Rect rect{60, 40, 40, 30};
    const std::vector<Shift> shifts = {{12, -9}, {-30, 25}};
    for (Format format : {Format::Bmp, Format::Tiff, Format::Jpeg}) {
        SCOPED_TRACE(proctest::formatName(format));
        Series series(format);
        series.add(picture);
        for (const Shift& s : shifts) series.add(testsupport::shifted(picture, s.dx, s.dy, 2, 11));
        auto processor = makeProcessor(series, rect, true);
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrameSmallImage(series.paths[0], &error)) << error;
        for (std::size_t i = 0; i < shifts.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            bool ok = true;
            processor->processSmallImages(series.paths[index], index, 3, &ok, &error);
            ASSERT_TRUE(ok) << error;
            const Picture decoded = proctest::decode(series.paths[index], format);
            EXPECT_TRUE(proctest::samePixels(
                proctest::decode(series.outputPath(index), format),
                proctest::cropPicture(decoded, rect.x + shifts[i].dx, rect.y + shifts[i].dy,
                                      rect.width, rect.height)))
                << "shift " << shifts[i].dx << ", " << shifts[i].dy;
        }
        EXPECT_EQ(processor->stackSum, nullptr);
    }
}

TEST(SmallImages, ThePerimeterMakesNoDifference) {
    const Picture picture = testsupport::makeStarField(200, 150, 33);
    std::vector<std::vector<std::uint8_t>> outputs;
    for (int perimeter : {0, 4, -2, 100000}) {
        Series series(Format::Tiff);
        series.add(picture);
        series.add(testsupport::shifted(picture, 5, -4, 2, 12));
        auto processor = makeProcessor(series, {60, 40, 40, 30});
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrameSmallImage(series.paths[0], &error)) << error;
        bool ok = true;
        processor->processSmallImages(series.paths[1], 1, perimeter, &ok, &error);
        ASSERT_TRUE(ok) << error;
        outputs.push_back(testsupport::readFile(series.outputPath(1)));
    }
    for (const auto& output : outputs) EXPECT_EQ(output, outputs.front());
}

TEST(SmallImages, ReferenceInTheLastTwoPositionRowsIsFoundAtItsPlace) {
    // 200 x 150 image, 50 x 40 crop: the last position rows are 110 and 111
    // (1-based), and both are scanned.
    const Picture picture = testsupport::makeStarField(200, 150, 34);
    for (int top : {109, 110}) {
        Series series(Format::Tiff);
        series.add(picture);
        series.add(picture);
        auto processor = makeProcessor(series, {70, top, 50, 40});
        std::string error;
        ASSERT_TRUE(processor->setReferenceFrameSmallImage(series.paths[0], &error)) << error;
        const EngineFrame frame = readFrame(*processor, series.paths[1]);
        const auto best = Tellvar::detail::scanPositions(
            frame.view(false), Tellvar::detail::fullReference(*processor));
        EXPECT_EQ(best.x, 71);
        EXPECT_EQ(best.y, top + 1);
        bool ok = true;
        processor->processSmallImages(series.paths[1], 1, 0, &ok, &error);
        EXPECT_TRUE(ok) << error;
        EXPECT_TRUE(proctest::samePixels(proctest::decode(series.outputPath(1), Format::Tiff),
                                         proctest::cropPicture(picture, 70, top, 50, 40)));
    }
}

TEST(Registration, FlatRegionsOfTheRightBrightnessNeverWin) {
    // Noisy frames of a smooth sky with, away from the crop area, a flat
    // patch of exactly the area's mean colour (as a saturated or empty
    // region): a flat candidate has no correlation and cannot win.
    for (bool smallImage : {false, true}) {
        const int W = smallImage ? 300 : 480, H = smallImage ? 220 : 360;
        const Picture picture =
            testsupport::magnified(testsupport::makeStarField(W / 2, H / 2, 37), W, H);
        const Rect rect{W / 2, H / 3, 40, 30};
        Picture frame = testsupport::shifted(picture, 3, 2, 3, 38);
        for (int c = 0; c < 3; ++c) {
            std::uint64_t sum = 0;
            for (int y = rect.y; y < rect.y + rect.height; ++y)
                for (int x = rect.x; x < rect.x + rect.width; ++x) sum += picture.pixel(x, y)[c];
            const auto mean = static_cast<std::uint8_t>(sum / (rect.width * rect.height));
            for (int y = 10; y < 10 + 2 * rect.height; ++y)
                for (int x = 10; x < 10 + 2 * rect.width; ++x) frame.pixel(x, y)[c] = mean;
        }
        for (Format format : {Format::Bmp, Format::Tiff}) {
            Series series(format);
            series.add(picture);
            series.add(frame);
            auto processor = makeProcessor(series, rect);
            std::string error;
            ASSERT_TRUE(smallImage ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                                   : processor->setReferenceFrame(series.paths[0], &error))
                << error;
            bool ok = true;
            if (smallImage)
                processor->processSmallImages(series.paths[1], 1, 10, &ok, &error);
            else
                processor->setPhaseOne(series.paths[1], 1, 10, &ok, &error);
            ASSERT_TRUE(ok) << error;
            EXPECT_TRUE(proctest::samePixels(
                proctest::decode(series.outputPath(1), format),
                proctest::cropPicture(proctest::decode(series.paths[1], format), rect.x + 3,
                                      rect.y + 2, rect.width, rect.height)))
                << proctest::formatName(format) << (smallImage ? " small" : "");
        }
    }
}

}  // namespace
