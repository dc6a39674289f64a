#pragma once
// GTK decides how tall (and, for buttons and drop-downs, how wide) a control
// must be to show its text whole; a control given fewer pixels clips it. The
// dialogs therefore treat their designed sizes as lower bounds.

#include <wx/window.h>

#include <algorithm>

inline void setMinSizeAtLeast(wxWindow* control, const wxSize& designed) {
    const wxSize best = control->GetBestSize();
    control->SetMinSize(wxSize(std::max(designed.x, best.x), std::max(designed.y, best.y)));
}
