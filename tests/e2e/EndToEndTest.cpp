// The installed program under a virtual display, driven by keystrokes as a person would drive
// it, against the simulated handheld and the stand-in server.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "e2e/Installed.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

const std::string kPrefix = ZC_E2E_PREFIX;

// The regular files (or the folders, as full paths) of `folder`, sorted.
std::vector<std::string> Entries(const std::string& folder, bool folders = false) {
    std::vector<std::string> names;
    for (const std::string& name : Names(folder))
        if (fs::is_directory(folder + "/" + name) == folders)
            names.push_back(folders ? folder + "/" + name : name);
    return names;
}

// Every file of `folder` somewhere under the server's data, byte for byte.
void ExpectOnServer(const std::string& folder, const std::string& data) {
    std::map<std::string, std::string> served;
    for (const auto& e : fs::recursive_directory_iterator(data))
        if (e.is_regular_file()) served[e.path().filename().string()] = e.path().string();
    for (const std::string& name : Entries(folder)) {
        ASSERT_TRUE(served.count(name)) << name << " never reached the server";
        EXPECT_EQ(ReadFile(served[name]), ReadFile(folder + "/" + name)) << name;
    }
}

}  // namespace

TEST(EndToEnd, TransferThenResendThroughTheWindows) {
    Installed setup("12", "3");
    ASSERT_EQ(setup.failure, "");
    const std::string &data = setup.data, &local = setup.localDir, &handheld = setup.handheld;
    Program program(setup.desktop, setup.log);
    ASSERT_TRUE(program.shown());

    // Transfer, Yes to "Have you connected the device to the PC?", and the closing box.
    ASSERT_TRUE(program.Transfer());
    ASSERT_EQ(Entries(local + "/Upload", true).size(), 1u);
    std::string backup = Entries(local + "/Upload", true)[0];
    std::vector<std::string> sent = Entries(backup);
    ASSERT_EQ(sent.size(), 4u) << "the export file and three bitmaps";
    EXPECT_EQ(sent.back().rfind("c_zilba_", 0), 0u);
    ExpectOnServer(backup, data);
    EXPECT_TRUE(Entries(local + "/Export").empty());
    EXPECT_TRUE(fs::exists(handheld + "/.purge"));
    for (const std::string& bmp : Entries(handheld + "/Signatures"))
        EXPECT_EQ(ReadFile(handheld + "/Signatures/" + bmp), ReadFile(backup + "/" + bmp));

    // Resend the backed-up export file through the file dialog.
    std::this_thread::sleep_for(std::chrono::seconds(1));  // a new second, a new backup folder
    fs::remove_all(data);
    fs::create_directories(data);
    ASSERT_TRUE(program.Resend(backup + "/" + sent.back()));
    ASSERT_EQ(Entries(local + "/Upload", true).size(), 2u);
    std::string second = Entries(local + "/Upload", true)[1];
    EXPECT_EQ(Entries(second), sent);
    ExpectOnServer(second, data);
}

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
