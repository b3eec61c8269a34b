#pragma once
// What the Windows tests share: folders, the simulated handheld, files, errors, programs, and
// where the stand-in server and the expected texts are.
#include <functional>
#include <string>

#include "platform/Error.h"

namespace zc::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // "Z:\tmp\…", the Linux /tmp/…
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A simulated handheld in a fresh folder: XDG_DATA_HOME points there while it lives, so the
// stand-in rapi.dll and adofiltr.dll serve it (also to the programs this test starts). `Device`
// gives the PC file behind a handheld path ("My Documents\Pocket Zilba\.purge").
class Handheld {
public:
    Handheld();
    ~Handheld();
    std::string Device(const std::string& path) const { return dir / "zilba-companion\\handheld\\" + path; }
    void File(const std::string& path, const std::string& bytes) const;  // and the folders above it
    void Dock(bool docked) const;

    TempDir dir;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);  // the bytes; a test failure when unreadable
bool IsFile(const std::string& path);
// The error `call` raised; a test failure (and error 0) when it raised none.
Error ErrorOf(const std::function<void()>& call);

// A program started with a full command line, ended by force if it still runs when dropped.
class Process {
public:
    explicit Process(const std::string& commandLine);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    unsigned long id() const { return id_; }
    // Its exit code once it ended within `milliseconds`; 259 (still active) otherwise.
    unsigned long Wait(unsigned long milliseconds);

private:
    void* handle_ = nullptr;
    unsigned long id_ = 0;
};

// Runs a program to its end (a minute at most); its exit code.
inline unsigned long RunProgram(const std::string& commandLine) { return Process(commandLine).Wait(60000); }
// The folder of this test program, where the program and the stand-in DLLs lie.
std::string BinFolder();
// The Windows path of an expected text in tests/data.
std::string DataFile(const std::string& name);
// The stand-in web server the fixture started ("127.0.0.1:port"), and a file of its state folder.
std::string Server();
std::string ServerState(const std::string& name);

}  // namespace zc::test
