#pragma once
// The filter library's conversion entry point.
#include <cstdint>

namespace zc {

// desktop path, table list, synchronise, overwrite, handheld path; 0 = success.
extern "C" {
typedef int32_t (*DeviceToDesktopFn)(const char* desktopPath, const char* tableList,
                                     int32_t synchronise, int32_t overwrite,
                                     const char* handheldPath);
}

constexpr const char* kDeviceToDesktop = "DEVICETODESKTOP";

}  // namespace zc
