// zilba-register: registers the filter library beside this tool where the program looks for
// it (HKEY_CLASSES_ROOT, as the docking software registers its own), so that a test folder
// can be used like an installed one. The remote API needs no registration: the program loads
// rapi.dll from its own folder first.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The class identifier zilba-sim registers the Linux filter library under.
constexpr const wchar_t* kClassId = L"{6B3F0B5C-2D41-4E8A-9C17-5A0E3D2F8B61}";

bool SetDefault(const std::wstring& key, const std::wstring& text) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                          nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = ::RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);
    return rc == ERROR_SUCCESS;
}

}  // namespace

int wmain() {
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, n);
    folder.resize(folder.find_last_of(L'\\'));
    const std::wstring library = folder + L"\\adofiltr.dll";
    if (::GetFileAttributesW(library.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"zilba-register: no filter library at %ls\n", library.c_str());
        return 1;
    }
    if (!SetDefault(L"MS.WinCE.Table\\CLSID", kClassId) ||
        !SetDefault(std::wstring(L"CLSID\\") + kClassId + L"\\InprocServer32", library)) {
        std::fwprintf(stderr, L"zilba-register: cannot write HKEY_CLASSES_ROOT\n");
        return 1;
    }
    std::wprintf(L"Registered the filter library %ls as %ls\n", library.c_str(), kClassId);
    return 0;
}
