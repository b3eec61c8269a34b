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

namespace {

void Check(FaultPlan& plan, const std::string& op, int32_t number) {
    plan.Record(op);
    if (plan.Hit(op)) throw Error(number, "injected failure of " + op);
}

class Request : public HttpRequest {
public:
    Request(std::unique_ptr<HttpRequest> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}
    void Open(const std::string& method, const std::string& url, bool async) override {
        Check(plan_, "Open", kErrRequest);
        real_->Open(method, url, async);
    }
    void SetRequestHeader(const std::string& name, const std::string& value) override {
        Check(plan_, "SetRequestHeader", kErrRequest);
        real_->SetRequestHeader(name, value);
    }
    void Send(std::string_view body) override {
        Check(plan_, "Send", kErrRequest);
        real_->Send(body);
    }
    int32_t Status() override {
        plan_.Record("Status");
        return plan_.Hit("Status") ? 500 : real_->Status();
    }
    std::string ResponseText() override {
        Check(plan_, "ResponseText", kErrRequest);
        return real_->ResponseText();
    }

private:
    std::unique_ptr<HttpRequest> real_;
    FaultPlan& plan_;
};

constexpr int32_t kErrDatabase = -2147467259;

class Rows : public Recordset {
public:
    Rows(std::unique_ptr<Recordset> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}
    bool Eof() override {
        Check(plan_, "Eof", kErrDatabase);
        return real_->Eof();
    }
    void Read(std::string_view name, FieldValue& value) override {
        Check(plan_, "Read", kErrDatabase);
        real_->Read(name, value);
    }
    void MoveNext() override {
        Check(plan_, "MoveNext", kErrDatabase);
        real_->MoveNext();
    }

private:
    std::unique_ptr<Recordset> real_;
    FaultPlan& plan_;
};

class Link : public Connection {
public:
    Link(std::unique_ptr<Connection> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}
    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        Check(plan_, "Execute", kErrDatabase);
        return std::make_unique<Rows>(real_->Execute(sql), plan_);
    }

private:
    std::unique_ptr<Connection> real_;
    FaultPlan& plan_;
};

}  // namespace

std::unique_ptr<HttpRequest> FaultyHttp::CreateRequest() {
    return std::make_unique<Request>(real_.CreateRequest(), plan_);
}

std::unique_ptr<Connection> FaultyDatabase::Open(const std::string& connectionString) {
    Check(plan_, "DatabaseOpen", kErrDatabase);
    return std::make_unique<Link>(real_.Open(connectionString), plan_);
}

}  // namespace zc::test
