// The installed program under a virtual display, driven by keystrokes as a person would drive
// it, against the simulated handheld and the stand-in server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/Loopback.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kPrefix = ZC_E2E_PREFIX;
const std::string kBin = kPrefix + "/bin/";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// Polls until `done` holds or the time is up.
bool Eventually(const std::function<bool()>& done, double seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

class Desktop {
public:
    Desktop() {
        display_ = ":" + std::to_string(90 + getpid() % 500);
        xvfb_ = StartProcess({"/usr/bin/Xvfb", display_, "-screen", "0", "1280x1024x24",
                              "-nolisten", "tcp"});
        setenv("DISPLAY", display_.c_str(), 1);
        unsetenv("QT_QPA_PLATFORM");
        up_ = Eventually([] { return RunProcess({"/usr/bin/xdotool", "getmouselocation"}, 5)
                                         .exitCode == 0; }, 20);
    }
    ~Desktop() { StopProcess(xvfb_); }
    bool up() const { return up_; }

    std::vector<std::string> Windows(const std::string& name) {
        return Lines(RunProcess({"/usr/bin/xdotool", "search", "--onlyvisible", "--name",
                                 "^" + name + "$"}, 10).output);
    }
    void Key(const std::string& window, const std::string& keys) {
        RunProcess({"/usr/bin/xdotool", "windowfocus", "--sync", window}, 10);
        RunProcess({"/usr/bin/xdotool", "key", "--clearmodifiers", keys}, 10);
    }
    void Type(const std::string& text) {
        RunProcess({"/usr/bin/xdotool", "type", "--delay", "10", text}, 60);
    }

private:
    std::string display_;
    pid_t xvfb_ = -1;
    bool up_ = false;
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (!fs::is_directory(folder)) return names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FoldersIn(const std::string& folder) {
    std::vector<std::string> names;
    if (!fs::is_directory(folder)) return names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_directory()) names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of `folder` somewhere under the server's data, byte for byte.
void ExpectOnServer(const std::string& folder, const std::string& data) {
    std::map<std::string, std::string> served;
    for (const auto& e : fs::recursive_directory_iterator(data))
        if (e.is_regular_file()) served[e.path().filename().string()] = e.path().string();
    for (const std::string& name : FilesIn(folder)) {
        ASSERT_TRUE(served.count(name)) << name << " never reached the server";
        EXPECT_EQ(ReadFile(served[name]), ReadFile(folder + "/" + name)) << name;
    }
}

}  // namespace

TEST(EndToEnd, TransferThenResendThroughTheWindows) {
    HomeDir home;
    Desktop desktop;
    ASSERT_TRUE(desktop.up()) << "the virtual display did not start";

    ASSERT_EQ(RunProcess({kBin + "zilba-sim", "install"}).exitCode, 0);
    ASSERT_EQ(RunProcess({kBin + "zilba-sim", "create", "--jobs", "12", "--signatures", "3"})
                  .exitCode, 0);
    int port = UnusedPort();
    std::string data = home / "server";
    fs::create_directories(data);
    pid_t server = StartProcess({kBin + "zilba-server", "--port", std::to_string(port), "--data",
                                 data});
    ASSERT_EQ(RunProcess({kBin + "zilba-sim", "settings", "--server",
                          "127.0.0.1:" + std::to_string(port)}).exitCode, 0);
    fs::create_directories(home / "home/Documents");
    const std::string local = home / "home/Documents/Zilba Companion";
    const std::string handheld = home / "home/.local/share/zilba-companion/handheld/My Documents/Pocket Zilba";

    pid_t program = StartProcess({kBin + "ZilbaCompanion"});
    std::string main;
    ASSERT_TRUE(Eventually([&] {
        auto w = desktop.Windows("Zilba Companion");
        if (w.size() == 1) main = w[0];
        return !main.empty();
    }));

    // Transfer, and Yes to "Have you connected the device to the PC?".
    desktop.Key(main, "alt+t");
    std::string box;
    auto aBox = [&] {
        for (const auto& w : desktop.Windows("Zilba Companion"))
            if (w != main) box = w;
        return !box.empty();
    };
    ASSERT_TRUE(Eventually(aBox)) << "no question appeared";
    desktop.Key(box, "Return");
    box.clear();
    // The run ends with its box once the backup holds what was sent.
    ASSERT_TRUE(Eventually([&] { return FoldersIn(local + "/Upload").size() == 1 && aBox(); }));
    std::string backup = FoldersIn(local + "/Upload")[0];
    std::vector<std::string> sent = FilesIn(backup);
    ASSERT_EQ(sent.size(), 4u) << "the export file and three bitmaps";
    EXPECT_EQ(sent.back().rfind("c_zilba_", 0), 0u);
    ExpectOnServer(backup, data);
    EXPECT_TRUE(FilesIn(local + "/Export").empty());
    EXPECT_TRUE(fs::exists(handheld + "/.purge"));
    for (const std::string& bmp : FilesIn(handheld + "/Signatures"))
        EXPECT_EQ(ReadFile(handheld + "/Signatures/" + bmp), ReadFile(backup + "/" + bmp));
    desktop.Key(box, "Return");
    box.clear();
    ASSERT_TRUE(Eventually([&] { return desktop.Windows("Zilba Companion").size() == 1; }));

    // Resend the backed-up export file through the file dialog.
    std::this_thread::sleep_for(std::chrono::seconds(1));  // a new second, a new backup folder
    fs::remove_all(data);
    fs::create_directories(data);
    desktop.Key(main, "alt+r");
    std::string dialog;
    ASSERT_TRUE(Eventually([&] {
        auto w = desktop.Windows("Select export file");
        if (!w.empty()) dialog = w[0];
        return !dialog.empty();
    }));
    RunProcess({"/usr/bin/xdotool", "windowfocus", "--sync", dialog}, 10);
    desktop.Type(backup + "/" + sent.back());
    desktop.Key(dialog, "Return");
    ASSERT_TRUE(Eventually([&] { return FoldersIn(local + "/Upload").size() == 2 && aBox(); }));
    std::string second = FoldersIn(local + "/Upload")[1];
    EXPECT_EQ(FilesIn(second), sent);
    ExpectOnServer(second, data);
    desktop.Key(box, "Return");

    StopProcess(program);
    StopProcess(server);
}

}  // namespace zc::test

namespace zc::test {

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
