#include <gtest/gtest.h>

#include <algorithm>

#include "platform/NameRules.h"
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
    // The path rules (below) refuse the first; the others go through links.
    for (const std::string& path : Lines{"\\My Documents\\..\\..\\secret.txt", data + "link\\secret.txt",
                                         data + "Signatures\\s.bmp"}) {
        EXPECT_EQ(search(path), Lines{"none"}) << path;
        EXPECT_EQ(open(path, kGenericRead, kOpenExisting), kInvalidHandle) << path;
        EXPECT_EQ(open(path, kGenericWrite, kCreateAlways), kInvalidHandle) << path;
    }
    EXPECT_EQ(search(data + "*"), Lines{"Signatures:16"}) << "links are not listed";
    EXPECT_EQ(search(data + "Signatures\\*.bmp"), Lines{"none"});
    EXPECT_EQ(Names(outside), (Lines{"handheld", "secret.txt"}));
    EXPECT_EQ(ReadFile(outside + "/secret.txt"), "secret");
}

// The rules of names every platform layer and stand-in shares, each tested here once.
TEST(NameRules, ControlCharactersListingOrderAndHandheldPaths) {
    for (char c : {'\0', '\t', '\n', '\r', '\x1F', '\x7F'}) EXPECT_TRUE(IsControlCharacter(c)) << int(c);
    for (char c : {' ', '~', '\x80', '\xC3', '\xFF'}) EXPECT_FALSE(IsControlCharacter(c)) << int(c);

    // Case aside for ASCII letters, bytes past ASCII after them, names alike but for case by byte.
    Lines names{"b.bmp", "\xC3\x84.bmp", "Z", "a.bmp", "B.bmp", "_x", "a"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return ListsBefore(a, b); });
    EXPECT_EQ(names, (Lines{"_x", "a", "a.bmp", "B.bmp", "b.bmp", "Z", "\xC3\x84.bmp"}));

    const struct { const char* path; bool pattern; const char* names; } paths[] = {  // names "|"-joined
        {"\\My Documents\\Pocket Zilba\\.purge", false, "My Documents|Pocket Zilba|.purge"},
        {"My Documents//Signatures\\", false, "My Documents|Signatures"},
        {"\\", false, ""},
        {"\\Signatures\\*.bmp", true, "Signatures|*.bmp"},
        {"\\Signatures\\*.bmp\\", true, "Signatures|*.bmp"},
        {"\\Signatures\\*.bmp", false, nullptr},
        {"\\S*\\a.bmp", true, nullptr},
        {"\\..\\secret.txt", false, nullptr},
        {"/./My Documents", false, nullptr},
        {"C:\\My Documents", false, nullptr},
        {"\\a<b", false, nullptr},
        {"\\a|b", false, nullptr},
        {"\\a\"b", false, nullptr},
        {"\\a\tb", false, nullptr},
        {"\\a\x7F", false, nullptr},
    };
    for (const auto& p : paths) {
        auto split = SplitHandheldPath(std::string_view(p.path), p.pattern);
        std::string joined;
        for (const std::string& name : split.value_or(Lines{})) joined += (joined.empty() ? "" : "|") + name;
        EXPECT_EQ(split ? joined : "refused", p.names ? p.names : "refused") << p.path;
    }
}

}  // namespace
}  // namespace zc::test
