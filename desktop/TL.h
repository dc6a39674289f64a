#pragma once
// The application object: creates the main window and hands control to the
// toolkit's event loop.

#include <wx/app.h>

class TL : public wxApp {
public:
    ~TL() override;

    // Creates and shows the main window. The base class's OnInit is not
    // called on purpose: the program takes no command-line options.
    bool OnInit() override;
};

wxDECLARE_APP(TL);
