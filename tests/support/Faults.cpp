#include "support/Faults.h"

#include <algorithm>

namespace zc::test {

bool FaultPlan::Hit(const std::string& op) {
    int n = ++counts_[op];
    if (++total_ == kill_) throw Killed{};
    auto it = rules_.find(op);
    return failed = total_ == global_ || (it != rules_.end() && std::any_of(it->second.begin(), it->second.end(),
                                                                            [n](int rule) { return rule == 0 || rule == n; }));
}

namespace {

constexpr int32_t kErrDatabase = -2147467259;

// Counts the file as open until it is closed, and fails its writes as a full disk.
class FaultyText : public Wrapping<TextFile> {
public:
    FaultyText(std::unique_ptr<TextFile> real, FaultPlan& plan, int& open) : Wrapping(std::move(real), plan), open_(open) {
        ++open_;
    }
    void PrintLine(const std::string& line) override {
        Full("PrintLine");
        real_.PrintLine(line);
    }
    void Close() override {
        if (!closed_) --open_;
        closed_ = true;
        Full("CloseText");
        real_.Close();
    }

private:
    void Full(const char* op) {
        if (plan_.Hit(op)) throw Error(kErrDiskFull, "Disk full (injected)");
    }
    int& open_;
    bool closed_ = false;
};

class Request : public Wrapping<HttpRequest> {
public:
    using Wrapping::Wrapping;
    void Open(const std::string& method, const std::string& url, bool async) override {
        ZC_OR_RAISE(kErrRequest, Open, method, url, async);
    }
    void SetRequestHeader(const std::string& name, const std::string& value) override {
        ZC_OR_RAISE(kErrRequest, SetRequestHeader, name, value);
    }
    void Send(std::string_view body) override { ZC_OR_RAISE(kErrRequest, Send, body); }
    int32_t Status() override { ZC_OR_FAIL(Status, "", 500); }
    std::string ResponseText() override { ZC_OR_RAISE(kErrRequest, ResponseText); }
    std::string ResponseUrl() override { return real_.ResponseUrl(); }
};

class Rows : public Wrapping<Recordset> {
public:
    using Wrapping::Wrapping;
    bool Eof() override { ZC_OR_RAISE(kErrDatabase, Eof); }
    void Read(std::string_view name, FieldValue& value) override { ZC_OR_RAISE(kErrDatabase, Read, name, value); }
    void MoveNext() override { ZC_OR_RAISE(kErrDatabase, MoveNext); }
};

class Link : public Wrapping<Connection> {
public:
    using Wrapping::Wrapping;
    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        plan_.Raise("Execute", "", kErrDatabase, "injected failure of Execute");
        return std::make_unique<Rows>(real_.Execute(sql), plan_);
    }
};

}  // namespace

std::unique_ptr<TextFile> FaultyFileSystem::CreateText(const std::string& path) {
    plan_.Raise("CreateText", path, kErrPathFileAccess, "Path/File access error (injected): " + path);
    return std::make_unique<FaultyText>(real_.CreateText(path), plan_, openTexts);
}

std::unique_ptr<HttpRequest> FaultyHttp::CreateRequest() { return std::make_unique<Request>(real_.CreateRequest(), plan_); }

std::unique_ptr<Connection> FaultyDatabase::Open(const std::string& connectionString) {
    plan_.Raise("DatabaseOpen", "", kErrDatabase, "injected failure of DatabaseOpen");
    return std::make_unique<Link>(real_.Open(connectionString), plan_);
}

}  // namespace zc::test
