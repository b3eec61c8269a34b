// The shell's tests need a real application object; they run under the offscreen platform.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps dialog state in the user's config folder; test processes running side by side
    // must not share it.
    QTemporaryDir config, runtime;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // Without a runtime folder (as under CI, and when the build lists the tests) Qt warns.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
