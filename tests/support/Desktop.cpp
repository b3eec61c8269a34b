#include "support/Desktop.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/Process.h"

namespace zc::test {

namespace {

const char* const kTitle = "Zilba Companion";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

bool Eventually(const std::function<bool()>& done, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

Desktop::Desktop() {
    display_ = ":" + std::to_string(90 + getpid() % 500);
    xvfb_ = StartProcess({"/usr/bin/Xvfb", display_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    setenv("DISPLAY", display_.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    up_ = Eventually([] { return RunProcess({"/usr/bin/xdotool", "getmouselocation"}, 5).exitCode == 0; }, 20);
}

Desktop::~Desktop() { StopProcess(xvfb_); }

std::vector<std::string> Desktop::Windows(const std::string& title) {
    return Lines(RunProcess({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 10).output);
}

void Desktop::Key(const std::string& window, const std::string& keys) {
    RunProcess({"/usr/bin/xdotool", "windowfocus", "--sync", window}, 10);
    RunProcess({"/usr/bin/xdotool", "key", "--clearmodifiers", keys}, 10);
}

void Desktop::Type(const std::string& text) { RunProcess({"/usr/bin/xdotool", "type", "--delay", "10", text}, 60); }

std::string Desktop::WaitForMain(double seconds) {
    std::string main;
    Eventually([&] {
        auto w = Windows(kTitle);
        if (w.size() == 1) main = w[0];
        return !main.empty();
    }, seconds);
    return main;
}

std::string Desktop::Box(const std::string& main) {
    for (const auto& w : Windows(kTitle))
        if (w != main) return w;
    return {};
}

}  // namespace zc::test
