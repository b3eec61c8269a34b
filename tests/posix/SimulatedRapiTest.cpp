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

    HomeDir home;
    posix::SimulatedRapi rapi;
};

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
