#pragma once
// The steps, the windows and every wait share the one thread. Before a call that may keep that
// thread away (a request, a call on the handheld, a long disk step), and again and again while a
// request waits for its answer, the platform calls Waiting(): the window shell sets the hook, and
// there it paints what it held back and lets the window system's events in, so the windows stay
// painted and answering. Without a window shell (the tools, the steps' own tests) it does nothing.
#include <functional>
#include <utility>

namespace zc {

enum class Wait {
    Brief,  // a call that as a rule returns at once: paint what is overdue
    Long,   // a wait that is going on or may go on: paint everything now
};

inline std::function<void(Wait)>& WaitHook() {
    static std::function<void(Wait)> hook;
    return hook;
}

inline void Waiting(Wait wait) {
    if (const auto& hook = WaitHook()) hook(wait);
}

// Sets the hook for as long as it lives, and puts back the one before.
class ScopedWaitHook {
public:
    explicit ScopedWaitHook(std::function<void(Wait)> hook) : previous_(std::exchange(WaitHook(), std::move(hook))) {}
    ~ScopedWaitHook() { WaitHook() = std::move(previous_); }
    ScopedWaitHook(const ScopedWaitHook&) = delete;
    ScopedWaitHook& operator=(const ScopedWaitHook&) = delete;

private:
    std::function<void(Wait)> previous_;
};

}  // namespace zc
