#include <gtest/gtest.h>

#include "platform/Text.h"

namespace zc {
namespace {

TEST(Text, Utf8AndUtf16RoundTrip) {
    // Latin-1 letter, a BMP symbol, and a character outside the BMP (a surrogate pair).
    const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9D\x84\x9E";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, (std::u16string{u'Z', 0x00FC, u'r', u'i', u'c', u'h', u' ', 0x20AC, u' ',
                                    0xD834, 0xDD1E}));
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("")), "");
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
    // A lone surrogate from the handheld and a stray byte in 8-bit text never crash or vanish.
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD, 0xFFFD}));  // cut short
}

TEST(Text, WildcardMatchesAsWindowsDoes) {
    EXPECT_TRUE(WildcardMatch("*.bmp", "A.BMP"));
    EXPECT_TRUE(WildcardMatch("*.BMP", "sig.bmp"));
    EXPECT_FALSE(WildcardMatch("*.bmp", "a.bmpx"));
    EXPECT_FALSE(WildcardMatch("*.bmp", "bmp"));
    EXPECT_TRUE(WildcardMatch("*.bmp", ".bmp"));
    EXPECT_TRUE(WildcardMatch("*.*", "README"));
    EXPECT_TRUE(WildcardMatch("*.*", "c_zilba_1.txt"));
    EXPECT_TRUE(WildcardMatch("*", "anything.at.all"));
    EXPECT_TRUE(WildcardMatch("?.txt", "a.txt"));
    EXPECT_FALSE(WildcardMatch("?.txt", "ab.txt"));
    EXPECT_FALSE(WildcardMatch("?.txt", ".txt"));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXbYbZc"));  // needs backtracking
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(WildcardMatch("P_ZILBA.CDB", "p_zilba.cdb"));
}

TEST(Text, CaseFoldingIsAsciiOnly) {
    EXPECT_TRUE(EqualsNoCase("HPC_LOCATION", "hpc_location"));
    EXPECT_FALSE(EqualsNoCase("HPC_LOCATION", "HPC_LOCATIO"));
    // Bytes of non-ASCII letters are left alone rather than mangled.
    EXPECT_FALSE(EqualsNoCase("\xC3\x9C", "\xC3\xBC"));
    EXPECT_EQ(LowerAscii("Software\\Brennowick \xC3\x9C"), "software\\brennowick \xC3\x9C");
}

}  // namespace
}  // namespace zc
