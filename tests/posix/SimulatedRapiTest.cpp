#include <gtest/gtest.h>

#include "platform/Text.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/XdgPaths.h"
#include "support/Helpers.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kData = "\\My Documents\\Pocket Zilba\\";

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
    // Whether one read of `h` succeeds.
    bool Reads(HANDLE h) {
        char buffer[16];
        uint32_t read = 0;
        return rapi.CeReadFile(h, buffer, sizeof buffer, &read, nullptr) != 0;
    }

    HomeDir home;
    posix::SimulatedRapi rapi;
};

TEST_F(SimulatedRapiTest, ConnectionOpensOnlyWhileDockedAndTakesItsHandlesAlong) {
    WriteFile(Device(".purge"), "");
    EXPECT_EQ(Open(kData + ".purge"), kInvalidHandle) << "nothing works before the connection is open";
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    HANDLE file = Open(kData + ".purge");
    EXPECT_TRUE(Reads(file));
    WriteFile(posix::UndockedMarker(), "");  // undocking drops the connection and its handles
    EXPECT_FALSE(Reads(file));
    EXPECT_EQ(Search(kData + ".purge"), Lines{"none"});
    EXPECT_NE(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.OpenHandles(), 0u);

    fs::remove(posix::UndockedMarker());
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeCloseHandle(file), 0) << "a handle of the lost connection stays invalid";
    file = Open(kData + ".purge");
    ASSERT_TRUE(Reads(file));
    fs::remove_all(posix::HandheldRoot());
    fs::create_directories(Device(""));  // another handheld in its place is not this connection's
    WriteFile(Device(".purge"), "");
    EXPECT_FALSE(Reads(file));
    EXPECT_EQ(Search(kData + ".purge"), Lines{"none"});
    fs::remove_all(posix::HandheldRoot());
    EXPECT_NE(rapi.CeRapiInit(), 0) << "no handheld folder at all";
}

TEST_F(SimulatedRapiTest, SearchesMatchNamesAndWildcardsWithoutCaseAndTellFoldersApart) {
    for (const char* name : {"A.BMP", "b.bmp", "notes.txt", "Ünterschrift.bmp"})
        WriteFile(Device("Signatures/") + name, "");
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
