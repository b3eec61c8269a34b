#pragma once
// The request object and the database, failing the call a fault plan picks the way they fail:
// raising, or (the request's status) answering 500.
#include "platform/Database.h"
#include "platform/HttpRequest.h"
#include "support/Faults.h"

namespace zc::test {

class FaultyHttp : public Http {
public:
    FaultyHttp(Http& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    std::unique_ptr<HttpRequest> CreateRequest() override;

private:
    Http& real_;
    FaultPlan& plan_;
};

class FaultyDatabase : public Database {
public:
    FaultyDatabase(Database& real, FaultPlan& plan) : real_(real), plan_(plan) {}
    std::unique_ptr<Connection> Open(const std::string& connectionString) override;

private:
    Database& real_;
    FaultPlan& plan_;
};

}  // namespace zc::test
