#pragma once
// Shared helpers of the GUI tests.

#include "TestImages.h"

#include <wx/arrstr.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/string.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

class UI_TLCrop;
class wxWindow;

namespace guitest {

// The scratch HOME of this test run; the settings file lives beside the
// user data directory inside it.
void setHomeDir(const std::string& path);
const std::string& homeDir();

// ---------------------------------------------------------------------------
// Modal dialogs

// One modal dialog the program tried to show. For message boxes the caption,
// text and style given to wxMessageBox; for other dialogs the title and the
// dialog's class name.
struct ShownDialog {
    bool isMessageBox = false;
    wxString caption;
    wxString message;
    long style = 0;
    wxString className;

    long icon() const;     // style & wxICON_MASK
    long buttons() const;  // style & (wxOK | wxYES_NO | wxCANCEL)
};

// Answers every modal dialog shown while it lives, without showing it, and
// records each one in order. Answers are taken from a queue in the order the
// dialogs come; a message box with no queued answer is answered OK (or No
// when it asks yes/no), another dialog with no queued handler is destroyed
// and answered Cancel, and both count as unscripted.
class DialogRecorder : public wxModalDialogHook {
public:
    DialogRecorder();
    ~DialogRecorder() override;

    // Queue the answer to the next message box: wxYES, wxNO, wxOK, wxCANCEL
    // (or the matching wxID_ values).
    DialogRecorder& answer(int answer);

    // Queue a handler for the next dialog of type T; it acts on the dialog
    // (sets controls, calls handlers) and returns ShowModal's result.
    template <class T>
    DialogRecorder& handle(std::function<int(T&)> handler) {
        steps_.push_back([handler](wxDialog* dialog) -> int {
            T* typed = dynamic_cast<T*>(dialog);
            if (!typed) return wxID_NONE;
            return handler(*typed);
        });
        return *this;
    }

    const std::vector<ShownDialog>& shown() const { return shown_; }
    std::vector<ShownDialog> messageBoxes() const;
    // Dialogs answered by the default policy, or whose queued step did not
    // fit them.
    int unscripted() const { return unscripted_; }
    // Queued steps that no dialog used.
    int pending() const { return static_cast<int>(steps_.size()); }

    // Texts of the message boxes, in order: handy for one EXPECT_EQ.
    std::vector<std::string> messageTexts() const;
    std::vector<std::string> captions() const;

protected:
    int Enter(wxDialog* dialog) override;

private:
    using Step = std::function<int(wxDialog*)>;
    std::deque<Step> steps_;
    std::vector<ShownDialog> shown_;
    int unscripted_ = 0;
};

// ---------------------------------------------------------------------------
// Settings file

// Where the main window keeps its settings in this test run.
std::string settingsFilePath();
// Nine lines of a valid settings file: reticle on, red, the given mode,
// no stacking, the folder, search perimeter 10 and TIF (8 bit).
std::vector<std::string> settingsLines(int cropMode, const std::string& saveFolder,
                                       int searchPerimeter = 10, int outputFormat = 1023);
// Writes the lines, each followed by a line end.
void writeSettingsFile(const std::vector<std::string>& lines);
void writeSettingsFileRaw(const std::string& content);
std::vector<std::string> readSettingsFile();
void removeSettingsFile();

// ---------------------------------------------------------------------------
// Main window

// Owns a main window for one test and destroys it at the end, letting the
// toolkit delete it at once.
class MainWindow {
public:
    // Builds the window with whatever settings file is in place. Keep a
    // DialogRecorder alive around it if construction may show boxes.
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    UI_TLCrop* operator->() const { return frame_; }
    UI_TLCrop& operator*() const { return *frame_; }
    UI_TLCrop* get() const { return frame_; }

private:
    UI_TLCrop* frame_;
};

// Writes a settings file for the mode and builds a window on it; boxes shown
// while building are answered with the defaults.
std::unique_ptr<MainWindow> openMainWindow(int cropMode, const std::string& saveFolder = "/tmp");

// Lets the toolkit delete windows that were Destroy()ed.
void flushPendingDeletes();

// Destroy() has been called: the toolkit deletes the window at idle time.
bool closed(const wxWindow* window);

// Presses the button with that id of a window, as a click does: the
// window's handler for the button runs.
void clickButton(wxWindow& window, int id);

// Queues the answer to the next set-crop-area dialog: the size typed in and
// Accept pressed. `seen`, when given, receives the image size the dialog
// checks the crop against.
void acceptCropSize(DialogRecorder& dialogs, int width, int height, wxSize* seen = nullptr);

// Sends a menu/tool command through the window's event table.
void sendCommand(UI_TLCrop& frame, int id);

wxString statusText(const UI_TLCrop& frame, int field);
bool isMenuItemEnabled(const UI_TLCrop& frame, int id);
bool isToolEnabled(const UI_TLCrop& frame, int id);

// ---------------------------------------------------------------------------
// Image sets

// Names of the entries of a folder; none when it cannot be read.
std::set<std::string> filesIn(const std::string& folder);

// UTF-8 path to the toolkit's string and back.
wxString toWx(const std::string& utf8);
std::string toUtf8(const wxString& text);

// Writes the picture in the format its path's extension names, in any case:
// bmp, jpg/jpeg (at jpegQuality), tif/tiff; anything else is written as raw
// bytes that no image reader accepts.
void writePicture(const std::string& path, const testsupport::Picture& picture,
                  int jpegQuality = 90);

// Writes a star field of the given size under each name in dir, each in the
// format its extension names (writePicture). Returns the full paths.
std::vector<std::string> writeImages(const testsupport::TempDir& dir,
                                     const std::vector<std::string>& names, int width, int height);

// A named pipe that nothing writes to, where an image file is expected:
// opening it to read waits for a writer. Should the code under test do that,
// a guard thread opens the writing end after a few seconds, so that the
// reader sees an empty file and the test ends, failing through hung().
class NamedPipe {
public:
    explicit NamedPipe(std::string path);
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;

    const std::string& path() const { return path_; }
    bool hung() const { return hung_; }

private:
    std::string path_;
    std::atomic<bool> done_{false};
    std::atomic<bool> hung_{false};
    std::thread guard_;
};

// Loads the paths as a new set, as the open dialog would hand them over.
void loadImageSet(UI_TLCrop& frame, const std::vector<std::string>& paths);

// Selects exactly the given rows of the image list (without other effects
// than the list's own selection events).
void selectRows(UI_TLCrop& frame, const std::vector<long>& rows);

// The "#" column and the name column of every row.
std::vector<std::string> listLabels(const UI_TLCrop& frame);
std::vector<std::string> listNames(const UI_TLCrop& frame);

}  // namespace guitest
