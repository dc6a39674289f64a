// Placeholder until the settings file is built.
#include "UI_TLCrop.h"
bool UI_TLCrop::readINI() { return true; }
bool UI_TLCrop::writeINI() { return true; }
