// Arguments at the ends of int, as any caller of the library may pass them:
// every operation gives a clear failure or a result inside the frame, and
// no sum or product on the way overflows (the sanitizer build checks that).

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "ProcessorTestSupport.h"
#include "processor/ProcessorAccess.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>

namespace {

using proctest::Format;
using proctest::Series;
using Tellvar::MainProcessor;
using testsupport::Picture;

constexpr int kExtremes[] = {INT_MIN, INT_MIN + 1, -1, 0, INT_MAX - 1, INT_MAX};

TEST(Limits, ExtremePerimetersAndEstimatesStayInsideTheFrame) {
    const Picture picture = testsupport::makeStarField(400, 300, 51);
    for (Format format : {Format::Bmp, Format::Tiff}) {
        Series series(format);
        series.add(picture);
        series.add(testsupport::shifted(picture, 5, -4, 2, 52));
        MainProcessor processor(150, 120, 40, 30, series.names.data(), series.outputFolder,
                                proctest::typeCode(format), false);
        std::string error;
        ASSERT_TRUE(processor.setReferenceFrame(series.paths[0], &error)) << error;
        const Picture expected =
            proctest::cropPicture(proctest::decode(series.paths[1], format), 155, 116, 40, 30);

        // The largest perimeter searches the whole frame; the most negative
        // counts as 0. Either finds the content.
        for (int perimeter : {INT_MAX, INT_MIN}) {
            for (bool small : {false, true}) {
                bool ok = true;
                if (small)
                    processor.processSmallImages(series.paths[1], 1, perimeter, &ok, &error);
                else
                    processor.setPhaseOne(series.paths[1], 1, perimeter, &ok, &error);
                ASSERT_TRUE(ok) << error;
                EXPECT_TRUE(
                    proctest::samePixels(proctest::decode(series.outputPath(1), format), expected))
                    << perimeter << (small ? " small" : "");
            }
        }
        EXPECT_EQ(processor.windowWidth, 40 + 2 * 1);

        // The fine search alone, from estimates anywhere: its window stays in
        // the frame and what it finds is a position of that window.
        if (format == Format::Bmp) continue;
        Tellvar::detail::FrameRead read = Tellvar::detail::readFrameFor(processor, series.paths[1]);
        ASSERT_TRUE(read.ok) << read.message;
        for (int estimate : kExtremes)
            for (int perimeter : {INT_MIN, 0, INT_MAX}) {
                unsigned char* window = nullptr;
                int x = estimate, y = estimate;
                processor.phaseTwo(&window, &x, &y, perimeter, 400, 300, read.frame.pixels.get());
                const std::unique_ptr<unsigned char[]> owner(window);
                if (window == nullptr) {
                    // Nothing in a small window scored above 0.
                    EXPECT_EQ(x, 0);
                    EXPECT_EQ(y, 0);
                    continue;
                }
                EXPECT_GE(x, 1);
                EXPECT_GE(y, 1);
                EXPECT_LE(x + 40 - 1, processor.windowWidth);
                EXPECT_LE(y + 30 - 1, processor.windowHeight);
                EXPECT_LE(processor.windowWidth, 400);
                EXPECT_LE(processor.windowHeight, 300);
            }
    }
}

TEST(Limits, EveryFailedCallLeavesAMessageInItsString) {
    // Image indices at the ends of int, and strings of the caller's own
    // after an earlier failure with a lower index went into another one.
    Series series(Format::Tiff);
    series.add(testsupport::makeStarField(400, 300, 53));
    const int missing = series.addMissing();
    MainProcessor processor(150, 120, 40, 30, series.names.data(), series.outputFolder,
                            Tellvar::kTypeCodeTiff, false);
    std::string error;
    ASSERT_TRUE(processor.setReferenceFrame(series.paths[0], &error)) << error;
    std::string runMessage;
    for (int index : {1, INT_MIN, 5, INT_MAX}) {
        std::string own;
        bool ok = true;
        processor.setPhaseOne(series.paths[missing], index, 10, &ok, &own);
        EXPECT_FALSE(ok);
        EXPECT_NE(own.find(series.paths[missing]), std::string::npos) << index << ": " << own;
        ok = true;
        processor.processSmallImages(series.paths[missing], index, 10, &ok, &runMessage);
        EXPECT_FALSE(ok);
        EXPECT_NE(runMessage.find(series.paths[missing]), std::string::npos) << index;
    }
}

TEST(Limits, GeometryRefusesSizesNoFrameCanHave) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 2, 2, names, "/out", Tellvar::kTypeCodeTiff, false);
    unsigned char pixels[4 * 3 * 3] = {};
    const int values[] = {INT_MIN, INT_MIN + 1, -1, 0, 2, INT_MAX - 1, INT_MAX};
    for (int a : values)
        for (int b : values) {
            const bool both2 = a == 2 && b == 2;
            // Rectangles cut from a 4 x 3 buffer are made only where they fit,
            // copies of it resampled to a x b (sides below 1 taken as 1) only
            // where they can be held.
            for (bool flip : {false, true}) {
                std::unique_ptr<unsigned char[]> cut(
                    processor.cropImage(pixels, a, b, a, b, 4, 3, flip));
                EXPECT_EQ(cut != nullptr, both2) << a << " " << b;
                if (a < 1 || b < 1) {
                    cut.reset(processor.cropImage(pixels, 1, 1, 1, 1, a, b, flip));
                    EXPECT_EQ(cut, nullptr) << a << " " << b;
                }
            }
            double scale = -1.0;
            for (bool keepAspect : {false, true}) {
                std::unique_ptr<unsigned char[]> copy(
                    processor.rescaleImage(pixels, a, b, 4, 3, &scale, keepAspect));
                if (!keepAspect) {
                    EXPECT_EQ(copy != nullptr, a <= 2 && b <= 2) << a << " " << b;
                }
                if (a < 1 || b < 1) {
                    copy.reset(processor.rescaleImage(pixels, 2, 2, a, b, &scale, keepAspect));
                    EXPECT_EQ(copy, nullptr) << a << " " << b;
                }
            }
            // Any box and any source: a scale and a box, never a trap.
            for (int source : values) {
                int width = a, height = b;
                const double fitted = processor.aspectRatio(&width, &height, source, b);
                EXPECT_FALSE(std::isnan(fitted)) << a << " " << b << " " << source;
            }
        }
    EXPECT_EQ(Tellvar::detail::roundHalfUp(1e300), INT_MAX);
    EXPECT_EQ(Tellvar::detail::roundHalfUp(-1e300), INT_MIN);
    EXPECT_EQ(Tellvar::detail::roundHalfUp(std::nan("")), 0);
    EXPECT_EQ(Tellvar::detail::pixelBytes(INT_MAX, INT_MAX), 0u);
    EXPECT_EQ(Tellvar::detail::pixelBytes(715'827'882, 1), 2'147'483'646u);
    EXPECT_EQ(Tellvar::detail::pixelBytes(715'827'883, 1), 0u);
}

}  // namespace
