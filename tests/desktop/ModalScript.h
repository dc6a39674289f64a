#pragma once
// Real modal loops in a test. While a ModalScript lives, every dialog and
// message box runs its own loop as it does for the user (GTK's own loop for a
// message box), and the script acts from inside those loops: each step waits
// until the innermost open modal has the step's title and its condition
// holds, then acts on it (answers the box, clicks a button of the dialog, or
// lets a held run go on). So events of a run can be made to arrive while a
// given box or dialog is open, in any chosen order. No DialogRecorder may
// live beside a script: it would answer the modals before they open.

#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace modaltest {

class ModalScript : public wxModalDialogHook {
public:
    using Ready = std::function<bool()>;
    using Act = std::function<void(wxDialog&)>;

    ModalScript();
    ~ModalScript() override;
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // Queues a step for the modal titled `title` (a dialog's title, a box's
    // caption, or the box's text when its caption is the toolkit's default):
    // once it is the innermost one open and ready() holds, act() runs on it.
    // Steps run in the order queued.
    ModalScript& when(const wxString& title, Ready ready, Act act);
    ModalScript& when(const wxString& title, Act act);

    // Titles of every modal opened while the script lived, in order.
    std::vector<std::string> titles() const;
    // Steps still waiting; nonzero means the script got stuck (after
    // kPatience without a step the open modals are ended, so that a broken
    // order fails instead of hanging the tests).
    int stepsLeft() const { return static_cast<int>(steps_.size()); }

    // True while a script lives: the other hooks of the tests then let the
    // modals run instead of answering them.
    static bool active();

    static constexpr std::chrono::seconds kPatience{20};

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    struct Step {
        wxString title;
        Ready ready;
        Act act;
    };
    struct Open {
        wxDialog* dialog;
        wxString title;
    };

    void tick();
    void actLater(wxDialog* dialog, Act act);
    bool isOpen(const wxDialog* dialog) const;

    std::deque<Step> steps_;
    std::vector<Open> open_;  // innermost last
    std::vector<std::string> titles_;
    wxTimer timer_;
    // One timer per act, kept until the script goes: a timer may not be
    // deleted from its own callback.
    std::vector<std::unique_ptr<wxTimer>> acts_;
    // An act is queued and has not run yet: one at a time.
    bool actPending_ = false;
    std::chrono::steady_clock::time_point lastStep_;
};

// Acts: what the user would do in the innermost modal.
// Answers a message box as its button does (wxID_YES, wxID_NO, wxID_OK).
ModalScript::Act answer(int id);
// Clicks the dialog's button with this id.
ModalScript::Act click(int buttonId);
// Ends one of the toolkit's own dialogs (the file dialog) as its button does.
ModalScript::Act endModal(int id);

}  // namespace modaltest
