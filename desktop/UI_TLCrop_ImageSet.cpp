// Placeholder until the image set is built.
#include "UI_TLCrop.h"
void UI_TLCrop::onOpen(wxCommandEvent&) {}
bool UI_TLCrop::openImage(wxString) { return false; }
void UI_TLCrop::onSelect(wxListEvent&) {}
void UI_TLCrop::onReferenceFrameSet(wxCommandEvent&) {}
void UI_TLCrop::deleteImage() {}
void UI_TLCrop::onDelete(wxCommandEvent&) {}
void UI_TLCrop::onKeyDown(wxListEvent&) {}
int UI_TLCrop::masterReset(int) { return 1500; }
void UI_TLCrop::onMasterReset(wxCommandEvent&) {}
