#include "platform/posix/SimulatedHandheld.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/NameRules.h"
#include "platform/Text.h"
#include "platform/posix/XdgPaths.h"

namespace zc::posix {

namespace {

bool ValidName(std::string_view name) { return IsHandheldName(name, false); }

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool IsFolder(const std::string& pcPath) {
    struct stat st{};
    return ::stat(pcPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string SimulatedHandheld::Root() const { return root_ ? *root_ : HandheldRoot(); }
std::string SimulatedHandheld::Marker() const { return marker_ ? *marker_ : UndockedMarker(); }

bool SimulatedHandheld::Docked() const {
    struct stat st{};
    return IsFolder(Root()) && ::lstat(Marker().c_str(), &st) != 0 && errno == ENOENT;
}

SimulatedHandheld::DockWatch::DockWatch(const SimulatedHandheld& handheld) : handheld_(handheld) {
    const std::string marker = handheld.Marker();
    const size_t slash = marker.rfind('/');
    if (slash == std::string::npos || slash + 1 == marker.size()) return;
    markerName_ = marker.substr(slash + 1);
    root_ = ::open(handheld.Root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::string folder = slash == 0 ? "/" : marker.substr(0, slash);
    markerFolder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

SimulatedHandheld::DockWatch::~DockWatch() {
    if (root_ >= 0) ::close(root_);
    if (markerFolder_ >= 0) ::close(markerFolder_);
}

bool SimulatedHandheld::DockWatch::Docked() const {
    if (root_ < 0 || markerFolder_ < 0) return handheld_.Docked();
    struct stat st{};
    if (::fstat(root_, &st) != 0 || st.st_nlink == 0) return false;  // a removed folder has no links
    return ::fstatat(markerFolder_, markerName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

std::optional<std::vector<std::string>> SimulatedHandheld::Split(std::string_view path,
                                                                 bool lastMayBePattern) {
    return SplitHandheldPath(path, lastMayBePattern);
}

bool SimulatedHandheld::IsDeviceName(std::string_view name) {
    if (!ValidName(name)) return false;
    // Names that are not valid UTF-8 could not be reported back as they are stored.
    std::u16string wide = Utf8ToUtf16(name);
    return wide.size() < 260 && Utf16ToUtf8(wide) == name;
}

std::optional<std::string> SimulatedHandheld::FindEntry(const std::string& folder,
                                                        const std::string& name) {
    if (!ValidName(name)) return std::nullopt;
    std::string exact = Join(folder, name);
    struct stat st{};
    if (::lstat(exact.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) return std::nullopt;
        return exact;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* e = ::readdir(dir)) {
        std::string candidate = e->d_name;
        if (!EqualsNoCase(candidate, name)) continue;
        // Several spellings can live side by side on the PC; take the first in byte order so
        // the choice never changes between calls.
        if (!best || candidate < *best) best = candidate;
    }
    ::closedir(dir);
    if (!best) return std::nullopt;
    std::string found = Join(folder, *best);
    if (::lstat(found.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return std::nullopt;
    return found;
}

std::optional<std::string> SimulatedHandheld::Resolve(std::string_view path) const {
    auto names = Split(path);
    if (!names) return std::nullopt;
    return Resolve(*names);
}

std::optional<std::string> SimulatedHandheld::Resolve(const std::vector<std::string>& names) const {
    std::string current = Root();
    if (!IsFolder(current)) return std::nullopt;
    for (size_t k = 0; k < names.size(); ++k) {
        auto next = FindEntry(current, names[k]);
        if (!next) return std::nullopt;
        if (k + 1 < names.size() && !IsFolder(*next)) return std::nullopt;
        current = *next;
    }
    return current;
}

std::optional<std::string> SimulatedHandheld::MakeFolders(std::string_view path) const {
    auto names = Split(path);
    if (!names) return std::nullopt;
    std::string current = Root();
    if (!posix::MakeFolders(current)) return std::nullopt;
    for (const auto& name : *names) {
        auto next = FindEntry(current, name);
        if (!next) {
            next = Join(current, name);
            if (::mkdir(next->c_str(), 0777) != 0 && errno != EEXIST) return std::nullopt;
        }
        if (!IsFolder(*next)) return std::nullopt;
        current = *next;
    }
    return current;
}

std::optional<SimulatedHandheld::Entry> SimulatedHandheld::Stat(const std::string& pcPath) {
    struct stat st{};
    if (::lstat(pcPath.c_str(), &st) != 0) return std::nullopt;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return std::nullopt;
    Entry entry;
    size_t slash = pcPath.find_last_of('/');
    entry.name = slash == std::string::npos ? pcPath : pcPath.substr(slash + 1);
    entry.folder = S_ISDIR(st.st_mode);
    entry.size = entry.folder ? 0 : static_cast<uint64_t>(st.st_size);
    entry.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return entry;
}

std::vector<SimulatedHandheld::Entry> SimulatedHandheld::List(const std::string& folder,
                                                              const std::string& pattern) {
    std::vector<Entry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return entries;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (!IsDeviceName(name) || !WildcardMatch(pattern, name)) continue;
        if (auto entry = Stat(Join(folder, name))) entries.push_back(std::move(*entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return ListsBefore(a.name, b.name); });
    return entries;
}

}  // namespace zc::posix
