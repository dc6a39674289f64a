// The image set: open, show a row, reference frame, removal, reset.

#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/toolbar.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace guitest;
namespace fs = std::filesystem;

namespace {

const wxColour kRed(255, 0, 0);
const wxColour kBlack(0, 0, 0);

const char* const kRemoveQuestion =
    "Clicking yes will remove the selected images from your active file list.";
const char* const kTooFewQuestion =
    "This operation will leave too few images in your workflow.\n\nYou must have at least two "
    "images in the workflow for the automatic mode to work.\n\nWould you like to remove all "
    "images and start again?";
const char* const kDeleteReferenceQuestion =
    "You are about to delete your reference frame.\n\nIf you continue, you will have to select "
    "a new reference frame.";
const char* const kMoveReferenceQuestion =
    "Your reference frame has already been set.\n\nDo you want to discard it and set a new "
    "reference frame?";

std::string loadErrorText(const std::string& path) {
    return "Tellvar has been unable to load your image file:\n\n" + path +
           "\n\nPlease check the format of your image files and make sure that they are not "
           "corrupt and try the request again.";
}

std::vector<std::string> numberedNames(int count, const std::string& extension) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) names.push_back("frame" + std::to_string(i) + extension);
    return names;
}

class ImageSet : public ::testing::Test {
protected:
    // A window in the given mode, with a set of `count` images of one size.
    void start(int cropMode, int count = 0, int width = 64, int height = 48) {
        window_ = openMainWindow(cropMode, images_.path());
        if (count > 0) {
            paths_ = writeImages(images_, numberedNames(count, ".bmp"), width, height);
            DialogRecorder quiet;
            loadImageSet(frame(), paths_);
            ASSERT_TRUE(frame().imagesLoaded);
        }
    }

    UI_TLCrop& frame() { return **window_; }

    void setReference(const std::vector<long>& selected) {
        selectRows(frame(), selected);
        sendCommand(frame(), kSetReference);
    }

    void pressDeleteKey(int keyCode = WXK_DELETE) {
        wxListEvent key(wxEVT_LIST_KEY_DOWN, 1013);
        key.SetKeyCode(keyCode);
        key.SetEventObject(frame().imageList);
        frame().ProcessWindowEvent(key);
    }

    void selectRowEvent(long row) {
        wxListEvent select(wxEVT_LIST_ITEM_SELECTED, 1013);
        select.SetIndex(row);
        select.SetEventObject(frame().imageList);
        frame().ProcessWindowEvent(select);
    }

    // Every row, path and name still describe one file.
    void expectListsAgree() {
        const std::vector<std::string> names = listNames(frame());
        ASSERT_EQ(names.size(), frame().imagePaths->GetCount());
        ASSERT_EQ(names.size(), frame().imageNames->GetCount());
        EXPECT_EQ(static_cast<int>(names.size()), frame().imageCount);
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(toWx(names[i]), frame().imageNames->Item(i));
            EXPECT_TRUE(frame().imagePaths->Item(i).EndsWith("/" + toWx(names[i])));
        }
    }

    int referenceRows() {
        const std::vector<std::string> labels = listLabels(frame());
        return static_cast<int>(std::count(labels.begin(), labels.end(), "REF"));
    }

    testsupport::TempDir images_;
    std::vector<std::string> paths_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Opening

TEST_F(ImageSet, OpeningSeveralFilesListsThemAndShowsTheFirst) {
    start(0);
    paths_ = writeImages(images_, {"b.bmp", "a.bmp", "c.bmp"}, 64, 48);
    DialogRecorder dialogs;
    loadImageSet(frame(), paths_);

    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -", "2 -", "3 -"}));
    EXPECT_EQ(listNames(frame()), (std::vector<std::string>{"b.bmp", "a.bmp", "c.bmp"}));
    expectListsAgree();
    EXPECT_TRUE(frame().imagesLoaded);
    EXPECT_TRUE(frame().multipleImages);
    EXPECT_FALSE(frame().singleImage);
    EXPECT_EQ(frame().inputExtension, "BMP");
    EXPECT_EQ(frame().imageWidth, 64);
    EXPECT_EQ(frame().imageHeight, 48);
    EXPECT_EQ(statusText(frame(), 4), "Image Path: " + toWx(paths_[0]));
    EXPECT_EQ(statusText(frame(), 3), "Image Size: 64 x 48");
    for (int id : {kSetCrop, kClearImages}) {
        EXPECT_TRUE(isMenuItemEnabled(frame(), id)) << id;
        EXPECT_TRUE(isToolEnabled(frame(), id)) << id;
    }
}

TEST_F(ImageSet, OneFileInTheManualModeKeepsThePathFieldAndIsASingleImage) {
    start(0);
    paths_ = writeImages(images_, {"only.bmp"}, 64, 48);
    DialogRecorder dialogs;
    loadImageSet(frame(), paths_);

    EXPECT_TRUE(frame().imagesLoaded);
    EXPECT_TRUE(frame().singleImage);
    EXPECT_FALSE(frame().multipleImages);
    EXPECT_EQ(frame().imageCount, 1);
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -"}));
    EXPECT_EQ(statusText(frame(), 4), "Image Path: N/A");
    EXPECT_EQ(statusText(frame(), 0), "Mode: Single Image");
}

TEST_F(ImageSet, OneFileInTheAutomaticModeIsListedThenClearedAgain) {
    start(1);
    paths_ = writeImages(images_, {"only.bmp"}, 64, 48);
    DialogRecorder dialogs;
    loadImageSet(frame(), paths_);

    ASSERT_EQ(dialogs.captions(), (std::vector<std::string>{"Warning"}));
    EXPECT_FALSE(frame().imagesLoaded);
    EXPECT_FALSE(frame().singleImage);
    EXPECT_EQ(frame().imageList->GetItemCount(), 0);
    EXPECT_EQ(frame().imageCount, 0);
    EXPECT_EQ(statusText(frame(), 3), "Image Size: N/A");
}

TEST_F(ImageSet, InputExtensionIsTheFirstNameUpperCasedAndFolded) {
    start(0);
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {{"x.tiff", "TIF"}, {"x.TIFF", "TIF"}, {"x.tif", "TIF"}, {"x.jpeg", "JPG"},
                 {"x.JPEG", "JPG"}, {"x.jpg", "JPG"},  {"x.Bmp", "BMP"}, {"x.png", "PNG"}};
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        const std::string path = dir.file(c.name);
        if (std::string(c.extension) == "PNG") {
            ASSERT_TRUE(wxImage(20, 10).SaveFile(toWx(path), wxBITMAP_TYPE_PNG));
        } else {
            writeImages(dir, {c.name}, 20, 10);
        }
        DialogRecorder dialogs;
        frame().masterReset(3);
        loadImageSet(frame(), {path});
        EXPECT_EQ(frame().inputExtension, c.extension) << c.name;
        EXPECT_TRUE(frame().imagesLoaded) << c.name;
    }
}

TEST_F(ImageSet, FilesTheToolkitCannotReadGiveTheLoadErrorAndNoSet) {
    start(0);
    const testsupport::Picture picture = testsupport::makeStarField(64, 48, 3);
    testsupport::writeJpeg(images_.file("whole.jpg"), picture, 90);
    testsupport::writeTiffRgb8(images_.file("whole.tif"), picture);
    const std::vector<std::uint8_t> jpeg = testsupport::readFile(images_.file("whole.jpg"));
    const std::vector<std::uint8_t> tiff = testsupport::readFile(images_.file("whole.tif"));

    testsupport::writeFile(images_.file("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
    testsupport::writeFile(images_.file("empty.bmp"), {});
    testsupport::writeFile(images_.file("header-only.jpg"), {jpeg.begin(), jpeg.begin() + 20});
    testsupport::writeFile(images_.file("header-only.tif"), {tiff.begin(), tiff.begin() + 8});
    testsupport::writeFile(images_.file("bmp-header.bmp"), {'B', 'M', 0, 0, 0, 0});
    const std::vector<std::string> good = writeImages(images_, {"good.bmp"}, 64, 48);

    for (const char* name : {"text.jpg", "empty.bmp", "header-only.jpg", "header-only.tif",
                             "bmp-header.bmp", "missing.bmp"}) {
        const std::string bad = images_.file(name);
        DialogRecorder dialogs;
        loadImageSet(frame(), {bad, good[0]});

        const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << name;
        EXPECT_EQ(boxes[0].caption, "Image Load Error") << name;
        EXPECT_EQ(boxes[0].message, toWx(loadErrorText(bad))) << name;
        EXPECT_EQ(boxes[0].icon(), wxICON_ERROR) << name;
        EXPECT_FALSE(frame().imagesLoaded) << name;
        EXPECT_EQ(frame().imageList->GetItemCount(), 0) << name;
        EXPECT_EQ(frame().imagePaths->GetCount(), 0u) << name;
        EXPECT_EQ(frame().imageNames->GetCount(), 0u) << name;
        EXPECT_EQ(frame().imageCount, 0) << name;
        EXPECT_EQ(statusText(frame(), 4), "Image Path: N/A") << name;
    }
}

TEST_F(ImageSet, ALoadFailureIsReportedOnceNotAlsoThroughTheToolkitsLog) {
    // What the toolkit logs would reach the user as a second error window.
    struct CountingLog : wxLog {
        int messages = 0;
        void DoLogTextAtLevel(wxLogLevel, const wxString&) override { ++messages; }
    };
    start(0);
    testsupport::writeFile(images_.file("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
    CountingLog counting;
    wxLog* previous = wxLog::SetActiveTarget(&counting);
    DialogRecorder dialogs;
    loadImageSet(frame(), {images_.file("text.jpg"), images_.file("missing.tif")});
    wxLog::FlushActive();
    wxLog::SetActiveTarget(previous);

    EXPECT_EQ(dialogs.captions(), (std::vector<std::string>{"Image Load Error"}));
    EXPECT_EQ(counting.messages, 0);
    // Logging itself is back on afterwards.
    EXPECT_TRUE(wxLog::IsEnabled());
}

TEST_F(ImageSet, PathsWithAccentsAndChineseCharactersLoad) {
    start(0);
    for (const std::string folder : {"Caf\xC3\xA9 \xC3\xA9t\xC3\xA9", "\xE6\x98\x9F\xE7\xA9\xBA"}) {
        fs::create_directory(images_.file(folder));
        testsupport::TempDir scratch;
        const std::vector<std::string> written = writeImages(scratch,
                                                             {"n\xC3\xA9"
                                                              "bula1.bmp",
                                                              "\xE5\x9B\xBE"
                                                              "2.bmp"},
                                                             40, 30);
        std::vector<std::string> paths;
        for (const std::string& source : written) {
            const std::string target =
                images_.file(folder) + "/" + fs::path(source).filename().string();
            fs::copy_file(source, target);
            paths.push_back(target);
        }

        DialogRecorder dialogs;
        frame().masterReset(3);
        loadImageSet(frame(), paths);
        EXPECT_TRUE(dialogs.shown().empty()) << folder;
        EXPECT_TRUE(frame().imagesLoaded) << folder;
        EXPECT_EQ(statusText(frame(), 4), "Image Path: " + toWx(paths[0]));
        EXPECT_EQ(listNames(frame()), (std::vector<std::string>{"n\xC3\xA9"
                                                                "bula1.bmp",
                                                                "\xE5\x9B\xBE"
                                                                "2.bmp"}));

        selectRowEvent(1);
        EXPECT_EQ(statusText(frame(), 4), "Image Path:  " + toWx(paths[1]));
    }
}

TEST_F(ImageSet, OpenShowsTheFileDialogAndANothingChosenIsNoSet) {
    start(0);
    DialogRecorder dialogs;
    wxString message;
    wxString wildcard;
    long style = 0;
    // The toolkit's dialog only hands out what the user picked in it, so this
    // answer is OK with nothing picked; the loading itself is covered through
    // loadImageSet above.
    dialogs.handle<wxFileDialog>([&](wxFileDialog& dialog) {
        message = dialog.GetMessage();
        wildcard = dialog.GetWildcard();
        style = dialog.GetWindowStyle();
        return wxID_OK;
    });
    sendCommand(frame(), kOpen);

    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.unscripted(), 0);
    EXPECT_EQ(message, "Open Image Files");
    EXPECT_EQ(wildcard,
              "All Supported Images|*.TIFF;*.TIF;*.tif;*.tiff;*.BMP;*.bmp;*.jpg;*.JPG;*.jpeg;"
              "*.JPEG|JPEG Images (*.jpg)|*.JPG;*.jpg|Bitmap Images (*.bmp)|*.bmp;*.BMP|TIFF "
              "Images (*.tif, *.tiff)|*.tif;*.TIF;*.TIFF;*.tiff|All Files (*.*)|*.*");
    EXPECT_TRUE(style & wxFD_MULTIPLE);
    EXPECT_FALSE(frame().imagesLoaded);
    EXPECT_EQ(frame().imageList->GetItemCount(), 0);
    expectListsAgree();
}

TEST_F(ImageSet, OpeningWhileLoadedAsksFirst) {
    start(0, 3);
    {
        // Declined: nothing at all happens, not even the file dialog.
        DialogRecorder dialogs;
        dialogs.answer(wxNO);
        sendCommand(frame(), kOpen);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].caption, "Clear Application");
        EXPECT_EQ(dialogs.shown()[0].message,
                  "You have already loaded files into this software. If you continue your "
                  "existing files will be removed and the new files will be loaded. \n\nDo you "
                  "want to continue with this operation");
        EXPECT_EQ(frame().imageCount, 3);
    }
    {
        // Agreed, then the file dialog cancelled: the set stays cleared.
        DialogRecorder dialogs;
        dialogs.answer(wxYES);
        dialogs.handle<wxFileDialog>([](wxFileDialog&) { return wxID_CANCEL; });
        sendCommand(frame(), kOpen);
        EXPECT_EQ(dialogs.unscripted(), 0);
        EXPECT_FALSE(frame().imagesLoaded);
        EXPECT_EQ(frame().imageList->GetItemCount(), 0);
    }
}

// ---------------------------------------------------------------------------
// Showing a row

TEST_F(ImageSet, SelectingARowShowsItsImageAndPathWithTwoBlanks) {
    start(0);
    const std::vector<std::string> first = writeImages(images_, {"small.bmp"}, 64, 48);
    const std::vector<std::string> second = writeImages(images_, {"large.bmp"}, 80, 60);
    paths_ = {first[0], second[0]};
    {
        DialogRecorder quiet;
        loadImageSet(frame(), paths_);
        setReference({});
    }
    DialogRecorder dialogs;
    selectRowEvent(1);

    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(statusText(frame(), 3), "Image Size: 80 x 60");
    EXPECT_EQ(statusText(frame(), 4), "Image Path:  " + toWx(paths_[1]));
    EXPECT_EQ(frame().imageWidth, 80);
    // The reference and the list stay as they were.
    EXPECT_TRUE(frame().referenceSet);
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"REF", "2 -"}));
}

TEST_F(ImageSet, SelectingAnUnreadableRowKeepsTheStatusFields) {
    start(0, 2);
    fs::remove(paths_[1]);
    DialogRecorder dialogs;
    selectRowEvent(1);
    ASSERT_EQ(dialogs.captions(), (std::vector<std::string>{"Image Load Error"}));
    EXPECT_EQ(statusText(frame(), 4), "Image Path: " + toWx(paths_[0]));
    EXPECT_EQ(statusText(frame(), 3), "Image Size: 64 x 48");
}

// A named pipe among the chosen files (the all-files filter lets one
// through) is refused by name before anything opens it, so the window never
// waits for a writer; a row of one keeps the image shown.
TEST_F(ImageSet, ANamedPipeIsRefusedByNameWithoutWaitingForIt) {
    start(0);
    const std::vector<std::string> good = writeImages(images_, {"a.bmp", "c.bmp"}, 64, 48);
    NamedPipe pipe(images_.file("pipe.bmp"));
    const auto expectRefusal = [&pipe](const DialogRecorder& dialogs) {
        ASSERT_EQ(dialogs.messageBoxes().size(), 1u);
        EXPECT_EQ(dialogs.messageBoxes()[0].caption, "Image Load Error");
        EXPECT_EQ(dialogs.messageBoxes()[0].icon(), wxICON_ERROR);
        EXPECT_TRUE(dialogs.messageBoxes()[0].message.Contains(toWx(pipe.path())));
    };
    {
        DialogRecorder dialogs;
        loadImageSet(frame(), {pipe.path(), good[0]});
        expectRefusal(dialogs);
        EXPECT_FALSE(frame().imagesLoaded);
    }
    {
        DialogRecorder quiet;
        loadImageSet(frame(), {good[0], pipe.path(), good[1]});
    }
    const wxBitmap shown = frame().previewCanvas.picture();
    DialogRecorder dialogs;
    selectRowEvent(1);
    expectRefusal(dialogs);
    EXPECT_EQ(frame().currentImage.GetSize(), wxSize(64, 48));
    EXPECT_TRUE(frame().previewCanvas.picture().IsSameAs(shown));
    EXPECT_EQ(statusText(frame(), 4), "Image Path: " + toWx(good[0]));
    EXPECT_FALSE(pipe.hung()) << "the window waited for the pipe";
}

// A damaged PNG selected in the list: the panel keeps the picture it showed
// and a crop is cut from that same picture, not from an empty image.
TEST_F(ImageSet, ADamagedPngKeepsTheShownAndTheCutImageTheSame) {
    start(0);
    const testsupport::Picture picture = testsupport::makeStarField(64, 48, 9);
    wxImage png(64, 48, const_cast<unsigned char*>(picture.rgb.data()), true);
    const std::string damaged = images_.file("damaged.png");
    ASSERT_TRUE(png.SaveFile(toWx(damaged), wxBITMAP_TYPE_PNG));
    std::vector<std::uint8_t> bytes = testsupport::readFile(damaged);
    bytes.resize(bytes.size() / 2);
    testsupport::writeFile(damaged, bytes);
    const std::vector<std::string> good = writeImages(images_, {"good.bmp"}, 80, 60);
    {
        DialogRecorder quiet;
        loadImageSet(frame(), {good[0], damaged});
    }
    const wxBitmap shown = frame().previewCanvas.picture();
    const wxImage before = frame().currentImage;
    DialogRecorder dialogs;
    selectRowEvent(1);
    EXPECT_EQ(dialogs.captions(), (std::vector<std::string>{"Image Load Error"}));
    EXPECT_TRUE(frame().previewCanvas.picture().IsSameAs(shown));
    ASSERT_EQ(frame().currentImage.GetSize(), wxSize(80, 60));
    EXPECT_EQ(std::memcmp(frame().currentImage.GetData(), before.GetData(), 80 * 60 * 3), 0);
}

TEST_F(ImageSet, SelectingWithASingleImageDoesNothing) {
    start(0, 1);
    fs::remove(paths_[0]);  // a load attempt would now be seen
    DialogRecorder dialogs;
    selectRowEvent(0);
    EXPECT_TRUE(dialogs.shown().empty());
}

// ---------------------------------------------------------------------------
// Reference frame

TEST_F(ImageSet, ReferenceWithNoRowSelectedIsRowZero) {
    start(1, 3);
    DialogRecorder dialogs;
    setReference({});

    const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Reference Frame");
    EXPECT_EQ(boxes[0].message,
              "Your reference frame 'frame1.bmp' has been successfully configured.");
    EXPECT_EQ(boxes[0].icon(), wxICON_INFORMATION);
    EXPECT_TRUE(frame().referenceSet);
    EXPECT_EQ(frame().referenceIndex, 0);
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"REF", "2 -", "3 -"}));
    EXPECT_EQ(frame().imageList->GetItemTextColour(0), kRed);
}

TEST_F(ImageSet, ReferenceWithoutASetDoesNothing) {
    start(1);
    DialogRecorder dialogs;
    sendCommand(frame(), kSetReference);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(frame().referenceSet);
}

TEST_F(ImageSet, ReferenceWithTwoRowsSelectedIsRefused) {
    start(1, 3);
    DialogRecorder dialogs;
    setReference({0, 2});

    const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "ERROR");
    EXPECT_EQ(boxes[0].message,
              "This application requires one reference frame.\n\nPlease select the best "
              "reference frame before starting the procedure.");
    EXPECT_EQ(boxes[0].icon(), wxICON_ERROR);
    EXPECT_FALSE(frame().referenceSet);
    EXPECT_EQ(referenceRows(), 0);
}

TEST_F(ImageSet, MovingTheReferenceGivesTheOldRowItsLabelBack) {
    start(1, 4);
    for (long oldRow : {2L, 0L}) {
        {
            DialogRecorder quiet;
            frame().masterReset(3);
            loadImageSet(frame(), paths_);
            setReference({oldRow});
        }
        const long newRow = oldRow == 0 ? 1 : 0;
        DialogRecorder dialogs;
        dialogs.answer(wxYES).answer(wxOK);
        setReference({newRow});

        ASSERT_EQ(dialogs.messageTexts().size(), 2u);
        EXPECT_EQ(dialogs.messageTexts()[0], kMoveReferenceQuestion);
        EXPECT_EQ(dialogs.shown()[0].caption, "WARNING");
        EXPECT_EQ(dialogs.shown()[0].buttons(), wxYES_NO);
        EXPECT_EQ(dialogs.shown()[0].icon(), wxICON_QUESTION);
        EXPECT_EQ(referenceRows(), 1);
        EXPECT_EQ(listLabels(frame())[newRow], "REF");
        EXPECT_EQ(listLabels(frame())[oldRow], std::to_string(oldRow + 1) + " -");
        EXPECT_EQ(frame().imageList->GetItemTextColour(oldRow), kBlack);
        EXPECT_EQ(frame().imageList->GetItemTextColour(newRow), kRed);
        EXPECT_EQ(frame().referenceIndex, newRow);
    }
}

TEST_F(ImageSet, KeepingTheReferenceOrFailingToReplaceIt) {
    start(1, 3);
    {
        DialogRecorder quiet;
        setReference({1});
    }
    {
        DialogRecorder dialogs;
        dialogs.answer(wxNO);
        setReference({2});
        EXPECT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -", "REF", "3 -"}));
        EXPECT_EQ(frame().referenceIndex, 1);
        EXPECT_TRUE(frame().referenceSet);
    }
    // Giving it up and then selecting two rows leaves none at all.
    DialogRecorder dialogs;
    dialogs.answer(wxYES).answer(wxOK);
    setReference({0, 2});
    EXPECT_EQ(dialogs.captions(), (std::vector<std::string>{"WARNING", "ERROR"}));
    EXPECT_FALSE(frame().referenceSet);
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -", "2 -", "3 -"}));
}

// ---------------------------------------------------------------------------
// Removal

TEST_F(ImageSet, RemovingARowAboveTheReferenceMovesTheReferenceUp) {
    start(1, 4);
    {
        DialogRecorder quiet;
        setReference({2});
    }
    selectRows(frame(), {0});
    DialogRecorder dialogs;
    dialogs.answer(wxYES);
    sendCommand(frame(), kRemoveFiles);

    ASSERT_EQ(dialogs.messageTexts(), (std::vector<std::string>{kRemoveQuestion}));
    EXPECT_EQ(dialogs.shown()[0].caption, "Warning");
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"2 -", "REF", "4 -"}));
    EXPECT_EQ(listNames(frame()),
              (std::vector<std::string>{"frame2.bmp", "frame3.bmp", "frame4.bmp"}));
    expectListsAgree();
    EXPECT_EQ(frame().referenceIndex, 1);
    EXPECT_TRUE(frame().referenceSet);
    EXPECT_EQ(statusText(frame(), 1), "Images: 3");
}

TEST_F(ImageSet, DecliningOrSelectingNothingRemovesNothing) {
    start(0, 3);
    selectRows(frame(), {1});
    DialogRecorder dialogs;
    dialogs.answer(wxNO);
    sendCommand(frame(), kRemoveFiles);
    selectRows(frame(), {});
    dialogs.answer(wxYES);
    sendCommand(frame(), kRemoveFiles);
    EXPECT_EQ(dialogs.messageTexts(), (std::vector<std::string>{kRemoveQuestion, kRemoveQuestion}));
    EXPECT_EQ(frame().imageCount, 3);
    expectListsAgree();
}

TEST_F(ImageSet, RemovingTooManyAsksToStartAgain) {
    start(1, 3);
    selectRows(frame(), {0, 2});
    {
        DialogRecorder dialogs;
        dialogs.answer(wxYES).answer(wxNO);
        sendCommand(frame(), kRemoveFiles);
        ASSERT_EQ(dialogs.messageTexts(),
                  (std::vector<std::string>{kRemoveQuestion, kTooFewQuestion}));
        EXPECT_EQ(dialogs.shown()[1].caption, "WARNING");
        EXPECT_EQ(frame().imageCount, 3);
        EXPECT_TRUE(frame().imagesLoaded);
    }
    {
        DialogRecorder dialogs;
        dialogs.answer(wxYES).answer(wxYES);
        sendCommand(frame(), kRemoveFiles);
        // Cleared without the reset's own question.
        EXPECT_EQ(dialogs.shown().size(), 2u);
        EXPECT_FALSE(frame().imagesLoaded);
        EXPECT_EQ(frame().imageList->GetItemCount(), 0);
        expectListsAgree();
    }
}

TEST_F(ImageSet, OneImageAndNothingSelectedAlsoAsksToStartAgain) {
    start(0, 1);
    DialogRecorder dialogs;
    dialogs.answer(wxYES).answer(wxNO);
    sendCommand(frame(), kRemoveFiles);
    EXPECT_EQ(dialogs.messageTexts(), (std::vector<std::string>{kRemoveQuestion, kTooFewQuestion}));
    EXPECT_EQ(frame().imageCount, 1);
}

TEST_F(ImageSet, KeepingTheReferenceWhileRemovingSeveralRowsRemovesTheOthers) {
    start(1, 5);
    {
        DialogRecorder quiet;
        setReference({1});
    }
    selectRows(frame(), {1, 2, 3});
    DialogRecorder dialogs;
    dialogs.answer(wxYES).answer(wxNO);
    sendCommand(frame(), kRemoveFiles);

    EXPECT_EQ(dialogs.messageTexts(),
              (std::vector<std::string>{kRemoveQuestion, kDeleteReferenceQuestion}));
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -", "REF", "5 -"}));
    expectListsAgree();
    EXPECT_TRUE(frame().referenceSet);
    EXPECT_EQ(frame().referenceIndex, 1);
    EXPECT_EQ(statusText(frame(), 1), "Images: 3");
}

TEST_F(ImageSet, RemovingTheReferenceLeavesNoReferenceAndAnIndexInsideTheSet) {
    start(1, 4);
    {
        DialogRecorder quiet;
        setReference({3});
    }
    selectRows(frame(), {1, 3});
    DialogRecorder dialogs;
    dialogs.answer(wxYES).answer(wxYES);
    sendCommand(frame(), kRemoveFiles);

    EXPECT_EQ(dialogs.messageTexts(),
              (std::vector<std::string>{kRemoveQuestion, kDeleteReferenceQuestion}));
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"1 -", "3 -"}));
    expectListsAgree();
    EXPECT_FALSE(frame().referenceSet);
    EXPECT_GE(frame().referenceIndex, 0);
    EXPECT_LT(frame().referenceIndex, frame().imageCount);

    // A run cannot start on the stale reference.
    DialogRecorder startAttempt;
    sendCommand(frame(), kStartRun);
    ASSERT_FALSE(startAttempt.captions().empty());
    EXPECT_EQ(startAttempt.captions()[0], "ERROR");
}

TEST_F(ImageSet, DeleteKeyRemovesOnlyWithASetLoaded) {
    start(0);
    {
        DialogRecorder dialogs;
        pressDeleteKey();
        EXPECT_TRUE(dialogs.shown().empty());
    }
    {
        DialogRecorder quiet;
        loadImageSet(frame(), writeImages(images_, numberedNames(3, ".bmp"), 64, 48));
    }
    {
        DialogRecorder dialogs;
        pressDeleteKey('A');
        pressDeleteKey(WXK_BACK);
        EXPECT_TRUE(dialogs.shown().empty());
    }
    selectRows(frame(), {2});
    DialogRecorder dialogs;
    dialogs.answer(wxYES);
    pressDeleteKey();
    EXPECT_EQ(dialogs.messageTexts(), (std::vector<std::string>{kRemoveQuestion}));
    EXPECT_EQ(frame().imageCount, 2);
}

// ---------------------------------------------------------------------------
// Search perimeter on small images

TEST_F(ImageSet, ASmallImageLowersALargeSearchPerimeterToThirty) {
    for (const wxSize size : {wxSize(1024, 768), wxSize(640, 480)}) {
        writeSettingsFile(settingsLines(0, images_.path(), 35));
        {
            DialogRecorder quiet;
            window_ = std::make_unique<MainWindow>();
        }
        testsupport::TempDir dir;
        DialogRecorder dialogs;
        loadImageSet(frame(), writeImages(dir, {"a.bmp", "b.bmp"}, size.x, size.y));
        if (size.x > 800) {
            EXPECT_TRUE(dialogs.shown().empty());
            EXPECT_EQ(frame().options.searchPerimeter, 35);
            EXPECT_EQ(readSettingsFile()[7], "35");
            continue;
        }
        const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].message,
                  "Your current search perimeter is greater then 30. This is not supported when "
                  "you load images smaller than 800 x 600.\n\nYour search perimeter has been "
                  "reduced to 30. ");
        EXPECT_EQ(boxes[0].caption, wxMessageBoxCaptionStr);
        EXPECT_EQ(boxes[0].buttons(), wxOK);
        EXPECT_EQ(frame().options.searchPerimeter, 30);
        ASSERT_EQ(readSettingsFile().size(), 9u);
        EXPECT_EQ(readSettingsFile()[7], "30");
    }
}

// ---------------------------------------------------------------------------
// Reset

TEST_F(ImageSet, ResetQuestionsByVariant) {
    const char* const questions[] = {
        "Do you want to clear the applications internal buffers?\n\nThis will clear all image "
        "data and reconfigure the application to its original startup configuration.",
        "You have already loaded files into this software. If you continue your existing files "
        "will be removed and the new files will be loaded. \n\nDo you want to continue with this "
        "operation",
        "Would you like to clear the application data. \n\n",
    };
    start(0, 3);
    for (int variant = 0; variant <= 2; ++variant) {
        DialogRecorder dialogs;
        dialogs.answer(wxNO);
        EXPECT_EQ(frame().masterReset(variant), 1500);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].caption, "Clear Application");
        EXPECT_EQ(dialogs.shown()[0].message, questions[variant]);
        EXPECT_EQ(dialogs.shown()[0].buttons(), wxYES_NO);
        EXPECT_EQ(dialogs.shown()[0].icon(), wxICON_QUESTION);
        EXPECT_TRUE(frame().imagesLoaded);
        EXPECT_EQ(frame().imageCount, 3);
    }
    DialogRecorder dialogs;
    EXPECT_EQ(frame().masterReset(3), 1501);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(frame().imagesLoaded);
}

TEST_F(ImageSet, ResetClearsTheSetButKeepsTheCropRectangle) {
    start(1, 3);
    {
        DialogRecorder quiet;
        setReference({1});
    }
    frame().cropWidth = 30;
    frame().cropHeight = 20;
    frame().cropX = 7;
    frame().cropY = 9;
    frame().cropDefined = true;
    frame().showSafeArea = false;
    frame().validated = true;
    frame().croppedCount = 2;

    DialogRecorder dialogs;
    dialogs.answer(wxYES);
    sendCommand(frame(), kClearImages);

    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_FALSE(frame().imagesLoaded);
    EXPECT_FALSE(frame().multipleImages);
    EXPECT_FALSE(frame().singleImage);
    EXPECT_FALSE(frame().referenceSet);
    EXPECT_FALSE(frame().validated);
    EXPECT_FALSE(frame().formatRulesApplied);
    EXPECT_FALSE(frame().cropDefined);
    EXPECT_FALSE(frame().previewScaled);
    EXPECT_TRUE(frame().showSafeArea);
    EXPECT_FALSE(frame().currentImage.IsOk());
    EXPECT_EQ(frame().referenceIndex, 0);
    EXPECT_EQ(frame().imageCount, 0);
    EXPECT_EQ(frame().croppedCount, 0);
    EXPECT_EQ(frame().imageWidth, 0);
    EXPECT_EQ(frame().imageHeight, 0);
    EXPECT_TRUE(frame().inputExtension.empty());
    EXPECT_EQ(frame().imageList->GetItemCount(), 0);
    expectListsAgree();
    EXPECT_EQ(statusText(frame(), 3), "Image Size: N/A");
    EXPECT_EQ(statusText(frame(), 4), "Image Path: N/A");
    EXPECT_EQ(frame().cropWidth, 30);
    EXPECT_EQ(frame().cropHeight, 20);
    EXPECT_EQ(frame().cropX, 7);
    EXPECT_EQ(frame().cropY, 9);
}

TEST_F(ImageSet, StatusFieldsAndCommandsThroughASetsLife) {
    start(1);
    const auto enabled = [this](int id) {
        return isMenuItemEnabled(frame(), id) && isToolEnabled(frame(), id);
    };
    EXPECT_EQ(statusText(frame(), 1), "Images: 0");
    for (int id : {kSetCrop, kCropImage, kClearImages, kRemoveFiles, kSetReference, kStartRun})
        EXPECT_FALSE(enabled(id)) << id;

    // Opened: the set's own commands come on.
    paths_ = writeImages(images_, numberedNames(3, ".bmp"), 64, 48);
    {
        DialogRecorder dialogs;
        loadImageSet(frame(), paths_);
        // Validation and the BMP output rule speak up; nothing else does.
        EXPECT_EQ(dialogs.captions(),
                  (std::vector<std::string>{"Validation Completed!", "Warning - Option Changed"}));
    }
    EXPECT_EQ(statusText(frame(), 1), "Images: 3");
    EXPECT_EQ(statusText(frame(), 3), "Image Size: 64 x 48");
    EXPECT_EQ(statusText(frame(), 4), "Image Path: " + toWx(paths_[0]));
    for (int id : {kSetCrop, kClearImages, kRemoveFiles, kSetReference})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(kCropImage));

    // Reference chosen, a row removed.
    {
        DialogRecorder quiet;
        setReference({0});
    }
    selectRows(frame(), {2});
    {
        DialogRecorder dialogs;
        dialogs.answer(wxYES);
        sendCommand(frame(), kRemoveFiles);
    }
    EXPECT_EQ(statusText(frame(), 1), "Images: 2");
    EXPECT_EQ(listLabels(frame()), (std::vector<std::string>{"REF", "2 -"}));

    // Cleared: back to the start.
    {
        DialogRecorder dialogs;
        dialogs.answer(wxYES);
        sendCommand(frame(), kClearImages);
    }
    EXPECT_EQ(statusText(frame(), 1), "Images: 0");
    EXPECT_EQ(statusText(frame(), 3), "Image Size: N/A");
    EXPECT_EQ(statusText(frame(), 4), "Image Path: N/A");
    for (int id : {kSetCrop, kCropImage, kClearImages, kRemoveFiles, kSetReference, kStartRun})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(isToolEnabled(frame(), kOpen));
}
