#include "AutoVersion.h"
#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "UI_About.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <string>
#include <vector>

namespace {

class AboutDialog : public ::testing::Test {
protected:
    UI_TLAbout* dialog = nullptr;

    void SetUp() override {
        // The main window registers the picture decoders before any About.
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
        dialog = new UI_TLAbout("About");
    }
    void TearDown() override {
        if (!guitest::closed(dialog)) dialog->Destroy();
        guitest::flushPendingDeletes();
    }

    std::vector<wxString> panelTexts() const {
        std::vector<wxString> texts;
        for (wxWindow* child : dialog->aboutPanel->GetChildren())
            if (auto* label = dynamic_cast<wxStaticText*>(child))
                texts.push_back(label->GetLabel());
        return texts;
    }
};

TEST_F(AboutDialog, ShowsTheProductVersionsAndNotices) {
    EXPECT_EQ(dialog->GetTitle(), "About");
    EXPECT_EQ(dialog->GetParent(), nullptr);
    EXPECT_FALSE(dialog->HasFlag(wxRESIZE_BORDER));
    EXPECT_EQ(dialog->appNameLabel->GetLabel(), "Tellvar 64Bit");
    EXPECT_EQ(dialog->softwareVersionLabel->GetLabel(), "Software Version: 1.1.0");
    EXPECT_EQ(dialog->engineVersionLabel->GetLabel(), "Engine Version: 1.0.3");
    EXPECT_EQ(dialog->legalNoticeLabel->GetLabel(), wxString::FromUTF8(AutoVersion::appCopyright));
    EXPECT_EQ(dialog->contactLabel->GetLabel(), wxString::FromUTF8(AutoVersion::appCopyrightName));
    EXPECT_FALSE(dialog->legalNoticeLabel->GetLabel().empty());
    EXPECT_FALSE(dialog->contactLabel->GetLabel().empty());
    EXPECT_EQ(dialog->okButton->GetId(), 1000);
    EXPECT_EQ(dialog->okButton->GetLabel(), "OK");

    // The column, top to bottom: name, subtitle, the two versions, notice, contact.
    const std::vector<wxString> expected = {"Tellvar 64Bit",
                                            "Image Registration and Cropping",
                                            "Software Version: 1.1.0",
                                            "Engine Version: 1.0.3",
                                            wxString::FromUTF8(AutoVersion::appCopyright),
                                            wxString::FromUTF8(AutoVersion::appCopyrightName)};
    EXPECT_EQ(panelTexts(), expected);
    for (const wxString& text : panelTexts()) EXPECT_FALSE(text.Contains("<")) << text;
}

TEST_F(AboutDialog, ShowsItsOwnPictureAtTheDesignedSize) {
    const wxBitmap logo = dialog->logoBitmap->GetBitmap();
    ASSERT_TRUE(logo.IsOk());
    EXPECT_EQ(logo.GetWidth(), 200);
    EXPECT_EQ(logo.GetHeight(), 140);
}

TEST_F(AboutDialog, ShowsEveryTextWholeWithTheRealTexts) {
    EXPECT_EQ(dialogtest::clippedControls(dialog), std::vector<std::string>{});
    // The name line is centred over the column, not left where its
    // placeholder was.
    const wxRect name = dialog->appNameLabel->GetRect();
    const wxRect subtitleColumn = dialog->softwareVersionLabel->GetRect();
    EXPECT_NEAR(name.x + name.width / 2.0, subtitleColumn.x + subtitleColumn.width / 2.0, 2.0);
    EXPECT_GE(dialog->okButton->GetSize().y, 30);
}

TEST_F(AboutDialog, OkAndTheCloseBoxCloseIt) {
    guitest::clickButton(*dialog, 1000);
    EXPECT_TRUE(guitest::closed(dialog));
    guitest::flushPendingDeletes();

    dialog = new UI_TLAbout("About");
    dialog->Close();
    EXPECT_TRUE(guitest::closed(dialog));
}

TEST_F(AboutDialog, OkEndsARealModalLoop) {
    const bool ended =
        dialogtest::runModal(dialog, [this] { guitest::clickButton(*dialog, 1000); });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(guitest::closed(dialog));
}

}  // namespace
