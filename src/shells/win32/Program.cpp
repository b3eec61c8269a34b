#include "shells/win32/Program.h"

#include <exception>

#include "core/Controller.h"
#include "shells/win32/MainWindow.h"
#include "platform/Error.h"
#include "platform/win32/Com.h"
#include "platform/win32/WinText.h"
#include "runs/Runs.h"

namespace zc::win32 {

int RunProgram(HINSTANCE instance, Platform& platform) {
    ComApartment apartment;  // the file dialog's shell folders need one
    try {
        MainWindow window(instance);
        TickCountTicks ticks;
        Controller controller(window, platform, ProgramSteps(), ticks);
        return controller.RunProgram([&window] { return window.RunMessages(); });
    } catch (const std::exception& e) {
        ::MessageBoxA(nullptr, ToAnsi("Fatal error: " + DescribeError(e)).c_str(), kProgramTitle,
                      MB_OK | MB_SETFOREGROUND);
        return 1;
    }
}

}  // namespace zc::win32
