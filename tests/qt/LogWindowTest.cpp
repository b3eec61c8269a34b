// The log window: its width, its life, and its painting during a run.
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <gtest/gtest.h>

#include "QtHelpers.h"
#include "app/qt/LogWindow.h"
#include "app/qt/MainWindow.h"
#include "platform/Waiting.h"

namespace zc::qt {
namespace {

using test::ShowAndWait;
using test::WhenModal;

QPlainTextEdit* Field(LogWindow& log) { return log.findChild<QPlainTextEdit*>("txtLog"); }
QPushButton* Button(LogWindow& log, const char* name) { return log.findChild<QPushButton*>(name); }

QStringList ShownLines(LogWindow& log) {
    QStringList lines;
    for (QTextBlock b = Field(log)->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

// Whether every line written so far was painted by the time a window of type T came up.
template <class T>
bool PaintedBeforeShown(LogWindow& log, const std::function<void()>& show) {
    std::size_t painted = 0;
    test::OnFirstShow<T> shown([&](T*) { painted = log.PaintedLength(); });
    WhenModal<T>([](T* window) { window->reject(); });
    show();
    return painted == log.Text().size();
}

// The export file's upload line carries its full path; it reads whole, without scrolling, for
// the local directory set when the run shows the log.
TEST(QtLogWindow, TheExportFilesUploadLineFitsWithoutScrolling) {
    for (const char* local : {"/root/Documents/Zilba Companion",
                              "/home/alexandra.whitfield/Documents/Zilba Companion"}) {
        MainWindow window;
        window.SetText(Field::LocalDir, local);
        window.ShowLog();
        LogWindow* log = window.Log();
        log->WriteLog("  .." + std::string(local) + "/Export/c_zilba_06122026_192009.txt: Success");
        log->Flush();
        QApplication::processEvents();
        EXPECT_EQ(Field(*log)->horizontalScrollBar()->maximum(), 0) << local;
        EXPECT_EQ(log->minimumSize(), log->maximumSize()) << "still of a fixed size";
    }
}

TEST(QtLogLifecycle, WritingLeavesItHiddenCloseKeepsTheTextAndClearEmptiesIt) {
    MainWindow window;
    EXPECT_EQ(window.Log(), nullptr);
    window.WriteLog("-----");
    LogWindow* log = window.Log();
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(log->isVisible());
    window.ShowLog();
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->parent(), nullptr) << "no owner: it stands beside the main window";
    Button(*log, "cmdClose")->click();
    EXPECT_FALSE(log->isVisible());
    window.WriteLog("while hidden");
    EXPECT_FALSE(log->isVisible());
    window.ShowLog();
    EXPECT_EQ(window.Log(), log);
    log->Flush();
    EXPECT_EQ(ShownLines(*log), (QStringList{"-----", "while hidden", ""}));

    Button(*log, "cmdClear")->click();
    EXPECT_EQ(log->Text(), "");
    EXPECT_EQ(Field(*log)->toPlainText(), "");
    EXPECT_TRUE(log->isVisible());
    window.WriteLog("-----");
    log->Flush();
    EXPECT_EQ(ShownLines(*log), (QStringList{"-----", ""}));
}

TEST(QtLogPainting, LinesArePaintedWithoutAnEventLoopAndHeldBackOnesBeforeBoxesAndAtTheEnd) {
    LogWindow alone;
    alone.ShowLog();
    alone.SetRepaintInterval(0);
    for (int i = 0; i < 3; ++i) {
        alone.WriteLog("line " + std::to_string(i));
        EXPECT_EQ(alone.PaintedLength(), alone.Text().size()) << i;
    }
    alone.SetRepaintInterval(1000 * 3600);  // every line after a paint is held back
    alone.WriteLog("a");
    EXPECT_LT(alone.PaintedLength(), alone.Text().size());
    QApplication::processEvents();
    EXPECT_EQ(alone.ShownLength(), alone.Text().size()) << "an event loop catches up";

    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    window.ShowLog();
    LogWindow* log = window.Log();
    log->SetRepaintInterval(1000 * 3600);
    window.WriteLog("Uploading files");
    window.WriteLog("  ..c_zilba_1.txt");
    EXPECT_LT(log->PaintedLength(), log->Text().size());
    EXPECT_TRUE(PaintedBeforeShown<QMessageBox>(*log, [&] { window.ShowMessage("Finished."); }));
    window.WriteLog("Copying files");
    EXPECT_TRUE(PaintedBeforeShown<QFileDialog>(*log, [&] { window.ChooseFile("Select export file", "*.txt"); }));

    // A run's last lines are painted when it returns, and so is a line held back when the main
    // window repaints for a counter.
    window.SetHandlers({[&] { window.WriteLog("Transfer complete: now"); }, {}, {}});
    window.findChild<QPushButton*>("cmdTransfer")->click();
    EXPECT_EQ(log->PaintedLength(), log->Text().size());
    window.WriteLog("  ..a.bmp");
    window.Refresh();
    EXPECT_EQ(log->PaintedLength(), log->Text().size());

    // Before a call on the handheld, a line held back for its whole interval is painted.
    log->SetRepaintInterval(20);
    window.WriteLog("Copying file: S_5001.bmp");
    QThread::msleep(30);
    Waiting(Wait::Brief);
    EXPECT_EQ(log->PaintedLength(), log->Text().size());
}

}  // namespace
}  // namespace zc::qt
