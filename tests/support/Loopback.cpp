#include "support/Loopback.h"

#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/Text.h"

namespace zc::test {

LoopbackServer::LoopbackServer(std::function<Answer(const Captured&)> answer)
    : server_(std::make_unique<httplib::Server>()), answer_(std::move(answer)) {
    // The program's upload bodies carry a comma before "boundary=" and "attachment" parts, which
    // the library's own multipart reader refuses; hide the type so the body arrives raw.
    server_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& headers = const_cast<httplib::Request&>(req).headers;
        if (auto type = headers.find("Content-Type"); type != headers.end()) {
            headers.emplace("X-Raw-Content-Type", type->second);
            headers.erase(type);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto handle = [this](const httplib::Request& req, httplib::Response& res) {
        Captured c{req.method, req.target, req.get_header_value("X-Raw-Content-Type"), req.body, {},
                   req.remote_port};
        for (const auto& [name, value] : req.headers) c.headers.emplace(LowerAscii(name), value);
        Answer a = answer_ ? answer_(c) : Answer{};
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(c));
        }
        res.status = a.status;
        if (!a.location.empty()) res.set_header("Location", a.location);
        res.set_content(a.body, "text/plain");
    };
    server_->Get(".*", handle);
    server_->Post(".*", handle);
    server_->set_payload_max_length(1ull << 30);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::yield();
}

LoopbackServer::~LoopbackServer() {
    server_->stop();
    thread_.join();
}

std::string LoopbackServer::host() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<Captured> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

StandInServer::StandInServer(const std::string& zilbaServer, std::string data, std::string log)
    : data_(std::move(data)) {
    // On a port of its choosing, which its start line names.
    pid_ = fork();
    if (pid_ == 0) {
        execl("/bin/sh", "sh", "-c", "exec \"$0\" --port 0 --data \"$1\" >\"$2\" 2>&1", zilbaServer.c_str(),
              data_.c_str(), log.c_str(), nullptr);
        _exit(127);
    }
    const std::string start = "listening on http://";
    std::string text;
    for (int i = 0; i < 250 && text.find(start) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(log);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (size_t at = text.find(start); at != std::string::npos) {
        at += start.size();
        host_ = text.substr(at, text.find('/', at) - at);
    }
}

StandInServer::~StandInServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

}  // namespace zc::test
