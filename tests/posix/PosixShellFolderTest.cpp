#include <gtest/gtest.h>

#include <cstring>

#include "platform/posix/PosixShellFolder.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

// The documents folder after user-dirs.dirs is written with `line`; "failed" when the lookup
// fails with the buffer left as it was.
std::string Documents(const std::string& line, int32_t csidl = kCsidlPersonal) {
    fs::create_directories(std::string(getenv("HOME")) + "/.config");
    WriteFile(std::string(getenv("HOME")) + "/.config/user-dirs.dirs", line);
    char buffer[kMaxPath];
    std::memset(buffer, ' ', sizeof buffer);
    if (posix::PosixShellFolder().SHGetFolderPathA(0, csidl, 0, 0, buffer) == 0)
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    return std::all_of(buffer, buffer + kMaxPath, [](char c) { return c == ' '; }) ? "failed" : "buffer written";
}

TEST(PosixShellFolder, UsesTheXdgDocumentsFolderElseHomeDocuments) {
    HomeDir dir;
    const std::string home = dir / "home";
    fs::create_directories(home + "/Mes documents");
    EXPECT_EQ(Documents("# by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                        "XDG_DOCUMENTS_DIR=\"$HOME/Mes documents\"\n"),
              home + "/Mes documents");

    EXPECT_EQ(Documents("XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n"), "failed");
    WriteFile(home + "/Documents", "a plain file is not a folder");
    EXPECT_EQ(Documents("XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n"), "failed");
    fs::remove(home + "/Documents");
    fs::create_directory(home + "/Documents");
    EXPECT_EQ(Documents("XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n"), home + "/Documents");
    EXPECT_EQ(Documents("", 0x1A), "failed") << "only the personal folder is known";
    EXPECT_EQ(posix::PosixShellFolder().FallbackLocalDir(), home + "/Zilba Companion");

    // Exactly 259 characters fit with the NUL; 260 do not.
    std::string fits = dir / "d";
    while (fits.size() < 259) fits += fits.size() % 50 == 0 ? "/" : "x";
    fs::create_directories(fits);
    fs::create_directories(fits + "x");
    EXPECT_EQ(Documents("XDG_DOCUMENTS_DIR=\"" + fits + "\"\n"), fits);
    EXPECT_EQ(Documents("XDG_DOCUMENTS_DIR=\"" + fits + "x\"\n"), "failed");
}

}  // namespace
}  // namespace zc::test
