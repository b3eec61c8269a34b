// What a window does around a run, against the fake form as the window and a clock the test moves.
#include <gtest/gtest.h>

#include "support/Rig.h"

namespace zc::test {
namespace {

struct ControllerRig : Rig {
    // The window's events since the last call, joined by "|".
    std::string Events() {
        std::string joined;
        for (; seen < form.events.size(); ++seen) joined += (joined.empty() ? "" : "|") + form.events[seen];
        return joined;
    }
    TestTicks ticks{0xFFFFFFE0};  // the count wraps during the test
    Controller c{form, os, Scripted::Reset(), ticks};
    size_t seen = 0;
};

// A line or count is on screen at once when the last paint is the interval old, else by the next
// change or brief wait after the interval, or before a box, a real wait or the run's end, or when
// the shell's event loop runs; a wait lets the window system's events in during a run only.
TEST(Controller, HeldBackLinesAndCountsArePaintedWithinTheIntervalAndBeforeEveryWaitOrBox) {
    ControllerRig rig;
    Controller& c = rig.c;
    uint32_t& now = rig.ticks.now;
    rig.form.fields[Field::LocalDir] = "/pc";
    const std::vector<std::pair<std::function<void()>, const char*>> rows = {
        {[&] { c.WriteLog("a"); }, "log:a|refresh"},  // the first paint comes at once
        {[&] { now += 10, c.WriteLog("b"), c.Refresh(); }, "log:b|held"},
        {[&] { now += 29, c.WriteLog("c"), Waiting(Wait::Brief); }, "log:c"},
        {[&] { now += 1, Waiting(Wait::Brief); }, "refresh"},
        {[&] { c.WriteLog("d"), Waiting(Wait::Long); }, "log:d|held|refresh"},
        {[&] { c.Refresh(), c.PaintIfHeld(), c.PaintIfHeld(); }, "held|refresh"},
        {[&] { c.Refresh(), c.ShowMessage("x"), c.Refresh(), c.AskYesNo("y"), c.Refresh(), c.ShowWarning("z"); },
         "held|refresh|box:x|held|refresh|ask:y|held|refresh|warning:z"},
        {[&] { c.Refresh(), c.ChooseFile("Select export file", "*.txt", "/pc/Upload"); },
         "held|refresh|dialog:/pc/Upload"},
        {[&] { c.ShowLog(); }, "widen:  ../pc/Export/c_zilba_00000000_000000.txt: Success|showlog"},
        {[&] { now += 40, Waiting(Wait::Long); }, "refresh"},  // no events outside a run
        {[&] { c.Transfer(); }, "refresh|events|log:e|held|refresh|events|events|refresh|log:f|held|refresh"},
    };
    Scripted::run = [&](const char*) {
        Waiting(Wait::Long);  // a real wait: the events, whatever the interval
        c.WriteLog("e");
        Waiting(Wait::Brief);  // within the interval: neither
        now += 40;
        Waiting(Wait::Brief);
        rig.form.duringEvents = [&] { Waiting(Wait::Long); };  // a wait from within the events
        now += 40;
        Waiting(Wait::Brief);
        rig.form.duringEvents = nullptr;
        c.WriteLog("f");  // painted when the run ends
    };
    for (const auto& [act, events] : rows) {
        act();
        EXPECT_EQ(rig.Events(), events);
    }
}

// A fatal start shows its box and unloads; another copy running ends this one silently; else a run
// cut short is finished before any press. One run at a time: a press during a run starts nothing,
// an error that escapes a run is shown, and an Exit asked for during a run ends the program after it.
TEST(Controller, StartUpThenOneRunAtATimeAndAnExitAskedDuringARunEndsTheProgramOnceItIsOver) {
    const std::vector<std::pair<std::string, std::string>> starts = {
        {"fatal", "exit 1: refresh|box:Fatal error: Unable to load ADO filter library|end, unloads 1"},
        {"already running", "exit 0: , unloads 0"},
        {"run", "exit 7: show|refresh|refresh|box:Error: Type mismatch|refresh|refresh|end, finish, transfer, resend, "
                "unloads 1"},
        {"session ends", "exit 7: show|refresh|end, finish, unloads 1"},  // the unload once the event loop ends
    };
    for (const auto& [start, wanted] : starts) {
        ControllerRig rig;
        Controller& c = rig.c;
        Scripted::fatal = start == "fatal";
        SECURITY_ATTRIBUTES attributes{};
        if (start == "already running") rig.real.kernel.CreateMutexA(&attributes, false, kMutexName);
        Scripted::run = [&](const char* what) {
            Scripted::runs.push_back(what);
            c.Transfer();  // a press queued during the run, handed over by a box's event loop
            c.Resend();
            EXPECT_FALSE(c.MayCloseLog()) << "the log's close box during a run";
            if (Scripted::runs.back() == "transfer") throw Error(13, "Type mismatch");
            if (Scripted::runs.back() == "resend") c.Close(), c.Close();
            EXPECT_EQ(Scripted::unloads, 0) << "ended in the middle of the run";
        };
        const int code = c.RunProgram([&] {
            if (rig.form.shown) rig.form.shown();
            if (start == "run") c.Transfer(), c.Resend(), c.Transfer(), c.Close();
            return 7;
        });
        std::string outcome = "exit " + std::to_string(code) + ": " + rig.Events() + ", ";
        for (const std::string& run : Scripted::runs) outcome += run + ", ";
        EXPECT_EQ(outcome + "unloads " + std::to_string(Scripted::unloads), wanted);
    }
}

}  // namespace
}  // namespace zc::test
