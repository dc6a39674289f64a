#include "DialogSizing.h"

#include <wx/sizer.h>
#include <wx/toplevel.h>

namespace {

wxSize fittingClientSize(wxTopLevelWindow* window) {
    return window->GetSizer()->ComputeFittingClientSize(window);
}

// Follows a window's size events from its first showing on. Until the
// window is on the screen, GTK's sizes of its controls are estimates, so the
// client area is fitted once more when they are real. The window manager's
// frame arrives later still, and the toolkit may report passing sizes on the
// way: each new outer size is centred again.
class PlacementKeeper {
public:
    explicit PlacementKeeper(wxTopLevelWindow* window)
        : window_(window), outer_(window->GetSize()) {}

    void operator()(wxSizeEvent& event) {
        event.Skip();
        if (!window_->IsShown()) return;
        if (!fitted_) {
            fitted_ = true;
            const wxSize wanted = fittingClientSize(window_);
            if (window_->GetClientSize() != wanted) {
                // Setting it sends the size event that centres the window.
                window_->SetClientSize(wanted);
                return;
            }
        }
        if (window_->GetSize() != outer_) {
            outer_ = window_->GetSize();
            window_->Centre(wxBOTH);
        }
    }

private:
    wxTopLevelWindow* window_;
    bool fitted_ = false;
    wxSize outer_;
};

}  // namespace

void fitAndCentre(wxTopLevelWindow* window) {
    window->SetClientSize(fittingClientSize(window));
    window->Centre(wxBOTH);
    window->Bind(wxEVT_SIZE, PlacementKeeper(window));
}
