#pragma once
// The request object: WinINet, used synchronously as the steps use it, through the current
// user's Internet Options, never answered from the cache, telling where the answer came from
// after redirects. Transport failures are told in the program's own words, and no answer may
// take longer than the answer limit once the body was sent (counted from the send, lengthened
// by the time the body takes at the slowest working rate: the send does not tell when it went).
#include <chrono>
#include <memory>

#include "platform/HttpRequest.h"

namespace zc::win32 {

class Win32Http : public Http {
public:
    std::unique_ptr<HttpRequest> CreateRequest() override;

    // The longest a request may wait for its whole answer once its body was sent.
    std::chrono::milliseconds answerLimit{std::chrono::minutes(10)};
};

}  // namespace zc::win32
