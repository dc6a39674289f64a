#pragma once
// Small helpers that depend on the operating system. Nothing in the program
// relies on them for the settings path; they are kept for callers that want
// the program's own folder.

#include <string>

class PlatformSpecific {
public:
    // Folder of the running program: its file name cut before the last
    // path separator, or the whole name when it has none.
    static std::string getCurrentDir();

    // Fixed configuration file name, preceded by the path separator.
    static std::string getINIname();
};
