#pragma once
// The handheld's remote file access, served from the simulated handheld. The connection opens
// only while the handheld is docked, and is lost (every handle with it) once it is undocked.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Rapi.h"
#include "platform/posix/SimulatedHandheld.h"

namespace zc::posix {

// What a failed connection attempt returns (E_FAIL).
constexpr int32_t kRapiFailed = static_cast<int32_t>(0x80004005u);

class SimulatedRapi : public Rapi {
public:
    SimulatedRapi() = default;
    explicit SimulatedRapi(SimulatedHandheld handheld) : handheld_(std::move(handheld)) {}
    ~SimulatedRapi() override;
    SimulatedRapi(const SimulatedRapi&) = delete;
    SimulatedRapi& operator=(const SimulatedRapi&) = delete;

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
    uint32_t CeGetLastError() override { return lastError_; }

    // Searches and files currently open.

private:
    uint32_t lastError_ = 0;
    struct Search {
        std::vector<SimulatedHandheld::Entry> entries;
        size_t next = 0;
    };
    struct File {
        int fd = -1;
        bool readable = false;
    };

    // The connection is usable: opened and the handheld still docked. An undocked handheld
    // drops the connection and every handle.
    bool Connected();
    void Disconnect();
    HANDLE NewHandle();

    SimulatedHandheld handheld_;
    std::optional<SimulatedHandheld::DockWatch> watch_;  // while connected
    bool connected_ = false;
    std::map<HANDLE, Search> searches_;
    std::map<HANDLE, File> files_;
    HANDLE next_ = 1;
};

}  // namespace zc::posix
