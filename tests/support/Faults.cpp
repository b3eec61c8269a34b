#include "support/Faults.h"

#include <algorithm>

namespace zc::test {

bool FaultPlan::Hit(const std::string& op) {
    int n = ++counts_[op];
    if (++total_ == global_) return true;
    auto it = rules_.find(op);
    return it != rules_.end() && std::any_of(it->second.begin(), it->second.end(),
                                             [n](int rule) { return rule == 0 || rule == n; });
}

int FaultPlan::Count(const std::string& op) const {
    auto it = counts_.find(op);
    return it == counts_.end() ? 0 : it->second;
}

namespace {

// Counts the file as open until it is closed, and fails its writes as the plan says.
class FaultyText : public TextFile {
public:
    FaultyText(std::unique_ptr<TextFile> real, FaultPlan& plan, int& open)
        : real_(std::move(real)), plan_(plan), open_(open) {
        ++open_;
    }
    void PrintLine(const std::string& line) override {
        if (plan_.Hit("PrintLine")) throw Error(kErrDiskFull, "Disk full (injected)");
        real_->PrintLine(line);
    }
    void Close() override {
        if (!closed_) --open_;
        closed_ = true;
        if (plan_.Hit("CloseText")) throw Error(kErrDiskFull, "Disk full (injected)");
        real_->Close();
    }

private:
    std::unique_ptr<TextFile> real_;
    FaultPlan& plan_;
    int& open_;
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<TextFile> FaultyFileSystem::CreateText(const std::string& path) {
    Check("CreateText", path);
    return std::make_unique<FaultyText>(real_.CreateText(path), plan_, openTexts);
}

}  // namespace zc::test
