// Placeholder until the crop modes are built.
#include "UI_TLCrop.h"
void UI_TLCrop::setupUI(int) {}
void UI_TLCrop::changeMode() {}
void UI_TLCrop::onModeChange(wxCommandEvent&) {}
void UI_TLCrop::onFileFormat(wxCommandEvent&) {}
void UI_TLCrop::onStackSelect(wxCommandEvent&) {}
void UI_TLCrop::onOptions(wxCommandEvent&) {}
