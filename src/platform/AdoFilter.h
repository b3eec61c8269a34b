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

}  // namespace zc
