#include <gtest/gtest.h>

#include "platform/Error.h"
#include "server/Server.h"
#include "support/Loopback.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

const std::string kNow = "06/12/2026 19:20:09";
const std::string kQuery = "/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO&site=";

struct LaunchRig : Rig {
    explicit LaunchRig(const LoopbackServer& server) {
        form.fields[Field::Server] = server.host();
        f.strExportFile = Local("Export/c_zilba_06122026_192009.txt");
    }
};

}  // namespace

TEST(Launch, AsksForTheImportAndLogsTheAnswerAsItIs) {
    LoopbackServer server([](const Captured&) {
        return Answer{200, "Import accepted\r\nSite: bnwck\r\nEvents: 2"};
    });
    LaunchRig rig(server);
    LaunchServerProcess(rig.f);

    ASSERT_EQ(server.requests().size(), 1u);
    const Captured c = server.requests()[0];
    EXPECT_EQ(c.method, "GET");
    EXPECT_EQ(c.target, kQuery + "bnwck&file=c_zilba_06122026_192009.txt");
    EXPECT_TRUE(c.body.empty());
    EXPECT_TRUE(c.contentType.empty()) << "no request header is set";
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{
                                "Launching server process: " + kNow, "Status: 200",
                                "Import accepted\r\nSite: bnwck\r\nEvents: 2",
                                "Server process complete: " + kNow}));
    EXPECT_NE(rig.form.LogText().find("Status: 200\r\nImport accepted\r\nSite: bnwck\r\nEvents: 2\r\n"
                                      "Server process complete: "),
              std::string::npos);
}

TEST(Launch, FileNameIsWhatFollowsTheLastSeparator) {
    LoopbackServer server;
    for (auto [path, file] : {std::pair{std::string("plain.txt"), std::string("plain.txt")},
                              std::pair{std::string("/a/b/"), std::string()},
                              std::pair{std::string("/a/b c#1.txt"), std::string("b c")}}) {
        LaunchRig rig(server);
        rig.f.strExportFile = path;
        rig.form.fields[Field::Site] = "x&y";
        LaunchServerProcess(rig.f);
        std::string target = server.requests().back().target;
        // A space travels percent-encoded; an ampersand goes as it is, a number sign ends the URL.
        std::string sent = file == "b c" ? "b%20c" : file;
        EXPECT_EQ(target, kQuery + "x&y&file=" + sent) << path;
    }
}

TEST(Launch, AnyStatusIsLoggedAndNoneIsAnError) {
    for (int status : {404, 500}) {
        LoopbackServer server([status](const Captured&) { return Answer{status, ""}; });
        LaunchRig rig(server);
        LaunchServerProcess(rig.f);
        ASSERT_EQ(rig.form.log.size(), 4u);
        EXPECT_EQ(rig.form.log[1], "Status: " + std::to_string(status));
        EXPECT_EQ(rig.form.log[2], "") << "an empty answer is an empty line";
    }
}

TEST(Launch, RefusedConnectionEndsAfterTheFirstLine) {
    LoopbackServer unused;
    LaunchRig rig(unused);
    rig.form.fields[Field::Server] = "127.0.0.1:" + std::to_string(UnusedPort());
    EXPECT_THROW(LaunchServerProcess(rig.f), Error);
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Launching server process: " + kNow});
}

}  // namespace zc::test
