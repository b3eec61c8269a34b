#include "support/Loopback.h"

#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "platform/Text.h"

namespace zc::test {

namespace {

// Starts in the background, its output dropped.
pid_t StartProcess(const std::vector<std::string>& argv) {
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        int out = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `timeoutSeconds`; the exit code, or -1 when still running.
int WaitProcess(pid_t pid, double timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(timeoutSeconds * 1000));
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void StopProcess(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

int RunProcess(const std::vector<std::string>& argv, double timeoutSeconds) {
    pid_t pid = StartProcess(argv);
    int code = WaitProcess(pid, timeoutSeconds);
    if (code == -1) StopProcess(pid);
    return code;
}

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

SilentServer::SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 4);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

SilentServer::~SilentServer() { close(fd_); }

StandInServer::StandInServer(const std::string& zilbaServer, std::string data, std::string log)
    : data_(std::move(data)) {
    // On a port of its choosing, which its start line names.
    pid_ = StartProcess({"/bin/sh", "-c", "exec \"$0\" --port 0 --data \"$1\" >\"$2\" 2>&1", zilbaServer, data_, log});
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
    if (pid_ < 0) return;
    kill(pid_, SIGTERM);
    if (WaitProcess(pid_, 10) == -1) StopProcess(pid_);
}

}  // namespace zc::test
