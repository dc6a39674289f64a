#include "codecs/CodecMessages.h"

#include <cerrno>
#include <cstring>

namespace Tellvar {

namespace {

// strerror_r comes in a GNU flavour (returns the text) and an XSI flavour
// (fills the buffer); overloads pick whichever the C library declares.
[[maybe_unused]] std::string errorTextFrom(const char* text, const char*) { return text; }
[[maybe_unused]] std::string errorTextFrom(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string("Unknown error");
}

}  // namespace

std::string systemErrorText(int errorNumber) {
    char buffer[256] = {};
    return errorTextFrom(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
}

int failureErrno() { return errno != 0 ? errno : EIO; }

const char kFrameMemoryReason[] =
    "There is not enough memory to load this image.\n\nPlease close other programs or note the "
    "filename and remove it from your active list before trying again.";

std::string writeFailureMessage(const std::string& path, int errorNumber) {
    return "The system was unable to write the following file\n\n" + path +
           "'\n\nError Message: " + systemErrorText(errorNumber) +
           "\n\nPlease check your file permissions, folder or drive availability. You can "
           "specify a new save location in the options dialog.\n\nAll operations have now "
           "been cancelled. Please correct the problem and submit your images again.";
}

std::string invalidOutputSizeMessage(const std::string& path, int width, int height) {
    return "The system was unable to write the following file\n\n" + path +
           "\n\nThe image to be saved has an unsupported size of " + std::to_string(width) + " x " +
           std::to_string(height) +
           " pixels.\n\nAll operations have now been cancelled. Please correct the problem and "
           "submit your images again.";
}

std::string frameTooLargeMessage(const std::string& path, std::uint64_t width,
                                 std::uint64_t height) {
    return "The image file named below is too large for Tellvar.\n\n" + path + "\n\nIts " +
           std::to_string(width) + " x " + std::to_string(height) +
           " pixels would need more than 2 GB of memory, the most Tellvar can handle for one "
           "image.\n\nPlease reduce the image size or note the filename and remove it from your "
           "active list before trying again.";
}

}  // namespace Tellvar
