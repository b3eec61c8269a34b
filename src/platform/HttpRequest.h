#pragma once
// The synchronous HTTP request object of the upload and the server import.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zc {

// Raised by the request object for an unusable request or a transport failure.
constexpr int32_t kErrRequest = -800;
// Raised instead when the server took the request but gave no whole answer in time: it may
// still act on it.
constexpr int32_t kErrNoAnswer = -801;

// The longest answer a request takes: the import's answer goes whole into the log, and an endless
// one must not take the program's memory. A longer one fails the request with AnswerTooLongText().
constexpr size_t kMaxAnswerBytes = size_t(16) << 20;
inline std::string AnswerTooLongText() {
    return "The server's answer is longer than " + std::to_string(kMaxAnswerBytes >> 20) + " MB";
}

// The URL as it goes on the wire: bytes that may not stand in a URL as they are (spaces, 8-bit
// letters) percent-encoded, as a browser sends them; everything else exactly as given.
inline std::string EncodeUnsafeUrlBytes(std::string_view url) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url) {
        const bool unsafe =
            c <= ' ' || c >= 0x7F || std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
        if (unsafe)
            out += {'%', hex[c >> 4], hex[c & 15]};
        else
            out += static_cast<char>(c);
    }
    return out;
}

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Prepares a request; raises when the URL cannot be used. Opening again starts a new
    // request on the same object.
    virtual void Open(const std::string& method, const std::string& url, bool async) = 0;
    virtual void SetRequestHeader(const std::string& name, const std::string& value) = 0;
    // Sends the body (empty: none) and returns when the whole response has arrived; raises on a
    // transport failure with the HTTP library's description.
    virtual void Send(std::string_view body) = 0;
    virtual int32_t Status() = 0;
    virtual std::string ResponseText() = 0;
    // The address that gave the final answer, after every redirect the object followed.
    virtual std::string ResponseUrl() = 0;
};

class Http {
public:
    virtual ~Http() = default;
    // The requests sent through one object share a kept-alive connection.
    virtual std::unique_ptr<HttpRequest> CreateRequest() = 0;
};

}  // namespace zc
