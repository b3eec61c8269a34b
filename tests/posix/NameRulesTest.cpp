#include <gtest/gtest.h>

#include <algorithm>

#include "platform/NameRules.h"

namespace zc::test {
namespace {

using Lines = std::vector<std::string>;

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
