#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "UI_OptionsDialog.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dirdlg.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>
#include <vector>

namespace {

const char kSetupRefusal[] = "You must complete the setup before exiting this dialog box.";
const char kNoFolder[] = "Please specify a save location";
const char kNoPerimeter[] = "Please choose a search perimeter for the fully automatic mode";

bool sameValues(const OptionValues& a, const OptionValues& b) {
    return a.useReticle == b.useReticle && a.stackEnabled == b.stackEnabled && a.red == b.red &&
           a.green == b.green && a.blue == b.blue && a.cropMode == b.cropMode &&
           a.searchPerimeter == b.searchPerimeter && a.outputFormat == b.outputFormat &&
           a.saveFolder == b.saveFolder;
}

// Answers the folder chooser with a path (or a cancel) and checks how it was
// asked. (Its parent is not checked: the toolkit drops a parent that is not
// shown, and the dialogs under test are not.)
int answerFolderChooser(wxDirDialog& chooser, const wxString& path, int result) {
    EXPECT_EQ(chooser.GetMessage(), "Set Default File Path");
    EXPECT_TRUE(chooser.GetWindowStyleFlag() & wxRESIZE_BORDER);
    if (result == wxID_OK) chooser.wxDirDialogBase::SetPath(path);
    return result;
}

class OptionsDialog : public ::testing::Test {
protected:
    OptionValues values = dialogtest::storedValues();
    OptionValues before{};
    bool cancelled = false;
    UI_OptionsDialog* dialog = nullptr;

    void open(bool setupMode = false) {
        before = values;
        dialog = new UI_OptionsDialog("Tellvar Configuration");
        dialog->putVars(&values, &cancelled, setupMode);
    }

    void TearDown() override {
        if (dialog && !guitest::closed(dialog)) dialog->Destroy();
        guitest::flushPendingDeletes();
    }

    void send(wxEventType type, int id) {
        wxCommandEvent event(type, id);
        event.SetEventObject(dialog->FindWindow(id));
        dialog->ProcessWindowEvent(event);
    }
    void pressAccept() { send(wxEVT_BUTTON, 1009); }
    void pressCancel() { send(wxEVT_BUTTON, 1010); }
    void pressChangeFolder() { send(wxEVT_BUTTON, 1008); }
    void choose(wxRadioButton* button) {
        button->SetValue(true);
        send(wxEVT_RADIOBUTTON, button->GetId());
    }
    void tickUseReticle(bool ticked) {
        dialog->useReticleBox->SetValue(ticked);
        send(wxEVT_CHECKBOX, 1003);
    }
    void choosePerimeter(const wxString& text) {
        ASSERT_TRUE(dialog->perimeterChoice->SetStringSelection(text));
        send(wxEVT_COMBOBOX, 1011);
    }
    void pickColour(const wxColour& colour) {
        dialog->colourPicker->SetColour(colour);
        wxColourPickerEvent event(dialog->colourPicker, 1004, colour);
        dialog->ProcessWindowEvent(event);
    }
    std::vector<wxWindow*> reticleColourControls() const {
        return {dialog->redButton,          dialog->greenButton,       dialog->blueButton,
                dialog->reticleColourLabel, dialog->customColourLabel, dialog->colourPicker};
    }
    // Which preset button shows as chosen: "RED", "GREEN", "BLUE" or "".
    std::string presetShown() const {
        std::string shown;
        for (wxRadioButton* b : {dialog->redButton, dialog->greenButton, dialog->blueButton})
            if (b->GetValue()) shown += b->GetLabel().utf8_str();
        return shown;
    }
};

// ---------------------------------------------------------------------------

TEST_F(OptionsDialog, BuildsTheControlsWithTheirIdsTextsAndFirstStates) {
    dialog = new UI_OptionsDialog("Tellvar Configuration");

    EXPECT_EQ(dialog->GetTitle(), "Tellvar Configuration");
    EXPECT_EQ(dialog->GetParent(), nullptr);
    EXPECT_FALSE(dialog->HasFlag(wxRESIZE_BORDER));
    EXPECT_TRUE(dialog->HasFlag(wxCLOSE_BOX));

    const std::vector<std::pair<int, const char*>> labelled = {{1000, "RED"},
                                                               {1001, "GREEN"},
                                                               {1002, "BLUE"},
                                                               {1003, "Use Reticle"},
                                                               {1005, "Manual Cropping Mode"},
                                                               {1006, "Fully Automatic Mode"},
                                                               {1007, "Stack Cropped Images"},
                                                               {1008, "Change Folder"},
                                                               {1009, "Accept"},
                                                               {1010, "Cancel"}};
    for (const auto& [id, label] : labelled) {
        wxWindow* control = dialog->FindWindow(id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_EQ(control->GetLabel(), label) << id;
    }
    EXPECT_EQ(dialog->FindWindow(1004), dialog->colourPicker);
    EXPECT_EQ(dialog->FindWindow(1011), dialog->perimeterChoice);
    EXPECT_EQ(dialog->redButton->GetParent(), dialog->presetPanel);
    EXPECT_EQ(dialog->colourPicker->GetParent(), dialog->presetPanel);
    EXPECT_EQ(dialog->reticleColourLabel->GetLabel(), "Reticle Colour:");
    EXPECT_EQ(dialog->customColourLabel->GetLabel(), "Use Custom Colour:");
    EXPECT_EQ(dialog->perimeterLabel->GetLabel(), "Search Perimeter");
    EXPECT_EQ(dialog->saveFolderLabel->GetLabel(), "Current Save Folder:");

    EXPECT_TRUE(dialog->useReticleBox->GetValue());
    EXPECT_EQ(presetShown(), "");
    EXPECT_EQ(dialog->colourPicker->GetColour(), wxColour(255, 0, 0));
    EXPECT_TRUE(dialog->stackBox->GetValue());
    EXPECT_FALSE(dialog->stackBox->IsEnabled());
    EXPECT_FALSE(dialog->stackBox->IsShown());
    EXPECT_FALSE(dialog->perimeterLabel->IsEnabled());
    EXPECT_FALSE(dialog->perimeterChoice->IsEnabled());
    EXPECT_EQ(dialog->perimeterChoice->GetValue(), "");
    EXPECT_EQ(dialog->perimeterChoice->GetSelection(), wxNOT_FOUND);
    EXPECT_TRUE(dialog->perimeterChoice->HasFlag(wxCB_READONLY));
    const std::vector<wxString> items = {"5",  "10", "15", "20", "25", "30",
                                         "35", "40", "45", "50", "55", "60"};
    const wxArrayString offered = dialog->perimeterChoice->GetStrings();
    EXPECT_EQ(std::vector<wxString>(offered.begin(), offered.end()), items);
    EXPECT_FALSE(dialog->saveFolderText->IsEditable());
    EXPECT_EQ(dialog->saveFolderText->GetValue(), "");

    EXPECT_EQ(dialog->useReticleBox->GetToolTipText(),
              "Use the reticle guides inside the crop definition area");
    EXPECT_EQ(dialog->manualButton->GetToolTipText(),
              "The manual mode simply crops your images, it does not register or further "
              "process your images.  Your cropped images will be automatically saved. This is "
              "the best mode for general photographs.");
    EXPECT_EQ(dialog->automaticButton->GetToolTipText(),
              "The fully automatic mode will precisely crop your images to pixel accuracy based "
              "on a defined crop for just one image. Your images will be automatically saved. ");
    EXPECT_EQ(dialog->perimeterChoice->GetToolTipText(),
              "This is the value in which the semi automatic crop routine searches to find the "
              "best crop match. The larger the value the slower the operation but will provide "
              "greater accuracy.\n\nThe value is in pixels.");
    EXPECT_EQ(dialog->saveFolderText->GetToolTipText(),
              "The folder which cropped images will be saved to");
}

TEST_F(OptionsDialog, ShowsEveryTextWholeAtTheToolkitsSizes) {
    values.saveFolder = "/a/rather/long/folder/that/scrolls/inside/its/box/rather/than/clip";
    open();
    EXPECT_EQ(dialogtest::clippedControls(dialog), std::vector<std::string>{});
    // The designed widths stay lower bounds.
    EXPECT_GE(dialog->saveFolderText->GetSize().x, 275);
    EXPECT_GE(dialog->changeFolderButton->GetSize().x, 115);
    EXPECT_GE(dialog->acceptButton->GetSize().x, 200);
    EXPECT_GE(dialog->perimeterChoice->GetSize().x, 55);
}

TEST_F(OptionsDialog, PresetAndModeButtonsFormTwoSeparateGroups) {
    open();
    choose(dialog->manualButton);
    choose(dialog->greenButton);
    EXPECT_TRUE(dialog->manualButton->GetValue());
    EXPECT_EQ(presetShown(), "GREEN");
    choose(dialog->automaticButton);
    EXPECT_FALSE(dialog->manualButton->GetValue());
    EXPECT_EQ(presetShown(), "GREEN");
}

// ---------------------------------------------------------------------------
// Loading the block

TEST_F(OptionsDialog, SelectsAPresetOnlyOnAnExactColourMatch) {
    struct Case {
        int red, green, blue;
        const char* preset;
        wxColour shown;
    };
    const Case cases[] = {
        {255, 0, 0, "RED", wxColour(255, 0, 0)},
        {0, 255, 0, "GREEN", wxColour(0, 255, 0)},
        {0, 0, 255, "BLUE", wxColour(0, 0, 255)},
        {0, 255, 1, "", wxColour(0, 255, 1)},
        {12, 34, 56, "", wxColour(12, 34, 56)},
        // Components are taken by their low 8 bits.
        {256, 0, 0, "", wxColour(0, 0, 0)},
        {511, 256, 256, "RED", wxColour(255, 0, 0)},
    };
    for (const Case& c : cases) {
        values = dialogtest::storedValues();
        values.red = c.red;
        values.green = c.green;
        values.blue = c.blue;
        open();
        SCOPED_TRACE(::testing::Message() << c.red << "," << c.green << "," << c.blue);
        EXPECT_EQ(presetShown(), c.preset);
        EXPECT_EQ(dialog->colourPicker->GetColour(), c.shown);
        dialog->Destroy();
        guitest::flushPendingDeletes();
        dialog = nullptr;
    }
}

TEST_F(OptionsDialog, ReticleSwitchEnablesTheSixColourControls) {
    values.useReticle = false;
    open();
    EXPECT_FALSE(dialog->useReticleBox->GetValue());
    for (wxWindow* control : reticleColourControls()) EXPECT_FALSE(control->IsEnabled());

    tickUseReticle(true);
    for (wxWindow* control : reticleColourControls()) EXPECT_TRUE(control->IsEnabled());
    tickUseReticle(false);
    for (wxWindow* control : reticleColourControls()) EXPECT_FALSE(control->IsEnabled());

    pressAccept();
    EXPECT_FALSE(values.useReticle);
}

TEST_F(OptionsDialog, LoadsTheModeAndThePerimeterWithoutRaisingHandlers) {
    guitest::DialogRecorder boxes;
    values.searchPerimeter = 45;  // would draw advice if a handler ran
    values.cropMode = 1;
    open();
    EXPECT_TRUE(dialog->automaticButton->GetValue());
    EXPECT_TRUE(dialog->perimeterChoice->IsEnabled());
    EXPECT_TRUE(dialog->perimeterLabel->IsEnabled());
    EXPECT_EQ(dialog->perimeterChoice->GetValue(), "45");
    EXPECT_FALSE(dialog->stackBox->GetValue()) << "stacking is never offered as ticked";
    EXPECT_EQ(dialog->saveFolderText->GetValue(), "/srv/crops");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(OptionsDialog, ManualModeDisablesThePerimeterAndKeepsItsText) {
    values.cropMode = 0;
    values.searchPerimeter = 20;
    open();
    EXPECT_TRUE(dialog->manualButton->GetValue());
    EXPECT_FALSE(dialog->perimeterChoice->IsEnabled());
    EXPECT_FALSE(dialog->perimeterLabel->IsEnabled());
    choose(dialog->automaticButton);
    EXPECT_TRUE(dialog->perimeterChoice->IsEnabled());
    EXPECT_EQ(dialog->perimeterChoice->GetValue(), "20");
    choose(dialog->manualButton);
    EXPECT_FALSE(dialog->perimeterChoice->IsEnabled());
    EXPECT_EQ(dialog->perimeterChoice->GetValue(), "20");
    EXPECT_FALSE(dialog->stackBox->IsEnabled());
}

// ---------------------------------------------------------------------------
// Accept

TEST_F(OptionsDialog, AcceptWritesTheEditedBlockAndEndsTheDialog) {
    values.cropMode = 0;
    open();
    tickUseReticle(false);
    choose(dialog->blueButton);
    choose(dialog->automaticButton);
    choosePerimeter("15");
    pressAccept();

    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(values.useReticle);
    EXPECT_EQ(values.red, 0);
    EXPECT_EQ(values.green, 0);
    EXPECT_EQ(values.blue, 255);
    EXPECT_EQ(values.cropMode, 1);
    EXPECT_EQ(values.searchPerimeter, 15);
    EXPECT_FALSE(values.stackEnabled) << "Accept in the automatic mode clears stacking";
    EXPECT_EQ(values.outputFormat, before.outputFormat);
    EXPECT_EQ(values.saveFolder, before.saveFolder);
}

TEST_F(OptionsDialog, AcceptInManualModeKeepsPerimeterAndStacking) {
    values.searchPerimeter = 35;
    values.stackEnabled = true;
    open();
    choose(dialog->manualButton);
    pressAccept();
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_EQ(values.cropMode, 0);
    EXPECT_EQ(values.searchPerimeter, 35);
    EXPECT_TRUE(values.stackEnabled);
}

TEST_F(OptionsDialog, AnyNonZeroModeLoadsAsAutomaticAndIsStoredAsOne) {
    values.cropMode = 2;
    open();
    EXPECT_TRUE(dialog->automaticButton->GetValue());
    pressAccept();
    EXPECT_EQ(values.cropMode, 1);
}

TEST_F(OptionsDialog, PickedColourLeavesThePresetAndIsWhatAcceptStores) {
    values.red = 1;
    values.green = 2;
    values.blue = 3;
    open();
    choose(dialog->redButton);
    EXPECT_EQ(dialog->colourPicker->GetColour(), wxColour(255, 0, 0));
    pickColour(wxColour(10, 20, 30));
    EXPECT_EQ(presetShown(), "RED");
    pressAccept();
    EXPECT_EQ(values.red, 10);
    EXPECT_EQ(values.green, 20);
    EXPECT_EQ(values.blue, 30);
}

TEST_F(OptionsDialog, EachPresetSetsItsPureColour) {
    open();
    choose(dialog->greenButton);
    EXPECT_EQ(dialog->colourPicker->GetColour(), wxColour(0, 255, 0));
    choose(dialog->blueButton);
    EXPECT_EQ(dialog->colourPicker->GetColour(), wxColour(0, 0, 255));
    choose(dialog->redButton);
    EXPECT_EQ(dialog->colourPicker->GetColour(), wxColour(255, 0, 0));
}

TEST_F(OptionsDialog, AcceptWithoutASaveFolderIsRefusedAndChangesNothing) {
    values.saveFolder.clear();
    open();
    choose(dialog->greenButton);
    guitest::DialogRecorder boxes;
    pressAccept();

    ASSERT_EQ(boxes.messageBoxes().size(), 1u);
    EXPECT_EQ(boxes.messageBoxes()[0].caption, "ERROR");
    EXPECT_EQ(boxes.messageBoxes()[0].message, kNoFolder);
    EXPECT_EQ(boxes.messageBoxes()[0].icon(), wxICON_ERROR);
    EXPECT_FALSE(guitest::closed(dialog));
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(sameValues(values, before));
}

// ---------------------------------------------------------------------------
// Cancel and the close box

TEST_F(OptionsDialog, CancelAndCloseLeaveTheBlockUntouched) {
    for (const bool viaCloseBox : {false, true}) {
        SCOPED_TRACE(viaCloseBox ? "close box" : "Cancel");
        values = dialogtest::storedValues();
        cancelled = false;
        open();
        choose(dialog->manualButton);
        choose(dialog->blueButton);
        tickUseReticle(false);
        {
            guitest::DialogRecorder chooser;
            chooser.handle<wxDirDialog>(
                [](wxDirDialog& d) { return answerFolderChooser(d, "/elsewhere", wxID_OK); });
            pressChangeFolder();
        }
        EXPECT_EQ(dialog->saveFolderText->GetValue(), "/elsewhere");

        if (viaCloseBox)
            dialog->Close();
        else
            pressCancel();
        EXPECT_TRUE(guitest::closed(dialog));
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(sameValues(values, before));
        guitest::flushPendingDeletes();
        dialog = nullptr;
    }
}

TEST_F(OptionsDialog, SetupModeCanOnlyBeLeftThroughAcceptWithAFolder) {
    values.saveFolder.clear();
    open(true);
    guitest::DialogRecorder boxes;
    boxes.answer(wxOK).answer(wxOK).answer(wxOK);

    pressCancel();
    dialog->Close();
    pressAccept();
    EXPECT_FALSE(guitest::closed(dialog));
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(sameValues(values, before));
    EXPECT_EQ(boxes.messageTexts(),
              (std::vector<std::string>{kSetupRefusal, kSetupRefusal, kNoFolder}));
    for (const guitest::ShownDialog& box : boxes.messageBoxes()) {
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.icon(), wxICON_ERROR);
    }

    boxes.handle<wxDirDialog>(
        [](wxDirDialog& d) { return answerFolderChooser(d, "/home/first/crops", wxID_OK); });
    pressChangeFolder();
    pressAccept();
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(values.saveFolder, "/home/first/crops");
    EXPECT_EQ(boxes.unscripted(), 0);
}

TEST_F(OptionsDialog, SetupModeYieldsToACloseThatCannotBeRefused) {
    values.saveFolder.clear();
    open(true);
    guitest::DialogRecorder boxes;
    dialog->Close(true);
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(sameValues(values, before));
    EXPECT_TRUE(boxes.shown().empty());
}

// ---------------------------------------------------------------------------
// Search perimeter

TEST_F(OptionsDialog, AdvisesOnPerimetersAboveTwentyAndKeepsTheChoice) {
    open();
    guitest::DialogRecorder boxes;
    const std::vector<std::string> quiet = {"5", "10", "15", "20"};
    for (const std::string& p : quiet) {
        choosePerimeter(p);
        EXPECT_EQ(dialog->perimeterChoice->GetValue(), p);
    }
    EXPECT_TRUE(boxes.shown().empty());

    const std::vector<std::string> large = {"25", "30", "35", "40", "45", "50", "55", "60"};
    for (const std::string& p : large) {
        choosePerimeter(p);
        EXPECT_EQ(dialog->perimeterChoice->GetValue(), p);
    }
    ASSERT_EQ(boxes.messageBoxes().size(), large.size());
    for (const guitest::ShownDialog& box : boxes.messageBoxes()) {
        EXPECT_EQ(box.caption, "Please Note");
        EXPECT_EQ(box.message,
                  "A setting of between 10 and 20 is usually enough for a good result.\n\n"
                  "Setting a large search area will more accurately align your images but can "
                  "take substantially longer to run, especially on older computers or single "
                  "core CPU's.\n\nTry a smaller value first and examine your results.");
        EXPECT_EQ(box.icon(), wxICON_EXCLAMATION);
    }
    pressAccept();
    EXPECT_EQ(values.searchPerimeter, 60);
}

TEST_F(OptionsDialog, AStoredPerimeterOutsideTheChoicesMustBeReplacedNotZeroed) {
    for (const int stored : {0, 7, -5, 1000}) {
        SCOPED_TRACE(stored);
        values = dialogtest::storedValues();
        values.searchPerimeter = stored;
        cancelled = false;
        open();
        EXPECT_EQ(dialog->perimeterChoice->GetValue(), "");
        EXPECT_EQ(dialog->perimeterChoice->GetSelection(), wxNOT_FOUND);

        guitest::DialogRecorder boxes;
        pressAccept();
        ASSERT_EQ(boxes.messageBoxes().size(), 1u);
        EXPECT_EQ(boxes.messageBoxes()[0].caption, "ERROR");
        EXPECT_EQ(boxes.messageBoxes()[0].message, kNoPerimeter);
        EXPECT_EQ(boxes.messageBoxes()[0].icon(), wxICON_ERROR);
        EXPECT_FALSE(guitest::closed(dialog));
        EXPECT_TRUE(sameValues(values, before));

        choosePerimeter("15");
        pressAccept();
        EXPECT_TRUE(guitest::closed(dialog));
        EXPECT_EQ(values.searchPerimeter, 15);
        guitest::flushPendingDeletes();
        dialog = nullptr;
    }
}

TEST_F(OptionsDialog, AStoredPerimeterOutsideTheChoicesDoesNotBlockTheManualMode) {
    values.cropMode = 0;
    values.searchPerimeter = 7;
    open();
    guitest::DialogRecorder boxes;
    pressAccept();
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(values.searchPerimeter, 7);
}

// ---------------------------------------------------------------------------
// Save folder

TEST_F(OptionsDialog, FolderWithAccentsAndChineseCharactersRoundTripsInAnyLocale) {
    const wxString folder = wxString::FromUTF8(
        "/home/\xC3\xA9toile/\xE6\x98\x9F\xE7\xA9\xBA "
        "\xE8\xA3\x81\xE5\x89\xAA");
    ASSERT_FALSE(folder.empty());

    values.saveFolder = folder;
    open();
    EXPECT_EQ(dialog->saveFolderText->GetValue(), folder);
    pressAccept();
    EXPECT_EQ(values.saveFolder, folder);
    guitest::flushPendingDeletes();

    values.saveFolder = "/plain";
    open();
    {
        guitest::DialogRecorder chooser;
        chooser.handle<wxDirDialog>(
            [&folder](wxDirDialog& d) { return answerFolderChooser(d, folder, wxID_OK); });
        pressChangeFolder();
        EXPECT_EQ(chooser.unscripted(), 0);
    }
    EXPECT_EQ(dialog->saveFolderText->GetValue(), folder);
    pressAccept();
    EXPECT_EQ(values.saveFolder, folder);
    EXPECT_EQ(std::string(values.saveFolder.utf8_str()),
              "/home/\xC3\xA9toile/\xE6\x98\x9F\xE7\xA9\xBA \xE8\xA3\x81\xE5\x89\xAA");
}

TEST_F(OptionsDialog, CancelledFolderChooserKeepsTheFolderShown) {
    open();
    dialog->Show();  // a shown dialog can be the chooser's parent
    guitest::DialogRecorder chooser;
    chooser.handle<wxDirDialog>([this](wxDirDialog& d) {
        EXPECT_EQ(d.GetParent(), dialog);
        return answerFolderChooser(d, "/never", wxID_CANCEL);
    });
    pressChangeFolder();
    EXPECT_EQ(chooser.unscripted(), 0);
    EXPECT_EQ(dialog->saveFolderText->GetValue(), "/srv/crops");
}

// ---------------------------------------------------------------------------

TEST_F(OptionsDialog, TickingTheHiddenStackBoxExplainsAndUnticksIt) {
    open();
    guitest::DialogRecorder boxes;
    dialog->stackBox->SetValue(true);
    send(wxEVT_CHECKBOX, 1007);
    EXPECT_FALSE(dialog->stackBox->GetValue());
    ASSERT_EQ(boxes.messageBoxes().size(), 1u);
    EXPECT_EQ(boxes.messageBoxes()[0].caption, "Function not Implemented");
    EXPECT_EQ(boxes.messageBoxes()[0].message,
              "Image Stacking will be implemented in the next version of Tellvar");
    EXPECT_EQ(boxes.messageBoxes()[0].icon(), wxICON_INFORMATION);

    send(wxEVT_CHECKBOX, 1007);  // unticked: nothing to say
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(OptionsDialog, AcceptEndsARealModalLoopWhenItIsTheOnlyWindow) {
    open(true);
    const bool closed = dialogtest::runModal(dialog, [this] { pressAccept(); });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_FALSE(cancelled);
}

}  // namespace
