#pragma once
// frmMain with the Windows API: the configuration fields, the counters and the three buttons;
// the form the steps see.
#include "platform/win32/WinApi.h"

#include <array>
#include <functional>
#include <string>

#include "core/Form.h"
#include "shells/win32/LogWindow.h"
#include "platform/Waiting.h"

namespace zc::win32 {

// What the buttons and the window's end run; the program wires them to the core.
struct RunHandlers {
    std::function<void()> transfer;  // cmdTransfer
    std::function<void()> resend;    // cmdResend
    std::function<void()> unload;    // Exit and the close box, before the program ends
    std::function<void()> resume;    // once the window shows: a run cut short is finished
};

class MainWindow : public Form {
public:
    // Creates the window hidden; the icon and banners come from the program's resources.
    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void SetHandlers(RunHandlers handlers) { handlers_ = std::move(handlers); }
    HWND window() const { return window_; }
    LogWindow& Log() { return log_; }
    bool Running() const { return running_; }
    // A paint sooner than this after the last one waits for the next paint, box, wait or run end.
    void SetRefreshInterval(unsigned milliseconds) { refreshInterval_ = milliseconds; }

    // Shows the window with the focus on Transfer and paints it.
    void Show();
    // Shows the window and runs its messages until the program ends.
    int Run();
    // Runs the unload handler once, takes both windows down and ends the message loop.
    void Unload();

    std::string Text(Field field) override;
    void SetText(Field field, const std::string& text) override;
    void Refresh() override;
    void WriteLog(const std::string& message) override;
    void ShowLog() override;
    bool AskYesNo(const std::string& prompt) override;
    void ShowMessage(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    std::string ChooseFile(const std::string& title, const std::string& filter,
                           const std::string& folder) override;
    void SetCursor(Cursor cursor) override;

private:
    friend class ModalScope;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);
    void RunCommand(const std::function<void()>& run);
    void Close();
    void PaintNow();
    void PaintIfDue();
    void Waiting(Wait wait);
    int Box(const std::string& text, const char* title, UINT type);

    HWND window_ = nullptr;
    std::array<HWND, static_cast<size_t>(Field::Failure) + 1> fields_{};
    std::array<HBITMAP, 2> banners_{};
    HWND focus_ = nullptr;  // the control that had the focus when the window was last left
    LogWindow log_;
    RunHandlers handlers_;
    bool running_ = false;
    bool exitPending_ = false;
    bool unloaded_ = false;
    bool paintPending_ = false;
    unsigned refreshInterval_ = 16;
    DWORD lastPaint_ = 0;  // GetTickCount() times: differences stay right across its wrap
    DWORD lastEvents_ = 0;
    bool inWait_ = false;
    // Last, so that it goes first: no wait reaches a window half taken down.
    ScopedWaitHook waitHook_{[this](Wait wait) { Waiting(wait); }};
};

}  // namespace zc::win32
