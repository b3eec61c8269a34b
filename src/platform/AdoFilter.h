#pragma once
// The filter library's conversion entry point.
#include <cstdint>

namespace zc {

// The filter library is called with the Windows calling convention (it matters on 32-bit
// Windows only).
#ifdef _WIN32
#define ZC_FILTER_CALL __stdcall
#else
#define ZC_FILTER_CALL
#endif

// desktop path, table list, synchronise, overwrite, handheld path; 0 = success.
extern "C" {
typedef int32_t (ZC_FILTER_CALL *DeviceToDesktopFn)(const char* desktopPath, const char* tableList,
                                     int32_t synchronise, int32_t overwrite,
                                     const char* handheldPath);
}

constexpr const char* kDeviceToDesktop = "DEVICETODESKTOP";

// What DEVICETODESKTOP returns. The program relies on 0 alone meaning success and every other
// value a failure; the filter libraries of the project number their failures alike, so a log or
// a debugger tells the causes apart on both platforms.
enum FilterResult : int32_t {
    kFilterOk = 0,
    kFilterBadArgument = 1,       // no desktop or handheld path
    kFilterNotDocked = 2,         // no connection to the handheld
    kFilterNoHandheldFile = 3,    // the handheld database is missing or cannot be read
    kFilterNotADatabase = 4,      // the handheld file is no database
    kFilterDesktopExists = 5,     // the desktop file exists and overwrite was not asked for
    kFilterWriteFailed = 6,       // the desktop file cannot be written
    kFilterNoSuchTable = 7,       // the table list names a table the database lacks
    kFilterTableListRefused = 8,  // a filter that converts every table was given a list
    kFilterInternal = 99,         // anything else went wrong inside the library
};

// A filter library's DEVICETODESKTOP around its conversion: nothing thrown crosses the library's
// edge, it is a failure of its own.
template <class Convert>
int32_t FilterResultOf(Convert&& convert) noexcept {
    try {
        return convert();
    } catch (...) {
        return kFilterInternal;
    }
}

}  // namespace zc
