#pragma once
// The shell's folder lookup: SHGetFolderPathA.
#include "platform/ShellFolder.h"

namespace zc::win32 {

class Win32ShellFolder : public ShellFolder {
public:
    int32_t SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token, uint32_t flags,
                             char* path) override;
    std::string FallbackLocalDir() override;  // C:\My Documents\Zilba Companion
};

}  // namespace zc::win32
