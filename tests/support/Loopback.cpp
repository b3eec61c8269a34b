#include "support/Loopback.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace zc::test {

LoopbackServer::LoopbackServer(std::function<Answer(const Captured&)> answer)
    : server_(std::make_unique<httplib::Server>()), answer_(std::move(answer)) {
    // The program's upload bodies carry a comma before "boundary=" and "attachment" parts, which
    // the library's own multipart reader refuses; hide the type so the body arrives raw.
    server_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        auto& headers = const_cast<httplib::Request&>(req).headers;
        auto type = headers.find("Content-Type");
        if (type != headers.end()) {
            headers.emplace("X-Raw-Content-Type", type->second);
            headers.erase(type);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto handle = [this](const httplib::Request& req, httplib::Response& res) {
        Captured c;
        c.method = req.method;
        c.target = req.target;
        c.contentType = req.get_header_value("X-Raw-Content-Type");
        c.body = req.body;
        c.remotePort = req.remote_port;
        for (const auto& [name, value] : req.headers) {
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char ch) { return std::tolower(ch); });
            if (lower != "x-raw-content-type" && lower != "remote_addr" && lower != "remote_port" &&
                lower != "local_addr" && lower != "local_port")
                c.headerNames.push_back(lower);
        }
        if (!c.contentType.empty()) c.headerNames.push_back("content-type");
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

int UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace zc::test
