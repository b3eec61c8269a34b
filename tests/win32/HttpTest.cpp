// The request object (MSXML2.XMLHTTP under Wine) against the stand-in web server on
// 127.0.0.1, and against a listener that never answers.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <thread>

#include "Support.h"
#include "platform/win32/Win32Http.h"

namespace zc::test {

namespace {

// Accepts connections on 127.0.0.1 and never answers, until it goes.
class SilentListener {
public:
    SilentListener() {
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
    }
    ~SilentListener() {
        ::closesocket(socket_);
        ::WSACleanup();
    }
    int port = 0;

private:
    SOCKET socket_;
};

}  // namespace

TEST(RequestObject, PostsTheBodyByteForByteFollowsTheRedirectAndGets) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    // A file part holding every byte value, NUL and CR LF included.
    std::string content;
    for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
    content += "\r\n";
    const std::string boundary = "Enter_The_Dragon";
    std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"urlredir\"\r\n\r\n/none.html\r\n" +
                       "--" + boundary + "\r\nContent-Disposition: form-data; name=\"up_path\"\r\n\r\n" +
                       "/zilba/wintest/p_zilba/import\r\n--" + boundary +
                       "\r\nContent-Disposition: attachment; name=\"up_file1\"; filename=\"C:\\Work\\Export\\S_1.bmp\"\r\n" +
                       "Content-Type: image/bmp\r\nContent-Transfer-Encoding: binary\r\n\r\n" + content + "\r\n--" +
                       boundary + "--";
    request->Open("POST", "http://" + Server() + "/cgi-bin/Zilba/qxupload.pl", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=" + boundary);
    request->Send(body);
    EXPECT_EQ(request->Status(), 200) << "the 303 to /none.html is followed";
    EXPECT_EQ(ReadFile(ServerState("data\\zilba\\wintest\\p_zilba\\import\\S_1.bmp")), content);

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
    SilentListener silent;
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
