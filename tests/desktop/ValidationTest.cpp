// Validation of an image set for the fully automatic mode: the boxes it
// shows, in order, the commands it leaves enabled, and what it asks of the
// engine codec (sizes only, each file at most once but the first, and the
// codec released on every way out).

#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "UI_TLCrop.h"
#include "ValidationSupport.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/toolbar.h>

#include <array>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;
using guitest::DialogRecorder;
using guitest::kRemoveFiles;
using guitest::kSetCrop;
using guitest::kSetReference;
using guitest::kValidate;
using guitest::toWx;
using testsupport::Picture;

namespace {

const char* const kMismatchClosing =
    "\n\nThe fully automatic modes require that all your images are exactly the same size and "
    "are of the same file type.\n\nYou can use Tellvar's remove feature to remove incorrect "
    "images and then click the revalidate toolbar option or switch to manual mode. ";

std::string errorsSummary(const std::string& validateWord) {
    return "Errors have been detected and as a result the application cannot run in automatic "
           "mode.\n\nErrors have been previously shown, please take action and then resubmit "
           "your images.\n\nIf you remove images from the active file list please click the " +
           validateWord + " on the toolbar which will revalidate all images.";
}

const char* const kCompleted =
    "All images have been validated and are compatible with automatic alignment and cropping "
    "mode.";

// What the validation asked of its codecs.
struct CodecLog {
    int created = 0;
    int destroyed = 0;
    int pixelReads = 0;
    std::vector<std::string> sized;
    std::vector<std::string> types;
};

// Passes every call on to a real codec and writes it down.
class CountingCodec : public Tellvar::Brennock {
public:
    CountingCodec(std::unique_ptr<Tellvar::Brennock> inner, CodecLog& log)
        : inner_(std::move(inner)), log_(log) {}
    ~CountingCodec() override { ++log_.destroyed; }

    bool openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                   std::string* errorText) override {
        ++log_.pixelReads;
        return inner_->openImage(buffer, path, width, height, depth, errorText);
    }
    bool saveImage(unsigned char*, int, int, int, std::string, std::string*) override {
        ADD_FAILURE() << "validation wrote an image";
        return false;
    }
    bool sizeChecker(int* width, int* height, std::string path, std::string* errorText) override {
        log_.sized.push_back(path);
        return inner_->sizeChecker(width, height, path, errorText);
    }

private:
    std::unique_ptr<Tellvar::Brennock> inner_;
    CodecLog& log_;
};

// The codec's own message for a file it refuses.
std::string codecMessage(Tellvar::Brennock& codec, const std::string& path) {
    int width = 0, height = 0;
    std::string error;
    EXPECT_FALSE(codec.sizeChecker(&width, &height, path, &error)) << path;
    return error;
}

// A TIFF the engine refuses by its kind: bits per sample, samples per pixel
// and photometric interpretation as given.
void writeOtherTiff(const std::string& path, int bits, int samples, int photometric) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 48);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 32);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    std::vector<std::uint8_t> row(48 * samples * bits / 8, 40);
    for (int y = 0; y < 32; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
    TIFFClose(tiff);
}

// The first bytes of a file, as a download that broke off would leave it.
void truncateFile(const std::string& path, std::size_t keep) {
    std::vector<std::uint8_t> bytes = testsupport::readFile(path);
    ASSERT_LT(keep, bytes.size());
    bytes.resize(keep);
    testsupport::writeFile(path, bytes);
}

// Enabled state of set crop area, remove files and set reference, each as
// menu item and tool.
using CommandState = std::array<bool, 6>;

class ImageSetValidation : public ::testing::Test {
protected:
    void SetUp() override {
        // The manual mode, so that loading a set does not validate it yet.
        window = guitest::openMainWindow(0, outputs.path());
        frame().validationCodecFactory = [this](const wxString& type) {
            ++log.created;
            log.types.push_back(guitest::toUtf8(type));
            return std::make_unique<CountingCodec>(makeValidationCodec(type), log);
        };
    }

    void TearDown() override {
        EXPECT_EQ(log.created, log.destroyed) << "a validation codec was left behind";
        EXPECT_EQ(log.pixelReads, 0) << "validation read pixels";
        DialogRecorder quiet;
        window.reset();
    }

    UI_TLCrop& frame() { return **window; }

    void load(const std::vector<std::string>& paths) {
        DialogRecorder quiet;
        if (frame().imagesLoaded) frame().masterReset(3);
        guitest::loadImageSet(frame(), paths);
        ASSERT_TRUE(frame().imagesLoaded);
        ASSERT_FALSE(frame().validated);
    }

    std::string writePicture(const std::string& name, int width, int height) {
        const std::string path = inputs.file(name);
        guitest::writePicture(path, testsupport::makeStarField(width, height, 5));
        return path;
    }

    void setCommands(bool enable) {
        for (int id : {kSetCrop, kRemoveFiles, kSetReference}) {
            frame().toolsMenu->Enable(id, enable);
            frame().toolBar->EnableTool(id, enable);
        }
    }

    CommandState commands() {
        CommandState state{};
        int i = 0;
        for (int id : {kSetCrop, kRemoveFiles, kSetReference}) {
            state[i++] = guitest::isMenuItemEnabled(frame(), id);
            state[i++] = guitest::isToolEnabled(frame(), id);
        }
        return state;
    }

    const CommandState kAllEnabled{true, true, true, true, true, true};
    const CommandState kAfterFailure{false, false, true, true, false, false};

    testsupport::TempDir inputs;
    testsupport::TempDir outputs;
    std::unique_ptr<guitest::MainWindow> window;
    CodecLog log;
};

}  // namespace

// ---------------------------------------------------------------------------

TEST(ValidationSupport, NonAsciiPathsAndMessagesSurviveTheEngineBoundary) {
    testsupport::TempDir dir;
    const std::string utf8 = dir.path() +
                             "/Donn\xC3\xA9"
                             "es \xE6\x98\x9F.bmp";
    const wxString path = toWx(utf8);
    // The file-system spelling of the path is the UTF-8 the file was made with.
    EXPECT_EQ(toEnginePath(path), utf8);
    testsupport::writeBmp24(toEnginePath(path), testsupport::makeStarField(8, 8, 1));
    EXPECT_TRUE(fs::exists(fs::u8path(utf8)));

    EXPECT_EQ(fromEngineText("ab\n" + utf8), "ab\n" + path);
    // Bytes that are not UTF-8 still show, one character each.
    EXPECT_EQ(fromEngineText("x\xE9y").length(), 3u);
    EXPECT_TRUE(fromEngineText("").empty());
}

// ---------------------------------------------------------------------------

TEST_F(ImageSetValidation, PassingSetEnablesTheCommandsAndIsCheckedOnce) {
    const std::vector<std::string> paths = {writePicture("a.bmp", 64, 48),
                                            writePicture("b.BMP", 64, 48),
                                            writePicture("c.bmp", 64, 48)};
    load(paths);
    setCommands(false);

    DialogRecorder recorder;
    EXPECT_TRUE(frame().validateImages());
    ASSERT_EQ(recorder.shown().size(), 1u);
    const guitest::ShownDialog& box = recorder.shown()[0];
    EXPECT_EQ(box.caption, "Validation Completed!");
    EXPECT_EQ(box.message, kCompleted);
    EXPECT_EQ(box.buttons(), wxOK);
    EXPECT_TRUE(box.style & wxCENTRE);
    EXPECT_TRUE(frame().validated);
    EXPECT_EQ(commands(), kAllEnabled);

    // Sizes only, the first file twice (reference size, then the walk).
    EXPECT_EQ(log.sized, (std::vector<std::string>{paths[0], paths[0], paths[1], paths[2]}));
    EXPECT_EQ(log.types, (std::vector<std::string>{"BMP"}));
    EXPECT_EQ(log.destroyed, 1);

    // Once validated, the set is not read again and nothing is shown.
    EXPECT_TRUE(frame().validateImages());
    EXPECT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(log.created, 1);
}

TEST_F(ImageSetValidation, BothSpellingsOfTiffAndJpegPassTogether) {
    load({writePicture("a.tiff", 40, 30), writePicture("b.TIF", 40, 30),
          writePicture("c.Tiff", 40, 30)});
    {
        DialogRecorder recorder;
        EXPECT_TRUE(frame().validateImages());
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Validation Completed!"}));
    }
    load({writePicture("d.jpeg", 40, 30), writePicture("e.jpg", 40, 30),
          writePicture("f.JPG", 40, 30)});
    {
        DialogRecorder recorder;
        EXPECT_TRUE(frame().validateImages());
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Validation Completed!"}));
    }
    EXPECT_EQ(log.types, (std::vector<std::string>{"TIF", "JPG"}));
}

TEST_F(ImageSetValidation, OtherTypeIsNamedAndTheWalkStopsThere) {
    const std::vector<std::string> paths = {
        writePicture("a.bmp", 64, 48), writePicture("b.bmp", 64, 48), writePicture("c.jpg", 64, 48),
        writePicture("d.bmp", 64, 48)};
    load(paths);
    setCommands(true);
    frame().toolsMenu->Enable(kRemoveFiles, false);
    frame().toolBar->EnableTool(kRemoveFiles, false);

    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].caption, "Critical Error");
    EXPECT_EQ(recorder.shown()[0].icon(), wxICON_ERROR);
    EXPECT_EQ(recorder.shown()[0].message,
              "Your images are not all of the same image format. At lest the following image is "
              "a different type:\n\n" +
                  toWx(paths[2]) + kMismatchClosing);
    EXPECT_FALSE(frame().validated);
    EXPECT_EQ(commands(), kAfterFailure);
    EXPECT_EQ(log.sized, (std::vector<std::string>{paths[0], paths[0], paths[1]}));
}

TEST_F(ImageSetValidation, FileOnePixelWiderIsNamedAndTheWalkStopsThere) {
    const std::vector<std::string> paths = {
        writePicture("a.bmp", 64, 48), writePicture("b.bmp", 64, 48), writePicture("c.bmp", 65, 48),
        writePicture("d.bmp", 64, 48)};
    load(paths);
    setCommands(true);

    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].caption, "Critical Error");
    EXPECT_EQ(recorder.shown()[0].message,
              "Your images are not all of the same size. At lest the following image is a "
              "different size:\n\n" +
                  toWx(paths[2]) + kMismatchClosing);
    EXPECT_EQ(commands(), kAfterFailure);
    EXPECT_EQ(log.sized, (std::vector<std::string>{paths[0], paths[0], paths[1], paths[2]}));
}

TEST_F(ImageSetValidation, AtMostFourReadErrorsAreShownThenTheSummary) {
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) paths.push_back(writePicture(std::to_string(i) + ".tif", 48, 32));
    writeOtherTiff(paths[1], 16, 3, PHOTOMETRIC_RGB);
    truncateFile(paths[3], 8);
    writeOtherTiff(paths[5], 8, 1, PHOTOMETRIC_MINISBLACK);
    testsupport::writeFile(paths[6], {});
    testsupport::writeJpeg(paths[8], testsupport::makeStarField(48, 32, 2), 90);
    load(paths);
    setCommands(true);

    Tellvar::TIF reader;
    std::vector<std::string> expected;
    for (int bad : {1, 3, 5, 6}) expected.push_back(codecMessage(reader, paths[bad]));
    expected.push_back(errorsSummary("Validate option"));

    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    EXPECT_EQ(recorder.messageTexts(), expected);
    ASSERT_EQ(recorder.shown().size(), 5u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(recorder.shown()[i].caption, wxMessageBoxCaptionStr);
        EXPECT_EQ(recorder.shown()[i].buttons(), wxOK);
        EXPECT_TRUE(recorder.shown()[i].style & wxCENTRE);
    }
    EXPECT_EQ(recorder.shown()[4].caption, "Critical Error");
    EXPECT_EQ(recorder.shown()[4].icon(), wxICON_ERROR);
    EXPECT_FALSE(frame().validated);
    EXPECT_EQ(commands(), kAfterFailure);
    // Every file was looked at, the unreadable ones included.
    EXPECT_EQ(log.sized.size(), 11u);
}

TEST_F(ImageSetValidation, UnreadableFirstFileLeavesTheCommandsAlone) {
    const std::vector<std::string> paths = {writePicture("a.jpg", 64, 48),
                                            writePicture("b.jpg", 64, 48)};
    load(paths);
    truncateFile(paths[0], 40);
    setCommands(false);
    frame().toolsMenu->Enable(kSetCrop, true);
    frame().toolBar->EnableTool(kSetCrop, true);
    const CommandState before = commands();

    Tellvar::JPEG reader;
    const std::string error = codecMessage(reader, paths[0]);

    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    EXPECT_EQ(recorder.messageTexts(),
              (std::vector<std::string>{error, errorsSummary("Validate Option")}));
    EXPECT_EQ(recorder.captions(),
              (std::vector<std::string>{"Image Validation Error", "Critical Error"}));
    EXPECT_EQ(recorder.shown()[0].icon(), wxICON_ERROR);
    EXPECT_EQ(commands(), before);
    EXPECT_EQ(log.sized, (std::vector<std::string>{paths[0]}));
}

TEST_F(ImageSetValidation, JpegCutAfterItsHeadersPassesAndOneCutInsideThemDoesNot) {
    const std::vector<std::string> paths = {writePicture("a.jpg", 64, 48),
                                            writePicture("b.jpg", 64, 48),
                                            writePicture("c.jpg", 64, 48)};
    // Sizes are all that is read: a file whose picture data broke off
    // still has a size, one that broke off in its headers has none.
    truncateFile(paths[1], testsupport::readFile(paths[1]).size() * 2 / 3);
    truncateFile(paths[2], 40);
    load({paths[0], paths[1]});

    {
        DialogRecorder recorder;
        EXPECT_TRUE(frame().validateImages());
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Validation Completed!"}));
    }
    load(paths);
    Tellvar::JPEG reader;
    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    EXPECT_EQ(recorder.messageTexts(),
              (std::vector<std::string>{codecMessage(reader, paths[2]),
                                        errorsSummary("Validate option")}));
}

TEST_F(ImageSetValidation, PathsWithAccentsAndChineseAreShownAsTheyAre) {
    const std::string folder = inputs.path() +
                               "/Donn\xC3\xA9"
                               "es \xE6\x98\x9F";
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    const std::string a = folder + "/\xC3\xA9toile.bmp";
    const std::string b = folder + "/\xE6\x98\x9F.bmp";
    testsupport::writeBmp24(a, testsupport::makeStarField(32, 24, 1));
    testsupport::writeFile(b, {'n', 'o', 'p', 'e'});
    testsupport::writeBmp24(folder + "/c.bmp", testsupport::makeStarField(32, 24, 2));
    load({a, b, folder + "/c.bmp"});
    {
        DialogRecorder recorder;
        EXPECT_FALSE(frame().validateImages());
        ASSERT_EQ(recorder.shown().size(), 2u);
        EXPECT_TRUE(recorder.shown()[0].message.Contains(toWx(b))) << recorder.messageTexts()[0];
    }

    testsupport::writeBmp24(b, testsupport::makeStarField(33, 24, 3));
    load({a, b});
    DialogRecorder recorder;
    EXPECT_FALSE(frame().validateImages());
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_TRUE(recorder.shown()[0].message.Contains("different size:\n\n" + toWx(b) + "\n\n"));
}

TEST_F(ImageSetValidation, ValidateCommandChecksTheSetAgain) {
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kValidate);
        EXPECT_TRUE(recorder.shown().empty());
        EXPECT_EQ(log.created, 0);
    }
    load({writePicture("a.bmp", 32, 24), writePicture("b.bmp", 32, 24)});
    {
        DialogRecorder recorder;
        EXPECT_TRUE(frame().validateImages());
        guitest::sendCommand(frame(), kValidate);
        EXPECT_EQ(recorder.captions(),
                  (std::vector<std::string>{"Validation Completed!", "Validation Completed!"}));
    }
    EXPECT_EQ(log.created, 2);
    EXPECT_TRUE(frame().validated);
}

TEST_F(ImageSetValidation, SetOfOneFileValidates) {
    load({writePicture("solo.tif", 32, 24)});
    DialogRecorder recorder;
    EXPECT_TRUE(frame().validateImages());
    EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Validation Completed!"}));
}

// A fresh start in the fully automatic mode, where only the mode's set-up
// would enable Validate Images: whichever way the set fails, the tool that
// every failure box points to can be used.
TEST_F(ImageSetValidation, ValidateImagesStaysUsableAfterEveryKindOfFailure) {
    struct Case {
        const char* failure;
        std::vector<std::string> names;
        std::function<void(const std::vector<std::string>&)> spoil;
    };
    const std::vector<Case> cases = {
        {"another type", {"a.bmp", "b.jpg"}, nullptr},
        {"another size",
         {"a.bmp", "b.bmp"},
         [this](const std::vector<std::string>&) { writePicture("b.bmp", 65, 48); }},
        {"an unreadable file",
         {"a.bmp", "b.bmp"},
         [](const std::vector<std::string>& paths) { truncateFile(paths[1], 8); }},
        // The toolkit shows it, the engine refuses it: the first file fails.
        {"an unreadable first file",
         {"a.tif", "b.tif"},
         [](const std::vector<std::string>& paths) {
             writeOtherTiff(paths[0], 8, 1, PHOTOMETRIC_MINISBLACK);
         }},
    };
    for (const Case& test : cases) {
        std::vector<std::string> paths;
        for (const std::string& name : test.names) paths.push_back(writePicture(name, 64, 48));
        if (test.spoil) test.spoil(paths);
        auto automatic = guitest::openMainWindow(1, outputs.path());
        ASSERT_FALSE(guitest::isToolEnabled(**automatic, kValidate));

        DialogRecorder recorder;
        guitest::loadImageSet(**automatic, paths);
        EXPECT_FALSE((*automatic)->validated) << test.failure;
        EXPECT_EQ(recorder.captions().back(), "Critical Error") << test.failure;
        EXPECT_TRUE(guitest::isToolEnabled(**automatic, kValidate)) << test.failure;
    }
}

// A named pipe in the set, later in the walk or in the first file's place
// (swapped in before Validate Images): refused by name, never handed to the
// codec, and nothing waits for a writer.
TEST_F(ImageSetValidation, ANamedPipeIsRefusedByNameBeforeTheCodecSeesIt) {
    for (const bool first : {false, true}) {
        const std::vector<std::string> paths = {writePicture("a.bmp", 64, 48),
                                                writePicture("b.bmp", 64, 48)};
        const std::string piped = first ? paths[0] : inputs.file("pipe.bmp");
        std::vector<std::string> set = paths;
        if (first) {
            load(set);
            fs::remove(piped);
        } else {
            set.insert(set.begin() + 1, piped);
        }
        guitest::NamedPipe pipe(piped);
        if (!first) load(set);
        log.sized.clear();

        DialogRecorder recorder;
        guitest::sendCommand(frame(), kValidate);
        ASSERT_EQ(recorder.shown().size(), 2u) << first;
        EXPECT_EQ(recorder.shown()[0].caption,
                  first ? wxString("Image Validation Error") : wxMessageBoxCaptionStr);
        EXPECT_TRUE(recorder.shown()[0].message.Contains(toWx(piped))) << first;
        EXPECT_EQ(recorder.shown()[1].caption, "Critical Error");
        EXPECT_FALSE(frame().validated);
        EXPECT_EQ(std::count(log.sized.begin(), log.sized.end(), piped), 0) << first;
        EXPECT_FALSE(pipe.hung()) << first;
    }
}
