#pragma once
// The shell's folder lookup.
#include <cstdint>
#include <string>

namespace zc {

constexpr int32_t kCsidlPersonal = 5;
constexpr int kMaxPath = 260;

class ShellFolder {
public:
    virtual ~ShellFolder() = default;
    // Fills `path` (MAX_PATH chars) with the folder, NUL-terminated; 0 on success.
    virtual int32_t SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token, uint32_t flags,
                                     char* path) = 0;
    // The local directory used when the documents folder cannot be had.
    virtual std::string FallbackLocalDir() = 0;
};

}  // namespace zc
