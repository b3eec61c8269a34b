// The Qt windows under the controller: counts held back until the paint, boxes as plain text
// over painted windows, and the input and events that reach a waiting run.
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "QtHelpers.h"
#include "core/Controller.h"
#include "shells/qt/LogWindow.h"
#include "shells/qt/MainWindow.h"
#include "support/Rig.h"
#include "support/Scripted.h"

namespace zc::qt {
namespace {

using test::ShowAndWait;
using test::WhenModal;

struct QtRig : ::zc::test::Rig {
    template <class T = QLineEdit>
    T* Find(const char* name) { return window.findChild<T*>(QString::fromLatin1(name)); }
    MainWindow window;
    ::zc::test::TestTicks ticks;  // standing still: every change after the first paint is held back
    Controller c{window, os, ::zc::test::Scripted::Reset(), ticks};
};

TEST(QtWindows, HeldCountsReadBackAndReachTheirBoxesWithThePaintAndBoxesStandOverPaintedWindows) {
    QtRig rig;
    Controller& c = rig.c;
    ASSERT_TRUE(ShowAndWait(rig.window));
    c.ShowLog();
    LogWindow* log = rig.window.Log();
    QLineEdit* events = rig.Find("txtEvents");
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
    EXPECT_EQ(rig.Find("txtSite")->text(), "bnwck") << "a field people type into never waits";

    std::string withBox, withDialog;
    {
        test::OnFirstShow<QMessageBox> box([&](QMessageBox* b) {
            withBox = shown() + (b->textFormat() == Qt::PlainText ? "" : " as markup");
        });
        WhenModal<QMessageBox>([](QMessageBox* b) { b->reject(); });
        c.ShowMessage("Error: <b>RAPI</b>");
    }
    c.SetText(Field::Events, "4");
    c.WriteLog("Copying files");
    {
        test::OnFirstShow<QFileDialog> dialog([&](QFileDialog* d) {
            withDialog = shown() + " " + d->directory().absolutePath().toStdString();
        });
        WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        c.ChooseFile("Select export file", "*.txt", "/");
    }
    EXPECT_EQ(withBox + ", " + withDialog, "3|0, 4|0 /");

    c.Refresh();  // held back
    c.SetText(Field::Events, "5");
    c.WriteLog("Copying file: S_5001.bmp");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown(), "5|0") << "a held-back paint is done once the event loop runs";
}

// While a run waits: the windows take their events (a timer fires, with everything the run wrote
// painted before), a press of Transfer starts nothing, the close boxes do nothing, and the close
// asked for ends the program once the run is over.
TEST(QtWindows, ButtonsAndCloseBoxesReachTheControllerAndAWaitingRunLetsEventsIn) {
    QtRig rig;
    ASSERT_TRUE(ShowAndWait(rig.window));
    auto* transfer = rig.Find<QPushButton>("cmdTransfer");
    std::string duringWait;
    ::zc::test::Scripted::run = [&](const char* what) {
        duringWait += what;
        rig.c.ShowLog();
        QPointer<LogWindow> log = rig.window.Log();
        rig.c.WriteLog("Uploading files to server..");
        rig.c.SetText(Field::Success, "1");
        rig.c.Refresh();
        QTimer::singleShot(0, &rig.window, [&] {
            transfer->click();
            rig.window.close();
            log->close();
            duringWait += " " + rig.Find("txtSuccess")->text().toStdString() + " " +
                          std::to_string(log->Text().size() - log->PaintedLength());
        });
        Waiting(Wait::Long);
        duringWait += log && log->isVisible() && rig.window.isVisible() ? " shown" : " closed";
    };
    transfer->click();
    EXPECT_EQ(duringWait, "transfer 1 0 shown");
    EXPECT_FALSE(rig.window.isVisible()) << "the close asked for during the run comes after it";
    EXPECT_EQ(rig.window.Log(), nullptr);
    EXPECT_EQ(::zc::test::Scripted::unloads, 1);
}

}  // namespace
}  // namespace zc::qt
