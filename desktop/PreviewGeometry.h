#pragma once
// Geometry of the preview panel: fitting an image into the panel, centring
// and dragging the crop rectangle, the safe-area frame and the reticle.
// Plain integer arithmetic, free of any window, so that every rounding and
// clamping rule can be checked on its own.

#include <array>

namespace preview {

// The preview panel's size in panel pixels.
constexpr int kPanelWidth = 800;
constexpr int kPanelHeight = 600;

// Panel margin, beyond the scaled search perimeter, that keeps a dragged
// rectangle (and the safe-area frame) off the edge of a scaled preview.
constexpr int kScaledMargin = 10;
// The unscaled safe-area frame sits this far outside the search perimeter.
constexpr int kUnscaledFrameOffset = 2;

// floor(v + 0.5) in double precision, then converted to int: the one rounding
// rule for every scaled size and position.
int roundHalfUp(double v);

// n / 2 truncated, the way centred positions are computed.
constexpr int half(int n) { return n / 2; }

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// How the loaded image sits on the panel.
struct View {
    int imageWidth = 0;
    int imageHeight = 0;
    bool scaled = false;
    int previewWidth = 0;   // meaningful only while scaled
    int previewHeight = 0;  // meaningful only while scaled

    // Panel pixels per image pixel; 1 on an unscaled preview.
    double scaleX() const;
    double scaleY() const;
    // Width and height of the picture on the panel.
    int shownWidth() const { return scaled ? previewWidth : imageWidth; }
    int shownHeight() const { return scaled ? previewHeight : imageHeight; }
};

// Fits an image into a panel, keeping its aspect ratio. An image no larger
// than the panel in either direction is shown unscaled (scaled == false and
// the preview size left at 0).
View fitImage(int imageWidth, int imageHeight, int panelWidth, int panelHeight);

// A crop rectangle as drawn on the panel and as held in image pixels.
struct Placement {
    Rect drawn;     // panel pixels
    int cropX = 0;  // image column of the top-left pixel, from 0
    int cropY = 0;  // image row of the top-left pixel, from 0
};

// Centres a crop of cropWidth x cropHeight image pixels on the image. On a
// scaled preview the drawn size is the crop size scaled and rounded. A crop
// larger than the image on an axis cannot be centred inside it; it is pinned
// to the image's left (top) edge instead, so the position never turns
// negative.
Placement centreCrop(const View& view, int cropWidth, int cropHeight);

// Moves the crop's top-left corner to the panel position (x, y) and clamps
// it: first to the search-perimeter margins (right and bottom bounds, then
// left and top, the latter winning when the rectangle does not fit between
// them), then, where the margins alone would let it reach past the image,
// to the image itself: flush with the right (bottom) edge, or at the left
// (top) edge when the crop is larger than the image.
Placement dragCrop(const View& view, int cropWidth, int cropHeight, int searchPerimeter, int x,
                   int y);

// The dotted safe-area frame in panel pixels.
Rect safeArea(const View& view, int searchPerimeter);

// Radii of the three reticle circles for a rectangle drawn w panel pixels
// wide, innermost first.
std::array<int, 3> reticleRadii(int drawnWidth);

}  // namespace preview
