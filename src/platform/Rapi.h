#pragma once
// The handheld's remote file access: the operations the program calls.
#include <cstdint>

#include "platform/Kernel.h"

namespace zc {

struct CE_FILETIME {
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;
};

struct CE_FIND_DATA {
    uint32_t dwFileAttributes;
    CE_FILETIME ftCreationTime;
    CE_FILETIME ftLastAccessTime;
    CE_FILETIME ftLastWriteTime;
    uint32_t nFileSizeHigh;
    uint32_t nFileSizeLow;
    uint32_t dwOID;
    char16_t cFileName[260];
};
static_assert(sizeof(CE_FIND_DATA) == 560, "the find record is 560 bytes");

constexpr uint32_t ERROR_FILE_NOT_FOUND_CE = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND_CE = 3;
constexpr uint32_t ERROR_NO_MORE_FILES_CE = 18;
constexpr uint32_t ERROR_GEN_FAILURE_CE = 31;
constexpr uint32_t ERROR_INVALID_NAME_CE = 123;
constexpr uint32_t ERROR_DEVICE_NOT_CONNECTED_CE = 1167;

class Rapi {
public:
    virtual ~Rapi() = default;
    virtual int32_t CeRapiInit() = 0;  // 0 = connection open
    virtual int32_t CeRapiUninit() = 0;
    // Paths are zero-terminated UTF-16, absolute on the handheld, "\"-separated.
    virtual HANDLE CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) = 0;
    virtual int32_t CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) = 0;  // 0 = no more
    virtual int32_t CeFindClose(HANDLE find) = 0;
    virtual HANDLE CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t share,
                                const void* security, uint32_t creation, uint32_t flags,
                                HANDLE templateFile) = 0;
    virtual int32_t CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                               void* overlapped) = 0;  // non-zero = success
    virtual int32_t CeCloseHandle(HANDLE handle) = 0;
    // Why the last search call found nothing: a search that merely ran out of names is told
    // apart from one that failed.
    virtual uint32_t CeGetLastError() = 0;
};

}  // namespace zc
