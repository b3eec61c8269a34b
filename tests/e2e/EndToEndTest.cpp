// The installed program: its menu entry and icons, and the calls it cannot make. (It is driven
// through its windows in the crash test.)
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/Installed.h"
#include "support/Helpers.h"

namespace zc::test {

const std::string kPrefix = ZC_E2E_PREFIX;

TEST(EndToEnd, InstalledWithAMenuEntryAndItsIcon) {
    const std::string entry = kPrefix + "/share/applications/zilba-companion.desktop";
    ProcessResult check = RunProcess({"/usr/bin/desktop-file-validate", entry}, 30);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    std::string text = ReadFile(entry);
    EXPECT_NE(text.find("\nExec=ZilbaCompanion\n"), std::string::npos);
    EXPECT_NE(text.find("\nStartupWMClass=ZilbaCompanion\n"), std::string::npos) << "the window class";
    EXPECT_TRUE(fs::exists(kBin + "ZilbaCompanion"));
    for (const char* size : {"16x16", "32x32", "48x48", "64x64"})
        EXPECT_TRUE(fs::exists(kPrefix + "/share/icons/hicolor/" + size + "/apps/zilba-companion.png")) << size;
}

}  // namespace zc::test

namespace zc::test {

// The program never runs a shell or any other program: neither it nor its filter library even
// links the calls that could.
TEST(EndToEnd, ProgramAndFilterLinkNoWayToRunAnotherProgram) {
    for (std::string binary : {std::string(ZC_E2E_PREFIX) + "/bin/ZilbaCompanion",
                               std::string(ZC_E2E_PREFIX) + "/lib/zilba-companion/libzc_adofilter.so"}) {
        ProcessResult symbols = RunProcess({"/usr/bin/nm", "-D", "--undefined-only", binary}, 30);
        ASSERT_EQ(symbols.exitCode, 0) << binary << ": " << symbols.output;
        for (const char* call : {"system", "popen", "fork", "vfork", "execl", "execlp", "execle", "execv",
                                 "execvp", "execve", "posix_spawn", "posix_spawnp"}) {
            std::string text = symbols.output;
            for (size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
                bool whole = (at == 0 || text[at - 1] == ' ') &&
                             (at + strlen(call) == text.size() || text[at + strlen(call)] == '@' ||
                              text[at + strlen(call)] == '\n');
                EXPECT_FALSE(whole) << binary << " links " << call;
            }
        }
    }
}

}  // namespace zc::test
