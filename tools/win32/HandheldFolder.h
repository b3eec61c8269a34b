#pragma once
// Where the simulated handheld lives, seen from inside Wine: the folder zilba-sim makes,
// $XDG_DATA_HOME/zilba-companion/handheld (else ~/.local/share/…), reached through the Z: drive
// that Wine maps to the Linux root. The handheld is docked while that folder exists and the
// "undocked" mark beside it does not.
#include <windows.h>

#include <string>

#include "platform/NameRules.h"

namespace zc::standin {

inline std::wstring Env(const wchar_t* name) {
    wchar_t value[32768];
    DWORD n = ::GetEnvironmentVariableW(name, value, 32768);
    return n > 0 && n < 32768 ? std::wstring(value, n) : std::wstring();
}

// A Linux path as Wine's Z: drive shows it.
inline std::wstring OnDriveZ(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return L"Z:" + path;
}

inline std::wstring DataFolder() {
    std::wstring data = Env(L"XDG_DATA_HOME");
    if (!data.empty() && data[0] == L'/') return OnDriveZ(data + L"/zilba-companion");
    // Wine hands on the Linux home folder not as HOME but as WINEHOMEDIR, an NT path: the
    // four-character object prefix, then Z:\home\user.
    std::wstring home = Env(L"WINEHOMEDIR");
    if (home.size() > 4 && home[0] == L'\\' && home[1] == L'?' && home[2] == L'?' && home[3] == L'\\')
        home.erase(0, 4);
    if (home.empty()) home = OnDriveZ(Env(L"HOME"));
    return home + L"\\.local\\share\\zilba-companion";
}

inline std::wstring HandheldRoot() { return DataFolder() + L"\\handheld"; }

inline bool HandheldDocked() {
    DWORD root = ::GetFileAttributesW(HandheldRoot().c_str());
    return root != INVALID_FILE_ATTRIBUTES && (root & FILE_ATTRIBUTE_DIRECTORY) &&
           ::GetFileAttributesW((DataFolder() + L"\\undocked").c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The PC path of a handheld path ("\My Documents\Pocket Zilba\.purge"): its names below the
// root, by the handheld's path rules. Empty for a path the handheld could not hold.
inline std::wstring ToPcPath(const wchar_t* path, bool pattern) {
    if (!path) return {};
    auto names = SplitHandheldPath(std::wstring_view(path), pattern);
    if (!names) return {};
    std::wstring out = HandheldRoot();
    for (const std::wstring& name : *names) out += L'\\' + name;
    return out;
}

}  // namespace zc::standin
