#pragma once
// What a window does around a run, once for both window shells: one run at a time, an Exit asked
// for during a run, the end, when held-back lines and counts are painted, what a wait lets in,
// and the start-up to the first window. The shells draw and take input; they forward clicks,
// closes and their timers here, and the steps see this controller as their form.
#include <cstdint>
#include <optional>
#include <string>

#include "core/Form.h"
#include "core/Startup.h"
#include "core/Steps.h"
#include "platform/Waiting.h"

namespace zc {

constexpr const char* kProgramTitle = "Zilba Companion";

// A line or count written during a run is on screen at most this long after it was written (or
// at once, before the run waits). A paint costs about a millisecond, so a run writing thousands
// of lines a second paints some 25 times a second rather than with every line. A wait lets the
// window system's events in as often.
constexpr uint32_t kPaintInterval = 40;

// Milliseconds from any start; differences stay right across a wrap.
class Ticks {
public:
    virtual ~Ticks() = default;
    virtual uint32_t Milliseconds() = 0;
};

class Controller;

// A window shell: the form drawn at once (Refresh paints everything held back, WriteLog only
// appends to the log, ShowLog shows the log as wide as WidenLog asked), and its event loop.
class Window : public Form {
public:
    // Where the shell sends its clicks, closes and held-back paints; null once it is gone.
    virtual void Attach(Controller* controller) { (void)controller; }
    virtual void WidenLog(const std::string& line) = 0;
    // A paint is held back: the shell asks the controller to paint once its event loop runs.
    virtual void PaintHeld() {}
    // The window system's events but the user's keys and clicks, for a moment.
    virtual void LetEventsIn() = 0;
    // Drops the keys and clicks queued while a run kept the thread: they must not act after it.
    virtual void DropInput() {}
    virtual void ShowMain() = 0;
    // Runs `then` as soon as the shown window waits for input.
    virtual void WhenShown(std::function<void()> then) = 0;
    // Takes both windows down and ends the event loop.
    virtual void End() = 0;
};

class Controller : public Form {
public:
    Controller(Window& window, Platform& platform, const Steps& steps, Ticks& ticks);
    ~Controller() override;
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    MainForm& form() { return form_; }
    bool Running() const { return running_; }
    // The log's close box does nothing while a run writes to it.
    bool MayCloseLog() const { return !running_; }

    // The program: start-up, the shell's event loop until the end, and the unload; the exit code.
    int RunProgram(const std::function<int()>& eventLoop);
    // Start-up to the first window. False when the program ends at once, with `exitCode`;
    // else the window shows, and a run cut short is finished once it waits for input.
    bool Start(int& exitCode);
    void Transfer() { Run(steps_.transfer); }
    void Resend() { Run(steps_.resend); }
    // Exit and the close box: the end, or after the run when one is going on (ending in the
    // middle would pull the filter library from under it).
    void Close();
    // Frees what start-up took and takes the windows down, once; later calls do nothing.
    void Unload();
    // A held-back paint, when the shell's event loop runs.
    void PaintIfHeld();

    std::string Text(Field field) override { return window_.Text(field); }
    void SetText(Field field, const std::string& text) override { window_.SetText(field, text); }
    void Refresh() override { Changed(); }
    void WriteLog(const std::string& message) override;
    void ShowLog() override;
    bool AskYesNo(const std::string& prompt) override;
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    std::string ChooseFile(const std::string& title, const std::string& filter,
                           const std::string& folder) override;
    void SetCursor(Cursor cursor) override { window_.SetCursor(cursor); }

private:
    void Run(void (*command)(MainForm&));
    void RunGuarded(const std::function<void()>& run);
    void Changed();
    void PaintNow();
    bool PaintDue();
    void Waiting(Wait wait);

    Window& window_;
    const Steps& steps_;
    Ticks& ticks_;
    MainForm form_;
    bool running_ = false;
    bool exitPending_ = false;
    bool unloaded_ = false;
    bool held_ = false;     // lines or counts wait for a paint
    std::optional<uint32_t> lastPaint_;   // none before the first paint
    std::optional<uint32_t> lastEvents_;  // none before the events were first let in
    bool inWait_ = false;
    // Last, so that it goes first: no wait reaches a controller half taken down.
    ScopedWaitHook waitHook_{[this](Wait wait) { Waiting(wait); }};
};

}  // namespace zc
