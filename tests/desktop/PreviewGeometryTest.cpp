// Fitting, centring, dragging, safe area and reticle of the preview, as
// plain arithmetic.

#include "PreviewGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <random>

namespace preview {
void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}
}  // namespace preview

using namespace preview;

namespace {
View fitted(int width, int height) { return fitImage(width, height, kPanelWidth, kPanelHeight); }
}  // namespace

TEST(PreviewGeometry, FitKeepsSmallImagesAndShrinksLargeOnes) {
    for (auto [w, h] : {std::pair{800, 600}, {640, 480}, {1, 600}}) {
        EXPECT_FALSE(fitted(w, h).scaled) << w << "x" << h;
        EXPECT_DOUBLE_EQ(fitted(w, h).scaleX(), 1.0);
    }
    const std::array<int, 4> cases[] = {
        {801, 600, 800, 599},   {800, 601, 799, 600},   {1000, 900, 667, 600},
        {1600, 1200, 800, 600}, {1024, 768, 800, 600},  {900, 500, 800, 444},
        {1200, 1600, 450, 600}, {1000, 1000, 600, 600}, {6000, 10, 800, 1},
    };
    for (const auto& [w, h, pw, ph] : cases) {
        const View view = fitted(w, h);
        EXPECT_TRUE(view.scaled);
        EXPECT_EQ(view.previewWidth, pw) << w << "x" << h;
        EXPECT_EQ(view.previewHeight, ph) << w << "x" << h;
    }
}

TEST(PreviewGeometry, ReticleRadiiFollowTheDrawnWidth) {
    EXPECT_EQ(reticleRadii(500), (std::array<int, 3>{6, 30, 50}));
    EXPECT_EQ(reticleRadii(100), (std::array<int, 3>{1, 6, 10}));
    EXPECT_EQ(reticleRadii(37), (std::array<int, 3>{0, 2, 3}));
    EXPECT_EQ(reticleRadii(13), (std::array<int, 3>{0, 2, 3}));
    EXPECT_EQ(reticleRadii(12), (std::array<int, 3>{0, 0, 0}));
}

TEST(PreviewGeometry, CentringTakesThePositionFromTheImageSizes) {
    EXPECT_EQ(centreCrop(fitted(1001, 501), 101, 51).cropX, 450);
    EXPECT_EQ(centreCrop(fitted(701, 501), 101, 51).drawn, (Rect{300, 225, 101, 51}));
    // Scaled: drawn at the rounded display size, centred on the preview.
    const Placement scaled = centreCrop(fitted(1000, 900), 301, 300);
    EXPECT_EQ(scaled.drawn, (Rect{233, 200, 201, 200}));
    EXPECT_EQ(scaled.cropX, 350);
    EXPECT_EQ(scaled.cropY, 300);
    // A crop wider than the image (set on a larger one) sits at its left edge.
    const Placement wide = centreCrop(fitted(300, 200), 400, 150);
    EXPECT_EQ(wide.drawn, (Rect{0, 25, 400, 150}));
    EXPECT_EQ(wide.cropX, 0);
}

TEST(PreviewGeometry, DragStopsAtTheMarginsOnEachAxisWithItsOwnScale) {
    const View large = fitted(1600, 1200);
    const Placement far = dragCrop(large, 400, 300, 10, 700, 500);
    EXPECT_EQ(far.drawn, (Rect{585, 435, 200, 150}));
    EXPECT_EQ(far.cropX, 1170);
    EXPECT_EQ(far.cropY, 870);
    const Placement near = dragCrop(large, 400, 300, 10, 0, 0);
    EXPECT_EQ(near.drawn, (Rect{15, 15, 200, 150}));
    EXPECT_EQ(near.cropX, 30);
    EXPECT_EQ(dragCrop(large, 400, 300, 10, 584, 16).cropX, 1168);
    EXPECT_EQ(safeArea(large, 10), (Rect{15, 15, 770, 570}));

    const View unequal = fitted(1000, 900);  // 667 x 600
    const Placement corner = dragCrop(unequal, 300, 300, 10, -50, -50);
    EXPECT_EQ(corner.drawn, (Rect{17, 17, 200, 200}));
    EXPECT_EQ(corner.cropX, 25);
    EXPECT_EQ(corner.cropY, 26);
    EXPECT_EQ(dragCrop(unequal, 300, 300, 10, 2000, 2000).drawn, (Rect{450, 383, 200, 200}));

    const View small = fitted(640, 480);
    const Placement moved = dragCrop(small, 200, 100, 10, 500, 5);
    EXPECT_EQ(moved.drawn, (Rect{430, 10, 200, 100}));
    EXPECT_EQ(moved.cropX, 430);
    EXPECT_EQ(safeArea(small, 10), (Rect{12, 12, 616, 456}));
}

TEST(PreviewGeometry, CropTooLargeForTheMarginsStaysInsideTheImage) {
    const View small = fitted(640, 480);
    // 625 wide: the left margin wins and the crop still ends inside.
    EXPECT_EQ(dragCrop(small, 625, 100, 10, 300, 100).cropX, 10);
    // 635 wide: the left margin would end 5 pixels past the right edge, so
    // it goes flush with that edge wherever it is dragged.
    for (int x : {-100, 300, 900}) {
        const Placement flush = dragCrop(small, 635, 470, 10, x, x);
        EXPECT_EQ(flush.drawn, (Rect{5, 10, 635, 470})) << x;
        EXPECT_EQ(flush.cropX, 5) << x;
    }
    const Placement scaled = dragCrop(fitted(1600, 1200), 1590, 300, 10, 400, 300);
    EXPECT_EQ(scaled.cropX, 10);
    EXPECT_EQ(scaled.drawn.x, 5);
    // Wider than the image itself: pinned to its left edge.
    const Placement wider = dragCrop(fitted(1600, 1200), 1601, 100, 10, 400, 300);
    EXPECT_EQ(wider.cropX, 0);
    EXPECT_EQ(wider.drawn.x, 0);
    EXPECT_EQ(wider.cropY, 600);
}

// Whatever the sizes, perimeter (a hand-edited settings file may hold a
// negative one) and pointer: a crop that fits the image stays inside it, and
// its drawn rectangle inside the picture.
TEST(PreviewGeometry, CropNeverLeavesTheImage) {
    std::mt19937 random(20240611);
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int trial = 0; trial < 20000; ++trial) {
        const int iw = pick(1, 5000), ih = pick(1, 5000);
        const int cw = pick(1, iw), ch = pick(1, ih), perimeter = pick(-40, 80);
        const int x = pick(-1000, 1800), y = pick(-1000, 1600);
        const View view = fitted(iw, ih);
        const std::string where =
            ::testing::PrintToString(std::array<int, 7>{iw, ih, cw, ch, perimeter, x, y});
        for (const Placement& p :
             {dragCrop(view, cw, ch, perimeter, x, y), centreCrop(view, cw, ch)}) {
            ASSERT_TRUE(p.cropX >= 0 && p.cropX + cw <= iw) << where;
            ASSERT_TRUE(p.cropY >= 0 && p.cropY + ch <= ih) << where;
            ASSERT_TRUE(p.drawn.x >= 0 && p.drawn.x + p.drawn.width <= view.shownWidth()) << where;
            ASSERT_TRUE(p.drawn.y >= 0 && p.drawn.y + p.drawn.height <= view.shownHeight())
                << where;
        }
    }
}
