#pragma once
// The simulated handheld's file system: a folder on the PC that stands for the handheld's
// storage. Handheld paths ("\My Documents\Pocket Zilba\.purge") map to files below that folder;
// names match without regard to case, as they do on the handheld.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zc::posix {

class SimulatedHandheld {
public:
    // Follows HandheldRoot() and UndockedMarker(), looked up afresh at every call.
    SimulatedHandheld() = default;
    // A fixed root and undocked marker (tests, tools working on another folder).
    SimulatedHandheld(std::string root, std::string undockedMarker)
        : root_(std::move(root)), marker_(std::move(undockedMarker)) {}

    std::string Root() const;
    std::string Marker() const;
    // The root folder exists and the handheld is not marked undocked.
    bool Docked() const;

    // Tells, call after call, whether the handheld a connection was opened on is still docked.
    // It holds the root folder and the marker's folder open, because looking both paths up from
    // the top again costs more than the 1 KB read each check comes with. The root folder being
    // removed counts as undocking; where a folder cannot be held, it looks the paths up as
    // Docked() does.
    class DockWatch {
    public:
        explicit DockWatch(const SimulatedHandheld& handheld);
        ~DockWatch();
        DockWatch(const DockWatch&) = delete;
        DockWatch& operator=(const DockWatch&) = delete;
        bool Docked() const;

    private:
        const SimulatedHandheld& handheld_;
        int root_ = -1;
        int markerFolder_ = -1;
        std::string markerName_;
    };

    // The names of a handheld path, in order. "\" and "/" both separate names, empty names
    // (doubled or trailing separators) drop out, and a path without a leading separator starts
    // at the root too (the handheld has no current folder). nullopt for a path the handheld
    // could not hold: a drive, a "." or ".." name, control characters or <>:"| in a name, and
    // "*" or "?" anywhere (or, with `lastMayBePattern`, anywhere but the last name).
    static std::optional<std::vector<std::string>> Split(std::string_view path,
                                                         bool lastMayBePattern = false);

    // True when `name` is a name the handheld could hold and report as it stands (valid UTF-8
    // without separators or reserved characters, shorter than 260 UTF-16 code units).
    static bool IsDeviceName(std::string_view name);

    // The PC path of the existing entry a handheld path names, each name matched without
    // regard to case (an exact match wins over a case-folded one). nullopt when the path is
    // refused or any name does not exist. Symbolic links below the root are never followed,
    // so nothing outside the root can be reached. The empty name list is the root itself.
    std::optional<std::string> Resolve(std::string_view path) const;
    std::optional<std::string> Resolve(const std::vector<std::string>& names) const;

    // The existing entry called `name` (without regard to case) in the PC folder `folder`;
    // nullopt when there is none. Symbolic links do not count.
    static std::optional<std::string> FindEntry(const std::string& folder, const std::string& name);

    // Creates every missing folder of a handheld path (names as given; existing ones reused
    // whatever their case) and returns the PC path of the last one; nullopt when the path is
    // refused or a folder cannot be created (a plain file in the way, no rights).
    std::optional<std::string> MakeFolders(std::string_view path) const;

    struct Entry {
        std::string name;  // as stored on the handheld
        bool folder = false;
        uint64_t size = 0;
        int64_t modifiedNs = 0;  // last write, nanoseconds since 1970 (UTC)
    };
    // The entries of a PC folder whose names match `pattern` (Windows wildcard matching),
    // sorted by name without regard to case. Entries the handheld could not hold and symbolic
    // links are left out.
    static std::vector<Entry> List(const std::string& folder, const std::string& pattern);
    // The entry a PC path names; nullopt when it is missing or a symbolic link.
    static std::optional<Entry> Stat(const std::string& pcPath);

private:
    std::optional<std::string> root_;
    std::optional<std::string> marker_;
};

}  // namespace zc::posix
