#include "platform/posix/PosixFileSystem.h"

#include "platform/posix/XdgPaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "platform/Error.h"
#include "platform/NameRules.h"
#include "platform/Text.h"

namespace zc::posix {

namespace {


[[noreturn]] void Raise(int32_t number, const std::string& path, const std::string& reason) {
    throw Error(number, std::string(ClassicText(number)) + ": " + path + " (" + reason + ")");
}

std::string SystemMessage(int err) { return std::generic_category().message(err); }

// The folder part of a path, "." when it has none.
std::string ParentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `isFolder`: the path names a folder the caller needs, so a missing one is "path not found".
int32_t NumberFor(int err, const std::string& path, bool isFolder) {
    switch (err) {
        case ENOENT:
            return isFolder || !IsFolder(ParentOf(path)) ? kErrPathNotFound : kErrFileNotFound;
        case ENOTDIR: return kErrPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return kErrPermissionDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kErrDiskFull;
        case EMFILE:
        case ENFILE: return kErrTooManyFiles;
        case EIO: return kErrDeviceIo;
        default: return kErrPathFileAccess;
    }
}

[[noreturn]] void RaiseErrno(int err, const std::string& path, bool isFolder = false) {
    Raise(NumberFor(err, path, isFolder), path, SystemMessage(err));
}

// Windows refuses to replace or delete a read-only file; a file without the owner's write
// permission is this platform's read-only file (rm asks before removing one, too).
bool IsReadOnly(const struct stat& st) { return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR); }

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Writes everything or returns the errno of the failure.
int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

class PosixTextFile : public TextFile {
public:
    PosixTextFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
        buffer_.reserve(kFlushAt + 4096);
    }
    ~PosixTextFile() override {
        if (fd_ < 0) return;
        // Whatever was printed reaches the file even when the caller never got to Close.
        WriteLines();
        ::close(fd_);
    }

    void PrintLine(const std::string& line) override {
        if (fd_ < 0) Raise(kErrBadFileNumber, path_, "file is closed");
        buffer_ += ToCodePage(line);
        buffer_ += "\r\n";
        if (buffer_.size() >= kFlushAt) Flush();
    }

    void Close() override {
        if (fd_ < 0) return;
        int err = WriteLines();
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err != 0) RaiseErrno(err, path_);
    }

private:
    static constexpr size_t kFlushAt = 64 * 1024;

    void Flush() {
        if (int err = WriteLines()) RaiseErrno(err, path_);
    }

    // The buffer holds whole lines; a write that fails part-way (a full disk) is cut back to
    // the last whole line, so the file never ends in half a record.
    int WriteLines() {
        int err = WriteAll(fd_, buffer_.data(), buffer_.size());
        if (err == 0) {
            written_ += static_cast<off_t>(buffer_.size());
        } else if (::ftruncate(fd_, written_) == 0) {
            ::lseek(fd_, written_, SEEK_SET);
        }
        buffer_.clear();
        return err;
    }

    int fd_;
    off_t written_ = 0;
    std::string path_;
    std::string buffer_;
};

}  // namespace

void RaiseFileError(int err, const std::string& path) { RaiseErrno(err, path); }

bool PosixFileSystem::Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

void PosixFileSystem::MkDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) {
        int err = errno;
        // A missing parent is the usual reason; name it as such.
        Raise(err == ENOENT ? kErrPathNotFound : NumberFor(err, path, true), path,
              SystemMessage(err));
    }
}

std::vector<std::string> PosixFileSystem::ListFiles(const std::string& folder,
                                                    const std::string& pattern) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) RaiseErrno(errno, folder, true);
    std::vector<std::string> names;
    int dirFd = ::dirfd(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st {};
        // A link is left out: what it points to may lie outside the folder, and nothing the
        // program lists is ever read or sent through one.
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (WildcardMatch(pattern, name)) names.push_back(std::move(name));
        errno = 0;
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) RaiseErrno(err, folder, true);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return ListsBefore(a, b); });
    return names;
}

void PosixFileSystem::FileCopy(const std::string& source, const std::string& destination) {
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (in.get() < 0) RaiseErrno(errno, source);
    struct stat ss {};
    if (::fstat(in.get(), &ss) != 0) RaiseErrno(errno, source);
    if (!S_ISREG(ss.st_mode)) Raise(kErrPathFileAccess, source, "not a regular file");

    struct stat ds {};
    // A link at the destination is replaced by the copy, never written through.
    if (::lstat(destination.c_str(), &ds) == 0) {
        // A file copied onto itself (same name, or another name of the same file) stays as it is.
        if (ds.st_dev == ss.st_dev && ds.st_ino == ss.st_ino) return;
        if (S_ISDIR(ds.st_mode)) RaiseErrno(EISDIR, destination);
        if (IsReadOnly(ds)) Raise(kErrPermissionDenied, destination, "read-only file");
    }

    // The copy goes to a hidden file beside the destination and replaces it in one rename, so a
    // failure part-way leaves the old destination (and always the source) as they were.
    auto slash = destination.rfind('/');
    std::string folderPart = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    // A short name of its own: the destination's name may already be as long as a name can be.
    std::string temp = folderPart + ".zc-copy-XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) RaiseErrno(errno, destination);
    struct TempGuard {
        std::string path;
        bool keep = false;
        ~TempGuard() {
            if (!keep) ::unlink(path.c_str());
        }
    } guard{temp};

    // Sized to the file (a bitmap is some 20 KB), at most 256 KB, and not cleared first: the
    // backup copies a thousand files in a row.
    const size_t size = std::clamp<size_t>(static_cast<size_t>(ss.st_size) + 1, 4096, 256 * 1024);
    std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(size);
    for (;;) {
        ssize_t n = ::read(in.get(), buffer.get(), size);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseErrno(errno, source);
        }
        if (n == 0) break;
        if (int err = WriteAll(out.get(), buffer.get(), static_cast<size_t>(n))) {
            RaiseErrno(err, destination);
        }
    }
    // As a plain copy does: the source's permissions (a read-only file stays read-only) within
    // the umask, and its times.
    ::fchmod(out.get(), ss.st_mode & 0777 & ~CurrentUmask());
    const struct timespec times[2] = {ss.st_atim, ss.st_mtim};
    ::futimens(out.get(), times);
    if (::close(out.release()) != 0) RaiseErrno(errno, destination);
    if (::rename(temp.c_str(), destination.c_str()) != 0) RaiseErrno(errno, destination);
    guard.keep = true;
}

void PosixFileSystem::Kill(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) RaiseErrno(errno, path);
    if (S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
    if (IsReadOnly(st)) Raise(kErrPathFileAccess, path, "read-only file");
    if (::unlink(path.c_str()) != 0) RaiseErrno(errno, path);
}

void PosixFileSystem::MoveFile(const std::string& source, const std::string& destination) {
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) RaiseErrno(errno, source);
    if (!S_ISREG(st.st_mode)) Raise(kErrPathFileAccess, source, "not a regular file");
    // One rename that never replaces: the destination is a new name in a new folder.
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0)
        return;
    int err = errno;
    if (err != EXDEV && err != EINVAL && err != ENOSYS) RaiseErrno(err, err == EEXIST ? destination : source);
    // Another volume, or a file system that cannot rename without replacing: copy, and delete
    // the source only once the copy is on the disk.
    if (::lstat(destination.c_str(), &st) == 0) RaiseErrno(EEXIST, destination);
    FileCopy(source, destination);
    Flush(destination);
    if (::unlink(source.c_str()) != 0) RaiseErrno(errno, source);
}

void PosixFileSystem::ReplaceFile(const std::string& source, const std::string& destination) {
    if (::rename(source.c_str(), destination.c_str()) != 0) RaiseErrno(errno, destination);
}

void PosixFileSystem::Flush(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) RaiseErrno(errno, path);
    // A folder's fsync puts its entries on the disk, never the files they name.
    if (::fsync(fd.get()) != 0) RaiseErrno(errno, path);
}

std::unique_ptr<TextFile> PosixFileSystem::CreateText(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) RaiseErrno(errno, path);
    return std::make_unique<PosixTextFile>(fd, path);
}

std::vector<uint8_t> PosixFileSystem::ReadBinary(const std::string& path) {
    int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (raw < 0) RaiseErrno(errno, path);
    Fd fd(raw);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) RaiseErrno(errno, path);
    if (S_ISDIR(st.st_mode)) RaiseErrno(EISDIR, path);
    // A pipe or device could deliver bytes for ever.
    if (!S_ISREG(st.st_mode)) Raise(kErrPathFileAccess, path, "not a regular file");

    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    uint8_t chunk[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseErrno(errno, path);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

}  // namespace zc::posix
