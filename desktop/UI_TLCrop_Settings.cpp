// The settings file: read once when the main window is built (or, on the
// first run, filled through the set-up dialog), rewritten whole after every
// change of a setting.

#include "CommandIds.h"
#include "ReplaceFile.h"
#include "SettingsFile.h"
#include "UI_OptionsDialog.h"
#include "UI_TLCrop.h"

#include <wx/msgdlg.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens the settings file for reading. Anything but a regular file (a
// folder of that name, say) counts as unreadable, as a missing file does.
// The open does not wait: a named pipe in the file's place must not hang
// the start.
FileHandle openForReading(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    FileHandle file(fdopen(fd, "r"));
    if (!file) close(fd);
    return file;
}

// The first-run values; the save folder is left for the set-up dialog, which
// insists on one.
void putFirstRunDefaults(OptionValues& options) {
    options.useReticle = true;
    options.red = 255;
    options.green = 0;
    options.blue = 0;
    options.searchPerimeter = 10;
    options.cropMode = kAutomaticMode;
    options.stackEnabled = false;
    // The fully automatic mode refuses JPEG output, so starting from 8-bit
    // TIFF spares the user a warning right after the set-up.
    options.outputFormat = idOutputTif8;
}

void showWriteFailure(int errorNumber) {
    // strerror speaks the locale's multibyte encoding.
    const wxString reason(std::strerror(errorNumber), wxConvLibc);
    wxMessageBox("Failed to write to the configuration file.\n\n" + reason, "Critical Error",
                 wxICON_ERROR);
}

}  // namespace

std::string UI_TLCrop::settingsPath() const {
    // Appended directly, without a separator: the file sits beside the user
    // data directory, where earlier versions stored it.
    return settingsDir + "tellvar.ini";
}

bool UI_TLCrop::readINI() {
    FileHandle file = openForReading(settingsPath());
    if (!file) {
        wxMessageBox(
            "This is the first time running Tellvar.\n\nPlease configure your default "
            "settings in the following dialog box.",
            "Important Information", wxICON_EXCLAMATION);
        putFirstRunDefaults(options);

        bool cancelled = false;
        UI_OptionsDialog* setup = new UI_OptionsDialog("Tellvar Configuration");
        setup->putVars(&options, &cancelled, true);
        setup->ShowModal();

        // The set-up can end without Accept when the session closes it. A
        // file written then would hold no save folder and be taken for a
        // finished set-up at the next start, so nothing is written until the
        // user has accepted settings with a folder.
        setupUnfinished = cancelled || options.saveFolder.empty();
        writeINI();
        return true;
    }

    std::vector<std::string> lines = settingsfile::readLines(file.get());
    file.reset();
    // Lines the file does not have read as empty.
    lines.resize(settingsfile::kLineSlots);

    options.useReticle = settingsfile::parseFlag(lines[0]);
    options.red = settingsfile::parseInteger(lines[1]);
    options.green = settingsfile::parseInteger(lines[2]);
    options.blue = settingsfile::parseInteger(lines[3]);
    options.cropMode = settingsfile::parseInteger(lines[4]);
    options.stackEnabled = settingsfile::parseFlag(lines[5]);
    options.saveFolder = settingsfile::decodeFolder(lines[6]);
    options.searchPerimeter = settingsfile::parseInteger(lines[7]);
    options.outputFormat = settingsfile::parseInteger(lines[8]);
    return true;
}

bool UI_TLCrop::writeINI() {
    if (setupUnfinished) return false;

    std::string content;
    const auto line = [&content](const std::string& text) { content += text + "\n"; };
    line(options.useReticle ? "1" : "0");
    line(std::to_string(options.red));
    line(std::to_string(options.green));
    line(std::to_string(options.blue));
    line(std::to_string(options.cropMode));
    line(options.stackEnabled ? "1" : "0");
    line(settingsfile::encodeFolder(options.saveFolder));
    line(std::to_string(options.searchPerimeter));
    line(std::to_string(options.outputFormat));

    // Replaced whole: a write that fails part way (a full disk) keeps the
    // previous settings, where a cut-short file would be read as zeros at
    // the next start.
    const int error = replaceFileContent(settingsPath(), content, settingsWrite);
    if (error != 0) {
        showWriteFailure(error);
        return false;
    }
    return true;
}
