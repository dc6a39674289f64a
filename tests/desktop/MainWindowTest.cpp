// The main window's shell: construction, commands, status bar.

#include "GuiTestSupport.h"
#include "UI_About.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

using namespace guitest;

namespace {

const int kWorkflowGroup[] = {1005, 1006, 1008, 1009, 1010, 1014, 1015};
const int kOutsideGroupMenuItems[] = {wxID_OPEN, wxID_EXIT, wxID_ABOUT, 1007, 1016,
                                      1018,      1021,      1022,       1023, 1024};
const int kOutsideGroupTools[] = {wxID_OPEN, 1060, 1061};

}  // namespace

TEST(MainWindowStart, StatusFieldsAfterStartInAutomaticMode) {
    auto window = openMainWindow(1);
    EXPECT_EQ(statusText(**window, 3), "Image Size: N/A");
    EXPECT_EQ(statusText(**window, 4), "Image Path: N/A");
    EXPECT_EQ(statusText(**window, 1), "Images: 0");
}

TEST(MainWindowStart, FixedSizeFrameSizedByItsClientAreaAndCentred) {
    auto window = openMainWindow(1);
    UI_TLCrop& frame = **window;
    // The client area holds the preview panel and the list whole, at their
    // designed sizes.
    EXPECT_EQ(frame.previewPanel->GetSize(), wxSize(800, 600));
    EXPECT_EQ(frame.imageList->GetSize(), wxSize(250, 602));
    const wxRect client(wxPoint(0, 0), frame.GetClientSize());
    EXPECT_TRUE(client.Contains(frame.previewPanel->GetRect()));
    EXPECT_TRUE(client.Contains(frame.imageList->GetRect()));
    const long style = frame.GetWindowStyleFlag();
    EXPECT_FALSE(style & wxRESIZE_BORDER);
    EXPECT_FALSE(style & wxMAXIMIZE_BOX);
    EXPECT_TRUE(style & wxCAPTION);
    EXPECT_TRUE(style & wxCLOSE_BOX);
    EXPECT_TRUE(style & wxMINIMIZE_BOX);
    EXPECT_FALSE(frame.IsShown());

    const wxRect screen = wxDisplay(0u).GetClientArea();
    const wxRect outer = frame.GetRect();
    EXPECT_NEAR(outer.x, screen.x + (screen.width - outer.width) / 2, 1);
    EXPECT_NEAR(outer.y, screen.y + (screen.height - outer.height) / 2, 1);
}

TEST(MainWindowWidgets, ToolTipsAndMenuLabelsDifferWhereTheyShould) {
    auto window = openMainWindow(1);
    const wxToolBar& toolBar = *(*window)->toolBar;
    EXPECT_EQ(toolBar.FindById(1005)->GetShortHelp(), "Set Cropping Area");
    EXPECT_EQ(toolBar.FindById(1010)->GetShortHelp(), "Remove Highlighted Image Files");
    EXPECT_EQ(toolBar.FindById(1015)->GetShortHelp(), "Start Auto Crop Procedure");
    EXPECT_EQ((*window)->menuBar->GetLabel(1010), "Delete Highlighted Files");
    EXPECT_EQ((*window)->menuBar->GetLabel(1015), "Start Procedure");
    // Command 1019 has a handler but nothing that sends it.
    EXPECT_EQ((*window)->menuBar->FindItem(1019), nullptr);
    EXPECT_EQ(toolBar.FindById(1019), nullptr);
}

// Ctrl with each letter, handed to the shown window's accelerators as GTK
// hands a key press to them: none reaches a command.
TEST(MainWindowWidgets, MenusAnswerNoAcceleratorKeys) {
    using ActivateAccelerators = int (*)(void* window, unsigned key, unsigned modifiers);
    const auto activate =
        reinterpret_cast<ActivateAccelerators>(dlsym(RTLD_DEFAULT, "gtk_accel_groups_activate"));
    ASSERT_NE(activate, nullptr);
    constexpr unsigned kControlModifier = 1u << 2;

    auto window = openMainWindow(1);
    UI_TLCrop& frame = **window;
    frame.Show();
    for (int i = 0; i < 50 && !frame.IsShownOnScreen(); ++i) wxYield();
    DialogRecorder dialogs;
    for (unsigned key = 'a'; key <= 'z'; ++key)
        EXPECT_FALSE(activate(frame.GetHandle(), key, kControlModifier)) << "Ctrl+" << char(key);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(closed(&frame));

    // The items themselves still send their standard ids when chosen.
    using ActivateItem = void (*)(void* item);
    const auto choose =
        reinterpret_cast<ActivateItem>(dlsym(RTLD_DEFAULT, "gtk_menu_item_activate"));
    ASSERT_NE(choose, nullptr);
    choose(frame.menuBar->FindItem(wxID_OPEN)->GetMenuItem());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].className, "wxFileDialog");
    choose(frame.menuBar->FindItem(wxID_EXIT)->GetMenuItem());
    EXPECT_TRUE(closed(&frame));
}

TEST(MainWindowCommands, WidgetStateSwitchesExactlyTheWorkflowGroup) {
    auto window = openMainWindow(1);
    UI_TLCrop& frame = **window;
    const auto enableEverything = [&frame] {
        for (int id : kWorkflowGroup) {
            frame.menuBar->Enable(id, true);
            frame.toolBar->EnableTool(id, true);
        }
        for (int id : kOutsideGroupMenuItems) frame.menuBar->Enable(id, true);
        for (int id : kOutsideGroupTools) frame.toolBar->EnableTool(id, true);
    };

    enableEverything();
    frame.widgetState(false);
    for (int id : kWorkflowGroup) {
        EXPECT_FALSE(isMenuItemEnabled(frame, id)) << id;
        if (frame.toolBar->FindById(id)) {
            EXPECT_FALSE(isToolEnabled(frame, id)) << id;
        }
    }
    for (int id : kOutsideGroupMenuItems) EXPECT_TRUE(isMenuItemEnabled(frame, id)) << id;
    for (int id : kOutsideGroupTools) EXPECT_TRUE(isToolEnabled(frame, id)) << id;

    frame.widgetState(true);
    for (int id : kWorkflowGroup) {
        EXPECT_TRUE(isMenuItemEnabled(frame, id)) << id;
        if (frame.toolBar->FindById(id)) {
            EXPECT_TRUE(isToolEnabled(frame, id)) << id;
        }
    }
}

TEST(MainWindowCommands, StartDisablesTheWorkflowGroupOnly) {
    auto window = openMainWindow(0);
    for (int id : {1005, 1006, 1008, 1009, 1015})
        EXPECT_FALSE(isMenuItemEnabled(**window, id)) << id;
    for (int id : {int{wxID_OPEN}, int{wxID_EXIT}, int{wxID_ABOUT}, 1007})
        EXPECT_TRUE(isMenuItemEnabled(**window, id)) << id;
    EXPECT_TRUE(isToolEnabled(**window, wxID_OPEN));
}

TEST(MainWindowCommands, PopStatusBarWritesTextOrTheImageSize) {
    auto window = openMainWindow(1);
    UI_TLCrop& frame = **window;
    frame.popStatusBar("anything", 2, false);
    EXPECT_EQ(statusText(frame, 2), "anything");

    frame.currentImage = wxImage(37, 1021);
    frame.popStatusBar("ignored", 3, true);
    EXPECT_EQ(statusText(frame, 3), "Image Size: 37 x 1021");

    frame.currentImage.Destroy();
    frame.popStatusBar("ignored", 3, true);
    EXPECT_EQ(statusText(frame, 3), "Image Size: N/A");
}

TEST(MainWindowStart, ToolkitLoggingIsLeftAsItWas) {
    for (bool enabled : {true, false}) {
        wxLog::EnableLogging(enabled);
        auto window = openMainWindow(1);
        EXPECT_EQ(wxLog::IsEnabled(), enabled);
    }
    wxLog::EnableLogging(true);
}

TEST(MainWindowCommands, ImageDetailsShowsOnlyItsName) {
    auto window = openMainWindow(1);
    DialogRecorder dialogs;
    sendCommand(**window, 1008);
    const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].message, "Image Details");
    EXPECT_EQ(boxes[0].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(boxes[0].buttons(), wxOK);
    EXPECT_TRUE(boxes[0].style & wxCENTRE);
}

TEST(MainWindowCommands, AboutOpensTheAboutDialogModally) {
    auto window = openMainWindow(1);
    DialogRecorder dialogs;
    bool sawAbout = false;
    dialogs.handle<UI_TLAbout>([&sawAbout](UI_TLAbout& about) {
        sawAbout = true;
        about.Destroy();
        return wxID_OK;
    });
    sendCommand(**window, wxID_ABOUT);
    EXPECT_TRUE(sawAbout);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "About");
    EXPECT_EQ(dialogs.unscripted(), 0);
    flushPendingDeletes();
}

TEST(MainWindowCommands, ExitAndTheCloseBoxEndTheWindowWithoutAQuestion) {
    for (bool useCloseBox : {false, true}) {
        auto window = openMainWindow(1);
        DialogRecorder dialogs;
        UI_TLCrop* frame = window->get();
        if (useCloseBox)
            frame->Close();
        else
            sendCommand(*frame, wxID_EXIT);
        EXPECT_TRUE(closed(frame)) << useCloseBox;
        EXPECT_TRUE(dialogs.shown().empty()) << useCloseBox;
    }
}

TEST(MainWindowCommands, MenuAndToolOfOneIdRunOneHandler) {
    // Clear Image Buffer is both a tool and a menu item: either way the
    // reset question is asked.
    auto window = openMainWindow(0);
    DialogRecorder dialogs;
    dialogs.answer(wxNO);
    sendCommand(**window, 1009);
    ASSERT_EQ(dialogs.messageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.messageBoxes()[0].caption, "Clear Application");
}

// The program itself: started with a settings file in place, it comes up
// without a toolkit complaint and stays up until it is told to go, and
// leaves the file as it was.
TEST(ProgramEntry, StartsWithItsSettingsAndRunsUntilClosed) {
    testsupport::TempDir home;
    const std::string settings = home.path() + "/.Tellvartellvar.ini";
    const std::string content = "1\n255\n0\n0\n0\n0\n/tmp\n10\n1023\n";
    testsupport::writeFile(settings, std::vector<std::uint8_t>(content.begin(), content.end()));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string errors = home.file("stderr.txt");
    if (child == 0) {
        setenv("HOME", home.path().c_str(), 1);
        const int errorFile = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (errorFile >= 0) dup2(errorFile, 2);
        execl(TELLVAR_PROGRAM_PATH, TELLVAR_PROGRAM_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }

    // Still running after a while: it neither failed to start nor crashed.
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 30 && ended == 0; ++i) {
        usleep(100 * 1000);
        ended = waitpid(child, &status, WNOHANG);
    }
    EXPECT_EQ(ended, 0) << "the program ended early with status " << status;
    if (ended == 0) {
        kill(child, SIGTERM);
        waitpid(child, &status, 0);
    }
    const std::vector<std::uint8_t> after = testsupport::readFile(settings);
    EXPECT_EQ(std::string(after.begin(), after.end()), content);
    const std::vector<std::uint8_t> complaints = testsupport::readFile(errors);
    EXPECT_EQ(std::string(complaints.begin(), complaints.end()).find("-CRITICAL"),
              std::string::npos)
        << std::string(complaints.begin(), complaints.end());
}
