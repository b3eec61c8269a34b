#pragma once
// frmMain with the Windows API: the configuration fields, the counters and the three buttons;
// the form the steps see.
#include "platform/win32/WinApi.h"

#include <array>
#include <functional>
#include <string>

#include "core/Controller.h"
#include "shells/win32/LogWindow.h"

namespace zc::win32 {

// The controller's clock: the system's millisecond count, whose differences stay right across its wrap.
class TickCountTicks : public Ticks {
public:
    uint32_t Milliseconds() override { return ::GetTickCount(); }
};

class MainWindow : public Window {
public:
    // Creates the window hidden; the icon and banners come from the program's resources.
    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND window() const { return window_; }
    LogWindow& Log() { return log_; }

    // Runs the windows' messages until the program ends.
    int RunMessages();

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
    void Attach(Controller* controller) override { controller_ = controller; }
    void WidenLog(const std::string& line) override { logWidth_ = line; }
    void LetEventsIn() override;
    void DropInput() override;
    // Shows the window with the focus on Transfer and paints it.
    void ShowMain() override;
    void WhenShown(std::function<void()> then) override { then(); }
    void End() override;

private:
    friend class ModalScope;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls(HINSTANCE instance);
    void Close();
    int Box(const std::string& text, const char* title, UINT type);

    HWND window_ = nullptr;
    std::array<HWND, static_cast<size_t>(Field::Failure) + 1> fields_{};
    std::array<HBITMAP, 2> banners_{};
    HWND focus_ = nullptr;  // the control that had the focus when the window was last left
    LogWindow log_;
    std::string logWidth_;  // the line the log is made wide enough for
    Controller* controller_ = nullptr;
    bool hourglass_ = false;
};

}  // namespace zc::win32
