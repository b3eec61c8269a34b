#pragma once
// Steps the test scripts, for the window controller: Transfer, Resend and the finishing of a run
// cut short call `run` with their name (by default noting it in `runs`); the unload is counted;
// the filter library fails to load when asked. And a clock the test moves.
#include <functional>
#include <string>
#include <vector>

#include "core/Controller.h"
#include "platform/Error.h"

namespace zc::test {

struct Scripted {
    static inline std::vector<std::string> runs;
    static inline std::function<void(const char*)> run;
    static inline int unloads = 0;
    static inline bool fatal = false;

    static const Steps& Reset() {
        runs.clear();
        run = [](const char* what) { runs.push_back(what); };
        unloads = 0;
        fatal = false;
        static const Steps steps{
            [](MainForm&) {
                if (fatal) throw Error(-1, "Unable to load ADO filter library");
            },
            [] {}, [](MainForm&) { ++unloads; }, [](MainForm&) { run("transfer"); }, [](MainForm&) { run("resend"); },
            [](MainForm&) { return run("finish"), true; }};
        return steps;
    }
};

// Standing still, it holds back every change after the first paint.
struct TestTicks : Ticks {
    explicit TestTicks(uint32_t start = 0) : now(start) {}
    uint32_t now;
    uint32_t Milliseconds() override { return now; }
};

}  // namespace zc::test
