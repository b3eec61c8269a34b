// zilba-server run as a real process on a loopback port, spoken to over HTTP as the program
// speaks to it.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/Process.h"
#include "support/TempDir.h"

namespace zc {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

const std::string kTool = ZC_BIN_DIR "/zilba-server";
const std::string kUpload = "/cgi-bin/Zilba/qxupload.pl";
const std::string kProgramType = "multipart/form-data, boundary=Enter_The_Dragon";
const std::string kImportFolder = "/zilba/bnwck/p_zilba/import";

struct Upload {
    std::string filename;
    std::string content;
    std::string upPath = kImportFolder;
    std::string urlredir = "/none.html";
};

// The body byte for byte as the program writes it: a comma-separated boundary in the
// Content-Type, the file as an "attachment", and nothing after the closing boundary.
std::string ProgramBody(const Upload& u) {
    return "--Enter_The_Dragon\r\n"
           "Content-Disposition: form-data; name=\"urlredir\"\r\n\r\n" +
           u.urlredir +
           "\r\n--Enter_The_Dragon\r\n"
           "Content-Disposition: form-data; name=\"up_path\"\r\n\r\n" +
           u.upPath +
           "\r\n--Enter_The_Dragon\r\n"
           "Content-Disposition: attachment; name=\"up_file1\"; filename=\"" +
           u.filename +
           "\"\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: binary\r\n\r\n" + u.content +
           "\r\n--Enter_The_Dragon--";
}

const std::string kHead =
    "&&START%%\r\n&&SITE+++bnwck%%\r\n&&DOWNLOAD+++05/12/2026+++10:15:00%%\r\n"
    "&&COMMENT+++LoginID+++Event-code+++Time+++Date+++JobID+++Text+++SignatureID%%\r\n";

std::string Export(const std::vector<std::string>& events) {
    std::string text = kHead;
    for (const auto& e : events) text += "&&EVENT+++" + e + "%%\r\n";
    return text + "&&STOP%%\r\n";
}

// Regular files below `root`, relative to it.
std::set<std::string> FilesUnder(const std::string& root) {
    std::set<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file()) files.insert(fs::relative(it->path(), root).string());
    }
    return files;
}

// A zilba-server process whose stdout and stderr go to a log file.
struct Running {
    pid_t pid = -1;
    int port = 0;
    std::string log;
};

// Starts the tool on a port of its choosing and waits for its start line, which names the
// port; an empty result (and a test failure) when it does not come up.
Running Start(const std::string& log, const std::vector<std::string>& options) {
    std::string command = "exec '" + kTool + "' --port 0";
    for (const auto& o : options) command += " '" + o + "'";
    command += " >'" + log + "' 2>&1";
    Running r{test::StartProcess({"/bin/sh", "-c", command}), 0, log};
    const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+)/)");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::smatch m;
        std::string text = fs::exists(log) ? ReadFile(log) : "";
        if (std::regex_search(text, m, listening)) {
            r.port = std::stoi(m[1]);
            return r;
        }
        if (test::WaitProcess(r.pid, 0.05) != -1) break;
    }
    ADD_FAILURE() << "zilba-server did not start: " << (fs::exists(log) ? ReadFile(log) : "");
    test::StopProcess(r.pid);
    return {};
}

// Stops it as a service manager would; its exit code, -1 when it had to be killed.
int Stop(const Running& r) {
    if (r.pid <= 0) return -1;
    ::kill(r.pid, SIGTERM);
    int code = test::WaitProcess(r.pid, 10);
    if (code == -1) test::StopProcess(r.pid);
    return code;
}

// Waits for `text` in the log: the tool writes a request's line once the answer is sent.
bool LogShows(const std::string& log, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        if (ReadFile(log).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

class ZilbaServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = Start(log, {"--data", data});
        ASSERT_GT(server.port, 0);
        client = std::make_unique<httplib::Client>("127.0.0.1", server.port);
        client->set_follow_location(false);
    }
    void TearDown() override {
        if (server.pid <= 0) return;
        EXPECT_EQ(Stop(server), 0) << "SIGTERM stops it cleanly";
        EXPECT_NE(ReadFile(log).find("stopped"), std::string::npos) << ReadFile(log);
    }

    httplib::Result Post(const std::string& body, const std::string& type = kProgramType) {
        return client->Post(kUpload.c_str(), body, type.c_str());
    }
    int Status(const httplib::Result& r) const { return r ? r->status : -1; }
    std::string Import(const std::string& site, const std::string& file) {
        auto r = client->Get(("/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO&site=" + site + "&file=" + file).c_str());
        return r ? std::to_string(r->status) + " " + r->body : "no answer";
    }

    TempDir dir;
    std::string data = dir / "data";
    std::string log = dir / "server.log";
    Running server;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(ZilbaServerTest, UploadKeepsTheFileByteForByteWhereUpPathSaysAndRedirects) {
    // A bitmap-like body: every byte value, CR LF, "--" and most of the boundary inside,
    // starting and ending right at the part's edges.
    std::string binary = "\r\n--";
    for (int i = 0; i < 4096; ++i) {
        for (int b = 0; b < 256; ++b) binary += static_cast<char>(b);
        binary += "\r\n--Enter_The_Drago\r\n\r\n";
    }
    binary += "--";
    auto r = Post(ProgramBody({"C:\\My Documents\\Zilba Companion\\Export\\c_zilba_05122026_101500.txt", binary}));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->status == 303 || r->status == 302) << r->status << " " << r->body;
    EXPECT_EQ(r->get_header_value("Location"), "/none.html");
    const std::string exportFile = data + kImportFolder + "/c_zilba_05122026_101500.txt";
    EXPECT_TRUE(ReadFile(exportFile) == binary) << "stored bytes differ";

    // A POSIX path, an empty file, a folder of its own, a redirect target of its own.
    r = Post(ProgramBody({"/home/u/Documents/Zilba Companion/Export/S_5001.bmp", "",
                          kImportFolder + "/signatures", "/zilba/thanks.html"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 303) << r->body;
    EXPECT_EQ(r->get_header_value("Location"), "/zilba/thanks.html");
    const std::string signature = data + kImportFolder + "/signatures/S_5001.bmp";
    ASSERT_TRUE(fs::is_regular_file(signature));
    EXPECT_EQ(fs::file_size(signature), 0u);

    // The usual semicolon with a quoted boundary too; a new upload replaces the old file.
    r = Post(ProgramBody({"c_zilba_05122026_101500.txt", "replaced"}),
             "multipart/form-data; boundary=\"Enter_The_Dragon\"");
    EXPECT_EQ(Status(r), 303) << (r ? r->body : "");
    EXPECT_EQ(ReadFile(exportFile), "replaced");

    // The redirect targets answer; other paths do not.
    EXPECT_EQ(Status(client->Get("/none.html")), 200);
    auto page = client->Get("/zilba/thanks.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<html>"), std::string::npos);
    EXPECT_EQ(Status(client->Get("/zilba/other.html")), 404);
    EXPECT_EQ(Status(client->Post("/cgi-bin/other.pl", "x", "text/plain")), 404);

    // Only the uploads themselves are left: no temporary files beside them.
    EXPECT_EQ(FilesUnder(data), (std::set<std::string>{"zilba/bnwck/p_zilba/import/c_zilba_05122026_101500.txt",
                                                      "zilba/bnwck/p_zilba/import/signatures/S_5001.bmp"}));
    EXPECT_TRUE(LogShows(log, "POST /cgi-bin/Zilba/qxupload.pl 303 stored " + exportFile + " (" +
                                  std::to_string(binary.size()) + " bytes)"))
        << ReadFile(log);
    EXPECT_TRUE(LogShows(log, "GET /zilba/other.html 404")) << ReadFile(log);
}

TEST_F(ZilbaServerTest, UploadRefusesEscapesAndUnreadableBodiesWritingNothing) {
    const std::string good = data + kImportFolder + "/c_zilba_05122026_101500.txt";
    ASSERT_EQ(Status(Post(ProgramBody({"c_zilba_05122026_101500.txt", "good"}))), 303);

    const std::string body = ProgramBody({"C:\\Export\\c_zilba_05122026_101500.txt", "bad"});
    std::string noUpPath = body;
    noUpPath.erase(noUpPath.find("--Enter_The_Dragon\r\nContent-Disposition: form-data; name=\"up_path\""),
                   body.find("--Enter_The_Dragon\r\nContent-Disposition: attachment") -
                       body.find("--Enter_The_Dragon\r\nContent-Disposition: form-data; name=\"up_path\""));
    std::string lfOnly = std::regex_replace(body, std::regex("\r\n"), "\n");
    struct Case {
        std::string what, body, type, says;
    };
    const std::vector<Case> cases = {
        {"up_path climbing out", ProgramBody({"x.txt", "bad", "/zilba/../../outside"}), kProgramType, "up_path"},
        {"up_path of dots only", ProgramBody({"x.txt", "bad", "/.."}), kProgramType, "up_path"},
        {"up_path with backslashes", ProgramBody({"x.txt", "bad", "/zilba\\..\\..\\outside"}), kProgramType,
         "backslash"},
        {"empty up_path", ProgramBody({"x.txt", "bad", ""}), kProgramType, "up_path"},
        {"file name ..", ProgramBody({"..", "bad"}), kProgramType, "file name"},
        {"Windows path climbing out", ProgramBody({"C:\\Export\\..\\..\\..\\outside.txt", "bad"}), kProgramType,
         "file name"},
        {"POSIX path climbing out", ProgramBody({"../../outside.txt", "bad"}), kProgramType, "file name"},
        {"no base name", ProgramBody({"C:\\Export\\", "bad"}), kProgramType, "file name"},
        {"control byte in the name", ProgramBody({std::string("a\x01.txt"), "bad"}), kProgramType, "control"},
        {"redirect to another host", ProgramBody({"x.txt", "bad", kImportFolder, "//example.com/"}), kProgramType,
         "urlredir"},
        {"redirect that is no path", ProgramBody({"x.txt", "bad", kImportFolder, "none.html"}), kProgramType,
         "urlredir"},
        {"no up_path field", noUpPath, kProgramType, "up_path"},
        {"cut short", body.substr(0, body.size() - 25), kProgramType, "closing boundary"},
        {"lines ended by LF", lfOnly, kProgramType, "boundary"},
        {"another boundary", body, "multipart/form-data, boundary=Other", "boundary"},
        {"no boundary", body, "multipart/form-data", "boundary"},
        {"not a form", body, "application/octet-stream", "multipart/form-data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = Post(c.body, c.type);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400);
        EXPECT_NE(r->body.find(c.says), std::string::npos) << r->body;
    }
    // The good file is as it was, and nothing else was written, inside the data folder or out.
    EXPECT_EQ(ReadFile(good), "good");
    EXPECT_EQ(FilesUnder(dir.path()),
              (std::set<std::string>{"server.log", "data/zilba/bnwck/p_zilba/import/c_zilba_05122026_101500.txt"}));
}

TEST_F(ZilbaServerTest, ImportCountsTheEventsOfAGoodFileAndNamesTheFirstBadLine) {
    // Through the upload, as the program does it. The second event's text holds a line break,
    // the third's a "+++", and some of its values are empty.
    const std::string good = Export({
        "42+++101+++09:30+++05/12/2026+++731+++T_Delivered+++S_5001.bmp",
        "42+++102+++10:15+++05/12/2026+++732+++T_Left at\r\nthe back %%\r\ndoor+++S_.bmp",
        "+++103+++10:16+++05/12/2026+++733+++T_a+++b+++S_5002.bmp",
    });
    ASSERT_EQ(Status(Post(ProgramBody({"C:\\Export\\c_zilba_05122026_101500.txt", good}))), 303);
    EXPECT_EQ(Import("bnwck", "c_zilba_05122026_101500.txt"),
              "200 Import accepted\r\nSite: bnwck\r\nFile: c_zilba_05122026_101500.txt\r\nEvents: 3\r\n");

    const std::string folder = data + kImportFolder;
    WriteFile(folder + "/none.txt", Export({}));
    EXPECT_EQ(Import("bnwck", "none.txt").substr(0, 20), "200 Import accepted\r");
    EXPECT_NE(Import("bnwck", "none.txt").find("Events: 0\r\n"), std::string::npos);

    // The program sends the query unencoded: a '+' in a name is a '+', not a space.
    WriteFile(folder + "/a+b.txt", Export({}));
    client->set_url_encode(false);
    EXPECT_EQ(Import("bnwck", "a+b.txt").substr(0, 3), "200");
    client->set_url_encode(true);

    const std::string missing = Import("bnwck", "c_zilba_01012026_000000.txt");
    EXPECT_EQ(missing.substr(0, 4), "404 ");
    EXPECT_NE(missing.find("c_zilba_01012026_000000.txt"), std::string::npos) << missing;

    const std::string& head = kHead;
    const std::string event = "&&EVENT+++42+++101+++09:30+++05/12/2026+++731+++T_7+++S_3.bmp%%\r\n";
    const std::string stop = "&&STOP%%\r\n";
    struct Case {
        std::string what, text;
        int line;
    };
    const std::vector<Case> cases = {
        {"empty", "", 1},
        {"byte order mark", "\xEF\xBB\xBF" + head + stop, 1},
        {"LF line ends", std::regex_replace(head + stop, std::regex("\r\n"), "\n"), 1},
        {"records without their marks", "START\r\nSITE+++bnwck\r\n", 1},
        {"no DOWNLOAD", "&&START%%\r\n&&SITE+++bnwck%%\r\n&&COMMENT+++x%%\r\n" + stop, 3},
        {"DOWNLOAD with one field",
         "&&START%%\r\n&&SITE+++bnwck%%\r\n&&DOWNLOAD+++05/12/2026%%\r\n&&COMMENT+++x%%\r\n" + stop, 3},
        {"empty SITE", "&&START%%\r\n&&SITE+++%%\r\n&&DOWNLOAD+++a+++b%%\r\n&&COMMENT+++x%%\r\n" + stop, 2},
        {"short EVENT", head + event + "&&EVENT+++42+++101+++09:30%%\r\n" + event + stop, 6},
        {"unknown record", head + "&&JOB+++1%%\r\n" + stop, 5},
        {"SITE among the events", head + event + "&&SITE+++x%%\r\n" + stop, 6},
        {"no STOP", head + event, 6},
        {"STOP without its line end", head + "&&STOP%%", 5},
        {"a record after STOP", head + stop + event, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(folder + "/bad.txt", c.text);
        std::string answer = Import("bnwck", "bad.txt");
        EXPECT_EQ(answer.substr(0, 4), "422 ") << answer;
        EXPECT_NE(answer.find("Line " + std::to_string(c.line) + ":"), std::string::npos) << answer;
    }

    // Names that would leave the import folder, and other programs, are refused.
    EXPECT_EQ(Import("..", "x.txt").substr(0, 4), "400 ");
    EXPECT_EQ(Import("bnwck", "../../../../server.log").substr(0, 4), "400 ");
    EXPECT_EQ(Import("bnwck", "").substr(0, 4), "400 ");
    auto other = client->Get("/cgi-bin/dwsrun?Zilba/OTHER.DWO&site=bnwck&file=none.txt");
    EXPECT_EQ(Status(other), 404);
}

TEST_F(ZilbaServerTest, RefusesABusyPortAndDefaultsItsDataFolderToTheUsersDataHome) {
    // A second server on the same port must fail, not share the port with the first.
    auto busy = test::RunProcess({kTool, "--port", std::to_string(server.port), "--data", dir / "other"}, 10);
    EXPECT_EQ(busy.exitCode, 1) << busy.output;
    EXPECT_NE(busy.output.find("in use"), std::string::npos) << busy.output;
    EXPECT_EQ(Status(client->Get("/none.html")), 200) << "the first one still answers";

    auto bad = test::RunProcess({kTool, "--port", "70000"}, 10);
    EXPECT_EQ(bad.exitCode, 2) << bad.output;
    EXPECT_NE(bad.output.find("--port"), std::string::npos) << bad.output;

    dir.UseAsHome();  // puts the environment back when the test ends
    ::setenv("XDG_DATA_HOME", (dir / "xdg-data").c_str(), 1);
    const std::string defaultData = dir / "xdg-data/zilba-companion/server";
    Running home = Start(dir / "home.log", {});
    ASSERT_GT(home.port, 0);
    EXPECT_TRUE(fs::is_directory(defaultData));
    EXPECT_NE(ReadFile(home.log).find("keeping uploads in " + defaultData), std::string::npos) << ReadFile(home.log);
    ::kill(home.pid, SIGINT);
    EXPECT_EQ(test::WaitProcess(home.pid, 10), 0);
}

}  // namespace
}  // namespace zc
