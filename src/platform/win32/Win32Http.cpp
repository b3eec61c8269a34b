#include "platform/win32/Win32Http.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/Com.h"

#include <msxml2.h>

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

namespace zc::win32 {

namespace {

// {ED8C108D-4349-11D2-91A4-00C04F7969E8}
constexpr GUID kIidXmlHttpRequest = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

[[noreturn]] void Raise(const std::string& description) { throw Error(kErrRequest, description); }

// The host part of a URL, for the messages.
std::string HostOf(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A transport failure in words a user can act on. MSXML reports these through WinINet's and
// URL Moniker's codes, often without any text of its own.
std::string Describe(HRESULT hr, const std::string& url) {
    const std::string host = HostOf(url);
    switch (static_cast<uint32_t>(hr)) {
        case 0x80072EFDu:  // ERROR_INTERNET_CANNOT_CONNECT
        case 0x800C0004u:  // INET_E_CANNOT_CONNECT
            return "The server " + host + " refused the connection";
        case 0x80072EE7u:  // ERROR_INTERNET_NAME_NOT_RESOLVED
        case 0x800C0005u:  // INET_E_RESOURCE_NOT_FOUND
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
    return "The request to " + host + " failed" + (text.empty() ? "" : ": " + text) + " (" + code + ")";
}

// Why a connection to the URL's server fails, found by connecting once more: MSXML reports a
// refused connection or an unknown host only as a failed download, without a word.
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
                if (hr == static_cast<HRESULT>(0x800C0008u) || hr == static_cast<HRESULT>(0x800C0005u) ||
                    hr == static_cast<HRESULT>(0x800C0004u))
                    failureText = Diagnose(url);
                if (failureText.empty()) failureText = Describe(hr, url);
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
        // The thread keeps the exchange alive for as long as it runs, even past a time-out.
        std::thread worker([exchange] { exchange->Run(); });
        if (!WaitFor(exchange->done)) {
            worker.detach();  // it ends by itself once the server lets go of the connection
            Raise("The server " + HostOf(exchange->url) + " did not answer within " + LimitText());
        }
        worker.join();
        if (FAILED(exchange->failure)) Raise(exchange->failureText);
        // WinINet's own error numbers in place of a status tell a transport failure.
        if (exchange->status >= 12000 && exchange->status < 13000)
            Raise(Describe(HRESULT_FROM_WIN32(exchange->status), exchange->url));
        status_ = static_cast<int32_t>(exchange->status);
        response_ = std::move(exchange->response);
    }

    int32_t Status() override { return status_; }
    std::string ResponseText() override { return Narrow(response_); }
    std::string ResponseUrl() override { return url_; }

private:
    // Waits for `done` within the answer limit, running the thread's messages meanwhile so
    // that the windows keep painting; the user's input is dropped. False on a time-out.
    bool WaitFor(HANDLE done) const {
        const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(limit_.count());
        bool quit = false;
        WPARAM quitCode = 0;
        bool finished = false;
        for (;;) {
            ULONGLONG now = ::GetTickCount64();
            if (now >= deadline) break;
            DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 1000));
            DWORD r = ::MsgWaitForMultipleObjectsEx(1, &done, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (r == WAIT_OBJECT_0) {
                finished = true;
                break;
            }
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    quit = true;  // handed on once the request is over
                    quitCode = msg.wParam;
                } else if (!IsUserInput(msg.message)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageW(&msg);
                }
            }
        }
        if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
        return finished;
    }

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
