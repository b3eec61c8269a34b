#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>

#include "platform/Error.h"
#include "server/Server.h"
#include "support/Loopback.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

// Runs in a folder of its own, so a relative file name can be the worked example's Windows path.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

}  // namespace

TEST(Multipart, WorkedExampleByteForByteOnTheWire) {
    LoopbackServer server;
    Rig rig;
    InitBoundaries();
    InFolder here(rig.home.path());
    const std::string path = "C:\\My Documents\\Zilba Companion\\Export\\c_zilba_05122026_101500.txt";
    WriteFile(path, "abc");
    std::filesystem::create_directories(rig.Local("Export"));
    rig.f.strExportFile = path;
    rig.form.fields[Field::Server] = server.host();
    RestartBoundaryDraws();
    UploadFiles(rig.f);

    ASSERT_EQ(server.requests().size(), 1u);
    const Captured got = server.requests()[0];
    RestartBoundaryDraws();
    const std::string word = Boundaries[DrawBoundaryIndex()];
    EXPECT_EQ(got.contentType, "multipart/form-data, boundary=" + word);
    const std::string expected =
        "--Enter_The_Dragon\r\n"
        "Content-Disposition: form-data; name=\"urlredir\"\r\n"
        "\r\n"
        "/none.html\r\n"
        "--Enter_The_Dragon\r\n"
        "Content-Disposition: form-data; name=\"up_path\"\r\n"
        "\r\n"
        "/zilba/bnwck/p_zilba/import\r\n"
        "--Enter_The_Dragon\r\n"
        "Content-Disposition: attachment; name=\"up_file1\"; filename=\"" + path + "\"\r\n"
        "Content-Type: text/plain\r\n"
        "Content-Transfer-Encoding: binary\r\n"
        "\r\n"
        "abc\r\n"
        "--Enter_The_Dragon--";
    EXPECT_EQ(expected.size(), 419u);
    EXPECT_EQ(got.body, std::regex_replace(expected, std::regex("Enter_The_Dragon"), word));
}

TEST(Multipart, PartsByDisposition) {
    Rig rig;
    std::string file = rig.Local("sig.bmp");
    WriteFile(file, std::string("BM\0\r\n\xff", 6));

    // An empty disposition is form-data; content type and encoding only belong to file parts.
    EXPECT_EQ(FormDataPart(rig.f, "n", "v\r\n\"q\"", "", "image/bmp", "base64"),
              "Content-Disposition: form-data; name=\"n\"\r\n\r\nv\r\n\"q\"");
    // Only the exact word "attachment" reads the file; a case variant sends the path as text.
    EXPECT_EQ(FormDataPart(rig.f, "f", file, "Attachment"),
              "Content-Disposition: Attachment; name=\"f\"\r\n\r\n" + file);
    EXPECT_EQ(FormDataPart(rig.f, "f", file, "attachment"),
              "Content-Disposition: attachment; name=\"f\"; filename=\"" + file + "\"\r\n"
              "Content-Type: application/octate-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
                  std::string("BM\0\r\n\xff", 6));

    // A file that is not there is created empty: its part ends with the empty header line.
    std::string missing = rig.Local("missing.txt");
    std::string part = FormDataPart(rig.f, "f", missing, "attachment", "text/plain");
    EXPECT_TRUE(std::filesystem::exists(missing));
    EXPECT_EQ(std::filesystem::file_size(missing), 0u);
    std::string body = MultipartBody("B", {part});
    EXPECT_EQ(body.substr(body.size() - 17), "binary\r\n\r\n\r\n--B--");

    // An unreadable path raises the file system's error.
    EXPECT_THROW(FormDataPart(rig.f, "f", rig.Local("no/such/folder/x.bmp"), "attachment"), Error);
}

TEST(Multipart, DrawsRepeatAfterEveryStartAndStayInTheTable) {
    InitBoundaries();
    RestartBoundaryDraws();
    std::vector<size_t> first;
    for (int i = 0; i < 200; ++i) first.push_back(DrawBoundaryIndex());
    RestartBoundaryDraws();
    std::vector<size_t> again;
    for (int i = 0; i < 200; ++i) again.push_back(DrawBoundaryIndex());
    EXPECT_EQ(first, again);
    EXPECT_EQ(std::set<size_t>(first.begin(), first.end()), (std::set<size_t>{0, 1, 2, 3, 4}));
    bool repeated = false;
    for (size_t i = 1; i < first.size(); ++i) repeated = repeated || first[i] == first[i - 1];
    EXPECT_TRUE(repeated) << "independent draws: the same word twice in a row must be possible";
}

TEST(Multipart, BoundaryThatOccursInAPartIsPassedOver) {
    InitBoundaries();
    std::vector<std::string> clean{"a", "b"};
    EXPECT_EQ(ChooseBoundary(3, clean), Boundaries[3]);
    // The drawn word and the next one occur in the content: the third is taken.
    std::vector<std::string> parts{"x", "BM--Mortal_Kombat_Deadly_Alliance\r\n", "--The_Return_of_The_King"};
    EXPECT_EQ(ChooseBoundary(3, parts), Boundaries[0]) << "wraps round the table";
    // Without the two dashes the word cannot end a part, so it stays usable.
    EXPECT_EQ(ChooseBoundary(1, {"Pirates_of_the_Caribbean"}), Boundaries[1]);

    std::string all;
    for (const std::string& word : Boundaries) all += "--" + word;
    try {
        ChooseBoundary(2, {all});
        FAIL() << "no boundary is free";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), -700);
        EXPECT_EQ(e.description(), "Unable to choose a multipart boundary");
    }
}

}  // namespace zc::test
