#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/Waiting.h"
#include "platform/posix/CurlHttp.h"
#include "support/Helpers.h"
#include "support/Loopback.h"

namespace zc::test {
namespace {

// Takes connections into its backlog and never reads or answers them.
struct SilentServer {
    SilentServer() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
        listen(fd, 4);
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        host = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    }
    ~SilentServer() { close(fd); }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    std::string host;
};

// The description of what `call` raised, which must be a failed request: one that may have
// reached the server and gone unanswered (kErrNoAnswer), or one that did not.
std::string Description(const std::function<void()>& call, int32_t number = kErrRequest) {
    Error e = ErrorOf(call);
    EXPECT_EQ(e.number(), number);
    return e.description();
}

}  // namespace

TEST(CurlHttp, ALargePostGoesOutWholeWithoutExpect) {
    LoopbackServer server([](const Captured& c) { return Answer{201, "got " + std::to_string(c.body.size())}; });
    posix::CurlHttp http;
    auto request = http.CreateRequest();
    std::string body(3 << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
    request->Open("POST", "http://" + server.host() + "/up", false);
    request->SetRequestHeader("Content-Type", "multipart/form-data, boundary=B");
    request->Send(body);
    EXPECT_EQ(request->Status(), 201);
    EXPECT_EQ(request->ResponseText(), "got " + std::to_string(body.size()));
    ASSERT_EQ(server.requests().size(), 1u);
    const Captured got = server.requests()[0];
    EXPECT_EQ(got.body, body);
    EXPECT_EQ(got.contentType, "multipart/form-data, boundary=B");
    EXPECT_EQ(got.headers.count("expect"), 0u);
}

// An answer goes whole into memory and the log, so one longer than the cap fails the request.
TEST(CurlHttp, AnAnswerLongerThanTheCapFailsTheRequest) {
    for (size_t size : {kMaxAnswerBytes, kMaxAnswerBytes + 1}) {
        LoopbackServer server([size](const Captured&) { return Answer{200, std::string(size, 'a')}; });
        posix::CurlHttp http;
        auto request = http.CreateRequest();
        request->Open("GET", "http://" + server.host() + "/import", false);
        if (size == kMaxAnswerBytes) {
            request->Send({});
            EXPECT_EQ(request->ResponseText().size(), size);
        } else {
            EXPECT_EQ(Description([&] { request->Send({}); }), AnswerTooLongText());
            EXPECT_TRUE(request->ResponseText().empty());
        }
    }
}

// No wait is endless: a server that takes the request and never answers, and one that stops
// taking the request, are each given up, and the windows get their turn all through the wait.
TEST(CurlHttp, AWaitWithoutEndIsGivenUpInPlainWords) {
    posix::CurlHttp http;
    http.answerTimeout = std::chrono::seconds(1);
    http.idleTimeout = std::chrono::seconds(1);

    SilentServer silent;
    int briefs = 0, longs = 0;
    {
        ScopedWaitHook hook([&](Wait wait) { ++(wait == Wait::Brief ? briefs : longs); });
        auto request = http.CreateRequest();
        request->Open("POST", "http://" + silent.host + "/x", false);
        EXPECT_EQ(Description([&] { request->Send("body"); }, kErrNoAnswer), "The server did not answer within 1 second");
    }
    EXPECT_EQ(briefs, 1) << "once before the request";
    EXPECT_GT(longs, 10) << "again and again while it waits";

    auto request = http.CreateRequest();
    // A body far larger than the socket buffers, to a server that never reads it.
    request->Open("POST", "http://" + silent.host + "/x", false);
    EXPECT_EQ(Description([&] { request->Send(std::string(64 << 20, 'b')); }, kErrNoAnswer),
              "The server took nothing more of the request for 1 second");
}

}  // namespace zc::test
