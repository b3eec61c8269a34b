#include "platform/posix/PosixShellFolder.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "platform/posix/XdgPaths.h"

namespace zc::posix {

namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The value of a user-dirs.dirs line: "$HOME/…" or an absolute path, in double quotes with
// shell escapes (xdg-user-dirs writes them so); anything else is not a folder we can use.
std::string ParseValue(const std::string& raw) {
    std::string v = Trim(raw);
    std::string text;
    if (v.size() >= 2 && v.front() == '"') {
        bool closed = false;
        for (size_t i = 1; i < v.size(); ++i) {
            char c = v[i];
            if (c == '\\' && i + 1 < v.size()) {
                text += v[++i];
            } else if (c == '"') {
                closed = true;
                break;
            } else {
                text += c;
            }
        }
        if (!closed) return {};
    } else {
        text = v;
    }
    if (text == "$HOME") return HomeDir();
    if (text.rfind("$HOME/", 0) == 0) return HomeDir() + text.substr(5);
    if (text.rfind("${HOME}/", 0) == 0) return HomeDir() + text.substr(7);
    if (!text.empty() && text[0] == '/') return text;
    return {};
}

}  // namespace

std::string ConfiguredDocumentsDir() {
    std::ifstream in(ConfigHome() + "/user-dirs.dirs");
    std::string line, found;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (t.rfind(key, 0) != 0) continue;
        found = ParseValue(t.substr(key.size()));  // the last entry wins, as in the shell
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

int32_t PosixShellFolder::SHGetFolderPathA(intptr_t, int32_t csidl, intptr_t, uint32_t,
                                           char* path) {
    // The high byte carries flags such as "create"; the folder is the low byte.
    if (!path || (csidl & 0xFF) != kCsidlPersonal) return kShellInvalidArg;
    std::string folder = ConfiguredDocumentsDir();
    if (!IsFolder(folder)) folder = HomeDir() + "/Documents";
    if (!IsFolder(folder)) return kShellFileNotFound;
    if (folder.size() + 1 > static_cast<size_t>(kMaxPath)) return kShellPathTooLong;
    std::memcpy(path, folder.c_str(), folder.size() + 1);
    return kShellOk;
}

std::string PosixShellFolder::FallbackLocalDir() { return HomeDir() + "/Zilba Companion"; }

}  // namespace zc::posix
