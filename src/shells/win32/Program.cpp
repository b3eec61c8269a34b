#include "shells/win32/Program.h"

#include <exception>

#include "core/Startup.h"
#include "shells/win32/MainWindow.h"
#include "platform/Error.h"
#include "platform/win32/Com.h"
#include "platform/win32/WinText.h"
#include "runs/Journal.h"
#include "runs/Runs.h"

namespace zc::win32 {

int RunProgram(HINSTANCE instance, Platform& platform) {
    ComApartment apartment;  // the file dialog's shell folders need one
    try {
        // Start-up runs before the window shows, so its boxes stand alone.
        MainWindow window(instance);
        MainForm mainForm{window, platform};
        window.SetHandlers({
            [&mainForm] { cmdTransfer_Click(mainForm); },
            [&mainForm] { cmdResend_Click(mainForm); },
            [&mainForm] { Form_Unload(mainForm); },
            [&mainForm] { FinishInterruptedRun(mainForm); },
        });
        switch (Form_Load(mainForm)) {
            case StartOutcome::AlreadyRunning:
                return 0;
            case StartOutcome::Fatal:
                window.Unload();
                return 1;
            case StartOutcome::Run:
                break;
        }
        const int code = window.Run();
        window.Unload();  // a session ending the message loop without closing the window
        return code;
    } catch (const std::exception& e) {
        ::MessageBoxA(nullptr, ToAnsi("Fatal error: " + DescribeError(e)).c_str(), "Zilba Companion",
                      MB_OK | MB_SETFOREGROUND);
        return 1;
    }
}

}  // namespace zc::win32
