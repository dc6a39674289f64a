#pragma once
// Pictures compiled into the program from resources/*.png (see
// cmake/EmbedResources.cmake): NAME_png holds the PNG bytes, NAME_png_size
// their count.

#define TELLVAR_DECLARE_PNG(name)            \
    extern const unsigned char name##_png[]; \
    extern const unsigned int name##_png_size;

TELLVAR_DECLARE_PNG(icon_open)
TELLVAR_DECLARE_PNG(icon_setcrop)
TELLVAR_DECLARE_PNG(icon_crop)
TELLVAR_DECLARE_PNG(icon_clear)
TELLVAR_DECLARE_PNG(icon_delete)
TELLVAR_DECLARE_PNG(icon_reference)
TELLVAR_DECLARE_PNG(icon_GO)
TELLVAR_DECLARE_PNG(icon_Validate)
TELLVAR_DECLARE_PNG(icon_SafeAreaOn)
TELLVAR_DECLARE_PNG(FrontScreen)
TELLVAR_DECLARE_PNG(img_about)
TELLVAR_DECLARE_PNG(aaaa_main_icon_16)
TELLVAR_DECLARE_PNG(aaaa_main_icon_32)
TELLVAR_DECLARE_PNG(aaaa_main_icon_48)
TELLVAR_DECLARE_PNG(aaaa_main_icon_64)
TELLVAR_DECLARE_PNG(aaaa_main_icon_128)

#undef TELLVAR_DECLARE_PNG
