// The shell's tests need a real application object; they run under the offscreen platform.
#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform remarks on every window operation it cannot carry out (raising a
// window, passing on size hints); those say nothing about the program, so keep them out.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps dialog state in the user's config folder; test processes running side by side
    // must not share it.
    QTemporaryDir config, runtime;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // Without a runtime folder (as under CI, and when the build lists the tests) Qt warns.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    defaultHandler = qInstallMessageHandler(QuietOffscreen);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
