#pragma once
// frmLog: the running account of every step of a run.
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <string>

class QPushButton;

namespace zc::qt {

// A line or count written during a run is on screen at most this long after it was written (or
// at once, before the run waits). A paint costs about a millisecond, so a run writing thousands
// of lines a second paints some 25 times a second rather than with every line.
inline constexpr int kPaintInterval = 40;

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

    // Appends the message and CR LF, puts the caret at the end and paints the line (coalesced).
    void WriteLog(const std::string& message);
    // Shows the window modeless and paints it at once, since a run goes on without an event loop.
    void ShowLog();
    // Paints the last line if the coalescing held it back.
    void Flush();
    // Whether a held-back line has waited its interval out.
    bool Overdue() const { return pending_ && sincePaint_.isValid() && sincePaint_.elapsed() >= interval_; }
    // Makes the window wide enough to show `line` whole, as far as the screen allows.
    void WidenFor(const QString& line);
    // Paints the whole window at once, e.g. where a closed box left a hole in it.
    void RepaintNow();

    // The log: every line written since this window was created or cleared, each with CR LF.
    const std::string& Text() const { return text_; }
    // How much of Text() the log field showed at its last paint.
    std::size_t PaintedLength() const { return painted_; }
    // How much of Text() the log field holds; the rest waits for the next paint.
    // Lines arriving sooner than this after a paint wait for the next paint (or Flush).
    void SetRepaintInterval(int milliseconds) { interval_ = milliseconds; }

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
    QTimer catchUp_;   // puts held-back lines into the field as soon as an event loop runs
    QElapsedTimer sincePaint_;
    int interval_ = kPaintInterval;
    bool pending_ = false;
    std::size_t painted_ = 0;
};

}  // namespace zc::qt
