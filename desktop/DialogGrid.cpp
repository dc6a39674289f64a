#include "DialogGrid.h"

#include <wx/gbsizer.h>

wxGridBagSizer* newDialogGrid() {
    auto* grid = new wxGridBagSizer(0, 0);
    grid->SetFlexibleDirection(wxBOTH);
    grid->SetNonFlexibleGrowMode(wxFLEX_GROWMODE_SPECIFIED);
    return grid;
}
