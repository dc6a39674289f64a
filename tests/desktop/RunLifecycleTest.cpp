// The end of an automatic run arriving while a real modal box or dialog is
// open: the progress dialog's CANCEL question, and the main window's own
// dialogs once a close is pending. The user's late answer must touch nothing
// that has ended. scripts/test.sh also runs these under AddressSanitizer,
// where a use after free shows.

#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "ModalScript.h"
#include "RunTestSupport.h"
#include "UI_ConfDialog.h"
#include "UI_ProgressDialog.h"
#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace guitest;
using modaltest::ModalScript;
using runtest::pumpUntil;

namespace {

constexpr int kFrames = 4;

// A window in the fully automatic mode on four 336 x 252 frames, with a run
// started whose per-frame threads wait at the gate.
class RunLifecycle : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::string outputDir = dir.file("out");
    std::vector<std::string> paths;
    UI_TLCrop* frame = nullptr;
    wxWeakRef<UI_TLCrop> frameRef;
    std::shared_ptr<runtest::Gate> gate = std::make_shared<runtest::Gate>();
    std::shared_ptr<std::atomic<int>> framesStarted = std::make_shared<std::atomic<int>>(0);

    void TearDown() override {
        gate->open();
        if (frameRef) {
            DialogRecorder quiet;
            pumpUntil([this] { return !frameRef->runInProgress(); });
            if (!closed(frameRef.get())) frameRef->Destroy();
        }
        flushPendingDeletes();
    }

    void prepare(int threads) {
        std::filesystem::create_directories(dir.file("in"));
        std::filesystem::create_directories(outputDir);
        std::vector<std::string> names;
        for (int i = 0; i < kFrames; ++i) names.push_back("in/f" + std::to_string(i) + ".bmp");
        paths = writeImages(dir, names, 336, 252);
        writeSettingsFile(settingsLines(1, outputDir, 10, 1022));

        DialogRecorder quiet;  // the set-up's own notices
        frame = new UI_TLCrop("Tellvar");
        frameRef = frame;
        // Shown, as in the program: the toolkit then makes it the parent of
        // the file dialog and of the boxes shown without one (a hidden
        // window cannot be a parent).
        frame->Show(true);
        loadImageSet(*frame, paths);
        selectRows(*frame, {0});
        sendCommand(*frame, kSetReference);
        frame->cropWidth = 40;
        frame->cropHeight = 30;
        frame->cropX = 150;
        frame->cropY = 110;
        frame->cropDefined = true;
        frame->hardwareThreadCount = [threads] { return static_cast<unsigned>(threads); };
        frame->frameThreadStarter = runtest::gatedFrameThreads(gate, framesStarted);
    }

    // START in the run summary; back once the progress dialog is up and
    // the first batch is held.
    void startRun(int firstBatch) {
        DialogRecorder summary;
        summary.handle<UI_ConfDialog>([](UI_ConfDialog& dialog) {
            clickButton(dialog, 1002);
            return wxID_OK;
        });
        sendCommand(*frame, kStartRun);
        ASSERT_TRUE(pumpUntil([this, firstBatch] {
            return *framesStarted == firstBatch && frame->progressDialog &&
                   frame->progressDialog->IsShown();
        }));
    }

    // The run has ended and whatever it destroyed has had its chance to be
    // deleted (without touching a window that may be gone).
    bool runSettled(wxWindow* destroyedByTheEnd) const {
        if (frameRef && frameRef->runInProgress()) return false;
        return !wxTheApp->IsScheduledForDestruction(destroyedByTheEnd);
    }
};

// ---------------------------------------------------------------------------
// CANCEL's question still open while the run ends

struct LateAnswer {
    const char* name;
    int brokenFrame;  // -1: none
    const char* endCaption;
    int answer;
    std::set<std::string> files;
};

const LateAnswer kLateAnswers[] = {
    {"CompletedThenYes",
     -1,
     "Completed",
     wxID_YES,
     {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp", "crop_f3.bmp", "STACK.bmp"}},
    {"CompletedThenNo",
     -1,
     "Completed",
     wxID_NO,
     {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp", "crop_f3.bmp", "STACK.bmp"}},
    {"FrameErrorThenYes", 2, "ERROR", wxID_YES, {"crop_f0.bmp", "crop_f1.bmp", "crop_f3.bmp"}},
};

class CancelQuestion : public RunLifecycle, public ::testing::WithParamInterface<LateAnswer> {};

TEST_P(CancelQuestion, AnsweredAfterTheRunHasEndedTouchesNothingThatEnded) {
    const LateAnswer& row = GetParam();
    // One batch holds every frame but the reference: the run is past
    // cancelling and ends as it would have without CANCEL.
    prepare(kFrames);
    frame->options.stackEnabled = true;
    if (row.brokenFrame >= 0) testsupport::writeFile(paths[row.brokenFrame], {'b', 'a', 'd'});
    startRun(kFrames - 1);
    UI_ProgressDialog* dialog = frame->progressDialog;
    wxWeakRef<wxDialog> dialogRef(dialog);
    int dialogDestroyed = 0;
    dialog->Bind(wxEVT_DESTROY, [&](wxWindowDestroyEvent& event) {
        if (event.GetEventObject() == dialog) ++dialogDestroyed;
        event.Skip();
    });
    ModalScript script;
    script.when("WARNING", [this](wxDialog&) { gate->open(); })
        .when(row.endCaption, modaltest::answer(wxID_OK))
        .when(
            "WARNING", [&] { return runSettled(dialog); }, modaltest::answer(row.answer));
    clickButton(*dialog, dialog->cancelRunButton->GetId());

    EXPECT_EQ(script.stepsLeft(), 0);
    EXPECT_EQ(script.titles(), (std::vector<std::string>{"WARNING", row.endCaption}));
    flushPendingDeletes();
    // The run ended as it ended, and its dialog closed once.
    EXPECT_EQ(filesIn(outputDir), row.files);
    EXPECT_FALSE(dialogRef);
    EXPECT_EQ(dialogDestroyed, 1);
    ASSERT_TRUE(frameRef);
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
}

INSTANTIATE_TEST_SUITE_P(RunLifecycle, CancelQuestion, ::testing::ValuesIn(kLateAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A dialog of the main window open when its pending close could happen

void acceptCrop(wxDialog& dialog) {
    auto& crop = dynamic_cast<UI_SetCropArea&>(dialog);
    crop.widthText->ChangeValue("20");
    crop.heightText->ChangeValue("20");
    clickButton(crop, crop.acceptButton->GetId());
}

struct OpenWhileClosing {
    const char* name;
    int command;
    const char* firstQuestion;  // answered Yes before the dialog that is held, or nullptr
    const char* heldTitle;      // the run ends while this one is open
    ModalScript::Act finish;
};

const OpenWhileClosing kOpenWhileClosing[] = {
    {"OptionsAccepted", kOptions, nullptr, "Tellvar Configuration", modaltest::click(1009)},
    {"SetCroppingAreaAccepted", kSetCrop, nullptr, "Set Cropping Area", acceptCrop},
    {"OpenFileDialogCancelled", kOpen, "Clear Application", "Open Image Files",
     modaltest::endModal(wxID_CANCEL)},
    {"ClearQuestionAnsweredYes", kClearImages, nullptr, "Clear Application",
     modaltest::answer(wxID_YES)},
    {"RefusedSecondStart", kStartRun, nullptr, "WARNING", modaltest::answer(wxID_OK)},
    {"ImageDetailsBox", kImageDetails, nullptr, "Image Details", modaltest::answer(wxID_OK)},
};

class DialogDuringClose : public RunLifecycle,
                          public ::testing::WithParamInterface<OpenWhileClosing> {};

TEST_P(DialogDuringClose, WindowGoesOnlyOnceTheDialogHasEnded) {
    const OpenWhileClosing& row = GetParam();
    prepare(2);
    startRun(2);
    EXPECT_FALSE(frame->Close());  // refused: the run is cancelled, the window goes at its end

    ModalScript script;
    if (row.firstQuestion) script.when(row.firstQuestion, modaltest::answer(wxID_YES));
    bool windowStoodUnderItsDialog = false;
    script.when(row.heldTitle, [this](wxDialog&) { gate->open(); })
        .when("Cancellation Request Completed", modaltest::answer(wxID_OK))
        .when(
            row.heldTitle, [&] { return runSettled(frame); },
            [&](wxDialog& dialog) {
                windowStoodUnderItsDialog = frameRef && !closed(frameRef.get());
                row.finish(dialog);
            });
    sendCommand(*frame, row.command);

    EXPECT_EQ(script.stepsLeft(), 0);
    std::vector<std::string> expected{row.heldTitle, "Cancellation Request Completed"};
    if (row.firstQuestion) expected.insert(expected.begin(), row.firstQuestion);
    EXPECT_EQ(script.titles(), expected);
    EXPECT_TRUE(windowStoodUnderItsDialog);
    // Its handler has returned: now the window goes.
    ASSERT_TRUE(frameRef);
    EXPECT_TRUE(closed(frame));
    flushPendingDeletes();
    EXPECT_FALSE(frameRef);
}

INSTANTIATE_TEST_SUITE_P(RunLifecycle, DialogDuringClose, ::testing::ValuesIn(kOpenWhileClosing),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A worker whose thread was created but could not be started

TEST_F(RunLifecycle, WorkerThatCannotRunIsReleasedByTheToolkitWithItsDialog) {
    prepare(2);
    // A copy of the frame-thread starter goes into the worker and is
    // released with it: the token tells on which thread that happens.
    std::promise<std::thread::id> released;
    std::future<std::thread::id> releasedOn = released.get_future();
    {
        std::shared_ptr<int> token(new int(0), [&released](int* value) {
            delete value;
            released.set_value(std::this_thread::get_id());
        });
        frame->frameThreadStarter = [token](std::function<void()> work) {
            return std::thread(std::move(work));
        };
    }
    // The window lets go of its copy while the worker holds its own and its
    // thread is still waiting to start, so that the worker's copy is the last.
    frame->workerThreadStarter = [this](wxThread&) {
        frame->frameThreadStarter = nullptr;
        return wxTHREAD_MISC_ERROR;
    };
    DialogRecorder boxes;
    boxes.handle<UI_ConfDialog>([](UI_ConfDialog& dialog) {
        clickButton(dialog, 1002);
        return wxID_OK;
    });
    sendCommand(*frame, kStartRun);

    ASSERT_EQ(boxes.messageBoxes().size(), 1u);
    EXPECT_EQ(boxes.messageBoxes()[0].caption, "Critical Error");
    EXPECT_EQ(toUtf8(boxes.messageBoxes()[0].message),
              "The application has been unable to run the worker thread. Please contact the "
              "developer for support.");
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
    // The hidden progress dialog is closed, not left behind.
    for (wxWindow* window : wxTopLevelWindows)
        EXPECT_FALSE(dynamic_cast<UI_ProgressDialog*>(window) && !closed(window));
    // The created thread, told to stop, ends without running the run and
    // deletes its worker itself, as the toolkit does for a detached thread;
    // deleting the worker here would pull its state from under that thread.
    ASSERT_EQ(releasedOn.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(releasedOn.get(), std::this_thread::get_id());
    pumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(filesIn(outputDir).empty());
}

}  // namespace
