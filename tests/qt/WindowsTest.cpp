// The two windows: counts and lines while painting is held back, the boxes, the dialog, the
// buttons during a run, the end, and the log's width.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "QtHelpers.h"
#include "app/qt/LogWindow.h"
#include "app/qt/MainWindow.h"
#include "platform/Error.h"
#include "platform/Waiting.h"
#include "platform/posix/CurlHttp.h"
#include "support/Loopback.h"

namespace zc::qt {
namespace {

using test::ShowAndWait;
using test::WhenModal;

template <class T = QWidget>
T* Find(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Clicks `choice` on the next box, leaving in `seen` what it showed: "title|text|icon|buttons|
// text format|owner".
void Answer(QMessageBox::StandardButton choice, std::string& seen) {
    WhenModal<QMessageBox>([choice, &seen](QMessageBox* box) {
        QStringList shown{box->windowTitle(), box->text()};
        QMessageBox::Icon icon = box->icon();
        shown << (icon == QMessageBox::NoIcon     ? "no icon"
                  : icon == QMessageBox::Critical ? "critical"
                                                  : "other icon");
        QString buttons = box->standardButtons() == QMessageBox::Ok ? "Ok" : "Yes No";
        QAbstractButton *yes = box->button(QMessageBox::Yes), *no = box->button(QMessageBox::No);
        if (yes && box->defaultButton() == yes) buttons += " Yes default";
        if (no && box->escapeButton() == no) buttons += " No escapes";
        shown << buttons << (box->textFormat() == Qt::PlainText ? "plain" : "markup")
              << (box->parentWidget() ? "on the window" : "alone");
        seen = shown.join("|").toStdString();
        box->button(choice)->click();
    });
}

TEST(QtMainWindow, ACountSetWhileItsPaintIsHeldBackIsReadAtOnceAndShownWithThatPaint) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    QLineEdit* events = Find<QLineEdit>(window, "txtEvents");
    auto box = [](QLineEdit* b) { return b->text().toStdString(); };
    window.SetRefreshInterval(1000 * 3600);
    window.SetText(Field::Events, "1");
    window.Refresh();  // painted: the first one after the window came up
    window.SetText(Field::Events, "2");
    window.Refresh();  // held back
    window.SetText(Field::Events, "3");
    window.SetText(Field::Site, "bnwck");
    EXPECT_EQ(window.Text(Field::Events), "3") << "the run reads back what it set";
    EXPECT_EQ(box(events), "2");
    EXPECT_EQ(box(Find<QLineEdit>(window, "txtSite")), "bnwck") << "a field people type into never waits";
    QApplication::processEvents();
    EXPECT_EQ(box(events), "3") << "an event loop catches up";

    // Before a box comes up, and when a run ends.
    window.Refresh();
    window.SetText(Field::Success, "7");
    std::string shownWithBox, seen;
    QLineEdit* success = Find<QLineEdit>(window, "txtSuccess");
    test::OnFirstShow<QMessageBox> shown([&](QMessageBox*) { shownWithBox = box(success); });
    Answer(QMessageBox::Ok, seen);
    window.ShowMessage("Finished.");
    EXPECT_EQ(shownWithBox, "7");

    window.SetHandlers({[&] {
                            window.Refresh();
                            window.SetText(Field::Failure, "9");
                        },
                        {}, {}});
    Find<QPushButton>(window, "cmdTransfer")->click();
    EXPECT_EQ(box(Find<QLineEdit>(window, "txtFailure")), "9");

    window.SetRefreshInterval(0);  // nothing held back: every count goes straight into its box
    window.Refresh();
    window.SetText(Field::Events, "4");
    window.Refresh();
    window.SetText(Field::Events, "5");
    EXPECT_EQ(box(events), "5");
}

TEST(QtBoxes, QuestionsMessagesAndTheWarning) {
    MainWindow window;
    std::string seen;
    const std::string question = "|no icon|Yes No Yes default No escapes|plain|alone";
    Answer(QMessageBox::Yes, seen);  // before the window is shown a box stands on its own
    EXPECT_TRUE(window.AskYesNo("Have you connected the device to the PC?"));
    EXPECT_EQ(seen, "Zilba Companion|Have you connected the device to the PC?" + question);
    Answer(QMessageBox::No, seen);
    EXPECT_FALSE(window.AskYesNo("Data was downloaded from this device before.\r\nDo you want to continue?"));
    EXPECT_EQ(seen, "Zilba Companion|Data was downloaded from this device before.\nDo you want to continue?" +
                        question);
    ASSERT_TRUE(ShowAndWait(window));
    Answer(QMessageBox::Ok, seen);
    window.ShowMessage("Error: <b>RAPI</b>");
    EXPECT_EQ(seen, "Zilba Companion|Error: <b>RAPI</b>|no icon|Ok|plain|on the window");
    Answer(QMessageBox::Ok, seen);
    window.ShowWarning("Your system is running low on resource, please reboot");
    EXPECT_EQ(seen,
              "Warning|Your system is running low on resource, please reboot|critical|Ok|plain|on the window");
}

TEST(QtFileDialog, TitleFilterAndTheFolderOfTheBackups) {
    MainWindow window;
    QTemporaryDir dir;
    const QString backups = dir.filePath("Upload");
    QDir().mkpath(backups + "/06122026_192009");
    window.SetText(Field::LocalDir, dir.path().toStdString());
    // Cancelled: nothing chosen. Choosing a file is the toolkit's own business.
    QString seen;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        seen = dialog->windowTitle() + "|" + dialog->nameFilters().join(";") + "|" + dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_EQ(window.ChooseFile("Select export file", "*.txt"), "");
    EXPECT_EQ(seen, "Select export file|*.txt|" + backups) << "opens where the backups are";
}

TEST(QtRuns, AClickDuringARunStartsNothingAndAnEscapedErrorIsShown) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    auto* transfer = Find<QPushButton>(window, "cmdTransfer");
    auto* resend = Find<QPushButton>(window, "cmdResend");
    int transfers = 0, resends = 0;
    bool runningInside = false;
    window.SetHandlers({[&] {
                            if (++transfers > 1) return;  // a second run must not get here
                            runningInside = window.Running();
                            WhenModal<QMessageBox>([&](QMessageBox* box) {
                                transfer->click();  // handed over by the question's event loop
                                resend->click();
                                box->button(QMessageBox::Yes)->click();
                            });
                            window.AskYesNo("Have you connected the device to the PC?");
                        },
                        [&] {
                            if (++resends == 1) throw Error(-200, "Shell function error");
                        },
                        {}});
    transfer->click();
    EXPECT_EQ(transfers, 1);
    EXPECT_EQ(resends, 0);
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(window.Running());

    std::string seen;  // an error escaping a run is shown, and the buttons work again afterwards
    Answer(QMessageBox::Ok, seen);
    resend->click();
    EXPECT_EQ(seen, "Zilba Companion|Error: Shell function error|no icon|Ok|plain|on the window");
    resend->click();
    transfer->click();
    EXPECT_EQ(resends, 2);
    EXPECT_EQ(transfers, 2);
}

// A slow server: while the run waits for it, every line and count written before the request is
// on screen, both windows answer (timers run, a repaint asked for is done), and neither a second
// press of Transfer nor a close of either window does anything until the run is over.
TEST(QtRuns, WhileARequestWaitsTheWindowsArePaintedAndAnswerButNothingStartsOrCloses) {
    std::atomic<bool> serving{false};
    zc::test::LoopbackServer slow([&](const zc::test::Captured&) {
        serving = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        serving = false;
        return zc::test::Answer{200, "imported"};
    });
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    window.ShowLog();
    QPointer<LogWindow> log = window.Log();
    log->SetRepaintInterval(1000 * 3600);  // nothing is painted for its interval's sake
    window.SetRefreshInterval(1000 * 3600);
    auto* transfer = Find<QPushButton>(window, "cmdTransfer");
    QLineEdit* success = Find<QLineEdit>(window, "txtSuccess");

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } mainPaints;
    window.installEventFilter(&mainPaints);

    int runs = 0, looks = 0, unpainted = 0, paintsWhileWaiting = -1;
    std::string logAtEnd;
    bool visibleThroughout = true;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!serving) return;
        if (!log) {
            unpainted = 1000;  // the log went while the run wrote to it
            return;
        }
        if (++looks == 1) {
            transfer->click();
            window.close();
            log->close();
            paintsWhileWaiting = mainPaints.paints;
            window.update();  // as where a window that covered it went away
        } else if (paintsWhileWaiting >= 0 && mainPaints.paints > paintsWhileWaiting) {
            paintsWhileWaiting = -2;  // repainted while the request still waits
        }
        unpainted += log->PaintedLength() != log->Text().size() || success->text() != "1";
        visibleThroughout = visibleThroughout && window.isVisible() && log && log->isVisible();
    });
    window.SetHandlers({[&] {
                            ++runs;
                            window.WriteLog("Uploading files to server..");
                            window.WriteLog("  ..c_zilba_06122026_192009.txt: Success");
                            window.SetText(Field::Success, "1");
                            window.Refresh();
                            posix::CurlHttp http;
                            auto request = http.CreateRequest();
                            request->Open("GET", "http://" + slow.host() + "/cgi-bin/dwsrun", false);
                            request->Send({});
                            window.WriteLog("Status: " + std::to_string(request->Status()));
                            logAtEnd = window.Log() == log ? log->Text() : "another log";
                        },
                        {}, {}});
    watch.start();
    transfer->click();
    EXPECT_EQ(runs, 1);
    EXPECT_GT(looks, 5) << "timers ran while the request waited";
    EXPECT_EQ(unpainted, 0) << "a line or the count was not on screen while the request waited";
    EXPECT_EQ(paintsWhileWaiting, -2) << "no repaint while the request waited";
    EXPECT_TRUE(visibleThroughout);
    EXPECT_EQ(logAtEnd,
              "Uploading files to server..\r\n  ..c_zilba_06122026_192009.txt: Success\r\nStatus: 200\r\n");
    EXPECT_FALSE(window.isVisible()) << "the close asked for during the run comes after it";
}

TEST(QtExit, ExitTheCloseBoxAndACloseDuringARunUnloadOnceAndTakeTheLogAlong) {
    for (int way = 0; way < 3; ++way) {  // Exit, the close box, the close box during a run
        MainWindow window;
        int unloads = 0, unloadsDuringRun = -1;
        window.SetHandlers({[&] {
                                window.close();
                                unloadsDuringRun = unloads;
                            },
                            {}, [&] { ++unloads; }});
        ASSERT_TRUE(ShowAndWait(window));
        window.ShowLog();
        QPointer<LogWindow> log = window.Log();
        if (way == 1) window.close();
        else Find<QPushButton>(window, way == 0 ? "cmdExit" : "cmdTransfer")->click();
        if (way == 2) {
            EXPECT_EQ(unloadsDuringRun, 0) << "the run ends first";
        }
        EXPECT_EQ(unloads, 1) << way;
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(log.isNull());
        window.close();
        window.Unload();
        EXPECT_EQ(unloads, 1) << "once only";
        bool ran = false;
        window.SetHandlers({[&] { ran = true; }, {}, {}});
        Find<QPushButton>(window, "cmdTransfer")->click();
        EXPECT_FALSE(ran) << "after the end, the buttons run nothing";
    }
}

QPlainTextEdit* Field(LogWindow& log) { return log.findChild<QPlainTextEdit*>("txtLog"); }

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
