// The request object (MSXML2.XMLHTTP under Wine) against the stand-in web server on
// 127.0.0.1, and against listeners of the test that keep what arrives or never answer.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <thread>

#include "Support.h"
#include "platform/win32/Win32Http.h"

namespace zc::test {

namespace {

// Listens on 127.0.0.1. Silent, it takes connections and never answers; otherwise it keeps the
// first request as it arrived and answers it with 200.
class Listener {
public:
    explicit Listener(bool silent) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::listen(socket_, 4);
        int size = sizeof at;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&at), &size);
        port = ntohs(at.sin_port);
        if (!silent) answering_ = std::thread([this] { AnswerOne(); });
    }
    ~Listener() {
        ::closesocket(socket_);
        if (answering_.joinable()) answering_.join();
        ::WSACleanup();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

    // The request as it arrived, headers and body; waits for it to be answered.
    const std::string& Request() {
        if (answering_.joinable()) answering_.join();
        return request_;
    }

    int port = 0;

private:
    void AnswerOne() {
        SOCKET client = ::accept(socket_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::string got;
        char buffer[4096];
        for (;;) {
            size_t end = got.find("\r\n\r\n");
            size_t length = got.find("Content-Length: ");
            if (end != std::string::npos &&
                got.size() >= end + 4 + (length < end ? std::stoul(got.substr(length + 16)) : 0))
                break;
            int n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, n);
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        ::send(client, answer, sizeof answer - 1, 0);
        ::closesocket(client);
        request_ = got;
    }

    SOCKET socket_;
    std::thread answering_;
    std::string request_;
};

}  // namespace

// A body of every byte value reaching zilba-server byte for byte, and the 303 after the POST
// followed, show in the whole transfer's bitmaps.
TEST(RequestObject, SendsTheHeaderAsGivenWithoutExpectAndGets) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    std::string content;
    for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
    const std::string boundary = "Enter_The_Dragon";
    std::string body = "--" + boundary + "\r\nContent-Disposition: attachment; name=\"up_file1\"; filename=\"S_1.bmp\"\r\n" +
                       "Content-Type: image/bmp\r\n\r\n" + content + "\r\n--" + boundary + "--";
    // The header goes out as given, comma and all, and the body at once: no "Expect:" header
    // waits for a go-ahead that a plain CGI server never sends.
    Listener listener(false);
    request->Open("POST", listener.Url(), false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=" + boundary);
    request->Send(body);
    EXPECT_EQ(request->ResponseText(), "ok");
    const std::string& sent = listener.Request();
    EXPECT_NE(sent.find("\r\nContent-Type: multipart/form-data, boundary=Enter_The_Dragon\r\n"), std::string::npos)
        << sent;
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    ASSERT_GE(sent.size(), body.size());
    EXPECT_EQ(sent.substr(sent.size() - body.size()), body);

    // The same object, opened again: a GET without a body, and a status other than 200.
    request->Open("GET", "http://" + Server() + "/no/such/page", false);
    request->Send({});
    EXPECT_EQ(request->Status(), 404);
    EXPECT_NE(request->ResponseText().find("Not found"), std::string::npos) << request->ResponseText();
}

TEST(RequestObject, TransportFailuresInTheProgramsOwnWords) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://127.0.0.1:1/cgi-bin/Zilba/qxupload.pl", false);
    EXPECT_EQ(ErrorOf([&] { request->Send("x"); }).description(),
              "The server 127.0.0.1:1 refused the connection");

    // A server that takes the request and never answers is given up after the answer limit.
    Listener silent(true);
    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("GET", "http://127.0.0.1:" + std::to_string(silent.port) + "/", false);
    Error e = ErrorOf([&] { request->Send({}); });
    EXPECT_EQ(e.number(), kErrRequest);
    EXPECT_EQ(e.description(), "The server 127.0.0.1:" + std::to_string(silent.port) + " did not answer within 1500 ms");

    // A line break in the address would add a header of its own.
    EXPECT_NE(ErrorOf([&] { request->Open("GET", "http://127.0.0.1/\r\nX-Evil: 1", false); }).description(), "");
}

}  // namespace zc::test
