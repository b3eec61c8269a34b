#include <gtest/gtest.h>

#include <filesystem>

#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kStart = "Resend start: 06/12/2026 19:20:09";

// A backup folder of an earlier transfer: the export file, three bitmaps, and things that are
// not sent (a hidden file, a sub-folder).
std::string MakeEarlierSet(Rig& rig) {
    std::string set = rig.Local("Upload/20261205101500");
    fs::create_directories(set + "/sub.bmp");
    WriteFile(set + "/c_zilba_20261205101500.txt", "START\r\nSTOP\r\n");
    WriteFile(set + "/a.bmp", "BM-a");
    WriteFile(set + "/b.bmp", "BM-b");
    WriteFile(set + "/c.bmp", "BM-c");
    WriteFile(set + "/.hidden", "secret");
    return set;
}

}  // namespace

TEST(ResendRun, CancelEndsSilently) {
    Rig rig;
    fs::create_directories(rig.Local("Export"));
    cmdResend_Click(rig.f);
    EXPECT_EQ(rig.form.dialogs, std::vector<std::string>{"Select export file|*.txt"});
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{kSeparatorLine, kStart, "Copying files"}));
    EXPECT_TRUE(rig.form.messages.empty());
    for (const auto& e : rig.form.events) EXPECT_NE(e.rfind("cursor:", 0), 0u) << e;
    EXPECT_TRUE(fs::is_empty(rig.Local("Export")));
    EXPECT_EQ(rig.f.strExportFile, "");
}

TEST(ResendRun, CopiesThePlainFilesOfTheChosenFolderAndKeepsThemWhenTheUploadFails) {
    Rig rig;
    fs::create_directories(rig.Local("Export"));
    WriteFile(rig.Local("Export/a.bmp"), "an older a");
    std::string set = MakeEarlierSet(rig);
    rig.form.chosenFiles = {set + "/c_zilba_20261205101500.txt"};
    cmdResend_Click(rig.f);  // the server setting points at a closed port

    ASSERT_GE(rig.form.log.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(rig.form.log.begin(), rig.form.log.begin() + 7),
              (std::vector<std::string>{kSeparatorLine, kStart, "Copying files", "  ..a.bmp",
                                        "  ..b.bmp", "  ..c.bmp",
                                        "  ..c_zilba_20261205101500.txt"}));
    EXPECT_EQ(rig.f.strExportFile, set + "/c_zilba_20261205101500.txt");
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), "BM-a") << "a same-named file is replaced";
    EXPECT_EQ(ReadFile(rig.Local("Export/c_zilba_20261205101500.txt")), "START\r\nSTOP\r\n");
    EXPECT_FALSE(fs::exists(rig.Local("Export/.hidden")));
    EXPECT_FALSE(fs::exists(rig.Local("Export/sub.bmp")));
    ASSERT_EQ(rig.form.messages.size(), 1u);
    EXPECT_EQ(rig.form.messages[0].rfind("Error: ", 0), 0u);
    for (const auto& line : rig.form.log) EXPECT_NE(line.rfind("Resend complete: ", 0), 0u);
    EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
    EXPECT_EQ(ReadFile(set + "/b.bmp"), "BM-b") << "the source stays whole";
}

TEST(ResendRun, MissingExportFolderFailsWithoutLosingTheSource) {
    Rig rig;
    std::string set = MakeEarlierSet(rig);
    rig.form.chosenFiles = {set + "/c_zilba_20261205101500.txt"};
    cmdResend_Click(rig.f);
    ASSERT_EQ(rig.form.messages.size(), 1u);
    EXPECT_EQ(rig.form.messages[0].rfind("Error: ", 0), 0u);
    EXPECT_GT(rig.form.messages[0].size(), 7u) << "the file system's own description";
    EXPECT_FALSE(fs::exists(rig.Local("Export"))) << "a resend creates no folders";
    EXPECT_EQ(ReadFile(set + "/a.bmp"), "BM-a");
    EXPECT_EQ(rig.form.log.back(), "  ..a.bmp");
}

TEST(ResendRun, ExportFolderChosenAsSourceEmptiesNothing) {
    Rig rig;
    fs::create_directories(rig.Local("Export"));
    WriteFile(rig.Local("Export/c_zilba_x.txt"), "START\r\nSTOP\r\n");
    WriteFile(rig.Local("Export/a.bmp"), "BM-a");
    rig.form.chosenFiles = {rig.Local("Export/c_zilba_x.txt")};
    cmdResend_Click(rig.f);
    EXPECT_EQ(rig.form.log[3], "  ..a.bmp");
    EXPECT_EQ(rig.form.log[4], "  ..c_zilba_x.txt");
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), "BM-a");
    EXPECT_EQ(ReadFile(rig.Local("Export/c_zilba_x.txt")), "START\r\nSTOP\r\n");
}

}  // namespace zc::test
