#pragma once
// GTK decides how tall (and, for buttons and drop-downs, how wide) a control
// must be to show its text whole; a control given fewer pixels clips it. The
// dialogs therefore treat their designed sizes as lower bounds.
//
// A window manager adds its frame around a top-level window only once the
// window is mapped, and the toolkit learns the frame's size only then. So
// every window is sized by its client area, never by its outer size, and its
// centring is made again whenever the frame changes the outer size.

#include <wx/window.h>

#include <algorithm>

class wxTopLevelWindow;

inline void setMinSizeAtLeast(wxWindow* control, const wxSize& designed) {
    const wxSize best = control->GetBestSize();
    control->SetMinSize(wxSize(std::max(designed.x, best.x), std::max(designed.y, best.y)));
}

// Gives the window the client area that its sizer needs and centres it on
// the screen, now and again once the window manager's frame is known.
void fitAndCentre(wxTopLevelWindow* window);
