// The coefficient and the position scan shared by all three searches.

#include "MainProcessor.h"
#include "MainProcessorInternal.h"

#include <gtest/gtest.h>

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
        : processor(0, 0, width, height, names, "/out", 1025, false) {
        processor.refPatchFull.reset(new unsigned char[pixels.size()]);
        std::copy(pixels.begin(), pixels.end(), processor.refPatchFull.get());
        processor.refSsqFull = processor.calc_ssqX(static_cast<int>(pixels.size()), true);
    }
    std::string names[1] = {"r.tif"};
    MainProcessor processor;
};

TEST(Coefficient, UsesTheByteCountAsN) {
    // Two pixels whose first bytes are 10 and 20; the other bytes never count.
    ReferenceHolder holder({10, 99, 1, 20, 0, 250}, 2, 1);
    MainProcessor& processor = holder.processor;
    EXPECT_EQ(processor.refCountFull, 6);
    EXPECT_DOUBLE_EQ(processor.refSumFull, 30.0);
    EXPECT_DOUBLE_EQ(processor.refSsqFull, 350.0);

    unsigned char doubled[] = {20, 0, 0, 40, 7, 7};
    unsigned char closer[] = {20, 1, 2, 30, 3, 4};
    unsigned char reversed[] = {20, 255, 255, 10, 255, 255};
    EXPECT_DOUBLE_EQ(processor.calcCoeff_Full(doubled), 1.0);
    EXPECT_NEAR(processor.calcCoeff_Full(closer), 0.98916, 5e-6);
    EXPECT_NEAR(processor.calcCoeff_Full(reversed), 0.71429, 5e-6);
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
    MainProcessor processor(0, 0, 2, 1, names, "/out", 1025, false);
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
    unsigned char doubled[] = {20, 0, 0, 40, 0, 0};
    EXPECT_DOUBLE_EQ(processor.calcCoeff_Scaled(doubled), 1.0);

    // A count beyond the patch is held to the patch.
    processor.calc_ssqX(600, false);
    EXPECT_EQ(processor.refCountScaled, 6);
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

TEST(Scan, NeverScoresTheLastColumnOrTheLastTwoRows) {
    // 20 x 15 buffer, 5 x 4 patch: xLast = 15, yLast = 11.
    const Patch patch(5, 4, 3);
    ScanField lastColumn(20, 15, 4);
    lastColumn.paste(patch.pixels, 5, 4, 16, 5);
    EXPECT_LE(scan(lastColumn, patch).x, 15);

    for (int row : {11, 12}) {
        ScanField lastRows(20, 15, 5);
        lastRows.paste(patch.pixels, 5, 4, 7, row);
        const Position best = scan(lastRows, patch);
        EXPECT_TRUE(best.found());
        EXPECT_LE(best.y, 10) << row;
    }

    // The last scanned position itself is reachable.
    ScanField corner(20, 15, 6);
    corner.paste(patch.pixels, 5, 4, 15, 10);
    EXPECT_EQ(scan(corner, patch).x, 15);
    EXPECT_EQ(scan(corner, patch).y, 10);
}

TEST(Scan, PatchesAtTheLimitsScanOnlyPositionsThatFit) {
    // yLast == 1: only (1, 1), though a perfect match sits further right.
    {
        ScanField field(20, 5, 7);
        const Patch patch(5, 4, 8);
        field.paste(patch.pixels, 5, 4, 6, 1);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, 1);
        EXPECT_EQ(best.y, 1);
    }
    // As wide as the buffer: column 1, rows 1 .. yLast - 1.
    {
        ScanField field(5, 12, 9);
        const Patch patch(5, 4, 10);
        field.paste(patch.pixels, 5, 4, 1, 6);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, 1);
        EXPECT_EQ(best.y, 6);
    }
    // As high as the buffer: row 1, columns 1 .. xLast.
    {
        ScanField field(14, 4, 11);
        const Patch patch(5, 4, 12);
        field.paste(patch.pixels, 5, 4, 8, 1);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, 8);
        EXPECT_EQ(best.y, 1);
    }
    // One column narrower and one row lower (the unending case): (1, 1).
    {
        ScanField field(6, 5, 13);
        const Patch patch(5, 4, 14);
        field.paste(patch.pixels, 5, 4, 2, 1);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, 1);
        EXPECT_EQ(best.y, 1);
    }
    // The buffer's own size: the one position there is.
    {
        ScanField field(5, 4, 15);
        const Patch patch(5, 4, 16);
        const Position best = scan(field, patch);
        EXPECT_EQ(best.x, 1);
        EXPECT_EQ(best.y, 1);
    }
    // Larger than the buffer: nothing.
    {
        ScanField field(5, 4, 17);
        EXPECT_FALSE(scan(field, Patch(6, 4, 18)).found());
        EXPECT_FALSE(scan(field, Patch(5, 5, 19)).found());
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
