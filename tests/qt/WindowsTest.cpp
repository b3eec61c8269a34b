// The Qt windows under the controller: counts held back until the paint, boxes as plain text
// over painted windows, and the input and events that reach a waiting run.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include "core/Controller.h"
#include "shells/qt/LogWindow.h"
#include "shells/qt/MainWindow.h"
#include "support/Rig.h"

namespace zc::qt {
namespace {

// Calls `check` with the first box or dialog of type T as it comes up, before its own event loop
// has run anything, then cancels it from within that loop: by the end of the scope, one waited.
template <class T>
struct OnModal : QObject {
    explicit OnModal(std::function<void(T*)> check) : check_(std::move(check)) { qApp->installEventFilter(this); }
    ~OnModal() override {
        qApp->removeEventFilter(this);
        EXPECT_TRUE(cancelled_) << "no box or dialog waited for an answer";
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* modal = event->type() == QEvent::Show ? qobject_cast<T*>(watched) : nullptr;
        if (!modal || !check_) return false;
        std::exchange(check_, nullptr)(modal);
        QTimer::singleShot(0, modal, [this, modal] { cancelled_ = true, modal->reject(); });
        return false;
    }
    std::function<void(T*)> check_;
    bool cancelled_ = false;
};

TEST(QtWindows, HeldCountsReachTheirBoxesWithThePaintAndAWaitingRunLetsEventsButNoCloseIn) {
    ::zc::test::Rig rig;
    MainWindow window;
    ::zc::test::TestTicks ticks;  // standing still: every change after the first paint is held back
    Controller c{window, rig.os, ::zc::test::Scripted::Reset(), ticks};
    auto find = [&](const char* name) { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); };
    window.show();
    QElapsedTimer waited;
    for (waited.start(); !window.windowHandle()->isExposed() && waited.elapsed() < 3000; QThread::msleep(2))
        QApplication::processEvents();
    QApplication::processEvents();
    ASSERT_TRUE(window.windowHandle()->isExposed());
    c.ShowLog();
    LogWindow* log = window.Log();
    QLineEdit* events = find("txtEvents");
    auto shown = [&] { return events->text().toStdString() + "|" + std::to_string(log->Text().size() - log->PaintedLength()); };
    c.SetText(Field::Events, "1");
    c.Refresh();  // the first paint
    c.SetText(Field::Events, "2");
    c.Refresh();  // held back
    c.SetText(Field::Events, "3");
    c.WriteLog("Uploading files");
    c.SetText(Field::Site, "bnwck");
    EXPECT_EQ(c.Text(Field::Events), "3") << "the run reads back what it set";
    EXPECT_EQ(shown(), "2|17");
    EXPECT_EQ(find("txtSite")->text(), "bnwck") << "a field people type into never waits";

    std::string withBox, withDialog;
    {
        OnModal<QMessageBox> box([&](QMessageBox* b) {
            withBox = shown() + (b->textFormat() == Qt::PlainText ? "" : " as markup");
        });
        c.ShowMessage("Error: <b>RAPI</b>");
    }
    c.SetText(Field::Events, "4");
    c.WriteLog("Copying files");
    {
        OnModal<QFileDialog> dialog([&](QFileDialog* d) {
            withDialog = shown() + " " + d->directory().absolutePath().toStdString();
        });
        c.ChooseFile("Select export file", "*.txt", "/");
    }
    EXPECT_EQ(withBox + ", " + withDialog, "3|0, 4|0 /");

    c.Refresh();  // held back
    c.SetText(Field::Events, "5");
    c.WriteLog("Copying file: S_5001.bmp");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), "5|0") << "a held-back paint is done once the event loop runs";

    // A click on Transfer, queued as the user's own while a run waits, is dropped at its end;
    // the same click after the run starts one.
    auto* transfer = window.findChild<QPushButton*>("cmdTransfer");
    auto queueInput = [&] {
        using Sys = QWindowSystemInterface;
        QWindow* w = window.windowHandle();
        const QPointF at = transfer->mapTo(&window, transfer->rect().center());
        Sys::handleMouseEvent<Sys::AsynchronousDelivery>(w, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                                         QEvent::MouseButtonPress);
        Sys::handleMouseEvent<Sys::AsynchronousDelivery>(w, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                                                         QEvent::MouseButtonRelease);
    };
    int runs = 0;
    ::zc::test::Scripted::run = [&](const char*) {
        if (++runs > 1) return;
        queueInput();
        Waiting(Wait::Long);
    };
    transfer->click();
    QWindowSystemInterface::flushWindowSystemEvents();
    EXPECT_EQ(runs, 1) << "input queued during the run started another";
    queueInput();
    QWindowSystemInterface::flushWindowSystemEvents();
    EXPECT_EQ(runs, 2) << "the click after the run";

    // While a run waits: the windows take their events (a timer fires, with everything the run
    // wrote painted before), a press of Transfer starts nothing, the close boxes do nothing, and
    // the close asked for ends the program once the run is over.
    std::string duringWait;
    ::zc::test::Scripted::run = [&](const char* what) {
        duringWait += what;
        c.ShowLog();
        QPointer<LogWindow> logWindow = window.Log();
        c.WriteLog("Uploading files to server..");
        c.SetText(Field::Success, "1");
        c.Refresh();
        QTimer::singleShot(0, &window, [&] {
            transfer->click();
            window.close();
            logWindow->close();
            duringWait += " " + find("txtSuccess")->text().toStdString() + " " +
                          std::to_string(logWindow->Text().size() - logWindow->PaintedLength());
        });
        Waiting(Wait::Long);
        duringWait += logWindow && logWindow->isVisible() && window.isVisible() ? " shown" : " closed";
    };
    transfer->click();
    EXPECT_EQ(duringWait, "transfer 1 0 shown");
    EXPECT_FALSE(window.isVisible()) << "the close asked for during the run comes after it";
    EXPECT_EQ(window.Log(), nullptr);
    EXPECT_EQ(::zc::test::Scripted::unloads, 1);
}

}  // namespace
}  // namespace zc::qt
