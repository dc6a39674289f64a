// Placeholder until the automatic run is built.
#include "UI_TLCrop.h"
void UI_TLCrop::mainProcedure(int, int) {}
void UI_TLCrop::onAutoStart(wxCommandEvent&) {}
void UI_TLCrop::onThreadUpdate(wxCommandEvent&) {}
