// Placeholder until validation is built.
#include "UI_TLCrop.h"
bool UI_TLCrop::validateImages() { return false; }
void UI_TLCrop::onRevalidate(wxCommandEvent&) {}
