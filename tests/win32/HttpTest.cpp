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

// Takes one request on `listener` at no more than `piece` bytes per `pause`, then answers
// "200 got <body size>": the server end of a slow upload.
std::string TakeSlowly(SOCKET listener, size_t piece, DWORD pause) {
    if (!Connected(listener, 20000)) return "(no request came)";
    SOCKET taken = ::accept(listener, nullptr, nullptr);
    std::string got;
    std::vector<char> buffer(piece);
    size_t headerEnd = std::string::npos, length = 0;
    for (int n = 1; n > 0 && (headerEnd == std::string::npos || got.size() < headerEnd + 4 + length);) {
        if ((n = ::recv(taken, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0) got.append(buffer.data(), n);
        if (headerEnd == std::string::npos && (headerEnd = got.find("\r\n\r\n")) != std::string::npos) {
            size_t at = got.find("Content-Length: ");
            length = at < headerEnd ? std::stoul(got.substr(at + 16)) : 0;
        }
        ::Sleep(pause);
    }
    const std::string body = headerEnd == std::string::npos ? "" : got.substr(headerEnd + 4);
    const std::string text = "got " + std::to_string(body.size());
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(text.size()) +
                               "\r\nConnection: close\r\n\r\n" + text;
    ::send(taken, answer.data(), static_cast<int>(answer.size()), 0);
    ::shutdown(taken, SD_SEND);
    ::closesocket(taken);
    return body;
}

// The current user's proxy settings of the Internet Options (manual proxy), set for one test and
// put back as they were: values that were missing are removed again. Settings found as this
// class sets them are the leftovers of a run killed midway, and are not put back.
class UserProxy {
public:
    explicit UserProxy(const std::string& server) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        enable_ = Read(L"ProxyEnable");
        server_ = Read(L"ProxyServer");
        const std::wstring name = win32::Widen(server);
        if (server_.present && server_.bytes == std::string(reinterpret_cast<const char*>(name.c_str()),
                                                            (name.size() + 1) * sizeof(wchar_t)))
            enable_ = server_ = Value{};
        const DWORD on = 1;
        ::RegSetValueExW(key_, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        ::RegSetValueExW(key_, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                         static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
        Announce();
    }
    ~UserProxy() {
        Restore(L"ProxyEnable", enable_);
        Restore(L"ProxyServer", server_);
        ::RegCloseKey(key_);
        Announce();
    }

private:
    struct Value {
        bool present = false;
        DWORD type = 0;
        std::string bytes;
    };
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

    Value Read(const wchar_t* name) const {
        Value value;
        DWORD size = 0;
        if (::RegQueryValueExW(key_, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
        value.bytes.resize(size);
        value.present = ::RegQueryValueExW(key_, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()),
                                           &size) == ERROR_SUCCESS;
        return value;
    }
    void Restore(const wchar_t* name, const Value& value) const {
        if (!value.present) ::RegDeleteValueW(key_, name);
        else
            ::RegSetValueExW(key_, name, 0, value.type, reinterpret_cast<const BYTE*>(value.bytes.data()),
                             static_cast<DWORD>(value.bytes.size()));
    }
    // As a settings program does: WinINet reads the changed settings again.
    static void Announce() {
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
        ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
    }

    HKEY key_ = nullptr;
    Value enable_, server_;
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
    std::thread server([&] { taken = TakeSlowly(listener, 32 << 10, 200); });
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
    // Without the proxy a refused connection is told as the server's again.
    ::closesocket(server);
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://" + host + "/cgi-bin/Zilba/qxupload.pl", false);
    EXPECT_EQ(ErrorOf([&] { request->Send("x"); }).description(), "The server " + host + " refused the connection");
}

}  // namespace zc::test
