#include "platform/posix/XdgPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zc::posix {

namespace {

// An XDG variable counts only when it holds an absolute path.
std::string AbsoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v && v[0] == '/') return v;
    return {};
}

}  // namespace

std::string HomeDir() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string ConfigHome() {
    std::string v = AbsoluteEnv("XDG_CONFIG_HOME");
    return v.empty() ? HomeDir() + "/.config" : v;
}

std::string DataHome() {
    std::string v = AbsoluteEnv("XDG_DATA_HOME");
    return v.empty() ? HomeDir() + "/.local/share" : v;
}

std::string RuntimeDir() {
    std::string v = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!v.empty() && access(v.c_str(), W_OK | X_OK) == 0) return v;
    // The temporary folder is shared by every user: each gets a private folder of their own
    // there, so that one user's lock never stands for another's.
    std::error_code ec;
    std::string tmp = std::filesystem::temp_directory_path(ec).string();
    if (ec || tmp.empty()) tmp = "/tmp";
    std::string own = tmp + "/zilba-companion-" + std::to_string(::getuid());
    ::mkdir(own.c_str(), 0700);
    struct stat st {};
    // Someone else's folder (or a link) under that name is not used: the lock then cannot be
    // made, which the program reports, rather than shared.
    if (::lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0)
        return own + "/unusable";
    return own;
}

std::string RegistryFile() { return ConfigHome() + "/zilba-companion/registry.db"; }
std::string HandheldRoot() { return DataHome() + "/zilba-companion/handheld"; }
std::string UndockedMarker() { return DataHome() + "/zilba-companion/undocked"; }

bool MakeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return !ec && std::filesystem::is_directory(path, ec);
}

unsigned CurrentUmask() {
    // The mask can only be read by setting it; it is put back at once.
    mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

void FollowUmask(int fd) { ::fchmod(fd, 0666 & ~CurrentUmask()); }

}  // namespace zc::posix
