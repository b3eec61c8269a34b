#include "platform/posix/SimulatedRapi.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "platform/Text.h"
#include "platform/Waiting.h"

namespace zc::posix {

namespace {

// Longest handheld path looked at; anything longer is not a path the handheld could hold.
constexpr size_t kMaxPathUnits = 32767;
// 100-nanosecond steps between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpoch = 116444736000000000LL;

std::optional<std::string> PathText(const char16_t* path) {
    if (!path) return std::nullopt;
    size_t n = 0;
    while (path[n] != 0) {
        if (++n > kMaxPathUnits) return std::nullopt;
    }
    return Utf16ToUtf8(std::u16string_view(path, n));
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

CE_FILETIME ToFileTime(int64_t unixNs) {
    int64_t ticks = unixNs / 100 + kFileTimeEpoch;
    if (ticks < 0) ticks = 0;
    CE_FILETIME t;
    t.dwLowDateTime = static_cast<uint32_t>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
    t.dwHighDateTime = static_cast<uint32_t>(static_cast<uint64_t>(ticks) >> 32);
    return t;
}

void Fill(const SimulatedHandheld::Entry& entry, CE_FIND_DATA* data) {
    std::memset(static_cast<void*>(data), 0, sizeof(CE_FIND_DATA));
    data->dwFileAttributes = entry.folder ? kFileAttributeDirectory : kFileAttributeNormal;
    data->ftCreationTime = data->ftLastAccessTime = data->ftLastWriteTime =
        ToFileTime(entry.modifiedNs);
    data->nFileSizeHigh = static_cast<uint32_t>(entry.size >> 32);
    data->nFileSizeLow = static_cast<uint32_t>(entry.size & 0xFFFFFFFFu);
    // Only names that fit with their terminating zero are ever listed (IsDeviceName).
    std::u16string name = Utf8ToUtf16(entry.name);
    std::memcpy(data->cFileName, name.data(), name.size() * sizeof(char16_t));
}

}  // namespace

SimulatedRapi::~SimulatedRapi() { Disconnect(); }

bool SimulatedRapi::Connected() {
    Waiting(Wait::Brief);  // every call on the handheld but the first comes through here
    if (!connected_) return false;
    if (!watch_->Docked()) {
        Disconnect();
        return false;
    }
    return true;
}

void SimulatedRapi::Disconnect() {
    for (auto& [handle, file] : files_) ::close(file.fd);
    files_.clear();
    searches_.clear();
    watch_.reset();
    connected_ = false;
}

HANDLE SimulatedRapi::NewHandle() { return next_++; }

int32_t SimulatedRapi::CeRapiInit() {
    Waiting(Wait::Long);  // a real handheld may keep the connection waiting
    if (!handheld_.Docked()) return kRapiFailed;
    watch_.emplace(handheld_);
    connected_ = true;
    return 0;
}

int32_t SimulatedRapi::CeRapiUninit() {
    if (!connected_) return kRapiFailed;
    Disconnect();
    return 0;
}

HANDLE SimulatedRapi::CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) {
    auto fail = [this](uint32_t why) {
        lastError_ = why;
        return kInvalidHandle;
    };
    if (!Connected()) return fail(ERROR_DEVICE_NOT_CONNECTED_CE);
    if (!findData) return fail(ERROR_GEN_FAILURE_CE);
    auto text = PathText(fileName);
    if (!text) return fail(ERROR_INVALID_NAME_CE);
    auto names = SimulatedHandheld::Split(*text, true);
    if (!names || names->empty()) return fail(ERROR_INVALID_NAME_CE);

    Search search;
    if (HasWildcard(names->back())) {
        std::string pattern = names->back();
        names->pop_back();
        auto folder = handheld_.Resolve(*names);
        if (!folder) return fail(ERROR_PATH_NOT_FOUND_CE);
        search.entries = SimulatedHandheld::List(*folder, pattern);
    } else {
        auto found = handheld_.Resolve(*names);
        if (!found) return fail(ERROR_FILE_NOT_FOUND_CE);
        auto entry = SimulatedHandheld::Stat(*found);
        if (!entry || !SimulatedHandheld::IsDeviceName(entry->name)) return fail(ERROR_FILE_NOT_FOUND_CE);
        search.entries.push_back(std::move(*entry));
    }
    if (search.entries.empty()) return fail(ERROR_FILE_NOT_FOUND_CE);

    Fill(search.entries[0], findData);
    search.next = 1;
    HANDLE handle = NewHandle();
    searches_.emplace(handle, std::move(search));
    lastError_ = 0;
    return handle;
}

int32_t SimulatedRapi::CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) {
    lastError_ = ERROR_GEN_FAILURE_CE;
    if (!Connected()) {
        lastError_ = ERROR_DEVICE_NOT_CONNECTED_CE;
        return 0;
    }
    if (!findData) return 0;
    auto it = searches_.find(find);
    if (it == searches_.end()) return 0;
    Search& search = it->second;
    if (search.next >= search.entries.size()) {
        lastError_ = ERROR_NO_MORE_FILES_CE;
        return 0;
    }
    Fill(search.entries[search.next++], findData);
    lastError_ = 0;
    return 1;
}

int32_t SimulatedRapi::CeFindClose(HANDLE find) {
    if (!Connected()) return 0;
    return searches_.erase(find) == 1 ? 1 : 0;
}

HANDLE SimulatedRapi::CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t /*share*/,
                                   const void* /*security*/, uint32_t creation,
                                   uint32_t /*flags*/, HANDLE /*templateFile*/) {
    if (!Connected()) return kInvalidHandle;
    auto text = PathText(fileName);
    if (!text) return kInvalidHandle;
    auto names = SimulatedHandheld::Split(*text);
    if (!names || names->empty()) return kInvalidHandle;

    File file;
    if (access == kGenericRead && creation == kOpenExisting) {
        auto found = handheld_.Resolve(*names);
        if (!found) return kInvalidHandle;
        auto entry = SimulatedHandheld::Stat(*found);
        if (!entry || entry->folder) return kInvalidHandle;
        file.fd = ::open(found->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        file.readable = true;
    } else if (access == kGenericWrite && creation == kCreateAlways) {
        std::string name = names->back();
        names->pop_back();
        auto folder = handheld_.Resolve(*names);
        if (!folder) return kInvalidHandle;
        auto parent = SimulatedHandheld::Stat(*folder);
        if (!parent || !parent->folder) return kInvalidHandle;
        // An existing file of that name in another case is the same file on the handheld.
        std::string target = *folder + "/" + name;
        if (auto existing = SimulatedHandheld::FindEntry(*folder, name)) {
            auto entry = SimulatedHandheld::Stat(*existing);
            if (!entry || entry->folder) return kInvalidHandle;
            target = *existing;
        }
        file.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                         0666);
    } else {
        return kInvalidHandle;
    }
    if (file.fd < 0) return kInvalidHandle;
    HANDLE handle = NewHandle();
    files_.emplace(handle, file);
    return handle;
}

int32_t SimulatedRapi::CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                                  void* /*overlapped*/) {
    if (read) *read = 0;
    if (!Connected() || !read || (!buffer && toRead > 0)) return 0;
    auto it = files_.find(file);
    if (it == files_.end() || !it->second.readable) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < toRead) {
        ssize_t n = ::read(it->second.fd, out + total, toRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) break;
        total += static_cast<uint32_t>(n);
    }
    *read = total;
    return 1;
}

int32_t SimulatedRapi::CeCloseHandle(HANDLE handle) {
    if (!Connected()) return 0;
    auto it = files_.find(handle);
    if (it == files_.end()) return 0;
    ::close(it->second.fd);
    files_.erase(it);
    return 1;
}

}  // namespace zc::posix
