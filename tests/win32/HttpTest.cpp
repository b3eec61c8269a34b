// The request object (MSXML2.XMLHTTP under Wine) against a listener that keeps what arrives and
// never answers. One object sending several files, the 303 after a POST, the server's answers
// and bodies of every byte value show in the whole transfer.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "Support.h"
#include "platform/win32/Win32Http.h"

namespace zc::test {

namespace {

// A socket listening on 127.0.0.1 (`host`: "127.0.0.1:port"); until it accepts, nothing answers.
SOCKET Listen(std::string& host) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{AF_INET, 0, {{{127, 0, 0, 1}}}, {}};  // port 0: a free one
    int size = sizeof at;
    ::bind(listener, reinterpret_cast<sockaddr*>(&at), size);
    ::listen(listener, 4);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size);
    host = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    return listener;
}

}  // namespace

TEST(RequestObject, SendsTheHeaderAsGivenAndTheBodyAtOnceAndFailsInTheProgramsOwnWords) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://127.0.0.1:1/cgi-bin/Zilba/qxupload.pl", false);
    EXPECT_EQ(ErrorOf([&] { request->Send("x"); }).description(), "The server 127.0.0.1:1 refused the connection");

    // A server that takes the request and never answers is given up after the answer limit. What
    // it took is the header as given, comma and all, and the body at once: no "Expect:" header
    // waits for a go-ahead that a plain CGI server never sends.
    std::string host, sent;
    const SOCKET listener = Listen(host);
    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("POST", "http://" + host + "/", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=Enter_The_Dragon");
    const std::string body = "--Enter_The_Dragon\r\n\r\n" + std::string("BM\0\r\n\xFF", 6) + "\r\n--Enter_The_Dragon--";
    Error e = ErrorOf([&] { request->Send(body); });
    EXPECT_EQ(e.number(), kErrRequest);
    EXPECT_EQ(e.description(), "The server " + host + " did not answer within 1500 ms");
    const SOCKET taken = ::accept(listener, nullptr, nullptr);
    const DWORD patience = 2000;  // milliseconds for what is still to come
    ::setsockopt(taken, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&patience), sizeof patience);
    char buffer[4096];
    for (int n = 1; n > 0 && sent.find("_Dragon--") == std::string::npos;)
        if ((n = ::recv(taken, buffer, sizeof buffer, 0)) > 0) sent.append(buffer, n);
    ::closesocket(taken);
    ::closesocket(listener);
    EXPECT_NE(sent.find("\r\nContent-Type: multipart/form-data, boundary=Enter_The_Dragon\r\n"), std::string::npos);
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), body);

    // A line break in the address would add a header of its own.
    EXPECT_NE(ErrorOf([&] { request->Open("GET", "http://127.0.0.1/\r\nX-Evil: 1", false); }).description(), "");
}

}  // namespace zc::test
