// A whole transfer from the button to the "Finished" box: the simulated handheld made by
// zilba-sim, the built filter library, the real platform and the stand-in server as a process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "app/Startup.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Runs.h"
#include "support/Loopback.h"
#include "support/Process.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kBin = std::string(ZC_BIN_DIR) + "/";

std::map<std::string, std::string> FilesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path().string());
    return files;
}

const std::string kSignatures = "/My Documents/Pocket Zilba/Signatures";

}  // namespace

TEST(WholeTransfer, FromTheButtonToTheFinishedBox) {
    Rig rig;
    MakeHandheld(7, 2);
    std::string data = rig.home / "server";
    std::optional<StandInServer> server(std::in_place, kBin + "zilba-server", data, rig.home / "server.log");
    std::string host = server->host();

    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);
    rig.form.fields[Field::Server] = host;
    rig.form.fields[Field::LocalDir] = rig.localDir;
    cmdTransfer_Click(rig.f);
    std::vector<std::string> firstMessages = rig.form.messages;
    std::string firstLog = rig.form.LogText();

    // The handheld is now marked as collected: a second transfer asks before going on.
    rig.form.answers = {true, false};
    cmdTransfer_Click(rig.f);
    Form_Unload(rig.f);
    server.reset();
    ASSERT_EQ(rig.form.questions.size(), 3u);
    EXPECT_EQ(rig.form.questions[2], "Data was downloaded from this device before.\r\nDo you want to continue?");

    ASSERT_EQ(firstMessages, std::vector<std::string>{kFinishedText}) << firstLog;
    std::vector<std::string> backups;
    for (const auto& e : fs::directory_iterator(rig.Local("Upload"))) backups.push_back(e.path().string());
    ASSERT_EQ(backups.size(), 1u);
    std::map<std::string, std::string> sent = FilesBelow(backups[0]);
    ASSERT_EQ(sent.size(), 3u) << "the export file and two bitmaps";
    EXPECT_EQ(FilesBelow(data), sent) << "the server holds every file byte for byte";
    for (const auto& [name, bytes] : FilesBelow(posix::HandheldRoot() + kSignatures))
        EXPECT_EQ(sent[name], bytes) << name;
    EXPECT_GT(fs::file_size(rig.Local("P_ZILBA.MDB")), 0u) << "the desktop database is on the PC";
    EXPECT_EQ(fs::file_size(posix::HandheldRoot() + "/My Documents/Pocket Zilba/.purge"), 0u);

    EXPECT_EQ(rig.form.fields[Field::Success], "3");
    EXPECT_EQ(rig.form.fields[Field::Failure], "0");
    EXPECT_EQ(rig.form.fields[Field::Events], "7");
    EXPECT_EQ(rig.form.fields[Field::Signs], "2");
    EXPECT_NE(firstLog.find("Status: 200\r\n"), std::string::npos) << firstLog;
    EXPECT_NE(firstLog.find("Events: 7"), std::string::npos) << "the server's import answer is logged";
}

TEST(WholeTransfer, SignatureThatCannotBeReadLeavesTheHandheldUnmarked) {
    Rig rig;
    MakeHandheld(3, 3);
    ASSERT_EQ(Form_Load(rig.f), StartOutcome::Run);
    rig.form.fields[Field::LocalDir] = rig.localDir;
    rig.plan.FailCall("CeReadFile", 2);  // the handheld fails in the middle of the signatures
    cmdTransfer_Click(rig.f);
    Form_Unload(rig.f);

    EXPECT_EQ(rig.form.messages, std::vector<std::string>{"Error: Failed to copy signatures from device"});
    EXPECT_FALSE(fs::exists(posix::HandheldRoot() + "/My Documents/Pocket Zilba/.purge"));
    std::map<std::string, std::string> copied = FilesBelow(rig.Local("Export"));
    EXPECT_EQ(copied.size(), 2u) << "the two good bitmaps stay, the broken one is not left half-copied";
    std::map<std::string, std::string> onHandheld = FilesBelow(posix::HandheldRoot() + kSignatures);
    for (const auto& [name, bytes] : copied) EXPECT_EQ(onHandheld[name], bytes) << name;
    EXPECT_EQ(rig.form.fields[Field::Success], "0") << "nothing was sent";
}

}  // namespace zc::test
