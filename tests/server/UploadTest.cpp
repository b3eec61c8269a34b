#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/Error.h"
#include "server/Server.h"
#include "support/Loopback.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

// A rig whose export folder holds an export file, pointed at a loopback server.
struct UploadRig : Rig {
    explicit UploadRig(LoopbackServer& server) {
        InitBoundaries();
        std::filesystem::create_directories(Local("Export"));
        f.strExportFile = Local("Export/c_zilba_06122026_192009.txt");
        WriteFile(f.strExportFile, "START\r\nSTOP\r\n");
        form.fields[Field::Server] = server.host();
    }
};

// The boundary of a captured request, from its Content-Type header.
std::string BoundaryOf(const Captured& c) {
    const std::string prefix = "multipart/form-data, boundary=";
    EXPECT_EQ(c.contentType.substr(0, prefix.size()), prefix);
    return c.contentType.substr(prefix.size());
}

std::string ExpectedBody(const std::string& boundary, const std::string& path,
                         const std::string& type, const std::string& content) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"urlredir\"\r\n\r\n/none.html\r\n" +
           "--" + boundary + "\r\nContent-Disposition: form-data; name=\"up_path\"\r\n\r\n" +
           "/zilba/bnwck/p_zilba/import\r\n" + "--" + boundary +
           "\r\nContent-Disposition: attachment; name=\"up_file1\"; filename=\"" + path +
           "\"\r\nContent-Type: " + type + "\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
           content + "\r\n--" + boundary + "--";
}

}  // namespace

TEST(Upload, ExportFileFirstThenEveryBitmapOnOneConnection) {
    LoopbackServer server;
    UploadRig rig(server);
    const std::string bitmap("BM\0\0--\r\n\xff\xfe", 10);
    WriteFile(rig.Local("Export/S_1.bmp"), bitmap);
    WriteFile(rig.Local("Export/S_2.BMP"), "");
    WriteFile(rig.Local("Export/.hidden.bmp"), "x");
    WriteFile(rig.Local("Export/notes.txt"), "x");
    std::filesystem::create_directories(rig.Local("Export/folder.bmp"));
    rig.form.fields[Field::Success] = "5";
    RestartBoundaryDraws();

    UploadFiles(rig.f);

    std::vector<Captured> got = server.requests();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].body, ExpectedBody(BoundaryOf(got[0]), rig.f.strExportFile, "text/plain",
                                        "START\r\nSTOP\r\n"));
    std::set<std::string> names;
    for (size_t i = 1; i < 3; ++i) {
        bool first = got[i].body.find("Export/S_1.bmp\"") != std::string::npos;
        std::string name = first ? "S_1.bmp" : "S_2.BMP";
        names.insert(name);
        EXPECT_EQ(got[i].body, ExpectedBody(BoundaryOf(got[i]), rig.Local("Export/" + name),
                                            "image/bmp", first ? bitmap : ""));
    }
    EXPECT_EQ(names, (std::set<std::string>{"S_1.bmp", "S_2.BMP"}))
        << "each bitmap once, hidden files and folders left out";

    // Each request drew once, in turn, from the start of the sequence.
    RestartBoundaryDraws();
    for (const Captured& c : got) {
        EXPECT_EQ(c.method, "POST");
        EXPECT_EQ(c.target, "/cgi-bin/Zilba/qxupload.pl");
        EXPECT_EQ(BoundaryOf(c), Boundaries[DrawBoundaryIndex()]);
        EXPECT_EQ(std::count(c.headerNames.begin(), c.headerNames.end(), "expect"), 0);
        EXPECT_EQ(c.remotePort, got[0].remotePort) << "one kept-alive connection";
    }

    ASSERT_EQ(rig.form.log.size(), 4u);
    EXPECT_EQ(rig.form.log[0], "Uploading files to server..");
    EXPECT_EQ(rig.form.log[1], "  .." + rig.f.strExportFile + ": Success");
    EXPECT_EQ(rig.form.log[2].substr(0, 4), "  ..");
    EXPECT_EQ(rig.form.log[2].find('/'), std::string::npos) << "a bitmap is logged by name alone";
    EXPECT_EQ(rig.form.fields[Field::Success], "8");
    EXPECT_EQ(rig.form.fields[Field::Failure], "0");
    EXPECT_EQ(rig.form.refreshes, 3);
}

TEST(Upload, OnlyExactly200IsSuccessAndAFailureDoesNotStopTheOthers) {
    std::vector<int> statuses{201, 204, 404, 500, 200};
    size_t next = 0;
    LoopbackServer server([&](const Captured&) { return Answer{statuses[next++ % statuses.size()]}; });
    UploadRig rig(server);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteFile(rig.Local(std::string("Export/") + name), name);

    UploadFiles(rig.f);

    EXPECT_EQ(server.requests().size(), 5u);
    EXPECT_EQ(rig.form.fields[Field::Failure], "4");
    EXPECT_EQ(rig.form.fields[Field::Success], "1");
    EXPECT_EQ(rig.form.log[1], "  .." + rig.f.strExportFile + ": Failed");
    EXPECT_EQ(std::count_if(rig.form.log.begin(), rig.form.log.end(),
                            [](const std::string& l) { return l.ends_with(": Failed"); }),
              4);
}

TEST(Upload, RedirectAfterTheUploadIsFollowedWithGet) {
    LoopbackServer server([](const Captured& c) {
        return c.method == "POST" ? Answer{303, "", "/none.html"} : Answer{200, "<html></html>"};
    });
    UploadRig rig(server);
    UploadFiles(rig.f);
    std::vector<Captured> got = server.requests();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].method, "GET");
    EXPECT_EQ(got[1].target, "/none.html");
    EXPECT_EQ(rig.form.fields[Field::Success], "1");
}

TEST(Upload, TransportFailureEndsTheUploadWithoutAResultLine) {
    for (std::string host : {"127.0.0.1:" + std::to_string(UnusedPort()), std::string("no-such-host.invalid")}) {
        LoopbackServer unused;
        UploadRig rig(unused);
        rig.form.fields[Field::Server] = host;
        WriteFile(rig.Local("Export/a.bmp"), "BM");
        try {
            UploadFiles(rig.f);
            FAIL() << host << ": the upload cannot succeed";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kErrRequest);
            EXPECT_NE(e.description().find(host.substr(0, host.find(':'))), std::string::npos)
                << "libcurl's own text names the host: " << e.description();
        }
        EXPECT_EQ(rig.form.log, std::vector<std::string>{"Uploading files to server.."});
        EXPECT_EQ(rig.form.fields[Field::Success], "0");
        EXPECT_EQ(rig.form.fields[Field::Failure], "0");
    }
}

TEST(Upload, CounterAtItsLimitEndsTheUploadAfterTheLogLine) {
    LoopbackServer server([](const Captured&) { return Answer{500}; });
    UploadRig rig(server);
    WriteFile(rig.Local("Export/a.bmp"), "BM");
    rig.form.fields[Field::Failure] = "32767";
    try {
        UploadFiles(rig.f);
        FAIL() << "the failure counter cannot grow";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(server.requests().size(), 1u) << "no further file is sent";
    EXPECT_EQ(rig.form.log.back(), "  .." + rig.f.strExportFile + ": Failed");
    EXPECT_EQ(rig.form.fields[Field::Failure], "32767");
}

TEST(Upload, ServerSettingIsUsedAsTyped) {
    LoopbackServer server;
    UploadRig rig(server);
    rig.form.fields[Field::Server] = server.host() + "/";
    UploadFiles(rig.f);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "//cgi-bin/Zilba/qxupload.pl");

    // A line break in a setting would forge the request: nothing goes out.
    for (Field field : {Field::Server, Field::Site}) {
        UploadRig bad(server);
        bad.form.fields[field] = bad.form.fields[field] + "\r\nX-Injected: 1";
        EXPECT_THROW(UploadFiles(bad.f), Error);
        EXPECT_EQ(bad.form.fields[Field::Success], "0");
    }
    EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace zc::test
