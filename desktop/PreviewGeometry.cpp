#include "PreviewGeometry.h"

#include <algorithm>
#include <cmath>

namespace preview {

int roundHalfUp(double v) { return static_cast<int>(std::floor(v + 0.5)); }

double View::scaleX() const {
    return scaled && imageWidth > 0 ? static_cast<double>(previewWidth) / imageWidth : 1.0;
}

double View::scaleY() const {
    return scaled && imageHeight > 0 ? static_cast<double>(previewHeight) / imageHeight : 1.0;
}

View fitImage(int imageWidth, int imageHeight, int panelWidth, int panelHeight) {
    View view;
    view.imageWidth = imageWidth;
    view.imageHeight = imageHeight;
    if (imageWidth <= panelWidth && imageHeight <= panelHeight) return view;

    view.scaled = true;
    if (imageWidth > imageHeight) {
        const double s = static_cast<double>(panelWidth) / imageWidth;
        view.previewWidth = roundHalfUp(imageWidth * s);
        const int h = roundHalfUp(imageHeight * s);
        if (h > panelHeight) {
            // A wide image that is still too high after fitting the width:
            // scale the rounded preview again, not the image, so both sides
            // shrink from the integers just found.
            const double t = static_cast<double>(panelHeight) / h;
            view.previewHeight = roundHalfUp(h * t);
            view.previewWidth = roundHalfUp(view.previewWidth * t);
        } else {
            view.previewHeight = h;
        }
    } else {
        // Square or portrait: the panel is wider than high, so fitting the
        // height always leaves the width inside.
        const double s = static_cast<double>(panelHeight) / imageHeight;
        view.previewWidth = roundHalfUp(imageWidth * s);
        view.previewHeight = roundHalfUp(imageHeight * s);
    }
    return view;
}

namespace {

// One axis of a view, so that the horizontal and vertical rules share code.
struct Axis {
    int imageSize;
    int shownSize;  // picture size on the panel
    double scale;
    bool scaled;
};

Axis horizontal(const View& v) { return {v.imageWidth, v.shownWidth(), v.scaleX(), v.scaled}; }
Axis vertical(const View& v) { return {v.imageHeight, v.shownHeight(), v.scaleY(), v.scaled}; }

int drawnSize(const Axis& axis, int cropSize) {
    return axis.scaled ? roundHalfUp(cropSize * axis.scale) : cropSize;
}

// Panel position and image position of one axis of a dragged rectangle.
struct AxisPosition {
    int panel;
    int image;
};

AxisPosition dragAxis(const Axis& axis, int cropSize, int searchPerimeter, int wanted) {
    const int size = drawnSize(axis, cropSize);
    const int perimeter = axis.scaled ? roundHalfUp(axis.scale * searchPerimeter) : searchPerimeter;
    const int margin = axis.scaled ? kScaledMargin : 0;
    const auto toImage = [&axis](int panel) { return roundHalfUp(panel / axis.scale); };

    AxisPosition pos{wanted, toImage(wanted)};
    const int upper = axis.shownSize - size - perimeter - margin;
    const int lower = perimeter + margin;
    if (pos.panel >= upper) pos = {upper, toImage(upper)};
    if (pos.panel <= lower) pos = {lower, toImage(lower)};

    // The margins keep the rectangle inside the image only while the crop
    // fits between them. Otherwise hold it to the image: the right (bottom)
    // edge if that is enough, the left (top) edge for a crop larger than the
    // image, which then cannot be cut at all.
    const int lastImagePos = std::max(0, axis.imageSize - cropSize);
    if (pos.image < 0 || pos.image > lastImagePos) {
        pos.image = std::clamp(pos.image, 0, lastImagePos);
        const int lastPanelPos = std::max(0, axis.shownSize - size);
        pos.panel = axis.scaled ? roundHalfUp(pos.image * axis.scale) : pos.image;
        pos.panel = std::clamp(pos.panel, 0, lastPanelPos);
    }
    return pos;
}

}  // namespace

Placement centreCrop(const View& view, int cropWidth, int cropHeight) {
    const auto centre = [](const Axis& axis, int cropSize, int& panel, int& drawn, int& image) {
        drawn = drawnSize(axis, cropSize);
        if (cropSize > axis.imageSize) {
            panel = 0;
            image = 0;
            return;
        }
        image = half(axis.imageSize) - half(cropSize);
        panel = axis.scaled ? half(axis.shownSize) - half(drawn) : image;
    };
    Placement placement;
    centre(horizontal(view), cropWidth, placement.drawn.x, placement.drawn.width, placement.cropX);
    centre(vertical(view), cropHeight, placement.drawn.y, placement.drawn.height, placement.cropY);
    return placement;
}

Placement dragCrop(const View& view, int cropWidth, int cropHeight, int searchPerimeter, int x,
                   int y) {
    const Axis across = horizontal(view);
    const Axis down = vertical(view);
    // The right and bottom bounds are applied before the left and top ones,
    // so that the left and top win for a crop too large for the margins.
    const AxisPosition px = dragAxis(across, cropWidth, searchPerimeter, x);
    const AxisPosition py = dragAxis(down, cropHeight, searchPerimeter, y);

    Placement placement;
    placement.drawn = {px.panel, py.panel, drawnSize(across, cropWidth),
                       drawnSize(down, cropHeight)};
    placement.cropX = px.image;
    placement.cropY = py.image;
    return placement;
}

Rect safeArea(const View& view, int searchPerimeter) {
    if (view.scaled) {
        const int insetX = roundHalfUp(view.scaleX() * searchPerimeter) + kScaledMargin;
        const int insetY = roundHalfUp(view.scaleY() * searchPerimeter) + kScaledMargin;
        return {insetX, insetY, view.previewWidth - 2 * insetX, view.previewHeight - 2 * insetY};
    }
    const int inset = searchPerimeter + kUnscaledFrameOffset;
    return {inset, inset, view.imageWidth - 2 * inset, view.imageHeight - 2 * inset};
}

std::array<int, 3> reticleRadii(int drawnWidth) {
    const int r = roundHalfUp(drawnWidth * 0.04);
    return {r / 3, roundHalfUp(1.5 * r), roundHalfUp(2.5 * r)};
}

}  // namespace preview
