// The two windows: counts and lines while painting is held back, the buttons and the close
// boxes while a run waits, and the end.
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "QtHelpers.h"
#include "shells/qt/LogWindow.h"
#include "shells/qt/MainWindow.h"
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

// While paints are held back, a count reads back at once; whatever was held back, in either
// window, is on screen before a box or the file dialog comes up, before a call on the handheld
// once its interval has passed, and when a run returns.
TEST(QtPainting, HeldBackCountsAndLinesAreOnScreenBeforeEveryBoxWaitAndEndOfARun) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    window.ShowLog();
    LogWindow* log = window.Log();
    QLineEdit* events = Find<QLineEdit>(window, "txtEvents");
    auto shown = [&] { return events->text().toStdString() + "|" + std::to_string(log->Text().size() - log->PaintedLength()); };
    log->SetRepaintInterval(1000 * 3600);
    window.SetRefreshInterval(1000 * 3600);
    window.SetText(Field::Events, "1");
    window.Refresh();  // painted: the first one after the window came up
    window.SetText(Field::Events, "2");
    window.Refresh();  // held back
    window.SetText(Field::Events, "3");
    window.WriteLog("Uploading files");
    window.SetText(Field::Site, "bnwck");
    EXPECT_EQ(window.Text(Field::Events), "3") << "the run reads back what it set";
    EXPECT_EQ(events->text(), "2");
    EXPECT_GT(log->Text().size(), log->PaintedLength());
    EXPECT_EQ(Find<QLineEdit>(window, "txtSite")->text(), "bnwck") << "a field people type into never waits";

    std::string withBox, withDialog;
    {
        // A box shows its text as it is, never as markup.
        test::OnFirstShow<QMessageBox> box([&](QMessageBox* b) {
            withBox = shown() + (b->textFormat() == Qt::PlainText ? "" : " as markup");
        });
        WhenModal<QMessageBox>([](QMessageBox* b) { b->reject(); });
        window.ShowMessage("Error: <b>RAPI</b>");
    }
    window.SetText(Field::Events, "4");
    window.WriteLog("Copying files");
    {
        test::OnFirstShow<QFileDialog> dialog([&](QFileDialog*) { withDialog = shown(); });
        WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        window.ChooseFile("Select export file", "*.txt", "/");
    }
    EXPECT_EQ(withBox + " " + withDialog, "3|0 4|0");

    window.SetHandlers({[&] {
                            window.Refresh();
                            window.SetText(Field::Events, "5");
                            window.WriteLog("Transfer complete: now");
                        },
                        {}, {}, {}});
    Find<QPushButton>(window, "cmdTransfer")->click();
    EXPECT_EQ(shown(), "5|0") << "a run's last count and line are painted when it returns";

    log->SetRepaintInterval(20);
    window.WriteLog("Copying file: S_5001.bmp");
    QThread::msleep(30);
    Waiting(Wait::Brief);
    EXPECT_EQ(shown(), "5|0") << "held back for its whole interval, painted before the next call";
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
                        {}, {}, {}});
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

}  // namespace
}  // namespace zc::qt
