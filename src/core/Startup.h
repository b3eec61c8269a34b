#pragma once
#include "core/Form.h"
#include "core/Steps.h"

namespace zc {

// Never resolves, so a transfer left on the default fails clearly.
constexpr const char* kDefaultServer = "zilba.brennowick.example";
constexpr const char* kDefaultSite = "bnwck";
constexpr const char* kDefaultDeviceDir = "\\My Documents\\Pocket Zilba";
constexpr const char* kAutoStartKey = "SOFTWARE\\Microsoft\\Windows CE Services\\AutoStartOnConnect";
constexpr const char* kAutoStartValue = "Zilba Companion";
constexpr const char* kMutexName = "ZCMutex";

enum class StartOutcome {
    Run,             // show the window and wait for a button
    AlreadyRunning,  // end at once, silently
    Fatal,           // the fatal box was shown; unload and end
};

bool IsAlreadyRunning(MainForm& f);
StartOutcome Form_Load(MainForm& f, const Steps& steps);
// Frees the filter library; the shell then ends the program.
void Form_Unload(MainForm& f, const Steps& steps);

}  // namespace zc
