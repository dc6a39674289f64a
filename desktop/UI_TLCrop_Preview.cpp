// Placeholder until the preview is built.
#include "UI_TLCrop.h"
wxBitmap UI_TLCrop::setupBitmap(int) { return wxBitmap(); }
void UI_TLCrop::paintEvent(wxPaintEvent&) {}
void UI_TLCrop::cropArea() {}
void UI_TLCrop::safetyArea() {}
void UI_TLCrop::cropDefinition(int, int) {}
void UI_TLCrop::onMouse(wxMouseEvent&) {}
void UI_TLCrop::onToggleSafeArea(wxCommandEvent&) {}
void UI_TLCrop::onSetCrop(wxCommandEvent&) {}
