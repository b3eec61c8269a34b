#pragma once
// Platform wrappers for tests: each forwards to a real layer, records the calls, and fails the
// calls a FaultPlan names, the way that layer fails (a failure value, -1, or a raised error).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Database.h"
#include "platform/Error.h"
#include "platform/HttpRequest.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace zc::test {

// Thrown at the call a plan kills the program at: no error handler of the program takes it, as
// none runs when the process is killed.
struct Killed {};

class FaultPlan {
public:
    // Kills the program at the n-th call counted over every operation (1-based).
    void KillAtGlobalCall(int n) { kill_ = n; }
    // Fails the n-th call (1-based) of `op`; n = 0 fails every call of it.
    void FailCall(const std::string& op, int n = 0) { rules_[op].push_back(n); }
    // Fails the n-th call counted over every operation (1-based).
    void FailGlobalCall(int n) { global_ = n; }
    bool Hit(const std::string& op);
    int Total() const { return total_; }
    bool failed = false;  // whether the last call counted was failed

    std::vector<std::string> calls;  // every call in order, with its main argument
    void Record(const std::string& entry) { calls.push_back(entry); }
    // Records "op arg"; `failure` when the call is to fail, else what `real` gives. A result
    // other than `failure` counts one more open handle in `open`, when given.
    template <class R, class Real>
    R Call(const std::string& op, const std::string& arg, R failure, Real&& real, int* open = nullptr) {
        Record(arg.empty() ? op : op + " " + arg);
        R r = Hit(op) ? failure : real();
        if (open && r != failure) ++*open;
        return r;
    }
    // Records a call that raises error `number` when failed.
    void Raise(const std::string& op, const std::string& arg, int32_t number, const std::string& text) {
        Record(arg.empty() ? op : op + " " + arg);
        if (Hit(op)) throw Error(number, text);
    }
    // Records a call that never fails; what it gave.
    template <class R>
    R Recorded(const std::string& entry, R r) {
        Record(entry);
        return r;
    }
    // Records a close, which never fails, and counts the handle down.
    template <class Real>
    auto Close(const std::string& op, int& open, Real&& real) {
        Record(op);
        --open;
        return real();
    }

private:
    std::map<std::string, std::vector<int>> rules_;
    std::map<std::string, int> counts_;
    int global_ = -1;
    int kill_ = -1;
    int total_ = 0;
};

// Forwards to the real layer `T` (borrowed, or owned when made from a unique_ptr), through a plan.
template <class T>
class Wrapping : public T {
public:
    Wrapping(T& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    Wrapping(std::unique_ptr<T> real, FaultPlan& plan) : owned_(std::move(real)), real_(*owned_), plan_(plan) {}

protected:
    std::unique_ptr<T> owned_;
    T& real_;
    FaultPlan& plan_;
};

// The body of a wrapper: records the call `op` with `arg`; `failure` when the plan fails it, else
// the real layer's answer to the arguments that follow.
#define ZC_OR_FAIL(op, arg, failure, ...) return plan_.Call(#op, arg, failure, [&] { return real_.op(__VA_ARGS__); })
// The same for a call that fails by raising: error `number`, or the file system's 75.
#define ZC_OR_RAISE(number, op, ...) \
    return plan_.Raise(#op, "", number, "injected failure of " #op), real_.op(__VA_ARGS__)
#define ZC_FILE_OR_RAISE(op, path, ...) \
    return plan_.Raise(#op, path, kErrPathFileAccess, "Path/File access error (injected): " + path), real_.op(__VA_ARGS__)

class FaultyRegistry : public Wrapping<Registry> {
public:
    using Wrapping::Wrapping;
    LONG RegOpenKeyExA(HKEY k, const std::string& sub, uint32_t o, uint32_t sam, HKEY* out) override {
        return Opened(plan_.Call("RegOpenKeyExA", sub, kErrorAccessDenied, [&] {
            return Refused(k, sam) ? kErrorAccessDenied : real_.RegOpenKeyExA(k, sub, o, sam, out);
        }));
    }
    LONG RegQueryValueExA(HKEY k, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) override {
        ZC_OR_FAIL(RegQueryValueExA, name, kErrorFileNotFound, k, name, type, data, size);
    }
    LONG RegCreateKeyExA(HKEY k, const std::string& sub, uint32_t r, const char* cls, uint32_t o, uint32_t sam,
                         const void* sa, HKEY* out, uint32_t* disp) override {
        return Opened(plan_.Call("RegCreateKeyExA", sub, kErrorAccessDenied, [&] {
            return Refused(k, sam) ? kErrorAccessDenied : real_.RegCreateKeyExA(k, sub, r, cls, o, sam, sa, out, disp);
        }));
    }
    LONG RegSetValueExA(HKEY k, const std::string& name, uint32_t r, uint32_t type, const uint8_t* data,
                        uint32_t size) override {
        ZC_OR_FAIL(RegSetValueExA, name, kErrorAccessDenied, k, name, r, type, data, size);
    }
    LONG RegCloseKey(HKEY k) override { return plan_.Close("RegCloseKey", openKeys, [&] { return real_.RegCloseKey(k); }); }
    // Only the handheld's docking reads values in turn; no run does.
    LONG RegEnumValueA(HKEY k, uint32_t i, std::string* name, uint32_t* type, std::vector<uint8_t>* data) override {
        return real_.RegEnumValueA(k, i, name, type, data);
    }
    int openKeys = 0;  // opened or created and not yet closed
    // A standard user under User Account Control: any right to change a key outside the user's
    // own hive is refused, as Windows refuses it to a process that is not elevated.
    bool standardUser = false;

private:
    bool Refused(HKEY hive, uint32_t sam) const {
        return standardUser && (hive == kHkeyLocalMachine || hive == kHkeyClassesRoot) && (sam & kKeyChangeRights);
    }
    LONG Opened(LONG r) {
        openKeys += r == kErrorSuccess;
        return r;
    }
};

class FaultyKernel : public Wrapping<Kernel> {
public:
    using Wrapping::Wrapping;
    HANDLE CreateMutexA(const SECURITY_ATTRIBUTES* sa, bool owner, const std::string& name) override {
        ZC_OR_FAIL(CreateMutexA, name, HANDLE(0), sa, owner, name);
    }
    // A failed mutex reports "not enough memory".
    uint32_t GetLastError() override { return plan_.failed ? 8 : real_.GetLastError(); }
    HMODULE LoadLibraryA(const std::string& path) override { ZC_OR_FAIL(LoadLibraryA, path, HMODULE(0), path); }
    void* GetProcAddress(HMODULE m, const std::string& name) override {
        ZC_OR_FAIL(GetProcAddress, name, static_cast<void*>(nullptr), m, name);
    }
    bool FreeLibrary(HMODULE m) override { return real_.FreeLibrary(m); }
    HANDLE CreateFileA(const std::string& path, uint32_t access, uint32_t share, const SECURITY_ATTRIBUTES* sa,
                       uint32_t creation, uint32_t flags, HANDLE t) override {
        return plan_.Call("CreateFileA", path, kInvalidHandle,
                          [&] { return real_.CreateFileA(path, access, share, sa, creation, flags, t); }, &openFiles);
    }
    bool WriteFile(HANDLE file, const uint8_t* buffer, uint32_t count, uint32_t* written, OVERLAPPED* at) override {
        if (written) *written = 0;
        ZC_OR_FAIL(WriteFile, std::to_string(at ? at->Offset : 0) + " " + std::to_string(count), false, file, buffer,
                   count, written, at);
    }
    bool CloseHandle(HANDLE h) override { return plan_.Close("CloseHandle", openFiles, [&] { return real_.CloseHandle(h); }); }
    std::string AppPath() override { return real_.AppPath(); }
    std::string AppExeName() override { return real_.AppExeName(); }
    std::string ExpandEnvironmentStringsA(const std::string& text) override { return real_.ExpandEnvironmentStringsA(text); }
    int openFiles = 0;
};

class FaultyRapi : public Wrapping<Rapi> {
public:
    using Wrapping::Wrapping;
    int32_t CeRapiInit() override { ZC_OR_FAIL(CeRapiInit, "", int32_t(0x80004005u)); }
    int32_t CeRapiUninit() override { return plan_.Recorded("CeRapiUninit", real_.CeRapiUninit()); }
    HANDLE CeFindFirstFile(const char16_t* name, CE_FIND_DATA* data) override {
        return plan_.Call("CeFindFirstFile", Utf16ToUtf8(name), kInvalidHandle,
                          [&] { return real_.CeFindFirstFile(name, data); }, &openHandles);
    }
    int32_t CeFindNextFile(HANDLE find, CE_FIND_DATA* data) override { ZC_OR_FAIL(CeFindNextFile, "", 0, find, data); }
    // A failed search call reports a failure, not the end of the names.
    uint32_t CeGetLastError() override { return plan_.failed ? ERROR_GEN_FAILURE_CE : real_.CeGetLastError(); }
    int32_t CeFindClose(HANDLE find) override {
        return plan_.Close("CeFindClose", openHandles, [&] { return real_.CeFindClose(find); });
    }
    HANDLE CeCreateFile(const char16_t* name, uint32_t access, uint32_t share, const void* sa, uint32_t creation,
                        uint32_t flags, HANDLE t) override {
        return plan_.Call("CeCreateFile", Utf16ToUtf8(name), kInvalidHandle,
                          [&] { return real_.CeCreateFile(name, access, share, sa, creation, flags, t); }, &openHandles);
    }
    int32_t CeReadFile(HANDLE file, void* buffer, uint32_t toRead, uint32_t* read, void* at) override {
        if (read) *read = 0;
        ZC_OR_FAIL(CeReadFile, "", 0, file, buffer, toRead, read, at);
    }
    int32_t CeCloseHandle(HANDLE h) override {
        return plan_.Close("CeCloseHandle", openHandles, [&] { return real_.CeCloseHandle(h); });
    }
    int openHandles = 0;  // searches and files not yet closed
};

// Failures raise the file system's error 75; a text file's lines ("PrintLine") and its close
// ("CloseText") fail as a full disk.
class FaultyFileSystem : public Wrapping<FileSystem> {
public:
    using Wrapping::Wrapping;
    bool Exists(const std::string& path) override { return plan_.Recorded("Exists " + path, real_.Exists(path)); }
    void MkDir(const std::string& path) override { ZC_FILE_OR_RAISE(MkDir, path, path); }
    std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) override {
        ZC_FILE_OR_RAISE(ListFiles, folder, folder, pattern);
    }
    void FileCopy(const std::string& from, const std::string& to) override { ZC_FILE_OR_RAISE(FileCopy, from, from, to); }
    void Kill(const std::string& path) override { ZC_FILE_OR_RAISE(Kill, path, path); }
    void MoveFile(const std::string& from, const std::string& to) override { ZC_FILE_OR_RAISE(MoveFile, from, from, to); }
    void ReplaceFile(const std::string& from, const std::string& to) override {
        ZC_FILE_OR_RAISE(ReplaceFile, from, from, to);
    }
    void Flush(const std::string& path) override {
        plan_.Raise("Flush", path, kErrPathFileAccess, "Path/File access error (injected): " + path);
        if (flushToDisk) real_.Flush(path);
    }
    std::unique_ptr<TextFile> CreateText(const std::string& path) override;
    std::vector<uint8_t> ReadBinary(const std::string& path) override { ZC_FILE_OR_RAISE(ReadBinary, path, path); }
    int openTexts = 0;  // text files created and not closed (dropping one does not close it)
    bool flushToDisk = true;  // off where only the run's logic is under test, not the disk's
};

class FaultyShellFolder : public Wrapping<ShellFolder> {
public:
    using Wrapping::Wrapping;
    int32_t SHGetFolderPathA(intptr_t hwnd, int32_t csidl, intptr_t token, uint32_t flags, char* path) override {
        ZC_OR_FAIL(SHGetFolderPathA, "", int32_t(0x80004005u), hwnd, csidl, token, flags, path);
    }
    std::string FallbackLocalDir() override { return real_.FallbackLocalDir(); }
};

// The request object and the database, failing the call a fault plan picks the way they fail:
// raising, or (the request's status) answering 500.
class FaultyHttp : public Wrapping<Http> {
public:
    using Wrapping::Wrapping;
    std::unique_ptr<HttpRequest> CreateRequest() override;
};

class FaultyDatabase : public Wrapping<Database> {
public:
    using Wrapping::Wrapping;
    std::unique_ptr<Connection> Open(const std::string& connectionString) override;
};

}  // namespace zc::test
