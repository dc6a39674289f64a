#include "PreviewCanvas.h"

#include "EmbeddedResources.h"

#include <wx/brush.h>
#include <wx/dc.h>
#include <wx/log.h>

#include <algorithm>

namespace {

const wxColour kSafeAreaColour(200, 200, 200, 255);

}  // namespace

void PreviewCanvas::clear() {
    picture_ = wxBitmap();
    outlines_.clear();
}

void PreviewCanvas::showPicture(const wxBitmap& picture) {
    picture_ = picture;
    outlines_.clear();
}

void PreviewCanvas::addSafeArea(const preview::Rect& frame) {
    outlines_.push_back({Outline::Kind::Rectangle, Outline::Role::SafeArea, frame, kSafeAreaColour,
                         wxPENSTYLE_DOT});
}

void PreviewCanvas::setCropMark(const preview::Rect& rect, const wxColour& colour,
                                bool withReticle) {
    outlines_.erase(
        std::remove_if(outlines_.begin(), outlines_.end(),
                       [](const Outline& o) { return o.role == Outline::Role::CropMark; }),
        outlines_.end());
    outlines_.push_back(
        {Outline::Kind::Rectangle, Outline::Role::CropMark, rect, colour, wxPENSTYLE_SOLID});
    if (!withReticle) return;

    const int centreX = rect.x + preview::half(rect.width);
    const int centreY = rect.y + preview::half(rect.height);
    for (int k : preview::reticleRadii(rect.width)) {
        outlines_.push_back({Outline::Kind::Ellipse,
                             Outline::Role::CropMark,
                             {centreX - k, centreY - k, 2 * k, 2 * k},
                             colour,
                             wxPENSTYLE_SOLID});
    }
}

const PreviewCanvas::Outline* PreviewCanvas::cropRectangle() const {
    for (const Outline& o : outlines_)
        if (o.role == Outline::Role::CropMark && o.kind == Outline::Kind::Rectangle) return &o;
    return nullptr;
}

const PreviewCanvas::Outline* PreviewCanvas::safeAreaFrame() const {
    for (const Outline& o : outlines_)
        if (o.role == Outline::Role::SafeArea) return &o;
    return nullptr;
}

void PreviewCanvas::render(wxDC& dc, const wxColour& background) const {
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    if (picture_.IsOk()) dc.DrawBitmap(picture_, 0, 0, false);

    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    for (const Outline& o : outlines_) {
        dc.SetPen(wxPen(o.colour, 1, o.style));
        const preview::Rect& r = o.rect;
        if (o.kind == Outline::Kind::Rectangle)
            dc.DrawRectangle(r.x, r.y, r.width, r.height);
        else
            dc.DrawEllipse(r.x, r.y, r.width, r.height);
    }
}

void PreviewCanvas::renderStartScreen(wxDC& dc, const wxColour& background) const {
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    // A damaged start-screen picture is not worth a message: the panel simply
    // stays blank.
    wxLogNull quiet;
    if (!startScreen_.IsOk())
        startScreen_ = wxBitmap::NewFromPNGData(FrontScreen_png, FrontScreen_png_size);
    if (startScreen_.IsOk()) dc.DrawBitmap(startScreen_, 0, 0, false);
}
