// A transfer as the button starts it, on the real platform with the fake form: how each kind of
// start that ends early ends, what it logs and shows, and what it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/Settings.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kStart = "Transfer start: 06/12/2026 19:20:09";

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
        // touched: a quote would end a path in a part header.
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
             EXPECT_EQ(r.form.questions.back(), "Data was downloaded from this device before.\r\nDo you want to continue?");
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

// A bitmap a row names that the handheld never had is logged and listed beside the export file.
// Cut short at the import after the server refused the other bitmap, the next start tells what did
// not reach the server and where it lies, and asks nothing; resent, the set is whole without it.
TEST(Journal, CutShortAtTheImportAfterARefusalThenResentWholeWithoutWhatTheHandheldNeverHad) {
    LoopbackServer picky([](const Captured& c) { return Answer{c.body.find("image/bmp") == std::string::npos ? 200 : 500}; });
    TransferRig rig(3, 2);
    fs::remove(rig.DevicePath("My Documents/Pocket Zilba/Signatures/S_5001.bmp"));
    const std::string host = rig.form.fields[Field::Server], name = "c_zilba_06122026_192009";
    rig.form.fields[Field::Server] = picky.host();
    struct KilledAtTheImport : FakeForm {
        void WriteLog(const std::string& line) override {
            if (FakeForm::WriteLog(line), line.starts_with("Launching server process: ")) throw Killed{};
        }
    } form;
    form.fields = rig.form.fields;
    MainForm killed{form, rig.os};
    EXPECT_THROW(cmdTransfer_Click(killed), Killed);
    EXPECT_EQ(std::count(form.log.begin(), form.log.end(), "  ..Not on the handheld: S_5001.bmp"), 1);
    rig.rapi.CeRapiUninit();
    EXPECT_TRUE(FinishInterruptedRun(rig.f));
    const std::string backup = rig.Local("Upload/06122026_192009/");
    EXPECT_EQ(rig.form.messages, Lines{"A transfer was cut short while the server was asked to import " + name +
                                       ".txt. Not everything reached the server: it did not accept 1 of the 2 files "
                                       "sent. The files are kept in " + backup.substr(0, backup.size() - 1) +
                                       ". Send them again with Resend, choosing " + name + ".txt there."});
    EXPECT_EQ(picky.requests().size(), 2u) << "the import not asked again";
    rig.form.fields[Field::Server] = host;
    rig.clock.now.second += 1;
    EXPECT_EQ(rig.Transfer(backup + name + ".txt"), kFinishedText) << rig.form.LogText();
    EXPECT_EQ(Names(rig.Local("Upload/06122026_192010")), (Lines{"S_5002.bmp", name + ".lacking", name + ".txt"}));
}

}  // namespace zc::test
