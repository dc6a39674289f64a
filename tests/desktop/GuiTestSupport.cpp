#include "GuiTestSupport.h"

#include "UI_SetCropArea.h"
#include "UI_TLCrop.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/stdpaths.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace guitest {

namespace {
std::string& storedHome() {
    static std::string home;
    return home;
}

int toDialogId(int answer) {
    switch (answer) {
        case wxYES: return wxID_YES;
        case wxNO: return wxID_NO;
        case wxOK: return wxID_OK;
        case wxCANCEL: return wxID_CANCEL;
        default: return answer;
    }
}
}  // namespace

void setHomeDir(const std::string& path) { storedHome() = path; }
const std::string& homeDir() { return storedHome(); }

// ---------------------------------------------------------------------------

long ShownDialog::icon() const { return style & wxICON_MASK; }
long ShownDialog::buttons() const { return style & (wxOK | wxYES_NO | wxCANCEL); }

DialogRecorder::DialogRecorder() { Register(); }
DialogRecorder::~DialogRecorder() { Unregister(); }

DialogRecorder& DialogRecorder::answer(int answer) {
    const int id = toDialogId(answer);
    steps_.push_back([id](wxDialog* dialog) -> int {
        return dynamic_cast<wxMessageDialog*>(dialog) ? id : wxID_NONE;
    });
    return *this;
}

int DialogRecorder::Enter(wxDialog* dialog) {
    ShownDialog record;
    record.className = wxString(dialog->GetClassInfo()->GetClassName());
    if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
        record.isMessageBox = true;
        record.caption = box->GetCaption();
        record.message = box->GetMessage();
        record.style = box->GetMessageDialogStyle();
    } else {
        record.caption = dialog->GetTitle();
    }
    shown_.push_back(record);

    if (!steps_.empty()) {
        Step step = steps_.front();
        steps_.pop_front();
        const int result = step(dialog);
        if (result != wxID_NONE) return result;
    }

    ++unscripted_;
    if (record.isMessageBox) return (record.style & wxYES_NO) ? wxID_NO : wxID_OK;
    // A dialog of the program's own is left to the toolkit to delete, as its
    // handlers would have done.
    dialog->Destroy();
    return wxID_CANCEL;
}

std::vector<ShownDialog> DialogRecorder::messageBoxes() const {
    std::vector<ShownDialog> boxes;
    for (const ShownDialog& d : shown_)
        if (d.isMessageBox) boxes.push_back(d);
    return boxes;
}

std::vector<std::string> DialogRecorder::messageTexts() const {
    std::vector<std::string> texts;
    for (const ShownDialog& d : shown_)
        if (d.isMessageBox) texts.push_back(toUtf8(d.message));
    return texts;
}

std::vector<std::string> DialogRecorder::captions() const {
    std::vector<std::string> texts;
    for (const ShownDialog& d : shown_) texts.push_back(toUtf8(d.caption));
    return texts;
}

// ---------------------------------------------------------------------------

std::string settingsFilePath() {
    return toUtf8(wxStandardPaths::Get().GetUserDataDir()) + "tellvar.ini";
}

std::vector<std::string> settingsLines(int cropMode, const std::string& saveFolder,
                                       int searchPerimeter, int outputFormat) {
    return {"1",
            "255",
            "0",
            "0",
            std::to_string(cropMode),
            "0",
            saveFolder,
            std::to_string(searchPerimeter),
            std::to_string(outputFormat)};
}

void writeSettingsFile(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) content += line + "\n";
    writeSettingsFileRaw(content);
}

void writeSettingsFileRaw(const std::string& content) {
    const std::string path = settingsFilePath();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

std::vector<std::string> readSettingsFile() {
    std::ifstream in(settingsFilePath(), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

void removeSettingsFile() { std::remove(settingsFilePath().c_str()); }

// ---------------------------------------------------------------------------

MainWindow::MainWindow() : frame_(new UI_TLCrop("Tellvar")) {}

MainWindow::~MainWindow() {
    frame_->Destroy();
    flushPendingDeletes();
}

std::unique_ptr<MainWindow> openMainWindow(int cropMode, const std::string& saveFolder) {
    writeSettingsFile(settingsLines(cropMode, saveFolder));
    DialogRecorder quiet;
    return std::make_unique<MainWindow>();
}

void flushPendingDeletes() {
    // Without an event loop nothing reaches idle time on its own; this is
    // where the toolkit deletes destroyed top-level windows.
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
}

bool closed(const wxWindow* window) {
    return wxTheApp->IsScheduledForDestruction(const_cast<wxWindow*>(window));
}

void clickButton(wxWindow& window, int id) {
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(window.FindWindow(id) ? window.FindWindow(id) : &window);
    window.ProcessWindowEvent(event);
}

void acceptCropSize(DialogRecorder& dialogs, int width, int height, wxSize* seen) {
    dialogs.handle<UI_SetCropArea>([=](UI_SetCropArea& dialog) {
        if (seen) *seen = wxSize(dialog.imageWidth, dialog.imageHeight);
        dialog.widthText->SetValue(wxString::Format("%d", width));
        dialog.heightText->SetValue(wxString::Format("%d", height));
        clickButton(dialog, 1001);
        return wxID_OK;
    });
}

void sendCommand(UI_TLCrop& frame, int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(&frame);
    frame.ProcessWindowEvent(event);
}

wxString statusText(const UI_TLCrop& frame, int field) {
    return frame.statusBar->GetStatusText(field);
}

bool isMenuItemEnabled(const UI_TLCrop& frame, int id) { return frame.menuBar->IsEnabled(id); }

bool isToolEnabled(const UI_TLCrop& frame, int id) { return frame.toolBar->GetToolEnabled(id); }

// ---------------------------------------------------------------------------

wxString toWx(const std::string& utf8) { return wxString::FromUTF8(utf8.data(), utf8.size()); }

std::string toUtf8(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

std::set<std::string> filesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

void writePicture(const std::string& path, const testsupport::Picture& picture, int jpegQuality) {
    const std::string extension = toUtf8(wxFileName(toWx(path)).GetExt().Lower());
    if (extension == "bmp") {
        testsupport::writeBmp24(path, picture);
    } else if (extension == "jpg" || extension == "jpeg") {
        testsupport::writeJpeg(path, picture, jpegQuality);
    } else if (extension == "tif" || extension == "tiff") {
        testsupport::writeTiffRgb8(path, picture);
    } else {
        const std::string text = "not an image";
        testsupport::writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
}

std::vector<std::string> writeImages(const testsupport::TempDir& dir,
                                     const std::vector<std::string>& names, int width, int height) {
    const testsupport::Picture picture = testsupport::makeStarField(width, height, 7);
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir.file(name));
        writePicture(paths.back(), picture);
    }
    return paths;
}

NamedPipe::NamedPipe(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("cannot make " + path_);
    guard_ = std::thread([this] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() < deadline) continue;
            // Succeeds only while a reader waits in its open.
            const int writer = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                hung_ = true;
                close(writer);
            }
        }
    });
}

NamedPipe::~NamedPipe() {
    done_ = true;
    guard_.join();
    unlink(path_.c_str());
}

void loadImageSet(UI_TLCrop& frame, const std::vector<std::string>& paths) {
    wxArrayString fullPaths;
    wxArrayString names;
    for (const std::string& path : paths) {
        const wxString wxPath = toWx(path);
        fullPaths.Add(wxPath);
        names.Add(wxFileName(wxPath).GetFullName());
    }
    frame.loadImageSet(fullPaths, names);
}

void selectRows(UI_TLCrop& frame, const std::vector<long>& rows) {
    // Selecting raises the list's selection event, which would load the
    // row's picture; keep that out of the way of what the test looks at.
    const bool previous = frame.multipleImages;
    frame.multipleImages = false;
    for (long row = 0; row < frame.imageList->GetItemCount(); ++row)
        frame.imageList->SetItemState(row, 0, wxLIST_STATE_SELECTED);
    for (long row : rows)
        frame.imageList->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    frame.multipleImages = previous;
}

std::vector<std::string> listLabels(const UI_TLCrop& frame) {
    std::vector<std::string> labels;
    for (long row = 0; row < frame.imageList->GetItemCount(); ++row)
        labels.push_back(toUtf8(frame.imageList->GetItemText(row, 0)));
    return labels;
}

std::vector<std::string> listNames(const UI_TLCrop& frame) {
    std::vector<std::string> names;
    for (long row = 0; row < frame.imageList->GetItemCount(); ++row)
        names.push_back(toUtf8(frame.imageList->GetItemText(row, 1)));
    return names;
}

}  // namespace guitest
