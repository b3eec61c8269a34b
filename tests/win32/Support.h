#pragma once
// What the Windows tests share: a fresh folder, whole files, the error a call raises, and where
// the stand-in server and the expected texts are.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace zc::test {

inline std::filesystem::path P(const std::string& utf8) { return win32::Widen(utf8); }

// "Z:\tmp\…" (the Linux /tmp/…), taken down with all it holds, read-only files too.
class TempDir {
public:
    TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(P(path_), ec);
        std::filesystem::create_directories(P(path_));
    }
    ~TempDir() {
        std::error_code ec;
        for (std::filesystem::recursive_directory_iterator it(P(path_), ec), end; !ec && it != end; it.increment(ec))
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(P(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    static inline std::atomic<int> count_{0};
    std::string path_ = "Z:\\tmp\\zc-wintest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count_);
};

// Writes `bytes` as the whole file, making the folders above it.
inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(P(path).parent_path());
    std::ofstream out(P(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(P(path), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The error `call` raised; a test failure (and error 0) when it raised none.
inline Error ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return Error(0, "");
}

// Linux paths as Wine's Z: drive shows them: an expected text in tests/data, a file of the
// stand-in server's state folder, and the server the fixture started ("127.0.0.1:port").
inline std::string DataFile(const std::string& name) { return "Z:" ZC_DATA_DIR "\\" + name; }
inline std::string ServerState(const std::string& name) { return "Z:" ZC_SERVER_STATE "\\" + name; }
inline std::string Server() { return "127.0.0.1:" + std::to_string(std::stoi(ReadFile(ServerState("port")))); }

}  // namespace zc::test
