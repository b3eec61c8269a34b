#pragma once
// A real HTTP server on the loopback address, inside the test: records every request raw and
// answers as the test tells it.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace zc::test {

struct Captured {
    std::string method, target, contentType, body;
    std::multimap<std::string, std::string> headers;  // by lower-case name, with the server library's own entries
    int remotePort = 0;
};

struct Answer {
    Answer(int code = 200, std::string text = {}, std::string redirect = {})
        : status(code), body(std::move(text)), location(std::move(redirect)) {}
    int status;
    std::string body;
    std::string location;  // sets a Location header when not empty
};

class LoopbackServer {
public:
    // `answer` sees each request; by default every request gets 200 and an empty body.
    explicit LoopbackServer(std::function<Answer(const Captured&)> answer = {});
    ~LoopbackServer();

    std::string host() const;  // "127.0.0.1:<port>"
    std::vector<Captured> requests() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::function<Answer(const Captured&)> answer_;
    mutable std::mutex mutex_;
    std::vector<Captured> requests_;
    std::thread thread_;
    int port_ = 0;
};

// The stand-in web server as a process of its own on a free loopback port, its requests logged
// to `log`; answering by the time the constructor returns (host() is empty if it never did).
class StandInServer {
public:
    StandInServer(const std::string& zilbaServer, std::string data, std::string log);
    ~StandInServer();
    const std::string& host() const { return host_; }
    const std::string& data() const { return data_; }

private:
    std::string data_, host_;
    int pid_ = -1;
};

}  // namespace zc::test
