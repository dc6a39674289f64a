// The preview: the loaded image fitted into the panel, the crop rectangle
// with its reticle, the safe-area frame, dragging, and the commands that set
// the crop size and toggle the frame.
//
// Every operation records what it draws in previewCanvas and refreshes the
// panel; the panel's paint handler draws the whole picture from there,
// double-buffered, so what the user sees survives being covered and shown
// again.

#include "CommandIds.h"
#include "UI_TLCrop.h"

#include "UI_SetCropArea.h"

#include <wx/dcbuffer.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>

namespace {

// The largest search perimeter an image that fits the panel unscaled takes.
constexpr int kSmallImagePerimeterLimit = 30;

}  // namespace

void UI_TLCrop::initPreview() {
    // Painted whole by paintEvent, so the toolkit must not erase it first.
    previewPanel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    previewPanel->Bind(wxEVT_PAINT, &UI_TLCrop::paintEvent, this);
}

preview::View UI_TLCrop::previewView() const {
    preview::View view;
    view.imageWidth = imageWidth;
    view.imageHeight = imageHeight;
    view.scaled = previewScaled;
    view.previewWidth = previewWidth;
    view.previewHeight = previewHeight;
    return view;
}

wxBitmap UI_TLCrop::setupBitmap(int mode) {
    if (mode == kRedrawBitmap) {
        if (!currentImage.IsOk()) return wxBitmap();
        const int width = previewScaled ? previewWidth : imageWidth;
        const int height = previewScaled ? previewHeight : imageHeight;
        if (width <= 0 || height <= 0) return wxBitmap();
        return wxBitmap(currentImage.Scale(width, height, wxIMAGE_QUALITY_NORMAL));
    }

    // Fit: the panel is cleared and a new preview size found for the image;
    // the caller draws the result.
    previewCanvas.clear();
    previewPanel->Refresh();
    if (!currentImage.IsOk() || imageWidth <= 0 || imageHeight <= 0) return wxBitmap();

    wxSize panel = previewPanel->GetClientSize();
    if (panel.x <= 0 || panel.y <= 0) panel = wxSize(preview::kPanelWidth, preview::kPanelHeight);
    const preview::View view = preview::fitImage(imageWidth, imageHeight, panel.x, panel.y);
    previewScaled = view.scaled;
    wxBitmap bitmap;
    if (view.scaled) {
        previewWidth = view.previewWidth;
        previewHeight = view.previewHeight;
        bitmap = wxBitmap(currentImage.Scale(previewWidth, previewHeight, wxIMAGE_QUALITY_NORMAL));
    } else {
        bitmap = wxBitmap(currentImage);
    }
    return bitmap;
}

void UI_TLCrop::drawPreview(const wxBitmap& bitmap) {
    previewCanvas.showPicture(bitmap);
    previewPanel->Refresh();
}

void UI_TLCrop::redrawPreview() { drawPreview(setupBitmap(kRedrawBitmap)); }

void UI_TLCrop::drawStartScreen() {
    previewCanvas.clear();
    previewPanel->Refresh();
}

void UI_TLCrop::renderPreview(wxDC& dc) {
    const wxColour background = previewPanel->GetBackgroundColour();
    if (imagesLoaded)
        previewCanvas.render(dc, background);
    else
        previewCanvas.renderStartScreen(dc, background);
}

void UI_TLCrop::paintEvent(wxPaintEvent& event) {
    // The frame's own paint events reach this handler too (through the
    // event table); only the preview panel is drawn here.
    if (event.GetEventObject() != previewPanel) {
        event.Skip();
        return;
    }
    wxAutoBufferedPaintDC dc(previewPanel);
    renderPreview(dc);
}

void UI_TLCrop::showCropPlacement(const preview::Placement& placement) {
    if (previewScaled) {
        displayCropWidth = placement.drawn.width;
        displayCropHeight = placement.drawn.height;
    }
    previewCanvas.setCropMark(placement.drawn, reticleColour(options), options.useReticle);
    cropX = placement.cropX;
    cropY = placement.cropY;
}

void UI_TLCrop::cropArea() {
    showCropPlacement(preview::centreCrop(previewView(), cropWidth, cropHeight));
    cropDefined = true;
    previewPanel->Refresh();
}

void UI_TLCrop::safetyArea() {
    previewCanvas.addSafeArea(preview::safeArea(previewView(), options.searchPerimeter));
    previewPanel->Refresh();
}

void UI_TLCrop::cropDefinition(int x, int y) {
    // The drawn size follows the crop size at the present scale: a size kept
    // from a rectangle centred on an image of another scale would let the
    // clamps place the crop past the image's edge.
    showCropPlacement(
        preview::dragCrop(previewView(), cropWidth, cropHeight, options.searchPerimeter, x, y));
    if (showSafeArea) safetyArea();
    previewPanel->Refresh();
}

void UI_TLCrop::limitPerimeterForSmallImage() {
    if (previewScaled || options.searchPerimeter <= kSmallImagePerimeterLimit) return;
    wxMessageBox(
        "Your current search perimeter is greater then 30. This is not supported when you "
        "load images smaller than 800 x 600.\n\nYour search perimeter has been reduced "
        "to 30. ",
        wxMessageBoxCaptionStr, wxOK | wxCENTRE);
    options.searchPerimeter = kSmallImagePerimeterLimit;
    writeINI();
}

void UI_TLCrop::onMouse(wxMouseEvent& event) {
    // Before the first crop size there is no rectangle to move.
    if (!imagesLoaded || !cropDefined) return;
    if (event.GetId() != idPreviewPanel) return;
    if (event.GetEventType() != wxEVT_MOTION || !event.LeftIsDown()) return;
    redrawPreview();
    cropDefinition(event.GetX(), event.GetY());
}

void UI_TLCrop::onToggleSafeArea(wxCommandEvent&) {
    if (!imagesLoaded) return;
    showSafeArea = !showSafeArea;
    redrawPreview();
    if (showSafeArea) safetyArea();
    if (cropDefined) cropArea();
}

namespace {

// Size of the image file at path, or an invalid size when it cannot be read.
wxSize imageFileSize(const wxString& path) {
    wxLogNull quiet;
    wxImage image;
    if (!image.LoadFile(path, wxBITMAP_TYPE_ANY, -1)) return wxDefaultSize;
    return image.GetSize();
}

}  // namespace

void UI_TLCrop::onSetCrop(wxCommandEvent&) {
    // The command is enabled only once an image is loaded; a crop size
    // checked against no image at all would mean nothing.
    if (!imagesLoaded) return;
    if (options.cropMode != kManualMode && multipleImages && !referenceSet) {
        wxMessageBox(
            "You have not set a reference frame.\n\nThe fully automatic mode requires the "
            "user to set a reference frame.\n\nPlease look through your image list and "
            "choose a suitable image to serve as your reference.",
            "ERROR", wxICON_ERROR);
        return;
    }

    // The depth of the bitmap on the panel, not of the file.
    const wxBitmap shown = setupBitmap(kRedrawBitmap);
    const wxString bitDepth = wxString::Format("%d", shown.IsOk() ? shown.GetDepth() : 0);

    // With several images the crop is placed on the reference frame (the
    // first image in the manual mode), which may not be the one on show.
    // The dialog checks the crop against that image, so that an accepted
    // crop always fits the image it is centred on.
    int targetRow = -1;
    wxSize bounds = currentImage.IsOk() ? currentImage.GetSize() : wxSize(0, 0);
    if (multipleImages) {
        targetRow = options.cropMode != kManualMode ? referenceIndex : 0;
        if (targetRow < 0 || targetRow >= static_cast<int>(imagePaths->GetCount())) return;
        // A validated set has one size throughout; otherwise ask the file.
        if (!validated) {
            const wxSize fileSize = imageFileSize((*imagePaths)[targetRow]);
            if (fileSize.IsFullySpecified()) bounds = fileSize;
        }
    }

    bool cancelled = false;
    int width = 0;
    int height = 0;
    UI_SetCropArea* dialog = new UI_SetCropArea("Set Cropping Area", &cancelled, bounds.x, bounds.y,
                                                bitDepth, &width, &height);
    dialog->ShowModal();
    // The dialog hands back a size only through Accept; anything else leaves
    // the crop as it was.
    if (cancelled || width <= 0 || height <= 0) return;

    if (multipleImages) {
        const wxString& path = (*imagePaths)[targetRow];
        // The load has shown its own message; a crop centred on whatever
        // image happens to be on show would not be the one asked for.
        if (!openImage(path)) return;
        popStatusBar(path, 4, false);
        markCropRow(targetRow);
    }

    cropWidth = width;
    cropHeight = height;
    cropArea();
    commands.cropSizeSet();
}
