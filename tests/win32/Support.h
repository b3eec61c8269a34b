#pragma once
// What the Windows tests share: a fresh folder, whole files, the error a call raises.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "support/ErrorOf.h"

namespace zc::test {

inline std::filesystem::path P(const std::string& utf8) { return win32::Widen(utf8); }

// "Z:\tmp\…", made empty, then taken down with all it holds, read-only too.
struct TempDir {
    TempDir() {
        std::filesystem::remove_all(P(path));
        std::filesystem::create_directories(P(path));
    }
    ~TempDir() {
        std::error_code ec;
        for (std::filesystem::recursive_directory_iterator it(P(path), ec), end; !ec && it != end; it.increment(ec))
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(P(path), ec);
    }
    std::string operator/(const std::string& name) const { return path + "\\" + name; }

    static inline std::atomic<int> count{0};
    const std::string path = "Z:\\tmp\\zc-wintest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(P(path).parent_path());
    ASSERT_TRUE(std::ofstream(P(path), std::ios::binary).write(bytes.data(), bytes.size()).good()) << path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(P(path), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace zc::test
