// rapi.dll for tests under Wine: the docking software's remote API, serving the simulated
// handheld's folder. Exports the real names, undecorated, with the real argument shapes.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "HandheldFolder.h"

namespace {

constexpr DWORD kDeviceNotConnected = 1167;

struct FindRecord {  // CE_FIND_DATA, 560 bytes
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow, dwOID;
    WCHAR cFileName[MAX_PATH];
};
static_assert(sizeof(FindRecord) == 560, "the find record is 560 bytes");

struct Search {
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

std::mutex g_lock;
bool g_connected = false;
DWORD g_lastError = 0;
std::map<UINT_PTR, Search> g_searches;
std::map<UINT_PTR, HANDLE> g_files;
UINT_PTR g_next = 0x1000;

void Disconnect() {
    for (auto& [id, file] : g_files) ::CloseHandle(file);
    g_files.clear();
    g_searches.clear();
    g_connected = false;
}

// The connection holds while the handheld stays docked; undocking drops every handle.
bool Connected() {
    if (g_connected && !zc::standin::HandheldDocked()) Disconnect();
    if (!g_connected) g_lastError = kDeviceNotConnected;
    return g_connected;
}

HANDLE NewHandle() { return reinterpret_cast<HANDLE>(g_next += 4); }

void Fill(const WIN32_FIND_DATAW& entry, FindRecord* record) {
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes =
        entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    record->ftCreationTime = entry.ftCreationTime;
    record->ftLastAccessTime = entry.ftLastAccessTime;
    record->ftLastWriteTime = entry.ftLastWriteTime;
    record->nFileSizeHigh = entry.nFileSizeHigh;
    record->nFileSizeLow = entry.nFileSizeLow;
    std::memcpy(record->cFileName, entry.cFileName, sizeof record->cFileName);
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI CeRapiInit() {
    std::lock_guard lock(g_lock);
    if (!zc::standin::HandheldDocked()) return E_FAIL;
    g_connected = true;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI CeRapiUninit() {
    std::lock_guard lock(g_lock);
    if (!g_connected) return E_FAIL;
    Disconnect();
    return S_OK;
}

__declspec(dllexport) DWORD WINAPI CeGetLastError() {
    std::lock_guard lock(g_lock);
    return g_lastError;
}

__declspec(dllexport) HANDLE WINAPI CeFindFirstFile(LPCWSTR fileName, FindRecord* findData) {
    std::lock_guard lock(g_lock);
    if (!Connected()) return INVALID_HANDLE_VALUE;
    std::wstring path = zc::standin::ToPcPath(fileName, true);
    if (path.empty() || !findData) {
        g_lastError = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    Search search;
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileW(path.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        g_lastError = ::GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        search.entries.push_back(found);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    if (search.entries.empty()) {
        g_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    // The handheld lists by name without regard to case, as the simulated one does.
    std::sort(search.entries.begin(), search.entries.end(), [](const auto& a, const auto& b) {
        return Lower(a.cFileName) < Lower(b.cFileName);
    });
    Fill(search.entries[0], findData);
    search.next = 1;
    HANDLE handle = NewHandle();
    g_searches[reinterpret_cast<UINT_PTR>(handle)] = std::move(search);
    g_lastError = 0;
    return handle;
}

__declspec(dllexport) BOOL WINAPI CeFindNextFile(HANDLE find, FindRecord* findData) {
    std::lock_guard lock(g_lock);
    if (!Connected()) return FALSE;
    auto it = g_searches.find(reinterpret_cast<UINT_PTR>(find));
    if (it == g_searches.end() || !findData) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (it->second.next >= it->second.entries.size()) {
        g_lastError = ERROR_NO_MORE_FILES;
        return FALSE;
    }
    Fill(it->second.entries[it->second.next++], findData);
    g_lastError = 0;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI CeFindClose(HANDLE find) {
    std::lock_guard lock(g_lock);
    if (!Connected()) return FALSE;
    return g_searches.erase(reinterpret_cast<UINT_PTR>(find)) == 1;
}

__declspec(dllexport) HANDLE WINAPI CeCreateFile(LPCWSTR fileName, DWORD access, DWORD share,
                                                 LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                                                 HANDLE) {
    std::lock_guard lock(g_lock);
    if (!Connected()) return INVALID_HANDLE_VALUE;
    std::wstring path = zc::standin::ToPcPath(fileName, false);
    if (path.empty() || path == zc::standin::HandheldRoot()) {
        g_lastError = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = ::CreateFileW(path.c_str(), access, share, nullptr, creation, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        g_lastError = ::GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = NewHandle();
    g_files[reinterpret_cast<UINT_PTR>(handle)] = file;
    g_lastError = 0;
    return handle;
}

__declspec(dllexport) BOOL WINAPI CeReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                             LPOVERLAPPED) {
    std::lock_guard lock(g_lock);
    if (read) *read = 0;
    if (!Connected()) return FALSE;
    auto it = g_files.find(reinterpret_cast<UINT_PTR>(file));
    if (it == g_files.end() || !read) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!::ReadFile(it->second, buffer, toRead, read, nullptr)) {
        g_lastError = ::GetLastError();
        return FALSE;
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI CeCloseHandle(HANDLE handle) {
    std::lock_guard lock(g_lock);
    if (!Connected()) return FALSE;
    auto it = g_files.find(reinterpret_cast<UINT_PTR>(handle));
    if (it == g_files.end()) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    ::CloseHandle(it->second);
    g_files.erase(it);
    return TRUE;
}

}  // extern "C"
