#include "support/Desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
    // Xvfb picks a free display itself and writes its number to the pipe: a number chosen here
    // could belong to another test's display, or to a lock file left by one that was killed.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);  // only the writing end goes to Xvfb
    xvfb_ = StartProcess({"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                          "1280x1024x24", "-nolisten", "tcp"});
    close(pipeFds[1]);
    std::string number;
    pollfd p{pipeFds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 20000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipeFds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    up_ = Eventually([] { return RunProcess({"/usr/bin/xdotool", "getmouselocation"}, 5).exitCode == 0; }, 20);
}

Desktop::~Desktop() {
    if (xvfb_ < 0) return;
    // Asked to stop, Xvfb removes its lock file and socket; killed, it leaves both behind.
    kill(xvfb_, SIGTERM);
    if (WaitProcess(xvfb_, 5) == -1) StopProcess(xvfb_);
}

std::vector<std::string> Desktop::Windows(const std::string& title) {
    return Lines(RunProcess({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 10).output);
}

void Desktop::Key(const std::string& window, const std::string& keys) {
    RunProcess({"/usr/bin/xdotool", "windowfocus", "--sync", window}, 10);
    RunProcess({"/usr/bin/xdotool", "key", "--clearmodifiers", keys}, 10);
}

void Desktop::Type(const std::string& text) { RunProcess({"/usr/bin/xdotool", "type", "--delay", "10", text}, 60); }

std::string Desktop::Box(const std::string& main) {
    for (const auto& w : Windows(kTitle))
        if (w != main) return w;
    return {};
}

}  // namespace zc::test
