// Entry point of the GUI tests: starts the toolkit without its event loop,
// with HOME pointed at a scratch folder so that the settings file of the
// tests never touches the user's own, then runs every test.

#include "GuiTestSupport.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class GuiTestApp : public wxApp {
public:
    bool OnInit() override {
        SetAppName("Tellvar");
        return true;
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);

    testsupport::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    guitest::setHomeDir(home.path());

    wxApp::SetInstance(new GuiTestApp);
    if (!wxEntryStart(argc, argv)) return 2;
    if (!wxTheApp->CallOnInit()) return 3;

    const int result = RUN_ALL_TESTS();

    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
