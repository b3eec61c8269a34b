#pragma once
// Separators and names of the desktop platform.
#include <string>

namespace zc {

#ifdef _WIN32
constexpr const char* kSep = "\\";
constexpr const char* kExeSuffix = ".exe";
#else
constexpr const char* kSep = "/";
constexpr const char* kExeSuffix = "";
#endif

// The part of a local path after its last separator; the whole path when it has none.
inline std::string FileNameOf(const std::string& path) {
    size_t cut = path.rfind(kSep);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace zc
