#pragma once
// A form for step tests: fields in a map, the log as a list of lines, scripted answers.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/Form.h"

namespace zc::test {

class FakeForm : public Form {
public:
    FakeForm();

    std::string Text(Field field) override { return fields[field]; }
    void SetText(Field field, const std::string& text) override { fields[field] = text; }
    void Refresh() override { ++refreshes; events.push_back("refresh"); }
    void WriteLog(const std::string& message) override {
        log.push_back(message);
        events.push_back("log:" + message);
    }
    void ShowLog() override {
        ++logShown;
        events.push_back("showlog");
    }
    bool AskYesNo(const std::string& prompt) override;
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        events.push_back("box:" + text);
    }
    void ShowWarning(const std::string& text) override {
        warnings.push_back(text);
        events.push_back("warning:" + text);
    }
    std::string ChooseFile(const std::string& title, const std::string& filter) override;
    void SetCursor(Cursor c) override {
        cursor = c;
        events.push_back(c == Cursor::Hourglass ? "cursor:hourglass" : "cursor:arrow");
    }

    // The log window's text as the real window holds it: every line followed by CR LF.
    std::string LogText() const;

    std::map<Field, std::string> fields;
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<std::string> warnings;
    std::vector<std::string> questions;
    std::vector<std::string> events;  // everything in the order it happened
    std::deque<bool> answers;         // answers to the questions, in turn; Yes when none left
    std::deque<std::string> chosenFiles;  // answers to the file dialog; cancel when none left
    std::vector<std::string> dialogs;     // "title|filter" of each dialog shown
    Cursor cursor = Cursor::Arrow;
    int refreshes = 0;
    int logShown = 0;
};

}  // namespace zc::test
