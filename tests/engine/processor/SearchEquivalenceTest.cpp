// The fast scan against the straightforward one it replaces: on random
// buffers and patches, top-down and bottom-up, with good, bad and no hints,
// with every instruction set this processor has, both must name the same
// winner with the same score to the last bit.

#include "KernelLevels.h"
#include "TestImages.h"
#include "registration/PositionScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kerneltest::sameBits;
using Tellvar::detail::BufferView;
using Tellvar::detail::PatchStats;
using Tellvar::detail::Position;
using Tellvar::detail::ScanResult;
using Tellvar::detail::SimdLevel;

// A packed buffer of 3-byte pixels.
struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;

    Pixels(int width, int height) : width(width), height(height), bytes(width * height * 3) {}
    unsigned char* at(int x, int row) { return &bytes[(row * width + x) * 3]; }
    BufferView view(bool bottomUp) const { return {bytes.data(), width, height, bottomUp}; }
};

// The patch and its statistics as the processor keeps them.
struct Patch {
    Pixels pixels;
    double sum = 0, ssq = 0;

    explicit Patch(Pixels source) : pixels(std::move(source)) {
        const auto stats = Tellvar::detail::sampleStats(pixels.bytes.data(),
                                                        static_cast<int>(pixels.bytes.size()));
        sum = stats.sum;
        ssq = stats.ssq;
    }
    PatchStats stats() const {
        return {pixels.bytes.data(),
                pixels.width,
                pixels.height,
                static_cast<int>(pixels.bytes.size()),
                sum,
                ssq};
    }
};

// The buffer rows (0-based, as stored) at (x, bufferRow), w x h.
Pixels cutStored(const Pixels& from, int x, int bufferRow, int width, int height) {
    Pixels out(width, height);
    for (int r = 0; r < height; ++r)
        std::memcpy(out.at(0, r), &from.bytes[((bufferRow + r) * from.width + x) * 3], width * 3);
    return out;
}

std::string describe(const ScanResult& result) {
    std::ostringstream text;
    text.precision(17);
    text << "(" << result.position.x << ", " << result.position.y << ") score " << result.score;
    return text.str();
}

// The reference's result, which every fast scan must repeat exactly.
ScanResult expectSameAsReference(const BufferView& searched, const PatchStats& reference,
                                 Position hint) {
    const ScanResult expected = Tellvar::detail::referenceSearch(searched, reference);
    for (SimdLevel level : kerneltest::supportedLevels()) {
        const ScanResult fast = Tellvar::detail::fastSearch(searched, reference, level, hint);
        EXPECT_TRUE(fast.position.x == expected.position.x &&
                    fast.position.y == expected.position.y && sameBits(fast.score, expected.score))
            << kerneltest::levelName(level) << " hint (" << hint.x << ", " << hint.y << "): fast "
            << describe(fast) << ", reference " << describe(expected);
    }
    return expected;
}

// Content families: noise, a star field, and a star field with a flat
// region, black or grey (undefined scores).
Pixels randomContent(int width, int height, int family, std::mt19937& random) {
    Pixels out(width, height);
    if (family == 0) {
        for (unsigned char& v : out.bytes) v = static_cast<unsigned char>(random());
        return out;
    }
    const testsupport::Picture sky = testsupport::makeStarField(width, height, random());
    out.bytes.assign(sky.rgb.begin(), sky.rgb.end());
    if (family >= 2) {
        const int value = family == 2 ? 0 : 18;
        const int x0 = static_cast<int>(random() % width), y0 = static_cast<int>(random() % height);
        for (int row = y0; row < std::min(height, y0 + height / 2); ++row)
            for (int x = x0; x < std::min(width, x0 + width / 2); ++x)
                std::memset(out.at(x, row), value, 3);
    }
    return out;
}

TEST(SearchEquivalence, RandomBuffersPatchesAndHints) {
    std::mt19937 random(20240607);
    for (int trial = 0; trial < 120; ++trial) {
        const int width = 8 + static_cast<int>(random() % 72);
        const int height = 6 + static_cast<int>(random() % 56);
        const int family = trial % 4;
        const bool bottomUp = trial % 2 == 1;
        const Pixels buffer = randomContent(width, height, family, random);
        const int w = 1 + static_cast<int>(random() % std::min(width, 28));
        const int h = 1 + static_cast<int>(random() % std::min(height, 24));

        // The patch: a piece of the buffer itself, the same piece with a
        // little noise, or unrelated content.
        const int px = static_cast<int>(random() % (width - w + 1));
        const int prow = static_cast<int>(random() % (height - h + 1));
        Pixels patchPixels = cutStored(buffer, px, prow, w, h);
        const int kind = static_cast<int>(random() % 3);
        if (kind == 1)
            for (unsigned char& v : patchPixels.bytes)
                v = static_cast<unsigned char>(std::clamp(int(v) + int(random() % 7) - 3, 0, 255));
        if (kind == 2) patchPixels = randomContent(w, h, 0, random);
        const Patch patch(std::move(patchPixels));

        SCOPED_TRACE("trial " + std::to_string(trial) + ": " + std::to_string(width) + " x " +
                     std::to_string(height) + ", patch " + std::to_string(w) + " x " +
                     std::to_string(h) + (bottomUp ? ", bottom-up" : ""));
        const BufferView view = buffer.view(bottomUp);
        const ScanResult expected = expectSameAsReference(view, patch.stats(), {});
        // The hint only changes the work done, never the answer: at the
        // winner, anywhere, and outside the scanned range.
        expectSameAsReference(view, patch.stats(), expected.position);
        expectSameAsReference(
            view, patch.stats(),
            {1 + static_cast<int>(random() % width), 1 + static_cast<int>(random() % height)});
        expectSameAsReference(view, patch.stats(), {width + 5, -3});
    }
}

TEST(SearchEquivalence, FramesAtRegistrationSizes) {
    // A coarse copy and a fine window as a run meets them, shifted and
    // noisy, so that many candidates score close to the best.
    const testsupport::Picture sky = testsupport::makeStarField(320, 240, 77);
    const testsupport::Picture frame = testsupport::shifted(sky, 3, -2, 3, 78);
    Pixels coarse(320, 240);
    coarse.bytes.assign(frame.rgb.begin(), frame.rgb.end());
    for (bool bottomUp : {false, true}) {
        Pixels reference(320, 240);
        reference.bytes.assign(sky.rgb.begin(), sky.rgb.end());
        const Patch coarsePatch(cutStored(reference, 100, 80, 40, 30));
        expectSameAsReference(coarse.view(bottomUp), coarsePatch.stats(), {101, 81});

        const Patch finePatch(cutStored(reference, 150, 100, 60, 45));
        const Pixels window = cutStored(coarse, 140, 90, 80, 65);
        expectSameAsReference(window.view(bottomUp), finePatch.stats(), {11, 11});
        // The same patch over the whole frame from a hint far from the
        // match: the scan first guesses from halved copies of both.
        expectSameAsReference(coarse.view(bottomUp), finePatch.stats(), {1, 1});
        Pixels oddPatch = cutStored(reference, 150, 101, 65, 47);
        expectSameAsReference(coarse.view(bottomUp), Patch(std::move(oddPatch)).stats(), {250, 3});
    }
}

TEST(SearchEquivalence, FineWindowsOfALargeCrop) {
    // A patch of over a hundred thousand samples takes a scattered head of
    // about a hundred, cut in half once the seed finds the clear match.
    const testsupport::Picture sky = testsupport::makeStarField(640, 480, 91);
    const testsupport::Picture frame = testsupport::shifted(sky, -4, 3, 3, 92);
    Pixels reference(640, 480), shiftedFrame(640, 480);
    reference.bytes.assign(sky.rgb.begin(), sky.rgb.end());
    shiftedFrame.bytes.assign(frame.rgb.begin(), frame.rgb.end());
    const Patch patch(cutStored(reference, 120, 100, 400, 260));
    const Pixels window = cutStored(shiftedFrame, 110, 90, 420, 280);
    for (bool bottomUp : {false, true}) {
        expectSameAsReference(window.view(bottomUp), patch.stats(), {11, 11});
        expectSameAsReference(window.view(bottomUp), patch.stats(), {1, 21});
    }
}

// The first position in scan order whose window equals the patch: rows
// 1 .. H - h + 1, columns 1 .. W - w + 1; a bottom-up buffer's row y is
// stored from row H - (y + h) + 2 (1-based) on.
Position firstExactCopy(const Pixels& buffer, const Pixels& patch, bool bottomUp) {
    for (int y = 1; y <= buffer.height - patch.height + 1; ++y)
        for (int x = 1; x <= buffer.width - patch.width + 1; ++x) {
            const int stored = bottomUp ? buffer.height - (y + patch.height) + 2 : y;
            if (cutStored(buffer, x - 1, stored - 1, patch.width, patch.height).bytes ==
                patch.bytes)
                return {x, y};
        }
    return {};
}

TEST(SearchEquivalence, ContentThatChangesDownTheBuffer) {
    // Smooth shading above (neighbouring windows score alike, so few rows
    // dismiss little and the scan has to compute more of each candidate)
    // and noise below (a few rows dismiss everything, for long stretches):
    // however the scan shares its work between the two, the answer stays.
    std::mt19937 random(31);
    for (int trial = 0; trial < 4; ++trial) {
        Pixels buffer(90, 160);
        for (int row = 0; row < buffer.height; ++row)
            for (int x = 0; x < buffer.width; ++x) {
                const int shade = (x * 2 + row + trial * 9) % 256;
                const int value = row < 70 ? shade : static_cast<int>(random() % 256);
                std::memset(buffer.at(x, row), value, 3);
            }
        const bool bottomUp = trial % 2 == 1;
        // Patches from the noise, one exact and one with a little noise of
        // its own, and one from the shading.
        for (int kind = 0; kind < 3; ++kind) {
            Pixels piece = cutStored(buffer, 20 + trial, kind == 2 ? 10 : 100 + trial, 30, 24);
            if (kind == 1)
                for (unsigned char& v : piece.bytes)
                    v = static_cast<unsigned char>(
                        std::clamp(int(v) + int(random() % 9) - 4, 0, 255));
            const Patch patch(std::move(piece));
            SCOPED_TRACE("trial " + std::to_string(trial) + " kind " + std::to_string(kind));
            expectSameAsReference(buffer.view(bottomUp), patch.stats(), {21 + trial, 101});
        }
    }
}

TEST(SearchEquivalence, CandidatesThatSurviveStageAfterStage) {
    // Slow waves with a little noise: the windows around the match score
    // nearly as well as it, so their bounds stay above the best through
    // several stages of rows and fall one stage after another. With a hint
    // at the match the best is known from the start, with one far from it
    // only as the scan comes near. A patch wider than the row windows hold
    // is bounded at its head alone.
    std::mt19937 random(63);
    Pixels buffer(120, 200);
    for (int row = 0; row < buffer.height; ++row)
        for (int x = 0; x < buffer.width; ++x) {
            const double wave = 60 * std::sin(x / 9.0 + row / 13.0) + 30 * std::cos(row / 7.0);
            std::memset(buffer.at(x, row), static_cast<int>(128 + wave) + int(random() % 5), 3);
        }
    Pixels piece = cutStored(buffer, 50, 60, 40, 96);
    for (unsigned char& v : piece.bytes)
        v = static_cast<unsigned char>(std::clamp(int(v) + int(random() % 7) - 3, 0, 255));
    const Patch patch(std::move(piece));
    const Pixels wide = randomContent(66060, 5, 0, random);
    const Patch widePatch(cutStored(wide, 4, 1, 66052, 3));
    for (bool bottomUp : {false, true}) {
        SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
        expectSameAsReference(buffer.view(bottomUp), patch.stats(), {51, 61});
        expectSameAsReference(buffer.view(bottomUp), patch.stats(), {1, 1});
        expectSameAsReference(wide.view(bottomUp), widePatch.stats(), {5, 2});
    }
}

TEST(SearchEquivalence, PatchesTooLargeToBoundFromFewRows) {
    // Over 370,000 samples: the products of the tail bound's spread pass
    // 2^53 and round, which its margin has to cover.
    std::mt19937 random(12);
    const Pixels buffer = randomContent(4004, 124, 1, random);
    for (bool bottomUp : {false, true}) {
        const Patch patch(cutStored(buffer, 2, 1, 4000, 120));
        expectSameAsReference(buffer.view(bottomUp), patch.stats(), {3, 2});
    }
}

TEST(SearchEquivalence, RowsOfMillionsOfBrightSamples) {
    // A row wide enough that its spread, width x sum of squares, passes 64
    // bits, in a buffer one column wider: the scans agree on the copy at
    // column 2. (The spread only orders rows, the same at every level.)
    const int width = 12'500'000;
    Pixels patchPixels(width, 1);
    for (int x = 0; x < width; ++x)
        patchPixels.bytes[3 * x] = static_cast<unsigned char>(250 + x % 6);
    const Patch patch(std::move(patchPixels));
    Pixels buffer(width + 1, 1);
    std::copy(patch.pixels.bytes.begin(), patch.pixels.bytes.end(), buffer.bytes.begin() + 3);
    const ScanResult expected = Tellvar::detail::referenceSearch(buffer.view(false), patch.stats());
    const ScanResult fast = Tellvar::detail::fastSearch(
        buffer.view(false), patch.stats(), Tellvar::detail::fastestSimdLevel(), {2, 1});
    EXPECT_EQ(expected.position.x, 2);
    EXPECT_EQ(fast.position.x, 2);
    EXPECT_TRUE(sameBits(fast.score, expected.score)) << describe(fast);
}

TEST(SearchEquivalence, EqualScoresKeepTheFirstPositionInScanOrder) {
    // A buffer tiled with one random tile: every window at the same offset
    // modulo the tile is the same pixels, so the patch, cut from a window
    // late in the buffer, scores exactly 1 at many positions. The first of
    // them in scan order must win, in both scans.
    std::mt19937 random(99);
    for (int trial = 0; trial < 8; ++trial) {
        const int tileWidth = 3 + trial % 4, tileHeight = 2 + trial % 3;
        Pixels tile(tileWidth, tileHeight);
        for (unsigned char& v : tile.bytes) v = static_cast<unsigned char>(20 + random() % 200);
        Pixels buffer(48, 36);
        for (int row = 0; row < buffer.height; ++row)
            for (int x = 0; x < buffer.width; ++x)
                std::memcpy(buffer.at(x, row), tile.at(x % tileWidth, row % tileHeight), 3);

        for (bool bottomUp : {false, true}) {
            const Patch patch(cutStored(buffer, 30, 20, 7, 6));
            const Position first = firstExactCopy(buffer, patch.pixels, bottomUp);
            ASSERT_TRUE(first.found());
            const ScanResult result =
                expectSameAsReference(buffer.view(bottomUp), patch.stats(), {31, 21});
            EXPECT_EQ(result.score, 1.0);
            EXPECT_EQ(result.position.x, first.x) << "tile " << tileWidth << " x " << tileHeight;
            EXPECT_EQ(result.position.y, first.y) << "tile " << tileWidth << " x " << tileHeight;
        }
    }
}

TEST(SearchEquivalence, UndefinedAndNonPositiveScoresNeverWin) {
    std::mt19937 random(5);
    Pixels black(40, 30);
    const Patch patch(randomContent(8, 6, 1, random));
    EXPECT_FALSE(expectSameAsReference(black.view(false), patch.stats(), {3, 3}).position.found());

    const Patch blackPatch{Pixels(8, 6)};
    const Pixels field = randomContent(40, 30, 1, random);
    EXPECT_FALSE(
        expectSameAsReference(field.view(true), blackPatch.stats(), {3, 3}).position.found());
}

TEST(SearchEquivalence, PatchesAtTheLimitsOfTheBuffer) {
    std::mt19937 random(8);
    const Pixels buffer = randomContent(20, 15, 1, random);
    const int sizes[][2] = {{20, 10}, {12, 15}, {20, 15}, {19, 14}, {5, 14}, {21, 4}, {4, 16}};
    for (const auto& size : sizes)
        for (bool bottomUp : {false, true}) {
            const int w = size[0], h = size[1];
            const Patch patch(w <= 20 && h <= 15 ? cutStored(buffer, 20 - w, 15 - h, w, h)
                                                 : randomContent(w, h, 0, random));
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
            expectSameAsReference(buffer.view(bottomUp), patch.stats(), {1, 1});
        }
}

}  // namespace
