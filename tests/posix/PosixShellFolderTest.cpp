#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/posix/PosixShellFolder.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

struct Lookup {
    int32_t result;
    std::string path;       // up to the first NUL
    bool untouched = true;  // the buffer still holds only the spaces it was filled with
};

Lookup Documents(ShellFolder& shell, int32_t csidl = CSIDL_PERSONAL) {
    char buffer[MAX_PATH];
    std::memset(buffer, ' ', sizeof buffer);
    Lookup out{shell.SHGetFolderPathA(0, csidl, 0, 0, buffer), {}};
    for (char c : buffer) out.untouched = out.untouched && c == ' ';
    out.path.assign(buffer, strnlen(buffer, sizeof buffer));
    return out;
}

TEST(PosixShellFolder, UsesTheXdgDocumentsFolder) {
    TempDir dir;
    dir.UseAsHome();
    const std::string home = dir / "home";
    fs::create_directories(home + "/.config");
    fs::create_directories(home + "/Mes documents");
    WriteFile(home + "/.config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Mes documents\"\n");
    PosixShellFolder shell;
    Lookup found = Documents(shell);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.path, home + "/Mes documents");

    // An absolute path, with a quote escaped the way the shell file escapes it.
    fs::create_directories(dir / "shared/Say \"hi\"");
    WriteFile(home + "/.config/user-dirs.dirs",
              "XDG_DOCUMENTS_DIR=\"" + dir.path() + "/shared/Say \\\"hi\\\"\"\n");
    found = Documents(shell);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.path, dir / "shared/Say \"hi\"");
}

TEST(PosixShellFolder, FallsBackToHomeDocumentsThenFails) {
    TempDir dir;
    dir.UseAsHome();
    const std::string home = dir / "home";
    fs::create_directories(home + "/.config");
    WriteFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n");
    PosixShellFolder shell;

    Lookup none = Documents(shell);
    EXPECT_NE(none.result, 0);
    EXPECT_TRUE(none.untouched);

    WriteFile(home + "/Documents", "a plain file is not a folder");
    none = Documents(shell);
    EXPECT_NE(none.result, 0);
    EXPECT_TRUE(none.untouched);

    fs::remove(home + "/Documents");
    fs::create_directory(home + "/Documents");
    Lookup found = Documents(shell);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.path, home + "/Documents");

    EXPECT_NE(Documents(shell, 0x1A).result, 0);  // only the personal folder is known
    EXPECT_EQ(shell.FallbackLocalDir(), home + "/Zilba Companion");
}

TEST(PosixShellFolder, PathThatDoesNotFitFails) {
    TempDir dir;
    dir.UseAsHome();
    // Exactly 259 characters fit with the NUL; 260 do not.
    std::string fits = dir / "d";
    while (fits.size() < 259) fits += fits.size() % 50 == 0 ? "/" : "x";
    ASSERT_EQ(fits.size(), 259u);
    fs::create_directories(fits);
    fs::create_directories(fits + "x");
    fs::create_directories(dir / "home/.config");
    PosixShellFolder shell;

    WriteFile(dir / "home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + fits + "\"\n");
    Lookup found = Documents(shell);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.path, fits);

    WriteFile(dir / "home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + fits + "x\"\n");
    Lookup tooLong = Documents(shell);
    EXPECT_NE(tooLong.result, 0);
    EXPECT_TRUE(tooLong.untouched);
}

}  // namespace
}  // namespace zc::posix
