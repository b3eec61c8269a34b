#pragma once
// A form for step tests: fields in a map, the log as a list of lines, scripted answers; as a
// window shell under the controller, its refresh is the paint and the rest is noted in events.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/Controller.h"

namespace zc::test {

class FakeForm : public Window {
public:
    std::string Text(Field field) override { return fields[field]; }
    void SetText(Field field, const std::string& text) override { fields[field] = text; }
    void Refresh() override { ++refreshes; Event("refresh"); }
    void WriteLog(const std::string& message) override { log.push_back(message); Event("log:" + message); }
    void ShowLog() override { Event("showlog"); }
    bool AskYesNo(const std::string& prompt) override {
        questions.push_back(prompt);
        Event("ask:" + prompt);
        bool yes = answers.empty() || answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); Event("box:" + text); }
    void ShowWarning(const std::string& text) override { warnings.push_back(text); Event("warning:" + text); }
    std::string ChooseFile(const std::string&, const std::string&, const std::string& folder) override {
        Event("dialog:" + folder);
        std::string chosen = chosenFiles.empty() ? "" : chosenFiles.front();
        if (!chosenFiles.empty()) chosenFiles.pop_front();
        return chosen;
    }
    void SetCursor(Cursor c) override {
        cursor = c;
        Event(c == Cursor::Hourglass ? "cursor:hourglass" : "cursor:arrow");
    }
    void WidenLog(const std::string& line) override { Event("widen:" + line); }
    void PaintHeld() override { Event("held"); }
    void LetEventsIn() override {
        Event("events");
        if (duringEvents) duringEvents();
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
};

}  // namespace zc::test
