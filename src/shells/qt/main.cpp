// ZilbaCompanion: the Qt windows on the Linux platform layer.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "core/Controller.h"
#include "shells/qt/MainWindow.h"
#include "platform/Error.h"
#include "platform/NativePlatform.h"
#include "runs/Runs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zc::qt::SetApplicationIdentity(app);

    try {
        zc::NativePlatform os;
        zc::qt::MainWindow window;
        zc::qt::ElapsedTicks ticks;
        zc::Controller controller(window, os.platform(), zc::ProgramSteps(), ticks);
        return controller.RunProgram([&app] { return app.exec(); });
    } catch (const std::exception& e) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(zc::kProgramTitle),
                        QStringLiteral("Fatal error: ") + QString::fromStdString(zc::DescribeError(e)),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }
}
