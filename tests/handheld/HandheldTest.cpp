// The handheld steps: the local folders, the purge flag, the database copy through the filter
// library loaded for real, and the signature copy.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "handheld/Handheld.h"
#include "support/Rig.h"

namespace zc::test {

using Lines = std::vector<std::string>;

TEST(CheckDirectories, CreatesOnlyWhatIsMissingInOrder) {
    Rig rig;
    std::string local = rig.home / "new";
    rig.form.fields[Field::LocalDir] = local;
    CheckDirectories(rig.f);
    EXPECT_EQ(rig.form.log, (Lines{"Checking directories...", "Creating " + local,
                                   "Creating " + local + "/Export", "Creating " + local + "/Upload"}));
    EXPECT_EQ(Names(local), (Lines{"Export", "Upload"}));

    // All present, a plain file named Export counting as present.
    fs::remove(local + "/Export");
    WriteFile(local + "/Export", "not a folder");
    rig.form.log.clear();
    CheckDirectories(rig.f);
    EXPECT_EQ(rig.form.log, Lines{"Checking directories..."});
    EXPECT_TRUE(fs::is_regular_file(local + "/Export"));

    // A local directory whose parent is missing fails; nothing of the parent is made.
    rig.form.log.clear();
    std::string orphan = rig.home / "missing/parent";
    rig.form.fields[Field::LocalDir] = orphan;
    EXPECT_FALSE(ErrorOf([&] { CheckDirectories(rig.f); }).description().empty());
    EXPECT_EQ(rig.form.log.back(), "Creating " + orphan);
    EXPECT_FALSE(fs::exists(rig.home / "missing"));
}

TEST(PurgeFlag, FoundAsFileOrFolderOfAnyCaseAndSetEmptyAlsoAtTheRoot) {
    Rig rig;
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    EXPECT_FALSE(CheckPurgeFlag(rig.f));
    rig.DeviceFolder("My Documents/Pocket Zilba/.PURGE");
    EXPECT_TRUE(CheckPurgeFlag(rig.f)) << "a folder of that name, in any case";
    rig.form.fields[Field::DeviceDir] = "\\No Such Folder";
    EXPECT_FALSE(CheckPurgeFlag(rig.f));
    rig.form.fields[Field::DeviceDir] = "";  // an empty handheld directory is the root
    EXPECT_FALSE(CheckPurgeFlag(rig.f));
    SetPurgeFlag(rig.f);
    EXPECT_TRUE(CheckPurgeFlag(rig.f));
    EXPECT_EQ(ReadFile(rig.DevicePath(".purge")), "");
    EXPECT_EQ(rig.form.log[0], "Checking for purge flag");
    EXPECT_EQ(rig.form.log[4], "Setting purge flag in handheld device");
    rig.form.fields[Field::DeviceDir] = "\\My Documents";
    rig.DeviceFile("My Documents/.purge", "old content");
    SetPurgeFlag(rig.f);
    EXPECT_EQ(ReadFile(rig.DevicePath("My Documents/.purge")), "");
    EXPECT_EQ(rig.rapi.openHandles, 0) << "every search and file closed";
    rig.plan.FailCall("CeCreateFile");
    Error e = ErrorOf([&] { SetPurgeFlag(rig.f); });
    EXPECT_EQ(e.number(), -500);
    EXPECT_EQ(e.description(), "Failed to create purge flag");
    rig.rapi.CeRapiUninit();
}

namespace {

const std::string kLibrary = std::string(ZC_LIB_DIR) + "/libzc_adofilter.so";
const char* kClassId = "{5A0C1B2E-7D41-4C8E-9B20-ZC0000000001}";

struct FilterRig : Rig {
    void Register(const std::string& library) {
        RegWriteString(registry, kHkeyClassesRoot, "MS.WinCE.Table\\CLSID", "", kClassId);
        RegWriteString(registry, kHkeyClassesRoot,
                       std::string("CLSID\\") + kClassId + "\\InprocServer32", "", library);
    }
    ~FilterRig() {
        FreeAdoFilter(f);
        rapi.CeRapiUninit();
    }
};

}  // namespace

TEST(CopyDatabase, ConvertsAndReplacesAnEarlierCopyOrFailsWithMinus400LeavingNothing) {
    FilterRig rig;
    rig.Register(kLibrary);
    LoadAdoFilter(rig.f);
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    const std::string device = rig.DevicePath("My Documents/Pocket Zilba/P_ZILBA.CDB");

    // Neither a handheld database nor a handheld file that is not one converts.
    EXPECT_EQ(ErrorOf([&] { CopyDatabase(rig.f); }).number(), -400);
    WriteFile(device, std::string(5000, '\x5a'));
    Error e = ErrorOf([&] { CopyDatabase(rig.f); });
    EXPECT_EQ(e.number(), -400);
    EXPECT_EQ(e.description(), "Failed to copy database from device");
    EXPECT_EQ(Names(rig.localDir), std::vector<std::string>{}) << "no half-written desktop file";

    fs::remove(device);
    std::string sql = "CREATE TABLE Control(SiteName TEXT); INSERT INTO Control VALUES('north');"
                      "CREATE TABLE Jobs(UserID, EventCode INTEGER, JobNumber, DateTime, Text, Signature);";
    for (int i = 0; i < 12; ++i)
        sql += "INSERT INTO Jobs VALUES('u1', " + std::to_string(100 - i) + ", 'J', '', 't', 'a');";
    Sql(device, sql);
    WriteFile(rig.Local("P_ZILBA.MDB"), "an earlier, stale desktop database");
    rig.form.log.clear();
    CopyDatabase(rig.f);
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Copying database from handheld device"});
    EXPECT_EQ(Sql(rig.Local("P_ZILBA.MDB"), "SELECT COUNT(*) FROM Jobs"),
              std::vector<std::string>{"12"});
    EXPECT_EQ(Names(rig.localDir), std::vector<std::string>{"P_ZILBA.MDB"});
}

namespace {

const std::string kSigs = "My Documents/Pocket Zilba/Signatures/";

std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return s;
}

struct SignatureRig : Rig {
    SignatureRig() {
        fs::create_directories(Local("Export"));
        EXPECT_EQ(rapi.CeRapiInit(), 0);
    }
    ~SignatureRig() {
        EXPECT_EQ(rapi.openHandles, 0);
        EXPECT_EQ(kernel.openFiles, 0);
        rapi.CeRapiUninit();
    }
    Lines Calls(const std::string& prefix) {
        Lines out;
        for (const auto& c : plan.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
};

}  // namespace

TEST(CopySignatures, CopiesInChunksAtAdvancingOffsetsAndCounts) {
    SignatureRig rig;
    CopySignatures(rig.f);  // no signature folder at all
    EXPECT_EQ(rig.form.log, (Lines{"Copying signatures from handheld device", "No signature found!!"}));

    rig.DeviceFile(kSigs + "a.bmp", Bytes(3000, 1));
    rig.DeviceFolder(kSigs + "old.bmp");
    rig.DeviceFile(kSigs + "p.bmp", "");
    rig.DeviceFile(kSigs + "q.bmp", Bytes(1024, 2));
    rig.DeviceFile(kSigs + "notes.txt", "not a bitmap");
    rig.form.log.clear();
    rig.plan.calls.clear();
    CopySignatures(rig.f);

    EXPECT_EQ(rig.form.log, (Lines{"Copying signatures from handheld device", "Copying file: a.bmp",
                                   "Ignoring directory: old.bmp", "Copying file: p.bmp",
                                   "Copying file: q.bmp"}));
    EXPECT_EQ(rig.Calls("CeFindFirstFile"),
              Lines{"CeFindFirstFile \\My Documents\\Pocket Zilba\\Signatures\\*.bmp"});
    EXPECT_EQ(rig.Calls("WriteFile"), (Lines{"WriteFile 0 1024", "WriteFile 1024 1024",
                                             "WriteFile 2048 952", "WriteFile 0 1024"}));
    EXPECT_EQ(Names(rig.Local("Export")), (Lines{"a.bmp", "p.bmp", "q.bmp"}));
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), Bytes(3000, 1));
    EXPECT_EQ(ReadFile(rig.Local("Export/p.bmp")), "");
    EXPECT_EQ(ReadFile(rig.Local("Export/q.bmp")), Bytes(1024, 2));
    EXPECT_EQ(rig.form.fields[Field::Signs], "3");
    EXPECT_EQ(rig.form.refreshes, 3) << "the count shows after each copied file";
}

// A handheld whose search hands back names no file may have on the PC.
struct ScriptedNames : FaultyRapi {
    using FaultyRapi::FaultyRapi;
    std::vector<std::u16string> names;
    size_t next = 0;
    bool Fill(CE_FIND_DATA* d) {
        if (next >= names.size()) return false;
        *d = CE_FIND_DATA{};
        d->dwFileAttributes = kFileAttributeNormal;
        std::copy(names[next].begin(), names[next].end(), d->cFileName);
        ++next;
        return true;
    }
    HANDLE CeFindFirstFile(const char16_t*, CE_FIND_DATA* d) override {
        return Fill(d) ? 77 : kInvalidHandle;
    }
    int32_t CeFindNextFile(HANDLE, CE_FIND_DATA* d) override { return Fill(d); }
    int32_t CeFindClose(HANDLE) override { return 1; }
    uint32_t CeGetLastError() override { return ERROR_NO_MORE_FILES_CE; }
};

TEST(CopySignatures, NamesThatAreNotPlainFileNamesAreRefused) {
    SignatureRig rig;
    rig.DeviceFile(kSigs + "ok.bmp", "BM");
    ScriptedNames names(rig.real.rapi, rig.plan);
    names.names = {u"..", u"..\\..\\evil.bmp", u"sub/x.bmp", u"ok.bmp"};
    Platform os{rig.registry, rig.kernel, rig.shell, names, rig.files, rig.real.database,
                rig.real.http, rig.clock};
    MainForm f{rig.form, os};

    EXPECT_EQ(ErrorOf([&] { CopySignatures(f); }).number(), -600);
    Lines expected{"Copying signatures from handheld device"};
    for (const char* bad : {"..", "..\\..\\evil.bmp", "sub/x.bmp"}) {
        expected.push_back(std::string("Copying file: ") + bad);
        expected.push_back(std::string("  ..Ignoring invalid file name: ") + bad);
    }
    expected.push_back("Copying file: ok.bmp");
    EXPECT_EQ(rig.form.log, expected);
    EXPECT_EQ(rig.Calls("CeCreateFile"),
              Lines{"CeCreateFile \\My Documents\\Pocket Zilba\\Signatures\\ok.bmp"})
        << "only the plain name reaches the handheld";
    EXPECT_EQ(Names(rig.Local("Export")), Lines{"ok.bmp"});
    EXPECT_EQ(rig.form.fields[Field::Signs], "1");
}

TEST(WideBufferToString, StopsAtTheFirstZeroAndRefusesAnUnterminatedArray) {
    char16_t name[260] = {};
    std::u16string text = u"Sign\u00e9 \u4e2d.bmp";
    std::copy(text.begin(), text.end(), name);
    name[text.size() + 1] = u'x';  // after the terminator: not part of the name
    EXPECT_EQ(WideBufferToString(name, 260), "Sign\xc3\xa9 \xe4\xb8\xad.bmp");

    std::fill(std::begin(name), std::end(name), u'a');
    Error e = ErrorOf([&] { WideBufferToString(name, 260); });
    EXPECT_EQ(e.number(), kErrSubscript);
    EXPECT_EQ(e.description(), "Subscript out of range");
}

}  // namespace zc::test
