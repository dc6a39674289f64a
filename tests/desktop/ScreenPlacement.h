#pragma once
// Where the X server has a top-level window, read over a connection of our
// own rather than through the toolkit, and a real showing that waits for a
// window manager to place and frame the window.

#include <wx/gdicmn.h>

#include <functional>
#include <string>
#include <vector>

class wxTopLevelWindow;

namespace placement {

struct ScreenState {
    bool viewable = false;       // mapped, by the window manager if one runs
    bool windowManager = false;  // a window manager runs on the display
    bool framed = false;         // it has told the size of its frame
    wxRect client;               // the toolkit's own X window, on the screen
    wxRect outer;                // the window with the frame around it
};

using Problems = std::function<std::vector<std::string>(const ScreenState&)>;

// Shows the window for real, modally when `modal`, and lets the toolkit and
// the window manager work until `problems` finds nothing wrong with where
// the X server has the window. It is asked once the window is on the screen
// (and framed, where a window manager runs), which is waited for apart, for
// up to two minutes; from then on the window has ten seconds. Returns what
// was found last; the window is shown no longer (a modal run has ended) but
// is not destroyed.
std::vector<std::string> showUntilRight(wxTopLevelWindow* window, bool modal,
                                        const Problems& problems);

}  // namespace placement
