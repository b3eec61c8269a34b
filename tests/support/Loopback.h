#pragma once
// A real HTTP server on the loopback address, inside the test: records every request raw and
// answers as the test tells it.
#include <functional>
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
    std::vector<std::string> headerNames;  // as received, lower case
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
    int port() const { return port_; }
    std::vector<Captured> requests() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::function<Answer(const Captured&)> answer_;
    mutable std::mutex mutex_;
    std::vector<Captured> requests_;
    std::thread thread_;
    int port_ = 0;
};

// A port on which nothing listens (bound once, then released).
int UnusedPort();

}  // namespace zc::test
