#include "codecs/FrameAdmission.h"

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "codecs/FrameLimits.h"

#include <typeinfo>

namespace Tellvar {
namespace detail {

bool openAdmitted(Brennock& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand) {
    // The engine's own codecs exactly: a class derived from one may have
    // changed how it reads, so it reads through its openImage below.
    if (typeid(codec) == typeid(BMP))
        return openAdmitted(static_cast<BMP&>(codec), path, buffer, width, height, depth, errorText,
                            admission, rowsOnDemand);
    if (typeid(codec) == typeid(JPEG))
        return openAdmitted(static_cast<JPEG&>(codec), path, buffer, width, height, depth,
                            errorText, admission);
    if (typeid(codec) == typeid(TIF))
        return openAdmitted(static_cast<TIF&>(codec), path, buffer, width, height, depth, errorText,
                            admission, rowsOnDemand);

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
