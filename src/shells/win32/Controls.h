#pragma once
// The Windows shell's control identifiers and window classes. The windows are found and driven
// by these (the Wine test's driver uses them too), so they do not change once shipped.

namespace zc::win32 {

inline constexpr char kMainClass[] = "ZilbaCompanionMain";  // captioned "Zilba Companion"
inline constexpr char kLogClass[] = "ZilbaCompanionLog";    // captioned "Log"

enum ControlId : int {
    // frmMain
    IDC_DEVICEDIR = 101,  // txtDeviceDir
    IDC_LOCALDIR = 102,   // txtLocalDir
    IDC_SERVER = 103,     // txtServer
    IDC_SITE = 104,       // txtSite
    IDC_SESSIONS = 105,   // txtSessions
    IDC_EVENTS = 106,     // txtEvents
    IDC_SIGNS = 107,      // txtSigns
    IDC_SUCCESS = 108,    // txtSuccess
    IDC_FAILURE = 109,    // txtFailure
    IDC_TRANSFER = 110,   // cmdTransfer
    IDC_RESEND = 111,     // cmdResend
    IDC_EXIT = 112,       // cmdExit
    // frmLog
    IDC_LOG = 201,        // txtLog
    IDC_CLEAR = 202,      // cmdClear
    IDC_CLOSE = 203,      // cmdClose
};

}  // namespace zc::win32
