// The remote API through the stand-in rapi.dll, and the filter library found through the
// registry and called by the database copy, under Wine.
#include <gtest/gtest.h>

#include "Support.h"
#include "app/Settings.h"
#include "handheld/Handheld.h"
#include "platform/win32/Win32Platform.h"
#include "support/FakeForm.h"

namespace zc::test {

namespace {

using Names = std::vector<std::string>;
constexpr uint32_t kGenericReadAccess = 0x80000000u;

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
    return s;
}

// The names a search lists, in order, folders marked with a trailing "\".
Names List(Rapi& rapi, const char16_t* pattern, uint32_t* endReason) {
    CE_FIND_DATA record{};
    Names names;
    HANDLE find = rapi.CeFindFirstFile(pattern, &record);
    *endReason = rapi.CeGetLastError();
    if (find == kInvalidHandle) return names;
    do names.push_back(WideBufferToString(record.cFileName, 260) + (record.dwFileAttributes & kFileAttributeDirectory ? "\\" : ""));
    while (rapi.CeFindNextFile(find, &record));
    *endReason = rapi.CeGetLastError();
    EXPECT_NE(rapi.CeFindClose(find), 0);
    return names;
}

// The sizes of the reads of one handheld file, 1024 bytes asked each time, up to the first
// empty one.
std::vector<uint32_t> Reads(Rapi& rapi, const char16_t* path, std::string* content) {
    HANDLE file = rapi.CeCreateFile(path, kGenericReadAccess, kFileShareRead, nullptr, kOpenExisting,
                                    kFileAttributeNormal, 0);
    std::vector<uint32_t> reads;
    if (file == kInvalidHandle) return reads;
    char buffer[1025];
    uint32_t n = 0;
    do {
        if (!rapi.CeReadFile(file, buffer, 1024, &n, nullptr)) break;
        reads.push_back(n);
        content->append(buffer, n);
    } while (n > 0);
    EXPECT_NE(rapi.CeCloseHandle(file), 0);
    return reads;
}

}  // namespace

TEST(RemoteApi, ServesTheSimulatedHandheldThroughTheStandIn) {
    Handheld handheld;
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\a.bmp", Bytes(3000));
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\B.BMP", Bytes(1024));
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\notes.txt", "x");
    handheld.Folder("My Documents\\Pocket Zilba\\Signatures\\old.bmp");
    win32::Win32Rapi rapi;
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    uint32_t end = 0;
    EXPECT_EQ(List(rapi, u"\\my documents\\POCKET ZILBA\\Signatures\\*.bmp", &end), (Names{"a.bmp", "B.BMP", "old.bmp\\"}));
    EXPECT_EQ(end, ERROR_NO_MORE_FILES_CE);
    EXPECT_EQ(List(rapi, u"\\My Documents\\Pocket Zilba\\Signatures\\*.jpg", &end), Names{});
    EXPECT_EQ(List(rapi, u"\\My Documents\\Pocket Zilba\\Signatures", &end), Names{"Signatures\\"}) << "an exact path";

    std::string content;
    EXPECT_EQ(Reads(rapi, u"\\My Documents\\Pocket Zilba\\Signatures\\a.bmp", &content),
              (std::vector<uint32_t>{1024, 1024, 952, 0}));
    EXPECT_EQ(content, Bytes(3000));
    content.clear();
    EXPECT_EQ(Reads(rapi, u"\\My Documents\\Pocket Zilba\\Signatures\\b.bmp", &content), (std::vector<uint32_t>{1024, 0}));
    EXPECT_TRUE(Reads(rapi, u"\\My Documents\\Pocket Zilba\\Signatures\\missing.bmp", &content).empty());

    // The purge flag: created empty, an existing one truncated.
    handheld.File("My Documents\\Pocket Zilba\\.purge", "old");
    HANDLE flag = rapi.CeCreateFile(u"\\My Documents\\Pocket Zilba\\.purge", kGenericWrite, kFileShareWrite, nullptr,
                                    kCreateAlways, kFileAttributeNormal, 0);
    ASSERT_NE(flag, kInvalidHandle);
    EXPECT_NE(rapi.CeCloseHandle(flag), 0);
    EXPECT_EQ(ReadFile(handheld.Device("My Documents\\Pocket Zilba\\.purge")), "");

    // Undocking drops the connection and every handle; docking again lets a new one open.
    HANDLE open = rapi.CeCreateFile(u"\\My Documents\\Pocket Zilba\\Signatures\\a.bmp", kGenericReadAccess,
                                    kFileShareRead, nullptr, kOpenExisting, kFileAttributeNormal, 0);
    handheld.Undock();
    uint32_t n = 0;
    char buffer[1024];
    EXPECT_EQ(rapi.CeReadFile(open, buffer, 1024, &n, nullptr), 0);
    EXPECT_EQ(List(rapi, u"\\My Documents\\*", &end), Names{});
    EXPECT_EQ(end, ERROR_DEVICE_NOT_CONNECTED_CE);
    EXPECT_NE(rapi.CeRapiInit(), 0);
    handheld.Dock();
    EXPECT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
}

TEST(FilterLibrary, FoundThroughTheRegistryAndCalledWithItsFiveArguments) {
    Handheld handheld;
    TempDir local;
    win32::Win32Platform os;
    FakeForm form;
    MainForm f{form, os.platform()};
    form.fields[Field::DeviceDir] = "\\My Documents\\Pocket Zilba";
    form.fields[Field::LocalDir] = local.path();

    ASSERT_EQ(RunProgram("\"" + BinFolder() + "\\zilba-register.exe\""), 0u);
    LoadAdoFilter(f);
    const std::string database = std::string("SQLite format 3\0", 16) + Bytes(5000);
    handheld.File("My Documents\\Pocket Zilba\\P_ZILBA.CDB", database);
    ASSERT_EQ(os.rapi.CeRapiInit(), 0);
    WriteFile(local / "P_ZILBA.MDB", "an earlier copy");
    CopyDatabase(f);
    EXPECT_EQ(ReadFile(local / "P_ZILBA.MDB"), database) << "replaced, as overwrite asks";

    // A conversion that fails, for whatever reason, is -400; the earlier copy stays.
    handheld.File("My Documents\\Pocket Zilba\\P_ZILBA.CDB", "not a database");
    Error failed = ErrorOf([&] { CopyDatabase(f); });
    EXPECT_EQ(failed.number(), -400);
    EXPECT_EQ(failed.description(), "Failed to copy database from device");
    EXPECT_EQ(ReadFile(local / "P_ZILBA.MDB"), database);
    os.rapi.CeRapiUninit();
    FreeAdoFilter(f);

    // A registration that names a missing library fails the start with -100.
    const std::string classId = RegReadString(os.registry, kHkeyClassesRoot, "MS.WinCE.Table\\CLSID", "");
    const std::string server = "CLSID\\" + classId + "\\InprocServer32";
    const std::string library = RegReadString(os.registry, kHkeyClassesRoot, server, "");
    EXPECT_EQ(library, BinFolder() + "\\adofiltr.dll");
    RegWriteString(os.registry, kHkeyClassesRoot, server, "", local / "adofiltr.dll");
    Error missing = ErrorOf([&] { LoadAdoFilter(f); });
    EXPECT_EQ(missing.number(), -100);
    EXPECT_EQ(missing.description(), "Unable to load ADO filter library");
    RegWriteString(os.registry, kHkeyClassesRoot, server, "", library);
}

}  // namespace zc::test
