// The request bodies and the upload of the export file and the bitmaps, to a loopback server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <sstream>

#include "platform/Error.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "support/Loopback.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

// Runs in a folder of its own, so a relative file name can be the worked example's Windows path.
struct InFolder {
    explicit InFolder(const std::string& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(saved); }
    fs::path saved = fs::current_path();
};

// A rig whose export folder holds an export file, pointed at a loopback server.
struct UploadRig : Rig {
    explicit UploadRig(LoopbackServer& server) {
        InitBoundaries();
        fs::create_directories(Local("Export"));
        fs::create_directories(Local("Upload"));
        f.strExportFile = Local("Export/c_zilba_06122026_192009.txt");
        WriteFile(f.strExportFile, "START\r\nSTOP\r\n");
        form.fields[Field::Server] = server.host();
    }
};

}  // namespace

TEST(Upload, ExportFileFirstThenEveryBitmapOnOneConnectionAndOnlyExactly200Counts) {
    std::vector<int> statuses{200, 201, 500, 200};
    size_t next = 0;
    LoopbackServer server([&](const Captured&) { return Answer{statuses[next++ % statuses.size()]}; });
    UploadRig rig(server);
    // The export file named by a relative path that is the worked example's Windows one.
    InFolder here(rig.home.path());
    rig.f.strExportFile = "C:\\My Documents\\Zilba Companion\\Export\\c_zilba_05122026_101500.txt";
    WriteFile(rig.f.strExportFile, "abc");
    const std::string bitmap("BM\0\0--\r\n\xff\xfe", 10);
    WriteFile(rig.Local("Export/S_1.bmp"), bitmap);
    WriteFile(rig.Local("Export/S_2.BMP"), "");
    WriteFile(rig.Local("Export/S_3.bmp"), "BM3");
    WriteFile(rig.Local("Export/.hidden.bmp"), "x");
    WriteFile(rig.Local("Export/notes.txt"), "x");
    fs::create_directories(rig.Local("Export/folder.bmp"));
    rig.form.fields[Field::Success] = "5";
    rig.form.fields[Field::Server] += "/";  // used as typed
    RestartBoundaryDraws();
    UploadFiles(rig.f);

    std::vector<Captured> got = server.requests();
    ASSERT_EQ(got.size(), 4u) << "each bitmap once, hidden files and folders left out";
    std::vector<std::string> files, words;
    for (const Captured& c : got) {
        EXPECT_EQ(c.method + " " + c.target, "POST //cgi-bin/Zilba/qxupload.pl");
        words.push_back(c.contentType.substr(c.contentType.find("boundary=") + 9));
        EXPECT_EQ(c.contentType, "multipart/form-data, boundary=" + words.back());
        EXPECT_EQ(c.remotePort, got[0].remotePort) << "one kept-alive connection";
        size_t at = c.body.find("; filename=\"") + 12;
        files.push_back(c.body.substr(at, c.body.find('"', at) - at));
    }
    // Each request drew once, in turn, from the start of the seeded draws.
    EXPECT_EQ(words, (std::vector<std::string>{"Pirates_of_the_Caribbean", "Pirates_of_the_Caribbean",
                                               "Mortal_Kombat_Deadly_Alliance", "Enter_The_Dragon"}));
    EXPECT_EQ(files, (std::vector<std::string>{rig.f.strExportFile, rig.Local("Export/S_1.bmp"),
                                               rig.Local("Export/S_2.BMP"), rig.Local("Export/S_3.bmp")}));
    // The worked example byte for byte, with the word the seeded draws give first.
    const std::string expected = ReadFile(std::string(ZC_DATA_DIR) + "/worked-body.txt");
    EXPECT_EQ(got[0].body, std::regex_replace(expected, std::regex("Enter_The_Dragon"), words[0]));
    EXPECT_NE(got[1].body.find("Content-Type: image/bmp\r\nContent-Transfer-Encoding: binary\r\n\r\n" + bitmap + "\r\n--"),
              std::string::npos);
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{"Uploading files to server..", "  .." + rig.f.strExportFile + ": Success",
                                                      "  ..S_1.bmp: Failed", "  ..S_2.BMP: Failed", "  ..S_3.bmp: Success"}));
    EXPECT_EQ(rig.form.fields[Field::Success], "7");
    EXPECT_EQ(rig.form.fields[Field::Failure], "2");
    EXPECT_EQ(rig.form.refreshes, 4);
}

// The import request names the site and the file and never comes from a cache (a Resend asks the
// same address again). Unanswered, it may be importing still: the box says to check.
TEST(Launch, AsksForTheImportOfTheFileByNameFromTheServerItselfAndAnUnansweredOneIsNotSentAgain) {
    std::atomic<bool> answerImports = true;
    LoopbackServer server([&](const Captured& c) {
        for (int i = 0; c.method == "GET" && !answerImports && i < 200; ++i) usleep(50000);
        return Answer{200, c.method == "GET" ? "Imported 3 events" : ""};
    });
    UploadRig rig(server);
    LaunchServerProcess(rig.f);
    ASSERT_EQ(server.requests().size(), 1u);
    const Captured got = server.requests()[0];
    EXPECT_EQ(got.method + " " + got.target, "GET /cgi-bin/dwsrun?Zilba/QXPZILBA.DWO&site=bnwck&file=c_zilba_06122026_192009.txt");
    EXPECT_EQ(got.headers.find("cache-control")->second, "no-cache");
    EXPECT_EQ(got.headers.find("if-modified-since")->second, "Thu, 01 Jan 1970 00:00:00 GMT");

    answerImports = false;
    rig.real.http.answerTimeout = std::chrono::seconds(1);
    rig.form.chosenFiles = {rig.f.strExportFile};
    cmdResend_Click(rig.f);
    answerImports = true;
    const std::string backup = rig.Local("Upload/06122026_192009");
    EXPECT_EQ(rig.form.messages, std::vector<std::string>{
                                     "Error: The server did not answer within 1 second. It may still be importing "
                                     "c_zilba_06122026_192009.txt: check on the server that it was imported before you "
                                     "send it again.\r\nThe files are kept in " + backup + "."});
    EXPECT_TRUE(fs::exists(backup + "/c_zilba_06122026_192009.txt"));
}

// Only a 200 from the server of the settings accepts: a redirect elsewhere (a guest network's
// login page) is no acceptance, for an upload nor for the import.
TEST(Upload, OnlyTheServerItselfAccepts) {
    LoopbackServer login([](const Captured&) { return Answer{200, "Please log in"}; });
    LoopbackServer server([&](const Captured& c) {
        if (c.target.starts_with("/none.html")) return Answer{200};
        if (c.body.find("S_1.bmp") != std::string::npos || c.method == "GET")
            return Answer{302, "", "http://" + login.host() + "/login"};
        return Answer{303, "", "/none.html"};  // the upload script's own redirect
    });
    UploadRig rig(server);
    WriteFile(rig.Local("Export/S_1.bmp"), "BM");
    rig.form.chosenFiles = {rig.f.strExportFile};
    cmdResend_Click(rig.f);
    const std::string elsewhere = "the answer came from http://" + login.host() + "/login, not from the server";
    for (const std::string& line : {"  ..S_1.bmp: Failed (" + elsewhere + ")", "  ..Not confirmed: " + elsewhere})
        EXPECT_EQ(std::count(rig.form.log.begin(), rig.form.log.end(), line), 1) << line;
    EXPECT_EQ(rig.form.fields[Field::Success], "1");
    EXPECT_EQ(rig.form.fields[Field::Failure], "1");
    EXPECT_EQ(rig.form.messages, std::vector<std::string>{
        "Not everything reached the server: it did not accept 1 of the 2 files sent, and it did not confirm the "
        "import (" + elsewhere + ").\r\nThe files are kept in " + rig.Local("Upload/06122026_192009") +
        ". Send them again with Resend, choosing c_zilba_06122026_192009.txt there."});

    // Which answers come from the server asked ("-": none came).
    std::istringstream rows(ReadFile(std::string(ZC_DATA_DIR) + "/same-server.txt"));
    for (std::string asked, answered, same; rows >> asked >> answered >> same;)
        EXPECT_EQ(SameServer(asked, answered == "-" ? "" : answered), same == "same") << asked << " " << answered;
}

// Settings that would not reach the server as typed send nothing: a line break (a header of its
// own), or a request longer than servers take, counted as it travels (a space goes as three).
TEST(Upload, SettingsThatWouldNotReachTheServerAsTypedSendNothing) {
    LoopbackServer server;
    UploadRig rig(server);
    const std::string host = server.host(), tooLong = "make a request to the server 2001 characters long";
    const struct { std::string server, site; const char* says; } cases[] = {
        {host + "\r\nX-Injected: 1", "s", "The Zilba server setting holds a line break"},
        {host, "s\r\nX-Injected: 1", "The Zilba site setting holds a line break"},
        {"zilba.example", std::string(1908, 's'), tooLong.c_str()},  // 7 + 13 + 34 + 6 + site + 6 + 27
        {"zilba.example", std::string(1905, 's') + " ", tooLong.c_str()},
    };
    for (const auto& c : cases) {
        rig.form.fields[Field::Server] = c.server;
        rig.form.fields[Field::Site] = c.site;
        EXPECT_NE(ErrorOf([&] { UploadFiles(rig.f); }).description().find(c.says), std::string::npos) << c.says;
    }
    // Nor does a file gone between the listing and its upload: never sent empty, counted a success.
    rig.form.fields[Field::Server] = host;
    rig.form.fields[Field::Site] = "s";
    fs::remove(rig.f.strExportFile);
    EXPECT_EQ(ErrorOf([&] { UploadFiles(rig.f); }).number(), kErrFileNotFound);
    EXPECT_EQ(rig.form.fields[Field::Success], "0");
    EXPECT_TRUE(server.requests().empty());
    rig.form.fields[Field::Server] = "zilba.example";
    rig.form.fields[Field::Site] = std::string(1907, 's');
    EXPECT_NO_THROW(RefuseUnsendableSettings(rig.f));
}

// The boundary of a request is the drawn word unless its delimiter occurs in a part; then the
// next word of the table (after the last comes the first) that occurs in none.
TEST(Multipart, ABoundaryThatOccursInAPartGivesWayToTheNextFreeWord) {
    InitBoundaries();
    const struct { size_t drawn; std::vector<std::string> parts; const char* chosen; } cases[] = {
        {0, {"Enter_The_Dragon without its dashes"}, "Enter_The_Dragon"},
        {1, {"a", "x\r\n--Pirates_of_the_Caribbean--"}, "Final_Fantasy_The_Spirit_Within"},
        {1, {"--Pirates_of_the_Caribbean", "--Final_Fantasy_The_Spirit_Within"}, "Mortal_Kombat_Deadly_Alliance"},
        {4, {"--The_Return_of_The_King"}, "Enter_The_Dragon"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseBoundary(c.drawn, c.parts), c.chosen);
    const std::vector<std::string> all = {"--Enter_The_Dragon--Pirates_of_the_Caribbean--Final_Fantasy_The_Spirit_Within",
                                          "--Mortal_Kombat_Deadly_Alliance--The_Return_of_The_King"};
    Error e = ErrorOf([&] { ChooseBoundary(2, all); });
    EXPECT_EQ(e.number(), -700);
    EXPECT_EQ(e.description(), "Unable to choose a multipart boundary");
}

}  // namespace zc::test
