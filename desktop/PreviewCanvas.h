#pragma once
// What the preview panel shows: a picture at (0, 0) and the outlines drawn
// over it since the picture was last put there, in drawing order.
//
// The main window's preview operations record here what they draw, and the
// panel's paint handler replays it. Drawing straight onto a client DC would
// be lost at the next expose (and does nothing at all on some GTK back-ends),
// so the state is kept and painted whole every time.

#include "PreviewGeometry.h"

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/pen.h>

#include <vector>

class wxDC;

class PreviewCanvas {
public:
    // An outline drawn over the picture.
    struct Outline {
        enum class Kind { Rectangle, Ellipse };
        enum class Role { SafeArea, CropMark };
        Kind kind;
        Role role;
        preview::Rect rect;
        wxColour colour;
        wxPenStyle style;
    };

    // An empty panel: no picture and no outlines.
    void clear();
    // The picture, at (0, 0); drawing it covers every outline.
    void showPicture(const wxBitmap& picture);
    // The dotted safe-area frame.
    void addSafeArea(const preview::Rect& frame);
    // The crop rectangle in the given colour, with the reticle circles of
    // radii[] centred in it when withReticle. Replaces an earlier crop mark:
    // there is one crop rectangle, and showing it twice would show two.
    void setCropMark(const preview::Rect& rect, const wxColour& colour, bool withReticle);

    const wxBitmap& picture() const { return picture_; }
    const std::vector<Outline>& outlines() const { return outlines_; }
    // The crop rectangle now shown, if any.
    const Outline* cropRectangle() const;
    // The safe-area frame now shown, if any.
    const Outline* safeAreaFrame() const;

    // Paints the panel: background, picture, outlines in the order drawn.
    void render(wxDC& dc, const wxColour& background) const;
    // Paints the start screen alone.
    void renderStartScreen(wxDC& dc, const wxColour& background) const;

private:
    wxBitmap picture_;
    std::vector<Outline> outlines_;
    mutable wxBitmap startScreen_;  // decoded on first use
};
