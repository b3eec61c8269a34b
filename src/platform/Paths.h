#pragma once
// Separators and names of the desktop platform.
namespace zc {

#ifdef _WIN32
constexpr const char* kSep = "\\";
constexpr const char* kExeSuffix = ".exe";
#else
constexpr const char* kSep = "/";
constexpr const char* kExeSuffix = "";
#endif

}  // namespace zc
