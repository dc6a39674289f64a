// The run summary: its eleven lines, the single-processor box and the three
// ways out, answered through the caller's two flags.

#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "RunTestSupport.h"
#include "UI_ConfDialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace guitest;

namespace {

const std::string kRule(52, '-');

// Owns one summary dialog and the flags it answers through.
struct Summary {
    bool cancelled = false;
    bool singleThread = false;
    UI_ConfDialog* dialog;

    explicit Summary(const ImageData& data = dialogtest::sampleData())
        : dialog(new UI_ConfDialog("Configuration", data, &cancelled, &singleThread)) {}
    ~Summary() {
        if (!closed(dialog)) dialog->Destroy();
        flushPendingDeletes();
    }

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        for (unsigned i = 0; i < dialog->parameterList->GetCount(); ++i)
            result.push_back(toUtf8(dialog->parameterList->GetString(i)));
        return result;
    }
    void setSingleProcessor(bool ticked) {
        dialog->singleProcessorBox->SetValue(ticked);
        wxCommandEvent event(wxEVT_CHECKBOX, 1003);
        event.SetInt(ticked ? 1 : 0);
        event.SetEventObject(dialog->singleProcessorBox);
        dialog->ProcessWindowEvent(event);
    }
};

const char kSingleProcessorWarning[] =
    "Checking this option will cause the application to run on one CPU core. This will also "
    "cause the cropping and registration process to run slower.\n\nThis option should not be "
    "used in most cases. Only select this option if the application does not run correctly on "
    "multiple cores.\n\nThe developer would be interested in hearing if you need to select this "
    "compatibility option.";

}  // namespace

TEST(ConfDialogLines, ElevenLinesInOrder) {
    Summary summary;
    const std::vector<std::string> expected = {
        "Tellvar configured with the following parameters",
        kRule,
        "Images to Process  : 12",
        "Initial Image Size : 1600 x 1200",
        "Crop Size          : 200 x 150",
        "Reference Frame    : m42_0007.bmp",
        kRule,
        "Save File Format: Bitmap",
        "",
        "Image Save Location:",
        "/data/night \xc3\xa9t\xc3\xa9 \xe6\x98\x9f/out",
    };
    EXPECT_EQ(summary.lines(), expected);
    EXPECT_EQ(summary.dialog->GetTitle(), "Configuration");
    // Every label's colon is the 20th character.
    for (int line = 2; line <= 5; ++line) EXPECT_EQ(summary.lines()[line].find(':'), 19u);
}

TEST(ConfDialogLines, OutputFormatNames) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1021, "JPEG"},      {1022, "Bitmap"},       {1023, "TIFF (8 bit)"}, {1024, "TIFF (8 bit)"},
        {0, "TIFF (8 bit)"}, {1025, "TIFF (8 bit)"}, {-3, "TIFF (8 bit)"},
    };
    for (const auto& [format, name] : cases) {
        ImageData data = dialogtest::sampleData();
        data.outputFormat = format;
        Summary summary(data);
        EXPECT_EQ(summary.lines()[7], "Save File Format: " + name) << format;
    }
}

TEST(ConfDialogLines, ValuesShownUnchecked) {
    ImageData data = dialogtest::sampleData();
    data.imageCount = 1;
    data.cropWidth = -5;
    data.cropHeight = 0;
    data.saveFolder.clear();
    data.referenceFrame.clear();
    Summary summary(data);
    const std::vector<std::string> lines = summary.lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[2], "Images to Process  : 1");
    EXPECT_EQ(lines[4], "Crop Size          : -5 x 0");
    EXPECT_EQ(lines[5], "Reference Frame    : ");
    EXPECT_EQ(lines[10], "");
}

TEST(ConfDialogControls, IdsLabelsAndNothingPreset) {
    Summary summary;
    UI_ConfDialog& dialog = *summary.dialog;
    EXPECT_EQ(dialog.cancelButton->GetId(), 1001);
    EXPECT_EQ(dialog.cancelButton->GetLabel(), "Cancel");
    EXPECT_EQ(dialog.startButton->GetId(), 1002);
    EXPECT_EQ(dialog.startButton->GetLabel(), "START");
    EXPECT_EQ(dialog.startButton->GetSize().x, 230);
    EXPECT_EQ(dialog.singleProcessorBox->GetId(), 1003);
    EXPECT_EQ(dialog.singleProcessorBox->GetLabel(),
              "Run on Single Processor (For Older Computers)");
    EXPECT_FALSE(dialog.singleProcessorBox->IsChecked());
    EXPECT_EQ(dialog.GetParent(), nullptr);
    EXPECT_EQ(dialog.GetWindowStyleFlag() & wxRESIZE_BORDER, 0);
    // GTK sizes: every control gets at least the room its text needs. The
    // list keeps its 360 x 170 and scrolls what is longer.
    std::vector<std::string> clipped = dialogtest::clippedControls(&dialog);
    clipped.erase(std::remove(clipped.begin(), clipped.end(), "wxListBox smaller than it asks for"),
                  clipped.end());
    EXPECT_EQ(clipped, std::vector<std::string>{});
    EXPECT_EQ(dialog.parameterList->GetSize(), wxSize(360, 170));
    // The constructor writes through neither flag.
    EXPECT_FALSE(summary.cancelled);
    EXPECT_FALSE(summary.singleThread);
}

TEST(ConfDialogAnswers, CancelAndCloseBoxBothCancel) {
    {
        Summary summary;
        clickButton(*summary.dialog, 1001);
        EXPECT_TRUE(summary.cancelled);
        EXPECT_TRUE(closed(summary.dialog));
    }
    {
        Summary summary;
        summary.dialog->Close();
        EXPECT_TRUE(summary.cancelled);
        EXPECT_FALSE(summary.singleThread);
        EXPECT_TRUE(closed(summary.dialog));
    }
}

TEST(ConfDialogAnswers, StartEndsARealModalLoop) {
    bool cancelled = false;
    bool singleThread = false;
    auto* dialog =
        new UI_ConfDialog("Configuration", dialogtest::sampleData(), &cancelled, &singleThread);
    // START pressed inside a real modal loop ends it, and the dialog is
    // closed only once ShowModal() has returned.
    const bool ended = dialogtest::runModal(dialog, [dialog] { clickButton(*dialog, 1002); });
    EXPECT_TRUE(ended);
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(singleThread);
    EXPECT_TRUE(closed(dialog));
    flushPendingDeletes();
}

TEST(ConfDialogAnswers, CloseBoxEndsARealModalLoop) {
    bool cancelled = false;
    bool singleThread = false;
    auto* dialog =
        new UI_ConfDialog("Configuration", dialogtest::sampleData(), &cancelled, &singleThread);
    EXPECT_TRUE(dialogtest::runModal(dialog, [dialog] { dialog->Close(); }));
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(closed(dialog));
    flushPendingDeletes();
}

TEST(ConfDialogSingleProcessor, TickWarnsThenSetsFlag) {
    DialogRecorder boxes;
    Summary summary;
    summary.setSingleProcessor(true);
    ASSERT_EQ(boxes.messageBoxes().size(), 1u);
    const ShownDialog warning = boxes.messageBoxes()[0];
    EXPECT_EQ(warning.caption, "Warning Notification");
    EXPECT_EQ(toUtf8(warning.message), kSingleProcessorWarning);
    EXPECT_EQ(warning.icon(), wxICON_EXCLAMATION);
    EXPECT_TRUE(summary.singleThread);
    EXPECT_TRUE(summary.dialog->singleProcessorBox->IsChecked());
    EXPECT_FALSE(summary.cancelled);
}

TEST(ConfDialogSingleProcessor, UntickIsSilentAndClearsFlag) {
    DialogRecorder boxes;
    Summary summary;
    summary.setSingleProcessor(true);
    summary.setSingleProcessor(false);
    EXPECT_FALSE(summary.singleThread);
    EXPECT_EQ(boxes.messageBoxes().size(), 1u);
    // Every new tick warns again.
    summary.setSingleProcessor(true);
    EXPECT_EQ(boxes.messageBoxes().size(), 2u);
    EXPECT_TRUE(summary.singleThread);
}

TEST(ConfDialogSingleProcessor, TickThenCancelLeavesBothTrue) {
    DialogRecorder boxes;
    Summary summary;
    summary.setSingleProcessor(true);
    clickButton(*summary.dialog, 1001);
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.singleThread);
}
