#pragma once
// The local file functions over the Win32 file API (the W functions, so that no name is lost to
// the ANSI code page). Failures raise the classic file error with Windows' own message.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace zc::win32 {

// Raises the file error for a failed call on `path`: the classic number that fits the Windows
// error code, and the description "<classic text>: <path> (<Windows' message>)".
[[noreturn]] void RaiseFileError(uint32_t code, const std::string& path);

// Whether a folder listing shows an entry of these attributes and, for a reparse point, this
// reparse tag: plain, read-only and archive files, a cloud placeholder among them; never a
// folder, a hidden or system file, a device, a link or a mount point.
bool IsListed(uint32_t attributes, uint32_t reparseTag);

class Win32FileSystem : public FileSystem {
public:
    bool Exists(const std::string& path) override;
    void MkDir(const std::string& path) override;
    // The entries IsListed shows, sorted by name without regard to case, as Explorer shows them.
    std::vector<std::string> ListFiles(const std::string& folder,
                                       const std::string& pattern) override;
    void FileCopy(const std::string& source, const std::string& destination) override;
    void Kill(const std::string& path) override;
    // Moves a file to a new name that must not exist yet: one rename on the same volume, else a
    // copy that is on the disk before the source is deleted. A read-only file moves too.
    void MoveFile(const std::string& source, const std::string& destination) override;
    // Puts a file's content on the disk. A folder needs nothing more on Windows: its entries go
    // to the disk through the file system's log with the flush of the files they name.
    void ReplaceFile(const std::string& source, const std::string& destination) override;
    void Flush(const std::string& path) override;
    std::unique_ptr<TextFile> CreateText(const std::string& path) override;
    std::vector<uint8_t> ReadBinary(const std::string& path) override;
};

}  // namespace zc::win32
