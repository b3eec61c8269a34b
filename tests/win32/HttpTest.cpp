// The request object (MSXML2.XMLHTTP under Wine) against listeners that keep what arrives or
// never answer. The 303 after a POST and bodies of every byte value show in the whole transfer.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <thread>

#include "Support.h"
#include "platform/win32/Win32Http.h"

namespace zc::test {

namespace {

const std::string kBoundary = "Enter_The_Dragon";

// Listens on 127.0.0.1. It keeps the first request as it arrived and answers it with 200 once
// the body's last boundary is in; a silent one takes the connection and never answers.
class Listener {
public:
    explicit Listener(bool silent) {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&at), size);
        ::listen(socket_, 4);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&at), &size);
        url = "http://127.0.0.1:" + std::to_string(ntohs(at.sin_port)) + "/";
        if (!silent) answering_ = std::thread([this] {
            SOCKET client = ::accept(socket_, nullptr, nullptr);
            char buffer[4096];
            for (int n = 1; n > 0 && request_.find(kBoundary + "--") == std::string::npos;)
                if ((n = ::recv(client, buffer, sizeof buffer, 0)) > 0) request_.append(buffer, n);
            const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
            ::send(client, answer, sizeof answer - 1, 0);
            ::closesocket(client);
        });
    }
    ~Listener() {
        ::closesocket(socket_);
        if (answering_.joinable()) answering_.join();
        ::WSACleanup();
    }
    // The request as it arrived, headers and body, once answered.
    const std::string& Request() {
        if (answering_.joinable()) answering_.join();
        return request_;
    }

    std::string url;

private:
    SOCKET socket_;
    std::thread answering_;
    std::string request_;
};

}  // namespace

TEST(RequestObject, SendsTheHeaderAsGivenAndTheBodyAtOnceThenGets) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    const std::string body = "--" + kBoundary + "\r\n\r\n" + std::string("BM\0\r\n\xFF", 6) + "\r\n--" + kBoundary + "--";
    // The header goes out as given, comma and all, and the body at once: no "Expect:" header
    // waits for a go-ahead that a plain CGI server never sends.
    Listener listener(false);
    request->Open("POST", listener.url, false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=" + kBoundary);
    request->Send(body);
    EXPECT_EQ(request->ResponseText(), "ok");
    const std::string& sent = listener.Request();
    EXPECT_NE(sent.find("\r\nContent-Type: multipart/form-data, boundary=Enter_The_Dragon\r\n"), std::string::npos)
        << sent;
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), body);

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
    EXPECT_EQ(ErrorOf([&] { request->Send("x"); }).description(), "The server 127.0.0.1:1 refused the connection");

    // A server that takes the request and never answers is given up after the answer limit.
    Listener silent(true);
    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("GET", silent.url, false);
    Error e = ErrorOf([&] { request->Send({}); });
    EXPECT_EQ(e.number(), kErrRequest);
    EXPECT_EQ(e.description(), "The server " + silent.url.substr(7, silent.url.size() - 8) + " did not answer within 1500 ms");

    // A line break in the address would add a header of its own.
    EXPECT_NE(ErrorOf([&] { request->Open("GET", "http://127.0.0.1/\r\nX-Evil: 1", false); }).description(), "");
}

}  // namespace zc::test
