#pragma once
// Helpers for the tests of the program's own dialogs: the values they are
// opened with, layout checks and a real (not hooked) modal run that cannot hang.

#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "OptionValues.h"
#include "UI_ConfDialog.h"

#include <wx/control.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <functional>
#include <string>
#include <vector>

namespace dialogtest {

// A run summary's values; the folder is not ASCII, so that its text is
// shown, and measured, whole.
inline ImageData sampleData() {
    ImageData data;
    data.cropWidth = 200;
    data.cropHeight = 150;
    data.imageWidth = 1600;
    data.imageHeight = 1200;
    data.imageCount = 12;
    data.outputFormat = guitest::kOutputBmp;
    data.saveFolder = guitest::toWx("/data/night \xc3\xa9t\xc3\xa9 \xe6\x98\x9f/out");
    data.referenceFrame = "m42_0007.bmp";
    return data;
}

// Settings as a saved file gives them to the options dialog.
inline OptionValues storedValues() {
    OptionValues v;
    v.useReticle = true;
    v.stackEnabled = true;
    v.red = 255;
    v.green = 0;
    v.blue = 0;
    v.cropMode = kAutomaticMode;
    v.searchPerimeter = 10;
    v.outputFormat = guitest::kOutputBmp;
    v.saveFolder = "/srv/crops";
    return v;
}

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
