#pragma once
// frmMain: the configuration fields, the counters and the three buttons; the form the steps see.
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "core/Form.h"
#include "shells/qt/LogWindow.h"
#include "platform/Waiting.h"

class QApplication;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;

namespace zc::qt {

// What the buttons and the window's end run; the program wires them to the core.
struct RunHandlers {
    std::function<void()> transfer;  // cmdTransfer
    std::function<void()> resend;    // cmdResend
    std::function<void()> unload;    // Exit and the close box, before the program ends
    std::function<void()> resume;    // once the window shows: a run cut short is finished
};

// Name, class and icon under which the window system and the desktop know the program.
void SetApplicationIdentity(QApplication& app);

class MainWindow : public QWidget, public Form {
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    void SetHandlers(RunHandlers handlers) { handlers_ = std::move(handlers); }

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

    // Runs the unload handler once, closes the log and ends the event loop. Later calls do nothing.
    void Unload();

    // The log window, or null while it does not exist.
    LogWindow* Log() const { return log_; }
    bool Running() const { return running_; }
    // Runs the resume handler as soon as the shown window waits for input.
    void ResumeWhenShown();
    // A Refresh sooner than this after the last one it painted waits for the next paint.
    void SetRefreshInterval(int milliseconds) { refreshInterval_ = milliseconds; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ModalScope;

    void cmdTransfer_Click();
    void cmdResend_Click();
    void cmdExit_Click();
    void Run(const std::function<void()>& run);
    void RefreshNow();
    void FlushRefresh();
    void Waiting(Wait wait);
    LogWindow& EnsureLog();
    void DiscardLog();
    QLineEdit* FieldBox(Field field) const;
    QWidget* BoxParent();

    RunHandlers handlers_;
    QPointer<LogWindow> log_;
    bool running_ = false;
    bool exitPending_ = false;
    bool unloaded_ = false;
    bool hourglass_ = false;
    QElapsedTimer sinceRefresh_;
    int refreshInterval_ = kPaintInterval;
    bool refreshPending_ = false;
    // Paints a held-back refresh as soon as an event loop runs.
    QTimer catchUp_;
    // Counter texts set while a paint is held back, by field; they go into their boxes with it.
    std::array<std::optional<QString>, static_cast<size_t>(Field::Failure) + 1> held_;

    QElapsedTimer sinceEvents_;  // since a wait last let the window system's events in
    bool inWait_ = false;

    QLineEdit* txtDeviceDir_;
    QLineEdit* txtLocalDir_;
    QLineEdit* txtServer_;
    QLineEdit* txtSite_;
    QLineEdit* txtSessions_;
    QLineEdit* txtEvents_;
    QLineEdit* txtSigns_;
    QLineEdit* txtSuccess_;
    QLineEdit* txtFailure_;
    QPushButton* cmdExit_;
    QPushButton* cmdResend_;
    QPushButton* cmdTransfer_;
    // Last, so that it goes first: no wait reaches a window half taken down.
    ScopedWaitHook waitHook_{[this](Wait wait) { Waiting(wait); }};
};

}  // namespace zc::qt
