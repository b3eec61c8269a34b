#include "platform/win32/Win32Http.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/win32/WinText.h"
#include "platform/win32/WindowMessages.h"

namespace zc::win32 {

namespace {

[[noreturn]] void Raise(const std::string& description) { throw Error(kErrRequest, description); }

// A body goes out at this rate at the least on every link a PC beside the cradle may use: a
// quarter of what a dial-up modem sends, and below one GPRS slot at its most robust coding
// (9 kbit/s). The body goes out in one synchronous send, which does not tell when the body has
// gone; so the answer limit starts when the send does and is lengthened by the time the body takes at this
// rate. A working upload is never given up before its body is through; a dead one of a large
// file is noticed later (a minute per 60 KB), and a signature bitmap of a few kilobytes barely
// lengthens the limit.
constexpr uint64_t kSlowestUploadBytesPerSecond = 1024;

// WinINet's time-out: in a send it may have come after the server took the whole request, so
// the server may still act on it.
bool IsTimeOut(DWORD code) { return code == ERROR_INTERNET_TIMEOUT; }

// Whether the current user's Internet Options send requests through a proxy: one set by hand,
// an automatic configuration script, or automatic detection. WinINet then never
// connects to the server itself, and a connection of our own says nothing about what failed.
// The settings are per connection: the LAN's, and the dial-up entry's while one is connected.
// Internet Explorer 8 and later tell what the user chose through INTERNET_PER_CONN_FLAGS_UI
// and may clear automatic detection from INTERNET_PER_CONN_FLAGS once it found nothing; earlier
// ones (Windows XP as shipped) know only the latter, so both are asked and either counts.
bool ProxyConfigured() {
    auto flags = [](char* connection, DWORD option) -> DWORD {
        INTERNET_PER_CONN_OPTIONA value{};
        value.dwOption = option;
        INTERNET_PER_CONN_OPTION_LISTA list{};
        list.dwSize = sizeof list;
        list.pszConnection = connection;
        list.dwOptionCount = 1;
        list.pOptions = &value;
        DWORD size = sizeof list;
        // The ANSI function: Internet Explorer 5 takes this option list through it only.
        if (!::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return 0;
        return value.Value.dwValue;
    };
    std::vector<std::string> connections{std::string()};  // the LAN
    DWORD state = 0;
    char name[257] = "";  // a dial-up entry's name holds at most 256 characters
    if (::InternetGetConnectedStateExA(&state, name, sizeof name, 0) && (state & INTERNET_CONNECTION_MODEM) && name[0])
        connections.emplace_back(name);
    const DWORD viaProxy = PROXY_TYPE_PROXY | PROXY_TYPE_AUTO_PROXY_URL | PROXY_TYPE_AUTO_DETECT;
    for (std::string& connection : connections) {
        char* entry = connection.empty() ? nullptr : connection.data();
        if ((flags(entry, INTERNET_PER_CONN_FLAGS_UI) | flags(entry, INTERNET_PER_CONN_FLAGS)) & viaProxy) return true;
    }
    return false;
}

// The host part of a URL, for the messages.
std::string HostOf(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A transport failure in words a user can act on: WinINet's codes, its own texts, where there
// is one, in Windows' words. Behind a proxy a connection that failed may be the proxy's, so the
// server is not blamed for it.
std::string Describe(DWORD error, const std::string& url, bool viaProxy = false) {
    const std::string host = HostOf(url);
    switch (error) {
        case ERROR_INTERNET_CANNOT_CONNECT:
            if (viaProxy) break;
            return "The server " + host + " refused the connection";
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            if (viaProxy) break;
            return "The server " + host + " could not be found";
        case ERROR_INTERNET_TIMEOUT: return "The server " + host + " did not answer in time";
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
            return "The server " + host + " closed the connection before it answered";
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        case ERROR_INTERNET_INVALID_URL: return "The address cannot be used: " + url;
        default: break;
    }
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"wininet.dll"), error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring wide(buffer ? buffer : L"", length);
    if (buffer) ::LocalFree(buffer);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
    const std::string text = Narrow(wide);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(HRESULT_FROM_WIN32(error)));
    return "The request to " + host + (viaProxy ? " through the proxy set in the Internet Options" : "") +
           " failed" + (text.empty() ? "" : ": " + text) + " (" + code + ")";
}

// Why a connection to the URL's server fails, found by connecting once more: WinINet tells a
// refused connection only as "cannot connect", without saying what refused it. Only without a
// proxy: behind one, the program never connects to the server itself.
std::string Diagnose(const std::string& url) {
    std::string authority = HostOf(url);
    if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    std::string host = authority, port = url.rfind("https:", 0) == 0 ? "443" : "80";
    size_t colon = authority.rfind(':');
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < authority.size() && authority[close + 1] == ':')
            port = authority.substr(close + 2);
    } else if (colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    std::string finding;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        finding = "The server " + authority + " could not be found";
    } else {
        SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        u_long nonBlocking = 1;
        if (s != INVALID_SOCKET && ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
            ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen));
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval wait{10, 0};
            int ready = ::select(0, nullptr, &writable, &failed, &wait);
            int error = 0, size = sizeof error;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
            if (ready == 0) finding = "The server " + authority + " did not answer in time";
            else if (error == WSAECONNREFUSED) finding = "The server " + authority + " refused the connection";
            else if (error == WSAENETUNREACH || error == WSAEHOSTUNREACH)
                finding = "The server " + authority + " cannot be reached from this PC";
        }
        if (s != INVALID_SOCKET) ::closesocket(s);
        ::freeaddrinfo(found);
    }
    ::WSACleanup();
    return finding;
}

// A WinINet handle, closed when it goes or is replaced.
struct Handle {
    HINTERNET h = nullptr;
    void Reset(HINTERNET next) {
        if (h) ::InternetCloseHandle(h);
        h = next;
    }
    ~Handle() { Reset(nullptr); }
};

// The code page an answer's text is in, by the charset its Content-Type names: UTF-8 unless it
// names one of the 8-bit sets servers use.
UINT CodePageOf(std::string contentType) {
    for (char& c : contentType) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = contentType.find("charset=");
    if (at == std::string::npos) return CP_UTF8;
    std::string name = contentType.substr(at + 8, contentType.find(';', at) - at - 8);
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    if (name == "windows-1252" || name == "iso-8859-1" || name == "latin1" || name == "us-ascii") return 1252;
    return CP_UTF8;
}

// One request, from open to the whole answer. It runs on a thread of its own: WinINet's
// synchronous calls block without running any messages, so only from outside can the wait be
// bounded and the windows be kept alive meanwhile.
struct Exchange {
    std::string method, url, body;
    std::vector<std::string> headers;  // "Name: value" each
    DWORD timeoutMs = 0;  // WinINet's own time-outs, no shorter than the answer limit
    // Results, written by the request's thread before it sets `done`.
    DWORD failure = 0;  // a WinINet or Windows error code
    std::string failureText;
    DWORD status = 0;
    std::string answer, contentType, finalUrl;
    HANDLE done = nullptr;

    ~Exchange() {
        if (done) ::CloseHandle(done);
    }

    void Run() {
        try {
            Transfer();
        } catch (const std::exception& e) {
            failure = ERROR_OUTOFMEMORY;
            failureText = e.what();
        }
        ::SetEvent(done);
    }

    // Through the current user's Internet Options (their proxy, a configuration script,
    // automatic detection), as a browser goes; never from the cache, and never into it.
    void Transfer() {
        Handle session, connection, request;
        // Every failure has a code, the answer cap's too.
        auto fail = [&](DWORD error = ::GetLastError()) {
            failure = !failureText.empty() ? ERROR_INSUFFICIENT_BUFFER : error ? error : ERROR_INTERNET_INTERNAL_ERROR;
        };
        session.h = ::InternetOpenA("Zilba Companion", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (!session.h) return fail();
        for (DWORD option : {INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
            ::InternetSetOptionA(session.h, option, &timeoutMs, sizeof timeoutMs);
        // Redirects are followed here, as a browser does (a POST answered with 301, 302 or 303 is
        // fetched again with GET), up to 10; so the address that gave the final answer is known
        // for sure, and a failure on the way is told of the place it happened.
        finalUrl = url;
        std::string verb = method;
        for (int redirects = 0;; ++redirects) {
            URL_COMPONENTSA parts{};
            parts.dwStructSize = sizeof parts;
            char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = "";
            parts.lpszHostName = host;
            parts.dwHostNameLength = sizeof host;
            parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;  // pointed into the URL
            if (!::InternetCrackUrlA(finalUrl.c_str(), 0, 0, &parts)) return fail();
            std::string path = std::string(parts.lpszUrlPath, parts.dwUrlPathLength) +
                               std::string(parts.lpszExtraInfo, parts.dwExtraInfoLength);
            if (path.empty() || path[0] != '/') path.insert(0, "/");
            request.Reset(nullptr);
            connection.Reset(
                ::InternetConnectA(session.h, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
            if (!connection.h) return fail();
            const char* accept[] = {"*/*", nullptr};
            DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                          INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
            if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
            request.Reset(::HttpOpenRequestA(connection.h, verb.c_str(), path.c_str(), nullptr, nullptr, accept, flags, 0));
            if (!request.h) return fail();
            for (const std::string& header : headers)
                if (!::HttpAddRequestHeadersA(request.h, header.c_str(), static_cast<DWORD>(header.size()),
                                              HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
                    return fail();
            // The body in one piece, with its Content-Length and no "Expect:".
            if (!::HttpSendRequestA(request.h, nullptr, 0, body.empty() ? nullptr : body.data(),
                                    static_cast<DWORD>(body.size())))
                return fail();
            DWORD size = sizeof status;
            if (!::HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
                return fail();
            char location[INTERNET_MAX_URL_LENGTH] = "", next[INTERNET_MAX_URL_LENGTH] = "";
            size = sizeof location;
            const bool redirected = (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                                    redirects < 10 &&
                                    ::HttpQueryInfoA(request.h, HTTP_QUERY_LOCATION, location, &size, nullptr);
            size = sizeof next;
            if (!redirected || !::InternetCombineUrlA(finalUrl.c_str(), location, next, &size, ICU_NO_ENCODE)) break;
            finalUrl = next;
            if (status == 303 || (status <= 302 && verb == "POST")) verb = "GET", body.clear();
        }
        char type[256] = "";
        DWORD size = sizeof type;
        if (::HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_TYPE, type, &size, nullptr)) contentType = type;
        char piece[16 << 10];
        for (DWORD got = 1; got > 0;) {
            if (!::InternetReadFile(request.h, piece, sizeof piece, &got)) return fail();
            if (answer.size() + got > kMaxAnswerBytes) {
                answer.clear();
                failureText = AnswerTooLongText();
                return fail();
            }
            answer.append(piece, got);
        }
    }
};

class Win32Request : public HttpRequest {
public:
    explicit Win32Request(std::chrono::milliseconds limit) : limit_(limit) {}

    void Open(const std::string& method, const std::string& url, bool /*async*/) override {
        // A line break would let a setting rewrite the request line or add headers.
        if (HasControlCharacter(url)) Raise("The request URL holds a control character");
        if (HasControlCharacter(method)) Raise("The request method holds a control character");
        // The address in the ANSI code page, as the upload's texts are: a site's name in the
        // import's query then names the folder its files went to.
        const std::string encoded = EncodeUnsafeUrlBytes(ToAnsi(url));
        URL_COMPONENTSA parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwSchemeLength = parts.dwHostNameLength = 1;
        if (!::InternetCrackUrlA(encoded.c_str(), 0, 0, &parts) || parts.dwHostNameLength == 0 ||
            (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
            Raise("The address cannot be used: " + url);
        exchange_ = std::make_shared<Exchange>();
        exchange_->method = method;
        exchange_->url = encoded;
        url_ = encoded;
        status_ = 0;
        response_.clear();
    }

    void SetRequestHeader(const std::string& name, const std::string& value) override {
        if (!exchange_) Raise("The request is not open");
        if (HasControlCharacter(name) || HasControlCharacter(value))
            Raise("A request header holds a control character");
        if (name.empty() || name.find(':') != std::string::npos) Raise("Invalid request header name: " + name);
        exchange_->headers.push_back(name + ": " + value);
    }

    void Send(std::string_view body) override {
        if (!exchange_) Raise("The request is not open");
        std::shared_ptr<Exchange> exchange = std::move(exchange_);
        exchange->body.assign(body.data(), body.size());
        exchange->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!exchange->done) throw std::bad_alloc();
        // The answer limit, lengthened by the time the body may take at the slowest working rate.
        const uint64_t bodyMs = static_cast<uint64_t>(body.size()) * 1000 / kSlowestUploadBytesPerSecond;
        const DWORD allowance = static_cast<DWORD>(
            std::min<uint64_t>(static_cast<uint64_t>(limit_.count()) + bodyMs, kLongestWaitMs));
        exchange->timeoutMs = allowance;
        // The thread keeps the exchange alive for as long as it runs, even past a time-out.
        std::thread worker([exchange] { exchange->Run(); });
        if (!WaitRunningMessages(exchange->done, allowance)) {  // the windows painting meanwhile
            worker.detach();  // it ends by itself once the server lets go of the connection
            throw Error(kErrNoAnswer, "The server " + HostOf(exchange->url) + " did not answer within " + LimitText());
        }
        worker.join();
        if (exchange->failure != 0) {
            std::string text = exchange->failureText;
            const bool viaProxy = text.empty() && ProxyConfigured();
            const std::string& where = exchange->finalUrl.empty() ? exchange->url : exchange->finalUrl;
            if (text.empty() && !viaProxy && exchange->failure == ERROR_INTERNET_CANNOT_CONNECT) text = Diagnose(where);
            if (text.empty()) text = Describe(exchange->failure, where, viaProxy);
            throw Error(IsTimeOut(exchange->failure) ? kErrNoAnswer : kErrRequest, text);
        }
        status_ = static_cast<int32_t>(exchange->status);
        url_ = exchange->finalUrl;
        const UINT codePage = CodePageOf(exchange->contentType);
        const std::string& bytes = exchange->answer;
        std::wstring text(bytes.size(), L'\0');
        text.resize(bytes.empty() ? 0 : ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                               text.data(), static_cast<int>(text.size())));
        response_ = Narrow(text);
    }

    int32_t Status() override { return status_; }
    std::string ResponseText() override { return response_; }
    std::string ResponseUrl() override { return url_; }

private:
    // The longest wait a tick count measures for sure: differences of GetTickCount() hold
    // across its wrap after 49.7 days, for waits shorter than that.
    static constexpr uint64_t kLongestWaitMs = 0x7FFFFFFF;

    std::string LimitText() const {
        auto minutes = std::chrono::duration_cast<std::chrono::minutes>(limit_);
        if (minutes.count() >= 1 && minutes == limit_) return std::to_string(minutes.count()) + " minutes";
        return std::to_string(limit_.count()) + " ms";
    }

    std::chrono::milliseconds limit_;
    std::shared_ptr<Exchange> exchange_;
    int32_t status_ = 0;
    std::string response_, url_;
};

}  // namespace

std::unique_ptr<HttpRequest> Win32Http::CreateRequest() {
    return std::make_unique<Win32Request>(answerLimit);
}

}  // namespace zc::win32
