#include "platform/win32/Win32Http.h"

#include "platform/win32/Com.h"

#include <msxml2.h>

#include <cstdio>
#include <cstring>
#include <string>

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

// What a request in progress needs to be stopped from the thread's own timer.
struct Watch {
    IXMLHTTPRequest* request = nullptr;
    bool expired = false;
};
thread_local Watch* t_watch = nullptr;

void CALLBACK OnAnswerLimit(HWND, UINT, UINT_PTR, DWORD) {
    // The synchronous send waits in a message loop of its own, which runs this timer.
    if (t_watch && !t_watch->expired) {
        t_watch->expired = true;
        t_watch->request->abort();
    }
}

class Win32Request : public HttpRequest {
public:
    Win32Request(ComPtr<IXMLHTTPRequest> request, std::chrono::milliseconds limit)
        : request_(std::move(request)), limit_(limit) {}

    void Open(const std::string& method, const std::string& url, bool async) override {
        // A line break would let a setting rewrite the request line or add headers.
        if (HasControlCharacter(url)) Raise("The request URL holds a control character");
        if (HasControlCharacter(method)) Raise("The request method holds a control character");
        Bstr m(Widen(method)), u(Widen(url));
        Variant isAsync, none1, none2;
        isAsync.get().vt = VT_BOOL;
        isAsync.get().boolVal = async ? VARIANT_TRUE : VARIANT_FALSE;
        none1.get().vt = none2.get().vt = VT_ERROR;  // omitted user name and password
        none1.get().scode = none2.get().scode = DISP_E_PARAMNOTFOUND;
        HRESULT hr = request_->open(m.get(), u.get(), isAsync.get(), none1.get(), none2.get());
        if (FAILED(hr)) Raise(Describe(hr, url));
        url_ = url;
        opened_ = true;
    }

    void SetRequestHeader(const std::string& name, const std::string& value) override {
        if (!opened_) Raise("The request is not open");
        if (HasControlCharacter(name) || HasControlCharacter(value))
            Raise("A request header holds a control character");
        Bstr n(Widen(name)), v(Widen(value));
        HRESULT hr = request_->setRequestHeader(n.get(), v.get());
        if (FAILED(hr)) Raise(Describe(hr, url_));
    }

    void Send(std::string_view body) override {
        if (!opened_) Raise("The request is not open");
        opened_ = false;
        Variant content;
        if (!body.empty()) {
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
        Watch watch{request_.get(), false};
        Watch* outer = std::exchange(t_watch, &watch);
        UINT_PTR timer = ::SetTimer(nullptr, 0, static_cast<UINT>(limit_.count()), OnAnswerLimit);
        HRESULT hr = request_->send(content.get());
        if (timer) ::KillTimer(nullptr, timer);
        t_watch = outer;
        if (watch.expired) {
            long minutes = static_cast<long>(std::chrono::duration_cast<std::chrono::minutes>(limit_).count());
            std::string within = minutes >= 1 ? std::to_string(minutes) + " minutes"
                                               : std::to_string(limit_.count()) + " ms";
            Raise("The server " + HostOf(url_) + " did not answer within " + within);
        }
        if (FAILED(hr)) Raise(Describe(hr, url_));
    }

    int32_t Status() override {
        LONG status = 0;
        if (FAILED(request_->get_status(&status))) return 0;
        return static_cast<int32_t>(status);
    }

    std::string ResponseText() override {
        Bstr text;
        if (FAILED(request_->get_responseText(text.out()))) return {};
        return Narrow(text.text());
    }

private:
    ComPtr<IXMLHTTPRequest> request_;
    std::chrono::milliseconds limit_;
    std::string url_;
    bool opened_ = false;
};

}  // namespace

struct Win32Http::Apartment {
    ComApartment apartment;
};

Win32Http::Win32Http() : apartment_(std::make_unique<Apartment>()) {}
Win32Http::~Win32Http() = default;

std::unique_ptr<HttpRequest> Win32Http::CreateRequest() {
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
    return std::make_unique<Win32Request>(std::move(request), answerLimit);
}

}  // namespace zc::win32
