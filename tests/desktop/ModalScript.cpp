#include "ModalScript.h"

#include "GuiTestSupport.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

#include <dlfcn.h>

#include <algorithm>
#include <memory>

namespace modaltest {

namespace {

int liveScripts = 0;

// GTK's response codes for the buttons the toolkit puts in its boxes.
int gtkResponse(int id) {
    switch (id) {
        case wxID_YES: return -8;
        case wxID_NO: return -9;
        case wxID_CANCEL: return -6;
        default: return -5;  // OK
    }
}

// On GTK a message box is GTK's own dialog, run by gtk_dialog_run(); its
// buttons end that loop with gtk_dialog_response(), which is what this does.
// GTK is loaded with the toolkit, so no GTK headers are needed.
void respond(wxDialog& box, int id) {
    using Response = void (*)(void*, int);
    static const auto response =
        reinterpret_cast<Response>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    if (response && box.GetHandle()) response(box.GetHandle(), gtkResponse(id));
}

// Ends a modal nobody scripted: No or OK for a box, Cancel for a dialog.
void endUnscripted(wxDialog& dialog) {
    if (auto* box = dynamic_cast<wxMessageDialog*>(&dialog)) {
        respond(*box, (box->GetMessageDialogStyle() & wxYES_NO) ? wxID_NO : wxID_OK);
    } else if (dialog.IsModal()) {
        dialog.EndModal(wxID_CANCEL);
    }
}

}  // namespace

ModalScript::ModalScript() : lastStep_(std::chrono::steady_clock::now()) {
    ++liveScripts;
    Register();
    timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { tick(); });
    // Timers fire inside every modal loop, GTK's own included.
    timer_.Start(10);
}

ModalScript::~ModalScript() {
    timer_.Stop();
    Unregister();
    --liveScripts;
}

bool ModalScript::active() { return liveScripts > 0; }

ModalScript& ModalScript::when(const wxString& title, Ready ready, Act act) {
    steps_.push_back({title, std::move(ready), std::move(act)});
    return *this;
}

ModalScript& ModalScript::when(const wxString& title, Act act) {
    return when(
        title, [] { return true; }, std::move(act));
}

std::vector<std::string> ModalScript::titles() const { return titles_; }

int ModalScript::Enter(wxDialog* dialog) {
    // The toolkit's file dialog passes here twice, once through its own
    // ShowModal and once through the dialog's.
    if (isOpen(dialog)) return wxID_NONE;
    wxString title = dialog->GetTitle();
    // A box is known by its caption, or by its text when it has the
    // toolkit's default caption.
    if (auto* box = dynamic_cast<wxMessageDialog*>(dialog))
        title = box->GetCaption() == wxMessageBoxCaptionStr ? box->GetMessage() : box->GetCaption();
    // GTK shows a file dialog's message as its title.
    if (auto* files = dynamic_cast<wxFileDialog*>(dialog)) title = files->GetMessage();
    open_.push_back({dialog, title});
    titles_.push_back(std::string(title.utf8_str()));
    lastStep_ = std::chrono::steady_clock::now();
    return wxID_NONE;  // run it for real
}

void ModalScript::Exit(wxDialog* dialog) {
    open_.erase(std::remove_if(open_.begin(), open_.end(),
                               [dialog](const Open& open) { return open.dialog == dialog; }),
                open_.end());
}

bool ModalScript::isOpen(const wxDialog* dialog) const {
    return std::any_of(open_.begin(), open_.end(),
                       [dialog](const Open& open) { return open.dialog == dialog; });
}

void ModalScript::tick() {
    if (open_.empty() || actPending_) return;
    const Open innermost = open_.back();
    // A box's GTK dialog exists only once its loop runs.
    if (dynamic_cast<wxMessageDialog*>(innermost.dialog) && !innermost.dialog->GetHandle()) return;

    if (steps_.empty()) {
        // Nobody waits for this one: it is ended at once (and its title kept).
        actLater(innermost.dialog, endUnscripted);
        return;
    }
    if (steps_.front().title == innermost.title && steps_.front().ready()) {
        Act act = std::move(steps_.front().act);
        steps_.pop_front();
        lastStep_ = std::chrono::steady_clock::now();
        actLater(innermost.dialog, std::move(act));
        return;
    }
    // A step that never comes: give up on the script and end the open
    // loops, so that the test fails instead of hanging.
    if (std::chrono::steady_clock::now() - lastStep_ > kPatience) steps_.clear();
}

void ModalScript::actLater(wxDialog* dialog, Act act) {
    // Each act runs from a timer of its own, as a click comes from the
    // display: a loop that the act opens then runs while this script's
    // ticks go on, and a dialog that the act destroys has left its loop
    // before the toolkit's idle time deletes it.
    actPending_ = true;
    acts_.push_back(std::make_unique<wxTimer>());
    acts_.back()->Bind(wxEVT_TIMER, [this, dialog, act = std::move(act)](wxTimerEvent&) {
        actPending_ = false;
        if (isOpen(dialog)) act(*dialog);
    });
    acts_.back()->StartOnce(1);
}

ModalScript::Act answer(int id) {
    return [id](wxDialog& box) { respond(box, id); };
}

ModalScript::Act click(int buttonId) {
    return [buttonId](wxDialog& dialog) {
        if (dialog.FindWindow(buttonId)) guitest::clickButton(dialog, buttonId);
    };
}

ModalScript::Act endModal(int id) {
    return [id](wxDialog& dialog) {
        if (dialog.IsModal()) dialog.EndModal(id);
    };
}

}  // namespace modaltest
