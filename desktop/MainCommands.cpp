#include "MainCommands.h"

#include "CommandIds.h"

#include <wx/menu.h>
#include <wx/toolbar.h>

void MainCommands::attach(wxMenuBar* menus, wxToolBar* tools) {
    menus_ = menus;
    tools_ = tools;
}

// The toolkit takes a change to a missing menu item for a programming error
// rather than a no-op, so the item is looked up first; a missing tool is
// passed over by the toolbar itself.
void MainCommands::enable(int id, bool on) const {
    if (wxMenuItem* item = menus_->FindItem(id)) item->Enable(on);
    tools_->EnableTool(id, on);
}

void MainCommands::enable(std::initializer_list<int> ids, bool on) const {
    for (int id : ids) enable(id, on);
}

void MainCommands::tick(int id, bool on) const {
    if (wxMenuItem* item = menus_->FindItem(id)) item->Check(on);
}

void MainCommands::manualModeItem(bool singleImage) const {
    menus_->SetLabel(idManualMode, singleImage ? "Manual (Single Image)" : "Manual");
}

void MainCommands::setWorkflowGroup(bool on) const {
    enable({idClearImages, idCropImage, idImageDetails, idSetCrop, idSetReference, idRemoveFiles,
            idStartRun},
           on);
}

void MainCommands::imageShown() const { enable({idSetCrop, idClearImages}, true); }

void MainCommands::cropSizeSet() const { enable(idCropImage, true); }

void MainCommands::runOffered() const { enable(idStartRun, true); }

void MainCommands::manualMode(bool imagesLoaded) const {
    tick(idManualMode, true);
    tick(idStack, false);
    enable(idStack, false);
    enable(idAutomaticMode, true);
    manualModeItem(false);

    enable({idSetReference, idValidate, idToggleSafeArea}, false);
    enable(idRemoveFiles, imagesLoaded);
}

void MainCommands::manualOutputs() const {
    enable({idOutputBmp, idOutputJpeg, idOutputTif8}, true);
    enable(idOutputTif16, false);
}

void MainCommands::automaticMode(bool imagesLoaded, bool stackEnabled) const {
    tick(idAutomaticMode, true);
    tick(idStack, stackEnabled);
    enable({idStack, idAutomaticMode}, true);
    manualModeItem(false);

    enable({idSetReference, idRemoveFiles, idValidate, idToggleSafeArea}, imagesLoaded);

    enable(idOutputJpeg, false);
    enable({idOutputTif8, idOutputTif16, idOutputBmp}, true);
}

void MainCommands::singleImageMode() const {
    tick(idManualMode, true);
    tick(idStack, false);
    enable({idStack, idAutomaticMode}, false);
    manualModeItem(true);
    manualOutputs();
}

void MainCommands::bmpInputOutputs() const {
    enable(idOutputBmp, true);
    enable({idOutputTif8, idOutputTif16}, false);
}

void MainCommands::tiffInputOutputs() const {
    tick(idOutputTif8, true);
    enable({idOutputTif8, idOutputTif16}, true);
    enable(idOutputBmp, false);
}

void MainCommands::tickOutput(int outputFormat) const { tick(outputFormat, true); }

void MainCommands::stackOff() const { tick(idStack, false); }

void MainCommands::validationPassed() const {
    enable({idSetReference, idSetCrop, idRemoveFiles}, true);
}

// Every failure box asks the user to validate again, and on a fresh start
// only a mode's set-up, which a failed validation skips, would have enabled
// the Validate Images tool.
void MainCommands::validationFailed() const {
    enable({idSetReference, idSetCrop}, false);
    enable({idRemoveFiles, idValidate}, true);
}

void MainCommands::firstFileUnreadable() const { enable(idValidate, true); }
