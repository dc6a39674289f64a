#pragma once
// Helpers for the tests of the program's own dialogs: layout checks and a
// real (not hooked) modal run that cannot hang.

#include <wx/control.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <functional>
#include <string>
#include <vector>

namespace dialogtest {

inline std::string describe(const wxWindow* window) {
    wxString text = window->GetClassInfo()->GetClassName();
    if (!window->GetLabel().empty()) text += " \"" + window->GetLabel() + "\"";
    return std::string(text.utf8_str());
}

// Every shown control that is given less room than it asks for, or that
// reaches outside its parent's client area. GTK clips such a control's text.
inline std::vector<std::string> clippedControls(const wxWindow* parent) {
    std::vector<std::string> clipped;
    const wxSize room = parent->GetClientSize();
    for (const wxWindow* child : parent->GetChildren()) {
        if (!child->IsShown()) continue;
        const wxRect rect = child->GetRect();
        const wxSize wanted = child->GetBestSize();
        // An entry scrolls its text sideways, so only its height can clip.
        const bool widthMatters = !dynamic_cast<const wxTextCtrl*>(child);
        if (dynamic_cast<const wxControl*>(child) &&
            ((widthMatters && rect.width < wanted.x) || rect.height < wanted.y))
            clipped.push_back(describe(child) + " smaller than it asks for");
        if (rect.x < 0 || rect.y < 0 || rect.GetRight() >= room.x || rect.GetBottom() >= room.y)
            clipped.push_back(describe(child) + " outside its parent");
        const std::vector<std::string> inner = clippedControls(child);
        clipped.insert(clipped.end(), inner.begin(), inner.end());
    }
    return clipped;
}

// Runs dialog->ShowModal() for real and, once its loop runs, performs the
// action from a timer, as a click would come, outside the toolkit's idle
// time. Returns false when the loop was still running seconds later (the
// guard then ends it so that the tests go on).
inline bool runModal(wxDialog* dialog, std::function<void()> action) {
    bool timedOut = false;
    wxWeakRef<wxDialog> alive(dialog);
    wxTimer trigger;
    trigger.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { action(); });
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        timedOut = true;
        if (alive && alive->IsModal()) alive->EndModal(wxID_ABORT);
    });
    trigger.StartOnce(100);
    guard.StartOnce(5000);
    dialog->ShowModal();
    trigger.Stop();
    guard.Stop();
    return !timedOut;
}

}  // namespace dialogtest
