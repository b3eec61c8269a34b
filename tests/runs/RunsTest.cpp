// A transfer as the button starts it, on the real platform with the fake form: how each kind of
// start that ends early ends, what it logs and shows, and what it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/Settings.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Invariant.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kStart = "Transfer start: 06/12/2026 19:20:09";
const std::string kPurgeQuestion = "Data was downloaded from this device before.\r\nDo you want to continue?";

struct Scenario {
    const char* name;
    std::function<void(Rig&)> prepare;
    Lines log;    // "<local>" stands for the local directory
    Lines boxes;  // message boxes, in order
    std::function<void(Rig&)> then;
};

}  // namespace

TEST(Runs, EachKindOfStartEndsAsItShould) {
    const std::vector<Scenario> scenarios = {
        {"no at the first question", [](Rig& r) { r.form.answers = {false}; }, {}, {},
         [](Rig& r) {
             EXPECT_EQ(r.plan.calls, Lines{"Exists " + r.Local("zilba-run.journal")})
                 << "only the journal looked for: no registry write, no connection";
             EXPECT_EQ(r.form.events, Lines{"ask:Have you connected the device to the PC?"});
             EXPECT_EQ(r.form.fields[Field::Sessions], "0");
         }},
        {"handheld not docked",
         [](Rig&) {
             fs::create_directories(posix::DataHome() + "/zilba-companion");
             WriteFile(posix::UndockedMarker(), "");
         },
         {kSeparatorLine, kStart, "Initializing remote connection"}, {"Error: Failed to initialise RAPI"},
         [](Rig& r) {
             EXPECT_EQ(r.form.fields[Field::Sessions], "1");
             EXPECT_EQ(StoredSettings()["SERVER_NAME"], "127.0.0.1:9") << "saved as soon as the user said Yes";
             // What the user sees, in order: log shown, count repainted, hourglass, arrow, box.
             auto at = [&](const std::string& e) { return std::find(r.form.events.begin(), r.form.events.end(), e); };
             EXPECT_LT(at("showlog"), at("log:" + std::string(kSeparatorLine)));
             EXPECT_LT(at("refresh"), at("cursor:hourglass"));
             EXPECT_LT(at("cursor:hourglass"), at("cursor:arrow"));
             EXPECT_LT(at("cursor:arrow"), at("box:Error: Failed to initialise RAPI"));
         }},
        // Settings that cannot reach the server as typed stop the run before the handheld is
        // touched: a request line longer than servers take, a quote that would end a path in a
        // part header.
        {"a site that makes the import request too long",
         [](Rig& r) { r.form.fields[Field::Site] = std::string(1950, 's'); }, {kSeparatorLine, kStart},
         {"Error: The Zilba server and Zilba site settings make a request to the server 2041 characters long"},
         [](Rig& r) { EXPECT_EQ(std::count(r.plan.calls.begin(), r.plan.calls.end(), "CeRapiInit"), 0); }},
        {"a quote in the local directory",
         [](Rig& r) { r.form.fields[Field::LocalDir] = r.localDir + "/a\"b"; }, {kSeparatorLine, kStart},
         {"Error: The Local directory setting holds a double quote (\"), which cannot reach the server intact."},
         [](Rig& r) { EXPECT_EQ(std::count(r.plan.calls.begin(), r.plan.calls.end(), "CeRapiInit"), 0); }},
        {"purge flag found (a folder, named in capitals) and No",
         [](Rig& r) {
             r.DeviceFolder("My Documents/Pocket Zilba/.PURGE");
             r.DeviceFile("My Documents/Pocket Zilba/Signatures/a.bmp", "BM");
             r.form.answers = {true, false};
         },
         {kSeparatorLine, kStart, "Initializing remote connection", "Checking directories...",
          "Creating <local>/Export", "Creating <local>/Upload", "Checking for purge flag"},
         {},
         [](Rig& r) {
             EXPECT_EQ(r.form.questions.back(), kPurgeQuestion);
             EXPECT_TRUE(fs::is_empty(r.Local("Export")));
         }},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        Rig rig;
        s.prepare(rig);
        cmdTransfer_Click(rig.f);
        Lines log = s.log;
        for (std::string& line : log)
            if (size_t at = line.find("<local>"); at != std::string::npos) line.replace(at, 7, rig.localDir);
        EXPECT_EQ(rig.form.log, log);
        ASSERT_EQ(rig.form.messages.size(), s.boxes.size());
        for (size_t i = 0; i < s.boxes.size(); ++i) EXPECT_TRUE(rig.form.messages[i].starts_with(s.boxes[i]));
        EXPECT_EQ(rig.form.cursor, Cursor::Arrow);
        EXPECT_EQ(rig.kernel.openFiles + rig.rapi.openHandles + rig.registry.openKeys + rig.files.openTexts, 0)
            << "nothing left open";
        EXPECT_TRUE(std::count(rig.plan.calls.begin(), rig.plan.calls.end(), "CeRapiInit") == 0 ||
                    rig.plan.calls.back() == "CeRapiUninit")
            << "always closed";
        s.then(rig);
    }
}

// A count goes on past any number a run can reach; only text that is no number stops it.
TEST(Counters, CountOnPast32767AndRefuseTextThatIsNoNumber) {
    Rig rig;
    const std::pair<const char*, const char*> counts[] = {
        {"0", "1"}, {"32767", "32768"}, {"65535", "65536"}, {"99999999999999999999", "100000000000000000000"},
        {" 41 ", "42"}, {"+0009", "10"}, {"-1", "0"}, {"-32768", "-32767"}, {"-100", "-99"}, {"-0", "1"},
    };
    for (auto [before, after] : counts) {
        rig.form.fields[Field::Success] = before;
        IncrementCounter(rig.f, Field::Success);
        EXPECT_EQ(rig.form.fields[Field::Success], after) << before;
    }
    for (const char* text : {"", "  ", "-", "1 2", "12a", "0x10", "1e3"}) {
        rig.form.fields[Field::Failure] = text;
        EXPECT_EQ(ErrorOf([&] { IncrementCounter(rig.f, Field::Failure); }).number(), kErrTypeMismatch) << text;
        EXPECT_EQ(rig.form.fields[Field::Failure], text);
    }
}

// A row may name a bitmap its handheld never had: the transfer says so and lists it beside the
// export file, and that set goes again with Resend, whole without it.
TEST(Journal, ASetIsWholeWithoutTheBitmapsItsHandheldNeverHad) {
    TransferRig rig(3, 2);
    fs::remove(rig.DevicePath("My Documents/Pocket Zilba/Signatures/S_5001.bmp"));
    EXPECT_EQ(rig.Transfer(), kFinishedText);
    EXPECT_EQ(std::count(rig.form.log.begin(), rig.form.log.end(), "  ..Not on the handheld: S_5001.bmp"), 1);
    const Lines set{"S_5002.bmp", "c_zilba_06122026_192009.lacking", "c_zilba_06122026_192009.txt"};
    const std::string backup = rig.Local("Upload/06122026_192009");
    EXPECT_EQ(Names(backup), set);
    EXPECT_EQ(ReadFile(backup + "/" + set[1]), "S_5001.bmp\r\n");
    rig.clock.now.second += 1;
    EXPECT_EQ(rig.Transfer(backup + "/" + set[2]), kFinishedText) << rig.form.LogText();
    EXPECT_EQ(Names(rig.Local("Upload/06122026_192010")), set) << "the list goes with its set";
}

// Cut short while the import was asked, after the server refused the bitmaps: the next start says
// what did not reach the server and where it is kept, and asks for nothing.
TEST(Journal, CutShortAtTheImportAfterARefusalSaysWhatDidNotReachTheServer) {
    LoopbackServer picky([](const Captured& c) {
        return Answer{c.body.find("image/bmp") != std::string::npos ? 500 : 200};
    });
    TransferRig rig(3, 2);
    rig.form.fields[Field::Server] = picky.host();
    struct KilledAtTheImport : FakeForm {
        void WriteLog(const std::string& line) override {
            FakeForm::WriteLog(line);
            if (line.starts_with("Launching server process: ")) throw Killed{};
        }
    } form;
    form.fields = rig.form.fields;
    MainForm killed{form, rig.os};
    EXPECT_THROW(cmdTransfer_Click(killed), Killed);
    rig.rapi.CeRapiUninit();
    EXPECT_TRUE(FinishInterruptedRun(rig.f));
    EXPECT_EQ(rig.form.messages, Lines{"A transfer was cut short while the server was asked to import "
                                       "c_zilba_06122026_192009.txt. Not everything reached the server: it did not "
                                       "accept 2 of the 3 files sent. The files are kept in " +
                                       rig.Local("Upload/06122026_192009") + ". Send them again with Resend, "
                                       "choosing c_zilba_06122026_192009.txt there."});
    EXPECT_EQ(picky.requests().size(), 3u) << "the import not asked again";
    EXPECT_FALSE(fs::exists(rig.Local(kJournalName)));
}

}  // namespace zc::test
