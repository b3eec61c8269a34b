#pragma once
// Local file functions: folder test and creation, folder listing, copy, delete, text output and
// whole-file binary read. Failures raise zc::Error with the file system's own description.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zc {

// File-system error numbers, as the classic runtime numbers them.
constexpr int32_t kErrFileNotFound = 53;
constexpr int32_t kErrFileAlreadyOpen = 55;
constexpr int32_t kErrDiskFull = 61;
constexpr int32_t kErrPermissionDenied = 70;
constexpr int32_t kErrPathFileAccess = 75;
constexpr int32_t kErrPathNotFound = 76;
constexpr int32_t kErrBadFileNumber = 52;
constexpr int32_t kErrDeviceIo = 57;
constexpr int32_t kErrTooManyFiles = 67;

// The classic text of a file-system error number, with which every description begins.
inline const char* ClassicText(int32_t number) {
    switch (number) {
        case kErrBadFileNumber: return "Bad file name or number";
        case kErrFileNotFound: return "File not found";
        case kErrFileAlreadyOpen: return "File already open";
        case kErrDeviceIo: return "Device I/O error";
        case kErrDiskFull: return "Disk full";
        case kErrTooManyFiles: return "Too many files";
        case kErrPermissionDenied: return "Permission denied";
        case kErrPathNotFound: return "Path not found";
        default: return "Path/File access error";
    }
}

class TextFile {
public:
    virtual ~TextFile() = default;
    virtual void PrintLine(const std::string& line) = 0;  // the line and CR LF, 8-bit code page
    virtual void Close() = 0;                             // flushes; raises when that fails
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Whether an entry of exactly that path exists, folders included.
    virtual bool Exists(const std::string& path) = 0;
    // Creates one folder; its parent must exist.
    virtual void MkDir(const std::string& path) = 0;
    // Names of the plain files of `folder` matching the wildcard `pattern` (as Windows matches,
    // without regard to case); sub-folders, links, hidden and system files are left out.
    virtual std::vector<std::string> ListFiles(const std::string& folder,
                                               const std::string& pattern) = 0;
    // Copies, replacing a file of that name at the destination.
    virtual void FileCopy(const std::string& source, const std::string& destination) = 0;
    virtual void Kill(const std::string& path) = 0;
    // Moves a file to a new name that must not exist yet: one rename on the same volume, else a
    // copy that is on the disk before the source is deleted. A read-only file moves too.
    virtual void MoveFile(const std::string& source, const std::string& destination) = 0;
    // Moves a file over another of the same folder in one step, replacing it: a reader sees the
    // old file or the new one, never a part. The journal of a run is written this way.
    virtual void ReplaceFile(const std::string& source, const std::string& destination) = 0;
    // Puts what was written to a file on the disk; for a folder, its entries (the names it holds),
    // never the files in it: each caller flushes by name the files it wrote.
    virtual void Flush(const std::string& path) = 0;
    // Creates (or truncates) a text file for output.
    virtual std::unique_ptr<TextFile> CreateText(const std::string& path) = 0;
    // The whole content of a file. A missing file raises "file not found": read for an upload, a
    // file created empty in its place would reach the server as an empty signature.
    virtual std::vector<uint8_t> ReadBinary(const std::string& path) = 0;
};

}  // namespace zc
