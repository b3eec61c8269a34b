#pragma once
// The docking software's remote API as rapi.dll exports it: undecorated names, the Windows
// calling convention, UTF-16 paths and the 560-byte find record.
#include "platform/Rapi.h"
#include "platform/win32/WinApi.h"

namespace zc::win32::rapi {

// What CeRapiInitEx is handed. The library answers in it after the call has returned, from a
// thread of its own, until the connection is closed: it must outlive the attempt. The event is
// the library's, closed by CeRapiUninit.
struct InitRecord {
    DWORD cbSize;
    ::HANDLE heRapiInit;    // set when the connection is open or the attempt failed
    HRESULT hrRapiInit;     // then the attempt's result
};

using InitExFn = HRESULT(WINAPI*)(InitRecord* record);
using UninitFn = HRESULT(WINAPI*)();
using FindFirstFileFn = ::HANDLE(WINAPI*)(LPCWSTR fileName, CE_FIND_DATA* findData);
using FindNextFileFn = BOOL(WINAPI*)(::HANDLE find, CE_FIND_DATA* findData);
using FindCloseFn = BOOL(WINAPI*)(::HANDLE find);
using CreateFileFn = ::HANDLE(WINAPI*)(LPCWSTR fileName, DWORD access, DWORD share,
                                       LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags,
                                       ::HANDLE templateFile);
using ReadFileFn = BOOL(WINAPI*)(::HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                 LPOVERLAPPED overlapped);
using CloseHandleFn = BOOL(WINAPI*)(::HANDLE handle);
using GetLastErrorFn = DWORD(WINAPI*)();

constexpr const char* kLibrary = "rapi.dll";

}  // namespace zc::win32::rapi
