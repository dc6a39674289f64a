// The fine search's window: it must cover the coarse estimate's largest
// error, which grows with the frame pixels a coarse pixel spans, whatever
// perimeter was chosen; frames up to 1600 pixels wide keep the perimeter's
// own window.

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "ProcessorTestSupport.h"
#include "registration/CoarseToFine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using proctest::Format;
using proctest::Series;
using Tellvar::MainProcessor;
using testsupport::Picture;

TEST(FineWindow, FramesUpTo1600PixelsWideKeepThePerimetersWindow) {
    // Landscape frames (their coarse copy is 320 wide), crops inside them by
    // more than the perimeter, and frames moved by up to the perimeter.
    const int sizes[][2] = {{1600, 1200}, {1600, 1067}, {1600, 900}, {1599, 1199}, {1440, 1080},
                            {1280, 1024}, {1024, 768},  {800, 600},  {640, 480},   {400, 300}};
    std::string names[] = {"r.tif"};
    std::mt19937 random(41);
    for (const auto& size : sizes)
        for (int perimeter = 5; perimeter <= 60; perimeter += 5)
            for (int trial = 0; trial < 20; ++trial) {
                const int W = size[0], H = size[1];
                const int w = 20 + static_cast<int>(random() % (W / 2)),
                          h = 20 + static_cast<int>(random() % (H / 2));
                const int margin = perimeter + 1;
                if (w + 2 * margin > W || h + 2 * margin > H) continue;
                const int x = margin + static_cast<int>(random() % (W - w - 2 * margin + 1));
                const int y = margin + static_cast<int>(random() % (H - h - 2 * margin + 1));
                const MainProcessor processor(x, y, w, h, names, "/out", Tellvar::kTypeCodeTiff,
                                              false);
                const int dx = static_cast<int>(random() % (2 * perimeter + 1)) - perimeter;
                const int dy = static_cast<int>(random() % (2 * perimeter + 1)) - perimeter;
                const Tellvar::detail::FineReach reach = Tellvar::detail::fineReach(
                    processor, W, H, perimeter, {x + 1 + dx, y + 1 + dy});
                ASSERT_EQ(reach.x, perimeter) << W << " x " << H << " crop " << x << ", " << y;
                ASSERT_EQ(reach.y, perimeter) << W << " x " << H << " crop " << x << ", " << y;
            }
}

TEST(FineWindow, CoversTheCoarseErrorOfLargeFrames) {
    // A 6000 x 4000 frame's coarse pixel spans 18.75 frame pixels, nearly
    // twice a perimeter of 10. The same ratio at a fifth of the size: a
    // 1200 x 900 frame (3.75 pixels) and a perimeter of 2, its crop corner
    // rounding onto the coarse copy by almost half a coarse pixel. The sky
    // carries detail at both scales: broad stars the coarse copy resolves,
    // sharp ones that fix the crop to the pixel.
    const int W = 1200, H = 900;
    Picture sky = testsupport::magnified(testsupport::makeStarField(320, 240, 42), W, H);
    const Picture sharp = testsupport::makeStarField(W, H, 43);
    for (std::size_t i = 0; i < sky.rgb.size(); ++i)
        if (sharp.rgb[i] > 50) sky.rgb[i] = std::max(sky.rgb[i], sharp.rgb[i]);

    Series series(Format::Tiff);
    series.add(sky);
    std::mt19937 random(44);
    std::vector<std::pair<int, int>> shifts;
    for (int i = 0; i < 10; ++i) {
        const int dx = static_cast<int>(random() % 15) - 7,
                  dy = static_cast<int>(random() % 15) - 7;
        shifts.emplace_back(dx, dy);
        series.add(testsupport::shifted(sky, shifts.back().first, shifts.back().second, 2, 45 + i));
    }
    const int x = 481, y = 331, w = 240, h = 180;
    MainProcessor processor(x, y, w, h, series.names.data(), series.outputFolder,
                            Tellvar::kTypeCodeTiff, false);
    std::string error;
    ASSERT_TRUE(processor.setReferenceFrame(series.paths[0], &error)) << error;
    for (int index = 1; index < static_cast<int>(series.paths.size()); ++index) {
        bool ok = true;
        processor.setPhaseOne(series.paths[index], index, 2, &ok, &error);
        ASSERT_TRUE(ok) << error;
        // The window actually used: four pixels each side, not two.
        EXPECT_EQ(processor.windowWidth, w + 8);
        EXPECT_EQ(processor.windowHeight, h + 8);
        const auto [dx, dy] = shifts[index - 1];
        EXPECT_TRUE(proctest::samePixels(
            proctest::decode(series.outputPath(index), Format::Tiff),
            proctest::cropPicture(proctest::decode(series.paths[index], Format::Tiff), x + dx,
                                  y + dy, w, h)))
            << "shift " << dx << ", " << dy;
    }
}

}  // namespace
