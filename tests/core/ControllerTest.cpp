// What a window does around a run, against the fake form as a window and a clock the test moves:
// one run at a time, an Exit asked for during a run, when lines and counts are painted, what a
// wait lets in, and the start-up to the first window.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Controller.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

class FakeTicks : public Ticks {
public:
    uint32_t now = 0xFFFFFFE0;  // the count wraps during the test
    uint32_t Milliseconds() override { return now; }
};

// The fake form as a window shell: a paint is its refresh; the rest is noted among its events.
class FakeWindow : public Window {
public:
    explicit FakeWindow(FakeForm& form) : form(form) {}
    std::string Text(Field field) override { return form.Text(field); }
    void SetText(Field field, const std::string& text) override { form.SetText(field, text); }
    void Refresh() override { form.Refresh(); }
    void WriteLog(const std::string& message) override { form.WriteLog(message); }
    void ShowLog() override { form.ShowLog(); }
    bool AskYesNo(const std::string& prompt) override { return form.AskYesNo(prompt); }
    void ShowMessage(const std::string& text) override { form.ShowMessage(text); }
    void ShowWarning(const std::string& text) override { form.ShowWarning(text); }
    std::string ChooseFile(const std::string& title, const std::string& filter,
                           const std::string& folder) override {
        return form.ChooseFile(title, filter, folder);
    }
    void SetCursor(Cursor cursor) override { form.SetCursor(cursor); }
    void WidenLog(const std::string& line) override { form.events.push_back("widen:" + line); }
    void PaintHeld() override { form.events.push_back("held"); }
    void LetEventsIn() override {
        form.events.push_back("events");
        if (duringEvents) duringEvents();
    }
    void ShowMain() override { form.events.push_back("show"); }
    void WhenShown(std::function<void()> then) override { shown = std::move(then); }
    void End() override { form.events.push_back("end"); }

    FakeForm& form;
    std::function<void()> shown, duringEvents;
};

// The steps: what Transfer, Resend and the finishing of a run cut short do is the test's.
struct Scripted {
    static inline std::function<void(const char*)> run;
    static inline int unloads = 0;
    static inline bool fatal = false;
};
const Steps kSteps{
    [](MainForm&) {
        if (Scripted::fatal) throw Error(-1, "Unable to load ADO filter library");
    },
    [] {},
    [](MainForm&) { ++Scripted::unloads; },
    [](MainForm&) { Scripted::run("transfer"); },
    [](MainForm&) { Scripted::run("resend"); },
    [](MainForm&) {
        Scripted::run("finish");
        return true;
    },
};

struct ControllerRig : Rig {
    ControllerRig() {
        Scripted::run = [this](const char* what) { runs.push_back(what); };
        Scripted::unloads = 0;
        Scripted::fatal = false;
    }
    // The window's events since the last call, joined by "|".
    std::string Events() {
        std::string joined;
        for (size_t i = seen; i < form.events.size(); ++i) joined += (joined.empty() ? "" : "|") + form.events[i];
        seen = form.events.size();
        return joined;
    }
    FakeWindow window{form};
    FakeTicks ticks;
    Controller controller{window, os, kSteps, ticks};
    std::vector<std::string> runs;
    size_t seen = 0;
};

TEST(Controller, OneRunAtATimeAndAnExitAskedDuringARunEndsTheProgramOnceTheRunIsOver) {
    ControllerRig rig;
    Controller& c = rig.controller;
    Scripted::run = [&](const char* what) {
        rig.runs.push_back(what);
        if (rig.runs.size() == 1) throw Error(13, "Type mismatch");
        c.Transfer();  // a press queued during the run, handed over by a box's event loop
        c.Resend();
        EXPECT_FALSE(c.MayCloseLog()) << "the log's close box during a run";
        c.Close();
        c.Close();
        EXPECT_EQ(Scripted::unloads, 0) << "ended in the middle of the run";
    };
    c.Transfer();
    EXPECT_EQ(rig.form.messages, std::vector<std::string>{"Error: Type mismatch"}) << "an error that escapes a run";
    c.Resend();
    EXPECT_EQ(rig.runs, (std::vector<std::string>{"transfer", "resend"}));
    EXPECT_EQ(Scripted::unloads, 1) << "the Exit asked for during the run";
    EXPECT_TRUE(c.MayCloseLog());
    c.Transfer();
    c.Close();
    c.Unload();
    EXPECT_EQ(rig.runs.size(), 2u) << "a command after the unload";
    EXPECT_EQ(Scripted::unloads, 1);
    EXPECT_EQ(std::count(rig.form.events.begin(), rig.form.events.end(), "end"), 1);
}

// A line or count is on screen at once when the last paint is the interval old, else by the next
// change or brief wait after the interval, or before a box, a real wait or the run's end, or when
// the shell's event loop runs; a wait lets the window system's events in during a run only.
TEST(Controller, HeldBackLinesAndCountsArePaintedWithinTheIntervalAndBeforeEveryWaitOrBox) {
    ControllerRig rig;
    Controller& c = rig.controller;
    FakeTicks& t = rig.ticks;
    rig.form.fields[Field::LocalDir] = "/pc";
    struct Row {
        std::function<void()> act;
        const char* events;
    };
    const std::vector<Row> rows = {
        {[&] { c.WriteLog("a"); }, "log:a|refresh"},  // the first paint comes at once
        {[&] { t.now += 10, c.WriteLog("b"), c.Refresh(); }, "log:b|held"},
        {[&] { t.now += 29, c.WriteLog("c"), Waiting(Wait::Brief); }, "log:c"},
        {[&] { t.now += 1, Waiting(Wait::Brief); }, "refresh"},
        {[&] { c.WriteLog("d"), Waiting(Wait::Long); }, "log:d|held|refresh"},
        {[&] { c.Refresh(), c.PaintIfHeld(), c.PaintIfHeld(); }, "held|refresh"},
        {[&] { c.Refresh(), c.ShowMessage("x"); }, "held|refresh|box:x"},
        {[&] { c.Refresh(), c.ChooseFile("Select export file", "*.txt", "/pc/Upload"); },
         "held|refresh|dialog:/pc/Upload"},
        {[&] { c.ShowLog(); }, "widen:  ../pc/Export/c_zilba_00000000_000000.txt: Success|showlog"},
        {[&] { t.now += 40, Waiting(Wait::Long); }, "refresh"},  // no events outside a run
        {[&] { c.Transfer(); },
         "refresh|events|log:e|held|refresh|events|events|refresh|log:f|held|refresh"},
    };
    Scripted::run = [&](const char*) {
        Waiting(Wait::Long);  // a real wait: the events, whatever the interval
        c.WriteLog("e");
        Waiting(Wait::Brief);  // within the interval: neither
        t.now += 40;
        Waiting(Wait::Brief);
        rig.window.duringEvents = [&] { Waiting(Wait::Long); };  // a wait from within the events
        t.now += 40;
        Waiting(Wait::Brief);
        rig.window.duringEvents = nullptr;
        c.WriteLog("f");  // painted when the run ends
    };
    for (const Row& row : rows) {
        row.act();
        EXPECT_EQ(rig.Events(), row.events);
    }
}

TEST(Controller, StartUpShowsTheWindowAndFinishesARunCutShortOnceItShowsOrEndsAtOnce) {
    {  // the filter library does not load: the fatal box, the unload, no window
        ControllerRig rig;
        Scripted::fatal = true;
        int code = -1;
        EXPECT_FALSE(rig.controller.Start(code));
        EXPECT_EQ(code, 1);
        EXPECT_EQ(rig.Events(), "refresh|box:Fatal error: Unable to load ADO filter library|end");
        EXPECT_EQ(Scripted::unloads, 1);
    }
    {  // another copy runs: the program ends silently, with nothing to unload
        ControllerRig rig;
        SECURITY_ATTRIBUTES attributes{};
        ASSERT_NE(rig.real.kernel.CreateMutexA(&attributes, false, kMutexName), HANDLE(0));
        int code = -1;
        EXPECT_FALSE(rig.controller.Start(code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(rig.Events(), "");
        EXPECT_EQ(Scripted::unloads, 0);
    }
    ControllerRig rig;
    int code = -1;
    Scripted::run = [&](const char* what) {
        rig.runs.push_back(what);
        rig.controller.Transfer();  // pressed before the run cut short is finished
    };
    ASSERT_TRUE(rig.controller.Start(code));
    EXPECT_EQ(rig.Events(), "show");
    EXPECT_TRUE(rig.runs.empty()) << "finished before the window shows";
    ASSERT_TRUE(rig.window.shown);
    rig.window.shown();
    EXPECT_EQ(rig.runs, std::vector<std::string>{"finish"});
    EXPECT_EQ(rig.form.fields[Field::Site], kDefaultSite) << "the fields loaded";
}

}  // namespace
}  // namespace zc::test
