#pragma once
// The request object: MSXML's XMLHTTP through its COM interface, used synchronously as the
// steps use it. Transport failures are told in the program's own words, and no answer may
// take longer than the answer limit once the body was sent (counted from the send, lengthened
// by the time the body takes at the slowest working rate: MSXML does not tell when it went).
#include <chrono>
#include <memory>

#include "platform/HttpRequest.h"

namespace zc::win32 {

class Win32Http : public Http {
public:
    Win32Http();
    ~Win32Http() override;
    std::unique_ptr<HttpRequest> CreateRequest() override;

    // The longest a request may wait for its whole answer once its body was sent.
    std::chrono::milliseconds answerLimit{std::chrono::minutes(10)};

private:
    struct Apartment;
    std::unique_ptr<Apartment> apartment_;
};

}  // namespace zc::win32
