// Entry point of the GUI tests: starts the toolkit without its event loop,
// with HOME pointed at a scratch folder so that the settings file of the
// tests never touches the user's own, then runs every test.

#include "GuiTestSupport.h"
#include "ModalScript.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/debug.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

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

// A failed toolkit assertion is a fault of the code under test: report it
// as a test failure instead of the toolkit's interactive assert dialog,
// which would hang a run without a display to answer it.
void failOnToolkitAssert(const wxString& file, int line, const wxString& function,
                         const wxString& condition, const wxString& message) {
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "toolkit assertion \"" << condition.utf8_str().data() << "\" failed in "
        << function.utf8_str().data() << ": " << message.utf8_str().data();
}

// A message box that no test answers would wait for a click that never
// comes. This hook, registered first and so asked last, answers any such box
// and reports it as a failure. The program's own dialogs are left alone:
// some tests run their modal loop for real and end it from a timer, and
// while a ModalScript lives every box runs for real too.
class UnansweredMessageBoxGuard : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        auto* box = dynamic_cast<wxMessageDialog*>(dialog);
        if (!box || modaltest::ModalScript::active()) return wxID_NONE;
        ADD_FAILURE() << "unanswered message box \"" << box->GetCaption().utf8_str().data()
                      << "\": " << box->GetMessage().utf8_str().data();
        return (box->GetMessageDialogStyle() & wxYES_NO) ? wxID_NO : wxID_OK;
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);

    testsupport::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    // GTK's own dialogs (the file dialog) store their state through
    // GSettings; keep it in memory rather than in a settings daemon.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    guitest::setHomeDir(home.path());

    wxSetAssertHandler(failOnToolkitAssert);
    wxApp::SetInstance(new GuiTestApp);
    if (!wxEntryStart(argc, argv)) return 2;
    if (!wxTheApp->CallOnInit()) return 3;
    // The toolkit's own log window would wait for a click; its messages go
    // to stderr here. Tests that care about logging install their own target.
    delete wxLog::SetActiveTarget(new wxLogStderr);

    UnansweredMessageBoxGuard unansweredMessageBoxes;
    unansweredMessageBoxes.Register();

    const int result = RUN_ALL_TESTS();

    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
