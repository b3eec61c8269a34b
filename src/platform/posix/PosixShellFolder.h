#pragma once
// The shell's folder lookup on Linux: the personal documents folder is the XDG documents folder.
#include <cstdint>
#include <string>

#include "platform/ShellFolder.h"

namespace zc::posix {

// Results of the lookup, as the Windows shell gives them.
constexpr int32_t kShellOk = 0;
constexpr int32_t kShellFileNotFound = static_cast<int32_t>(0x80070002u);
constexpr int32_t kShellInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kShellPathTooLong = static_cast<int32_t>(0x800700CEu);

// XDG_DOCUMENTS_DIR of <config>/user-dirs.dirs; empty when the file or the entry is missing.
std::string ConfiguredDocumentsDir();

class PosixShellFolder : public ShellFolder {
public:
    int32_t SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token, uint32_t flags,
                             char* path) override;
    std::string FallbackLocalDir() override;  // $HOME/Zilba Companion
};

}  // namespace zc::posix
