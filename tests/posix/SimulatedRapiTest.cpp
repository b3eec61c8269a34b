#include <gtest/gtest.h>

#include "platform/Text.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kData = "\\My Documents\\Pocket Zilba\\";
constexpr uint32_t kFailed = 9999;

class SimulatedRapiTest : public ::testing::Test {
protected:
    SimulatedRapiTest() { fs::create_directories(Device("Signatures")); }
    // The file behind a path of the handheld's data folder.
    static std::string Device(const std::string& relative) {
        return posix::HandheldRoot() + "/My Documents/Pocket Zilba/" + relative;
    }
    HANDLE Open(const std::string& path, uint32_t access = kGenericRead, uint32_t creation = kOpenExisting) {
        return rapi.CeCreateFile(Utf8ToUtf16(path).c_str(), access, kFileShareRead, nullptr, creation,
                                 kFileAttributeNormal, 0);
    }
    // Every entry of a search as "name:attributes", or "none" when the search finds nothing.
    Lines Search(const std::string& path) {
        CE_FIND_DATA data{};
        HANDLE h = rapi.CeFindFirstFile(Utf8ToUtf16(path).c_str(), &data);
        if (h == kInvalidHandle) return {"none"};
        Lines names;
        do names.push_back(Utf16ToUtf8(data.cFileName) + ":" + std::to_string(data.dwFileAttributes));
        while (rapi.CeFindNextFile(h, &data) != 0);
        EXPECT_NE(rapi.CeFindClose(h), 0);
        return names;
    }
    // The counts of a file's 1024-byte reads, up to the first 0 or failure (kFailed).
    std::vector<uint32_t> Reads(HANDLE h) {
        std::vector<uint32_t> counts;
        char buffer[1024];
        while (counts.size() < 10 && (counts.empty() || (counts.back() != 0 && counts.back() != kFailed))) {
            uint32_t read = 12345;
            if (rapi.CeReadFile(h, buffer, 1024, &read, nullptr) == 0) read = kFailed;
            counts.push_back(read);
        }
        return counts;
    }

    HomeDir home;
    posix::SimulatedRapi rapi;
};

TEST_F(SimulatedRapiTest, ConnectionOpensOnlyWhileDockedAndTakesItsHandlesAlong) {
    WriteFile(Device(".purge"), "");
    EXPECT_EQ(Search(kData + ".purge"), Lines{"none"}) << "nothing works before the connection is open";
    EXPECT_EQ(Open(kData + ".purge"), kInvalidHandle);
    EXPECT_NE(rapi.CeRapiUninit(), 0);

    ASSERT_EQ(rapi.CeRapiInit(), 0);
    HANDLE file = Open(kData + ".purge");
    ASSERT_GT(file, 0);
    WriteFile(posix::UndockedMarker(), "");  // undocking drops the connection and its handles
    EXPECT_EQ(Search(kData + ".purge"), Lines{"none"});
    EXPECT_EQ(Reads(file), std::vector<uint32_t>{kFailed});
    EXPECT_NE(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.OpenHandles(), 0u);

    fs::remove(posix::UndockedMarker());
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeCloseHandle(file), 0) << "a handle of the lost connection stays invalid";
    file = Open(kData + ".purge");
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
    EXPECT_EQ(Reads(file), std::vector<uint32_t>{kFailed}) << "closing ends its handles";
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    file = Open(kData + ".purge");
    ASSERT_GT(file, 0);
    fs::remove_all(posix::HandheldRoot());
    fs::create_directories(Device(""));  // another handheld in its place is not this connection's
    WriteFile(Device(".purge"), "");
    EXPECT_EQ(Reads(file), std::vector<uint32_t>{kFailed});
    EXPECT_EQ(Search(kData + ".purge"), Lines{"none"});
    fs::remove_all(posix::HandheldRoot());
    EXPECT_NE(rapi.CeRapiInit(), 0) << "no handheld folder at all";
}

TEST_F(SimulatedRapiTest, AMarkerInAFolderMadeAfterConnectingStillUndocks) {
    const std::string marker = posix::DataHome() + "/later/undocked";
    posix::SimulatedRapi other{posix::SimulatedHandheld(posix::HandheldRoot(), marker)};
    ASSERT_EQ(other.CeRapiInit(), 0);
    CE_FIND_DATA data{};
    HANDLE search = other.CeFindFirstFile(Utf8ToUtf16(kData + "*").c_str(), &data);
    ASSERT_NE(search, kInvalidHandle);
    fs::create_directories(posix::DataHome() + "/later");
    WriteFile(marker, "");
    EXPECT_EQ(other.CeFindNextFile(search, &data), 0);
    EXPECT_EQ(other.CeGetLastError(), ERROR_DEVICE_NOT_CONNECTED_CE);
    EXPECT_EQ(other.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, SearchesMatchNamesAndWildcardsWithoutCaseAndFillTheRecord) {
    for (const char* name : {"b.bmp", "notes.txt", "Ünterschrift.bmp"})
        WriteFile(Device("Signatures/") + name, "");
    WriteFile(Device("Signatures/A.BMP"), std::string(3000, 'x'));
    // A name that is not valid text could never be reported back; the handheld does not list it.
    WriteFile(Device("Signatures/bad\xff.bmp"), "b");
    fs::create_directories(Device("Signatures/old.bmp"));
    fs::create_directories(Device(".purge"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    // Names as stored, in name order; folders carry the directory bit.
    EXPECT_EQ(Search("\\my documents\\POCKET ZILBA\\signatures\\*.bmp"),
              (Lines{"A.BMP:128", "b.bmp:128", "old.bmp:16", "Ünterschrift.bmp:128"}));
    EXPECT_EQ(Search(kData + "Signatures\\*.*").size(), 5u);
    EXPECT_EQ(Search(kData + "Signatures\\?.bmp"), (Lines{"A.BMP:128", "b.bmp:128"}));
    for (const char* none :
         {"Signatures\\*.gif", "Missing\\*.bmp", "nothing", "Signatures\\ünterschrift.bmp"})
        EXPECT_EQ(Search(kData + none), Lines{"none"}) << none << " (only ASCII letters fold)";
    // An exact name finds the one entry, a folder as well as a file, also through the doubled
    // separator a setting with a trailing backslash gives.
    EXPECT_EQ(Search(kData + ".PURGE"), Lines{".purge:16"});
    EXPECT_EQ(Search(kData + "\\signatures\\a.bmp"), Lines{"A.BMP:128"});
    EXPECT_EQ(Search(kData + "Signatures\\ÜNTERSCHRIFT.BMP"), Lines{"Ünterschrift.bmp:128"});

    EXPECT_EQ(rapi.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, ReadsDeliverTheFileInPiecesThenZeroAndCloseOnce) {
    std::string content(2500, 'x');
    WriteFile(Device("Signatures/a.bmp"), content);
    fs::create_directories(Device("Signatures/old.bmp"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    HANDLE a = Open(kData + "Signatures\\A.bmp");
    EXPECT_EQ(Reads(a), (std::vector<uint32_t>{1024, 1024, 452, 0}));
    EXPECT_EQ(Reads(a), std::vector<uint32_t>{0}) << "reading at the end succeeds";
    EXPECT_NE(rapi.CeCloseHandle(a), 0);
    EXPECT_EQ(rapi.CeCloseHandle(a), 0);
    EXPECT_EQ(Reads(a), std::vector<uint32_t>{kFailed});
    for (const char* name : {"old.bmp", "gone.bmp", "*.bmp"})
        EXPECT_EQ(Open(kData + "Signatures\\" + name), kInvalidHandle) << "not a plain file: " << name;
}

TEST_F(SimulatedRapiTest, CreateAlwaysEmptiesTheFileOfAnyCaseOrMakesIt) {
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_NE(rapi.CeCloseHandle(Open(kData + ".purge", kGenericWrite, kCreateAlways)), 0);
    EXPECT_EQ(ReadFile(Device(".purge")), "");
    fs::remove(Device(".purge"));
    WriteFile(Device(".PURGE"), "left over");
    HANDLE h = Open(kData + ".purge", kGenericWrite, kCreateAlways);
    EXPECT_EQ(Reads(h), std::vector<uint32_t>{kFailed}) << "a write handle does not read";
    EXPECT_NE(rapi.CeCloseHandle(h), 0);
    EXPECT_EQ(ReadFile(Device(".PURGE")), "");

    // The folder must exist, a folder of that name is not replaced, and other access and
    // creation pairs are not served.
    for (auto [path, access, creation] :
         {std::tuple{std::string("\\My Documents\\Nowhere\\.purge"), kGenericWrite, kCreateAlways},
          {kData + "Signatures", kGenericWrite, kCreateAlways}, {kData + "new", kGenericRead, kCreateAlways},
          {kData + ".purge", kGenericWrite, kOpenExisting},
          {kData + ".purge", kGenericRead | kGenericWrite, kCreateAlways}})
        EXPECT_EQ(Open(path, access, creation), kInvalidHandle) << path;
    EXPECT_EQ(Names(Device("")), (Lines{".PURGE", "Signatures"}));
    EXPECT_EQ(Names(posix::HandheldRoot() + "/My Documents"), Lines{"Pocket Zilba"});
    EXPECT_EQ(rapi.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, PathsNeverLeaveTheHandheld) {
    const std::string outside = fs::path(posix::HandheldRoot()).parent_path().string();
    WriteFile(outside + "/secret.txt", "secret");
    fs::create_symlink(outside, Device("link"));
    fs::create_symlink(outside + "/secret.txt", Device("Signatures/s.bmp"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    for (const std::string& path :
         Lines{"\\..\\secret.txt", "\\My Documents\\..\\..\\secret.txt", "/../secret.txt",
               kData + "link\\secret.txt", "\\.\\My Documents", "C:\\My Documents", kData + "Signatures\\s.bmp"}) {
        EXPECT_EQ(Search(path), Lines{"none"}) << path;
        EXPECT_EQ(Open(path), kInvalidHandle) << path;
        EXPECT_EQ(Open(path, kGenericWrite, kCreateAlways), kInvalidHandle) << path;
    }
    EXPECT_EQ(Search(kData + "*"), Lines{"Signatures:16"}) << "links are not listed";
    EXPECT_EQ(Search(kData + "Signatures\\*.bmp"), Lines{"none"});
    EXPECT_EQ(Names(outside), (Lines{"handheld", "secret.txt"}));
    EXPECT_EQ(ReadFile(outside + "/secret.txt"), "secret");
}

}  // namespace
}  // namespace zc::test
