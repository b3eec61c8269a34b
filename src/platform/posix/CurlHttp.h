#pragma once
// The request object over libcurl: synchronous, follows redirects (a POST answered with a
// redirect is fetched again with GET), sends no "Expect: 100-continue", and keeps one
// connection alive across the requests of one object. While it waits it calls Waiting()
// every few milliseconds, so the windows on the same thread stay painted and answering.
#include <chrono>
#include <memory>

#include "platform/HttpRequest.h"

namespace zc::posix {

class CurlHttp : public Http {
public:
    CurlHttp();
    std::unique_ptr<HttpRequest> CreateRequest() override;

    // Connecting gives up after this long.
    std::chrono::seconds connectTimeout{60};
    // Sending fails when the server takes no byte of the request for this long.
    std::chrono::seconds idleTimeout{600};
    // Once the request is sent, its whole answer must arrive within this, however the server
    // dribbles it out.
    std::chrono::seconds answerTimeout{600};
};

}  // namespace zc::posix
