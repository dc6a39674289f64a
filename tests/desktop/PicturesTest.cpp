#include "EmbeddedResources.h"

#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/mstream.h>

#include <algorithm>
#include <string>

namespace {

struct Picture {
    const char* name;
    const unsigned char* data;
    unsigned int size;
    int width;
    int height;
    bool alpha;
};

#define PICTURE(name, w, h, alpha) \
    Picture { #name, name##_png, name##_png_size, w, h, alpha }

class EmbeddedPicture : public ::testing::TestWithParam<Picture> {
protected:
    void SetUp() override {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    }
};

// Colour type of a PNG file, from its header: 6 is RGBA, 2 is RGB.
int pngColourType(const Picture& p) {
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (p.size < 26 || !std::equal(signature, signature + 8, p.data)) return -1;
    return p.data[25];
}

TEST_P(EmbeddedPicture, DecodesAtItsSizeAndIsNotBlank) {
    const Picture& p = GetParam();
    EXPECT_EQ(pngColourType(p), p.alpha ? 6 : 2);

    wxMemoryInputStream in(p.data, p.size);
    wxImage image(in, wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(image.IsOk());
    EXPECT_EQ(image.GetWidth(), p.width);
    EXPECT_EQ(image.GetHeight(), p.height);

    // A drawn picture has ink on a background: more than one colour.
    const unsigned char* rgb = image.GetData();
    bool varied = false;
    for (int i = 1; i < p.width * p.height && !varied; ++i)
        varied = rgb[3 * i] != rgb[0] || rgb[3 * i + 1] != rgb[1] || rgb[3 * i + 2] != rgb[2];
    EXPECT_TRUE(varied);

    // Tool and window icons sit on a see-through background. (The decoder
    // drops an alpha channel that is opaque throughout.)
    const std::string name = p.name;
    if (p.alpha && name != "FrontScreen") {
        ASSERT_TRUE(image.HasAlpha()) << "an icon with nothing see-through";
        int clear = 0, opaque = 0;
        for (int i = 0; i < p.width * p.height; ++i) {
            clear += image.GetAlpha()[i] == 0;
            opaque += image.GetAlpha()[i] == 255;
        }
        EXPECT_GT(opaque, 0);
        EXPECT_GT(clear, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, EmbeddedPicture,
    ::testing::Values(PICTURE(icon_open, 22, 22, true), PICTURE(icon_setcrop, 22, 22, true),
                      PICTURE(icon_crop, 22, 22, true), PICTURE(icon_clear, 22, 22, true),
                      PICTURE(icon_delete, 22, 22, true), PICTURE(icon_reference, 22, 22, true),
                      PICTURE(icon_GO, 22, 22, true), PICTURE(icon_Validate, 24, 21, false),
                      PICTURE(icon_SafeAreaOn, 24, 25, true), PICTURE(FrontScreen, 800, 600, true),
                      PICTURE(img_about, 200, 140, true), PICTURE(aaaa_main_icon_16, 16, 16, true),
                      PICTURE(aaaa_main_icon_32, 32, 32, true),
                      PICTURE(aaaa_main_icon_48, 48, 48, true),
                      PICTURE(aaaa_main_icon_64, 64, 64, true),
                      PICTURE(aaaa_main_icon_128, 128, 128, true)),
    [](const ::testing::TestParamInfo<Picture>& info) { return std::string(info.param.name); });

}  // namespace
