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

#include "core/Controller.h"
#include "shells/qt/LogWindow.h"

class QApplication;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;

namespace zc::qt {

// Name, class and icon under which the window system and the desktop know the program.
void SetApplicationIdentity(QApplication& app);

// The controller's clock: milliseconds since the window was made.
class ElapsedTicks : public Ticks {
public:
    ElapsedTicks() { elapsed_.start(); }
    uint32_t Milliseconds() override { return static_cast<uint32_t>(elapsed_.elapsed()); }

private:
    QElapsedTimer elapsed_;
};

class MainWindow : public QWidget, public Window {
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;


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
    void WidenLog(const std::string& line) override;
    void PaintHeld() override;
    void LetEventsIn() override;
    void DropInput() override;
    void ShowMain() override { show(); }
    void WhenShown(std::function<void()> then) override;
    void End() override;

    // The log window, or null while it does not exist.
    LogWindow* Log() const { return log_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ModalScope;

    LogWindow& EnsureLog();
    void DiscardLog();
    QLineEdit* FieldBox(Field field) const;
    QWidget* BoxParent();

    Controller* controller_ = nullptr;
    QPointer<LogWindow> log_;
    bool hourglass_ = false;
    bool paintHeld_ = false;
    // Paints what is held back as soon as an event loop runs.
    QTimer catchUp_;
    // Counter texts set while a paint is held back, by field; they go into their boxes with it.
    std::array<std::optional<QString>, static_cast<size_t>(Field::Failure) + 1> held_;

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
};

}  // namespace zc::qt
