// The program's entry point and the factory through which the toolkit
// creates the application object.

#include "ProcessEntry.h"
#include "TL.h"

#include <wx/app.h>
#include <wx/init.h>

// Registered before main() runs by the static initialiser below, the same way
// the toolkit's own application macro does it: refuse to run against a
// toolkit built with other options, then create the application object.
wxAppConsole* wxCreateApp() {
    wxAppConsole::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "Tellvar");
    return new TL;
}

static wxAppInitializer tellvarAppInitializer(wxCreateApp);

TL& wxGetApp() { return *static_cast<TL*>(wxApp::GetInstance()); }

int main(int argc, char** argv) { return runDesktopProgram(argc, argv); }
