// Real automatic runs, end to end: the main window's launcher, the worker
// thread and the engine on small generated image sets. Each test checks the
// files written, the progress numbers the main window received and the boxes
// the user saw, in order.

#include "AutoCrop.h"
#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "RunTestSupport.h"
#include "UI_ConfDialog.h"
#include "UI_ProgressDialog.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <system_error>
#include <vector>

using namespace guitest;
using runtest::Gate;
using runtest::pumpUntil;
using runtest::waitFor;
using testsupport::Picture;

namespace {

struct FramePlan {
    std::string name;
    int dx = 0;
    int dy = 0;
};

const char kCancelQuestion[] =
    "This operation will cancel the cropping and registration procedure.\n\nDo you want to "
    "cancel all requests?";

std::string completionText(const std::string& folder) {
    return "Tellvar has completed all operations and your image files have been saved in the "
           "following folder.\n\n" +
           folder +
           "\n\nIf you want to change this location for future runs please use the options drop "
           "down menu.";
}

std::string extensionOf(const std::string& name) {
    return toUtf8(wxFileName(toWx(name)).GetExt().Lower());
}

// JPEG inputs of a run are written close to their source, so that the
// crops can be compared with it.
constexpr int kRunJpegQuality = 95;

// Any picture file, read by the toolkit (not the engine), top-down RGB.
Picture loadPicture(const std::string& path) {
    wxImage image;
    Picture picture;
    if (!image.LoadFile(toWx(path), wxBITMAP_TYPE_ANY)) return picture;
    picture.width = image.GetWidth();
    picture.height = image.GetHeight();
    picture.rgb.assign(image.GetData(), image.GetData() + picture.width * picture.height * 3);
    return picture;
}

int largestDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

bool runsUnderSanitizer() {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

class AutoRun : public ::testing::Test {
protected:
    // Declared first so that it answers boxes until the very end, teardown
    // included.
    DialogRecorder boxes;
    testsupport::TempDir dir;
    std::string inputDir;
    std::string outputDir;
    UI_TLCrop* frame = nullptr;
    Picture scene;
    std::vector<FramePlan> frames;
    std::vector<std::string> paths;
    std::vector<int> progress;
    std::vector<std::string> summaryLines;
    std::shared_ptr<Gate> gate;
    std::shared_ptr<std::atomic<int>> threadsStarted = std::make_shared<std::atomic<int>>(0);

    int cropX = 0;
    int cropY = 0;
    int cropWidth = 0;
    int cropHeight = 0;

    void TearDown() override {
        if (gate) gate->open();
        if (frame) {
            pumpUntil([this] { return !frame->runInProgress(); });
            if (!closed(frame)) frame->Destroy();
        }
        flushPendingDeletes();
    }

    // A window in the fully automatic mode with the set loaded, validated,
    // the reference row chosen and the crop rectangle placed.
    void prepare(const std::vector<FramePlan>& plans, int width, int height, int referenceRow,
                 const std::string& subfolder = "in", const std::string& outputFolder = "out") {
        frames = plans;
        inputDir = dir.file(subfolder);
        outputDir = dir.file(outputFolder);
        std::filesystem::create_directories(std::filesystem::u8path(inputDir));
        std::filesystem::create_directories(std::filesystem::u8path(outputDir));
        scene = testsupport::makeStarField(width, height, 11);
        paths.clear();
        for (const FramePlan& plan : plans) {
            paths.push_back(inputDir + "/" + plan.name);
            writePicture(paths.back(), testsupport::shifted(scene, plan.dx, plan.dy, 0, 5),
                         kRunJpegQuality);
        }

        writeSettingsFile(settingsLines(1, outputDir, 10, 1023));
        frame = new UI_TLCrop("Tellvar");
        frame->Bind(
            wxEVT_TEXT,
            [this](wxCommandEvent& event) {
                progress.push_back(event.GetInt());
                event.Skip();
            },
            idRunProgress);
        loadImageSet(*frame, paths);
        selectRows(*frame, {referenceRow});
        sendCommand(*frame, kSetReference);
        ASSERT_TRUE(frame->referenceSet);
        ASSERT_EQ(frame->referenceIndex, referenceRow);

        frame->cropWidth = cropWidth;
        frame->cropHeight = cropHeight;
        frame->cropX = cropX;
        frame->cropY = cropY;
        frame->cropDefined = true;
        frame->options.stackEnabled = false;
        frame->hardwareThreadCount = [] { return 2u; };
    }

    void prepareNormal(const std::vector<FramePlan>& plans, int referenceRow) {
        cropX = 150;
        cropY = 110;
        cropWidth = 40;
        cropHeight = 30;
        prepare(plans, 336, 252, referenceRow);
    }

    void prepareSmall(const std::vector<FramePlan>& plans, int referenceRow) {
        cropX = 90;
        cropY = 60;
        cropWidth = 24;
        cropHeight = 18;
        prepare(plans, 200, 150, referenceRow);
    }

    // Per-frame threads wait at the gate until the test releases them.
    void holdFrameThreads() {
        gate = std::make_shared<Gate>();
        frame->frameThreadStarter = runtest::gatedFrameThreads(gate, threadsStarted);
    }

    // Queues START for the run summary; steps queued after this answer the
    // run's own boxes.
    void queueStart(bool singleProcessor = false) {
        boxes.handle<UI_ConfDialog>([this, singleProcessor](UI_ConfDialog& summary) {
            for (unsigned i = 0; i < summary.parameterList->GetCount(); ++i)
                summaryLines.push_back(toUtf8(summary.parameterList->GetString(i)));
            if (singleProcessor) {
                summary.singleProcessorBox->SetValue(true);
                wxCommandEvent tick(wxEVT_CHECKBOX, 1003);
                summary.ProcessWindowEvent(tick);
            }
            clickButton(summary, 1002);
            return wxID_OK;
        });
    }
    void launch() { sendCommand(*frame, kStartRun); }
    void start() {
        queueStart();
        launch();
    }

    void waitForEnd() {
        ASSERT_TRUE(pumpUntil([this] { return !frame->runInProgress(); })) << "the run did not end";
        // Nothing of the run may be left in the queue.
        wxTheApp->ProcessPendingEvents();
    }

    // Boxes the run showed, after the ones of preparing the set.
    // The run ended at its reference frame: no progress past the first
    // event and one box with the engine's text under the default caption,
    // which is returned.
    std::string referenceFailureText() const {
        EXPECT_EQ(progress, (std::vector<int>{1}));
        const std::vector<ShownDialog> shown = runBoxes();
        EXPECT_EQ(shown.size(), 1u);
        if (shown.size() != 1) return std::string();
        EXPECT_EQ(shown[0].caption, wxMessageBoxCaptionStr);
        EXPECT_EQ(shown[0].buttons(), wxOK);
        return toUtf8(shown[0].message);
    }

    std::vector<ShownDialog> runBoxes() const {
        std::vector<ShownDialog> shown;
        bool summarySeen = false;
        for (const ShownDialog& dialog : boxes.shown()) {
            if (!dialog.isMessageBox) {
                summarySeen = true;
                continue;
            }
            if (summarySeen) shown.push_back(dialog);
        }
        return shown;
    }

    std::string cropName(int row) const {
        const std::string& name = frames[row].name;
        const std::string stem = name.substr(0, name.size() - 4);
        return "crop_" + stem + (extensionOf(name) == "bmp" ? ".bmp" : ".tif");
    }

    std::vector<std::uint8_t> expectedCrop() const {
        return testsupport::cropRgb(scene, cropX, cropY, cropWidth, cropHeight);
    }

    // The crop of a frame against the same rectangle of the scene: the
    // registration undid the frame's shift.
    void expectRegistered(int row, int tolerance = 0) const {
        const Picture crop = loadPicture(outputDir + "/" + cropName(row));
        ASSERT_EQ(crop.width, cropWidth) << cropName(row);
        ASSERT_EQ(crop.height, cropHeight) << cropName(row);
        EXPECT_LE(largestDifference(crop.rgb, expectedCrop()), tolerance) << cropName(row);
    }
};

std::vector<FramePlan> normalFrames(const std::string& extension, int count) {
    const int shifts[][2] = {{0, 0}, {3, -2}, {-4, 1}, {2, 3}, {-1, -3}, {4, 2}, {-2, -1}};
    std::vector<FramePlan> plans;
    for (int i = 0; i < count; ++i)
        plans.push_back(
            {"f" + std::to_string(i) + "." + extension, shifts[i % 7][0], shifts[i % 7][1]});
    return plans;
}

// The frames with the reference row unshifted, so the scene's rectangle is
// exactly what the user drew on the reference frame.
std::vector<FramePlan> withReferenceAt(std::vector<FramePlan> plans, int row) {
    std::swap(plans[row].dx, plans[0].dx);
    std::swap(plans[row].dy, plans[0].dy);
    return plans;
}

}  // namespace

// ---------------------------------------------------------------------------
// Complete runs

TEST_F(AutoRun, BmpSetWithStackCropsEveryFrameAtTheDrawnRectangle) {
    prepareNormal(withReferenceAt(normalFrames("bmp", 5), 2), 2);
    frame->options.stackEnabled = true;
    start();
    waitForEnd();

    // The summary showed the window's run.
    ASSERT_EQ(summaryLines.size(), 11u);
    EXPECT_EQ(summaryLines[2], "Images to Process  : 5");
    EXPECT_EQ(summaryLines[3], "Initial Image Size : 336 x 252");
    EXPECT_EQ(summaryLines[4], "Crop Size          : 40 x 30");
    EXPECT_EQ(summaryLines[5], "Reference Frame    : f2.bmp");
    EXPECT_EQ(summaryLines[10], outputDir);

    EXPECT_EQ(progress, (std::vector<int>{1, 3, 3, 5, 5}));
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Completed");
    EXPECT_EQ(toUtf8(shown[0].message), completionText(outputDir));
    EXPECT_EQ(shown[0].icon(), wxICON_INFORMATION);

    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp",
                                            "crop_f3.bmp", "crop_f4.bmp", "STACK.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
    for (int row = 0; row < 5; ++row) expectRegistered(row);
    // Every crop is the same content, so is their average.
    const Picture stack = loadPicture(outputDir + "/STACK.bmp");
    EXPECT_EQ(stack.rgb, expectedCrop());

    EXPECT_EQ(frame->progressDialog, nullptr);
    EXPECT_EQ(frame->runWorker, nullptr);
    EXPECT_EQ(frame->runFilePaths, nullptr);
    EXPECT_EQ(frame->runFileNames, nullptr);
    EXPECT_EQ(frame->imageCount, 5);
}

TEST_F(AutoRun, FileArraysPutTheReferenceFirstAndLiveAsLongAsTheRun) {
    prepareSmall(withReferenceAt(normalFrames("bmp", 4), 3), 3);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2; }));
    ASSERT_NE(frame->runFilePaths, nullptr);
    ASSERT_NE(frame->runFileNames, nullptr);
    const std::vector<std::string> expectedPaths = {paths[3], paths[0], paths[1], paths[2], ""};
    const std::vector<std::string> expectedNames = {"f3.bmp", "f0.bmp", "f1.bmp", "f2.bmp", ""};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(frame->runFilePaths[i], expectedPaths[i]) << i;
        EXPECT_EQ(frame->runFileNames[i], expectedNames[i]) << i;
    }
    // The window's own lists may change meanwhile; the run has its copies.
    (*frame->imagePaths)[0] = "elsewhere.bmp";
    gate->open();
    waitForEnd();
    EXPECT_EQ(frame->runFilePaths, nullptr);
    EXPECT_EQ(filesIn(outputDir).size(), 4u);
    for (int row = 0; row < 4; ++row) expectRegistered(row);
}

TEST_F(AutoRun, JpegSetWritesTiffCropsWithoutStack) {
    prepareNormal(normalFrames("jpg", 4), 0);
    frame->hardwareThreadCount = [] { return 3u; };
    start();
    waitForEnd();

    EXPECT_EQ(progress, (std::vector<int>{1, 4, 4, 4}));
    const std::set<std::string> expected = {"crop_f0.tif", "crop_f1.tif", "crop_f2.tif",
                                            "crop_f3.tif"};
    EXPECT_EQ(filesIn(outputDir), expected);
    // JPEG input is lossy: each crop is compared with its own decoded frame
    // at the place the shift moved the rectangle to.
    for (int row = 0; row < 4; ++row) {
        const Picture input = loadPicture(paths[row]);
        const Picture crop = loadPicture(outputDir + "/" + cropName(row));
        const auto wanted = testsupport::cropRgb(input, cropX + frames[row].dx,
                                                 cropY + frames[row].dy, cropWidth, cropHeight);
        EXPECT_LE(largestDifference(crop.rgb, wanted), 2) << row;
    }
    ASSERT_EQ(runBoxes().size(), 1u);
    EXPECT_EQ(runBoxes()[0].caption, "Completed");
}

TEST_F(AutoRun, TiffSetWithStackReferenceOnLastRow) {
    prepareNormal(withReferenceAt(normalFrames("tif", 3), 2), 2);
    frame->options.stackEnabled = true;
    start();
    waitForEnd();

    EXPECT_EQ(progress, (std::vector<int>{1, 3, 3}));
    const std::set<std::string> expected = {"crop_f0.tif", "crop_f1.tif", "crop_f2.tif",
                                            "STACK.tif"};
    EXPECT_EQ(filesIn(outputDir), expected);
    for (int row = 0; row < 3; ++row) expectRegistered(row);
    EXPECT_EQ(loadPicture(outputDir + "/STACK.tif").rgb, expectedCrop());
}

TEST_F(AutoRun, SmallBmpSetSearchesWholeImagesAndMakesNoStack) {
    prepareSmall(withReferenceAt(normalFrames("bmp", 4), 1), 1);
    frame->options.stackEnabled = true;
    start();
    waitForEnd();

    EXPECT_EQ(progress, (std::vector<int>{1, 3, 3, 4}));
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp",
                                            "crop_f3.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
    for (int row = 0; row < 4; ++row) expectRegistered(row);

    // A small-image run has no stack sum: after the completion the engine's
    // message says so under the default caption.
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "Completed");
    EXPECT_EQ(shown[1].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(shown[1].buttons(), wxOK);
    EXPECT_TRUE(shown[1].style & wxCENTRE);
    EXPECT_FALSE(shown[1].message.empty());
}

TEST_F(AutoRun, SmallJpegSet) {
    prepareSmall(normalFrames("jpg", 3), 0);
    start();
    waitForEnd();
    const std::set<std::string> expected = {"crop_f0.tif", "crop_f1.tif", "crop_f2.tif"};
    EXPECT_EQ(filesIn(outputDir), expected);
    ASSERT_EQ(runBoxes().size(), 1u);
    EXPECT_EQ(runBoxes()[0].caption, "Completed");
}

TEST_F(AutoRun, TenImagesOnFourThreads) {
    prepareSmall(normalFrames("bmp", 10), 0);
    frame->hardwareThreadCount = [] { return 4u; };
    // Look at the progress dialog while the completion message is up: it is
    // closed only after the user has acknowledged it.
    std::string threadsShown, remainingShown;
    bool gaugeFull = false;
    queueStart();
    boxes.handle<wxMessageDialog>([&](wxMessageDialog&) {
        if (UI_ProgressDialog* dialog = frame->progressDialog) {
            threadsShown = toUtf8(dialog->threadCountText->GetValue());
            remainingShown = toUtf8(dialog->remainingText->GetValue());
            gaugeFull = dialog->progressGauge->GetValue() == dialog->progressGauge->GetRange();
        }
        return wxID_OK;
    });
    launch();
    waitForEnd();
    EXPECT_EQ(progress, (std::vector<int>{1, 5, 5, 5, 5, 9, 9, 9, 9, 10}));
    EXPECT_EQ(threadsShown, "4");
    EXPECT_EQ(remainingShown, "0");
    EXPECT_TRUE(gaugeFull);
    EXPECT_EQ(filesIn(outputDir).size(), 10u);
}

// ---------------------------------------------------------------------------
// Runs that end early

TEST_F(AutoRun, UnreadableFrameEndsAfterItsBatch) {
    prepareSmall(normalFrames("bmp", 6), 0);
    frame->options.stackEnabled = true;
    // The file goes bad after validation, as a file changed on disk would.
    testsupport::writeFile(paths[3], {'b', 'r', 'o', 'k', 'e', 'n'});
    start();
    waitForEnd();

    // Batches 1-2, 3-4 (3 fails, 4 still finishes), then no batch 5.
    EXPECT_EQ(progress, (std::vector<int>{1, 3, 3, 5, 5}));
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp",
                                            "crop_f4.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);

    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "ERROR");
    EXPECT_EQ(shown[0].icon(), wxICON_ERROR);
    EXPECT_NE(toUtf8(shown[0].message).find(paths[3]), std::string::npos);
    EXPECT_EQ(frame->progressDialog, nullptr);

    // The window keeps its set and can run again once the file is back.
    EXPECT_EQ(frame->imageCount, 6);
    writePicture(paths[3], testsupport::shifted(scene, frames[3].dx, frames[3].dy, 0, 5),
                 kRunJpegQuality);
    frame->options.stackEnabled = false;
    progress.clear();
    start();
    waitForEnd();
    EXPECT_EQ(filesIn(outputDir).size(), 6u);
    EXPECT_EQ(runBoxes().back().caption, "Completed");
}

TEST_F(AutoRun, SeveralFailuresInABatchShowTheLowestIndexWhole) {
    prepareSmall(normalFrames("bmp", 5), 0);
    frame->hardwareThreadCount = [] { return 4u; };
    testsupport::writeFile(paths[2], {'x'});
    testsupport::writeFile(paths[3], {'y'});
    testsupport::writeFile(paths[4], {'z'});
    start();
    waitForEnd();

    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    const std::string message = toUtf8(shown[0].message);
    EXPECT_NE(message.find(paths[2]), std::string::npos) << message;
    EXPECT_EQ(message.find(paths[3]), std::string::npos) << message;
    EXPECT_EQ(message.find(paths[4]), std::string::npos) << message;
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
}

TEST_F(AutoRun, UnreadableReferenceReadsNothingElse) {
    prepareSmall(normalFrames("tif", 4), 1);
    testsupport::writeFile(paths[1], {'n', 'o', 'p', 'e'});
    start();
    waitForEnd();

    EXPECT_NE(referenceFailureText().find(paths[1]), std::string::npos);
    EXPECT_TRUE(filesIn(outputDir).empty());
    EXPECT_EQ(frame->progressDialog, nullptr);
}

// The engine's refusal of outputs that would overwrite an input surfaces
// like a failed reference frame, and nothing is written.
TEST_F(AutoRun, OutputsThatWouldOverwriteAnInputAreRefusedLikeAReference) {
    cropX = 90;
    cropY = 60;
    cropWidth = 24;
    cropHeight = 18;
    prepare({{"f0.bmp", 0, 0}, {"crop_f0.bmp", 2, -1}}, 200, 150, 0, "in", "in");
    const auto inputBytes = testsupport::readFile(paths[1]);
    start();
    waitForEnd();

    const std::string message = referenceFailureText();
    EXPECT_NE(message.find(paths[0]), std::string::npos) << message;
    EXPECT_NE(message.find(paths[1]), std::string::npos) << message;
    EXPECT_EQ(testsupport::readFile(paths[1]), inputBytes);
    EXPECT_EQ(filesIn(inputDir).size(), 2u);
    EXPECT_EQ(frame->progressDialog, nullptr);
}

TEST_F(AutoRun, StackThatCannotBeWrittenIsReportedAfterCompletion) {
    prepareNormal(normalFrames("bmp", 3), 0);
    frame->options.stackEnabled = true;
    std::filesystem::create_directory(outputDir + "/STACK.bmp");
    bool dialogOpenAtStackMessage = true;
    queueStart();
    boxes.answer(wxOK);  // completion
    boxes.handle<wxMessageDialog>([&](wxMessageDialog&) {
        dialogOpenAtStackMessage = frame->progressDialog != nullptr;
        return wxID_OK;
    });
    launch();
    waitForEnd();

    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "Completed");
    EXPECT_EQ(shown[1].caption, wxMessageBoxCaptionStr);
    EXPECT_NE(toUtf8(shown[1].message).find("STACK"), std::string::npos);
    // The progress dialog closed before the stack was written.
    EXPECT_FALSE(dialogOpenAtStackMessage);
    EXPECT_EQ(filesIn(outputDir).size(), 4u);  // three crops and the folder in the way
}

TEST_F(AutoRun, FrameThreadThatCannotStartEndsTheRunNotTheProgram) {
    prepareSmall(normalFrames("bmp", 5), 0);
    frame->hardwareThreadCount = [] { return 3u; };
    auto starts = std::make_shared<int>(0);
    frame->frameThreadStarter = [starts](std::function<void()> work) {
        if (++*starts == 2)
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(work));
    };
    start();
    waitForEnd();

    // The thread already started finished and saved its crop.
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
    EXPECT_EQ(progress, (std::vector<int>{1, 2}));
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "ERROR");
    EXPECT_FALSE(shown[0].message.empty());
    EXPECT_EQ(frame->progressDialog, nullptr);
}

// ---------------------------------------------------------------------------
// Cancelling

TEST_F(AutoRun, CancelBeforeTheLastBatch) {
    prepareSmall(normalFrames("bmp", 5), 0);
    frame->options.stackEnabled = true;
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2 && !progress.empty(); }));
    UI_ProgressDialog* dialog = frame->progressDialog;
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->IsShown());

    // CANCEL returns at once while the batch is still held.
    boxes.answer(wxYES);
    bool waitingAtCancelMessage = false;
    boxes.handle<wxMessageDialog>([&](wxMessageDialog&) {
        waitingAtCancelMessage =
            frame->progressDialog == dialog && !closed(dialog) && dialog->isCancelling();
        return wxID_OK;
    });
    clickButton(*dialog, dialog->cancelRunButton->GetId());
    EXPECT_TRUE(dialog->isCancelling());
    EXPECT_TRUE(frame->runInProgress());

    gate->open();
    waitForEnd();

    EXPECT_EQ(progress, (std::vector<int>{1, 3, 3}));
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "WARNING");
    EXPECT_EQ(toUtf8(shown[0].message), kCancelQuestion);
    EXPECT_EQ(shown[0].buttons(), wxYES_NO);
    EXPECT_EQ(shown[0].icon(), wxICON_QUESTION);
    EXPECT_EQ(shown[1].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(shown[1].message, "Cancellation Request Completed");
    EXPECT_EQ(shown[1].buttons(), wxOK);
    // The wait text stayed until the message was acknowledged; then the
    // dialog closed.
    EXPECT_TRUE(waitingAtCancelMessage);
    EXPECT_TRUE(closed(dialog));
    EXPECT_EQ(frame->progressDialog, nullptr);
}

TEST_F(AutoRun, CancelDuringTheLastBatchStillCompletes) {
    prepareSmall(normalFrames("tif", 5), 0);
    frame->hardwareThreadCount = [] { return 4u; };
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 4; }));
    boxes.answer(wxYES);
    clickButton(*frame->progressDialog, frame->progressDialog->cancelRunButton->GetId());
    gate->open();
    waitForEnd();

    EXPECT_EQ(progress, (std::vector<int>{1, 5, 5, 5, 5}));
    EXPECT_EQ(filesIn(outputDir).size(), 5u);
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "WARNING");
    EXPECT_EQ(shown[1].caption, "Completed");
}

TEST_F(AutoRun, CancelWhileTheCompletionMessageIsUp) {
    prepareNormal(normalFrames("bmp", 3), 0);
    frame->options.stackEnabled = true;
    UI_ProgressDialog* dialog = nullptr;
    queueStart();
    boxes.handle<wxMessageDialog>([&](wxMessageDialog&) {
        dialog = frame->progressDialog;
        if (dialog) clickButton(*dialog, dialog->cancelRunButton->GetId());  // asks, answered below
        return wxID_OK;
    });
    boxes.answer(wxYES);
    launch();
    waitForEnd();

    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, "Completed");
    EXPECT_EQ(shown[1].caption, "WARNING");
    // Still a completed run, stack included; the dialog closed once.
    EXPECT_EQ(filesIn(outputDir).count("STACK.bmp"), 1u);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(closed(dialog));
    EXPECT_EQ(frame->progressDialog, nullptr);
}

TEST_F(AutoRun, CancelAnsweredNoLeavesTheRunAlone) {
    prepareSmall(normalFrames("bmp", 5), 0);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2; }));
    boxes.answer(wxNO);
    clickButton(*frame->progressDialog, frame->progressDialog->cancelRunButton->GetId());
    EXPECT_FALSE(frame->progressDialog->isCancelling());
    EXPECT_TRUE(frame->progressDialog->cancelRunButton->IsShown());
    gate->open();
    waitForEnd();
    EXPECT_EQ(filesIn(outputDir).size(), 5u);
    EXPECT_EQ(runBoxes().back().caption, "Completed");
}

TEST_F(AutoRun, ClosedProgressDialogComesBackWithTheNextProgress) {
    prepareSmall(normalFrames("bmp", 5), 0);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return !progress.empty(); }));
    UI_ProgressDialog* dialog = frame->progressDialog;
    ASSERT_TRUE(dialog->IsShown());
    dialog->Close();
    EXPECT_FALSE(dialog->IsShown());
    EXPECT_FALSE(closed(dialog));

    gate->release(2);  // the first batch, both of its threads
    ASSERT_TRUE(pumpUntil([this] { return progress.size() >= 2; }));
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_EQ(dialog->remainingText->GetValue(), "2");
    gate->open();
    waitForEnd();
    EXPECT_EQ(filesIn(outputDir).size(), 5u);
}

// ---------------------------------------------------------------------------
// Closing the main window during a run

class AutoRunClose : public AutoRun {
protected:
    // The window is gone for good: nothing is left for the teardown.
    void forgetWindow() {
        flushPendingDeletes();
        frame = nullptr;
    }
};

TEST_F(AutoRunClose, CloseBoxCancelsAndClosesWhenTheRunHasEnded) {
    prepareSmall(normalFrames("bmp", 5), 0);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2; }));

    EXPECT_FALSE(frame->Close());  // vetoed for now
    // The close cancels the run as CANCEL does, and CANCEL asks nothing more.
    UI_ProgressDialog* dialog = frame->progressDialog;
    EXPECT_TRUE(dialog->isCancelling());
    EXPECT_FALSE(dialog->cancelRunButton->IsShown());
    clickButton(*dialog, dialog->cancelRunButton->GetId());
    // While the batch runs the window stays.
    pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_FALSE(closed(frame));
    EXPECT_TRUE(frame->runInProgress());

    gate->open();
    ASSERT_TRUE(pumpUntil([this] { return closed(frame); }));
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
    EXPECT_TRUE(closed(dialog));
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "Cancellation Request Completed");
    const std::set<std::string> expected = {"crop_f0.bmp", "crop_f1.bmp", "crop_f2.bmp"};
    EXPECT_EQ(filesIn(outputDir), expected);
    forgetWindow();
}

TEST_F(AutoRunClose, ExitWaitsForTheRunAsWell) {
    prepareSmall(normalFrames("bmp", 3), 0);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2; }));
    sendCommand(*frame, wxID_EXIT);
    sendCommand(*frame, wxID_EXIT);  // a second request changes nothing
    EXPECT_FALSE(closed(frame));
    gate->open();
    ASSERT_TRUE(pumpUntil([this] { return closed(frame); }));
    // The last batch was under way: the run completed before the close.
    EXPECT_EQ(runBoxes().back().caption, "Completed");
    EXPECT_EQ(filesIn(outputDir).size(), 3u);
    forgetWindow();
}

TEST_F(AutoRunClose, WithoutARunTheWindowClosesAtOnce) {
    prepareSmall(normalFrames("bmp", 2), 0);
    EXPECT_TRUE(frame->Close());
    EXPECT_TRUE(closed(frame));
    forgetWindow();
}

// ---------------------------------------------------------------------------
// Starting

TEST_F(AutoRun, SummaryCancelledCreatesNothing) {
    prepareSmall(normalFrames("bmp", 3), 0);
    boxes.handle<UI_ConfDialog>([](UI_ConfDialog& summary) {
        clickButton(summary, 1001);
        return wxID_CANCEL;
    });
    launch();
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
    EXPECT_EQ(frame->runFilePaths, nullptr);
    pumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(filesIn(outputDir).empty());
    EXPECT_TRUE(runBoxes().empty());
}

TEST_F(AutoRun, RefusedWithoutAReferenceFrame) {
    prepareSmall(normalFrames("bmp", 3), 0);
    const auto before = boxes.shown().size();
    frame->referenceSet = false;
    launch();
    // The index may also be left past the end of a shortened set.
    frame->referenceSet = true;
    frame->referenceIndex = 3;
    launch();
    frame->referenceIndex = -1;
    launch();

    const std::vector<ShownDialog> shown(boxes.shown().begin() + before, boxes.shown().end());
    ASSERT_EQ(shown.size(), 3u);
    for (const ShownDialog& box : shown) {
        EXPECT_TRUE(box.isMessageBox);  // no run summary
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.icon(), wxICON_ERROR);
        EXPECT_NE(box.message.find("reference frame"), wxString::npos);
    }
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
}

// A set that failed validation, whose start commands came back when an
// output format was chosen (the mode is applied anew), with its reference
// frame still set.
TEST_F(AutoRun, RefusedOnASetThatFailedValidation) {
    prepareSmall(normalFrames("bmp", 3), 0);
    testsupport::writeBmp24(paths[2], testsupport::makeStarField(201, 150, 3));
    sendCommand(*frame, kValidate);
    ASSERT_FALSE(frame->validated);
    sendCommand(*frame, kOutputBmp);
    ASSERT_TRUE(isToolEnabled(*frame, kSetReference));
    ASSERT_TRUE(frame->referenceSet);
    const auto before = boxes.shown().size();

    launch();
    const std::vector<ShownDialog> shown(boxes.shown().begin() + before, boxes.shown().end());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].isMessageBox);  // no run summary
    EXPECT_EQ(shown[0].caption, "ERROR");
    EXPECT_EQ(shown[0].icon(), wxICON_ERROR);
    EXPECT_NE(shown[0].message.find("have not passed validation"), wxString::npos);
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
    pumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(filesIn(outputDir).empty());
}

TEST_F(AutoRun, RefusedWithoutAnExistingSaveFolder) {
    prepareSmall(normalFrames("bmp", 3), 0);
    const std::string missing = dir.file("gone");
    const std::string notAFolder = paths[1];
    for (const std::string& folder : {std::string(), missing, notAFolder}) {
        frame->options.saveFolder = toWx(folder);
        const auto before = boxes.shown().size();
        launch();
        const std::vector<ShownDialog> shown(boxes.shown().begin() + before, boxes.shown().end());
        ASSERT_EQ(shown.size(), 1u) << folder;
        EXPECT_TRUE(shown[0].isMessageBox) << folder;  // no run summary
        EXPECT_EQ(shown[0].caption, "ERROR");
        EXPECT_EQ(shown[0].icon(), wxICON_ERROR);
        EXPECT_TRUE(shown[0].message.Contains(folder.empty() ? "no save folder" : toWx(folder)))
            << shown[0].message;
        EXPECT_FALSE(frame->runInProgress());
    }
    pumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(progress.empty());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(AutoRun, SecondStartRefusedWhileRunning) {
    prepareSmall(normalFrames("bmp", 3), 0);
    holdFrameThreads();
    start();
    ASSERT_TRUE(pumpUntil([this] { return *threadsStarted == 2; }));
    UI_ProgressDialog* dialog = frame->progressDialog;
    const auto before = boxes.shown().size();
    launch();
    ASSERT_EQ(boxes.shown().size(), before + 1);
    EXPECT_EQ(boxes.shown().back().caption, "WARNING");
    EXPECT_TRUE(boxes.shown().back().isMessageBox);
    EXPECT_EQ(frame->progressDialog, dialog);  // the run's dialog is kept
    gate->open();
    waitForEnd();
    EXPECT_EQ(runBoxes().back().caption, "Completed");
    EXPECT_EQ(filesIn(outputDir).size(), 3u);
}

TEST_F(AutoRun, PathTheEngineCannotTakeIsRefusedUpFront) {
    prepareSmall(normalFrames("bmp", 3), 0);
    const auto before = boxes.shown().size();
    const wxString original = (*frame->imagePaths)[2];
    // A lone surrogate has no UTF-8 form.
    (*frame->imagePaths)[2] = original + wxUniChar(0xD800);
    launch();
    (*frame->imagePaths)[2] = original;
    const wxString folder = frame->options.saveFolder;
    frame->options.saveFolder = folder + wxUniChar(0xDC00);
    launch();
    frame->options.saveFolder = folder;

    const std::vector<ShownDialog> shown(boxes.shown().begin() + before, boxes.shown().end());
    ASSERT_EQ(shown.size(), 2u);
    for (const ShownDialog& box : shown) {
        EXPECT_TRUE(box.isMessageBox);
        EXPECT_EQ(box.caption, "ERROR");
    }
    EXPECT_NE(toUtf8(shown[0].message).find(paths[2]), std::string::npos);
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_TRUE(filesIn(outputDir).empty());
}

TEST_F(AutoRun, AccentsAndChineseInFoldersAndNames) {
    cropX = 90;
    cropY = 60;
    cropWidth = 24;
    cropHeight = 18;
    prepare({{"\xc3\xa9toile_1.bmp", 0, 0}, {"\xe6\x98\x9f_2.bmp", 2, -1}, {"c_3.bmp", -3, 2}}, 200,
            150, 0,
            "entr\xc3\xa9"
            "e \xe6\x98\x9f\xe5\xba\xa7",
            "sortie \xc3\xa9t\xc3\xa9 \xe7\xbb\x93\xe6\x9e\x9c");
    start();
    waitForEnd();
    const std::set<std::string> expected = {"crop_\xc3\xa9toile_1.bmp", "crop_\xe6\x98\x9f_2.bmp",
                                            "crop_c_3.bmp"};
    std::set<std::string> written;
    const auto folder = std::filesystem::u8path(outputDir);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        written.insert(entry.path().filename().u8string());
    EXPECT_EQ(written, expected);
    ASSERT_EQ(runBoxes().size(), 1u);
    EXPECT_EQ(toUtf8(runBoxes()[0].message), completionText(outputDir));
}

TEST_F(AutoRun, SingleProcessorRunsOneFrameAtATime) {
    prepareSmall(normalFrames("bmp", 4), 0);
    frame->hardwareThreadCount = [] { return 8u; };
    std::string threadsShown;
    queueStart(true);
    boxes.answer(wxOK);  // the single-processor warning
    boxes.handle<wxMessageDialog>([&](wxMessageDialog&) {
        if (frame->progressDialog)
            threadsShown = toUtf8(frame->progressDialog->threadCountText->GetValue());
        return wxID_OK;
    });
    launch();
    waitForEnd();
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(threadsShown, "1");
}

TEST_F(AutoRun, NoHardwareThreadCountWarnsOnceAndUsesOne) {
    prepareSmall(normalFrames("bmp", 3), 0);
    frame->hardwareThreadCount = [] { return 0u; };
    start();
    waitForEnd();
    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].caption, wxMessageBoxCaptionStr);
    EXPECT_EQ(toUtf8(shown[0].message),
              "Unable to determine the number of cores on your CPU.\n\nThe Application will run "
              "on one thread. Running on a single core is MUCH slower then running multi core. "
              "Please report this problem to the developer.");
    EXPECT_EQ(shown[0].buttons(), wxOK);
    EXPECT_TRUE(shown[0].style & wxCENTRE);
    EXPECT_EQ(shown[1].caption, "Completed");
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
}

TEST_F(AutoRun, LateProgressEventFindsNoDialog) {
    prepareSmall(normalFrames("bmp", 2), 0);
    start();
    waitForEnd();
    ASSERT_EQ(frame->progressDialog, nullptr);
    wxCommandEvent late(wxEVT_TEXT, idRunProgress);
    late.SetInt(2);
    frame->GetEventHandler()->ProcessEvent(late);
    EXPECT_EQ(frame->progressDialog, nullptr);
}

TEST_F(AutoRun, WorkerThatCannotBeCreatedLeavesNothingBehind) {
    if (runsUnderSanitizer()) GTEST_SKIP() << "address-space limits do not mix with sanitizers";
    prepareSmall(normalFrames("bmp", 3), 0);
    // The C library keeps the stacks of ended threads for new ones; keep
    // them all busy so that the worker needs a fresh stack.
    std::promise<void> releaseHolders;
    std::shared_future<void> holdersReleased = releaseHolders.get_future().share();
    std::vector<std::thread> stackHolders;
    for (int i = 0; i < 16; ++i)
        stackHolders.emplace_back([holdersReleased] { holdersReleased.wait(); });
    // Let the summary's START through, then leave the process too little
    // address space for a fresh stack.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    boxes.handle<UI_ConfDialog>([](UI_ConfDialog& summary) {
        clickButton(summary, 1002);
        std::ifstream status("/proc/self/status");
        std::string line;
        long vmSizeKb = 0;
        while (std::getline(status, line))
            if (line.rfind("VmSize:", 0) == 0) vmSizeKb = std::atol(line.c_str() + 7);
        rlimit tight = {static_cast<rlim_t>(vmSizeKb + 2048) * 1024, RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &tight);
        return wxID_OK;
    });
    launch();
    setrlimit(RLIMIT_AS, &saved);
    releaseHolders.set_value();
    for (std::thread& holder : stackHolders) holder.join();

    const std::vector<ShownDialog> shown = runBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Critical Error");
    EXPECT_EQ(toUtf8(shown[0].message),
              "The application has been unable to create the worker thread. Please contact the "
              "developer for support.");
    EXPECT_EQ(shown[0].icon(), wxICON_ERROR);
    EXPECT_FALSE(frame->runInProgress());
    EXPECT_EQ(frame->progressDialog, nullptr);
    EXPECT_EQ(frame->runFilePaths, nullptr);
    pumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(filesIn(outputDir).empty());

    // Nothing is left in the way of the next run.
    start();
    waitForEnd();
    EXPECT_EQ(filesIn(outputDir).size(), 3u);
}

// ---------------------------------------------------------------------------
// Texts crossing to and from the engine

TEST(AutoRunText, PathsReachTheEngineAsUtf8InAnyLocale) {
    const std::string accents = "/data/\xc3\xa9t\xc3\xa9/\xe6\x98\x9f\xe5\xba\xa7/m42.bmp";
    std::string engine;
    ASSERT_TRUE(toEngineText(toWx(accents), &engine));
    EXPECT_EQ(engine, accents);
    // Beyond the basic plane too.
    ASSERT_TRUE(toEngineText(toWx("/x/\xf0\x9f\x8c\x8c.tif"), &engine));
    EXPECT_EQ(engine, "/x/\xf0\x9f\x8c\x8c.tif");
}

TEST(AutoRunText, TextsWithoutAFaithfulUtf8FormAreRefused) {
    std::string engine = "untouched";
    EXPECT_FALSE(toEngineText(wxString("/a/b") + wxUniChar(0xDBFF) + ".bmp", &engine));
    EXPECT_FALSE(toEngineText(wxString("/a/") + wxUniChar(0) + "b.bmp", &engine));
    EXPECT_EQ(engine, "untouched");
}

TEST(AutoRunText, EngineMessagesAreNeverShownEmpty) {
    EXPECT_EQ(toUtf8(fromEngineText("Unable to open\n\n/\xc3\xa9t\xc3\xa9/a.bmp")),
              "Unable to open\n\n/\xc3\xa9t\xc3\xa9/a.bmp");
    // Bytes that are not UTF-8 (a system text in another encoding) still
    // show, byte for byte where nothing else fits.
    const wxString latin = fromEngineText("caf\xe9 \xff");
    EXPECT_EQ(latin.length(), 6u);
    EXPECT_TRUE(latin.StartsWith("caf"));
    EXPECT_TRUE(fromEngineText("").empty());
}
