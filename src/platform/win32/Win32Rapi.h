#pragma once
// The handheld's remote file access through the docking software's rapi.dll, loaded when the
// first connection is opened. Without the library no connection opens. The library waits for a
// handheld for as long as none is docked; the program waits up to the connection limit, with its
// windows painting and answering meanwhile, and then fails the connection.
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/Rapi.h"

namespace zc::win32 {

class Win32Rapi : public Rapi {
public:
    // `library`: the remote API's file name or path.
    explicit Win32Rapi(std::string library = "rapi.dll") : library_(std::move(library)) {}
    ~Win32Rapi() override;
    Win32Rapi(const Win32Rapi&) = delete;
    Win32Rapi& operator=(const Win32Rapi&) = delete;

    int32_t CeRapiInit() override;
    int32_t CeRapiUninit() override;
    HANDLE CeFindFirstFile(const char16_t* fileName, CE_FIND_DATA* findData) override;
    int32_t CeFindNextFile(HANDLE find, CE_FIND_DATA* findData) override;
    int32_t CeFindClose(HANDLE find) override;
    HANDLE CeCreateFile(const char16_t* fileName, uint32_t access, uint32_t share,
                        const void* security, uint32_t creation, uint32_t flags,
                        HANDLE templateFile) override;
    int32_t CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read,
                       void* overlapped) override;
    int32_t CeCloseHandle(HANDLE handle) override;
    uint32_t CeGetLastError() override;

    // The longest a connection is waited for before the run gives up.
    std::chrono::milliseconds connectLimit{std::chrono::seconds(30)};

private:
    struct Api;
    bool Load();  // false when the library or one of its functions is missing

    std::string library_;
    void* module_ = nullptr;
    Api* api_ = nullptr;
};

}  // namespace zc::win32
