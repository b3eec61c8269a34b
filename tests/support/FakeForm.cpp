#include "support/FakeForm.h"

namespace zc::test {

FakeForm::FakeForm() {
    for (Field f : {Field::Sessions, Field::Events, Field::Signs, Field::Success, Field::Failure})
        fields[f] = "0";
}

bool FakeForm::AskYesNo(const std::string& prompt) {
    questions.push_back(prompt);
    events.push_back("ask:" + prompt);
    if (answers.empty()) return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

std::string FakeForm::ChooseFile(const std::string& title, const std::string& filter) {
    dialogs.push_back(title + "|" + filter);
    events.push_back("dialog");
    if (chosenFiles.empty()) return {};
    std::string f = chosenFiles.front();
    chosenFiles.pop_front();
    return f;
}

std::string FakeForm::LogText() const {
    std::string text;
    for (const auto& line : log) text += line + "\r\n";
    return text;
}

}  // namespace zc::test
