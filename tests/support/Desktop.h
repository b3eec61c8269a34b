#pragma once
// A virtual display driven as a person would drive it: Xvfb, and xdotool for windows and keys.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace zc::test {

// Polls until `done` holds or the time is up.
bool Eventually(const std::function<bool()>& done, double seconds = 60);

class Desktop {
public:
    Desktop();
    ~Desktop();
    bool up() const { return up_; }

    // Visible windows whose title is exactly `title`.
    std::vector<std::string> Windows(const std::string& title);
    void Key(const std::string& window, const std::string& keys);
    void Type(const std::string& text);

    // A second "Zilba Companion" window (a question or a box) beside `main`, or "".
    std::string Box(const std::string& main);

private:
    std::string display_;
    pid_t xvfb_ = -1;
    bool up_ = false;
};

}  // namespace zc::test
