#pragma once
// frmLog: the running account of every step of a run.
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <string>

class QPushButton;

namespace zc::qt {

// Runs the window system's events while a run is busy, every one but the user's clicks and keys:
// those are dropped, as the Windows windows drop theirs. Left queued instead, they would act once
// the run is over, and an impatient press of Transfer would start a second run.
void LetEventsButNoInputIn();

// txtLog: the user can select and copy but not type; a copy carries the log's own CR LF line ends.
class LogText : public QPlainTextEdit {
public:
    explicit LogText(QWidget* parent = nullptr);

protected:
    QMimeData* createMimeDataFromSelection() const override;
};

class LogWindow : public QWidget {
    Q_OBJECT

public:
    LogWindow();

    // Appends the message and CR LF; it goes into the field, caret at the end, with the next Flush.
    void WriteLog(const std::string& message);
    // Shows the window modeless and paints it at once, since a run goes on without an event loop.
    void ShowLog();
    // Puts the lines written since the last Flush into the field and paints them.
    void Flush();
    // Makes the window wide enough to show `line` whole, as far as the screen allows.
    void WidenFor(const QString& line);
    // Paints the whole window at once, e.g. where a closed box left a hole in it.
    void RepaintNow();

    // The log: every line written since this window was created or cleared, each with CR LF.
    const std::string& Text() const { return text_; }
    // How much of Text() the log field showed at its last paint.
    std::size_t PaintedLength() const { return painted_; }

signals:
    // The title-bar close box: the owner forgets this window, and its text with it.
    void discarded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdClear_Click();
    void cmdClose_Click();
    void PaintLog();
    void ShowPendingLines();
    void WaitUntilExposed();

    LogText* txtLog_;
    QPushButton* cmdClear_;
    QPushButton* cmdClose_;
    std::string text_;
    QString unshown_;  // lines already in text_ but not yet in the field, as the field shows them
    std::size_t shown_ = 0;
    std::size_t painted_ = 0;
};

}  // namespace zc::qt
