#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/posix/CurlHttp.h"
#include "support/Loopback.h"

namespace zc::test {
namespace {

std::string Description(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kErrRequest);
        return e.description();
    }
    ADD_FAILURE() << "no error raised";
    return {};
}

}  // namespace

TEST(CurlHttp, LargePostGoesOutWholeWithoutExpectOnOneConnection) {
    LoopbackServer server([](const Captured& c) { return Answer{201, "got " + std::to_string(c.body.size())}; });
    posix::CurlHttp http;
    auto request = http.CreateRequest();
    std::string body(3 << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
    for (int i = 0; i < 3; ++i) {
        request->Open("POST", "http://" + server.host() + "/up", false);
        request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=B");
        request->Send(body);
        EXPECT_EQ(request->Status(), 201);
        EXPECT_EQ(request->ResponseText(), "got " + std::to_string(body.size()));
    }
    std::vector<Captured> got = server.requests();
    ASSERT_EQ(got.size(), 3u);
    for (const Captured& c : got) {
        EXPECT_EQ(c.body, body);
        EXPECT_EQ(c.contentType, "multipart/form-data, boundary=B");
        EXPECT_EQ(std::count(c.headerNames.begin(), c.headerNames.end(), "expect"), 0);
        EXPECT_EQ(c.remotePort, got[0].remotePort);
    }
}

TEST(CurlHttp, RedirectAfterPostIsFetchedWithGet) {
    for (int redirect : {301, 302, 303}) {
        LoopbackServer server([redirect](const Captured& c) {
            if (c.method == "POST") return Answer{redirect, "moved", "/done.html"};
            return Answer{200, "done"};
        });
        posix::CurlHttp http;
        auto request = http.CreateRequest();
        request->Open("POST", "http://" + server.host() + "/up", false);
        request->Send("payload");
        EXPECT_EQ(request->Status(), 200) << redirect;
        EXPECT_EQ(request->ResponseText(), "done") << "only the final answer's text";
        std::vector<Captured> got = server.requests();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[1].method, "GET");
        EXPECT_EQ(got[1].target, "/done.html");
        EXPECT_TRUE(got[1].body.empty());
    }
}

TEST(CurlHttp, UnusableRequestsRaiseBeforeAnythingIsSent) {
    LoopbackServer server;
    posix::CurlHttp http;
    auto request = http.CreateRequest();
    EXPECT_NE(Description([&] { request->Open("GET", "http://[::1/x", false); }), "");
    EXPECT_NE(Description([&] { request->Open("GET", "ftp://" + server.host() + "/x", false); }), "");
    EXPECT_NE(Description([&] { request->Open("GET", "http://" + server.host() + "\r\nHost: evil/", false); })
                  .find("control character"),
              std::string::npos);
    request->Open("GET", "http://" + server.host() + "/x", false);
    EXPECT_NE(Description([&] { request->SetRequestHeader("Content-Type", "a\nX-Evil: 1"); })
                  .find("control character"),
              std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

TEST(CurlHttp, TransportFailuresRaiseAtSendWithTheLibraryText) {
    posix::CurlHttp http;
    auto request = http.CreateRequest();
    request->Open("GET", "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x", false);
    std::string refused = Description([&] { request->Send({}); });
    EXPECT_NE(refused.find("127.0.0.1"), std::string::npos) << refused;

    // A server that takes the connection and never answers: the request gives up.
    SilentServer silent;
    http.idleTimeout = std::chrono::seconds(1);
    auto waiting = http.CreateRequest();
    waiting->Open("POST", "http://" + silent.host() + "/x", false);
    std::string timeout = Description([&] { waiting->Send("body"); });
    EXPECT_NE(timeout.find("Operation too slow"), std::string::npos) << timeout;
}

}  // namespace zc::test
