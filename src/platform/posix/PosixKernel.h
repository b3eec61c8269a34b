#pragma once
// Kernel functions over POSIX: the named mutex as an exclusive flock on a lock file, libraries
// through dlopen, and local files through open/pwrite/close.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Kernel.h"

namespace zc::posix {

// Windows error codes the layer reports through GetLastError.
constexpr uint32_t ERROR_FILE_NOT_FOUND_W = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND_W = 3;
constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES_W = 4;
constexpr uint32_t ERROR_ACCESS_DENIED_W = 5;
constexpr uint32_t ERROR_INVALID_HANDLE_W = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY_W = 8;
constexpr uint32_t ERROR_GEN_FAILURE_W = 31;
constexpr uint32_t ERROR_FILE_EXISTS_W = 80;
constexpr uint32_t ERROR_INVALID_PARAMETER_W = 87;
constexpr uint32_t ERROR_DISK_FULL_W = 112;
constexpr uint32_t ERROR_MOD_NOT_FOUND_W = 126;
constexpr uint32_t ERROR_PROC_NOT_FOUND_W = 127;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE_W = 206;

// The Windows error code that stands for an errno; `path` tells a missing file (its folder
// exists) from a missing folder.
uint32_t WindowsError(int err, const std::string& path = {});

class PosixKernel : public Kernel {
public:
    // Lock files go to the runtime folder, looked up when a mutex is created.
    PosixKernel() = default;
    explicit PosixKernel(std::string lockFolder) : lockFolder_(std::move(lockFolder)) {}
    ~PosixKernel() override;
    PosixKernel(const PosixKernel&) = delete;
    PosixKernel& operator=(const PosixKernel&) = delete;

    HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool initialOwner,
                        const std::string& name) override;
    uint32_t GetLastError() override;

    HMODULE LoadLibraryA(const std::string& path) override;
    void* GetProcAddress(HMODULE module, const std::string& name) override;
    bool FreeLibrary(HMODULE module) override;

    HANDLE CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                       const SECURITY_ATTRIBUTES* attributes, uint32_t creation, uint32_t flags,
                       HANDLE templateFile) override;
    bool WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count, uint32_t* written,
                   OVERLAPPED* overlapped) override;
    bool CloseHandle(HANDLE handle) override;

    std::string AppPath() override;
    std::string AppExeName() override;
    std::string ExpandEnvironmentStringsA(const std::string& text) override;

    // The loader's message for the last library that failed to load, for diagnostics.
    std::string LastLoadError();
    // The lock file a mutex of that name uses.
    std::string LockFile(const std::string& name) const;

private:
    enum class Kind { Mutex, File };
    struct Entry {
        Kind kind;
        int fd;  // -1 for a mutex another process holds, or an unnamed one
        int64_t position = 0;  // the file pointer, kept here: a write at an offset moves it, as on Windows
    };
    HANDLE Add(Kind kind, int fd);

    std::optional<std::string> lockFolder_;
    std::mutex mutex_;
    std::map<HANDLE, Entry> handles_;
    std::map<HMODULE, int> modules_;  // loaded libraries and their load counts
    HANDLE next_ = 4;
    uint32_t lastError_ = 0;
    std::string loadError_;
};

}  // namespace zc::posix
