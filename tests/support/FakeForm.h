#pragma once
// A form for step tests: fields in a map, the log as a list of lines, scripted answers; as a
// window shell under the controller, its refresh is the paint and the rest is noted in events.
// Beside it, steps the test scripts and a clock the test moves, for the controller.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/Controller.h"
#include "platform/Error.h"

namespace zc::test {

class FakeForm : public Window {
public:
    std::string Text(Field field) override { return fields[field]; }
    void SetText(Field field, const std::string& text) override { fields[field] = text; }
    void Refresh() override { ++refreshes, Event("refresh"); }
    void WriteLog(const std::string& message) override { log.push_back(message), Event("log:" + message); }
    void ShowLog() override { Event("showlog"); }
    bool AskYesNo(const std::string& prompt) override {
        questions.push_back(prompt), Event("ask:" + prompt);
        return Take(answers, true);
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text), Event("box:" + text); }
    void ShowWarning(const std::string& text) override { warnings.push_back(text), Event("warning:" + text); }
    std::string ChooseFile(const std::string&, const std::string&, const std::string& folder) override {
        return Event("dialog:" + folder), Take(chosenFiles, std::string());
    }
    void SetCursor(Cursor c) override {
        cursor = c, Event(c == Cursor::Hourglass ? "cursor:hourglass" : "cursor:arrow");
    }
    void WidenLog(const std::string& line) override { Event("widen:" + line); }
    void PaintHeld() override { Event("held"); }
    void LetEventsIn() override {
        if (Event("events"), duringEvents) duringEvents();
    }
    void ShowMain() override { Event("show"); }
    void WhenShown(std::function<void()> then) override { shown = std::move(then); }
    void End() override { Event("end"); }

    // The log window's text as the real window holds it: every line followed by CR LF.
    std::string LogText() const {
        std::string text;
        for (const auto& line : log) text += line + "\r\n";
        return text;
    }

    std::map<Field, std::string> fields{{Field::Sessions, "0"}, {Field::Events, "0"}, {Field::Signs, "0"},
                                        {Field::Success, "0"}, {Field::Failure, "0"}};
    std::vector<std::string> log, messages, warnings, questions;
    std::vector<std::string> events;      // everything in the order it happened
    std::deque<bool> answers;             // answers to the questions, in turn; Yes when none left
    std::deque<std::string> chosenFiles;  // answers to the file dialog; cancel when none left
    Cursor cursor = Cursor::Arrow;
    int refreshes = 0;
    std::function<void()> shown, duringEvents;  // what the shown window runs; what the events do

private:
    void Event(const std::string& e) { events.push_back(e); }
    template <class T>
    static T Take(std::deque<T>& queue, T none) {
        if (queue.empty()) return none;
        T next = queue.front();
        return queue.pop_front(), next;
    }
};

// Steps for the controller: Transfer, Resend and the finishing of a run cut short call `run` with
// their name (by default noting it in `runs`); the unload is counted; the filter library fails to
// load when asked.
struct Scripted {
    static inline std::vector<std::string> runs;
    static inline std::function<void(const char*)> run;
    static inline int unloads = 0;
    static inline bool fatal = false;

    static const Steps& Reset() {
        runs.clear(), unloads = 0, fatal = false;
        run = [](const char* what) { runs.push_back(what); };
        static const Steps steps{[](MainForm&) { if (fatal) throw Error(-1, "Unable to load ADO filter library"); },
                                 [] {}, [](MainForm&) { ++unloads; }, [](MainForm&) { run("transfer"); },
                                 [](MainForm&) { run("resend"); }, [](MainForm&) { return run("finish"), true; }};
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
