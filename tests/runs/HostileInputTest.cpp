// Broken and hostile input through whole transfers: each has a clear outcome and loses nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/Settings.h"
#include "app/Startup.h"
#include "handheld/Handheld.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Runs.h"
#include "support/Helpers.h"
#include "support/Invariant.h"
#include "support/Loopback.h"
#include "support/Process.h"
#include "support/Rig.h"

namespace zc::test {

namespace {

const std::string kBin = std::string(ZC_BIN_DIR) + "/";
const std::string kPocket = "My Documents/Pocket Zilba";

// A rig with a zilba-sim handheld, the built filter library, start-up done and a stand-in
// server: a transfer away from the "Finished" box.
struct TransferRig : Rig {
    explicit TransferRig(int jobs = 3, int signatures = 2) {
        MakeHandheld(jobs, signatures);
        EXPECT_EQ(Form_Load(f), StartOutcome::Run);
        form.fields[Field::LocalDir] = localDir;
        form.fields[Field::Server] = server.host();
        world.handheld = DevicePath(kPocket);
        world.localDir = localDir;
        world.served = server.data();
    }
    ~TransferRig() { Form_Unload(f); }

    // Transfers, says Yes to everything; the run's closing box.
    std::string Transfer() {
        form.messages.clear();
        cmdTransfer_Click(f);
        EXPECT_EQ(form.messages.size(), 1u);
        EXPECT_EQ(Breaches(world), std::vector<std::string>{});
        return form.messages.empty() ? "" : form.messages.back();
    }
    bool Flagged() { return fs::exists(DevicePath(kPocket + "/.purge")); }
    // What the server kept, by file name.
    std::map<std::string, std::string> Served() {
        std::map<std::string, std::string> files;
        if (fs::is_directory(server.data()))
            for (const auto& e : fs::recursive_directory_iterator(server.data()))
                if (e.is_regular_file()) files[e.path().filename().string()] = ReadFile(e.path().string());
        return files;
    }

    StandInServer server{kBin + "zilba-server", home / "server", home / "server.log"};
    World world;
};

}  // namespace

TEST(HostileInput, BrokenHandheldDatabaseEndsTheRunWithTheFlagUnset) {
    for (std::string bytes : {std::string(), std::string("\x13\x37 not a database at all, just bytes\xff\xfe")}) {
        TransferRig rig;
        rig.DeviceFile(kPocket + "/P_ZILBA.CDB", bytes);
        EXPECT_EQ(rig.Transfer(), "Error: Failed to copy database from device");
        EXPECT_FALSE(rig.Flagged());
        EXPECT_TRUE(rig.Served().empty());
    }
    // A Jobs table without its Text column: collected, then refused by the export, data on the PC.
    TransferRig rig;
    Sql(rig.DevicePath(kPocket + "/P_ZILBA.CDB"), "ALTER TABLE Jobs DROP COLUMN Text");
    EXPECT_NE(rig.Transfer().find("Text"), std::string::npos) << rig.form.LogText();
    EXPECT_TRUE(rig.Served().empty());
}

TEST(HostileInput, HugeTextsOddNamesAndA200MegabyteBitmapArriveWhole) {
    TransferRig rig(2, 0);
    const std::string text(1 << 20, 'x');
    Sql(rig.DevicePath(kPocket + "/P_ZILBA.CDB"), "UPDATE Jobs SET Text = '" + text + "' WHERE rowid = 1");
    std::map<std::string, std::string> bitmaps;
    bitmaps["S_with spaces.bmp"] = "BM spaces";
    bitmaps["S_Zoë_Łódź_日本.bmp"] = "BM letters";
    bitmaps[std::string(251, 'n') + ".bmp"] = "BM long name";
    std::string big(200u << 20, '\0');
    for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
    bitmaps["S_big.bmp"] = big;
    for (const auto& [name, bytes] : bitmaps) rig.DeviceFile(kPocket + "/Signatures/" + name, bytes);

    EXPECT_EQ(rig.Transfer(), std::string(kFinishedText)) << rig.form.LogText().substr(0, 4000);
    std::map<std::string, std::string> served = rig.Served();
    for (const auto& [name, bytes] : bitmaps) EXPECT_TRUE(served[name] == bytes) << name << " did not arrive whole";
    bool textArrived = false;
    for (const auto& [name, bytes] : served)
        if (name.starts_with("c_zilba_")) textArrived = bytes.find("+++T_" + text + "+++") != std::string::npos;
    EXPECT_TRUE(textArrived) << "the 1 MB event text is in the uploaded export file";
}

TEST(HostileInput, SilentServerAndEndlessAnswerEndWithAnErrorAndKeepTheFiles) {
    {
        // A server that takes the connection and never answers; its time-out is shortened here.
        TransferRig rig;
        SilentServer silent;
        rig.form.fields[Field::Server] = silent.host();
        rig.real.http.answerTimeout = std::chrono::seconds(1);
        EXPECT_NE(rig.Transfer().find("The server did not answer within 1 second"), std::string::npos);
        EXPECT_EQ(Names(rig.Local("Export")).size(), 3u) << "nothing sent, nothing backed up, all kept";
    }
    {
        // An import answer of 50 MB: everything was sent and backed up; the answer is refused.
        TransferRig rig;
        LoopbackServer chatty([](const Captured& c) {
            return c.method == "GET" ? Answer{200, std::string(50u << 20, 'a')} : Answer{200};
        });
        rig.form.fields[Field::Server] = chatty.host();
        EXPECT_EQ(rig.Transfer(), "Error: The server's answer is longer than 16 MB");
        EXPECT_TRUE(Names(rig.Local("Export")).empty());
        EXPECT_EQ(Names(rig.Local("Upload")).size(), 1u);
        EXPECT_EQ(rig.form.fields[Field::Success], "3");
    }
}

TEST(HostileInput, DamagedRegistryReadsAsNothingAndTheNextWriteRecreatesIt) {
    Rig rig;
    ASSERT_EQ(RunProcess({kBin + "zilba-sim", "install", "--library", std::string(ZC_LIB_DIR) + "/libzc_adofilter.so"})
                  .exitCode, 0);
    WriteFile(posix::RegistryFile(), std::string("SQLite format 3\0 and nothing SQLite could read", 46));
    rig.form.fields[Field::Site] = "default";
    LoadSettings(rig.f);
    EXPECT_EQ(rig.form.fields[Field::Site], "default") << "nothing stored: the defaults stay";
    EXPECT_EQ(ErrorOf([&] { LoadAdoFilter(rig.f); }).number(), -100) << "the registration went with the file";
    rig.form.fields[Field::Site] = "depot7";
    SaveSettings(rig.f);
    EXPECT_EQ(StoredSettings()["SITE_NAME"], "depot7");
}

TEST(HostileInput, LocalDirectoryThatCannotBeMadeStopsBeforeCollecting) {
    TransferRig rig;
    rig.form.fields[Field::LocalDir] = "/proc/zilba-companion";
    rig.world.localDir = "/proc/zilba-companion";
    EXPECT_EQ(rig.Transfer().rfind("Error: ", 0), 0u);
    EXPECT_FALSE(rig.Flagged());
}

}  // namespace zc::test
