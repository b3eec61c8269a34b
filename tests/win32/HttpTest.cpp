// The request object (WinINet under Wine) against listeners of the test's own and the user's proxy.
#include <winsock2.h>
#include <shlwapi.h>
#include <wininet.h>

#include <gtest/gtest.h>
#include <future>

#include "Support.h"
#include "platform/win32/Win32Platform.h"
#include "server/Server.h"
#include "support/FakeForm.h"

namespace {

// The user's manual proxy of the Internet Options, announced as a settings program does, for one
// test (windows.sh removes one a killed run left).
void SetUserProxy(const wchar_t* server) {
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    const DWORD on = server != nullptr;
    ::SHSetValueW(HKEY_CURRENT_USER, key, L"ProxyEnable", REG_DWORD, &on, sizeof on);
    if (on) ::SHSetValueW(HKEY_CURRENT_USER, key, L"ProxyServer", REG_SZ, server, DWORD(std::wcslen(server) + 1) * 2);
    for (DWORD option : {INTERNET_OPTION_SETTINGS_CHANGED, INTERNET_OPTION_REFRESH})
        ::InternetSetOptionW(nullptr, option, nullptr, 0);
}

// Whether someone connected to `listener` (and waits to be accepted) within `ms` milliseconds.
bool Connected(SOCKET listener, long ms = 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait{ms / 1000, ms % 1000 * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// A socket on a free port of 127.0.0.1. `Serve` takes one request, `piece` bytes at a time with
// `pause` ms between them, gives it `answer` and returns the request.
struct Listener {
    Listener() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{AF_INET, 0, {{{127, 0, 0, 1}}}, {}};
        int size = sizeof at;
        ::bind(socket, reinterpret_cast<sockaddr*>(&at), size);
        ::listen(socket, 4);
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size);
        host = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    }
    ~Listener() { ::closesocket(socket); }
    std::string Serve(const std::string& answer, int piece = 64 << 10, int pause = 0) const {
        if (!Connected(socket, 20000)) return "(no request came)";
        SOCKET taken = ::accept(socket, nullptr, nullptr);
        std::string got(piece, 0), all;
        auto whole = [&all] {
            const size_t end = all.find("\r\n\r\n"), at = all.find("Content-Length:");
            return end != std::string::npos && all.size() >= end + 4 + (at < end ? std::atoi(&all[at + 15]) : 0);
        };
        for (int n = 1; n > 0 && !whole(); ::Sleep(pause))
            if ((n = ::recv(taken, got.data(), piece, 0)) > 0) all.append(got.data(), n);
        ::send(taken, answer.data(), static_cast<int>(answer.size()), 0);
        ::shutdown(taken, SD_SEND);
        ::closesocket(taken);
        return all;
    }
    SOCKET socket;
    std::string host;
};

const std::string kOk = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";

}  // namespace

namespace zc::test {

// Failures in the program's own words, the user's proxy used; the answer limit counted from the
// send, so a slow upload outlasting it goes through; the header as given and the body at once (no
// "Expect:" waiting for a go-ahead a plain CGI server never sends).
TEST(RequestObject, SendsAtOnceFailsInTheProgramsOwnWordsAndLimitsOnlyTheWaitForTheAnswer) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://127.0.0.1:1/cgi-bin/Zilba/qxupload.pl", false);
    const Error refused = ErrorOf([&] { request->Send("x"); });
    EXPECT_EQ(refused.number(), kErrRequest) << "nothing reached a server";
    EXPECT_EQ(refused.description(), "The server 127.0.0.1:1 refused the connection");
    Listener silent, slow;
    SetUserProxy(L"127.0.0.1:1");  // it refuses every connection
    request->Open("POST", "http://" + silent.host + "/cgi-bin/Zilba/qxupload.pl", false);
    const Error proxied = ErrorOf([&] { request->Send("x"); });
    SetUserProxy(nullptr);
    EXPECT_EQ(proxied.number(), kErrRequest);
    EXPECT_EQ(proxied.description().rfind("The request to " + silent.host + " through the proxy set in the Internet "
                                          "Options failed", 0), 0u) << proxied.description();
    EXPECT_FALSE(Connected(silent.socket)) << "the program connected to the server itself";

    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("POST", "http://" + silent.host + "/", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=Enter_The_Dragon");
    const std::string body = "--Enter_The_Dragon\r\n\r\n" + std::string("BM\0\r\n\xFF", 6) + "\r\n--Enter_The_Dragon--";
    const Error e = ErrorOf([&] { request->Send(body); });
    EXPECT_EQ(e.number(), kErrNoAnswer);
    EXPECT_EQ(e.description(), "The server " + silent.host + " did not answer within 1500 ms");
    const std::string sent = silent.Serve("");  // what it took, the wait given up
    EXPECT_NE(sent.find("\r\nContent-Type: multipart/form-data, boundary=Enter_The_Dragon\r\n"), std::string::npos);
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), body);

    // 32 KB each fifth of a second: the end of the body is 3 seconds away at the least.
    const std::string large(512 << 10, 'b');
    auto taken = std::async(std::launch::async, [&] { return slow.Serve(kOk + "got it", 32 << 10, 200); });
    http.answerLimit = std::chrono::seconds(1);
    request = http.CreateRequest();
    request->Open("POST", "http://" + slow.host + "/cgi-bin/Zilba/qxupload.pl", false);
    EXPECT_NO_THROW(request->Send(large));
    const std::string got = taken.get();
    EXPECT_EQ(got.substr(got.find("\r\n\r\n") + 4), large);
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->ResponseText(), "got it");
    EXPECT_THROW(request->Open("GET", "http://127.0.0.1/\r\nX-Evil: 1", false), Error);  // a header of its own
}

// A redirect to another port (a guest network's login page) is no acceptance of the file or the
// import; one on the server itself is.
TEST(RequestObject, OnlyAnAnswerFromTheServerItselfCountsAfterRedirects) {
    InitBoundaries();
    TempDir dir;
    WriteFile(dir / "Export\\c_zilba_1.txt", "START\r\nSTOP\r\n");
    const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile("Z:" ZC_SERVER_STATE "\\port")));
    const std::string away = "HTTP/1.1 303 See Other\r\nLocation: http://" + server + "/none.html\r\n";
    Listener portal;
    auto redirects = std::async(std::launch::async, [&] { for (int i = 0; i < 2; ++i) portal.Serve(away + "\r\n"); });
    win32::Win32Platform os;
    FakeForm form;
    MainForm f{form, os.platform()};
    form.fields.insert({{Field::LocalDir, dir.path}, {Field::Site, "e2e"}, {Field::Server, portal.host}});
    f.strExportFile = dir / "Export\\c_zilba_1.txt";
    RunShowingErrors(form, [&] { UploadFiles(f), LaunchServerProcess(f); });
    ASSERT_EQ(form.messages, std::vector<std::string>{}) << form.LogText();
    const std::string elsewhere = "the answer came from http://" + server + "/none.html, not from the server";
    EXPECT_EQ(form.log[1], "  .." + f.strExportFile + ": Failed (" + elsewhere + ")");
    EXPECT_EQ(form.fields[Field::Success] + form.fields[Field::Failure], "01");
    EXPECT_EQ(f.delivery.refused, 1);
    EXPECT_EQ(f.delivery.importElsewhere, elsewhere);
    EXPECT_NE(form.LogText().find("  ..Not confirmed: " + elsewhere), std::string::npos) << form.LogText();

    form.fields[Field::Server] = server;  // its upload script answers with a 303 to a page of its own
    UploadFiles(f);
    EXPECT_EQ(form.log.back(), "  .." + f.strExportFile + ": Success");
    EXPECT_EQ(form.fields[Field::Success] + form.fields[Field::Failure], "11");
    EXPECT_EQ(ReadFile("Z:" ZC_SERVER_STATE "\\data\\zilba\\e2e\\p_zilba\\import\\c_zilba_1.txt"), "START\r\nSTOP\r\n");
}

// An answer longer than the cap fails the request, read no further.
TEST(RequestObject, AnAnswerLongerThanTheCapFailsTheRequest) {
    Listener listener;
    auto answers = std::async(std::launch::async, [&] {
        for (size_t size : {kMaxAnswerBytes, kMaxAnswerBytes + 1}) listener.Serve(kOk + std::string(size, 'a'));
    });
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("GET", "http://" + listener.host + "/import", false);
    request->Send({});
    EXPECT_EQ(request->ResponseText().size(), kMaxAnswerBytes);
    EXPECT_EQ(request->ResponseUrl(), "http://" + listener.host + "/import");
    request->Open("GET", "http://" + listener.host + "/import", false);
    const Error e = ErrorOf([&] { request->Send({}); });
    EXPECT_EQ(e.number(), kErrRequest);
    EXPECT_EQ(e.description(), AnswerTooLongText());
    EXPECT_TRUE(request->ResponseText().empty());
}

}  // namespace zc::test
