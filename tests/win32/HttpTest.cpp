// The request object (WinINet under Wine) against listeners of the test's own and the user's proxy
// settings; one object sending several files, and bodies of every byte value, show in the whole transfer.
#include <winsock2.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <thread>

#include "Support.h"
#include "platform/win32/Win32Platform.h"
#include "server/Server.h"
#include "support/FakeForm.h"

namespace {

// The current user's manual proxy of the Internet Options, for one test; taken away after (the
// tests run without one: scripts/windows.sh removes a proxy a killed run left).
struct UserProxy {
    explicit UserProxy(const std::wstring& server) {
        const DWORD on = 1;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                          nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        ::RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        ::RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                         static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        Announce();
    }
    ~UserProxy() {
        for (const wchar_t* value : {L"ProxyEnable", L"ProxyServer"}) ::RegDeleteValueW(key, value);
        ::RegCloseKey(key);
        Announce();
    }
    // As a settings program does: WinINet reads the changed settings again.
    static void Announce() {
        for (DWORD option : {INTERNET_OPTION_SETTINGS_CHANGED, INTERNET_OPTION_REFRESH})
            ::InternetSetOptionW(nullptr, option, nullptr, 0);
    }
    HKEY key = nullptr;
};

}  // namespace

namespace zc::test {

namespace {

// Whether someone connected to `listener` (and waits to be accepted) within `ms` milliseconds.
bool Connected(SOCKET listener, long ms = 0) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval wait{ms / 1000, ms % 1000 * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// A socket listening on a free port of 127.0.0.1 (`host`: "127.0.0.1:port"): until it accepts,
// nothing answers. `Serve` takes one request, `piece` bytes at a time with `pause` ms between
// them, gives it `answer` and returns the request as it came; `server` may run it meanwhile.
struct Listener {
    Listener() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
        sockaddr_in at{AF_INET, 0, {{{127, 0, 0, 1}}}, {}};
        int size = sizeof at;
        ::bind(socket, reinterpret_cast<sockaddr*>(&at), size);
        ::listen(socket, 4);
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size);
        host = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    }
    ~Listener() {
        if (server.joinable()) server.join();
        ::closesocket(socket);
    }
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
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    std::string host;
    std::thread server;
};

const std::string kOk = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";

}  // namespace

// The answer limit: a server that takes the request and never answers is given up after it, with
// the error of a request that the server may still act on; a large file on a slow link that takes
// longer to send than the limit goes through, the limit being for the answer. What a server takes
// is the header as given, comma and all, and the body at once: no "Expect:" header waits for a
// go-ahead that a plain CGI server never sends.
TEST(RequestObject, SendsAtOnceFailsInTheProgramsOwnWordsAndLimitsOnlyTheWaitForTheAnswer) {
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://127.0.0.1:1/cgi-bin/Zilba/qxupload.pl", false);
    Error refused = ErrorOf([&] { request->Send("x"); });
    EXPECT_EQ(refused.number(), kErrRequest) << "nothing reached a server";
    EXPECT_EQ(refused.description(), "The server 127.0.0.1:1 refused the connection");

    Listener silent, slow;
    http.answerLimit = std::chrono::milliseconds(1500);
    request = http.CreateRequest();
    request->Open("POST", "http://" + silent.host + "/", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=Enter_The_Dragon");
    const std::string body = "--Enter_The_Dragon\r\n\r\n" + std::string("BM\0\r\n\xFF", 6) + "\r\n--Enter_The_Dragon--";
    Error e = ErrorOf([&] { request->Send(body); });
    EXPECT_EQ(e.number(), kErrNoAnswer);
    EXPECT_EQ(e.description(), "The server " + silent.host + " did not answer within 1500 ms");
    const std::string sent = silent.Serve("");  // what it took, the wait given up
    EXPECT_NE(sent.find("\r\nContent-Type: multipart/form-data, boundary=Enter_The_Dragon\r\n"), std::string::npos);
    EXPECT_EQ(sent.find("Expect:"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), body);

    // 32 KB each fifth of a second: the end of the body is 3 seconds away at the least.
    const std::string large(512 << 10, 'b');
    std::string taken;
    slow.server = std::thread([&] { taken = slow.Serve(kOk + "got it", 32 << 10, 200); });
    http.answerLimit = std::chrono::seconds(1);
    request = http.CreateRequest();
    request->Open("POST", "http://" + slow.host + "/cgi-bin/Zilba/qxupload.pl", false);
    EXPECT_NO_THROW(request->Send(large));
    slow.server.join();
    EXPECT_EQ(taken.substr(taken.find("\r\n\r\n") + 4), large);
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->ResponseText(), "got it");

    EXPECT_THROW(request->Open("GET", "http://127.0.0.1/\r\nX-Evil: 1", false), Error);  // a header of its own
}

// Behind a proxy of the Internet Options, WinINet reaches the server through the proxy only: a
// connection of the program's own straight to the server would prove nothing, so the failure is
// told in the request object's own words, and the server is not blamed for it.
TEST(RequestObject, BehindAProxyAFailureIsNotBlamedOnTheServerByAConnectionOfItsOwn) {
    Listener server;                  // the server is there, and never asked
    UserProxy proxy(L"127.0.0.1:1");  // the proxy refuses every connection
    win32::Win32Http http;
    auto request = http.CreateRequest();
    request->Open("POST", "http://" + server.host + "/cgi-bin/Zilba/qxupload.pl", false);
    const Error e = ErrorOf([&] { request->Send("x"); });
    EXPECT_EQ(e.number(), kErrRequest);
    const std::string told = "The request to " + server.host + " through the proxy set in the Internet Options failed";
    EXPECT_EQ(e.description().rfind(told, 0), 0u) << e.description();
    EXPECT_FALSE(Connected(server.socket)) << "the program connected to the server itself";
}

// Only the server accepts: a file answered by a redirect to another port (a guest network's login
// page) is logged as failed and not counted, and so is the import; one redirected on the server
// itself is accepted. The answer's address is WinINet's, after the redirects it followed.
TEST(RequestObject, OnlyAnAnswerFromTheServerItselfCountsAfterRedirects) {
    InitBoundaries();
    TempDir dir;
    WriteFile(dir / "Export\\c_zilba_1.txt", "START\r\nSTOP\r\n");
    const std::string server = "127.0.0.1:" + std::to_string(std::stoi(ReadFile("Z:" ZC_SERVER_STATE "\\port")));
    const std::string away = "HTTP/1.1 303 See Other\r\nLocation: http://" + server + "/none.html\r\n";
    Listener portal;
    portal.server = std::thread([&] { for (int i = 0; i < 2; ++i) portal.Serve(away + "\r\n"); });
    win32::Win32Platform os;
    FakeForm form;
    MainForm f{form, os.platform()};
    form.fields.insert({{Field::LocalDir, dir.path}, {Field::Site, "e2e"}, {Field::Server, portal.host}});
    f.strExportFile = dir / "Export\\c_zilba_1.txt";
    RunShowingErrors(form, [&] { UploadFiles(f), LaunchServerProcess(f); });
    portal.server.join();
    ASSERT_EQ(form.messages, std::vector<std::string>{});
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

// An answer goes whole into memory and the import's into the log: one longer than the cap fails
// the request, read no further.
TEST(RequestObject, AnAnswerLongerThanTheCapFailsTheRequest) {
    Listener listener;
    listener.server = std::thread([&] {
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
