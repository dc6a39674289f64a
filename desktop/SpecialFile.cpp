#include "SpecialFile.h"

#include <sys/stat.h>

bool namesSpecialFile(const std::string& fileSystemPath) {
    struct stat info {};
    return stat(fileSystemPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

wxString specialFileMessage(const wxString& path) {
    return "Tellvar cannot read the following, as it is not an image file but a named pipe, a "
           "device or a folder:\n\n" +
           path + "\n\nPlease remove it from your image files and try the request again.";
}
