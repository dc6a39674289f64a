#include "GuiTestSupport.h"

namespace guitest {

namespace {
std::string& storedHome() {
    static std::string home;
    return home;
}
}  // namespace

void setHomeDir(const std::string& path) { storedHome() = path; }
const std::string& homeDir() { return storedHome(); }

}  // namespace guitest
