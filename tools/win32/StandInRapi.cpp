// rapi.dll for tests under Wine: the docking software's remote API, serving the simulated
// handheld's folder. Exports the real names, undecorated, with the real argument shapes.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
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

// The connection: none, being made (an init waits for the handheld to be docked), open, or lost
// when the handheld left (every call fails until the connection is closed and opened anew).
enum class Link { None, Connecting, Open, Lost };

// What CeRapiInitEx is handed: its size, the event set when the attempt ends, and the result.
struct InitRecord {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

std::mutex g_lock;
Link g_link = Link::None;
unsigned g_attempt = 0;  // stepped by every init and close, so that a waiter of an ended attempt gives up
DWORD g_lastError = 0;
std::map<UINT_PTR, Search> g_searches;
std::map<UINT_PTR, HANDLE> g_files;
UINT_PTR g_next = 0x1000;
// The attempt CeRapiInitEx makes on a thread of its own, and the caller's record it answers in.
HANDLE g_connector = nullptr;
HANDLE g_connected = nullptr;
InitRecord* g_record = nullptr;

// Set when an attempt is ended, so that its waiter need not wait for its next look.
HANDLE Ended() {
    static HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void DropHandles() {
    for (auto& [id, file] : g_files) ::CloseHandle(file);
    g_files.clear();
    g_searches.clear();
}

// The connection holds while the handheld stays docked; undocking drops every handle.
bool Connected() {
    if (g_link == Link::Open && !zc::standin::HandheldDocked()) {
        DropHandles();
        g_link = Link::Lost;
    }
    if (g_link != Link::Open) g_lastError = kDeviceNotConnected;
    return g_link == Link::Open;
}

// Starts an attempt (under the lock); 0 while one is made or open: a second init is refused.
unsigned BeginAttempt() {
    if (g_link != Link::None) return 0;
    g_link = Link::Connecting;
    ::ResetEvent(Ended());
    return ++g_attempt;
}

// As the docking software does: waits, however long it takes, until the handheld is docked
// (then the connection is open, and a CeRapiInitEx caller's record says so) or the attempt is
// ended by CeRapiUninit. True when the connection opened.
bool AwaitDocking(unsigned attempt, InitRecord* record, HANDLE connected) {
    for (;;) {
        {
            std::lock_guard lock(g_lock);
            if (g_attempt != attempt || g_link != Link::Connecting) return false;
            if (zc::standin::HandheldDocked()) {
                g_link = Link::Open;
                if (record) {
                    record->hrRapiInit = S_OK;
                    ::SetEvent(connected);
                }
                return true;
            }
        }
        ::WaitForSingleObject(Ended(), 50);
    }
}

DWORD WINAPI Connector(void* attempt) {
    std::unique_lock lock(g_lock);
    InitRecord* record = g_record;
    HANDLE connected = g_connected;
    lock.unlock();
    AwaitDocking(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(attempt)), record, connected);
    return 0;
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

}  // namespace

extern "C" {

// Returns only once the handheld is docked, or when another thread ends the attempt.
__declspec(dllexport) HRESULT WINAPI CeRapiInit() {
    unsigned attempt;
    {
        std::lock_guard lock(g_lock);
        if (!(attempt = BeginAttempt())) return E_FAIL;
    }
    return AwaitDocking(attempt, nullptr, nullptr) ? S_OK : E_FAIL;
}

// Returns at once; the attempt goes on on a thread of its own and sets the record's event when
// the handheld is docked, with S_OK as the record's result. The event stays the library's own:
// CeRapiUninit closes it. An attempt that CeRapiUninit ends sets nothing.
__declspec(dllexport) HRESULT WINAPI CeRapiInitEx(InitRecord* record) {
    if (!record || record->cbSize != sizeof(InitRecord)) return E_INVALIDARG;
    std::lock_guard lock(g_lock);
    if (g_link != Link::None) return E_FAIL;
    HANDLE connected = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!connected) return E_FAIL;
    const unsigned attempt = BeginAttempt();
    g_record = record;
    g_connected = connected;
    record->heRapiInit = connected;
    record->hrRapiInit = E_PENDING;  // a caller that reads it before the event sees no connection
    g_connector = ::CreateThread(nullptr, 0, Connector, reinterpret_cast<void*>(static_cast<UINT_PTR>(attempt)), 0,
                                 nullptr);
    if (!g_connector) {
        ::CloseHandle(connected);
        g_connected = nullptr;
        g_record = nullptr;
        g_link = Link::None;
        return E_FAIL;
    }
    return S_OK;
}

// Closes the connection, or ends the attempt still waiting for the handheld.
__declspec(dllexport) HRESULT WINAPI CeRapiUninit() {
    HANDLE connector, connected;
    {
        std::lock_guard lock(g_lock);
        if (g_link == Link::None) return E_FAIL;
        DropHandles();
        g_link = Link::None;
        ++g_attempt;
        ::SetEvent(Ended());
        connector = std::exchange(g_connector, nullptr);
        connected = std::exchange(g_connected, nullptr);
        g_record = nullptr;
    }
    if (connector) {  // once it has let go of the caller's record
        ::WaitForSingleObject(connector, INFINITE);
        ::CloseHandle(connector);
    }
    if (connected) ::CloseHandle(connected);
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
    std::sort(search.entries.begin(), search.entries.end(), [](const auto& a, const auto& b) {
        return zc::ListsBefore(std::wstring_view(a.cFileName), std::wstring_view(b.cFileName));
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
