#pragma once
// Shared helpers of the GUI tests.

#include "TestImages.h"

#include <string>

namespace guitest {

// The scratch HOME of this test run; the settings file lives beside the
// user data directory inside it.
void setHomeDir(const std::string& path);
const std::string& homeDir();

}  // namespace guitest
