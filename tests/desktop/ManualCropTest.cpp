// The manual mode: output names, the pass bookkeeping, and whole passes
// through the main window whose files are read back with decoders of their
// own (a hand-parsed BMP, libtiff, libjpeg) and compared pixel by pixel with
// the rectangle that was shown.

#include "Brennock/TIFF.h"
#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "ManualOutput.h"
#include "ManualPass.h"
#include "PictureMatch.h"
#include "UI_ConfDialog.h"
#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;
using testsupport::cropPicture;
using testsupport::Picture;
using testsupport::samePixels;

namespace {

// ---------------------------------------------------------------------------
// Independent readers of the written files.

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// A 24-bit, uncompressed, bottom-up BMP as a top-down RGB picture.
Picture readBmp24(const std::string& path) {
    const std::vector<std::uint8_t> bytes = testsupport::readFile(path);
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        throw std::runtime_error("not a BMP: " + path);
    if (le16(bytes, 28) != 24 || le32(bytes, 30) != 0)
        throw std::runtime_error("not an uncompressed 24-bit BMP: " + path);
    const auto height = static_cast<std::int32_t>(le32(bytes, 22));
    if (height <= 0) throw std::runtime_error("not a bottom-up BMP: " + path);
    Picture picture;
    picture.width = static_cast<int>(le32(bytes, 18));
    picture.height = height;
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    const std::size_t stride = (static_cast<std::size_t>(picture.width) * 3 + 3) / 4 * 4;
    const std::size_t offset = le32(bytes, 10);
    if (bytes.size() < offset + stride * picture.height) throw std::runtime_error("short BMP");
    for (int row = 0; row < picture.height; ++row) {
        const std::uint8_t* stored = &bytes[offset + stride * (picture.height - 1 - row)];
        for (int x = 0; x < picture.width; ++x) {
            std::uint8_t* p = picture.pixel(x, row);
            p[0] = stored[x * 3 + 2];
            p[1] = stored[x * 3 + 1];
            p[2] = stored[x * 3];
        }
    }
    return picture;
}

// A TIFF through the engine's reader, which takes only the kind of TIFF
// the manual mode promises: 8-bit RGB, contiguous, uncompressed, opaque.
Picture readTiffRgb8(const std::string& path) {
    Tellvar::TIF reader;
    unsigned char* buffer = nullptr;
    int width = 0, height = 0, depth = 0;
    std::string error;
    if (!reader.openImage(&buffer, path, &width, &height, &depth, &error))
        throw std::runtime_error(error);
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(buffer, buffer + static_cast<std::size_t>(width) * height * 3);
    delete[] buffer;
    return picture;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->back, 1);
}

// A colour JPEG as RGB; lumaQuant0 receives the first luminance quantiser,
// which gives away the quality the file was written with.
Picture readJpeg(const std::string& path, int* lumaQuant0 = nullptr) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot open JPEG " + path);
    jpeg_decompress_struct info;
    JpegFailure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpegFail;
    Picture picture;
    if (setjmp(failure.back)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        throw std::runtime_error("cannot decode JPEG " + path);
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    if (lumaQuant0 != nullptr && info.quant_tbl_ptrs[0] != nullptr)
        *lumaQuant0 = info.quant_tbl_ptrs[0]->quantval[0];
    jpeg_start_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.pixel(0, static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return picture;
}

// Mean absolute difference per byte of two pictures of one size.
double meanError(const Picture& expected, const Picture& actual) {
    double total = 0;
    for (std::size_t i = 0; i < expected.rgb.size(); ++i)
        total += std::abs(int(expected.rgb[i]) - int(actual.rgb[i]));
    return total / static_cast<double>(expected.rgb.size());
}

// JPEG is lossy, so a decoded crop is compared loosely: it must be close to
// the rectangle at (x, y) and clearly closer to it than to the rectangles
// one pixel to the right or below, which a shifted cut would match instead.
::testing::AssertionResult closeToRegion(const Picture& source, int x, int y, int width, int height,
                                         const Picture& actual) {
    if (actual.width != width || actual.height != height)
        return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height
                                             << ", expected " << width << "x" << height;
    const Picture expected = cropPicture(source, x, y, width, height);
    int worst = 0;
    for (std::size_t i = 0; i < expected.rgb.size(); ++i)
        worst = std::max(worst, std::abs(int(expected.rgb[i]) - int(actual.rgb[i])));
    const double here = meanError(expected, actual);
    const double right = meanError(cropPicture(source, x + 1, y, width, height), actual);
    const double below = meanError(cropPicture(source, x, y + 1, width, height), actual);
    if (here > 3.0 || worst > 48 || here * 1.5 > right || here * 1.5 > below)
        return ::testing::AssertionFailure()
               << "mean error " << here << " (one pixel right " << right << ", below " << below
               << "), worst " << worst;
    return ::testing::AssertionSuccess();
}

}  // namespace

// ---------------------------------------------------------------------------
// Output names and the pass bookkeeping.

TEST(ManualOutputNames, CutTheNameAtItsLastDotAndAlwaysAddASlash) {
    EXPECT_EQ(manualOutputPath("/out", "m42.run2.bmp", 1022), "/out/crop_m42.run2.bmp");
    EXPECT_EQ(manualOutputPath("/out/", "m42_0007.tif", 1021), "/out//crop_m42_0007.jpg");
}

TEST(ManualOutputNames, ClashesWithinAPassGetANumberedSuffix) {
    testsupport::TempDir dir;
    const std::string out = dir.file("o.d");
    fs::create_directory(out);
    const auto path = [&out](const char* name) { return wxString::FromUTF8(out + "/" + name); };
    const auto save = [](ManualPass& pass, const wxString& file) {
        testsupport::writeFile(std::string(file.utf8_str()), {'c'});
        pass.recordSaved(file);
    };
    // A file left by an earlier pass is not the pass's own: it is replaced.
    testsupport::writeFile(out + "/crop_b.jpg", {'o', 'l', 'd'});

    ManualPass pass;
    pass.begin();
    EXPECT_EQ(pass.uniquePath(path("crop_a.jpg")), path("crop_a.jpg"));
    save(pass, path("crop_a.jpg"));
    EXPECT_EQ(pass.uniquePath(path("crop_a.jpg")), path("crop_a_2.jpg"));
    save(pass, path("crop_a_2.jpg"));
    EXPECT_EQ(pass.uniquePath(path("crop_a.jpg")), path("crop_a_3.jpg"));
    // An input that is itself named like a suffixed output moves on too.
    EXPECT_EQ(pass.uniquePath(path("crop_a_2.jpg")), path("crop_a_2_2.jpg"));
    EXPECT_EQ(pass.uniquePath(path("crop_b.jpg")), path("crop_b.jpg"));

    pass.recordFailure();
    EXPECT_EQ(pass.failures(), 1);
    pass.begin();
    EXPECT_EQ(pass.failures(), 0);
    EXPECT_EQ(pass.uniquePath(path("crop_a.jpg")), path("crop_a.jpg"));
}

// Every way of reaching the input crop_m42.jpg, however the path is spelt,
// finds it taken; other names are free.
TEST(ManualOutputNames, InputImagesOfThePassAreNeverWrittenOver) {
    testsupport::TempDir dir;
    const std::string frames = dir.file("frames");
    fs::create_directory(frames);
    const std::string input = frames + "/crop_m42.jpg";
    testsupport::writeFile(input, {'i', 'n'});
    testsupport::writeFile(frames + "/m42.jpg", {'i', 'n'});
    fs::create_directory_symlink(frames, dir.file("linked"));
    fs::create_directory(dir.file("hard"));
    fs::create_hard_link(input, dir.file("hard/crop_m42.jpg"));
    fs::create_directory(dir.file("links"));
    fs::create_symlink(input, dir.file("links/crop_m42.jpg"));

    wxArrayString inputs;
    inputs.Add(wxString::FromUTF8(input));
    inputs.Add(wxString::FromUTF8(frames + "/m42.jpg"));
    ManualPass pass;
    pass.begin(inputs);

    struct Case {
        std::string path;
        bool taken;
    };
    const Case cases[] = {
        {frames + "/crop_m42.jpg", true},
        {frames + "//./crop_m42.jpg", true},
        {frames + "/../frames/crop_m42.jpg", true},
        {dir.file("linked/crop_m42.jpg"), true},  // the save folder links to the inputs
        {dir.file("hard/crop_m42.jpg"), true},    // a hard link of the input
        {dir.file("links/crop_m42.jpg"), true},   // a link to the input
        {dir.file("elsewhere/crop_m42.jpg"), false},
        {frames + "/crop_crop_m42.jpg", false},
    };
    for (const Case& test : cases) {
        const wxString path = wxString::FromUTF8(test.path);
        const wxString expected =
            test.taken ? path.BeforeLast('.') + "_2." + path.AfterLast('.') : path;
        EXPECT_EQ(pass.uniquePath(path), expected) << test.path;
    }
}

// ---------------------------------------------------------------------------
// Whole manual passes through the main window.

namespace {

using namespace guitest;

const wxColour kBlue(0, 0, 255);

std::string notificationText(const std::string& folder) {
    return "All crop operations have completed normally. Your files have been automatically "
           "saved and placed in\n\n" +
           folder + "\n\nYou can change the save location in the options dialog";
}

const char* const kClearQuestion = "Would you like to clear the application data. \n\n";

class ManualCropPass : public ::testing::Test {
protected:
    void SetUp() override {
        window = guitest::openMainWindow(0, outputs.path());
        frame().options.saveFolder = toWx(outputs.path());
    }

    void TearDown() override {
        DialogRecorder quiet;
        window.reset();
    }

    UI_TLCrop& frame() { return **window; }

    // Writes the picture under name in the input folder, in the format of
    // the name's extension (BMP when it has none), and returns its path.
    std::string writeInput(const std::string& name, const Picture& picture,
                           const std::string& format = "") {
        const std::string path = inputs.file(name);
        std::string kind = format;
        if (kind.empty()) kind = fs::u8path(name).extension().u8string();
        if (kind == ".tif")
            testsupport::writeTiffRgb8(path, picture);
        else if (kind == ".jpg")
            testsupport::writeJpeg(path, picture, 92);
        else
            testsupport::writeBmp24(path, picture);
        return path;
    }

    // Accepts the set-crop-area dialog with the given size.
    void setCropArea(int width, int height) {
        DialogRecorder recorder;
        recorder.handle<UI_SetCropArea>([width, height](UI_SetCropArea& dialog) {
            *dialog.cancelled = false;
            *dialog.cropWidth = width;
            *dialog.cropHeight = height;
            dialog.Destroy();
            return wxID_OK;
        });
        guitest::sendCommand(frame(), kSetCrop);
        guitest::flushPendingDeletes();
        ASSERT_EQ(recorder.unscripted(), 0);
        ASSERT_EQ(frame().cropWidth, width);
        ASSERT_EQ(frame().cropHeight, height);
    }

    void load(const std::vector<std::string>& paths) {
        DialogRecorder quiet;
        guitest::loadImageSet(frame(), paths);
        ASSERT_TRUE(frame().imagesLoaded);
    }

    // The cut that ends a pass in which every crop was saved: the
    // notification, then the question to clear the set, answered Yes.
    void cropLastImage() {
        DialogRecorder recorder;
        recorder.answer(wxOK).answer(wxYES);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(),
                  (std::vector<std::string>{"Notification", "Clear Application"}));
        EXPECT_FALSE(frame().imagesLoaded);
    }

    std::vector<std::string> outputFiles(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::u8path(folder)))
            names.push_back(entry.path().filename().u8string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::TempDir inputs;
    testsupport::TempDir outputs;
    std::unique_ptr<guitest::MainWindow> window;
};

}  // namespace

TEST_F(ManualCropPass, ThreeImagesOfMixedSizesGiveTheShownRectangleInEachFormat) {
    const std::string folder = outputs.path() + "/Sortie \xC3\xA9t\xC3\xA9 \xE6\x98\x9F";
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    frame().options.saveFolder = toWx(folder);

    const Picture first = testsupport::makeStarField(640, 480, 11);
    const Picture second = testsupport::makeStarField(900, 700, 12);
    const Picture third = testsupport::makeStarField(500, 400, 13);
    const std::vector<std::string> paths = {
        writeInput("m1.bmp", first), writeInput("m2.tif", second), writeInput("m3.jpg", third)};
    const Picture thirdDecoded = readJpeg(paths[2]);

    load(paths);
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kOutputJpeg);
        EXPECT_EQ(recorder.messageBoxes().size(), 0u);
    }
    ASSERT_EQ(frame().imageCount, 3);
    setCropArea(200, 150);
    EXPECT_EQ(frame().cropX, 640 / 2 - 200 / 2);
    EXPECT_EQ(frame().cropY, 480 / 2 - 150 / 2);

    // The user drags the rectangle on the first image before cutting it.
    frame().cropDefinition(100, 60);
    const int firstX = frame().cropX;
    const int firstY = frame().cropY;
    ASSERT_EQ(firstX, 100);
    ASSERT_EQ(firstY, 60);

    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.shown().size(), 0u);
    }
    EXPECT_EQ(frame().croppedCount, 1);
    // The next image is shown with the rectangle centred on it again.
    EXPECT_EQ(frame().imageWidth, 900);
    EXPECT_EQ(frame().cropX, 900 / 2 - 200 / 2);
    EXPECT_EQ(frame().cropY, 700 / 2 - 150 / 2);
    EXPECT_EQ(guitest::statusText(frame(), 4), toWx(paths[1]));
    EXPECT_EQ(frame().imageList->GetItemTextColour(1), kBlue);
    const int secondX = frame().cropX;
    const int secondY = frame().cropY;

    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kOutputBmp);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.shown().size(), 0u);
    }
    EXPECT_EQ(frame().croppedCount, 2);
    EXPECT_EQ(frame().imageWidth, 500);
    EXPECT_EQ(guitest::statusText(frame(), 4), toWx(paths[2]));
    EXPECT_EQ(frame().imageList->GetItemTextColour(2), kBlue);
    const int thirdX = frame().cropX;
    const int thirdY = frame().cropY;
    EXPECT_EQ(thirdX, 500 / 2 - 200 / 2);

    {
        DialogRecorder recorder;
        recorder.answer(wxOK).answer(wxYES);
        guitest::sendCommand(frame(), kOutputTif8);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(),
                  (std::vector<std::string>{"Notification", "Clear Application"}));
        EXPECT_EQ(recorder.messageTexts(),
                  (std::vector<std::string>{notificationText(folder), kClearQuestion}));
        ASSERT_EQ(recorder.messageBoxes().size(), 2u);
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_INFORMATION);
        EXPECT_EQ(recorder.unscripted(), 0);
    }
    EXPECT_FALSE(frame().imagesLoaded);
    EXPECT_EQ(frame().croppedCount, 0);

    EXPECT_EQ(outputFiles(folder),
              (std::vector<std::string>{"crop_m1.jpg", "crop_m2.bmp", "crop_m3.tif"}));

    int lumaQuant0 = 0;
    const Picture jpeg = readJpeg(folder + "/crop_m1.jpg", &lumaQuant0);
    EXPECT_TRUE(closeToRegion(first, firstX, firstY, 200, 150, jpeg));
    // libjpeg scales its base table (16 at the DC term) by 200 - 2q percent.
    EXPECT_EQ(lumaQuant0, (16 * (200 - 2 * kManualJpegQuality) + 50) / 100);

    EXPECT_TRUE(samePixels(readBmp24(folder + "/crop_m2.bmp"),
                           cropPicture(second, secondX, secondY, 200, 150)));
    EXPECT_TRUE(samePixels(readTiffRgb8(folder + "/crop_m3.tif"),
                           cropPicture(thirdDecoded, thirdX, thirdY, 200, 150)));
}

TEST_F(ManualCropPass, RectangleThatNoLongerFitsIsRefusedUntilTheUserFixesIt) {
    const Picture large = testsupport::makeStarField(640, 480, 21);
    const Picture small = testsupport::makeStarField(160, 120, 22);
    const std::vector<std::string> paths = {writeInput("large.bmp", large),
                                            writeInput("small.bmp", small)};
    frame().options.outputFormat = kOutputBmp;
    load(paths);
    setCropArea(200, 150);
    {
        DialogRecorder quiet;
        guitest::sendCommand(frame(), kCropImage);
    }
    ASSERT_EQ(frame().croppedCount, 1);
    ASSERT_EQ(frame().imageWidth, 160);

    // Centred on the smaller image, the rectangle reaches past its edges.
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        ASSERT_EQ(recorder.messageBoxes().size(), 1u);
        EXPECT_EQ(recorder.messageBoxes()[0].caption, "ERROR");
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_ERROR);
        EXPECT_TRUE(recorder.messageBoxes()[0].message.StartsWith(
            "The crop rectangle does not fit inside the current image."));
    }
    EXPECT_EQ(frame().croppedCount, 1);
    EXPECT_EQ(outputFiles(outputs.path()), (std::vector<std::string>{"crop_large.bmp"}));

    // A smaller crop area brings back the first image; the user shows the
    // small one again and drags the rectangle onto it.
    setCropArea(100, 80);
    {
        wxListEvent select(wxEVT_LIST_ITEM_SELECTED, frame().imageList->GetId());
        select.SetIndex(1);
        DialogRecorder quiet;
        frame().onSelect(select);
    }
    ASSERT_EQ(frame().imageWidth, 160);
    frame().cropDefinition(30, 20);
    const int x = frame().cropX;
    const int y = frame().cropY;
    ASSERT_LE(x + 100, 160);
    ASSERT_LE(y + 80, 120);
    cropLastImage();
    EXPECT_EQ(outputFiles(outputs.path()),
              (std::vector<std::string>{"crop_large.bmp", "crop_small.bmp"}));
    EXPECT_TRUE(
        samePixels(readBmp24(outputs.file("crop_small.bmp")), cropPicture(small, x, y, 100, 80)));
}

TEST_F(ManualCropPass, CropPastTheLastImageIsRefusedWhenTheSetIsKept) {
    const Picture only = testsupport::makeStarField(320, 240, 31);
    frame().options.outputFormat = kOutputBmp;
    load({writeInput("only.bmp", only)});
    setCropArea(64, 48);
    {
        DialogRecorder recorder;
        recorder.answer(wxOK).answer(wxNO);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(),
                  (std::vector<std::string>{"Notification", "Clear Application"}));
    }
    ASSERT_TRUE(frame().imagesLoaded);
    ASSERT_EQ(frame().croppedCount, 1);

    // The image is still on show, but every image of the set has been cut:
    // the crop is not made again.
    ASSERT_TRUE(fs::remove(fs::u8path(outputs.file("crop_only.bmp"))));
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        ASSERT_EQ(recorder.messageBoxes().size(), 1u);
        EXPECT_EQ(recorder.messageBoxes()[0].caption, "Warning");
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_EXCLAMATION);
    }
    EXPECT_EQ(frame().croppedCount, 1);
    EXPECT_TRUE(outputFiles(outputs.path()).empty());
}

TEST_F(ManualCropPass, InputsWithOneOutputNameKeepEveryCropOfThePass) {
    const Picture a = testsupport::makeStarField(320, 240, 41);
    const Picture aTiff = testsupport::makeStarField(320, 240, 42);
    const Picture readme = testsupport::makeStarField(320, 240, 43);
    const Picture licence = testsupport::makeStarField(320, 240, 44);
    const std::vector<std::string> paths = {writeInput("a.bmp", a), writeInput("a.tif", aTiff),
                                            writeInput("README", readme, ".bmp"),
                                            writeInput("LICENSE", licence, ".tif")};
    // A file left by an earlier pass is replaced, not kept aside.
    testsupport::writeFile(outputs.file("crop_a.bmp"), {'o', 'l', 'd'});

    frame().options.outputFormat = kOutputBmp;
    load(paths);
    ASSERT_EQ(frame().imageCount, 4);
    setCropArea(120, 90);
    const int x = frame().cropX;
    const int y = frame().cropY;
    for (int cut = 0; cut < 3; ++cut) {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.shown().size(), 0u) << "cut " << cut;
    }
    cropLastImage();

    EXPECT_EQ(outputFiles(outputs.path()),
              (std::vector<std::string>{"crop_.bmp", "crop__2.bmp", "crop_a.bmp", "crop_a_2.bmp"}));
    EXPECT_TRUE(samePixels(readBmp24(outputs.file("crop_a.bmp")), cropPicture(a, x, y, 120, 90)));
    EXPECT_TRUE(
        samePixels(readBmp24(outputs.file("crop_a_2.bmp")), cropPicture(aTiff, x, y, 120, 90)));
    EXPECT_TRUE(
        samePixels(readBmp24(outputs.file("crop_.bmp")), cropPicture(readme, x, y, 120, 90)));
    EXPECT_TRUE(
        samePixels(readBmp24(outputs.file("crop__2.bmp")), cropPicture(licence, x, y, 120, 90)));
}

// The save folder is a link to the input folder, which holds m42.bmp and
// an image named crop_m42.bmp: the crop of m42.bmp must not replace it.
TEST_F(ManualCropPass, ASaveFolderLinkedToTheInputsNeverReplacesAnInput) {
    const Picture m42 = testsupport::makeStarField(320, 240, 45);
    const Picture named = testsupport::makeStarField(320, 240, 46);
    const std::vector<std::string> paths = {writeInput("m42.bmp", m42),
                                            writeInput("crop_m42.bmp", named)};
    const std::vector<std::uint8_t> inputBefore = testsupport::readFile(paths[1]);
    const std::string linked = outputs.file("linked");
    fs::create_directory_symlink(fs::u8path(inputs.path()), fs::u8path(linked));
    frame().options.saveFolder = toWx(linked);
    frame().options.outputFormat = kOutputBmp;
    load(paths);
    setCropArea(100, 80);
    const int x = frame().cropX;
    const int y = frame().cropY;
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_TRUE(recorder.shown().empty());
    }
    cropLastImage();

    EXPECT_EQ(testsupport::readFile(paths[1]), inputBefore);
    EXPECT_EQ(outputFiles(inputs.path()),
              (std::vector<std::string>{"crop_crop_m42.bmp", "crop_m42.bmp", "crop_m42_2.bmp",
                                        "m42.bmp"}));
    EXPECT_TRUE(
        samePixels(readBmp24(inputs.file("crop_m42_2.bmp")), cropPicture(m42, x, y, 100, 80)));
    EXPECT_TRUE(
        samePixels(readBmp24(inputs.file("crop_crop_m42.bmp")), cropPicture(named, x, y, 100, 80)));
}

TEST_F(ManualCropPass, FailedSavesAreReportedAndThePassDoesNotEndAsNormal) {
    // Folders stand where the crops would go, so that each save fails.
    const std::string blocked = outputs.path() + "/blocked";
    for (const char* crop : {"/crop_one.jpg", "/crop_two.jpg"})
        fs::create_directories(fs::u8path(blocked + crop));
    frame().options.saveFolder = toWx(blocked);
    frame().options.outputFormat = kOutputJpeg;
    const std::vector<std::string> paths = {
        writeInput("one.bmp", testsupport::makeStarField(320, 240, 51)),
        writeInput("two.bmp", testsupport::makeStarField(320, 240, 52))};
    load(paths);
    setCropArea(100, 100);
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        ASSERT_EQ(recorder.messageBoxes().size(), 1u);
        EXPECT_EQ(recorder.messageBoxes()[0].caption, "ERROR");
        EXPECT_EQ(recorder.messageBoxes()[0].message, "Unable to save image file.");
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_ERROR);
    }
    // The pass goes on with the next image.
    EXPECT_EQ(frame().croppedCount, 1);
    EXPECT_EQ(guitest::statusText(frame(), 4), toWx(paths[1]));
    {
        DialogRecorder recorder;
        recorder.answer(wxOK).answer(wxOK).answer(wxYES);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(),
                  (std::vector<std::string>{"ERROR", "Warning", "Clear Application"}));
        ASSERT_EQ(recorder.messageBoxes().size(), 3u);
        const wxString summary = recorder.messageBoxes()[1].message;
        EXPECT_FALSE(summary.Contains("completed normally"));
        EXPECT_TRUE(summary.Contains("2 of your 2 images could not be cropped and saved"));
        EXPECT_TRUE(summary.Contains(toWx(blocked)));
        EXPECT_EQ(recorder.messageBoxes()[1].icon(), wxICON_EXCLAMATION);
    }
    EXPECT_EQ(outputFiles(blocked), (std::vector<std::string>{"crop_one.jpg", "crop_two.jpg"}));
    EXPECT_TRUE(fs::is_directory(fs::u8path(blocked + "/crop_two.jpg")));
}

TEST_F(ManualCropPass, NoCutWithoutAnExistingSaveFolder) {
    const std::vector<std::string> paths = {
        writeInput("one.bmp", testsupport::makeStarField(320, 240, 53)),
        writeInput("two.bmp", testsupport::makeStarField(320, 240, 54))};
    load(paths);
    setCropArea(100, 100);
    const std::string missing = outputs.path() + "/gone";
    for (const std::string& folder : {std::string(), missing, paths[0]}) {
        frame().options.saveFolder = toWx(folder);
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        ASSERT_EQ(recorder.messageBoxes().size(), 1u) << folder;
        EXPECT_EQ(recorder.messageBoxes()[0].caption, "ERROR");
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_ERROR);
        EXPECT_TRUE(recorder.messageBoxes()[0].message.Contains(folder.empty() ? "no save folder"
                                                                               : toWx(folder)));
        // Nothing cut: once a folder is chosen, the pass starts with this image.
        EXPECT_EQ(frame().croppedCount, 0);
    }
    EXPECT_FALSE(fs::exists(fs::u8path("/crop_one.bmp")));
    EXPECT_FALSE(fs::exists(fs::u8path(missing)));
    EXPECT_TRUE(outputFiles(outputs.path()).empty());
}

TEST_F(ManualCropPass, AnImageThatCannotBeLoadedIsPassedOverNotCutFromTheLastOne) {
    const Picture first = testsupport::makeStarField(320, 240, 61);
    const Picture third = testsupport::makeStarField(320, 240, 63);
    const std::string broken = inputs.file("b.bmp");
    testsupport::writeFile(broken, {'B', 'M', 0, 0, 0});
    const std::vector<std::string> paths = {writeInput("a.bmp", first), broken,
                                            writeInput("c.bmp", third)};
    frame().options.outputFormat = kOutputBmp;
    load(paths);
    setCropArea(100, 100);
    {
        DialogRecorder recorder;
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Image Load Error"}));
    }
    EXPECT_EQ(frame().croppedCount, 2);
    EXPECT_EQ(guitest::statusText(frame(), 4), toWx(paths[2]));
    const int x = frame().cropX;
    const int y = frame().cropY;
    {
        DialogRecorder recorder;
        recorder.answer(wxOK).answer(wxYES);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Warning", "Clear Application"}));
        ASSERT_FALSE(recorder.messageBoxes().empty());
        EXPECT_TRUE(recorder.messageBoxes()[0].message.Contains("1 of your 3 images"));
    }
    EXPECT_EQ(outputFiles(outputs.path()), (std::vector<std::string>{"crop_a.bmp", "crop_c.bmp"}));
    EXPECT_TRUE(
        samePixels(readBmp24(outputs.file("crop_c.bmp")), cropPicture(third, x, y, 100, 100)));
}

TEST_F(ManualCropPass, OneImageIsCutInAnyModeAndSixteenBitTiffIsWrittenAsEightBit) {
    const Picture only = testsupport::makeStarField(300, 200, 71);
    load({writeInput("solo.tif", only)});
    ASSERT_TRUE(frame().singleImage);
    setCropArea(80, 60);
    const int x = frame().cropX;
    const int y = frame().cropY;
    frame().options.cropMode = 1;
    frame().options.outputFormat = 1024;
    cropLastImage();
    EXPECT_TRUE(
        samePixels(readTiffRgb8(outputs.file("crop_solo.tif")), cropPicture(only, x, y, 80, 60)));
}

TEST_F(ManualCropPass, AutomaticModeOnlyAsksAndYesHandsOverToTheRun) {
    frame().options.cropMode = 1;
    const std::vector<std::string> paths =
        guitest::writeImages(inputs, {"r1.bmp", "r2.bmp"}, 320, 240);
    load(paths);
    {
        DialogRecorder quiet;
        guitest::sendCommand(frame(), 1014);  // row 0 becomes the reference
    }
    ASSERT_TRUE(frame().referenceSet);
    setCropArea(100, 80);
    ASSERT_FALSE(guitest::isToolEnabled(frame(), kStartRun));

    {
        DialogRecorder recorder;
        recorder.answer(wxNO);
        guitest::sendCommand(frame(), kCropImage);
        EXPECT_EQ(recorder.captions(), (std::vector<std::string>{"Tellvar Question"}));
        ASSERT_EQ(recorder.messageBoxes().size(), 1u);
        EXPECT_EQ(recorder.messageBoxes()[0].buttons(), wxYES_NO);
        EXPECT_EQ(recorder.messageBoxes()[0].icon(), wxICON_QUESTION);
        EXPECT_EQ(recorder.messageBoxes()[0].message,
                  "Tellvar is now ready to crop and register your images.\n\nClick YES if you "
                  "are happy with your configuration and you want the images processed now. If "
                  "you are not happy with your setup click NO and reconfigure.\n\nIf you select "
                  "NO you can click the GO tool bar icon at anytime.");
    }
    EXPECT_TRUE(guitest::isToolEnabled(frame(), kStartRun));
    EXPECT_TRUE(guitest::isMenuItemEnabled(frame(), kStartRun));
    EXPECT_EQ(frame().croppedCount, 0);
    EXPECT_TRUE(outputFiles(outputs.path()).empty());

    // Yes goes on to the run's summary; cancelling it starts nothing.
    {
        DialogRecorder recorder;
        recorder.answer(wxYES);
        recorder.handle<UI_ConfDialog>([](UI_ConfDialog& dialog) {
            *dialog.cancelled = true;
            dialog.Destroy();
            return wxID_CANCEL;
        });
        guitest::sendCommand(frame(), kCropImage);
        guitest::flushPendingDeletes();
        EXPECT_EQ(recorder.unscripted(), 0);
        EXPECT_EQ(recorder.pending(), 0);
    }
    EXPECT_EQ(frame().croppedCount, 0);
    EXPECT_TRUE(outputFiles(outputs.path()).empty());
}

TEST_F(ManualCropPass, TransparentInputGivesOpaqueCropsWithItsColours) {
    // Any picture the toolkit reads can be cut by hand, a PNG with an alpha
    // channel too; none of the output formats keeps transparency.
    const Picture colours = testsupport::makeStarField(96, 64, 81);
    wxImage source(colours.width, colours.height);
    std::copy(colours.rgb.begin(), colours.rgb.end(), source.GetData());
    source.SetAlpha();
    for (int y = 0; y < colours.height; ++y)
        for (int x = 0; x < colours.width; ++x) source.SetAlpha(x, y, (x * 7 + y) % 256);
    const std::string path = inputs.file("layer.png");
    ASSERT_TRUE(source.SaveFile(toWx(path), wxBITMAP_TYPE_PNG));

    frame().options.outputFormat = kOutputTif8;
    load({path});
    setCropArea(40, 30);
    const int x = frame().cropX;
    const int y = frame().cropY;
    cropLastImage();
    EXPECT_TRUE(samePixels(readTiffRgb8(outputs.file("crop_layer.tif")),
                           cropPicture(colours, x, y, 40, 30)));
}
