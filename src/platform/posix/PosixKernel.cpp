#include "platform/posix/PosixKernel.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/posix/XdgPaths.h"

namespace zc::posix {

namespace {

constexpr uint32_t CREATE_NEW_W = 1;
constexpr uint32_t OPEN_ALWAYS_W = 4;
constexpr uint32_t TRUNCATE_EXISTING_W = 5;
constexpr uint32_t ERROR_NOACCESS_W = 998;

bool FolderOfExists(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return true;
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The running program's file, without the mark the kernel adds once the file was replaced.
std::string ExePath() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            const std::string deleted = " (deleted)";
            if (path.size() > deleted.size() &&
                path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
                path.resize(path.size() - deleted.size());
            return path;
        }
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

uint32_t WindowsError(int err, const std::string& path) {
    switch (err) {
        case 0: return 0;
        case ENOENT:
            return !path.empty() && !FolderOfExists(path) ? ERROR_PATH_NOT_FOUND_W
                                                          : ERROR_FILE_NOT_FOUND_W;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND_W;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return ERROR_ACCESS_DENIED_W;
        case EBADF: return ERROR_INVALID_HANDLE_W;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY_W;
        case EEXIST: return ERROR_FILE_EXISTS_W;
        case EINVAL: return ERROR_INVALID_PARAMETER_W;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL_W;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE_W;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES_W;
        default: return ERROR_GEN_FAILURE_W;
    }
}

PosixKernel::~PosixKernel() {
    // Files are closed; a held mutex stays held until the process ends, as the program relies on.
    for (auto& [handle, entry] : handles_)
        if (entry.kind == Kind::File && entry.fd >= 0) ::close(entry.fd);
}

HANDLE PosixKernel::Add(Kind kind, int fd) {
    while (handles_.count(next_) || next_ <= 0) next_ = next_ <= 0 ? 4 : next_ + 4;
    HANDLE h = next_;
    next_ += 4;
    handles_[h] = Entry{kind, fd};
    return h;
}

std::string PosixKernel::LockFile(const std::string& name) const {
    std::string file = name;
    for (char& c : file)
        if (c == '/' || c == '\\') c = '_';
    return (lockFolder_ ? *lockFolder_ : RuntimeDir()) + "/" + file + ".lock";
}

HANDLE PosixKernel::CreateMutexA(const SECURITY_ATTRIBUTES* attributes, bool,
                                 const std::string& name) {
    std::lock_guard lock(mutex_);
    if (name.empty()) {  // an unnamed mutex is never shared
        lastError_ = 0;
        return Add(Kind::Mutex, -1);
    }
    std::string path = LockFile(name);
    int flags = O_RDWR | O_CREAT | O_NOFOLLOW;
    if (!attributes || !attributes->bInheritHandle) flags |= O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        lastError_ = WindowsError(errno, path);  // never ERROR_ALREADY_EXISTS
        return 0;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        lastError_ = 0;
        return Add(Kind::Mutex, fd);
    }
    int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
        // Another holder: the mutex exists, and this handle merely names it.
        lastError_ = kErrorAlreadyExists;
        return Add(Kind::Mutex, -1);
    }
    lastError_ = WindowsError(err, path);
    return 0;
}

uint32_t PosixKernel::GetLastError() {
    std::lock_guard lock(mutex_);
    return lastError_;
}

HMODULE PosixKernel::LoadLibraryA(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (path.empty()) {  // dlopen(NULL) would hand back the program itself
        lastError_ = ERROR_MOD_NOT_FOUND_W;
        loadError_ = "no library named";
        return 0;
    }
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        loadError_ = why ? why : "cannot load " + path;
        lastError_ = ERROR_MOD_NOT_FOUND_W;
        return 0;
    }
    auto module = reinterpret_cast<HMODULE>(handle);
    ++modules_[module];
    return module;
}

void* PosixKernel::GetProcAddress(HMODULE module, const std::string& name) {
    std::lock_guard lock(mutex_);
    // Module 0 would be dlsym's "search everything"; only loaded libraries are asked.
    if (!modules_.count(module)) {
        lastError_ = ERROR_INVALID_HANDLE_W;
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(reinterpret_cast<void*>(module), name.c_str());
    if (!symbol) lastError_ = ERROR_PROC_NOT_FOUND_W;
    return symbol;
}

bool PosixKernel::FreeLibrary(HMODULE module) {
    std::lock_guard lock(mutex_);
    auto it = modules_.find(module);
    if (it == modules_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_W;
        return false;
    }
    if (--it->second == 0) modules_.erase(it);
    if (::dlclose(reinterpret_cast<void*>(module)) != 0) {
        lastError_ = ERROR_GEN_FAILURE_W;
        return false;
    }
    return true;
}

std::string PosixKernel::LastLoadError() {
    std::lock_guard lock(mutex_);
    return loadError_;
}

HANDLE PosixKernel::CreateFileA(const std::string& path, uint32_t access, uint32_t,
                                const SECURITY_ATTRIBUTES* attributes, uint32_t creation,
                                uint32_t, HANDLE) {
    std::lock_guard lock(mutex_);
    bool read = access & kGenericRead;
    bool write = access & kGenericWrite;
    int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (creation) {
        case CREATE_NEW_W: flags |= O_CREAT | O_EXCL; break;
        case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
        case kOpenExisting: break;
        case OPEN_ALWAYS_W: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING_W: flags |= O_TRUNC; break;
        default: lastError_ = ERROR_INVALID_PARAMETER_W; return kInvalidHandle;
    }
    if ((flags & O_TRUNC) && !write) {
        lastError_ = ERROR_INVALID_PARAMETER_W;
        return kInvalidHandle;
    }
    if (!attributes || !attributes->bInheritHandle) flags |= O_CLOEXEC;
    // A link named like the file would let a write land on whatever it points to.
    flags |= O_NOFOLLOW;
    struct stat before {};
    bool existed = ::lstat(path.c_str(), &before) == 0;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        lastError_ = WindowsError(errno, path);
        return kInvalidHandle;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a folder is no file to read or write
        ::close(fd);
        lastError_ = ERROR_ACCESS_DENIED_W;
        return kInvalidHandle;
    }
    // As on Windows, replacing or opening an existing file succeeds and says so.
    lastError_ = existed && (creation == kCreateAlways || creation == OPEN_ALWAYS_W)
                     ? kErrorAlreadyExists
                     : 0;
    return Add(Kind::File, fd);
}

bool PosixKernel::WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count,
                            uint32_t* written, OVERLAPPED* overlapped) {
    std::lock_guard lock(mutex_);
    if (written) *written = 0;
    auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != Kind::File) {
        lastError_ = ERROR_INVALID_HANDLE_W;
        return false;
    }
    if (!buffer && count > 0) {
        lastError_ = ERROR_NOACCESS_W;
        return false;
    }
    int fd = it->second.fd;
    off_t offset;
    if (overlapped) {
        offset = static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                    overlapped->Offset);
    } else {
        offset = it->second.position;
    }
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, buffer + done, count - done, offset + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Writing through a handle opened for reading is refused, as on Windows.
            lastError_ = errno == EBADF ? ERROR_ACCESS_DENIED_W : WindowsError(errno);
            it->second.position = offset + done;
            if (written) *written = done;
            return false;
        }
        if (n == 0) {
            lastError_ = ERROR_DISK_FULL_W;
            it->second.position = offset + done;
            if (written) *written = done;
            return false;
        }
        done += static_cast<uint32_t>(n);
    }
    it->second.position = offset + done;
    if (written) *written = done;
    return true;
}

bool PosixKernel::CloseHandle(HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_W;
        return false;
    }
    int fd = it->second.fd;
    handles_.erase(it);
    if (fd >= 0 && ::close(fd) != 0) {
        lastError_ = WindowsError(errno);
        return false;
    }
    return true;
}

std::string PosixKernel::AppPath() {
    std::string exe = ExePath();
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string PosixKernel::ExpandEnvironmentStringsA(const std::string& text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('%', at), close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        const char* value = close > open + 1 ? std::getenv(text.substr(open + 1, close - open - 1).c_str()) : nullptr;
        out += value ? std::string(value) : text.substr(open, close + 1 - open);
        at = close + 1;
    }
    return out + text.substr(at);
}

std::string PosixKernel::AppExeName() {
    std::string exe = ExePath();
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

}  // namespace zc::posix
