// The request object (MSXML2.XMLHTTP under Wine) against listeners of the test's own: one that
// keeps what arrives and never answers, one that takes the body slowly, and the current user's
// proxy settings. One object sending several files, the 303 after a POST, the server's answers
// and bodies of every byte value show in the whole transfer.
#include <winsock2.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <process.h>

#include <cstdlib>
#include <thread>

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

// Whether someone connected to `listener` (and waits to be accepted) within `ms` milliseconds.
bool Connected(SOCKET listener, long ms = 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait{ms / 1000, ms % 1000 * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// Takes one request with a body of `size` bytes on `listener`, `piece` bytes per fifth of a
// second, then answers "200 got <bytes of the body>": the server end of a slow upload.
std::string TakeSlowly(SOCKET listener, size_t size, int piece) {
    if (!Connected(listener, 20000)) return "(no request came)";
    SOCKET taken = ::accept(listener, nullptr, nullptr);
    std::string got(piece, 0), all;
    for (int n = 1; n > 0 && (all.find("\r\n\r\n") == std::string::npos || all.size() < all.find("\r\n\r\n") + 4 + size);
         ::Sleep(200))
        if ((n = ::recv(taken, got.data(), piece, 0)) > 0) all.append(got.data(), n);
    const std::string body = all.substr(std::min(all.size(), all.find("\r\n\r\n") + 4));
    const std::string answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\ngot " + std::to_string(body.size());
    ::send(taken, answer.data(), static_cast<int>(answer.size()), 0);
    ::shutdown(taken, SD_SEND);
    ::closesocket(taken);
    return body;
}

// The current user's manual proxy of the Internet Options, for one test; taken away after (the
// tests run without one: scripts/windows.sh removes a proxy a killed run left).
class UserProxy {
public:
    explicit UserProxy(const std::string& server) {
        const std::wstring name = win32::Widen(server);
        const DWORD on = 1;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key_, nullptr);
        ::RegSetValueExW(key_, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        ::RegSetValueExW(key_, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                         static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
        Announce();
    }
    ~UserProxy() {
        ::RegDeleteValueW(key_, L"ProxyEnable");
        ::RegDeleteValueW(key_, L"ProxyServer");
        ::RegCloseKey(key_);
        Announce();
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    // As a settings program does: WinINet reads the changed settings again.
    static void Announce() {
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
    }
    HKEY key_ = nullptr;
};

// Runs the test RequestAlone.DISABLED_SendOnce of this program in a process of its own: URL
// Moniker keeps the proxy settings of its first request for the life of the process under Wine,
// so a request after a change of the settings needs a fresh one. It sends to `url` and leaves
// the number and the description of the error it met (or nothing) for the caller.
std::string SendInAProcessOfItsOwn(const std::string& url) {
    TempDir dir;
    const std::string out = dir / "error.txt";
    ::_putenv_s("ZC_ALONE_URL", url.c_str());
    ::_putenv_s("ZC_ALONE_OUT", out.c_str());
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* args[] = {self, L"--gtest_filter=RequestAlone.DISABLED_SendOnce", L"--gtest_also_run_disabled_tests",
                             nullptr};
    EXPECT_EQ(::_wspawnv(_P_WAIT, self, args), 0);
    ::_putenv_s("ZC_ALONE_URL", "");
    return std::filesystem::exists(P(out)) ? ReadFile(out) : "(no process of its own ran)";
}

}  // namespace

TEST(RequestAlone, DISABLED_SendOnce) {
    const char* url = std::getenv("ZC_ALONE_URL");
    const char* out = std::getenv("ZC_ALONE_OUT");
    if (!url || !*url || !out) GTEST_SKIP() << "run by SendInAProcessOfItsOwn only";
    win32::Win32Http http;
    http.answerLimit = std::chrono::seconds(20);
    auto request = http.CreateRequest();
    request->Open("POST", url, false);
    try {
        request->Send("x");
        WriteFile(out, "");
    } catch (const Error& e) {
        WriteFile(out, std::to_string(e.number()) + " " + e.description());
    }
}

TEST(RequestObject, SendsTheHeaderAsGivenAndTheBodyAtOnceAndFailsInTheProgramsOwnWords) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://127.0.0.1:1/cgi-bin/Zilba/qxupload.pl", false);
    Error refused = ErrorOf([&] { request->Send("x"); });
    EXPECT_EQ(refused.number(), kErrRequest) << "nothing reached a server";
    EXPECT_EQ(refused.description(), "The server 127.0.0.1:1 refused the connection");

    // A server that takes the request and never answers is given up after the answer limit, with
    // the error of a request that the server may still act on. What it took is the header as
    // given, comma and all, and the body at once: no "Expect:" header waits for a go-ahead that a
    // plain CGI server never sends.
    std::string host, sent;
    const SOCKET listener = Listen(host);
    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("POST", "http://" + host + "/", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=Enter_The_Dragon");
    const std::string body = "--Enter_The_Dragon\r\n\r\n" + std::string("BM\0\r\n\xFF", 6) + "\r\n--Enter_The_Dragon--";
    Error e = ErrorOf([&] { request->Send(body); });
    EXPECT_EQ(e.number(), kErrNoAnswer);
    EXPECT_EQ(e.description(), "The server " + host + " did not answer within 1500 ms");
    ASSERT_TRUE(Connected(listener, 2000)) << "nothing reached the server";
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

// A large file on a slow link takes longer to send than the answer limit allows the answer: the
// limit is for the server's answer, so the upload goes through, and the server's answer is read.
TEST(RequestObject, ASlowUploadOfALargeFileIsNotGivenUpWhileItsBodyGoesOut) {
    std::string host;
    const SOCKET listener = Listen(host);
    const std::string body(512 << 10, 'b');
    std::string taken;
    // 32 KB each fifth of a second: the server's end of the body is 3 seconds away at the least.
    std::thread server([&] { taken = TakeSlowly(listener, body.size(), 32 << 10); });
    win32::Win32Http http;
    http.answerLimit = std::chrono::seconds(1);
    auto request = http.CreateRequest();
    request->Open("POST", "http://" + host + "/cgi-bin/Zilba/qxupload.pl", false);
    try {
        request->Send(body);
    } catch (const Error& e) {
        ADD_FAILURE() << e.description();
    }
    server.join();
    ::closesocket(listener);
    EXPECT_EQ(taken.size(), body.size());
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->ResponseText(), "got " + std::to_string(body.size()));
}

// Behind a proxy of the Internet Options, MSXML reaches the server through the proxy only: a
// connection of the program's own straight to the server would prove nothing, so the failure is
// told in the request object's own words, and the server is not blamed for it.
TEST(RequestObject, BehindAProxyAFailureIsNotBlamedOnTheServerByAConnectionOfItsOwn) {
    std::string host;
    const SOCKET server = Listen(host);  // the server is there, and never asked
    {
        UserProxy proxy("127.0.0.1:1");  // the proxy refuses every connection
        const std::string error = SendInAProcessOfItsOwn("http://" + host + "/cgi-bin/Zilba/qxupload.pl");
        EXPECT_EQ(error.rfind(std::to_string(kErrRequest) + " The request to " + host +
                                  " through the proxy set in the Internet Options failed",
                              0),
                  0u)
            << error;
        EXPECT_FALSE(Connected(server)) << "the program connected to the server itself";
    }
    ::closesocket(server);
}

}  // namespace zc::test
