// The progress dialog on its own: its numbers, and a CANCEL that asks first,
// never blocks, and never reaches a worker that is gone.

#include "DialogTestHelpers.h"
#include "GuiTestSupport.h"
#include "RunTestSupport.h"
#include "UI_ProgressDialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/thread.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace guitest;
using runtest::waitFor;

namespace {

struct Progress {
    UI_ProgressDialog* dialog;

    Progress(int total, int threads)
        : dialog(new UI_ProgressDialog("Tellvar Progress...", total, threads)) {}
    ~Progress() {
        if (!closed(dialog)) dialog->Destroy();
        flushPendingDeletes();
    }
    void clickCancel() { clickButton(*dialog, 1010); }
};

const char kCancelQuestion[] =
    "This operation will cancel the cropping and registration procedure.\n\nDo you want to "
    "cancel all requests?";

// A detached thread that waits for its stop request, then for the test's
// permission to end, so a test can see whether a cancel waited for it.
class StoppableThread : public wxThread {
public:
    struct Signals {
        std::atomic<bool> stopSeen{false};
        std::atomic<bool> ended{false};
        std::promise<void> mayEnd;
    };

    explicit StoppableThread(std::shared_ptr<Signals> signals)
        : wxThread(wxTHREAD_DETACHED), signals_(std::move(signals)) {}

    ExitCode Entry() override {
        while (!TestDestroy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        signals_->stopSeen = true;
        signals_->mayEnd.get_future().wait();
        signals_->ended = true;
        return 0;
    }

private:
    std::shared_ptr<Signals> signals_;
};

}  // namespace

TEST(ProgressDialogLayout, StartsHiddenWithTotalAndThreadCount) {
    Progress progress(10, 4);
    UI_ProgressDialog& dialog = *progress.dialog;
    EXPECT_FALSE(dialog.IsShown());
    EXPECT_EQ(dialog.GetTitle(), "Tellvar Progress...");
    EXPECT_EQ(dialog.GetParent(), nullptr);
    EXPECT_EQ(dialog.totalImages, 10);
    EXPECT_EQ(dialog.threadCountText->GetValue(), "4");
    EXPECT_EQ(dialog.remainingText->GetValue(), "10");
    EXPECT_EQ(dialog.progressGauge->GetRange(), 10);
    EXPECT_EQ(dialog.progressGauge->GetValue(), 0);
    EXPECT_EQ(dialog.cancelRunButton->GetId(), 1010);
    EXPECT_EQ(dialog.cancelRunButton->GetLabel(), "CANCEL");
    EXPECT_FALSE(dialog.threadCountText->IsEditable());
    EXPECT_FALSE(dialog.remainingText->IsEditable());
    EXPECT_EQ(dialog.threadCountText->GetFont().GetPointSize(), 15);
    EXPECT_EQ(dialog.remainingText->GetFont().GetPointSize(), 20);
    EXPECT_EQ(dialog.worker, nullptr);
}

TEST(ProgressDialogLayout, NumbersAreNeverClipped) {
    // GTK gives an entry the height its font needs; the boxes must get it
    // even though their nominal heights are 30 and 40 pixels.
    Progress progress(1000, 16);
    for (wxTextCtrl* box : {progress.dialog->threadCountText, progress.dialog->remainingText}) {
        EXPECT_GE(box->GetSize().y, box->GetBestSize().y);
        // Wide enough for the largest number it will show.
        const wxSize whole = box->GetSizeFromTextSize(box->GetTextExtent(box->GetValue()).x);
        EXPECT_GE(box->GetSize().x, whole.x) << box->GetValue();
        EXPECT_GE(box->GetSize().y, whole.y) << box->GetValue();
    }
    EXPECT_GE(progress.dialog->threadCountText->GetSize().y, 30);
    EXPECT_GE(progress.dialog->remainingText->GetSize().y, 40);
    EXPECT_EQ(dialogtest::clippedControls(progress.dialog), std::vector<std::string>{});
}

TEST(ProgressDialogLayout, UpperPanelAtMostThreeHundredWideForSmallNumbers) {
    Progress progress(10, 4);
    EXPECT_LE(progress.dialog->threadsPanel->GetSize().x, 300);
}

TEST(ProgressDialogValues, TenImagesOnFourThreads) {
    Progress progress(10, 4);
    UI_ProgressDialog& dialog = *progress.dialog;
    const std::pair<int, const char*> steps[] = {{1, "9"}, {5, "5"}, {9, "1"}, {10, "0"}};
    for (const auto& [done, remaining] : steps) {
        dialog.setValues(done);
        EXPECT_EQ(dialog.progressGauge->GetValue(), done);
        EXPECT_EQ(dialog.remainingText->GetValue(), remaining);
    }
    EXPECT_EQ(dialog.progressGauge->GetValue(), dialog.progressGauge->GetRange());
    EXPECT_EQ(dialog.threadCountText->GetValue(), "4");
}

TEST(ProgressDialogCancel, YesStopsTheWorkerWithoutWaitingForIt) {
    DialogRecorder boxes;
    boxes.answer(wxYES);
    auto signals = std::make_shared<StoppableThread::Signals>();
    auto* thread = new StoppableThread(signals);
    ASSERT_EQ(thread->Run(), wxTHREAD_NO_ERROR);

    Progress progress(10, 2);
    progress.dialog->setCancellationPointer(thread);
    progress.dialog->Show(true);
    progress.clickCancel();
    ASSERT_EQ(boxes.messageBoxes().size(), 1u);
    EXPECT_EQ(boxes.messageBoxes()[0].caption, "WARNING");
    EXPECT_EQ(toUtf8(boxes.messageBoxes()[0].message), kCancelQuestion);
    EXPECT_EQ(boxes.messageBoxes()[0].buttons(), wxYES_NO);

    // The handler has returned while the thread is still alive: the GUI
    // was not blocked on it.
    EXPECT_TRUE(waitFor([&] { return signals->stopSeen.load(); }));
    EXPECT_FALSE(signals->ended);
    EXPECT_TRUE(progress.dialog->isCancelling());
    EXPECT_EQ(progress.dialog->worker, nullptr);

    // The wait text replaces the controls, and the dialog stays until the
    // run's end closes it.
    EXPECT_FALSE(closed(progress.dialog));
    EXPECT_FALSE(progress.dialog->cancelRunButton->IsShown());
    EXPECT_FALSE(progress.dialog->threadsPanel->IsShown());
    EXPECT_FALSE(progress.dialog->progressGauge->IsShown());
    EXPECT_EQ(progress.dialog->dialogSizer, nullptr);
    bool waitTextShown = false;
    for (wxWindow* child : progress.dialog->GetChildren()) {
        auto* text = dynamic_cast<wxStaticText*>(child);
        if (text && text->IsShown() && text->GetLabel() == "Cancelling, Please Wait...") {
            waitTextShown = true;
            EXPECT_EQ(text->GetFont().GetPointSize(), 14);
        }
    }
    EXPECT_TRUE(waitTextShown);

    // A second CANCEL while cancelling asks nothing.
    progress.clickCancel();
    EXPECT_EQ(boxes.messageBoxes().size(), 1u);
    // Late progress still lands on the (hidden) controls without harm.
    progress.dialog->setValues(10);

    signals->mayEnd.set_value();
    EXPECT_TRUE(waitFor([&] { return signals->ended.load(); }));
}

TEST(ProgressDialogCancel, WithoutAWorkerOnlyClosesTheDialog) {
    // The run is over (the worker pointer was taken back): a late CANCEL
    // must not reach the ended worker; it just closes the dialog.
    DialogRecorder boxes;
    boxes.answer(wxYES);
    Progress progress(5, 1);
    progress.dialog->setCancellationPointer(nullptr);
    progress.clickCancel();
    EXPECT_EQ(boxes.messageBoxes().size(), 1u);
    EXPECT_TRUE(closed(progress.dialog));
}

TEST(ProgressDialogClose, CloseBoxOnlyHides) {
    Progress progress(5, 1);
    progress.dialog->Show(true);
    progress.dialog->Close();
    EXPECT_FALSE(progress.dialog->IsShown());
    EXPECT_FALSE(closed(progress.dialog));
}
