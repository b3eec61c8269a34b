#include <gtest/gtest.h>

#include <algorithm>

#include "platform/NameRules.h"
#include "platform/posix/XdgPaths.h"
#include "support/Rig.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

// A link below the handheld's folder is neither followed nor listed; the path rules (NameRules)
// refuse the rest.
TEST(SimulatedRapi, PathsNeverLeaveTheHandheld) {
    Rig rig;
    const std::string data = "\\My Documents\\Pocket Zilba\\";
    const std::string outside = fs::path(posix::HandheldRoot()).parent_path().string();
    WriteFile(outside + "/secret.txt", "secret");
    rig.DeviceFolder("My Documents/Pocket Zilba/Signatures");
    fs::create_symlink(outside, rig.DevicePath("My Documents/Pocket Zilba/link"));
    fs::create_symlink(outside + "/secret.txt", rig.DevicePath("My Documents/Pocket Zilba/Signatures/s.bmp"));
    ASSERT_EQ(rig.real.rapi.CeRapiInit(), 0);
    CE_FIND_DATA found{};
    for (const std::string& path : Lines{"\\My Documents\\..\\..\\secret.txt", data + "link\\secret.txt",
                                         data + "Signatures\\s.bmp", data + "Signatures\\*.bmp"}) {
        EXPECT_EQ(rig.real.rapi.CeFindFirstFile(Utf8ToUtf16(path).c_str(), &found), kInvalidHandle) << path;
        for (auto [access, creation] : {std::pair{kGenericRead, kOpenExisting}, {kGenericWrite, kCreateAlways}})
            EXPECT_EQ(rig.real.rapi.CeCreateFile(Utf8ToUtf16(path).c_str(), access, kFileShareRead, nullptr, creation,
                                                 kFileAttributeNormal, 0),
                      kInvalidHandle)
                << path;
    }
    HANDLE search = rig.real.rapi.CeFindFirstFile(Utf8ToUtf16(data + "*").c_str(), &found);
    ASSERT_NE(search, kInvalidHandle);
    EXPECT_EQ(Utf16ToUtf8(found.cFileName) + ":" + std::to_string(found.dwFileAttributes), "Signatures:16");
    EXPECT_EQ(rig.real.rapi.CeFindNextFile(search, &found), 0) << "links are not listed";
    EXPECT_NE(rig.real.rapi.CeFindClose(search), 0);
    EXPECT_EQ(Names(outside), (Lines{"handheld", "secret.txt"}));
    EXPECT_EQ(ReadFile(outside + "/secret.txt"), "secret");
}

// The rules of names that the program, both platform layers and the stand-ins share.
TEST(NameRules, ControlCharactersListingOrderAndHandheldPaths) {
    for (char c : {'\0', '\t', '\n', '\r', '\x1F', '\x7F'}) EXPECT_TRUE(IsControlCharacter(c)) << int(c);
    for (char c : {' ', '~', '\x80', '\xC3', '\xFF'}) EXPECT_FALSE(IsControlCharacter(c)) << int(c);
    // Case aside for ASCII letters, bytes past ASCII after them, names alike but for case by byte.
    Lines names{"b.bmp", "\xC3\x84.bmp", "Z", "a.bmp", "B.bmp", "_x", "a"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return ListsBefore(a, b); });
    EXPECT_EQ(names, (Lines{"_x", "a", "a.bmp", "B.bmp", "b.bmp", "Z", "\xC3\x84.bmp"}));
    // Handheld paths and their names; a pattern allowed in the last name where asked for.
    auto split = [](const char* path, bool pattern = true) { return SplitHandheldPath(std::string_view(path), pattern); };
    EXPECT_EQ(split("\\My Documents\\Pocket Zilba\\.purge"), (Lines{"My Documents", "Pocket Zilba", ".purge"}));
    EXPECT_EQ(split("My Documents//Signatures\\"), (Lines{"My Documents", "Signatures"}));
    EXPECT_EQ(split("\\"), Lines{});
    EXPECT_EQ(split("\\Signatures\\*.bmp\\"), (Lines{"Signatures", "*.bmp"}));
    EXPECT_FALSE(split("\\Signatures\\*.bmp", false));
    for (const char* path : {"\\S*\\a.bmp", "\\..\\secret.txt", "/./My Documents", "C:\\My Documents", "\\a<b",
                             "\\a|b", "\\a\"b", "\\a\tb", "\\a\x7F"})
        EXPECT_FALSE(split(path)) << path;
}

}  // namespace
}  // namespace zc::test
