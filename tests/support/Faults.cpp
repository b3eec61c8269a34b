#include "support/Faults.h"

#include <algorithm>

namespace zc::test {

bool FaultPlan::Hit(const std::string& op) {
    int n = ++counts_[op];
    if (++total_ == kill_) throw Killed{};
    if (total_ == global_) return true;
    auto it = rules_.find(op);
    return it != rules_.end() && std::any_of(it->second.begin(), it->second.end(),
                                             [n](int rule) { return rule == 0 || rule == n; });
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

constexpr int32_t kErrDatabase = -2147467259;

// Records the call `op` and raises error `number` when the plan fails it.
void Raise(FaultPlan& plan, const std::string& op, int32_t number) {
    plan.Record(op);
    if (plan.Hit(op)) throw Error(number, "injected failure of " + op);
}

// Owns the real `T` it forwards to; a failed call raises error `number`.
template <class T, int32_t number>
class Owning : public T {
public:
    Owning(std::unique_ptr<T> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}

protected:
    // The real object, once the call is recorded and has not been failed.
    T& Check(const std::string& op) {
        Raise(plan_, op, number);
        return *real_;
    }
    std::unique_ptr<T> real_;
    FaultPlan& plan_;
};

class Request : public Owning<HttpRequest, kErrRequest> {
public:
    using Owning::Owning;
    void Open(const std::string& method, const std::string& url, bool async) override {
        Check("Open").Open(method, url, async);
    }
    void SetRequestHeader(const std::string& name, const std::string& value) override {
        Check("SetRequestHeader").SetRequestHeader(name, value);
    }
    void Send(std::string_view body) override { Check("Send").Send(body); }
    int32_t Status() override {
        plan_.Record("Status");
        return plan_.Hit("Status") ? 500 : real_->Status();
    }
    std::string ResponseText() override { return Check("ResponseText").ResponseText(); }
    std::string ResponseUrl() override { return real_->ResponseUrl(); }
};

class Rows : public Owning<Recordset, kErrDatabase> {
public:
    using Owning::Owning;
    bool Eof() override { return Check("Eof").Eof(); }
    void Read(std::string_view name, FieldValue& value) override { Check("Read").Read(name, value); }
    void MoveNext() override { Check("MoveNext").MoveNext(); }
};

class Link : public Owning<Connection, kErrDatabase> {
public:
    using Owning::Owning;
    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        return std::make_unique<Rows>(Check("Execute").Execute(sql), plan_);
    }
};

}  // namespace

std::unique_ptr<HttpRequest> FaultyHttp::CreateRequest() {
    return std::make_unique<Request>(real_.CreateRequest(), plan_);
}

std::unique_ptr<Connection> FaultyDatabase::Open(const std::string& connectionString) {
    Raise(plan_, "DatabaseOpen", kErrDatabase);
    return std::make_unique<Link>(real_.Open(connectionString), plan_);
}

}  // namespace zc::test
