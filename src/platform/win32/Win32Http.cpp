#include "platform/win32/Win32Http.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/Com.h"

#include <msxml2.h>
#include <wininet.h>

#include <algorithm>
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

// {ED8C108D-4349-11D2-91A4-00C04F7969E8}
constexpr GUID kIidXmlHttpRequest = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

[[noreturn]] void Raise(const std::string& description) { throw Error(kErrRequest, description); }

// A body goes out at this rate at the least on every link a PC beside the cradle may use: a
// quarter of what a dial-up modem sends, and below one GPRS slot at its most robust coding
// (9 kbit/s). MSXML's synchronous send cannot tell when the body has gone, and an IStream body
// would go out chunked, without the Content-Length that a plain CGI upload script needs; so the
// answer limit starts when the send does and is lengthened by the time the body takes at this
// rate. A working upload is never given up before its body is through; a dead one of a large
// file is noticed later (a minute per 60 KB), and a signature bitmap of a few kilobytes barely
// lengthens the limit.
constexpr uint64_t kSlowestUploadBytesPerSecond = 1024;

// WinINet's and URL Moniker's time-outs: in a send they may have come after the server took the
// whole request, so the server may still act on it.
bool IsTimeOut(HRESULT hr) {
    return hr == static_cast<HRESULT>(0x80072EE2u)     // ERROR_INTERNET_TIMEOUT
           || hr == static_cast<HRESULT>(0x800C000Bu);  // INET_E_CONNECTION_TIMEOUT
}

// Whether the current user's Internet Options send requests through a proxy: one set by hand,
// an automatic configuration script, or automatic detection. WinINet, and so MSXML, then never
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

// A transport failure in words a user can act on. MSXML reports these through WinINet's and
// URL Moniker's codes, often without any text of its own. Behind a proxy a connection that
// failed may be the proxy's, so the server is not blamed for it.
std::string Describe(HRESULT hr, const std::string& url, bool viaProxy = false) {
    const std::string host = HostOf(url);
    switch (static_cast<uint32_t>(hr)) {
        case 0x80072EFDu:  // ERROR_INTERNET_CANNOT_CONNECT
        case 0x800C0004u:  // INET_E_CANNOT_CONNECT
            if (viaProxy) break;
            return "The server " + host + " refused the connection";
        case 0x80072EE7u:  // ERROR_INTERNET_NAME_NOT_RESOLVED
        case 0x800C0005u:  // INET_E_RESOURCE_NOT_FOUND
            if (viaProxy) break;
            return "The server " + host + " could not be found";
        case 0x80072EE2u:  // ERROR_INTERNET_TIMEOUT
        case 0x800C000Bu:  // INET_E_CONNECTION_TIMEOUT
            return "The server " + host + " did not answer in time";
        case 0x80072EFEu:  // ERROR_INTERNET_CONNECTION_ABORTED
        case 0x80072EFFu:  // ERROR_INTERNET_CONNECTION_RESET
            return "The server " + host + " closed the connection before it answered";
        case 0x80072EE6u:  // ERROR_INTERNET_UNRECOGNIZED_SCHEME
        case 0x80072EE4u:  // ERROR_INTERNET_INVALID_URL
        case 0x800C0002u:  // INET_E_INVALID_URL
            return "The address cannot be used: " + url;
        default: break;
    }
    std::string text = ComDescription(hr);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return "The request to " + host + (viaProxy ? " through the proxy set in the Internet Options" : "") +
           " failed" + (text.empty() ? "" : ": " + text) + " (" + code + ")";
}

// Why a connection to the URL's server fails, found by connecting once more: MSXML reports a
// refused connection or an unknown host only as a failed download, without a word. Only
// without a proxy: behind one, MSXML never connects to the server itself.
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

ComPtr<IXMLHTTPRequest> NewRequestObject() {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"MSXML2.XMLHTTP", &clsid);
    ComPtr<IXMLHTTPRequest> request;
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlHttpRequest,
                                reinterpret_cast<void**>(request.out()));
    if (FAILED(hr)) {
        std::string text = ComDescription(hr);
        Raise("Unable to create the request object MSXML2.XMLHTTP" + (text.empty() ? "" : ": " + text));
    }
    return request;
}

HRESULT OpenRequest(IXMLHTTPRequest& request, const std::string& method, const std::string& url) {
    Bstr m(Widen(method)), u(Widen(url));
    Variant async, user, password;
    async.get().vt = VT_BOOL;
    async.get().boolVal = VARIANT_FALSE;
    user.get().vt = password.get().vt = VT_ERROR;  // omitted
    user.get().scode = password.get().scode = DISP_E_PARAMNOTFOUND;
    return request.open(m.get(), u.get(), async.get(), user.get(), password.get());
}

// One request, from open to the whole answer. It runs on a thread of its own, in that
// thread's apartment: the object's synchronous send blocks without running any messages, so
// only from outside can the wait be bounded and the windows be kept alive meanwhile.
struct Exchange {
    std::string method, url, body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Results, written by the request's thread before it sets `done`.
    HRESULT failure = S_OK;
    int32_t failureNumber = kErrRequest;
    std::string failureText;
    LONG status = 0;
    std::wstring response;
    HANDLE done = nullptr;

    ~Exchange() {
        if (done) ::CloseHandle(done);
    }

    void Run() {
        ComApartment apartment;
        try {
            ComPtr<IXMLHTTPRequest> request = NewRequestObject();
            HRESULT hr = OpenRequest(*request.get(), method, url);
            for (size_t i = 0; SUCCEEDED(hr) && i < headers.size(); ++i) {
                Bstr name(Widen(headers[i].first)), value(Widen(headers[i].second));
                hr = request->setRequestHeader(name.get(), value.get());
            }
            Variant content;
            if (SUCCEEDED(hr) && !body.empty()) {
                // One byte array, sent exactly as built.
                SAFEARRAY* bytes = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
                if (!bytes) throw std::bad_alloc();
                void* data = nullptr;
                ::SafeArrayAccessData(bytes, &data);
                std::memcpy(data, body.data(), body.size());
                ::SafeArrayUnaccessData(bytes);
                content.get().vt = VT_ARRAY | VT_UI1;
                content.get().parray = bytes;
            }
            if (SUCCEEDED(hr)) hr = request->send(content.get());
            if (SUCCEEDED(hr)) hr = request->get_status(&status);
            Bstr text;
            if (SUCCEEDED(hr) && SUCCEEDED(request->get_responseText(text.out()))) response = text.text();
            if (FAILED(hr)) {
                failure = hr;
                if (IsTimeOut(hr)) failureNumber = kErrNoAnswer;
                const bool viaProxy = ProxyConfigured();
                if (!viaProxy && (hr == static_cast<HRESULT>(0x800C0008u) || hr == static_cast<HRESULT>(0x800C0005u) ||
                                  hr == static_cast<HRESULT>(0x800C0004u)))
                    failureText = Diagnose(url);
                if (failureText.empty()) failureText = Describe(hr, url, viaProxy);
            }
        } catch (const Error& e) {
            failure = E_FAIL;
            failureText = e.description();
        } catch (const std::exception& e) {
            failure = E_FAIL;
            failureText = e.what();
        }
        ::SetEvent(done);
    }
};

class Win32Request : public HttpRequest {
public:
    explicit Win32Request(std::chrono::milliseconds limit) : checker_(NewRequestObject()), limit_(limit) {}

    void Open(const std::string& method, const std::string& url, bool /*async*/) override {
        // A line break would let a setting rewrite the request line or add headers.
        if (HasControlCharacter(url)) Raise("The request URL holds a control character");
        if (HasControlCharacter(method)) Raise("The request method holds a control character");
        // The object itself judges the address, at once, as the step expects of open.
        HRESULT hr = OpenRequest(*checker_.get(), method, url);
        if (FAILED(hr)) Raise(Describe(hr, url));
        exchange_ = std::make_shared<Exchange>();
        exchange_->method = method;
        exchange_->url = url;
        url_ = url;
        status_ = 0;
        response_.clear();
    }

    void SetRequestHeader(const std::string& name, const std::string& value) override {
        if (!exchange_) Raise("The request is not open");
        if (HasControlCharacter(name) || HasControlCharacter(value))
            Raise("A request header holds a control character");
        exchange_->headers.emplace_back(name, value);
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
        // The thread keeps the exchange alive for as long as it runs, even past a time-out.
        std::thread worker([exchange] { exchange->Run(); });
        if (!WaitRunningMessages(exchange->done, allowance)) {  // the windows painting meanwhile
            worker.detach();  // it ends by itself once the server lets go of the connection
            throw Error(kErrNoAnswer, "The server " + HostOf(exchange->url) + " did not answer within " + LimitText());
        }
        worker.join();
        if (FAILED(exchange->failure)) throw Error(exchange->failureNumber, exchange->failureText);
        // WinINet's own error numbers in place of a status tell a transport failure.
        if (exchange->status >= 12000 && exchange->status < 13000) {
            const HRESULT hr = HRESULT_FROM_WIN32(exchange->status);
            throw Error(IsTimeOut(hr) ? kErrNoAnswer : kErrRequest, Describe(hr, exchange->url, ProxyConfigured()));
        }
        status_ = static_cast<int32_t>(exchange->status);
        response_ = std::move(exchange->response);
    }

    int32_t Status() override { return status_; }
    std::string ResponseText() override { return Narrow(response_); }
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

    ComPtr<IXMLHTTPRequest> checker_;
    std::chrono::milliseconds limit_;
    std::shared_ptr<Exchange> exchange_;
    int32_t status_ = 0;
    std::wstring response_;
    std::string url_;
};

}  // namespace

struct Win32Http::Apartment {
    ComApartment apartment;
};

Win32Http::Win32Http() : apartment_(std::make_unique<Apartment>()) {}
Win32Http::~Win32Http() = default;

std::unique_ptr<HttpRequest> Win32Http::CreateRequest() {
    return std::make_unique<Win32Request>(answerLimit);
}

}  // namespace zc::win32
