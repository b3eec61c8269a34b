#include <gtest/gtest.h>

#include <filesystem>

#include "app/Settings.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const std::string kStart = "Transfer start: 06/12/2026 19:20:09";

bool Called(const Rig& rig, const std::string& call) {
    return std::find(rig.plan.calls.begin(), rig.plan.calls.end(), call) != rig.plan.calls.end();
}

}  // namespace

TEST(TransferRun, NoAtTheFirstQuestionDoesNothing) {
    Rig rig;
    rig.form.answers = {false};
    cmdTransfer_Click(rig.f);
    EXPECT_EQ(rig.form.questions,
              std::vector<std::string>{"Have you connected the device to the PC?"});
    EXPECT_EQ(rig.plan.calls, std::vector<std::string>{}) << "no registry write, no connection";
    EXPECT_EQ(rig.form.logShown, 0);
    EXPECT_TRUE(rig.form.log.empty());
    EXPECT_EQ(rig.form.fields[Field::Sessions], "0");
    EXPECT_TRUE(rig.form.messages.empty());
}

TEST(TransferRun, ConnectionThatCannotOpenIsReportedAndStillClosed) {
    Rig rig;
    fs::create_directories(posix::DataHome() + "/zilba-companion");
    WriteFile(posix::UndockedMarker(), "");
    cmdTransfer_Click(rig.f);

    EXPECT_EQ(rig.form.log, (std::vector<std::string>{kSeparatorLine, kStart,
                                                      "Initializing remote connection"}));
    EXPECT_EQ(rig.form.fields[Field::Sessions], "1");
    EXPECT_EQ(rig.form.messages, std::vector<std::string>{"Error: Failed to initialise RAPI"});
    EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit");
    // The settings were saved as soon as the user said Yes.
    EXPECT_EQ(RegReadString(rig.real.registry, HKEY_CURRENT_USER, kSettingsKey, "SERVER_NAME"),
              "127.0.0.1:9");
    // The order the user sees: log shown, count repainted, hourglass, then the box after the arrow.
    auto& ev = rig.form.events;
    auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
    EXPECT_LT(at("showlog"), at("log:" + std::string(kSeparatorLine)));
    EXPECT_LT(at("refresh"), at("cursor:hourglass"));
    EXPECT_LT(at("cursor:arrow"), at("box:Error: Failed to initialise RAPI"));
}

TEST(TransferRun, SessionCounterAtItsLimitStopsBeforeConnecting) {
    Rig rig;
    rig.form.fields[Field::Sessions] = "32767";
    cmdTransfer_Click(rig.f);
    EXPECT_EQ(rig.form.messages, std::vector<std::string>{"Error: Overflow"});
    EXPECT_EQ(rig.form.fields[Field::Sessions], "32767");
    EXPECT_FALSE(Called(rig, "CeRapiInit"));
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit") << "closed even though never opened";
    EXPECT_EQ(rig.form.log.size(), 2u);
}

TEST(TransferRun, PurgeFlagFoundAndNoCopiesNothing) {
    Rig rig;
    rig.DeviceFile("My Documents/Pocket Zilba/.purge", "");
    rig.DeviceFile("My Documents/Pocket Zilba/Signatures/a.bmp", "BM");
    rig.form.answers = {true, false};
    cmdTransfer_Click(rig.f);

    ASSERT_EQ(rig.form.questions.size(), 2u);
    EXPECT_EQ(rig.form.questions[1],
              "Data was downloaded from this device before.\r\nDo you want to continue?");
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{kSeparatorLine, kStart,
                                                      "Initializing remote connection",
                                                      "Checking directories...",
                                                      "Creating " + rig.Local("Export"),
                                                      "Creating " + rig.Local("Upload"),
                                                      "Checking for purge flag"}));
    EXPECT_TRUE(rig.form.messages.empty()) << "no success box and no error box";
    EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
    EXPECT_FALSE(fs::exists(rig.Local("Export/a.bmp")));
    EXPECT_EQ(rig.plan.calls.back(), "CeRapiUninit");
}

TEST(TransferRun, FailingStepEndsTheRunWithItsDescription) {
    Rig rig;  // no filter library was loaded, so the database copy cannot bind
    rig.DeviceFile("My Documents/Pocket Zilba/Signatures/a.bmp", "BM");
    cmdTransfer_Click(rig.f);
    ASSERT_EQ(rig.form.messages.size(), 1u);
    EXPECT_EQ(rig.form.messages[0].rfind("Error: ", 0), 0u);
    EXPECT_EQ(rig.form.log.back(), "Copying database from handheld device");
    EXPECT_FALSE(fs::exists(rig.Local("Export/a.bmp"))) << "later steps skipped";
    EXPECT_FALSE(fs::exists(rig.DevicePath("My Documents/Pocket Zilba/.purge")));
}

TEST(TransferRun, AClickDuringARunStartsNoSecondRun) {
    Rig rig;
    int nested = 0;
    struct ReentrantForm : FakeForm {
        std::function<void()> onAsk;
        bool AskYesNo(const std::string& prompt) override {
            if (onAsk) onAsk();
            return FakeForm::AskYesNo(prompt);
        }
    } form;
    form.fields = rig.form.fields;
    MainForm f{form, rig.os};
    form.onAsk = [&] {
        ++nested;
        if (nested == 1) {
            cmdTransfer_Click(f);
            cmdResend_Click(f);
        }
    };
    form.answers = {false};
    cmdTransfer_Click(f);
    EXPECT_EQ(form.questions.size(), 1u);
    EXPECT_EQ(form.dialogs.size(), 0u);
    EXPECT_FALSE(f.busy);
}

}  // namespace zc::test
