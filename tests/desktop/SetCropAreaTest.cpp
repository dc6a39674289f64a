#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "UI_SetCropArea.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <climits>
#include <string>

namespace {

const char kTooLarge[] =
    "Crop area must not be greater than the actual image size.\n\nPlease Refer to the actual "
    "size of the image which is displayed on the dialog.";
const char kNotPositive[] =
    "Crop width and height must be positive whole numbers.\n\nPlease enter a width and a height "
    "of at least 1 pixel.";

// ---------------------------------------------------------------------------
// Reading one typed dimension

struct Reading {
    const char* text;
    CropEntryKind kind;
    int value;
};

class CropEntryReading : public ::testing::TestWithParam<Reading> {};

TEST_P(CropEntryReading, ReadsLikeTheTypedNumber) {
    const Reading& r = GetParam();
    const CropEntry entry = readCropEntry(wxString::FromUTF8(r.text));
    EXPECT_EQ(entry.kind, r.kind);
    if (r.kind == CropEntryKind::positive) {
        EXPECT_EQ(entry.value, r.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SetCropArea, CropEntryReading,
    ::testing::Values(
        Reading{"400", CropEntryKind::positive, 400},
        Reading{"400px", CropEntryKind::positive, 400},
        Reading{"12abc", CropEntryKind::positive, 12}, Reading{"12.9", CropEntryKind::positive, 12},
        Reading{" 300", CropEntryKind::positive, 300}, Reading{"\t 7", CropEntryKind::positive, 7},
        Reading{"+5", CropEntryKind::positive, 5}, Reading{"007", CropEntryKind::positive, 7},
        Reading{"2147483647", CropEntryKind::positive, INT_MAX},
        Reading{"", CropEntryKind::none, 0}, Reading{"   ", CropEntryKind::none, 0},
        Reading{"abc", CropEntryKind::none, 0}, Reading{"x12", CropEntryKind::none, 0},
        Reading{"+", CropEntryKind::none, 0}, Reading{"0", CropEntryKind::none, 0},
        Reading{"-0", CropEntryKind::none, 0}, Reading{"000px", CropEntryKind::none, 0},
        // Full-width digits are not the decimal digits the reader takes.
        Reading{"\xEF\xBC\x91\xEF\xBC\x92", CropEntryKind::none, 0},
        Reading{"-5", CropEntryKind::negative, 0}, Reading{" -1200", CropEntryKind::negative, 0},
        Reading{"-4294967396", CropEntryKind::negative, 0},
        // Would wrap to 100 if a 64-bit reading were narrowed to int.
        Reading{"4294967396", CropEntryKind::tooLarge, 0},
        Reading{"2147483648", CropEntryKind::tooLarge, 0},
        Reading{"99999999999999999999999999", CropEntryKind::tooLarge, 0}));

// ---------------------------------------------------------------------------
// The dialog

class SetCropArea : public ::testing::Test {
protected:
    bool cancelled = false;
    int width = 0;
    int height = 0;
    UI_SetCropArea* dialog = nullptr;

    void SetUp() override {
        dialog =
            new UI_SetCropArea("Set Cropping Area", &cancelled, 1600, 1200, "24", &width, &height);
    }
    void TearDown() override {
        if (!guitest::closed(dialog)) dialog->Destroy();
        guitest::flushPendingDeletes();
    }

    void send(int id) { guitest::clickButton(*dialog, id); }
    void accept(const char* typedWidth, const char* typedHeight) {
        dialog->widthText->ChangeValue(wxString::FromUTF8(typedWidth));
        dialog->heightText->ChangeValue(wxString::FromUTF8(typedHeight));
        send(1001);
    }
};

TEST_F(SetCropArea, ShowsTheImageFactsAndOffersTwoEntries) {
    EXPECT_EQ(dialog->GetTitle(), "Set Cropping Area");
    EXPECT_EQ(dialog->GetParent(), nullptr);
    EXPECT_FALSE(dialog->HasFlag(wxRESIZE_BORDER));
    EXPECT_EQ(dialog->bitDepthText->GetValue(), "24");
    EXPECT_EQ(dialog->imageSizeText->GetValue(), "1600 x 1200");
    EXPECT_FALSE(dialog->bitDepthText->IsEditable());
    EXPECT_FALSE(dialog->imageSizeText->IsEditable());
    EXPECT_TRUE(dialog->widthText->IsEditable());
    EXPECT_TRUE(dialog->heightText->IsEditable());
    EXPECT_EQ(dialog->widthText->GetValue(), "");
    EXPECT_EQ(dialog->heightText->GetValue(), "");
    EXPECT_EQ(dialog->FindWindow(1001)->GetLabel(), "Accept");
    EXPECT_EQ(dialog->FindWindow(1000)->GetLabel(), "Cancel");
    EXPECT_EQ(dialog->GetDefaultItem(), dialog->acceptButton);
    EXPECT_EQ(dialog->bitDepthLabel->GetLabel(), "Bit Depth:");
    EXPECT_EQ(dialog->imageSizeLabel->GetLabel(), "Image Size:");
    EXPECT_EQ(dialog->timesLabel->GetLabel(), "x");
}

TEST_F(SetCropArea, ShowsTheCallersBitDepthTextUnchangedAndWhole) {
    bool otherCancelled = false;
    int w = 0, h = 0;
    const wxString depth = wxString::FromUTF8(
        "32 bits per pixel, r\xC3\xA9"
        "d green blue alpha");
    auto* other =
        new UI_SetCropArea("Set Cropping Area", &otherCancelled, 2000000000, 3, depth, &w, &h);
    EXPECT_EQ(other->bitDepthText->GetValue(), depth);
    EXPECT_EQ(other->imageSizeText->GetValue(), "2000000000 x 3");
    for (wxTextCtrl* box : {other->bitDepthText, other->imageSizeText}) {
        const wxSize needed = box->GetSizeFromTextSize(box->GetTextExtent(box->GetValue()));
        EXPECT_GE(box->GetSize().x, needed.x) << box->GetValue();
    }
    EXPECT_EQ(dialogtest::clippedControls(other), std::vector<std::string>{});
    other->Destroy();
}

TEST_F(SetCropArea, ShowsEveryTextWholeAtTheToolkitsSizes) {
    EXPECT_EQ(dialogtest::clippedControls(dialog), std::vector<std::string>{});
    EXPECT_GE(dialog->bitDepthText->GetSize().x, 110);
    EXPECT_GE(dialog->widthText->GetSize().x, 85);
    EXPECT_GE(dialog->acceptButton->GetSize().x, 105);
}

TEST_F(SetCropArea, AcceptsSizesUpToTheImageSize) {
    guitest::DialogRecorder boxes;
    accept("1600", "1200");
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 1200);
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SetCropArea, ReadsTheLeadingNumberOfEachEntry) {
    accept("400px", " 300");
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
}

TEST_F(SetCropArea, RefusesALargerCropWithTheSizeErrorAndThenTakesACorrectedOne) {
    guitest::DialogRecorder boxes;
    accept("1601", "100");
    accept("100", "1201");
    EXPECT_FALSE(guitest::closed(dialog));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(dialog->widthText->GetValue(), "100") << "entries stay as typed";
    ASSERT_EQ(boxes.messageBoxes().size(), 2u);
    for (const guitest::ShownDialog& box : boxes.messageBoxes()) {
        EXPECT_EQ(box.caption, "Crop Size Error");
        EXPECT_EQ(box.message, kTooLarge);
        EXPECT_EQ(box.icon(), wxICON_ERROR);
    }

    accept("800", "600");
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_FALSE(cancelled);
}

TEST_F(SetCropArea, IgnoresAcceptWithoutANumberInBothEntries) {
    guitest::DialogRecorder boxes;
    const std::pair<const char*, const char*> silent[] = {
        {"0", "100"}, {"100", "0"}, {"", "100"}, {"abc", "100"}, {"100", ""}, {"-0", "5"}};
    for (const auto& [w, h] : silent) {
        accept(w, h);
        EXPECT_FALSE(guitest::closed(dialog)) << w << " x " << h;
    }
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_FALSE(cancelled);
}

TEST_F(SetCropArea, RefusesNegativeSizesWithAMessage) {
    guitest::DialogRecorder boxes;
    accept("-5", "100");
    accept("100", "-1");
    EXPECT_FALSE(guitest::closed(dialog));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    ASSERT_EQ(boxes.messageBoxes().size(), 2u);
    for (const guitest::ShownDialog& box : boxes.messageBoxes()) {
        EXPECT_EQ(box.caption, "Crop Size Error");
        EXPECT_EQ(box.message, kNotPositive);
        EXPECT_EQ(box.icon(), wxICON_ERROR);
    }
}

TEST_F(SetCropArea, RefusesNumbersBeyondTheIntRangeAsLargerThanTheImage) {
    guitest::DialogRecorder boxes;
    accept("4294967396", "100");
    accept("100", "4294967396");
    accept("99999999999999999999", "99999999999999999999");
    EXPECT_FALSE(guitest::closed(dialog));
    EXPECT_EQ(width, 0) << "4294967396 must not wrap round to 100";
    EXPECT_EQ(height, 0);
    ASSERT_EQ(boxes.messageBoxes().size(), 3u);
    for (const guitest::ShownDialog& box : boxes.messageBoxes()) EXPECT_EQ(box.message, kTooLarge);
}

TEST_F(SetCropArea, CancelAndTheCloseBoxLeaveTheSizesAlone) {
    dialog->widthText->ChangeValue("10");
    dialog->heightText->ChangeValue("10");
    send(1000);
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    bool closedCancelled = false;
    int w = 0, h = 0;
    auto* other = new UI_SetCropArea("Set Cropping Area", &closedCancelled, 50, 50, "24", &w, &h);
    other->widthText->ChangeValue("10");
    other->heightText->ChangeValue("10");
    other->Close();
    EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(other));
    EXPECT_TRUE(closedCancelled);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST_F(SetCropArea, AcceptEndsARealModalLoop) {
    wxWindow* focused = nullptr;
    const bool closed = dialogtest::runModal(dialog, [&] {
        focused = wxWindow::FindFocus();
        accept("640", "480");
    });
    EXPECT_EQ(focused, dialog->widthText) << "typing starts in the width box";
    EXPECT_TRUE(closed);
    EXPECT_TRUE(guitest::closed(dialog));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
}

TEST_F(SetCropArea, TheCloseBoxEndsARealModalLoop) {
    const bool closed = dialogtest::runModal(dialog, [this] { dialog->Close(); });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(cancelled);
}

}  // namespace
