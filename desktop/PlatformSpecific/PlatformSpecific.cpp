#include "PlatformSpecific.h"

#include <unistd.h>

#include <climits>

namespace {
// The longest module name the lookup accepts, path terminator included.
constexpr std::size_t kModuleNameCapacity = PATH_MAX;
}  // namespace

std::string PlatformSpecific::getCurrentDir() {
    char buffer[kModuleNameCapacity];
    // readlink does not terminate the text and reports truncation only by
    // filling the buffer, so a full buffer counts as failure.
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(buffer)) return std::string();

    const std::string moduleName(buffer, static_cast<std::size_t>(length));
    const std::size_t lastSeparator = moduleName.find_last_of('/');
    if (lastSeparator == std::string::npos) return moduleName;
    return moduleName.substr(0, lastSeparator);
}

std::string PlatformSpecific::getINIname() { return "/config.ini"; }
