// The coefficient and the position scan shared by all three searches.

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "registration/PositionScan.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Tellvar::MainProcessor;
using Tellvar::detail::BufferView;
using Tellvar::detail::PatchStats;
using Tellvar::detail::Position;

// A processor whose full reference is the given pixels (w x h, 3 bytes each).
class ReferenceHolder {
public:
    ReferenceHolder(const std::vector<unsigned char>& pixels, int width, int height)
        : processor(0, 0, width, height, names, "/out", Tellvar::kTypeCodeTiff, false) {
        processor.refPatchFull.reset(new unsigned char[pixels.size()]);
        std::copy(pixels.begin(), pixels.end(), processor.refPatchFull.get());
        processor.refSsqFull = processor.calc_ssqX(static_cast<int>(pixels.size()), true);
    }
    std::string names[1] = {"r.tif"};
    MainProcessor processor;
};

TEST(Coefficient, UsesTheSampleCountAsN) {
    // Two pixels whose first bytes are 10 and 20; the other bytes never
    // count. With n the sample count the score is the samples' correlation:
    // any two rising samples give 1, falling ones -1.
    const unsigned char reference[] = {10, 99, 1, 20, 0, 250};
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 2, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    processor.scaledCropWidth = 2;
    processor.scaledCropHeight = 1;
    processor.refPatchFull.reset(new unsigned char[6]);
    processor.refPatchScaled.reset(new unsigned char[6]);
    std::copy_n(reference, 6, processor.refPatchFull.get());
    std::copy_n(reference, 6, processor.refPatchScaled.get());
    processor.refSsqFull = processor.calc_ssqX(6, true);
    processor.refSsqScaled = processor.calc_ssqX(6, false);
    EXPECT_EQ(processor.refCountFull, 6);
    EXPECT_DOUBLE_EQ(processor.refSumFull, 30.0);
    EXPECT_DOUBLE_EQ(processor.refSsqFull, 50.0);
    EXPECT_DOUBLE_EQ(processor.refSsqScaled, 50.0);

    struct Case {
        unsigned char candidate[6];
        double score;
    } cases[] = {{{20, 0, 0, 40, 7, 7}, 1.0},
                 {{20, 1, 2, 30, 3, 4}, 1.0},
                 {{20, 255, 255, 10, 255, 255}, -1.0}};
    for (Case& c : cases) {
        EXPECT_EQ(processor.calcCoeff_Full(c.candidate), c.score) << int(c.candidate[3]);
        EXPECT_EQ(processor.calcCoeff_Scaled(c.candidate), c.score) << int(c.candidate[3]);
    }
}

TEST(Coefficient, IdenticalCandidateScoresOneAndFlatPatchesAreUndefined) {
    std::mt19937 random(7);
    std::vector<unsigned char> pixels(5 * 4 * 3);
    for (unsigned char& v : pixels) v = static_cast<unsigned char>(random());
    ReferenceHolder holder(pixels, 5, 4);
    EXPECT_EQ(holder.processor.calcCoeff_Full(pixels.data()), 1.0);

    std::vector<unsigned char> black(pixels.size(), 0);
    EXPECT_TRUE(std::isnan(holder.processor.calcCoeff_Full(black.data())));

    ReferenceHolder blackReference(black, 5, 4);
    EXPECT_EQ(blackReference.processor.refSsqFull, 0.0);
    EXPECT_TRUE(std::isnan(blackReference.processor.calcCoeff_Full(pixels.data())));
}

TEST(Coefficient, ScaledReferenceAndMissingPatches) {
    std::string names[] = {"r.tif"};
    MainProcessor processor(0, 0, 2, 1, names, "/out", Tellvar::kTypeCodeTiff, false);
    // Without a patch there is nothing to score and nothing to sum.
    unsigned char candidate[] = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(std::isnan(processor.calcCoeff_Scaled(candidate)));
    EXPECT_EQ(processor.calc_ssqX(6, false), 0.0);
    EXPECT_EQ(processor.refCountScaled, 0);

    processor.scaledCropWidth = 2;
    processor.scaledCropHeight = 1;
    processor.refPatchScaled.reset(new unsigned char[6]{10, 0, 0, 20, 0, 0});
    processor.refSsqScaled = processor.calc_ssqX(6, false);
    EXPECT_EQ(processor.refCountScaled, 6);
    EXPECT_DOUBLE_EQ(processor.refSumScaled, 30.0);

    // A count beyond the patch is held to the patch, whatever the sizes
    // say: no product of them may overflow.
    processor.calc_ssqX(600, false);
    EXPECT_EQ(processor.refCountScaled, 6);
    processor.calc_ssqX(INT_MAX, false);
    EXPECT_EQ(processor.refCountScaled, 6);
    processor.calc_ssqX(INT_MIN, false);
    EXPECT_EQ(processor.refCountScaled, 0);
    for (int side : {INT_MAX, INT_MIN, -1}) {
        MainProcessor huge(0, 0, side, side, names, "/out", Tellvar::kTypeCodeTiff, false);
        huge.scaledCropWidth = huge.scaledCropHeight = side;
        huge.refPatchFull.reset(new unsigned char[6]{});
        huge.refPatchScaled.reset(new unsigned char[6]{});
        EXPECT_EQ(huge.calc_ssqX(6, true), 0.0);
        EXPECT_EQ(huge.refCountFull, 0) << side;
        EXPECT_EQ(huge.calc_ssqX(6, false), 0.0);
        EXPECT_EQ(huge.refCountScaled, 0) << side;
    }
}

// A bright random buffer (every sample positive, so every position scores
// above 0) with patches pasted in at chosen places.
struct ScanField {
    int width, height;
    std::vector<unsigned char> pixels;

    ScanField(int width, int height, std::uint32_t seed)
        : width(width), height(height), pixels(static_cast<std::size_t>(width) * height * 3) {
        std::mt19937 random(seed);
        for (unsigned char& v : pixels) v = static_cast<unsigned char>(40 + random() % 200);
    }
    // Copies patch into the buffer rows as stored, at 1-based buffer (x, row).
    void paste(const std::vector<unsigned char>& patch, int w, int h, int x, int row) {
        for (int r = 0; r < h; ++r)
            std::copy_n(&patch[static_cast<std::size_t>(r) * w * 3], w * 3,
                        &pixels[(static_cast<std::size_t>(row - 1 + r) * width + (x - 1)) * 3]);
    }
    BufferView view(bool bottomUp = false) const {
        return {pixels.data(), width, height, bottomUp};
    }
};

struct Patch {
    int width, height;
    std::vector<unsigned char> pixels;
    double sum = 0, ssq = 0;

    Patch(int width, int height, std::uint32_t seed)
        : width(width), height(height), pixels(static_cast<std::size_t>(width) * height * 3) {
        std::mt19937 random(seed);
        for (unsigned char& v : pixels) v = static_cast<unsigned char>(random());
        update();
    }
    void update() {
        const auto stats =
            Tellvar::detail::sampleStats(pixels.data(), static_cast<int>(pixels.size()));
        sum = stats.sum;
        ssq = stats.ssq;
    }
    PatchStats stats() const {
        return {pixels.data(), width, height, static_cast<int>(pixels.size()), sum, ssq};
    }
};

Position scan(const ScanField& field, const Patch& patch, bool bottomUp = false) {
    return Tellvar::detail::scanPositions(field.view(bottomUp), patch.stats());
}

TEST(Scan, FindsAnExactCopyAndKeepsTheFirstOfEqualScores) {
    ScanField field(20, 15, 1);
    const Patch patch(5, 4, 2);
    field.paste(patch.pixels, 5, 4, 9, 6);
    EXPECT_EQ(scan(field, patch).x, 9);
    EXPECT_EQ(scan(field, patch).y, 6);

    // A second copy later in scan order does not replace the first...
    field.paste(patch.pixels, 5, 4, 2, 8);
    Position best = scan(field, patch);
    EXPECT_EQ(best.x, 9);
    EXPECT_EQ(best.y, 6);
    // ...and one earlier in scan order wins.
    field.paste(patch.pixels, 5, 4, 14, 3);
    best = scan(field, patch);
    EXPECT_EQ(best.x, 14);
    EXPECT_EQ(best.y, 3);
}

TEST(Scan, ScoresEveryPositionWhereThePatchFits) {
    // 20 x 15 buffer, 5 x 4 patch: columns 1 .. 16, rows 1 .. 12, in either
    // row order; each copy is found exactly, the far corner included.
    const Patch patch(5, 4, 3);
    const int places[][2] = {{16, 5}, {7, 12}, {7, 11}, {16, 12}, {1, 12}, {16, 1}, {1, 1}};
    for (bool bottomUp : {false, true})
        for (const auto& place : places) {
            ScanField field(20, 15, 4);
            const int row = bottomUp ? 15 - (place[1] + 4) + 2 : place[1];
            field.paste(patch.pixels, 5, 4, place[0], row);
            const Position best = scan(field, patch, bottomUp);
            EXPECT_EQ(best.x, place[0]) << place[1] << (bottomUp ? " bottom-up" : "");
            EXPECT_EQ(best.y, place[1]) << place[0] << (bottomUp ? " bottom-up" : "");
        }
}

TEST(Scan, PatchesAtTheLimitsScanEveryPositionThatFits) {
    struct Case {
        int width, height, patchWidth, patchHeight;
        int x, y;  // where the copy is pasted and found
    } cases[] = {
        {20, 5, 5, 4, 6, 2},                        // two rows of positions
        {20, 5, 5, 4, 16, 1}, {5, 12, 5, 4, 1, 9},  // as wide as the buffer: one column
        {14, 4, 5, 4, 10, 1},                       // as high as the buffer: one row
        {6, 5, 5, 4, 2, 2},                         // one column narrower, one row lower
        {5, 4, 5, 4, 1, 1},                         // the buffer's own size: its one position
    };
    for (const Case& c : cases) {
        ScanField field(c.width, c.height, static_cast<std::uint32_t>(7 + c.x));
        const Patch patch(c.patchWidth, c.patchHeight, 8);
        field.paste(patch.pixels, c.patchWidth, c.patchHeight, c.x, c.y);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, c.x) << c.width << " x " << c.height;
        EXPECT_EQ(best.y, c.y) << c.width << " x " << c.height;
    }
    // Larger than the buffer: nothing.
    ScanField field(5, 4, 17);
    EXPECT_FALSE(scan(field, Patch(6, 4, 18)).found());
    EXPECT_FALSE(scan(field, Patch(5, 5, 19)).found());
}

TEST(Scan, FlatCandidatesNeverWin) {
    // Beside a noisy copy of a dim patch lies a region of exactly its mean
    // brightness: with the sample count as n a flat candidate is undefined,
    // where with three times as much it would score near 1 and win.
    const int w = 8, h = 6;
    std::mt19937 random(26);
    Patch patch(w, h, 1);
    for (unsigned char& v : patch.pixels) v = static_cast<unsigned char>(20 + random() % 5);
    patch.update();
    ScanField field(40, 30, 27);
    std::vector<unsigned char> noisy = patch.pixels;
    for (unsigned char& v : noisy) v = static_cast<unsigned char>(v + random() % 3);
    field.paste(noisy, w, h, 25, 20);
    field.paste(std::vector<unsigned char>(patch.pixels.size(), 22), w, h, 3, 4);
    for (const Position& result :
         {Tellvar::detail::referenceSearch(field.view(), patch.stats()).position,
          scan(field, patch)}) {
        EXPECT_EQ(result.x, 25);
        EXPECT_EQ(result.y, 20);
    }
}

TEST(Scan, BottomUpBuffersReportPicturePositions) {
    // The patch stored at 1-based buffer row 3 of a 15-row bottom-up buffer
    // covers picture rows 15 - (3 + 4) + 2 = 10 onwards.
    ScanField field(20, 15, 20);
    const Patch patch(5, 4, 21);
    field.paste(patch.pixels, 5, 4, 4, 3);
    const Position best = scan(field, patch, true);
    EXPECT_EQ(best.x, 4);
    EXPECT_EQ(best.y, 10);

    auto cut = Tellvar::detail::cutRect(field.view(true), best.x, best.y, 5, 4);
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(std::equal(patch.pixels.begin(), patch.pixels.end(), cut.get()));
}

TEST(Scan, NothingAboveZeroFindsNothing) {
    ScanField black(20, 15, 22);
    std::fill(black.pixels.begin(), black.pixels.end(), 0);
    EXPECT_FALSE(scan(black, Patch(5, 4, 23)).found());

    Patch flat(5, 4, 24);
    std::fill(flat.pixels.begin(), flat.pixels.end(), 0);
    flat.update();
    EXPECT_FALSE(scan(ScanField(20, 15, 25), flat).found());
}

}  // namespace
