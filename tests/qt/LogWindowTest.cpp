// The log window: its text, its field, its buttons, its life, and its painting during a run.
#include <QClipboard>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <gtest/gtest.h>

#include "QtHelpers.h"
#include "app/qt/LogWindow.h"
#include "app/qt/MainWindow.h"

namespace zc::qt {
namespace {

using test::ShowAndWait;
using test::TabChain;
using test::WhenModal;

QPlainTextEdit* Field(LogWindow& log) { return log.findChild<QPlainTextEdit*>("txtLog"); }

QStringList ShownLines(LogWindow& log) {
    QStringList lines;
    for (QTextBlock b = Field(log)->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

void Press(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
           const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(target, &release);
}

TEST(QtLogText, EveryLineEndsInCrLfAndBreaksShowAsLines) {
    LogWindow log;
    log.WriteLog("");
    EXPECT_EQ(log.Text(), "\r\n");

    log.WriteLog("Copying files");
    log.WriteLog("  ..a.bmp");
    EXPECT_EQ(log.Text(), "\r\nCopying files\r\n  ..a.bmp\r\n");

    // A server's answer arrives with its own line breaks, CR LF or bare LF.
    log.WriteLog("OK\r\nimported 3\nend");
    EXPECT_EQ(log.Text(), "\r\nCopying files\r\n  ..a.bmp\r\nOK\r\nimported 3\nend\r\n");

    log.WriteLog("Zürich €");
    log.ShowLog();
    EXPECT_EQ(ShownLines(log), (QStringList{"", "Copying files", "  ..a.bmp", "OK", "imported 3",
                                            "end", QString::fromUtf8("Zürich €"), ""}));
    EXPECT_TRUE(Field(log)->textCursor().atEnd());
    EXPECT_FALSE(Field(log)->textCursor().hasSelection());
}

TEST(QtLogText, LockedFieldCopiesTheLogWithItsLineEnds) {
    LogWindow log;
    log.WriteLog("first");
    log.WriteLog("second");
    ASSERT_TRUE(ShowAndWait(log));
    QPlainTextEdit* field = Field(log);

    Press(field, Qt::Key_X, Qt::NoModifier, "x");
    Press(field, Qt::Key_Backspace);
    Press(field, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(log.Text(), "first\r\nsecond\r\n");
    EXPECT_EQ(field->toPlainText(), "first\nsecond\n");

    QApplication::clipboard()->clear();
    Press(field, Qt::Key_A, Qt::ControlModifier);
    Press(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), log.Text());

    const QFont font = field->font();
    EXPECT_EQ(font.family(), "Courier New");
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_FALSE(font.bold());
    EXPECT_FALSE(font.italic());
    EXPECT_EQ(font.styleHint(), QFont::Monospace);
    EXPECT_EQ(field->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(field->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(field->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // The caret follows the new lines, so the last one is in view.
    for (int i = 0; i < 300; ++i) log.WriteLog("  ..line " + std::to_string(i));
    log.Flush();
    QApplication::processEvents();
    EXPECT_GT(field->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(field->viewport()->rect().contains(field->cursorRect()));
    EXPECT_TRUE(field->textCursor().atEnd());
}

TEST(QtLogWindow, FixedToolWindowWithItsButtonsBottomRight) {
    LogWindow log;
    ASSERT_TRUE(ShowAndWait(log));
    EXPECT_EQ(log.windowTitle(), "Log");
    const Qt::WindowFlags flags = log.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(log.minimumSize(), log.maximumSize());

    auto* field = Field(log);
    auto* clear = log.findChild<QPushButton*>("cmdClear");
    auto* close = log.findChild<QPushButton*>("cmdClose");
    ASSERT_TRUE(field && clear && close);
    EXPECT_EQ(clear->text(), "C&lear");
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_EQ(clear->shortcut(), QKeySequence(Qt::ALT | Qt::Key_L));
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    EXPECT_LT(clear->geometry().right(), close->geometry().left());
    EXPECT_EQ(clear->geometry().top(), close->geometry().top());
    EXPECT_GT(close->geometry().top(), field->geometry().bottom());
    EXPECT_GT(close->geometry().right(), log.width() * 9 / 10);
    EXPECT_GT(clear->geometry().left(), log.width() / 2);

    EXPECT_EQ(TabChain(field), (std::vector<QWidget*>{field, close, clear}));
}

TEST(QtLogLifecycle, WritingLeavesItHiddenAndCloseKeepsTheText) {
    MainWindow window;
    EXPECT_EQ(window.Log(), nullptr);
    window.WriteLog("-----");
    ASSERT_NE(window.Log(), nullptr);
    EXPECT_FALSE(window.Log()->isVisible());

    window.ShowLog();
    LogWindow* log = window.Log();
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->parent(), nullptr);  // no owner: it stands beside the main window
    window.WriteLog("run 1");

    log->findChild<QPushButton*>("cmdClose")->click();
    EXPECT_FALSE(log->isVisible());
    window.WriteLog("while hidden");
    EXPECT_FALSE(log->isVisible());

    window.ShowLog();
    EXPECT_EQ(window.Log(), log);
    EXPECT_TRUE(log->isVisible());
    window.WriteLog("run 2");
    EXPECT_EQ(log->Text(), "-----\r\nrun 1\r\nwhile hidden\r\nrun 2\r\n");
    log->Flush();
    EXPECT_EQ(ShownLines(*log), (QStringList{"-----", "run 1", "while hidden", "run 2", ""}));

    log->findChild<QPushButton*>("cmdClear")->click();
    EXPECT_EQ(log->Text(), "");
    EXPECT_EQ(Field(*log)->toPlainText(), "");
    EXPECT_TRUE(log->isVisible());
    window.WriteLog("-----");
    log->Flush();
    EXPECT_EQ(log->Text(), "-----\r\n");
    EXPECT_EQ(ShownLines(*log), (QStringList{"-----", ""}));
}

TEST(QtLogLifecycle, CloseBoxDiscardsTheWindowAndItsText) {
    MainWindow window;
    window.ShowLog();
    window.WriteLog("old line");
    QPointer<LogWindow> first = window.Log();

    first->close();  // what the title-bar close box does
    EXPECT_EQ(window.Log(), nullptr);
    EXPECT_FALSE(first->isVisible());

    window.WriteLog("new line");
    ASSERT_NE(window.Log(), nullptr);
    EXPECT_NE(window.Log(), first.data());
    EXPECT_FALSE(window.Log()->isVisible());
    EXPECT_EQ(window.Log()->Text(), "new line\r\n");

    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    // Shown again after the close box: a fresh, empty log.
    window.Log()->close();
    window.ShowLog();
    ASSERT_NE(window.Log(), nullptr);
    EXPECT_TRUE(window.Log()->isVisible());
    EXPECT_EQ(window.Log()->Text(), "");
}

TEST(QtLogPainting, EachLineIsPaintedWithoutAnEventLoop) {
    LogWindow log;
    log.ShowLog();
    log.SetRepaintInterval(0);
    for (int i = 0; i < 5; ++i) {
        log.WriteLog("line " + std::to_string(i));
        EXPECT_EQ(log.PaintedLength(), log.Text().size()) << "line " << i;
    }
}

TEST(QtLogPainting, HeldBackLinesArePaintedBeforeABoxAndWhenARunEnds) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    window.ShowLog();
    LogWindow* log = window.Log();
    log->SetRepaintInterval(1000 * 3600);  // every line after a paint is held back

    window.WriteLog("Uploading files");
    window.WriteLog("  ..c_zilba_1.txt");
    EXPECT_LT(log->PaintedLength(), log->Text().size());

    std::size_t paintedAtBox = 0;
    {
        test::OnFirstShow<QMessageBox> shown(
            [&](QMessageBox*) { paintedAtBox = log->PaintedLength(); });
        WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
        window.ShowMessage("Finished.");
    }
    EXPECT_EQ(paintedAtBox, log->Text().size());

    // Likewise before the file dialog.
    window.WriteLog("Copying files");
    paintedAtBox = 0;
    {
        test::OnFirstShow<QFileDialog> shown(
            [&](QFileDialog*) { paintedAtBox = log->PaintedLength(); });
        WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        window.ChooseFile("Select export file", "*.txt");
    }
    EXPECT_EQ(paintedAtBox, log->Text().size());

    // A run's last lines are painted when it returns.
    window.SetHandlers({[&] {
                            window.WriteLog("Transfer complete: now");
                            window.WriteLog("Importing");
                        },
                        {}, {}});
    window.findChild<QPushButton*>("cmdTransfer")->click();
    EXPECT_EQ(log->PaintedLength(), log->Text().size());

    // So is a line held back when the main window repaints for a counter.
    window.WriteLog("  ..a.bmp");
    window.Refresh();
    EXPECT_EQ(log->PaintedLength(), log->Text().size());
}

TEST(QtLogPainting, HeldBackLinesReachTheFieldOnceAnEventLoopRuns) {
    LogWindow log;
    log.ShowLog();
    log.SetRepaintInterval(1000 * 3600);
    log.WriteLog("a");
    log.WriteLog("b");
    QApplication::processEvents();
    EXPECT_EQ(log.ShownLength(), log.Text().size());
    EXPECT_EQ(Field(log)->toPlainText(), "a\nb\n");
}

}  // namespace
}  // namespace zc::qt
