#include "TL.h"

#include "AutoVersion.h"
#include "UI_TLCrop.h"

TL::~TL() = default;

bool TL::OnInit() {
    // The product name is held as narrow UTF-8 text; converting it with the
    // UTF-8 converter keeps it intact whatever the locale.
    const wxString title = wxString::FromUTF8(AutoVersion::appName);

    // The frame's constructor reads the settings file (and on the first run
    // shows the set-up dialogs) before anything is visible.
    UI_TLCrop* mainWindow = new UI_TLCrop(title);
    mainWindow->Show(true);
    return true;
}
