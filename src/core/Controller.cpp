#include "core/Controller.h"

#include "core/Layout.h"
#include "platform/Paths.h"

namespace zc {

Controller::Controller(Window& window, Platform& platform, const Steps& steps, Ticks& ticks)
    : window_(window), steps_(steps), ticks_(ticks), form_(*this, platform) {
    window_.Attach(this);
}

Controller::~Controller() { window_.Attach(nullptr); }

int Controller::RunProgram(const std::function<int()>& eventLoop) {
    int code = 0;
    if (!Start(code)) return code;
    code = eventLoop();
    Unload();  // a session ending the event loop without closing the window
    return code;
}

bool Controller::Start(int& exitCode) {
    // Start-up runs before the window shows, so its boxes stand alone.
    switch (Form_Load(form_, steps_)) {
        case StartOutcome::AlreadyRunning:
            exitCode = 0;
            return false;
        case StartOutcome::Fatal:
            Unload();
            exitCode = 1;
            return false;
        case StartOutcome::Run:
            break;
    }
    window_.ShowMain();
    // A run cut short is finished before anything else, in the window the user sees.
    window_.WhenShown([this] { RunGuarded([this] { steps_.finishInterruptedRun(form_); }); });
    return true;
}

void Controller::Run(void (*command)(MainForm&)) {
    RunGuarded([this, command] { command(form_); });
}

void Controller::RunGuarded(const std::function<void()>& run) {
    // A box's own event loop may hand over a click queued while the run was busy: one run at a
    // time, and none once the program is ending.
    if (running_ || unloaded_) return;
    running_ = true;
    RunShowingErrors(*this, run);
    running_ = false;
    PaintNow();
    window_.DropInput();
    if (exitPending_) {
        exitPending_ = false;
        Close();
    }
}

void Controller::Close() {
    if (running_)
        exitPending_ = true;
    else
        Unload();
}

void Controller::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    try {
        Form_Unload(form_, steps_);
    } catch (...) {
        // Nothing is left to report to: the program is ending.
    }
    window_.End();  // the log window ends with the program
}

bool Controller::PaintDue() { return !lastPaint_ || ticks_.Milliseconds() - *lastPaint_ >= kPaintInterval; }

void Controller::PaintNow() {
    window_.Refresh();
    held_ = false;
    lastPaint_ = ticks_.Milliseconds();
}

void Controller::PaintIfHeld() {
    if (held_) PaintNow();
}

void Controller::Changed() {
    // A run steps a counter for every row it exports, and painting costs far more than the
    // step. One paint per interval shows every change a person could see; one held back is
    // painted by the next change after the interval, before a box, at a wait, when the run
    // ends, or as soon as the shell's event loop runs.
    if (PaintDue()) {
        PaintNow();
    } else if (!held_) {
        held_ = true;
        window_.PaintHeld();
    }
}

void Controller::Waiting(Wait wait) {
    // The run is about to wait, or waits: what it wrote goes on screen now -- all of it when the
    // wait is a real one, else what has waited its interval out (a brief call comes for every
    // kilobyte read from the handheld, and a paint costs far more than that).
    const bool now = wait == Wait::Long;
    if (now || (held_ && PaintDue())) PaintNow();

    // Then the window system's events, so that the windows repaint where they are uncovered and
    // the desktop sees the program answer; keys and clicks act on nothing. A close asked for
    // meanwhile is kept for the end of the run.
    if (!running_ || inWait_) return;
    if (!now && lastEvents_ && ticks_.Milliseconds() - *lastEvents_ < kPaintInterval) return;
    inWait_ = true;
    window_.LetEventsIn();
    inWait_ = false;
    lastEvents_ = ticks_.Milliseconds();
}

void Controller::WriteLog(const std::string& message) {
    window_.WriteLog(message);
    Changed();
}

void Controller::ShowLog() {
    // Wide enough for the longest line a run writes as a rule: the export file's upload line,
    // which carries the file's full path.
    window_.WidenLog("  .." + ExportFolder(form_) + kSep + "c_zilba_00000000_000000.txt: Success");
    window_.ShowLog();
}

// Before every box and dialog, the windows show the last line and count.
bool Controller::AskYesNo(const std::string& prompt) {
    PaintNow();
    return window_.AskYesNo(prompt);
}

void Controller::ShowMessage(const std::string& text) {
    PaintNow();
    window_.ShowMessage(text);
}

void Controller::ShowWarning(const std::string& text) {
    PaintNow();
    window_.ShowWarning(text);
}

std::string Controller::ChooseFile(const std::string& title, const std::string& filter,
                                   const std::string& folder) {
    PaintNow();
    return window_.ChooseFile(title, filter, folder);
}

}  // namespace zc
