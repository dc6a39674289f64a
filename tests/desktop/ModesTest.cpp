// Crop modes and output formats: the mode set-ups with their titles, menus,
// tools and status fields, the output-format rules and their warnings, and
// the mode, format, stack and options commands.

#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "UI_OptionsDialog.h"
#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace guitest;

namespace {

const std::string kOptionChanged = "Warning - Option Changed";
const std::string kSixteenBitManual =
    "Saving 16bit TIFF Files is not supported in the manual mode.\n\nYour save file format has "
    "been changed to 8 bit TIFF";
const std::string kJpegAutomatic =
    "Saving JPEG Image Files is not supported in the Automatic Mode.\n\nYour save file format has "
    "been changed to 8 bit TIFF.";
const std::string kBitmapInput =
    "The input file format has been detected to be Bitmap.\n\nTellvar will output your files in "
    "the Bitmap File Format.";
const std::string kJpegInput =
    "The input file format has been detected to be JPEG.\n\nAs JPEG files are typically lower "
    "quality Tellvar will only output your images in the TIFF File Format.";
const std::string kTiffInput =
    "The input file format has been detected to be TIFF.\n\nTellvar will output your files in the "
    "TIFF File Format..";
const std::string kManualNotification =
    "The application mode has been changed to Manual.\n\nImage alignment is not supported in this "
    "mode and a reference frame is not required.\n\nThis mode is useful for astronomical, normal "
    "photographs or as a preprocessor for the automatic modes if your images are not of the same "
    "size.\n\nIn this mode images can be of mixed sizes.";
const std::string kAutomaticNotification =
    "The application mode has been changed to Fully Automatic.\n\nThis is the recommended mode of "
    "operation for the Tellvar application.\n\nThis mode will automatically crop and align your "
    "images based solely on your reference frame. You do not provide crop information for every "
    "frame in your workflow.\n\nThis mode requires that all images are of the same size and a "
    "reference frame is required.";
const std::string kSixteenBitChosen = "16 Bit TIFF Support will be in a future version.";
const std::string kPerimeterReduced =
    "Your current search perimeter is greater then 30. This is not supported when you load images "
    "smaller than 800 x 600.\n\nYour search perimeter has been reduced to 30. ";

std::string title(const UI_TLCrop& frame) { return toUtf8(frame.GetTitle()); }

std::string expectedTitle(const std::string& modeText) {
    return "Tellvar 64Bit \xE2\x80\x94 (" + modeText + ")";
}

std::string settingsLine(int line) {
    const std::vector<std::string> lines = readSettingsFile();
    return line <= static_cast<int>(lines.size()) ? lines[line - 1] : "<missing>";
}

bool settingsFileExists() { return std::filesystem::exists(settingsFilePath()); }

std::string status(const UI_TLCrop& frame, int field) { return toUtf8(statusText(frame, field)); }

// The output item that is ticked.
int checkedOutput(const UI_TLCrop& frame) {
    for (int id : {kOutputJpeg, kOutputBmp, kOutputTif8, kOutputTif16})
        if (frame.outputMenu->IsChecked(id)) return id;
    return 0;
}

std::vector<int> enabledOutputs(const UI_TLCrop& frame) {
    std::vector<int> enabled;
    for (int id : {kOutputJpeg, kOutputBmp, kOutputTif8, kOutputTif16})
        if (frame.outputMenu->IsEnabled(id)) enabled.push_back(id);
    return enabled;
}

// A window built on a settings file with the given values; the boxes of
// construction are recorded in `shown`.
class ModesWindow : public ::testing::Test {
protected:
    void build(int cropMode, int outputFormat, int searchPerimeter = 10, bool stack = false) {
        std::vector<std::string> lines =
            settingsLines(cropMode, folder.path(), searchPerimeter, outputFormat);
        lines[5] = stack ? "1" : "0";
        writeSettingsFile(lines);
        DialogRecorder recorder;
        window = std::make_unique<MainWindow>();
        constructionBoxes = recorder.shown();
    }
    UI_TLCrop& frame() { return **window; }

    void load(const std::vector<std::string>& paths) {
        DialogRecorder recorder;
        loadImageSet(frame(), paths);
        loadBoxes = recorder.shown();
    }

    testsupport::TempDir folder;
    testsupport::TempDir images;
    std::unique_ptr<MainWindow> window;
    std::vector<ShownDialog> constructionBoxes;
    std::vector<ShownDialog> loadBoxes;
};

void expectBox(const ShownDialog& box, const std::string& caption, const std::string& text,
               long icon) {
    EXPECT_TRUE(box.isMessageBox);
    EXPECT_EQ(toUtf8(box.caption), caption);
    EXPECT_EQ(toUtf8(box.message), text);
    EXPECT_EQ(box.icon(), icon);
}

std::vector<std::string> writePngs(const testsupport::TempDir& dir,
                                   const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    wxImage image(64, 48);
    for (const std::string& name : names) {
        paths.push_back(dir.file(name));
        image.SaveFile(toWx(paths.back()), wxBITMAP_TYPE_PNG);
    }
    return paths;
}

}  // namespace

TEST_F(ModesWindow, ManualSetUpAtStart) {
    build(0, kOutputTif8);
    EXPECT_TRUE(constructionBoxes.empty());
    EXPECT_EQ(title(frame()), expectedTitle("Manual Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Manual");
    EXPECT_EQ(status(frame(), 1), "Stack: N/A");
    EXPECT_EQ(status(frame(), 2), "Search Size: N/A");

    EXPECT_TRUE(frame().cropModeMenu->IsChecked(kManualModeItem));
    EXPECT_TRUE(frame().cropModeMenu->IsEnabled(kAutomaticModeItem));
    EXPECT_EQ(toUtf8(frame().cropModeMenu->GetLabel(kManualModeItem)), "Manual");
    EXPECT_EQ(frame().cropModeMenu->FindItem(kStackSwitch), nullptr);

    EXPECT_FALSE(isMenuItemEnabled(frame(), kSetReference));
    EXPECT_FALSE(isToolEnabled(frame(), kSetReference));
    EXPECT_FALSE(isToolEnabled(frame(), kValidate));
    EXPECT_FALSE(isToolEnabled(frame(), kToggleSafeArea));
    EXPECT_FALSE(isToolEnabled(frame(), kRemoveFiles));
    EXPECT_FALSE(isMenuItemEnabled(frame(), kRemoveFiles));

    EXPECT_EQ(checkedOutput(frame()), kOutputTif8);
    EXPECT_EQ(enabledOutputs(frame()), (std::vector<int>{kOutputJpeg, kOutputBmp, kOutputTif8}));
}

TEST_F(ModesWindow, ManualModeTurnsSixteenBitTiffIntoEightBit) {
    build(0, kOutputTif16);
    ASSERT_EQ(constructionBoxes.size(), 1u);
    expectBox(constructionBoxes[0], kOptionChanged, kSixteenBitManual, wxICON_EXCLAMATION);
    EXPECT_EQ(frame().options.outputFormat, kOutputTif8);
    EXPECT_EQ(checkedOutput(frame()), kOutputTif8);
    EXPECT_EQ(settingsLine(9), "1023");
    EXPECT_FALSE(frame().outputMenu->IsEnabled(kOutputTif16));
}

TEST_F(ModesWindow, AutomaticSetUpAtStart) {
    build(1, kOutputTif8, 15);
    EXPECT_TRUE(constructionBoxes.empty());
    EXPECT_EQ(title(frame()), expectedTitle("Automatic Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Fully Automatic");
    EXPECT_EQ(status(frame(), 1), "Images: 0");
    EXPECT_EQ(status(frame(), 2), "Search Size: 15 px");
    EXPECT_TRUE(frame().cropModeMenu->IsChecked(kAutomaticModeItem));
    // Nothing loaded: the set commands stay off.
    EXPECT_FALSE(isToolEnabled(frame(), kSetReference));
    EXPECT_FALSE(isToolEnabled(frame(), kValidate));
    EXPECT_FALSE(isToolEnabled(frame(), kToggleSafeArea));
    EXPECT_EQ(enabledOutputs(frame()), (std::vector<int>{kOutputBmp, kOutputTif8, kOutputTif16}));
    // No input type yet: the input rules wait for a set.
    EXPECT_FALSE(frame().formatRulesApplied);
}

TEST_F(ModesWindow, AutomaticModeRefusesJpegOutput) {
    build(1, kOutputJpeg);
    ASSERT_EQ(constructionBoxes.size(), 1u);
    expectBox(constructionBoxes[0], kOptionChanged, kJpegAutomatic, wxICON_EXCLAMATION);
    EXPECT_EQ(frame().options.outputFormat, kOutputTif8);
    EXPECT_EQ(checkedOutput(frame()), kOutputTif8);
    EXPECT_EQ(settingsLine(9), "1023");
    EXPECT_FALSE(frame().outputMenu->IsEnabled(kOutputJpeg));
}

TEST_F(ModesWindow, UnknownModeNamesItselfSo) {
    build(7, kOutputTif8);
    EXPECT_EQ(title(frame()), expectedTitle("Mode Unknown"));
    EXPECT_EQ(status(frame(), 0), "Mode: Unknown");
}

TEST_F(ModesWindow, BitmapInputInTheAutomaticModeOutputsBitmap) {
    build(1, kOutputTif8);
    load(writeImages(images, {"a.bmp", "b.bmp", "c.bmp"}, 320, 240));
    ASSERT_EQ(loadBoxes.size(), 2u);
    EXPECT_EQ(toUtf8(loadBoxes[0].caption), "Validation Completed!");
    expectBox(loadBoxes[1], kOptionChanged, kBitmapInput, wxICON_EXCLAMATION);

    EXPECT_EQ(checkedOutput(frame()), kOutputBmp);
    EXPECT_EQ(enabledOutputs(frame()), (std::vector<int>{kOutputBmp}));
    EXPECT_EQ(settingsLine(9), "1022");
    EXPECT_TRUE(frame().formatRulesApplied);
    EXPECT_EQ(status(frame(), 1), "Images: 3");
    for (int id : {kSetReference, kRemoveFiles, kValidate, kToggleSafeArea})
        EXPECT_TRUE(isToolEnabled(frame(), id)) << id;

    // The rules have run for this set: a second set-up says nothing.
    DialogRecorder again;
    frame().setupUI(1);
    EXPECT_TRUE(again.shown().empty());
    EXPECT_EQ(frame().options.outputFormat, kOutputBmp);
}

TEST_F(ModesWindow, JpegAndTiffInputRefuseBitmapOutput) {
    for (const std::string extension : {"jpg", "tif"}) {
        build(1, kOutputBmp);
        load(writeImages(images, {"a." + extension, "b." + extension}, 320, 240));
        ASSERT_EQ(loadBoxes.size(), 2u) << extension;
        expectBox(loadBoxes[1], kOptionChanged, extension == "jpg" ? kJpegInput : kTiffInput,
                  wxICON_EXCLAMATION);
        EXPECT_EQ(frame().options.outputFormat, kOutputTif8) << extension;
        EXPECT_EQ(checkedOutput(frame()), kOutputTif8) << extension;
        EXPECT_EQ(enabledOutputs(frame()), (std::vector<int>{kOutputTif8, kOutputTif16}))
            << extension;
        EXPECT_EQ(settingsLine(9), "1023") << extension;
        window.reset();
    }
}

TEST_F(ModesWindow, SwitchingToAutomaticWarnsAboutJpegBeforeTheInputRules) {
    build(0, kOutputJpeg);
    load(writeImages(images, {"a.tif", "b.tif"}, 320, 240));
    EXPECT_TRUE(loadBoxes.empty());

    DialogRecorder recorder;
    sendCommand(frame(), kAutomaticModeItem);
    EXPECT_EQ(recorder.captions(),
              (std::vector<std::string>{"Validation Completed!", "Notification", kOptionChanged}));
    ASSERT_EQ(recorder.shown().size(), 3u);
    EXPECT_EQ(toUtf8(recorder.shown()[1].message), kAutomaticNotification);
    EXPECT_EQ(recorder.shown()[1].icon(), wxICON_INFORMATION);
    EXPECT_EQ(toUtf8(recorder.shown()[2].message), kJpegAutomatic);
    EXPECT_EQ(frame().options.outputFormat, kOutputTif8);
    EXPECT_EQ(title(frame()), expectedTitle("Automatic Mode"));
    EXPECT_EQ(settingsLine(5), "1");
    EXPECT_EQ(settingsLine(9), "1023");
}

TEST_F(ModesWindow, InputWithoutARuleLeavesTheRulesPending) {
    build(0, kOutputTif8);
    load(writePngs(images, {"a.png", "b.png"}));
    ASSERT_EQ(frame().inputExtension, "PNG");
    removeSettingsFile();

    DialogRecorder recorder;
    frame().options.cropMode = 1;
    frame().setupUI(1);
    EXPECT_TRUE(recorder.shown().empty());
    EXPECT_FALSE(frame().formatRulesApplied);
    EXPECT_FALSE(settingsFileExists());
    EXPECT_EQ(status(frame(), 0), "Mode: Fully Automatic");
}

TEST_F(ModesWindow, ChoosingSixteenBitTiffGivesEightBit) {
    for (int mode : {0, 1}) {
        build(mode, kOutputBmp);
        DialogRecorder recorder;
        sendCommand(frame(), kOutputTif16);
        ASSERT_GE(recorder.shown().size(), 1u) << mode;
        const ShownDialog& box = recorder.shown()[0];
        EXPECT_EQ(toUtf8(box.message), kSixteenBitChosen);
        EXPECT_EQ(box.caption, wxString(wxMessageBoxCaptionStr));
        EXPECT_EQ(box.style & (wxOK | wxCENTRE), wxOK | wxCENTRE);
        EXPECT_EQ(recorder.shown().size(), 1u) << mode;
        EXPECT_EQ(frame().options.outputFormat, kOutputTif8) << mode;
        EXPECT_EQ(checkedOutput(frame()), kOutputTif8) << mode;
        EXPECT_EQ(settingsLine(9), "1023") << mode;
        window.reset();
    }
}

TEST_F(ModesWindow, SingleImageStateInTheManualMode) {
    build(0, kOutputTif8);
    load(writeImages(images, {"only.bmp"}, 640, 480));
    EXPECT_TRUE(loadBoxes.empty());
    EXPECT_EQ(title(frame()), expectedTitle("Manual Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Single Image");
    EXPECT_EQ(status(frame(), 1), "Stack: N/A");
    EXPECT_EQ(status(frame(), 2), "Search Area: N/A");
    EXPECT_EQ(status(frame(), 3), "Image Size: 640 x 480");
    EXPECT_EQ(toUtf8(frame().cropModeMenu->GetLabel(kManualModeItem)), "Manual (Single Image)");
    EXPECT_TRUE(frame().cropModeMenu->IsChecked(kManualModeItem));
    EXPECT_FALSE(frame().cropModeMenu->IsEnabled(kAutomaticModeItem));
    EXPECT_EQ(enabledOutputs(frame()), (std::vector<int>{kOutputJpeg, kOutputBmp, kOutputTif8}));

    // The commands apply the stored mode, which does not match the state.
    DialogRecorder recorder;
    sendCommand(frame(), kOutputJpeg);
    EXPECT_EQ(status(frame(), 0), "Mode: Unknown");
    EXPECT_EQ(frame().options.outputFormat, kOutputJpeg);
    EXPECT_EQ(toUtf8(frame().cropModeMenu->GetLabel(kManualModeItem)), "Manual (Single Image)");
    sendCommand(frame(), kManualModeItem);
    EXPECT_EQ(status(frame(), 0), "Mode: Unknown");
    EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Notification"}));
}

TEST_F(ModesWindow, SingleImageInTheAutomaticModeIsClearedWithAWarning) {
    build(1, kOutputTif8);
    load(writeImages(images, {"only.bmp"}, 640, 480));
    ASSERT_EQ(loadBoxes.size(), 1u);
    expectBox(loadBoxes[0], "Warning",
              "You are currently in the fully automatic mode but have only loaded one image. The "
              "fully automatic mode requires multiple images.\n\nIf you want to crop one image "
              "please change to the manual mode and then load your image again.",
              wxICON_EXCLAMATION);
    EXPECT_FALSE(frame().imagesLoaded);
    EXPECT_FALSE(frame().singleImage);
    EXPECT_EQ(frame().imageList->GetItemCount(), 0);
    EXPECT_EQ(status(frame(), 0), "Mode: Fully Automatic");
}

TEST_F(ModesWindow, ModeCommandsWithoutASet) {
    build(1, kOutputTif8);
    DialogRecorder toManual;
    sendCommand(frame(), kManualModeItem);
    ASSERT_EQ(toManual.shown().size(), 1u);
    expectBox(toManual.shown()[0], "Notification", kManualNotification, wxICON_INFORMATION);
    EXPECT_EQ(settingsLine(5), "0");
    EXPECT_EQ(title(frame()), expectedTitle("Manual Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Manual");

    DialogRecorder toAutomatic;
    sendCommand(frame(), kAutomaticModeItem);
    ASSERT_EQ(toAutomatic.shown().size(), 1u);
    expectBox(toAutomatic.shown()[0], "Notification", kAutomaticNotification, wxICON_INFORMATION);
    EXPECT_EQ(settingsLine(5), "1");
    EXPECT_EQ(title(frame()), expectedTitle("Automatic Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Fully Automatic");
}

TEST_F(ModesWindow, FailedValidationKeepsTheWindowButStoresTheMode) {
    build(0, kOutputTif8);
    const auto small = writeImages(images, {"a.bmp"}, 320, 240);
    const auto wide = writeImages(images, {"b.bmp"}, 321, 240);
    load({small[0], wide[0]});

    DialogRecorder recorder;
    sendCommand(frame(), kAutomaticModeItem);
    EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Critical Error"}));
    EXPECT_EQ(frame().options.cropMode, 1);
    EXPECT_EQ(settingsLine(5), "1");
    EXPECT_EQ(title(frame()), expectedTitle("Manual Mode"));
    EXPECT_EQ(status(frame(), 0), "Mode: Manual");
    EXPECT_FALSE(frame().formatRulesApplied);
}

TEST_F(ModesWindow, StackCommandSwitchesStackingOff) {
    build(1, kOutputTif8, 10, true);
    ASSERT_TRUE(frame().options.stackEnabled);
    DialogRecorder recorder;
    sendCommand(frame(), kStackSwitch);
    ASSERT_EQ(recorder.shown().size(), 1u);
    expectBox(recorder.shown()[0], "Image Stack Function",
              "Image Stacking will be implemented in a future version of Tellvar.",
              wxICON_INFORMATION);
    EXPECT_FALSE(frame().options.stackEnabled);
    EXPECT_EQ(settingsLine(6), "0");
}

// Answers the options dialog: the given mode and perimeter, then Accept.
void acceptOptions(DialogRecorder& recorder, int cropMode, int perimeter) {
    recorder.handle<UI_OptionsDialog>([cropMode, perimeter](UI_OptionsDialog& dialog) {
        (cropMode == 0 ? dialog.manualButton : dialog.automaticButton)->SetValue(true);
        wxCommandEvent modeChanged(wxEVT_RADIOBUTTON);
        dialog.onCropMode(modeChanged);
        dialog.perimeterChoice->SetValue(wxString::Format("%d", perimeter));
        wxCommandEvent accept(wxEVT_BUTTON, 1009);
        dialog.onOK(accept);
        return wxID_OK;
    });
}

TEST_F(ModesWindow, CancelledOptionsChangeNothing) {
    build(1, kOutputTif8);
    load(writeImages(images, {"a.bmp", "b.bmp"}, 640, 480));
    const std::size_t outlinesBefore = frame().previewCanvas.outlines().size();
    removeSettingsFile();

    DialogRecorder recorder;
    recorder.handle<UI_OptionsDialog>([](UI_OptionsDialog& dialog) {
        dialog.automaticButton->SetValue(false);
        dialog.manualButton->SetValue(true);
        wxCommandEvent cancel(wxEVT_BUTTON, 1010);
        dialog.onCancel(cancel);
        return wxID_CANCEL;
    });
    sendCommand(frame(), kOptions);
    EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Tellvar Configuration"}));
    EXPECT_FALSE(settingsFileExists());
    EXPECT_EQ(frame().options.cropMode, 1);
    EXPECT_EQ(frame().previewCanvas.outlines().size(), outlinesBefore);
}

TEST_F(ModesWindow, OptionsLowerALargePerimeterForSmallImages) {
    build(1, kOutputTif8);
    load(writeImages(images, {"a.bmp", "b.bmp"}, 640, 480));
    frame().referenceSet = true;
    {
        DialogRecorder crop;
        acceptCropSize(crop, 200, 100);
        sendCommand(frame(), kSetCrop);
    }
    frame().cropX = 5;  // as if dragged

    DialogRecorder recorder;
    acceptOptions(recorder, 1, 35);
    sendCommand(frame(), kOptions);
    std::vector<std::string> texts = recorder.messageTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], kPerimeterReduced);
    EXPECT_EQ(frame().options.searchPerimeter, 30);
    EXPECT_EQ(settingsLine(8), "30");
    EXPECT_EQ(status(frame(), 2), "Search Size: 30 px");
    // The frame follows the new perimeter and the rectangle is centred again.
    ASSERT_NE(frame().previewCanvas.safeAreaFrame(), nullptr);
    EXPECT_EQ(frame().previewCanvas.safeAreaFrame()->rect, (preview::Rect{32, 32, 576, 416}));
    EXPECT_EQ(frame().cropX, 220);
}

TEST_F(ModesWindow, OptionsThatChangeTheModeSwitchIt) {
    build(1, kOutputTif8);
    DialogRecorder recorder;
    acceptOptions(recorder, 0, 10);
    sendCommand(frame(), kOptions);
    EXPECT_EQ(recorder.captions(),
              (std::vector<std::string>{"Tellvar Configuration", "Notification"}));
    EXPECT_EQ(frame().options.cropMode, 0);
    EXPECT_EQ(settingsLine(5), "0");
    EXPECT_EQ(title(frame()), expectedTitle("Manual Mode"));
}
