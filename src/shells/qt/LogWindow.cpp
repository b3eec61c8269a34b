#include "shells/qt/LogWindow.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace zc::qt {

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 380;

// A message may hold its own line breaks (a server's answer); each shows as a line of its own.
QString ShownLine(const std::string& message) {
    QString line = QString::fromStdString(message);
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    line.append(QLatin1Char('\n'));
    return line;
}

QFont LogFont() {
    // Courier New where it is installed, else its metric twin, else any fixed-pitch face.
    QFont font(QStringLiteral("Courier New"), 9, QFont::Normal);
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

// Eats what the user's hands send: presses, keys and the shortcuts they make, the wheel, touch.
class InputDropper : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                return true;
            default:
                return false;
        }
    }
};

}  // namespace

void LetEventsButNoInputIn() {
    InputDropper dropper;
    QCoreApplication::instance()->installEventFilter(&dropper);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&dropper);
}

LogText::LogText(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);  // the log only grows; an undo history would double its memory
    setFont(LogFont());
}

QMimeData* LogText::createMimeDataFromSelection() const {
    QString text = textCursor().selection().toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

LogWindow::LogWindow()
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Log"));

    txtLog_ = new LogText(this);
    txtLog_->setObjectName(QStringLiteral("txtLog"));
    txtLog_->viewport()->installEventFilter(this);

    cmdClear_ = new QPushButton(QStringLiteral("C&lear"), this);
    cmdClear_->setObjectName(QStringLiteral("cmdClear"));
    cmdClose_ = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose_->setObjectName(QStringLiteral("cmdClose"));
    cmdClear_->setAutoDefault(true);  // Enter presses the button that has the focus
    cmdClose_->setAutoDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClear_);
    buttons->addWidget(cmdClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtLog_, 1);
    layout->addLayout(buttons);

    setTabOrder(txtLog_, cmdClose_);
    setTabOrder(cmdClose_, cmdClear_);

    connect(cmdClear_, &QPushButton::clicked, this, &LogWindow::cmdClear_Click);
    connect(cmdClose_, &QPushButton::clicked, this, &LogWindow::cmdClose_Click);

    setFixedSize(kWidth, kHeight);
}

void LogWindow::WidenFor(const QString& line) {
    // The text, the field's margins and frame, its vertical scroll bar and the window's margins.
    const QMargins outside = layout()->contentsMargins();
    int needed = txtLog_->fontMetrics().horizontalAdvance(line) +
                 2 * static_cast<int>(txtLog_->document()->documentMargin()) + 2 * txtLog_->frameWidth() +
                 txtLog_->verticalScrollBar()->sizeHint().width() + outside.left() + outside.right() + 4;
    if (const QScreen* shown = screen()) needed = std::min(needed, shown->availableGeometry().width());
    if (needed > width()) setFixedSize(needed, kHeight);
}

void LogWindow::WriteLog(const std::string& message) {
    // The field takes lines in batches, one per paint: putting each line into it on its own
    // costs far more than painting does once the log is long.
    text_.append(message).append("\r\n");
    unshown_.append(ShownLine(message));
}

void LogWindow::ShowLog() {
    const bool wasVisible = isVisible();
    ShowPendingLines();
    show();
    if (wasVisible)
        raise();
    else
        WaitUntilExposed();
    RepaintNow();
}

void LogWindow::Flush() {
    if (!unshown_.isEmpty()) PaintLog();
}

void LogWindow::RepaintNow() {
    if (!isVisible()) return;
    ShowPendingLines();
    repaint();
}

void LogWindow::PaintLog() {
    ShowPendingLines();
    if (isVisible()) txtLog_->viewport()->repaint();
}

void LogWindow::ShowPendingLines() {
    if (unshown_.isEmpty()) return;
    QTextCursor end = txtLog_->textCursor();
    end.movePosition(QTextCursor::End);
    end.insertText(unshown_);
    txtLog_->setTextCursor(end);  // caret at the end scrolls to the last line
    unshown_.clear();
    shown_ = text_.size();
}

void LogWindow::WaitUntilExposed() {
    // A window only takes paints once the window system has mapped it, and that news arrives as an
    // event. Runs show the log from inside a click, so let that event in here, but no user input,
    // and give up after a second rather than hang on a window system that never answers.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        LetEventsButNoInputIn();
        if (!isVisible() || (windowHandle() && windowHandle()->isExposed() &&
                             testAttribute(Qt::WA_Mapped)))
            return;
        if (waited.elapsed() > 1000) return;
        QThread::msleep(2);
    }
}

void LogWindow::cmdClear_Click() {
    text_.clear();
    unshown_.clear();
    shown_ = 0;
    painted_ = 0;
    txtLog_->clear();
}

void LogWindow::cmdClose_Click() { hide(); }

void LogWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit discarded();
}

bool LogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtLog_->viewport() && event->type() == QEvent::Paint) painted_ = shown_;
    return QWidget::eventFilter(watched, event);
}

}  // namespace zc::qt
