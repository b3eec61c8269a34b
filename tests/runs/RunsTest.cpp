// How each kind of start that ends early ends, what it shows and what it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <tuple>

#include "core/Settings.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

// The window's events of a start, as tests/data/run-starts.txt writes them under "= name".
std::string Shown(Rig& rig) {
    std::string text;
    for (std::string e : rig.form.events) {
        for (size_t at; (at = e.find(rig.localDir)) != std::string::npos;)
            e.replace(at, rig.localDir.size(), "<local>");
        for (size_t at; (at = e.find("\r\n")) != std::string::npos;) e.replace(at, 2, "\\r\\n");
        text += e + "\n";
    }
    return text;
}

std::string Expected(const std::string& name) {
    const std::string all = ReadFile(std::string(ZC_DATA_DIR) + "/run-starts.txt") + "= ", head = "= " + name + "\n";
    const size_t at = all.find(head), from = at + head.size();
    return at == std::string::npos ? "nothing under " + head : all.substr(from, all.find("\n= ", from) + 1 - from);
}

}  // namespace

TEST(Runs, EachKindOfStartEndsAsItShould) {
    using Act = std::function<void(Rig&)>;
    const std::vector<std::tuple<const char*, Act, Act>> starts = {
        {"no at the first question", [](Rig& r) { r.form.answers = {false}; },
         [](Rig& r) {
             EXPECT_EQ(r.plan.calls, Lines{"Exists " + r.Local("zilba-run.journal")})
                 << "only the journal looked for: no registry write, no connection";
             EXPECT_EQ(r.form.fields[Field::Sessions], "0");
         }},
        {"handheld not docked",
         [](Rig&) {
             fs::create_directories(posix::DataHome() + "/zilba-companion");
             WriteFile(posix::UndockedMarker(), "");
         },
         [](Rig& r) {
             EXPECT_EQ(r.form.fields[Field::Sessions], "1");
             EXPECT_EQ(StoredSettings()["SERVER_NAME"], "127.0.0.1:9") << "saved as soon as the user said Yes";
         }},
        // A quote would end a path in a part header: stopped before the handheld is touched.
        {"a quote in the local directory", [](Rig& r) { r.form.fields[Field::LocalDir] = r.localDir + "/a\"b"; },
         [](Rig& r) { EXPECT_EQ(std::count(r.plan.calls.begin(), r.plan.calls.end(), "CeRapiInit"), 0); }},
        {"purge flag found (a folder, named in capitals) and No",
         [](Rig& r) {
             fs::create_directories(r.DevicePath("My Documents/Pocket Zilba/.PURGE"));
             r.DeviceFile("My Documents/Pocket Zilba/Signatures/a.bmp", "BM");
             r.form.answers = {true, false};
         },
         [](Rig& r) { EXPECT_TRUE(fs::is_empty(r.Local("Export"))); }},
    };
    for (const auto& [name, prepare, then] : starts) {
        SCOPED_TRACE(name);
        Rig rig;
        prepare(rig);
        cmdTransfer_Click(rig.f);
        EXPECT_EQ(Shown(rig), Expected(name));
        EXPECT_EQ(rig.kernel.openFiles + rig.rapi.openHandles + rig.registry.openKeys + rig.files.openTexts, 0)
            << "nothing left open";
        const auto& calls = rig.plan.calls;
        EXPECT_TRUE(std::count(calls.begin(), calls.end(), "CeRapiInit") == 0 || calls.back() == "CeRapiUninit")
            << "always closed";
        then(rig);
    }
}

// A count goes on past any number a run can reach; only text that is no number stops it, untouched.
TEST(Counters, CountOnPast32767AndRefuseTextThatIsNoNumber) {
    Rig rig;
    // "before|after" rows; "refused" for text that is no number.
    std::istringstream rows(ReadFile(std::string(ZC_DATA_DIR) + "/counts.txt"));
    for (std::string row; std::getline(rows, row);) {
        const std::string before = row.substr(0, row.find('|')), after = row.substr(row.find('|') + 1);
        const bool counts = after != "refused";
        const Field field = counts ? Field::Success : Field::Failure;
        rig.form.fields[field] = before;
        if (counts) IncrementCounter(rig.f, field);
        else EXPECT_EQ(ErrorOf([&] { IncrementCounter(rig.f, field); }).number(), kErrTypeMismatch) << before;
        EXPECT_EQ(rig.form.fields[field], counts ? after : before) << before;
    }
}

// A bitmap a row names that the handheld never had is listed beside the export file. Cut short at
// the import, the next start tells what the server refused; resent and cut short again, the next
// start counts the bitmaps that wait and sends the set, whole without it.
TEST(Journal, CutShortAtTheImportAfterARefusalThenResentWholeWithoutWhatTheHandheldNeverHad) {
    LoopbackServer picky([](const Captured& c) { return Answer{c.body.find("image/bmp") == std::string::npos ? 200 : 500}; });
    TransferRig rig(3, 2);
    fs::remove(rig.DevicePath("My Documents/Pocket Zilba/Signatures/S_5001.bmp"));
    const std::string host = rig.form.fields[Field::Server], name = "c_zilba_06122026_192009";
    rig.form.fields[Field::Server] = picky.host();
    struct KilledAt : FakeForm {
        void WriteLog(const std::string& line) override {
            if (FakeForm::WriteLog(line), line.starts_with(at)) throw Killed{};
        }
        std::string at = "Launching server process: ";
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
    // Resent, and cut short before the upload: the next start sends the set that waits, whole.
    form.fields[Field::Server] = rig.form.fields[Field::Server] = host;
    form.chosenFiles = {backup + name + ".txt"};
    form.at = "Uploading files to server..";
    rig.clock.now.second += 1;
    EXPECT_THROW(cmdResend_Click(killed), Killed);
    rig.form.messages.clear();
    EXPECT_TRUE(FinishInterruptedRun(rig.f));
    EXPECT_EQ(rig.form.messages, (Lines{"A resend was cut short before its files reached the server. " + name +
                                            ".txt and its 1 bitmap waits in the export folder: they are sent now, "
                                            "backed up, and the server is asked to import " + name + ".txt.",
                                        kFinishedText}));
    EXPECT_EQ(Names(rig.Local("Upload/06122026_192010")), (Lines{"S_5002.bmp", name + ".lacking", name + ".txt"}));
}

}  // namespace zc::test
