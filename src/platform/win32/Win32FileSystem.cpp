#include "platform/win32/Win32FileSystem.h"

#include "platform/win32/WinApi.h"

#include <algorithm>
#include <vector>

#include "platform/Error.h"
#include "platform/NameRules.h"
#include "platform/Text.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {


int32_t NumberFor(uint32_t code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND: return kErrFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY: return kErrPathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return kErrPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return kErrDiskFull;
        case ERROR_TOO_MANY_OPEN_FILES: return kErrTooManyFiles;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE: return kErrDeviceIo;
        default: return kErrPathFileAccess;
    }
}

[[noreturn]] void Raise(int32_t number, const std::string& path, const std::string& reason) {
    throw Error(number, std::string(ClassicText(number)) + ": " + path + " (" + reason + ")");
}

[[noreturn]] void RaiseLast(const std::string& path) { RaiseFileError(::GetLastError(), path); }

class Handle {
public:
    explicit Handle(::HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != kWinInvalidHandle && h_ != nullptr; }
    ::HANDLE get() const { return h_; }
    ::HANDLE release() {
        ::HANDLE h = h_;
        h_ = kWinInvalidHandle;
        return h;
    }

private:
    ::HANDLE h_;
};

// Writes everything or returns the error code of the failure.
DWORD WriteAll(::HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(file, data, chunk, &done, nullptr)) return ::GetLastError();
        if (done == 0) return ERROR_DISK_FULL;
        data += done;
        size -= done;
    }
    return 0;
}

class Win32TextFile : public TextFile {
public:
    Win32TextFile(::HANDLE file, std::string path) : file_(file), path_(std::move(path)) {
        buffer_.reserve(kFlushAt + 4096);
    }
    ~Win32TextFile() override {
        if (file_ == kWinInvalidHandle) return;
        // Whatever was printed reaches the file even when the caller never got to Close.
        WriteLines();
        ::CloseHandle(file_);
    }

    void PrintLine(const std::string& line) override {
        if (file_ == kWinInvalidHandle) Raise(kErrBadFileNumber, path_, "file is closed");
        buffer_ += ToAnsi(line);
        buffer_ += "\r\n";
        if (buffer_.size() >= kFlushAt) {
            if (DWORD err = WriteLines()) RaiseFileError(err, path_);
        }
    }

    void Close() override {
        if (file_ == kWinInvalidHandle) return;
        DWORD err = WriteLines();
        ::HANDLE file = file_;
        file_ = kWinInvalidHandle;
        if (!::CloseHandle(file) && err == 0) err = ::GetLastError();
        if (err != 0) RaiseFileError(err, path_);
    }

private:
    static constexpr size_t kFlushAt = 64 * 1024;

    // The buffer holds whole lines; a write that fails part-way (a full disk) is cut back to
    // the last whole line, so the file never ends in half a record.
    DWORD WriteLines() {
        DWORD err = WriteAll(file_, buffer_.data(), buffer_.size());
        if (err == 0) {
            written_ += static_cast<LONGLONG>(buffer_.size());
        } else {
            LARGE_INTEGER end{};
            end.QuadPart = written_;
            if (::SetFilePointerEx(file_, end, nullptr, FILE_BEGIN)) ::SetEndOfFile(file_);
        }
        buffer_.clear();
        return err;
    }

    ::HANDLE file_;
    LONGLONG written_ = 0;
    std::string path_;
    std::string buffer_;
};

}  // namespace

bool IsListed(uint32_t attributes, uint32_t reparseTag) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE))
        return false;
    // A file of a folder synced to the cloud is a reparse point too (a placeholder, whose
    // content the sync client fetches when it is read): it is the user's file like any other.
    // A link or a mount point stands for something elsewhere and is left out.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return reparseTag != IO_REPARSE_TAG_SYMLINK && reparseTag != IO_REPARSE_TAG_MOUNT_POINT;
    return true;
}

void RaiseFileError(uint32_t code, const std::string& path) {
    Raise(NumberFor(code), path, SystemMessage(code));
}

bool Win32FileSystem::Exists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Win32FileSystem::MkDir(const std::string& path) {
    if (!::CreateDirectoryW(Widen(path).c_str(), nullptr)) RaiseLast(path);
}

std::vector<std::string> Win32FileSystem::ListFiles(const std::string& folder,
                                                    const std::string& pattern) {
    WIN32_FIND_DATAW found{};
    // FindFirstFileW works on every Windows (the basic information level fails before Windows 7).
    ::HANDLE search = ::FindFirstFileW(Widen(folder + "\\" + pattern).c_str(), &found);
    std::vector<std::string> names;
    if (search == kWinInvalidHandle) {
        DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES) return names;  // no match
        RaiseFileError(err, folder);
    }
    DWORD err = 0;
    for (;;) {
        // Windows also matches the short 8.3 name ("*.bmp" would find "a.bmpx"); only the
        // name itself counts.
        std::string name = Narrow(found.cFileName);
        // dwReserved0 holds the reparse tag of a reparse point.
        if (IsListed(found.dwFileAttributes, found.dwReserved0) && WildcardMatch(pattern, name))
            names.push_back(std::move(name));
        if (!::FindNextFileW(search, &found)) {
            err = ::GetLastError();
            break;
        }
    }
    ::FindClose(search);
    // A listing cut short must not pass as the end of the files.
    if (err != ERROR_NO_MORE_FILES) RaiseFileError(err, folder);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return ListsBefore(a, b); });
    return names;
}

void Win32FileSystem::FileCopy(const std::string& source, const std::string& destination) {
    // The copy goes to a working file beside the destination and replaces it in one move, so a
    // copy cut short (a full disk) leaves the old destination whole and no half file behind,
    // where a later upload would send it.
    const std::wstring from = Widen(source), to = Widen(destination);
    // A read-only file is not replaced (a move over it would be, where a copy onto it is not).
    const DWORD existing = ::GetFileAttributesW(to.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY))
        RaiseFileError(ERROR_ACCESS_DENIED, destination);
    const size_t cut = to.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? L"." : to.substr(0, cut + 1);
    wchar_t working[MAX_PATH] = {};
    if (!::GetTempFileNameW(folder.c_str(), L"zc", 0, working)) RaiseLast(destination);
    auto drop = [&working] {
        ::SetFileAttributesW(working, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(working);
    };
    if (!::CopyFileW(from.c_str(), working, FALSE)) {
        DWORD err = ::GetLastError();
        drop();
        // Tell which of the two was the trouble: a missing source, or the destination.
        RaiseFileError(err, ::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES ? source : destination);
    }
    if (!::MoveFileExW(working, to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DWORD err = ::GetLastError();
        drop();
        RaiseFileError(err, destination);
    }
}

void Win32FileSystem::Kill(const std::string& path) {
    if (!::DeleteFileW(Widen(path).c_str())) RaiseLast(path);
}

void Win32FileSystem::MoveFile(const std::string& source, const std::string& destination) {
    const std::wstring from = Widen(source), to = Widen(destination);
    if (::MoveFileExW(from.c_str(), to.c_str(), 0)) return;  // never replaces an existing file
    DWORD err = ::GetLastError();
    if (err != ERROR_NOT_SAME_DEVICE)
        RaiseFileError(err, err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? destination : source);
    // Another volume: copy (never over an existing file), put the copy on the disk, and only
    // then delete the source, so that the file is whole in one of the two places throughout.
    if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) {
        err = ::GetLastError();
        RaiseFileError(err, ::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES ? source : destination);
    }
    try {
        Flush(destination);
    } catch (...) {
        ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(to.c_str());
        throw;
    }
    DWORD attributes = ::GetFileAttributesW(from.c_str());
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) ::SetFileAttributesW(from.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!::DeleteFileW(from.c_str())) {
        err = ::GetLastError();
        if (readOnly) ::SetFileAttributesW(from.c_str(), attributes);
        RaiseFileError(err, source);
    }
}

void Win32FileSystem::ReplaceFile(const std::string& source, const std::string& destination) {
    // Write-through: the move is on the disk when the call returns, as a rename and a flush of
    // the folder are on Linux.
    if (!::MoveFileExW(Widen(source).c_str(), Widen(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        RaiseLast(destination);
}

void Win32FileSystem::Flush(const std::string& path) {
    std::wstring wide = Widen(path);
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) RaiseLast(path);
    // A folder's entries are the file system's own metadata, which NTFS writes through its log
    // with each file's flush (a flush writes the file's metadata, its name among them). The
    // callers flush each file they wrote or moved by name, so nothing more is needed here; and
    // the files of the folder are never opened: one a user keeps open elsewhere would refuse
    // the handle and fail a run that never wrote it.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;
    // Flushing needs a handle that may write; a read-only file is opened so for the moment.
    bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        RaiseLast(path);
    Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD err = file.valid() ? 0 : ::GetLastError();
    if (file.valid() && !::FlushFileBuffers(file.get())) err = ::GetLastError();
    if (readOnly) ::SetFileAttributesW(wide.c_str(), attributes);
    if (err != 0) RaiseFileError(err, path);
}

std::unique_ptr<TextFile> Win32FileSystem::CreateText(const std::string& path) {
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) RaiseLast(path);
    return std::make_unique<Win32TextFile>(file.release(), path);
}

std::vector<uint8_t> Win32FileSystem::ReadBinary(const std::string& path) {
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) RaiseLast(path);
    // A device ("NUL", "COM1") could deliver bytes for ever.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) Raise(kErrPathFileAccess, path, "not a file");
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) RaiseLast(path);
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(size.QuadPart));
    uint8_t chunk[64 * 1024];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) RaiseLast(path);
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

}  // namespace zc::win32
