// The main window's preview: fitting loaded images, the crop rectangle set
// through its dialog and dragged with the mouse, the safe-area frame, and
// what the panel shows on the screen.

#include "CommandNumbers.h"
#include "EmbeddedResources.h"
#include "GuiTestSupport.h"
#include "UI_OptionsDialog.h"
#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/panel.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <dlfcn.h>
// Xlib last: its short macro names would clash with the headers above.
#include <X11/Xlib.h>
#undef None
#undef Bool
#undef Status

using namespace guitest;

namespace {

// A black picture, so that every outline drawn over it stands out.
std::string writeBlackBmp(const testsupport::TempDir& dir, const std::string& name, int width,
                          int height) {
    testsupport::Picture picture{width, height, {}};
    picture.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    testsupport::writeBmp24(dir.file(name), picture);
    return dir.file(name);
}

void setCropSize(UI_TLCrop& frame, int width, int height) {
    DialogRecorder dialogs;
    acceptCropSize(dialogs, width, height);
    sendCommand(frame, kSetCrop);
}

wxMouseEvent panelMouse(UI_TLCrop& frame, wxEventType type, int x, int y, bool leftDown) {
    wxMouseEvent event(type);
    event.SetEventObject(frame.previewPanel);
    event.SetId(frame.previewPanel->GetId());
    event.m_x = x;
    event.m_y = y;
    event.m_leftDown = leftDown;
    return event;
}

// A drag step with the left button held, delivered by the panel.
void dragTo(UI_TLCrop& frame, int x, int y) {
    wxMouseEvent event = panelMouse(frame, wxEVT_MOTION, x, y, true);
    frame.previewPanel->GetEventHandler()->ProcessEvent(event);
}

void selectRow(UI_TLCrop& frame, long row) {
    wxListEvent select(wxEVT_LIST_ITEM_SELECTED, frame.imageList->GetId());
    select.m_itemIndex = row;
    frame.onSelect(select);
}

preview::Rect shownCrop(const UI_TLCrop& frame) {
    const PreviewCanvas::Outline* crop = frame.previewCanvas.cropRectangle();
    return crop ? crop->rect : preview::Rect{-1, -1, -1, -1};
}

std::array<int, 4> cropOf(const UI_TLCrop& frame) {
    return {frame.cropX, frame.cropY, frame.cropWidth, frame.cropHeight};
}

// What the panel's paint draws, as an image.
wxImage painted(UI_TLCrop& frame) {
    wxBitmap bitmap(preview::kPanelWidth, preview::kPanelHeight, 24);
    {
        wxMemoryDC dc(bitmap);
        frame.renderPreview(dc);
    }
    return bitmap.ConvertToImage();
}

// The panel's pixels as the X server holds them, that is as the user sees
// them, read over a connection of our own rather than through the toolkit.
// The toolkit has loaded Xlib already, so it is looked up, not linked.
wxImage onScreen(UI_TLCrop& frame) {
    const auto open =
        reinterpret_cast<Display* (*)(const char*)>(dlsym(RTLD_DEFAULT, "XOpenDisplay"));
    const auto close = reinterpret_cast<int (*)(Display*)>(dlsym(RTLD_DEFAULT, "XCloseDisplay"));
    const auto root =
        reinterpret_cast<Window (*)(Display*)>(dlsym(RTLD_DEFAULT, "XDefaultRootWindow"));
    const auto get =
        reinterpret_cast<XImage* (*)(Display*, Drawable, int, int, unsigned, unsigned,
                                     unsigned long, int)>(dlsym(RTLD_DEFAULT, "XGetImage"));
    Display* display = open && close && root && get ? open(nullptr) : nullptr;
    if (!display) return wxImage();
    const wxPoint at = frame.previewPanel->GetScreenPosition();
    XImage* shot = get(display, root(display), at.x, at.y, preview::kPanelWidth,
                       preview::kPanelHeight, ~0UL, ZPixmap);
    wxImage image;
    if (shot) {
        const auto part = [](unsigned long pixel, unsigned long mask) {
            int shift = 0;
            while (mask && !(mask & 1)) mask >>= 1, ++shift;
            return static_cast<unsigned char>(((pixel >> shift) & mask) * 255 / (mask ? mask : 1));
        };
        image.Create(shot->width, shot->height);
        for (int y = 0; y < shot->height; ++y)
            for (int x = 0; x < shot->width; ++x) {
                const unsigned long p = shot->f.get_pixel(shot, x, y);
                image.SetRGB(x, y, part(p, shot->red_mask), part(p, shot->green_mask),
                             part(p, shot->blue_mask));
            }
        shot->f.destroy_image(shot);
    }
    close(display);
    return image;
}

// Pumps events until the condition holds, for at most about five seconds.
bool settleUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 250; ++i) {
        wxYield();
        if (condition()) return true;
        wxMilliSleep(20);
    }
    return false;
}

bool isCropRed(const wxImage& image, int x, int y) {
    return image.GetRed(x, y) > 200 && image.GetGreen(x, y) < 80 && image.GetBlue(x, y) < 80;
}

// Crop colour at or next to (x, y): antialiasing may move a curve a pixel.
bool isCropRedNear(const wxImage& image, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (isCropRed(image, x + dx, y + dy)) return true;
    return false;
}

bool isBlack(const wxImage& image, int x, int y) {
    return image.GetRed(x, y) < 30 && image.GetGreen(x, y) < 30 && image.GetBlue(x, y) < 30;
}

// Pixels that differ clearly; a partial repaint may shade the antialiased
// edges of the circles a little differently, which is no change.
int clearlyDifferentPixels(const wxImage& a, const wxImage& b) {
    int count = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (std::abs(a.GetRed(x, y) - b.GetRed(x, y)) > 80 ||
                std::abs(a.GetGreen(x, y) - b.GetGreen(x, y)) > 80 ||
                std::abs(a.GetBlue(x, y) - b.GetBlue(x, y)) > 80)
                ++count;
    return count;
}

class Preview : public ::testing::Test {
protected:
    void open(int cropMode, const std::vector<std::string>& paths) {
        window = openMainWindow(cropMode, folder.path());
        DialogRecorder quiet;
        loadImageSet(**window, paths);
    }
    UI_TLCrop& frame() { return **window; }

    testsupport::TempDir folder;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST_F(Preview, StartScreenBeforeAnyImage) {
    window = openMainWindow(0, folder.path());
    const wxImage shown = painted(frame());
    const wxImage expected =
        wxBitmap::NewFromPNGData(FrontScreen_png, FrontScreen_png_size).ConvertToImage();
    for (auto [x, y] : {std::pair{0, 0}, {400, 300}, {799, 599}}) {
        EXPECT_EQ(shown.GetRed(x, y), expected.GetRed(x, y));
        EXPECT_EQ(shown.GetBlue(x, y), expected.GetBlue(x, y));
    }
}

TEST_F(Preview, LoadedImageIsFittedAndFramed) {
    const struct {
        int width, height, shownWidth, shownHeight;
        preview::Rect frame;
    } cases[] = {{640, 480, 640, 480, {12, 12, 616, 456}},
                 {800, 600, 800, 600, {12, 12, 776, 576}},
                 {1000, 900, 667, 600, {17, 17, 633, 566}}};
    for (const auto& c : cases) {
        open(0, {writeBlackBmp(folder, "image.bmp", c.width, c.height)});
        EXPECT_EQ(frame().previewScaled, c.width > 800) << c.width;
        EXPECT_EQ(frame().previewCanvas.picture().GetWidth(), c.shownWidth);
        EXPECT_EQ(frame().previewCanvas.picture().GetHeight(), c.shownHeight);
        ASSERT_NE(frame().previewCanvas.safeAreaFrame(), nullptr);
        EXPECT_EQ(frame().previewCanvas.safeAreaFrame()->rect, c.frame);
        EXPECT_EQ(frame().previewCanvas.cropRectangle(), nullptr);
    }
}

TEST_F(Preview, SetCropCentresOneRectangleAndEnablesCropImage) {
    open(0, {writeBlackBmp(folder, "one.bmp", 1001, 500)});
    DialogRecorder dialogs;
    wxSize checkedAgainst;
    acceptCropSize(dialogs, 101, 51, &checkedAgainst);
    sendCommand(frame(), kSetCrop);
    EXPECT_EQ(dialogs.captions(), (std::vector<std::string>{"Set Cropping Area"}));
    EXPECT_EQ(checkedAgainst, wxSize(1001, 500));
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{450, 225, 101, 51}));
    EXPECT_TRUE(frame().cropDefined);
    EXPECT_TRUE(isToolEnabled(frame(), kCropImage));
    EXPECT_TRUE(isMenuItemEnabled(frame(), kCropImage));
    EXPECT_EQ(shownCrop(frame()).width, 81);  // scaled by 800 / 1001
    EXPECT_EQ(frame().displayCropWidth, 81);

    // Set again after a drag: one rectangle, centred, at the new size.
    dragTo(frame(), 30, 40);
    setCropSize(frame(), 201, 101);
    int rectangles = 0;
    for (const auto& outline : frame().previewCanvas.outlines())
        rectangles += outline.role == PreviewCanvas::Outline::Role::CropMark &&
                      outline.kind == PreviewCanvas::Outline::Kind::Rectangle;
    EXPECT_EQ(rectangles, 1);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{400, 200, 201, 101}));
}

TEST_F(Preview, CancelledSetCropChangesNothing) {
    open(0, {writeBlackBmp(folder, "one.bmp", 640, 480)});
    setCropSize(frame(), 200, 100);
    dragTo(frame(), 30, 40);
    DialogRecorder dialogs;
    dialogs.handle<UI_SetCropArea>([](UI_SetCropArea& dialog) {
        dialog.widthText->SetValue("50");
        dialog.heightText->SetValue("50");
        wxCommandEvent cancel(wxEVT_BUTTON, 1000);
        dialog.onCancel(cancel);
        return wxID_CANCEL;
    });
    sendCommand(frame(), kSetCrop);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{30, 40, 200, 100}));
    EXPECT_EQ(shownCrop(frame()), (preview::Rect{30, 40, 200, 100}));
}

TEST_F(Preview, AutomaticModeNeedsAReferenceFrameForTheCrop) {
    const auto paths = writeImages(folder, {"a.bmp", "b.bmp", "c.bmp"}, 320, 240);
    open(1, paths);
    DialogRecorder dialogs;
    sendCommand(frame(), kSetCrop);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "ERROR");
    EXPECT_EQ(dialogs.shown()[0].message,
              "You have not set a reference frame.\n\nThe fully automatic mode requires the user "
              "to set a reference frame.\n\nPlease look through your image list and choose a "
              "suitable image to serve as your reference.");
    EXPECT_EQ(dialogs.shown()[0].icon(), wxICON_ERROR);
    EXPECT_FALSE(frame().cropDefined);

    // With one, the reference frame is loaded again and its row marked.
    frame().referenceSet = true;
    frame().referenceIndex = 2;
    setCropSize(frame(), 100, 80);
    EXPECT_EQ(statusText(frame(), 4), toWx(paths[2]));
    EXPECT_EQ(frame().imageList->GetItemTextColour(2), wxColour(0, 0, 255));
    EXPECT_NE(frame().imageList->GetItemTextColour(0), wxColour(0, 0, 255));
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{110, 80, 100, 80}));
}

// Mixed sizes in the manual mode: a larger image is on show, but the crop
// goes on the first one, so the dialog checks it against that one.
TEST_F(Preview, ManualCropSizeIsCheckedAgainstTheFirstImage) {
    open(0, {writeBlackBmp(folder, "a.bmp", 400, 300), writeBlackBmp(folder, "b.bmp", 1000, 800)});
    selectRow(frame(), 1);
    ASSERT_EQ(frame().imageWidth, 1000);
    DialogRecorder dialogs;
    wxSize checkedAgainst;
    acceptCropSize(dialogs, 400, 300, &checkedAgainst);
    sendCommand(frame(), kSetCrop);
    EXPECT_EQ(checkedAgainst, wxSize(400, 300));
    EXPECT_EQ(frame().imageWidth, 400);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{0, 0, 400, 300}));
}

TEST_F(Preview, SetCropStopsWhenTheImageCannotBeLoadedAgain) {
    const auto paths = writeImages(folder, {"a.bmp", "b.bmp"}, 640, 480);
    open(0, paths);
    testsupport::writeFile(paths[0], {'B', 'M', 0, 0});
    DialogRecorder dialogs;
    acceptCropSize(dialogs, 100, 100);
    sendCommand(frame(), kSetCrop);
    EXPECT_EQ(dialogs.captions().back(), "Image Load Error");
    EXPECT_FALSE(frame().cropDefined);
    EXPECT_FALSE(isToolEnabled(frame(), kCropImage));
}

TEST_F(Preview, DragThroughThePanelIsClampedToTheSafeArea) {
    open(0, {writeBlackBmp(folder, "big.bmp", 1600, 1200)});
    setCropSize(frame(), 400, 300);
    EXPECT_EQ(shownCrop(frame()), (preview::Rect{300, 225, 200, 150}));

    dragTo(frame(), 700, 500);
    EXPECT_EQ(shownCrop(frame()), (preview::Rect{585, 435, 200, 150}));
    EXPECT_EQ(frame().cropX, 1170);
    EXPECT_EQ(frame().cropY, 870);
    // Each step redraws the picture, then the rectangle, then the frame.
    const auto& outlines = frame().previewCanvas.outlines();
    EXPECT_EQ(outlines.back().role, PreviewCanvas::Outline::Role::SafeArea);
    EXPECT_EQ(outlines.back().rect, (preview::Rect{15, 15, 770, 570}));

    dragTo(frame(), 0, 0);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{30, 30, 400, 300}));
}

TEST_F(Preview, OnlyLeftDragsOnThePanelMoveTheRectangle) {
    open(0, {writeBlackBmp(folder, "small.bmp", 640, 480)});
    setCropSize(frame(), 200, 100);
    const auto centred = cropOf(frame());

    for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_RIGHT_DOWN}) {
        wxMouseEvent click = panelMouse(frame(), type, 50, 50, type == wxEVT_LEFT_DOWN);
        frame().onMouse(click);
    }
    wxMouseEvent rightDrag = panelMouse(frame(), wxEVT_MOTION, 50, 50, false);
    rightDrag.m_rightDown = true;
    frame().previewPanel->GetEventHandler()->ProcessEvent(rightDrag);
    wxMouseEvent onFrame(wxEVT_MOTION);
    onFrame.SetEventObject(&frame());
    onFrame.SetId(frame().GetId());
    onFrame.m_leftDown = true;
    frame().ProcessWindowEvent(onFrame);
    EXPECT_EQ(cropOf(frame()), centred);

    dragTo(frame(), 100, 200);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{100, 200, 200, 100}));
}

TEST_F(Preview, DraggingBeforeACropSizeDoesNothing) {
    open(0, {writeBlackBmp(folder, "small.bmp", 640, 480)});
    dragTo(frame(), 100, 100);
    EXPECT_EQ(frame().previewCanvas.cropRectangle(), nullptr);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{0, 0, 0, 0}));

    // A reset keeps the crop size but no rectangle: still nothing to drag.
    setCropSize(frame(), 100, 100);
    DialogRecorder dialogs;
    frame().masterReset(3);
    loadImageSet(frame(), {writeBlackBmp(folder, "again.bmp", 640, 480)});
    dragTo(frame(), 300, 300);
    EXPECT_EQ(frame().previewCanvas.cropRectangle(), nullptr);
    EXPECT_EQ(frame().cropX, 270);
}

TEST_F(Preview, DragOnAnImageOfAnotherScaleUsesThatScale) {
    // Centred on an unscaled image, then dragged on a much larger one.
    open(0, {writeBlackBmp(folder, "a.bmp", 600, 400), writeBlackBmp(folder, "b.bmp", 3200, 2400)});
    setCropSize(frame(), 500, 300);
    selectRow(frame(), 1);
    dragTo(frame(), 2000, 2000);
    EXPECT_EQ(shownCrop(frame()).width, 125);
    EXPECT_EQ(shownCrop(frame()).height, 75);
    EXPECT_LE(frame().cropX + frame().cropWidth, 3200);
    EXPECT_LE(frame().cropY + frame().cropHeight, 2400);
}

TEST_F(Preview, ToggleSafeAreaRecentresAndFlipsTheFrame) {
    window = openMainWindow(1, folder.path());
    sendCommand(frame(), kToggleSafeArea);  // nothing loaded: no effect
    EXPECT_TRUE(frame().showSafeArea);

    DialogRecorder quiet;
    loadImageSet(frame(), writeImages(folder, {"a.bmp", "b.bmp"}, 640, 480));
    frame().referenceSet = true;
    setCropSize(frame(), 200, 100);
    dragTo(frame(), 20, 30);

    sendCommand(frame(), kToggleSafeArea);
    EXPECT_FALSE(frame().showSafeArea);
    EXPECT_EQ(cropOf(frame()), (std::array<int, 4>{220, 190, 200, 100}));
    EXPECT_EQ(frame().previewCanvas.safeAreaFrame(), nullptr);
    dragTo(frame(), 20, 30);
    EXPECT_EQ(frame().previewCanvas.safeAreaFrame(), nullptr);

    sendCommand(frame(), kToggleSafeArea);
    EXPECT_TRUE(frame().showSafeArea);
    EXPECT_NE(frame().previewCanvas.safeAreaFrame(), nullptr);
    EXPECT_EQ(frame().cropX, 220);
}

TEST_F(Preview, PaintDrawsRectangleReticleAndFrameInTheirColours) {
    open(0, {writeBlackBmp(folder, "black.bmp", 640, 480)});
    setCropSize(frame(), 500, 300);  // at (70, 90); circles of radius 6, 30, 50
    wxImage shown = painted(frame());
    EXPECT_TRUE(isCropRedNear(shown, 320, 90));
    EXPECT_TRUE(isCropRedNear(shown, 569, 200));
    EXPECT_TRUE(isCropRedNear(shown, 370, 240));
    EXPECT_TRUE(isBlack(shown, 360, 240));
    EXPECT_TRUE(isBlack(shown, 200, 200));
    int framePixels = 0;  // the dotted grey frame along its top edge
    for (int x = 12; x < 628; ++x)
        framePixels += shown.GetRed(x, 12) > 120 && shown.GetRed(x, 12) == shown.GetBlue(x, 12);
    EXPECT_GT(framePixels, 150);
    EXPECT_FALSE(isBlack(shown, 700, 300));  // beside the picture: background

    // Reticle off, and only the low 8 bits of a colour count.
    frame().options.useReticle = false;
    frame().options.red = 0;
    frame().options.blue = 255 + 256;
    frame().cropArea();
    shown = painted(frame());
    EXPECT_GT(shown.GetBlue(320, 90), 200);
    EXPECT_LT(shown.GetRed(320, 90), 80);
    EXPECT_TRUE(isBlack(shown, 370, 240));
}

// On the real screen the rectangle, reticle and frame are there after a
// drag, and still there after another window has covered the panel.
TEST_F(Preview, ScreenKeepsTheOverlaysAfterBeingCovered) {
    open(0, {writeBlackBmp(folder, "black.bmp", 640, 480)});
    if (!onScreen(frame()).IsOk()) GTEST_SKIP() << "no X server to read the screen from";
    setCropSize(frame(), 500, 300);
    frame().Show();
    frame().Raise();
    dragTo(frame(), 40, 60);
    const wxImage expected = painted(frame());
    const auto showsTheOverlays = [&] {
        const wxImage screen = onScreen(frame());
        return screen.IsOk() && isCropRedNear(screen, 290, 60) &&
               clearlyDifferentPixels(screen, expected) == 0;
    };
    ASSERT_TRUE(settleUntil(showsTheOverlays)) << "the panel never showed the dragged rectangle";

    wxFrame* cover =
        new wxFrame(nullptr, wxID_ANY, "cover", frame().previewPanel->GetScreenPosition(),
                    wxSize(800, 600), wxFRAME_NO_TASKBAR | wxBORDER_NONE);
    wxPanel* sheet = new wxPanel(cover, wxID_ANY, wxPoint(0, 0), wxSize(800, 600));
    sheet->SetBackgroundColour(*wxWHITE);
    cover->Show();
    EXPECT_TRUE(settleUntil([&] {
        const wxImage screen = onScreen(frame());
        return screen.IsOk() && !isCropRedNear(screen, 290, 60);
    }));
    cover->Destroy();

    EXPECT_TRUE(settleUntil(showsTheOverlays)) << "the overlays did not come back";
    frame().Hide();
}

TEST_F(Preview, OptionsWithoutACropDrawNoRectangle) {
    open(0, {writeBlackBmp(folder, "small.bmp", 640, 480)});
    DialogRecorder dialogs;
    dialogs.handle<UI_OptionsDialog>([](UI_OptionsDialog& dialog) {
        wxCommandEvent accept(wxEVT_BUTTON, 1009);
        dialog.onOK(accept);
        return wxID_OK;
    });
    sendCommand(frame(), 1007);
    EXPECT_FALSE(frame().cropDefined);
    EXPECT_EQ(frame().previewCanvas.cropRectangle(), nullptr);
    EXPECT_NE(frame().previewCanvas.safeAreaFrame(), nullptr);
}
