// The two runs as the buttons start them, on the real platform with the fake form.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

const std::string kStart = "Transfer start: 06/12/2026 19:20:09";
using Lines = std::vector<std::string>;

}  // namespace

TEST(TransferRun, NoAtTheFirstQuestionDoesNothing) {
    Rig rig;
    rig.form.answers = {false};
    cmdTransfer_Click(rig.f);
    EXPECT_EQ(rig.form.questions, Lines{"Have you connected the device to the PC?"});
    EXPECT_EQ(rig.plan.calls, Lines{}) << "no registry write, no connection";
    EXPECT_EQ(rig.form.events, Lines{"ask:Have you connected the device to the PC?"}) << "no log, no box";
    EXPECT_EQ(rig.form.fields[Field::Sessions], "0");
}

TEST(TransferRun, ConnectionThatCannotOpenIsReportedCountedAndStillClosed) {
    Rig rig;
    fs::create_directories(posix::DataHome() + "/zilba-companion");
    WriteFile(posix::UndockedMarker(), "");
    cmdTransfer_Click(rig.f);

    EXPECT_EQ(rig.form.log, (Lines{kSeparatorLine, kStart, "Initializing remote connection"}));
    EXPECT_EQ(rig.form.fields[Field::Sessions], "1");
    EXPECT_EQ(rig.form.messages, Lines{"Error: Failed to initialise RAPI"});
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit");
    // The settings were saved as soon as the user said Yes.
    EXPECT_EQ(RegReadString(rig.real.registry, kHkeyCurrentUser, kSettingsKey, "SERVER_NAME"),
              "127.0.0.1:9");
    // The order the user sees: log shown, count repainted, hourglass, then the box after the arrow.
    auto& ev = rig.form.events;
    auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
    EXPECT_LT(at("showlog"), at("log:" + std::string(kSeparatorLine)));
    EXPECT_LT(at("refresh"), at("cursor:hourglass"));
    EXPECT_LT(at("cursor:hourglass"), at("cursor:arrow"));
    EXPECT_LT(at("cursor:arrow"), at("box:Error: Failed to initialise RAPI"));
}

TEST(TransferRun, SessionCounterAtItsLimitStopsBeforeConnecting) {
    Rig rig;
    rig.form.fields[Field::Sessions] = "32767";
    cmdTransfer_Click(rig.f);
    EXPECT_EQ(rig.form.messages, Lines{"Error: Overflow"});
    EXPECT_EQ(rig.form.fields[Field::Sessions], "32767");
    EXPECT_EQ(rig.plan.Count("CeRapiInit"), 0);
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit") << "closed even though never opened";
    EXPECT_EQ(rig.form.log.size(), 2u);
}

TEST(TransferRun, PurgeFlagFoundAndNoCopiesNothing) {
    Rig rig;
    rig.DeviceFile("My Documents/Pocket Zilba/.purge", "");
    rig.DeviceFile("My Documents/Pocket Zilba/Signatures/a.bmp", "BM");
    rig.form.answers = {true, false};
    cmdTransfer_Click(rig.f);

    EXPECT_EQ(rig.form.questions.back(),
              "Data was downloaded from this device before.\r\nDo you want to continue?");
    EXPECT_EQ(rig.form.log, (Lines{kSeparatorLine, kStart, "Initializing remote connection",
                                   "Checking directories...", "Creating " + rig.Local("Export"),
                                   "Creating " + rig.Local("Upload"), "Checking for purge flag"}));
    EXPECT_TRUE(rig.form.messages.empty()) << "no success box and no error box";
    EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
    EXPECT_TRUE(fs::is_empty(rig.Local("Export")));
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit");
}

TEST(TransferRun, AClickDuringARunStartsNoSecondRun) {
    Rig rig;
    struct ReentrantForm : FakeForm {
        std::function<void()> onAsk;
        bool AskYesNo(const std::string& prompt) override {
            if (auto act = std::exchange(onAsk, nullptr)) act();
            return FakeForm::AskYesNo(prompt);
        }
    } form;
    form.fields = rig.form.fields;
    MainForm f{form, rig.os};
    form.onAsk = [&] {
        cmdTransfer_Click(f);
        cmdResend_Click(f);
    };
    form.answers = {false};
    cmdTransfer_Click(f);
    EXPECT_EQ(form.questions.size(), 1u);
    EXPECT_EQ(form.dialogs.size(), 0u);
    EXPECT_FALSE(f.busy);
}

namespace {

const std::string kResendStart = "Resend start: 06/12/2026 19:20:09";
using Lines = std::vector<std::string>;

// A backup folder of an earlier transfer: the export file, three bitmaps, and what is not sent
// (a hidden file, a sub-folder).
std::string MakeEarlierSet(Rig& rig) {
    std::string set = rig.Local("Upload/20261205101500");
    fs::create_directories(set + "/sub.bmp");
    WriteFile(set + "/c_zilba_20261205101500.txt", "START\r\nSTOP\r\n");
    for (const char* name : {"a", "b", "c"}) WriteFile(set + "/" + name + ".bmp", std::string("BM-") + name);
    WriteFile(set + "/.hidden", "secret");
    return set;
}

}  // namespace

TEST(ResendRun, CancelEndsSilently) {
    Rig rig;
    fs::create_directories(rig.Local("Export"));
    cmdResend_Click(rig.f);
    EXPECT_EQ(rig.form.dialogs, Lines{"Select export file|*.txt"});
    EXPECT_EQ(rig.form.log, (Lines{kSeparatorLine, kResendStart, "Copying files"}));
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

    EXPECT_EQ(rig.form.log, (Lines{kSeparatorLine, kResendStart, "Copying files", "  ..a.bmp", "  ..b.bmp",
                                   "  ..c.bmp", "  ..c_zilba_20261205101500.txt",
                                   "Uploading files to server.."}));
    EXPECT_EQ(rig.f.strExportFile, set + "/c_zilba_20261205101500.txt");
    EXPECT_EQ(Names(rig.Local("Export")),
              (Lines{"a.bmp", "b.bmp", "c.bmp", "c_zilba_20261205101500.txt"}));
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), "BM-a") << "a same-named file is replaced";
    EXPECT_EQ(ReadFile(rig.Local("Export/c_zilba_20261205101500.txt")), "START\r\nSTOP\r\n");
    ASSERT_EQ(rig.form.messages.size(), 1u);
    EXPECT_EQ(rig.form.messages[0].rfind("Error: ", 0), 0u);
    EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
    EXPECT_EQ(ReadFile(set + "/b.bmp"), "BM-b") << "the source stays whole";
    for (const auto& call : rig.plan.calls) EXPECT_NE(call.rfind("Reg", 0), 0u) << "stores nothing";
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
    ASSERT_GE(rig.form.log.size(), 5u);
    EXPECT_EQ(Lines(rig.form.log.begin() + 3, rig.form.log.begin() + 5),
              (Lines{"  ..a.bmp", "  ..c_zilba_x.txt"}));
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), "BM-a");
    EXPECT_EQ(ReadFile(rig.Local("Export/c_zilba_x.txt")), "START\r\nSTOP\r\n");
}

}  // namespace zc::test
