#pragma once
// Product strings compiled into the program.

namespace AutoVersion {
inline constexpr const char* appName = "Tellvar";
inline constexpr const char* appCopyright = "Copyright (C) 2026";
inline constexpr const char* appCopyrightName = "The Tellvar developers";
}  // namespace AutoVersion
