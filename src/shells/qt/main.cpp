// ZilbaCompanion: start-up runs before the window shows, so its boxes stand alone.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "core/Startup.h"
#include "shells/qt/MainWindow.h"
#include "platform/Error.h"
#include "platform/NativePlatform.h"
#include "runs/Journal.h"
#include "runs/Runs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zc::qt::SetApplicationIdentity(app);

    try {
        zc::NativePlatform os;
        zc::qt::MainWindow window;
        zc::MainForm mainForm{window, os.platform()};
        window.SetHandlers({
            [&mainForm] { zc::cmdTransfer_Click(mainForm); },
            [&mainForm] { zc::cmdResend_Click(mainForm); },
            [&mainForm] { zc::Form_Unload(mainForm); },
            [&mainForm] { zc::FinishInterruptedRun(mainForm); },
        });

        switch (zc::Form_Load(mainForm)) {
            case zc::StartOutcome::AlreadyRunning:
                return 0;
            case zc::StartOutcome::Fatal:
                window.Unload();
                return 1;
            case zc::StartOutcome::Run:
                break;
        }
        window.show();
        window.ResumeWhenShown();
        const int code = app.exec();
        window.Unload();  // a session ending the event loop without closing the window
        return code;
    } catch (const std::exception& e) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zilba Companion"),
                        QStringLiteral("Fatal error: ") + QString::fromStdString(zc::DescribeError(e)),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }
}
