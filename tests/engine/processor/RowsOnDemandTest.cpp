// A frame whose rows are read as the registration asks for them: every row
// the searches and the crop look at has been asked for first, in bottom-up
// (Bitmap) and top-down (TIFF) frames. The rows not asked for hold poison,
// so a search that looked at one would see it.

#include "Brennock/MainProcessor.h"
#include "ProcessorTestSupport.h"
#include "processor/ProcessorAccess.h"
#include "registration/CoarseToFine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using proctest::Format;
using proctest::Rect;
using Tellvar::detail::BufferView;
using Tellvar::detail::FrameRead;
using testsupport::Picture;

// Copies the asked-for rows of a frame read whole into a poisoned buffer.
class CopiedRows : public Tellvar::detail::FrameRows {
public:
    CopiedRows(const unsigned char* whole, unsigned char* poisoned, int width, int height,
               std::vector<bool>* asked)
        : whole_(whole), poisoned_(poisoned), rowBytes_(width * 3u), asked_(asked) {
        asked_->assign(height, false);
    }
    bool load(int first, int count) override {
        const int height = static_cast<int>(asked_->size());
        for (int r = std::max(first, 0); r < std::min(first + count, height); ++r) {
            std::memcpy(poisoned_ + r * rowBytes_, whole_ + r * rowBytes_, rowBytes_);
            (*asked_)[r] = true;
        }
        return true;
    }
    const std::string& failure() const override { return failure_; }

private:
    const unsigned char* whole_;
    unsigned char* poisoned_;
    std::size_t rowBytes_;
    std::vector<bool>* asked_;
    std::string failure_;
};

std::unique_ptr<unsigned char[]> poisonedFrame(std::size_t bytes) {
    std::unique_ptr<unsigned char[]> frame(new unsigned char[bytes]);
    std::memset(frame.get(), 0xFF, bytes);
    return frame;
}

struct Case {
    const char* name;
    Format format;
    int width, height;
    Rect rect;
    int dx, dy;
    int perimeter;
    bool smallImage;
    bool everyRow;  // the whole frame is searched (it fits the coarse box, or small images)
};

}  // namespace

TEST(RowsOnDemand, TheSearchesAndTheCropSeeOnlyRowsAskedFor) {
    const Case cases[] = {
        {"centred", Format::Bmp, 1600, 1200, {700, 525, 200, 150}, 7, -5, 10, false, false},
        {"at the top", Format::Bmp, 1600, 1200, {700, 0, 200, 150}, 4, 0, 10, false, false},
        {"at the bottom", Format::Bmp, 1600, 1200, {700, 1050, 200, 150}, -3, 0, 10, false, false},
        {"perimeter 60", Format::Bmp, 1600, 1200, {300, 400, 200, 150}, 20, 30, 60, false, false},
        {"portrait", Format::Bmp, 900, 1400, {300, 600, 120, 160}, -6, 8, 10, false, false},
        {"TIFF top", Format::Tiff, 1600, 1200, {500, 0, 200, 150}, 5, 0, 10, false, false},
        {"TIFF bottom", Format::Tiff, 1600, 1200, {500, 1050, 200, 150}, -4, 0, 10, false, false},
        {"fits the coarse box", Format::Bmp, 320, 240, {110, 80, 40, 30}, 4, -3, 6, false, true},
        {"small images", Format::Tiff, 400, 300, {150, 100, 60, 40}, 5, 3, 10, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture& picture = proctest::sharedStarField(c.width, c.height, 31);
        proctest::Series series(c.format);
        series.add(picture);
        series.add(testsupport::shifted(picture, c.dx, c.dy, 2, 77));
        auto processor = proctest::makeProcessor(series, c.rect);
        std::string error;
        ASSERT_TRUE(c.smallImage ? processor->setReferenceFrameSmallImage(series.paths[0], &error)
                                 : processor->setReferenceFrame(series.paths[0], &error))
            << error;

        const auto readWhole = [&] {
            FrameRead read = Tellvar::detail::readFrameFor(*processor, series.paths[1]);
            EXPECT_TRUE(read.ok) << read.message;
            return read;
        };
        const FrameRead whole = readWhole();
        const std::size_t bytes = static_cast<std::size_t>(c.width) * c.height * 3;
        const BufferView wholeView{whole.frame.pixels.get(), c.width, c.height,
                                   processor->bottomUp};

        // The searches' own inputs, the coarse copy and the fine window, are
        // the whole frame's, byte for byte.
        std::vector<bool> asked;
        auto poisoned = poisonedFrame(bytes);
        CopiedRows rows(whole.frame.pixels.get(), poisoned.get(), c.width, c.height, &asked);
        const BufferView poisonedView{poisoned.get(), c.width, c.height, processor->bottomUp};
        const auto placement =
            Tellvar::detail::placeCrop(*processor, poisonedView, c.perimeter, c.smallImage, &rows);
        const auto wholePlacement =
            Tellvar::detail::placeCrop(*processor, wholeView, c.perimeter, c.smallImage);
        EXPECT_EQ(placement.inFrame.x, wholePlacement.inFrame.x);
        EXPECT_EQ(placement.inFrame.y, wholePlacement.inFrame.y);
        EXPECT_EQ(placement.inFrame.x, c.rect.x + c.dx + 1);
        EXPECT_EQ(placement.inFrame.y, c.rect.y + c.dy + 1);
        const long long rowsAsked = std::count(asked.begin(), asked.end(), true);
        if (c.everyRow) {
            EXPECT_EQ(rowsAsked, c.height);
        } else {
            const auto coarse = Tellvar::detail::makeCoarseFrame(poisonedView);
            const auto wholeCoarse = Tellvar::detail::makeCoarseFrame(wholeView);
            const std::size_t coarseBytes =
                static_cast<std::size_t>(coarse.view.width) * coarse.view.height * 3;
            EXPECT_TRUE(std::equal(coarse.owned.get(), coarse.owned.get() + coarseBytes,
                                   wholeCoarse.owned.get()));
            const auto& window = placement.window;
            const std::size_t windowBytes =
                static_cast<std::size_t>(window.width) * window.height * 3;
            const auto windowPixels = Tellvar::detail::cutRect(poisonedView, window.x, window.y,
                                                               window.width, window.height);
            const auto wholeWindow = Tellvar::detail::cutRect(wholeView, window.x, window.y,
                                                              window.width, window.height);
            ASSERT_TRUE(windowPixels && wholeWindow);
            EXPECT_TRUE(std::equal(windowPixels.get(), windowPixels.get() + windowBytes,
                                   wholeWindow.get()));
            // The point of it: most of a large frame is never read.
            EXPECT_LT(rowsAsked, c.height / 2);
        }

        // The registration's crop is the whole frame's.
        asked.clear();
        FrameRead lazy;
        lazy.ok = true;
        lazy.frame.width = c.width;
        lazy.frame.height = c.height;
        lazy.frame.depth = 24;
        lazy.frame.pixels = poisonedFrame(bytes);
        lazy.rows = std::make_unique<CopiedRows>(whole.frame.pixels.get(), lazy.frame.pixels.get(),
                                                 c.width, c.height, &asked);
        const auto prepared = Tellvar::detail::ProcessorAccess::prepareFrame(
            *processor, std::move(lazy), series.paths[1], c.perimeter, c.smallImage, nullptr);
        const auto wholePrepared = Tellvar::detail::ProcessorAccess::prepareFrame(
            *processor, readWhole(), series.paths[1], c.perimeter, c.smallImage, nullptr);
        ASSERT_NE(prepared.crop, nullptr) << prepared.failure;
        ASSERT_NE(wholePrepared.crop, nullptr) << wholePrepared.failure;
        const std::size_t cropBytes = static_cast<std::size_t>(c.rect.width) * c.rect.height * 3;
        EXPECT_TRUE(std::equal(prepared.crop, prepared.crop + cropBytes, wholePrepared.crop));
    }
}

// Rows the file no longer gives fail the frame with the reader's message,
// and no crop is cut.
TEST(RowsOnDemand, RowsThatCannotBeReadFailTheFrameWithTheirMessage) {
    class LostRows : public Tellvar::detail::FrameRows {
    public:
        bool load(int, int) override { return false; }
        const std::string& failure() const override { return failure_; }

    private:
        std::string failure_ = "the reader's own words";
    };
    const Picture& picture = proctest::sharedStarField(1600, 1200, 31);
    proctest::Series series(Format::Bmp);
    series.add(picture);
    series.add(picture);
    auto processor = proctest::makeProcessor(series, {700, 525, 200, 150});
    std::string error;
    ASSERT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    for (bool smallImage : {false, true}) {
        FrameRead read = Tellvar::detail::readFrameFor(*processor, series.paths[1]);
        ASSERT_TRUE(read.ok) << read.message;
        read.rows = std::make_unique<LostRows>();
        const auto prepared = Tellvar::detail::ProcessorAccess::prepareFrame(
            *processor, std::move(read), series.paths[1], 10, smallImage, nullptr);
        EXPECT_EQ(prepared.crop, nullptr);
        EXPECT_EQ(prepared.failure, "the reader's own words");
    }
}
