#pragma once
// What the main window's commands offer: which menu items and tools are
// enabled, which radio items are ticked and how the manual mode item reads.
// The window names the situation it has come to (a mode set up, an image
// shown, a validation failed ...); what that means for each command is
// decided here and nowhere else.
//
// A command may have a menu item, a tool, both, or (the stack switch 1019)
// neither; every change reaches whichever of them exist, so no rule pairs a
// menu call with a tool call by hand.

#include <initializer_list>

class wxMenuBar;
class wxToolBar;

class MainCommands {
public:
    // The window's menu bar and toolbar, once they are built.
    void attach(wxMenuBar* menus, wxToolBar* tools);

    // The workflow group together (UI_TLCrop::widgetState): clear, crop,
    // image details, set crop area, set reference, remove, start.
    void setWorkflowGroup(bool enable) const;
    // An image is on show: its crop area can be set and the set cleared.
    void imageShown() const;
    // A crop size has been accepted: the image can be cropped.
    void cropSizeSet() const;
    // The automatic run is offered: the start command.
    void runOffered() const;

    // The crop modes' menus and tools, and the outputs the manual mode and
    // a single image allow (all but TIF (16 bit)).
    void manualMode(bool imagesLoaded) const;
    void manualOutputs() const;
    void automaticMode(bool imagesLoaded, bool stackEnabled) const;
    void singleImageMode() const;
    // The automatic mode's outputs for the input format: BMP input allows
    // BMP alone; JPEG and TIFF input tick TIF (8 bit) and allow the TIFFs.
    void bmpInputOutputs() const;
    void tiffInputOutputs() const;
    // Ticks the Output item of a format id.
    void tickOutput(int outputFormat) const;
    // Unticks the stack switch.
    void stackOff() const;

    // Validation: passed, failed (the user can remove files and validate
    // again), or failed at the first file (only validating again is offered;
    // the rest stays as it was).
    void validationPassed() const;
    void validationFailed() const;
    void firstFileUnreadable() const;

private:
    void enable(int id, bool on) const;
    void enable(std::initializer_list<int> ids, bool on) const;
    void tick(int id, bool on) const;
    void manualModeItem(bool singleImage) const;

    wxMenuBar* menus_ = nullptr;
    wxToolBar* tools_ = nullptr;
};
