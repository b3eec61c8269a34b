#pragma once
// The synchronous HTTP request object of the upload and the server import.
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
