#pragma once
// Pixel-exact comparison of pictures, for tests that check where a crop was
// cut: the expected rectangle of a source, and a match that names the first
// differing pixel.

#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace testsupport {

// The rectangle at 0-based top-left (x, y) as a picture of its own.
inline Picture cropPicture(const Picture& picture, int x, int y, int width, int height) {
    Picture out;
    out.width = width;
    out.height = height;
    out.rgb = cropRgb(picture, x, y, width, height);
    return out;
}

// Same size and bytes; on failure names the first differing pixel.
inline ::testing::AssertionResult samePixels(const Picture& actual, const Picture& expected) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure()
               << "size " << actual.width << " x " << actual.height << ", expected "
               << expected.width << " x " << expected.height;
    for (std::size_t i = 0; i < actual.rgb.size(); ++i)
        if (actual.rgb[i] != expected.rgb[i]) {
            const std::size_t pixel = i / 3;
            return ::testing::AssertionFailure()
                   << "pixel (" << pixel % actual.width << ", " << pixel / actual.width << ") byte "
                   << i % 3 << " is " << int(actual.rgb[i]) << ", expected "
                   << int(expected.rgb[i]);
        }
    return ::testing::AssertionSuccess();
}

}  // namespace testsupport
