// Placeholder until the manual crop is built.
#include "UI_TLCrop.h"
void UI_TLCrop::onCropImage(wxCommandEvent&) {}
void UI_TLCrop::cropRoutine() {}
void UI_TLCrop::autoSave(int, wxImage) {}
