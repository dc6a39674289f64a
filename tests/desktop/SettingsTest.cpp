// The settings file: first run, reading rules, writing and its failures,
// text encodings and where the file lives.

#include "CommandNumbers.h"
#include "GuiTestSupport.h"
#include "SettingsFile.h"
#include "UI_OptionsDialog.h"
#include "UI_TLCrop.h"

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

using namespace guitest;
namespace fs = std::filesystem;

namespace {

const std::string kAccentFolder = "/tmp/Caf\xC3\xA9 \xC3\xA9t\xC3\xA9/Ast\xC3\xA9risme";
const std::string kChineseFolder = "/tmp/\xE6\x98\x9F\xE7\xA9\xBA/\xE5\x9B\xBE\xE5\x83\x8F";

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { removeSettings(); }
    void TearDown() override { removeSettings(); }

    static void removeSettings() {
        std::error_code ignored;
        fs::remove_all(settingsFilePath(), ignored);
    }

    // A file holding exactly these bytes, read by a new main window.
    std::unique_ptr<MainWindow> windowReading(const std::string& content) {
        writeSettingsFileRaw(content);
        return std::make_unique<MainWindow>();
    }
};

// Answers the set-up dialog of the first run: first tries Accept with no
// folder, then picks the folder and accepts.
struct FirstRunObservations {
    bool dialogInSetupMode = false;
    bool reticleTicked = false;
    bool automaticSelected = false;
    bool redSelected = false;
    wxString perimeterShown;
    bool mainWindowVisible = true;
};

bool anyMainWindowShown() {
    for (wxWindow* window : wxTopLevelWindows)
        if (dynamic_cast<UI_TLCrop*>(window) && window->IsShown()) return true;
    return false;
}

void scriptFirstRun(DialogRecorder& dialogs, const std::string& folder,
                    FirstRunObservations& seen) {
    dialogs.answer(wxOK);  // "Important Information"
    dialogs.handle<UI_OptionsDialog>([folder, &seen](UI_OptionsDialog& dialog) {
        seen.dialogInSetupMode = dialog.firstRun;
        seen.reticleTicked = dialog.useReticleBox->GetValue();
        seen.automaticSelected = dialog.automaticButton->GetValue();
        seen.redSelected = dialog.redButton->GetValue();
        seen.perimeterShown = dialog.perimeterChoice->GetValue();
        seen.mainWindowVisible = anyMainWindowShown();

        wxCommandEvent press;
        dialog.onOK(press);  // no folder yet: refused
        dialog.saveFolderText->SetValue(toWx(folder));
        dialog.onOK(press);
        return wxID_OK;
    });
    dialogs.answer(wxOK);  // "Please specify a save location"
}

}  // namespace

// ---------------------------------------------------------------------------
// Line rules, on their own.

TEST(SettingsLineRules, IntegersReadLikeAtoi) {
    EXPECT_EQ(settingsfile::parseInteger("12abc"), 12);
    EXPECT_EQ(settingsfile::parseInteger("abc"), 0);
    EXPECT_EQ(settingsfile::parseInteger("-5"), -5);
    EXPECT_EQ(settingsfile::parseInteger(" \t 42"), 42);
    EXPECT_EQ(settingsfile::parseInteger("+7 px"), 7);
    EXPECT_EQ(settingsfile::parseInteger(""), 0);
    EXPECT_EQ(settingsfile::parseInteger("- 5"), 0);
    EXPECT_EQ(settingsfile::parseInteger("--5"), 0);
    EXPECT_EQ(settingsfile::parseInteger("0012"), 12);
    EXPECT_EQ(settingsfile::parseInteger("1023\r"), 1023);
}

TEST(SettingsLineRules, IntegersBeyondThirtyTwoBitsSaturate) {
    EXPECT_EQ(settingsfile::parseInteger("2147483647"), INT_MAX);
    EXPECT_EQ(settingsfile::parseInteger("2147483648"), INT_MAX);
    EXPECT_EQ(settingsfile::parseInteger("99999999999999999999999999999"), INT_MAX);
    EXPECT_EQ(settingsfile::parseInteger("-2147483648"), INT_MIN);
    EXPECT_EQ(settingsfile::parseInteger("-2147483649"), INT_MIN);
    EXPECT_EQ(settingsfile::parseInteger("-99999999999999999999999999999x"), INT_MIN);
}

TEST(SettingsLineRules, OnlyExactlyOneIsTrue) {
    EXPECT_TRUE(settingsfile::parseFlag("1"));
    for (const char* line : {"true", " 1", "1 ", "01", "", "0", "2", "yes"})
        EXPECT_FALSE(settingsfile::parseFlag(line)) << '"' << line << '"';
}

TEST(SettingsLineRules, ReadsAtMostThirteenLines) {
    testsupport::TempDir dir;
    const std::string path = dir.file("lines.txt");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i <= 20; ++i) out << "line" << i << "\n";
    }
    std::FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    const std::vector<std::string> lines = settingsfile::readLines(file);
    // The rest of the file is left unread.
    const long position = std::ftell(file);
    std::fclose(file);

    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines.front(), "line1");
    EXPECT_EQ(lines.back(), "line13");
    EXPECT_LT(position, static_cast<long>(fs::file_size(path)));
}

TEST(SettingsLineRules, LineEndsAndALastLineWithoutOne) {
    testsupport::TempDir dir;
    const std::string path = dir.file("lines.txt");
    testsupport::writeFile(path, {'1', '\r', '\n', '\n', '2', '5', '5'});
    std::FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    const std::vector<std::string> lines = settingsfile::readLines(file);
    std::fclose(file);
    EXPECT_EQ(lines, (std::vector<std::string>{"1", "", "255"}));
}

TEST(SettingsLineRules, FolderTextEncodings) {
    for (const std::string& folder : {kAccentFolder, kChineseFolder}) {
        const wxString wide = toWx(folder);
        EXPECT_EQ(settingsfile::encodeFolder(wide), folder);
        EXPECT_EQ(settingsfile::decodeFolder(folder), wide);
    }
    // A folder stored in a single-byte encoding by an earlier version: the
    // byte is kept as the character it stood for, not dropped.
    EXPECT_EQ(settingsfile::decodeFolder("/tmp/caf\xE9"), toWx("/tmp/caf\xC3\xA9"));
    EXPECT_EQ(settingsfile::decodeFolder(""), wxString());
}

// ---------------------------------------------------------------------------
// First run and a later start.

TEST_F(SettingsFile, FirstRunAsksForSettingsBeforeTheWindowShowsAndWritesNineLines) {
    testsupport::TempDir saveDir;
    FirstRunObservations seen;
    DialogRecorder dialogs;
    scriptFirstRun(dialogs, saveDir.path(), seen);

    MainWindow window;

    const std::vector<ShownDialog>& shown = dialogs.shown();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_TRUE(shown[0].isMessageBox);
    EXPECT_EQ(shown[0].caption, "Important Information");
    EXPECT_EQ(shown[0].message,
              "This is the first time running Tellvar.\n\nPlease configure your default settings "
              "in the following dialog box.");
    EXPECT_EQ(shown[0].icon(), wxICON_EXCLAMATION);
    EXPECT_FALSE(shown[1].isMessageBox);
    EXPECT_EQ(shown[1].caption, "Tellvar Configuration");
    EXPECT_EQ(shown[2].caption, "ERROR");
    EXPECT_EQ(shown[2].message, "Please specify a save location");
    // TIF (8 bit) suits the automatic mode, so no format warning follows.
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(dialogs.unscripted(), 0);

    EXPECT_TRUE(seen.dialogInSetupMode);
    EXPECT_TRUE(seen.reticleTicked);
    EXPECT_TRUE(seen.automaticSelected);
    EXPECT_TRUE(seen.redSelected);
    EXPECT_EQ(seen.perimeterShown, "10");
    EXPECT_FALSE(seen.mainWindowVisible);

    EXPECT_EQ(readSettingsFile(), (std::vector<std::string>{"1", "255", "0", "0", "1", "0",
                                                            saveDir.path(), "10", "1023"}));
    EXPECT_EQ(window->options.outputFormat, 1023);
    EXPECT_EQ(window->options.cropMode, 1);
}

TEST_F(SettingsFile, LaterStartReadsTheFileBackWithoutAsking) {
    testsupport::TempDir saveDir;
    {
        FirstRunObservations seen;
        DialogRecorder dialogs;
        scriptFirstRun(dialogs, saveDir.path(), seen);
        MainWindow first;
    }

    DialogRecorder dialogs;
    MainWindow later;
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(later->options.useReticle);
    EXPECT_FALSE(later->options.stackEnabled);
    EXPECT_EQ(later->options.red, 255);
    EXPECT_EQ(later->options.green, 0);
    EXPECT_EQ(later->options.blue, 0);
    EXPECT_EQ(later->options.cropMode, 1);
    EXPECT_EQ(later->options.searchPerimeter, 10);
    EXPECT_EQ(later->options.outputFormat, 1023);
    EXPECT_EQ(later->options.saveFolder, toWx(saveDir.path()));
}

// The set-up dialog closed by the session, not accepted: nothing is written,
// not even by later changes, until settings are accepted with a folder.
TEST_F(SettingsFile, AFirstRunEndedWithoutAcceptWritesNothingUntilAccept) {
    DialogRecorder dialogs;
    dialogs.answer(wxOK);  // "Important Information"
    dialogs.handle<UI_OptionsDialog>([](UI_OptionsDialog& dialog) {
        dialog.Close(true);
        return wxID_CANCEL;
    });
    MainWindow window;
    EXPECT_EQ(dialogs.captions(),
              (std::vector<std::string>{"Important Information", "Tellvar Configuration"}));
    EXPECT_TRUE(window->options.saveFolder.empty());
    EXPECT_FALSE(fs::exists(settingsFilePath()));

    sendCommand(*window, kOutputBmp);  // a change that is written at once
    EXPECT_FALSE(fs::exists(settingsFilePath()));
    EXPECT_EQ(dialogs.messageBoxes().size(), 1u);  // no write failure shown

    testsupport::TempDir saveDir;
    dialogs.handle<UI_OptionsDialog>([&saveDir](UI_OptionsDialog& dialog) {
        dialog.saveFolderText->SetValue(toWx(saveDir.path()));
        wxCommandEvent press;
        dialog.onOK(press);
        return wxID_OK;
    });
    sendCommand(*window, kOptions);
    ASSERT_EQ(readSettingsFile().size(), 9u);
    EXPECT_EQ(readSettingsFile()[6], saveDir.path());
    EXPECT_EQ(readSettingsFile()[8], "1022");
}

TEST_F(SettingsFile, PathIsTheUserDataDirectoryWithTheNameAppendedDirectly) {
    testsupport::TempDir saveDir;
    FirstRunObservations seen;
    DialogRecorder dialogs;
    scriptFirstRun(dialogs, saveDir.path(), seen);
    MainWindow window;

    EXPECT_EQ(window->settingsDir, homeDir() + "/.Tellvar");
    EXPECT_EQ(window->settingsPath(), homeDir() + "/.Tellvartellvar.ini");
    EXPECT_TRUE(fs::is_regular_file(homeDir() + "/.Tellvartellvar.ini"));
    // The file sits beside the user data directory, which is never made.
    EXPECT_FALSE(fs::exists(homeDir() + "/.Tellvar"));
}

// ---------------------------------------------------------------------------
// Reading rules on a whole file.

TEST_F(SettingsFile, FullFileFillsEveryField) {
    DialogRecorder dialogs;
    auto window = windowReading("0\n12\n34\n56\n0\n1\n/data/crops\n25\n1022\n");
    EXPECT_FALSE((*window)->options.useReticle);
    EXPECT_EQ((*window)->options.red, 12);
    EXPECT_EQ((*window)->options.green, 34);
    EXPECT_EQ((*window)->options.blue, 56);
    EXPECT_EQ((*window)->options.cropMode, 0);
    EXPECT_TRUE((*window)->options.stackEnabled);
    EXPECT_EQ((*window)->options.saveFolder, "/data/crops");
    EXPECT_EQ((*window)->options.searchPerimeter, 25);
    EXPECT_EQ((*window)->options.outputFormat, 1022);
}

TEST_F(SettingsFile, ShortFileLeavesTheMissingFieldsEmpty) {
    DialogRecorder dialogs;
    auto window = windowReading("1\n10\n20\n30\n0\n");
    EXPECT_TRUE((*window)->options.useReticle);
    EXPECT_EQ((*window)->options.red, 10);
    EXPECT_EQ((*window)->options.green, 20);
    EXPECT_EQ((*window)->options.blue, 30);
    EXPECT_EQ((*window)->options.cropMode, 0);
    EXPECT_FALSE((*window)->options.stackEnabled);
    EXPECT_EQ((*window)->options.saveFolder, wxString());
    EXPECT_EQ((*window)->options.searchPerimeter, 0);
    EXPECT_EQ((*window)->options.outputFormat, 0);
    // A short file is read, not taken for a first run.
    for (const ShownDialog& shown : dialogs.shown())
        EXPECT_NE(shown.caption, "Important Information");
}

TEST_F(SettingsFile, LongFileUsesTheFirstNineLines) {
    std::string content = "1\n1\n2\n3\n0\n0\n/first/folder\n15\n1022\n";
    for (int i = 10; i <= 20; ++i) content += std::to_string(i * 1000) + "\n";
    DialogRecorder dialogs;
    auto window = windowReading(content);
    EXPECT_EQ((*window)->options.red, 1);
    EXPECT_EQ((*window)->options.saveFolder, "/first/folder");
    EXPECT_EQ((*window)->options.searchPerimeter, 15);
    EXPECT_EQ((*window)->options.outputFormat, 1022);
}

TEST_F(SettingsFile, LooseTextInLines) {
    DialogRecorder dialogs;
    auto window = windowReading("true\n12abc\nabc\n-5\n 0\n 1\n/f\n-2147483649\n99999999999\n");
    EXPECT_FALSE((*window)->options.useReticle);
    EXPECT_EQ((*window)->options.red, 12);
    EXPECT_EQ((*window)->options.green, 0);
    EXPECT_EQ((*window)->options.blue, -5);
    EXPECT_EQ((*window)->options.cropMode, 0);
    EXPECT_FALSE((*window)->options.stackEnabled);
    EXPECT_EQ((*window)->options.searchPerimeter, INT_MIN);
    EXPECT_EQ((*window)->options.outputFormat, INT_MAX);

    auto blankOne = windowReading(" 1\n0\n0\n0\n0\n0\n/f\n10\n1022\n");
    EXPECT_FALSE((*blankOne)->options.useReticle);
}

TEST_F(SettingsFile, DosLineEndsReadLikeTheirText) {
    DialogRecorder dialogs;
    auto window = windowReading("1\r\n9\r\n8\r\n7\r\n0\r\n1\r\n/f\r\n20\r\n1022\r\n");
    EXPECT_TRUE((*window)->options.useReticle);
    EXPECT_TRUE((*window)->options.stackEnabled);
    EXPECT_EQ((*window)->options.saveFolder, "/f");
    EXPECT_EQ((*window)->options.outputFormat, 1022);
}

// The boxes of a first run whose settings write failed: the set-up's, then
// the write's "Critical Error", whose text is returned.
static wxString firstRunWriteFailure(const DialogRecorder& dialogs) {
    const std::vector<std::string> captions = dialogs.captions();
    EXPECT_EQ(captions.size(), 4u);
    if (captions.size() != 4) return wxString();
    EXPECT_EQ(captions[0], "Important Information");
    EXPECT_EQ(captions[3], "Critical Error");
    EXPECT_EQ(dialogs.shown()[3].icon(), wxICON_ERROR);
    return dialogs.shown()[3].message;
}

TEST_F(SettingsFile, ASettingsPathThatIsNoFileStartsTheFirstRunAndTheWriteFails) {
    fs::create_directory(settingsFilePath());
    testsupport::TempDir saveDir;
    FirstRunObservations seen;
    DialogRecorder dialogs;
    scriptFirstRun(dialogs, saveDir.path(), seen);
    dialogs.answer(wxOK);  // the write failure

    MainWindow window;

    EXPECT_EQ(firstRunWriteFailure(dialogs),
              "Failed to write to the configuration file.\n\nIs a directory");
    // The program goes on with what the user chose.
    EXPECT_EQ(window->options.saveFolder, toWx(saveDir.path()));
    EXPECT_EQ(window->options.outputFormat, 1023);
}

TEST_F(SettingsFile, ANamedPipeInTheFilesPlaceNeitherHangsNorIsTakenForSettings) {
    const NamedPipe pipe(settingsFilePath());
    testsupport::TempDir saveDir;
    FirstRunObservations seen;
    DialogRecorder dialogs;
    scriptFirstRun(dialogs, saveDir.path(), seen);
    dialogs.answer(wxOK);  // the write failure

    MainWindow window;

    EXPECT_EQ(firstRunWriteFailure(dialogs),
              "Failed to write to the configuration file.\n\nNo such device or address");
    EXPECT_FALSE(pipe.hung());
}

TEST_F(SettingsFile, AFileWithoutReadPermissionStartsTheFirstRun) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    writeSettingsFile(settingsLines(0, "/f"));
    chmod(settingsFilePath().c_str(), 0200);
    testsupport::TempDir saveDir;
    FirstRunObservations seen;
    DialogRecorder dialogs;
    scriptFirstRun(dialogs, saveDir.path(), seen);
    MainWindow window;
    ASSERT_FALSE(dialogs.captions().empty());
    EXPECT_EQ(dialogs.captions()[0], "Important Information");
}

// ---------------------------------------------------------------------------
// Writing.

TEST_F(SettingsFile, WriteFailuresAreReportedOncePerAttempt) {
    writeSettingsFile(settingsLines(0, "/f"));
    DialogRecorder dialogs;
    MainWindow window;
    testsupport::TempDir dir;
    window->settingsDir = dir.file("missing") + "/x";

    EXPECT_FALSE(window->writeINI());
    EXPECT_FALSE(window->writeINI());

    const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const ShownDialog& box : boxes) {
        EXPECT_EQ(box.caption, "Critical Error");
        EXPECT_EQ(box.message,
                  "Failed to write to the configuration file.\n\nNo such file or directory");
        EXPECT_EQ(box.icon(), wxICON_ERROR);
    }
    EXPECT_EQ(window->options.saveFolder, "/f");
}

TEST_F(SettingsFile, AWriteCutShortIsReportedNotTakenForSuccess) {
    writeSettingsFile(settingsLines(0, "/f"));
    DialogRecorder dialogs;
    MainWindow window;
    testsupport::TempDir dir;
    // Every write to this device fails for want of space.
    fs::create_symlink("/dev/full", dir.file("fulltellvar.ini"));
    window->settingsDir = dir.file("full");

    EXPECT_FALSE(window->writeINI());
    const std::vector<ShownDialog> boxes = dialogs.messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Critical Error");
    EXPECT_EQ(boxes[0].message,
              "Failed to write to the configuration file.\n\nNo space left on device");
}

static std::set<std::string> filesInHome() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(homeDir()))
        names.insert(entry.path().filename().string());
    return names;
}

// A disk that fills up before the first byte or part way through: the box
// says so, and the previous settings stay whole with nothing left beside them.
TEST_F(SettingsFile, AFailedWriteKeepsThePreviousFileWhole) {
    for (const std::size_t accepted : {std::size_t{0}, std::size_t{10}}) {
        const std::string before = "1\n255\n0\n0\n0\n0\n/previous\n10\n1023\n";
        writeSettingsFileRaw(before);
        DialogRecorder dialogs;
        MainWindow window;
        std::size_t total = 0;
        window->settingsWrite = [accepted, &total](int fd, const void* data, std::size_t size) {
            if (total >= accepted) {
                errno = ENOSPC;
                return ssize_t{-1};
            }
            const ssize_t written = write(fd, data, std::min(size, accepted - total));
            total += static_cast<std::size_t>(written);
            return written;
        };
        window->options.saveFolder = "/next";
        const std::set<std::string> home = filesInHome();

        EXPECT_FALSE(window->writeINI());
        ASSERT_EQ(dialogs.messageBoxes().size(), 1u);
        EXPECT_EQ(dialogs.messageBoxes()[0].caption, "Critical Error");
        EXPECT_EQ(dialogs.messageBoxes()[0].message,
                  "Failed to write to the configuration file.\n\nNo space left on device");
        const std::vector<std::uint8_t> after = testsupport::readFile(settingsFilePath());
        EXPECT_EQ(std::string(after.begin(), after.end()), before) << accepted;
        EXPECT_EQ(filesInHome(), home) << accepted;
    }
}

// A settings file kept elsewhere through a symbolic link, with permissions
// of its own: the link stays a link, the file it names gets the settings.
TEST_F(SettingsFile, ALinkedSettingsFileStaysLinkedAndKeepsItsPermissions) {
    testsupport::TempDir elsewhere;
    const std::string kept = elsewhere.file("kept.ini");
    testsupport::writeFile(kept, {'x', '\n'});
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    fs::create_symlink(kept, settingsFilePath());
    DialogRecorder dialogs;
    MainWindow window;
    window->options.saveFolder = "/linked";

    EXPECT_TRUE(window->writeINI());
    EXPECT_TRUE(fs::is_symlink(settingsFilePath()));
    ASSERT_EQ(readSettingsFile().size(), 9u);
    EXPECT_EQ(readSettingsFile()[6], "/linked");
    struct stat info {};
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsFile, WritesPlainDecimalLines) {
    writeSettingsFile(settingsLines(0, "/f"));
    DialogRecorder dialogs;
    MainWindow window;
    window->options.useReticle = false;
    window->options.stackEnabled = true;
    window->options.red = -7;
    window->options.green = 0;
    window->options.blue = 2147483647;
    window->options.cropMode = 3;
    window->options.saveFolder = "/out";
    window->options.searchPerimeter = 60;
    window->options.outputFormat = 1024;

    EXPECT_TRUE(window->writeINI());
    EXPECT_EQ(readSettingsFile(), (std::vector<std::string>{"0", "-7", "0", "2147483647", "3", "1",
                                                            "/out", "60", "1024"}));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(SettingsFile, NonAsciiSaveFoldersRoundTripInAnyLocale) {
    for (const std::string& folder : {kAccentFolder, kChineseFolder}) {
        writeSettingsFile(settingsLines(0, "/f"));
        DialogRecorder dialogs;
        {
            MainWindow window;
            window->options.saveFolder = toWx(folder);
            ASSERT_TRUE(window->writeINI());
        }
        // Stored as UTF-8, byte for byte.
        ASSERT_EQ(readSettingsFile().size(), 9u);
        EXPECT_EQ(readSettingsFile()[6], folder);

        MainWindow later;
        EXPECT_EQ(later->options.saveFolder, toWx(folder)) << folder;
        EXPECT_EQ(later->options.saveFolder.length(), toWx(folder).length());
    }
}

TEST_F(SettingsFile, AHomeFolderWithNonAsciiCharactersHoldsTheFile) {
    testsupport::TempDir base;
    const std::string home = base.file("h\xC3\xA9 \xE6\x98\x9F");
    fs::create_directory(home);
    const std::string previousHome = homeDir();
    setenv("HOME", home.c_str(), 1);

    {
        std::ofstream out(home + "/.Tellvartellvar.ini", std::ios::binary);
        out << "1\n0\n255\n0\n0\n0\n/x\n10\n1022\n";
    }
    {
        DialogRecorder dialogs;
        MainWindow window;
        EXPECT_EQ(window->settingsDir, home + "/.Tellvar");
        // Read from there, not taken for a first run.
        EXPECT_EQ(window->options.green, 255);
        EXPECT_EQ(window->options.outputFormat, 1022);
        EXPECT_TRUE(dialogs.shown().empty());
    }

    setenv("HOME", previousHome.c_str(), 1);
}
