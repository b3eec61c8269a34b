#pragma once
// The synchronous HTTP request object of the upload and the server import.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zc {

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Raises when the URL cannot be used.
    virtual void Open(const std::string& method, const std::string& url, bool async) = 0;
    virtual void SetRequestHeader(const std::string& name, const std::string& value) = 0;
    // Raises on a transport failure with the HTTP library's description.
    virtual void Send(const std::vector<uint8_t>& body) = 0;
    virtual int32_t Status() = 0;
    virtual std::string ResponseText() = 0;
};

class Http {
public:
    virtual ~Http() = default;
    // Requests made from one factory share a kept-alive connection.
    virtual std::unique_ptr<HttpRequest> CreateRequest() = 0;
};

}  // namespace zc
