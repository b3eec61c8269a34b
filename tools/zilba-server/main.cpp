// zilba-server: a local stand-in for the field organisation's web server, which takes the
// program's uploads and imports its export files.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#include "Server.h"
#include "platform/posix/XdgPaths.h"

namespace {

namespace fs = std::filesystem;

// The large signature batches and export files of a long day fit well below this.
constexpr size_t kMaxBody = size_t{1} << 30;

// Makes the data folder and returns its absolute path; empty, with `error` set, when unusable.
std::string PrepareData(const std::string& given, std::string& error) {
    std::string folder = given.empty() ? zc::posix::DataHome() + "/zilba-companion/server" : given;
    std::error_code ec;
    fs::path path = fs::absolute(folder, ec).lexically_normal();
    if (!ec) fs::create_directories(path, ec);
    if (ec) {
        error = "cannot create the data folder " + folder + ": " + ec.message();
        return {};
    }
    if (!fs::is_directory(path)) {
        error = "the data folder " + folder + " is not a folder";
        return {};
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        error = "cannot write to the data folder " + folder + ": " + std::strerror(errno);
        return {};
    }
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string Url(const std::string& host, int port) {
    bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Local stand-in for the field organisation's Zilba web server: stores the "
                 "program's uploads and checks the export files it is asked to import",
                 "zilba-server"};
    int port = 8080;
    std::string bind = "127.0.0.1";
    std::string data;
    app.add_option("--port", port, "Port to listen on (0: any free one)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--bind", bind, "Address to listen on")->capture_default_str();
    app.add_option("--data", data,
                   "Folder the uploads are kept in (default: "
                   "$XDG_DATA_HOME/zilba-companion/server, else "
                   "~/.local/share/zilba-companion/server)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "zilba-server: " << e.what() << " (see zilba-server --help)\n";
        return 2;
    }

    std::string error;
    std::string folder = PrepareData(data, error);
    if (folder.empty()) {
        std::cerr << "zilba-server: " << error << "\n";
        return 1;
    }

    // SIGTERM and SIGINT are taken by one thread with sigwait, not by a handler: stopping the
    // server is not something a signal handler may do. Blocked before any thread starts so
    // that httplib's threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    httplib::Server http;
    http.set_payload_max_length(kMaxBody);
    http.set_read_timeout(30);
    // An idle kept-alive connection holds up a stop until it times out; keep that short.
    http.set_keep_alive_timeout(2);
    // Answers go out at once rather than waiting on the client's delayed acknowledgement, and a
    // kept-alive connection carries a whole upload run, not just five requests.
    http.set_tcp_nodelay(true);
    http.set_keep_alive_max_count(100000);
    // httplib's own default adds SO_REUSEPORT, with which a second server on the same port
    // would start and share it instead of failing. Only SO_REUSEADDR, so a restart right
    // after a stop finds the port free.
    http.set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    zilba_server::ZilbaServer server(folder);
    server.Serve(http);

    errno = 0;
    bool bound;
    if (port == 0) {
        int chosen = http.bind_to_any_port(bind);
        bound = chosen > 0;
        if (bound) port = chosen;
    } else {
        bound = http.bind_to_port(bind, port);
    }
    if (!bound) {
        int err = errno;
        std::cerr << "zilba-server: cannot listen on " << bind << ":" << port << ": "
                  << (err == EADDRINUSE ? "the port is in use (is another server running?)"
                      : err != 0        ? std::strerror(err)
                                        : "not an address of this machine")
                  << "\n";
        return 1;
    }
    std::cout << "zilba-server listening on " << Url(bind, port) << ", keeping uploads in " << folder
              << std::endl;

    std::atomic<bool> finished{false};
    std::atomic<int> stopSignal{0};
    std::thread watcher([&] {
        int sig = 0;
        if (sigwait(&stopSignals, &sig) != 0) return;
        if (finished) return;
        stopSignal = sig;
        // A signal that comes just before the server runs would be lost to one stop().
        while (!finished) {
            http.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    http.listen_after_bind();
    finished = true;
    pthread_kill(watcher.native_handle(), SIGTERM);  // wakes the watcher when no signal came
    watcher.join();

    if (stopSignal == 0) {
        std::cerr << "zilba-server: the server stopped unexpectedly\n";
        return 1;
    }
    std::cout << "zilba-server stopped (" << (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") << ")"
              << std::endl;
    return 0;
}
