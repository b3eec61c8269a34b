#include "platform/win32/Win32ShellFolder.h"

#include "platform/win32/WinApi.h"

#include <shlobj.h>

#include "platform/win32/WinText.h"

namespace zc::win32 {

int32_t Win32ShellFolder::SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token,
                                           uint32_t flags, char* path) {
    // The answer comes in the ANSI code page; the program keeps UTF-8.
    char ansi[MAX_PATH] = {};
    HRESULT hr = ::SHGetFolderPathA(reinterpret_cast<HWND>(hwnd), csidl,
                                    reinterpret_cast<::HANDLE>(token), flags, ansi);
    if (FAILED(hr)) return hr;
    std::string text = FromAnsi(ansi);
    if (text.size() + 1 > static_cast<size_t>(kMaxPath))
        return static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    text.copy(path, text.size());
    path[text.size()] = '\0';
    return hr;
}

std::string Win32ShellFolder::FallbackLocalDir() { return "C:\\My Documents\\Zilba Companion"; }

}  // namespace zc::win32
