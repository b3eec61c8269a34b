#include <cstdint>
#include <string>
#include <string_view>

#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/NameRules.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace zc {

std::string WideBufferToString(const char16_t* buffer, size_t count) {
    std::u16string units;
    int16_t index = 0;
    for (;;) {
        if (index < 0 || static_cast<size_t>(index) >= count) RaiseSubscript();
        if (buffer[index] == 0) break;
        units.push_back(buffer[index]);
        ++index;
    }
    return Utf16ToUtf8(units);
}

namespace {

// Each handle is closed exactly once, also when an error leaves the procedure.
class DeviceHandle {
public:
    DeviceHandle(Rapi& rapi, HANDLE h, bool search) : rapi_(rapi), h_(h), search_(search) {}
    ~DeviceHandle() { Close(); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != kInvalidHandle; }
    void Close() {
        if (!valid()) return;
        if (search_) rapi_.CeFindClose(h_);
        else rapi_.CeCloseHandle(h_);
        h_ = kInvalidHandle;
    }

private:
    Rapi& rapi_;
    HANDLE h_;
    bool search_;
};

class LocalHandle {
public:
    LocalHandle(Kernel& kernel, HANDLE h) : kernel_(kernel), h_(h) {}
    ~LocalHandle() { Close(); }
    LocalHandle(const LocalHandle&) = delete;
    LocalHandle& operator=(const LocalHandle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != kInvalidHandle; }
    void Close() {
        if (valid()) kernel_.CloseHandle(h_);
        h_ = kInvalidHandle;
    }

private:
    Kernel& kernel_;
    HANDLE h_;
};

// A name that could leave the export folder, name no file at all, or not be sent under its own
// name is never used as a path: a leading dot would hide the copy from the upload, and a quote
// or a control character cannot stand in the upload's part header.
bool IsPlainFileName(const std::string& name) {
    return IsHandheldName(std::string_view(name), false) && name.front() != '.';
}

enum class CopyResult { Copied, ReadFailed, WriteFailed };

CopyResult CopyContent(MainForm& f, DeviceHandle& device, LocalHandle& local) {
    uint8_t buffer[1025] = {};
    OVERLAPPED position{};
    int32_t offset = 0;
    position.Offset = 0;
    for (;;) {
        uint32_t read = 0;
        if (f.os.rapi.CeReadFile(device.get(), buffer, 1024, &read, nullptr) == 0)
            return CopyResult::ReadFailed;
        if (read < 1) return CopyResult::Copied;
        if (read > 1024) return CopyResult::ReadFailed;  // never trust a count past the buffer
        uint32_t written = 0;
        if (!f.os.kernel.WriteFile(local.get(), buffer, read, &written, &position) ||
            written != read)
            return CopyResult::WriteFailed;
        if (written > static_cast<uint32_t>(INT32_MAX - offset)) RaiseOverflow();
        offset += static_cast<int32_t>(written);
        position.Offset = static_cast<uint32_t>(offset);
    }
}

// Copies one bitmap; false when it did not reach the PC whole.
bool CopyOneSignature(MainForm& f, const std::string& devicePath, const std::string& localPath) {
    DeviceHandle device(f.os.rapi,
                        f.os.rapi.CeCreateFile(Utf8ToUtf16(devicePath).c_str(), kGenericRead,
                                               kFileShareRead, nullptr, kOpenExisting,
                                               kFileAttributeNormal, 0),
                        false);
    // The local file is created only for a handheld file that opened, so a good earlier copy is
    // never emptied.
    if (!device.valid()) {
        WriteLog(f, "  ..Failed to open device file");
        return false;
    }
    SECURITY_ATTRIBUTES security{};
    LocalHandle local(f.os.kernel,
                      f.os.kernel.CreateFileA(ToCodePage(localPath), kGenericWrite, kFileShareWrite,
                                              &security, kCreateAlways, kFileAttributeNormal, 0));
    if (!local.valid()) {
        WriteLog(f, "  ..Failed to create local file");
        return false;
    }
    CopyResult result;
    try {
        result = CopyContent(f, device, local);
    } catch (...) {
        device.Close();
        local.Close();
        try {
            f.os.files.Kill(localPath);
        } catch (...) {
        }
        throw;
    }
    if (result != CopyResult::Copied) {
        device.Close();
        local.Close();
        // A short copy must not pass for the signature.
        try {
            f.os.files.Kill(localPath);
        } catch (...) {
        }
        WriteLog(f, result == CopyResult::ReadFailed ? "  ..Failed to read device file"
                                                     : "  ..Failed to write local file");
        return false;
    }
    IncrementCounter(f, Field::Signs);
    device.Close();
    local.Close();
    return true;
}

}  // namespace

void CopySignatures(MainForm& f) {
    WriteLog(f, "Copying signatures from handheld device");
    const std::string signatureFolder = f.ui.Text(Field::DeviceDir) + "\\Signatures";
    const std::string exportFolder = ExportFolder(f);

    CE_FIND_DATA found{};
    DeviceHandle search(f.os.rapi,
                        f.os.rapi.CeFindFirstFile(Utf8ToUtf16(signatureFolder + "\\*.bmp").c_str(),
                                                  &found),
                        true);
    if (!search.valid()) {
        uint32_t why = f.os.rapi.CeGetLastError();
        WriteLog(f, "No signature found!!");
        // Only a search that found nothing means there is nothing to copy; a failed one must
        // not let the handheld be marked as collected.
        if (why == ERROR_FILE_NOT_FOUND_CE || why == ERROR_PATH_NOT_FOUND_CE || why == ERROR_NO_MORE_FILES_CE) return;
        WriteLog(f, "  ..Failed to list device files");
        throw Error(-600, "Failed to copy signatures from device");
    }
    bool anyFailed = false;
    do {
        std::string name = WideBufferToString(found.cFileName, std::size(found.cFileName));
        if (found.dwFileAttributes & kFileAttributeDirectory) {
            WriteLog(f, "Ignoring directory: " + name);
        } else {
            WriteLog(f, "Copying file: " + name);
            if (!IsPlainFileName(name)) {
                WriteLog(f, "  ..Ignoring invalid file name: " + name);
                anyFailed = true;
            } else if (CopyOneSignature(f, signatureFolder + "\\" + name, exportFolder + kSep + name)) {
                f.delivery.copied.push_back(name);  // to be put on the disk before the flag
            } else {
                anyFailed = true;
            }
        }
    } while (f.os.rapi.CeFindNextFile(search.get(), &found) != 0);
    if (f.os.rapi.CeGetLastError() != ERROR_NO_MORE_FILES_CE) {
        WriteLog(f, "  ..Failed to list device files");
        anyFailed = true;
    }
    search.Close();
    // The purge flag must not be set while a signature is missing from the PC.
    if (anyFailed) throw Error(-600, "Failed to copy signatures from device");
}

}  // namespace zc
