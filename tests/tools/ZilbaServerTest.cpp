// zilba-server run as a real process on a loopback port, spoken to over HTTP as the program
// speaks to it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <set>

#include "support/Helpers.h"
#include "support/Loopback.h"

namespace zc::test {
namespace {

const std::string kTool = ZC_BIN_DIR "/zilba-server";
const std::string kType = "multipart/form-data, boundary=Enter_The_Dragon";
const std::string kImport = "/zilba/bnwck/p_zilba/import";

// The body byte for byte as the program writes it: the file as an "attachment", nothing after
// the closing boundary.
std::string Body(const std::string& filename, const std::string& content, const std::string& upPath = kImport) {
    return "--Enter_The_Dragon\r\nContent-Disposition: form-data; name=\"urlredir\"\r\n\r\n/none.html"
           "\r\n--Enter_The_Dragon\r\nContent-Disposition: form-data; name=\"up_path\"\r\n\r\n" + upPath +
           "\r\n--Enter_The_Dragon\r\nContent-Disposition: attachment; name=\"up_file1\"; filename=\"" + filename +
           "\"\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: binary\r\n\r\n" + content +
           "\r\n--Enter_The_Dragon--";
}

// Regular files below `root`, relative to it.
std::set<std::string> FilesUnder(const std::string& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files.insert(fs::relative(e.path(), root).string());
    return files;
}

TEST(ZilbaServer, UploadKeepsTheFileByteForByteWhereUpPathSaysAndRefusesEscapes) {
    TempDir dir;
    const std::string data = dir / "data";
    StandInServer server{kTool, data, dir / "server.log"};
    httplib::Client client{"http://" + server.host()};
    // "<status> <Location> <body>" of an upload.
    auto Post = [&client](const std::string& body, const std::string& type = kType) {
        auto r = client.Post("/cgi-bin/Zilba/qxupload.pl", body, type.c_str());
        return r ? std::to_string(r->status) + " " + r->get_header_value("Location") + " " + r->body : "no answer";
    };
    // Every byte value, CR LF, "--" and most of the boundary inside, right at the part's edges.
    std::string binary = "\r\n--";
    for (int i = 0; i < 4096; ++i) binary += std::string(1, char(i)) + "\r\n--Enter_The_Drago\r\n\r\n";
    binary += "--";
    EXPECT_EQ(Post(Body("C:\\My Documents\\Export\\c_zilba_1.txt", binary)).substr(0, 15), "303 /none.html ");
    const std::string stored = data + kImport + "/c_zilba_1.txt";
    EXPECT_TRUE(ReadFile(stored) == binary) << "stored bytes differ";
    // A POSIX path, an empty file and a folder of its own; a second upload replaces the first.
    EXPECT_EQ(Post(Body("/home/u/Export/S_5001.bmp", "", kImport + "/signatures")).substr(0, 3), "303");
    EXPECT_EQ(Post(Body("c_zilba_1.txt", "good")).substr(0, 3), "303");

    const std::string bad = Body("C:\\Export\\c_zilba_1.txt", "bad");
    const std::pair<std::string, std::string> refused[] = {  // the body, and what the answer names
        {Body("x.txt", "bad", "/zilba/../../outside"), "up_path"},
        {Body("x.txt", "bad", "/zilba\\..\\..\\out"), "backslash"},
        {Body("x.txt", "bad", ""), "up_path"},
        {Body("..", "bad"), "file name"},
        {Body("C:\\Export\\..\\..\\..\\out.txt", "bad"), "file name"},
        {Body("a\x01.txt", "bad"), "control"},
        {Body(std::string("a\0/../../x.txt", 15), "bad"), "file name"},
        {Body("x.txt", "bad", std::string("/zilba\0/../../out", 18)), "up_path"},
        {bad.substr(0, bad.size() - 25), "closing boundary"},
    };
    for (const auto& [body, says] : refused) {
        std::string answer = Post(body);
        EXPECT_EQ(answer.substr(0, 4), "400 ") << says;
        EXPECT_NE(answer.find(says), std::string::npos) << answer;
    }
    EXPECT_EQ(Post(bad, "multipart/form-data, boundary=Other").substr(0, 4), "400 ");
    // What was kept stays as it was, and nothing else was written, inside the data folder or out.
    EXPECT_EQ(ReadFile(stored), "good");
    EXPECT_EQ(FilesUnder(dir.path()), (std::set<std::string>{"server.log", "data" + kImport + "/c_zilba_1.txt",
                                                            "data" + kImport + "/signatures/S_5001.bmp"}));

    // Percent-encoded separators and absolute paths are names like any other: they stay inside.
    EXPECT_EQ(Post(Body("/etc/a%2f..%2fb.txt", "x", "/%2e%2e%2f%2e%2e/etc")).substr(0, 3), "303");
    EXPECT_EQ(ReadFile(dir.path() + "/data/%2e%2e%2f%2e%2e/etc/a%2f..%2fb.txt"), "x");
    // The log keeps each stored file with the path its sender gave, in the bytes that came (here
    // the ANSI code page's), so a test can read what travelled.
    EXPECT_EQ(Post(Body("C:\\J\xFCrgen\\S_1.bmp", "BM", "/zilba/B\xFCro/p_zilba/import")).substr(0, 3), "303");
    EXPECT_EQ(server.Stop(), 0) << "SIGTERM stops it cleanly";
    EXPECT_NE(ReadFile(dir / "server.log").find("stored " + data + "/zilba/B\xFCro/p_zilba/import/S_1.bmp (2 bytes) "
                                                "from \"C:\\J\xFCrgen\\S_1.bmp\"\n"),
              std::string::npos);
}

}  // namespace
}  // namespace zc::test
