#include "ScreenPlacement.h"

#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <chrono>

#include <dlfcn.h>
// Xlib last: its short macro names would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace placement {

namespace {

// The X window of a top-level window. The toolkit has loaded GTK, whose
// headers the build does not have, so its two calls are looked up.
::Window xWindowOf(wxTopLevelWindow* window) {
    using WidgetWindow = void* (*)(void*);
    using WindowXid = ::Window (*)(void*);
    const auto widgetWindow =
        reinterpret_cast<WidgetWindow>(dlsym(RTLD_DEFAULT, "gtk_widget_get_window"));
    const auto xid = reinterpret_cast<WindowXid>(dlsym(RTLD_DEFAULT, "gdk_x11_window_get_xid"));
    void* gdkWindow = widgetWindow ? widgetWindow(window->GetHandle()) : nullptr;
    return gdkWindow && xid ? xid(gdkWindow) : 0;
}

class Connection {
public:
    Connection() : display_(XOpenDisplay(nullptr)) {}
    ~Connection() {
        if (display_) XCloseDisplay(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    ScreenState stateOf(::Window window) const {
        ScreenState state;
        if (!display_ || !window) return state;
        XSync(display_, False);
        const ::Window root = DefaultRootWindow(display_);
        long wmCheck = 0;
        state.windowManager = readLongs(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &wmCheck, 1);

        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window, &attributes)) return state;
        state.viewable = attributes.map_state == IsViewable;
        int x = 0;
        int y = 0;
        ::Window child = 0;
        XTranslateCoordinates(display_, window, root, 0, 0, &x, &y, &child);
        state.client = wxRect(x, y, attributes.width, attributes.height);

        long extents[4] = {0, 0, 0, 0};  // left, right, top, bottom
        state.framed = readLongs(window, "_NET_FRAME_EXTENTS", XA_CARDINAL, extents, 4);
        state.outer =
            wxRect(x - extents[0], y - extents[2], attributes.width + extents[0] + extents[1],
                   attributes.height + extents[2] + extents[3]);
        return state;
    }

    // openbox, starved of the processor while it starts, can sit on events
    // it has already read until another arrives: a property change on the
    // root window, which it watches, is one more.
    void nudgeWindowManager() const {
        if (!display_) return;
        const long beat = 1;
        XChangeProperty(display_, DefaultRootWindow(display_),
                        XInternAtom(display_, "_TELLVAR_TEST_NUDGE", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&beat), 1);
        XFlush(display_);
    }

private:
    bool readLongs(::Window window, const char* name, Atom type, long* values, int count) const {
        Atom actualType = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const int status =
            XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, count,
                               False, type, &actualType, &format, &items, &after, &data);
        const bool found =
            status == Success && data && format == 32 && items == static_cast<unsigned long>(count);
        if (found) {
            for (int i = 0; i < count; ++i) values[i] = reinterpret_cast<long*>(data)[i];
        }
        if (data) XFree(data);
        return found;
    }

    Display* display_;
};

}  // namespace

std::vector<std::string> showUntilRight(wxTopLevelWindow* window, bool modal,
                                        const Problems& problems) {
    using Clock = std::chrono::steady_clock;
    const Connection connection;
    // A window manager starved of the processor can take long to map and
    // frame a window; that is no fault of the window, so it is waited for
    // apart. Once up, the window has ten seconds to settle.
    const auto upBy = Clock::now() + std::chrono::seconds(120);
    Clock::time_point rightBy;
    Clock::time_point nudgeAt = Clock::now() + std::chrono::seconds(1);
    bool up = false;
    std::vector<std::string> found{"never looked at"};
    wxGUIEventLoop loop;

    // Each tick looks at the window as the X server has it; events are
    // handled in between, so the window manager's and the toolkit's answers
    // arrive as they come.
    wxTimer tick;
    tick.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        const ScreenState state = connection.stateOf(xWindowOf(window));
        const Clock::time_point now = Clock::now();
        if (!up) {
            up = state.viewable && (state.framed || !state.windowManager);
            if (up) rightBy = now + std::chrono::seconds(10);
        }
        if (up) {
            found = problems(state);
            if (!found.empty() && now < rightBy) return;
        } else {
            found = {state.viewable ? "not framed by the window manager" : "not on the screen"};
            if (now >= nudgeAt) {
                connection.nudgeWindowManager();
                nudgeAt = now + std::chrono::seconds(1);
            }
            if (now < upBy) return;
        }
        tick.Stop();
        if (modal)
            static_cast<wxDialog*>(window)->EndModal(wxID_CANCEL);
        else
            loop.Exit();
    });
    tick.Start(20);
    if (modal) {
        static_cast<wxDialog*>(window)->ShowModal();
    } else {
        window->Show();
        loop.Run();
        window->Hide();
    }
    return found;
}

}  // namespace placement
