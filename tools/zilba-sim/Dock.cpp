// dock, undock and install: the connection state of the simulated handheld and the
// registrations the docking software and the program rely on.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/Registry.h"
#include "platform/posix/PosixRegistry.h"
#include "platform/posix/SimulatedHandheld.h"
#include "platform/posix/XdgPaths.h"

namespace zilba_sim {

namespace fs = std::filesystem;
using zc::posix::SimulatedHandheld;

namespace {

std::string Errno(int err) { return std::strerror(err); }

bool IsFolder(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Starts `program` on its own, in a new session, with no terminal and no parent waiting for
// it, as the docking software starts its programs. Returns an empty text when it runs, else
// why it could not be started.
std::string StartDetached(const std::string& program) {
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) return Errno(errno);
    pid_t child = ::fork();
    if (child < 0) {
        int err = errno;
        ::close(status[0]);
        ::close(status[1]);
        return Errno(err);
    }
    if (child == 0) {
        ::close(status[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (null > 2) ::close(null);
        }
        // Nothing of this tool's open files reaches the program; the status pipe closes at exec.
        ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        ::execv(program.c_str(), argv);
        int err = errno;
        ssize_t ignored = ::write(status[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(status[1]);
    int wstatus = 0;
    while (::waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    while ((n = ::read(status[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) return "cannot start a process";
    if (n == static_cast<ssize_t>(sizeof err)) return Errno(err);
    return {};
}

std::vector<std::string> AutoStartPrograms() {
    zc::posix::PosixRegistry registry;
    zc::HKEY key = 0;
    std::vector<std::string> programs;
    if (registry.RegOpenKeyExA(zc::kHkeyLocalMachine, kAutoStartKey, 0, zc::kKeyAllAccess, &key) !=
        zc::kErrorSuccess)
        return programs;
    for (uint32_t i = 0;; ++i) {
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (registry.RegEnumValueA(key, i, &name, &type, &data) != zc::kErrorSuccess) break;
        if (type != zc::kRegSz && type != 2 /* REG_EXPAND_SZ */) continue;
        std::string text(data.begin(), data.end());
        if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        programs.push_back(text);
    }
    registry.RegCloseKey(key);
    return programs;
}

std::string ExeFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) throw std::runtime_error("cannot find this program's folder: " + ec.message());
    return exe.parent_path().string();
}

void SetDefault(zc::Registry& registry, const std::string& keyPath, const std::string& text) {
    zc::HKEY key = 0;
    uint32_t disposition = 0;
    zc::LONG rc = registry.RegCreateKeyExA(zc::kHkeyClassesRoot, keyPath, 0, nullptr, 0,
                                           zc::kKeyAllAccess, nullptr, &key, &disposition);
    if (rc != zc::kErrorSuccess)
        throw std::runtime_error("cannot create the registry key kHkeyClassesRoot\\" + keyPath +
                                 " (error " + std::to_string(rc) + ")");
    // Stored with its terminating NUL, as string values are.
    rc = registry.RegSetValueExA(key, "", 0, zc::kRegSz,
                                 reinterpret_cast<const uint8_t*>(text.c_str()),
                                 static_cast<uint32_t>(text.size() + 1));
    registry.RegCloseKey(key);
    if (rc != zc::kErrorSuccess)
        throw std::runtime_error("cannot write the registry value kHkeyClassesRoot\\" + keyPath +
                                 " (error " + std::to_string(rc) + ")");
}

}  // namespace

void Dock() {
    SimulatedHandheld handheld;
    if (!IsFolder(handheld.Root()))
        throw std::runtime_error("no handheld at " + handheld.Root() +
                                 " (create one with: zilba-sim create)");
    if (::unlink(handheld.Marker().c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("cannot dock the handheld: " + Errno(errno));
    std::cout << "Handheld docked\n";

    auto programs = AutoStartPrograms();
    if (programs.empty()) std::cout << "No program registered to start on connection\n";
    for (const auto& program : programs) {
        struct stat st{};
        if (program.empty() || ::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::cout << "Skipped " << (program.empty() ? "an empty entry" : program)
                      << ": no such program\n";
            continue;
        }
        std::string failure = StartDetached(program);
        if (failure.empty())
            std::cout << "Started " << program << "\n";
        else
            std::cout << "Skipped " << program << ": " << failure << "\n";
    }
}

void Undock() {
    SimulatedHandheld handheld;
    std::string marker = handheld.Marker();
    if (!zc::posix::MakeFolders(fs::path(marker).parent_path().string()))
        throw std::runtime_error("cannot undock the handheld: cannot create the folder of " + marker);
    int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("cannot undock the handheld: " + Errno(errno));
    ::close(fd);
    std::cout << "Handheld undocked\n";
}

void Install(const std::string& library) {
    std::string path = library;
    if (path.empty()) {
        std::string folder = ExeFolder();
        for (const char* candidate : {"/../lib/zilba-companion/libzc_adofilter.so",
                                      "/../lib/libzc_adofilter.so"}) {
            if (fs::is_regular_file(folder + candidate)) {
                path = folder + candidate;
                break;
            }
        }
        if (path.empty())
            throw std::runtime_error("no filter library found beside " + folder +
                                     " (give one with --library)");
    }
    std::error_code ec;
    fs::path absolute = fs::canonical(path, ec);
    if (ec || !fs::is_regular_file(absolute))
        throw std::runtime_error("no filter library at " + path);
    // Refuse a library the program could not use, rather than let its next start fail.
    void* handle = ::dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw std::runtime_error("cannot load " + absolute.string() + ": " + ::dlerror());
    bool hasEntry = ::dlsym(handle, "DEVICETODESKTOP") != nullptr;
    ::dlclose(handle);
    if (!hasEntry)
        throw std::runtime_error(absolute.string() + " is not a filter library (no DEVICETODESKTOP)");

    zc::posix::PosixRegistry registry;
    SetDefault(registry, "MS.WinCE.Table\\CLSID", kFilterClassId);
    SetDefault(registry, std::string("CLSID\\") + kFilterClassId + "\\InprocServer32",
               absolute.string());
    std::cout << "Registered the filter library " << absolute.string() << " as " << kFilterClassId
              << "\n";
}

}  // namespace zilba_sim
