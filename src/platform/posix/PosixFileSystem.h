#pragma once
// The local file functions over POSIX calls. "Hidden" is a name that starts with a dot.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace zc::posix {

// Raises the file error for a failed system call on `path`: the classic number that fits the
// errno, and the description "<classic text>: <path> (<system message>)".
[[noreturn]] void RaiseFileError(int err, const std::string& path);

class PosixFileSystem : public FileSystem {
public:
    bool Exists(const std::string& path) override;
    void MkDir(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder,
                                       const std::string& pattern) override;
    void FileCopy(const std::string& source, const std::string& destination) override;
    void Kill(const std::string& path) override;
    void MoveFile(const std::string& source, const std::string& destination) override;
    void ReplaceFile(const std::string& source, const std::string& destination) override;
    void Flush(const std::string& path) override;
    std::unique_ptr<TextFile> CreateText(const std::string& path) override;
    std::vector<uint8_t> ReadBinary(const std::string& path) override;
};

}  // namespace zc::posix
