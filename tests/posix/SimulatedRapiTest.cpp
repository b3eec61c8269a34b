#include <gtest/gtest.h>

#include "platform/posix/XdgPaths.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

TEST(SimulatedRapi, PathsNeverLeaveTheHandheld) {
    Rig rig;
    const std::string data = "\\My Documents\\Pocket Zilba\\";
    const std::string outside = fs::path(posix::HandheldRoot()).parent_path().string();
    auto open = [&](const std::string& path, uint32_t access, uint32_t creation) {
        return rig.real.rapi.CeCreateFile(Utf8ToUtf16(path).c_str(), access, kFileShareRead, nullptr, creation,
                                          kFileAttributeNormal, 0);
    };
    // Every entry of a search as "name:attributes", or "none" when the search finds nothing.
    auto search = [&](const std::string& path) {
        CE_FIND_DATA found{};
        HANDLE h = rig.real.rapi.CeFindFirstFile(Utf8ToUtf16(path).c_str(), &found);
        if (h == kInvalidHandle) return Lines{"none"};
        Lines names;
        do names.push_back(Utf16ToUtf8(found.cFileName) + ":" + std::to_string(found.dwFileAttributes));
        while (rig.real.rapi.CeFindNextFile(h, &found) != 0);
        EXPECT_NE(rig.real.rapi.CeFindClose(h), 0);
        return names;
    };
    WriteFile(outside + "/secret.txt", "secret");
    rig.DeviceFolder("My Documents/Pocket Zilba/Signatures");
    fs::create_symlink(outside, rig.DevicePath("My Documents/Pocket Zilba/link"));
    fs::create_symlink(outside + "/secret.txt", rig.DevicePath("My Documents/Pocket Zilba/Signatures/s.bmp"));
    ASSERT_EQ(rig.real.rapi.CeRapiInit(), 0);
    for (const std::string& path :
         Lines{"\\..\\secret.txt", "\\My Documents\\..\\..\\secret.txt", "/../secret.txt",
               data + "link\\secret.txt", "\\.\\My Documents", "C:\\My Documents", data + "Signatures\\s.bmp"}) {
        EXPECT_EQ(search(path), Lines{"none"}) << path;
        EXPECT_EQ(open(path, kGenericRead, kOpenExisting), kInvalidHandle) << path;
        EXPECT_EQ(open(path, kGenericWrite, kCreateAlways), kInvalidHandle) << path;
    }
    EXPECT_EQ(search(data + "*"), Lines{"Signatures:16"}) << "links are not listed";
    EXPECT_EQ(search(data + "Signatures\\*.bmp"), Lines{"none"});
    EXPECT_EQ(Names(outside), (Lines{"handheld", "secret.txt"}));
    EXPECT_EQ(ReadFile(outside + "/secret.txt"), "secret");
}

}  // namespace
}  // namespace zc::test
