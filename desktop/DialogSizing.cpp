#include "DialogSizing.h"

#include <wx/sizer.h>
#include <wx/toplevel.h>

namespace {

wxSize fittingClientSize(wxTopLevelWindow* window) {
    return window->GetSizer()->ComputeFittingClientSize(window);
}

// Follows a window's size events from its first showing on. Until the
// window is on the screen, GTK's sizes of its controls are estimates, so the
// client area is fitted again once they are real. The window manager's
// frame arrives later still: when it changes the outer size around an
// unchanged client area, the window is centred for the new outer size. A
// client size that the program sets later is left as it is.
class PlacementKeeper {
public:
    explicit PlacementKeeper(wxTopLevelWindow* window)
        : window_(window), client_(window->GetClientSize()), outer_(window->GetSize()) {}

    void operator()(wxSizeEvent& event) {
        event.Skip();
        if (!window_->IsShown()) return;
        const wxSize client = window_->GetClientSize();
        if (!fitted_) {
            const wxSize wanted = fittingClientSize(window_);
            if (client != wanted) {
                // Setting it sends the size event that goes on from here.
                window_->SetClientSize(wanted);
                return;
            }
            fitted_ = true;
        } else if (client != client_) {
            client_ = client;
            outer_ = window_->GetSize();
            return;
        }
        client_ = client;
        if (window_->GetSize() != outer_) {
            outer_ = window_->GetSize();
            window_->Centre(wxBOTH);
        }
    }

private:
    wxTopLevelWindow* window_;
    bool fitted_ = false;
    wxSize client_;
    wxSize outer_;
};

}  // namespace

void fitAndCentre(wxTopLevelWindow* window) {
    window->SetClientSize(fittingClientSize(window));
    window->Centre(wxBOTH);
    window->Bind(wxEVT_SIZE, PlacementKeeper(window));
}
