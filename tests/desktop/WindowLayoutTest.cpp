// Every window as the X server shows it, with or without a window manager:
// whole at its designed size, its controls inside it and on the screen, and
// centred on the screen.

#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "ScreenPlacement.h"
#include "UI_About.h"
#include "UI_ConfDialog.h"
#include "UI_OptionsDialog.h"
#include "UI_ProgressDialog.h"
#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/control.h>
#include <wx/display.h>
#include <wx/image.h>
#include <wx/panel.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace guitest;

namespace {

using FixedSizes = std::vector<std::pair<const wxWindow*, wxSize>>;

struct WindowCase {
    const char* name;
    bool modal;
    std::function<wxTopLevelWindow*()> open;  // builds it hidden
    std::function<FixedSizes(wxTopLevelWindow*)> fixedSizes;
};

std::string text(const wxRect& r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + " at (" +
           std::to_string(r.x) + ", " + std::to_string(r.y) + ")";
}

void collectControls(const wxWindow* parent, std::vector<const wxWindow*>* controls) {
    for (const wxWindow* child : parent->GetChildren()) {
        if (!child->IsShown() || child->IsTopLevel()) continue;
        if (dynamic_cast<const wxControl*>(child)) controls->push_back(child);
        collectControls(child, controls);
    }
}

// Everything wrong with the window where the X server has it; nothing once
// it is placed and whole.
std::vector<std::string> layoutProblems(const wxTopLevelWindow* window, const FixedSizes& fixed,
                                        const placement::ScreenState& state) {
    std::vector<std::string> problems;
    const wxRect screen = wxDisplay(window).GetClientArea();
    if (std::abs(2 * (state.outer.x - screen.x) + state.outer.width - screen.width) > 2 ||
        std::abs(2 * (state.outer.y - screen.y) + state.outer.height - screen.height) > 2)
        problems.push_back("frame " + text(state.outer) + " not centred on " + text(screen));

    std::vector<const wxWindow*> controls;
    collectControls(window, &controls);
    for (const auto& [control, size] : fixed) {
        controls.push_back(control);
        if (control->GetSize() != size)
            problems.push_back(dialogtest::describe(control) + " is " +
                               text(wxRect(wxPoint(), control->GetSize())) + ", not " +
                               text(wxRect(wxPoint(), size)));
    }
    for (const wxWindow* control : controls) {
        const wxRect rect = control->GetScreenRect();
        if (!state.client.Contains(rect))
            problems.push_back(dialogtest::describe(control) + " " + text(rect) +
                               " outside the window " + text(state.client));
        if (!screen.Contains(rect))
            problems.push_back(dialogtest::describe(control) + " " + text(rect) +
                               " off the screen");
    }
    return problems;
}

}  // namespace

TEST(WindowLayout, EveryWindowIsWholeInsideTheScreenAndCentred) {
    // The main window registers the picture decoders the dialogs use.
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    OptionValues options = dialogtest::storedValues();
    bool flag = false;
    int width = 0;
    int height = 0;

    const WindowCase cases[] = {
        {"main window", false,
         [] {
             writeSettingsFile(settingsLines(1, "/tmp"));
             DialogRecorder quiet;
             return new UI_TLCrop("Tellvar");
         },
         [](wxTopLevelWindow* window) {
             auto* frame = static_cast<UI_TLCrop*>(window);
             return FixedSizes{{frame->previewPanel, wxSize(800, 600)},
                               {frame->imageList, wxSize(250, 602)}};
         }},
        {"about", true, [] { return new UI_TLAbout("About"); }, nullptr},
        {"options", true,
         [&] {
             auto* dialog = new UI_OptionsDialog("Tellvar Configuration");
             dialog->putVars(&options, &flag, false);
             return dialog;
         },
         nullptr},
        {"set crop area", true,
         [&] {
             return new UI_SetCropArea("Set Cropping Area", &flag, 1600, 1200, "24", &width,
                                       &height);
         },
         nullptr},
        {"run summary", true,
         [&] { return new UI_ConfDialog("Configuration", dialogtest::sampleData(), &flag, &flag); },
         nullptr},
        {"progress", false, [] { return new UI_ProgressDialog("Tellvar Progress...", 10, 4); },
         nullptr},
    };

    // The main window, the first case, stays up: the dialogs come up in front
    // of it, as they do in use.
    wxTopLevelWindow* mainWindow = nullptr;
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.name);
        wxTopLevelWindow* window = c.open();
        const FixedSizes fixed = c.fixedSizes ? c.fixedSizes(window) : FixedSizes{};
        EXPECT_EQ(placement::showUntilRight(window, c.modal,
                                            [&](const placement::ScreenState& state) {
                                                return layoutProblems(window, fixed, state);
                                            }),
                  std::vector<std::string>{});
        if (!mainWindow) {
            mainWindow = window;
            mainWindow->Show();
            continue;
        }
        window->Destroy();
        flushPendingDeletes();
    }
    mainWindow->Destroy();
    flushPendingDeletes();
}
