#include "codecs/FrameAdmission.h"

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "codecs/FrameLimits.h"

namespace Tellvar {
namespace detail {

bool openAdmitted(Brennock& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission) {
    if (auto* bmp = dynamic_cast<BMP*>(&codec))
        return openAdmitted(*bmp, path, buffer, width, height, depth, errorText, admission);
    if (auto* jpeg = dynamic_cast<JPEG*>(&codec))
        return openAdmitted(*jpeg, path, buffer, width, height, depth, errorText, admission);
    if (auto* tiff = dynamic_cast<TIF*>(&codec))
        return openAdmitted(*tiff, path, buffer, width, height, depth, errorText, admission);

    unsigned char* pixels = nullptr;
    std::string message;
    if (!codec.openImage(&pixels, path, width, height, depth, &message)) {
        *errorText = message;
        return false;
    }
    if (admission != nullptr && !admission->admit(frameBytes(static_cast<std::uint32_t>(*width),
                                                             static_cast<std::uint32_t>(*height)),
                                                  path, errorText)) {
        delete[] pixels;
        return false;
    }
    *buffer = pixels;
    return true;
}

}  // namespace detail
}  // namespace Tellvar
