#include <gtest/gtest.h>

#include "platform/Text.h"

namespace zc {
namespace {

TEST(Text, Utf8AndUtf16RoundTripAndBrokenInputBecomesReplacements) {
    // Latin-1 letter, a BMP symbol, and a character outside the BMP (a surrogate pair).
    const std::string text = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9D\x84\x9E";
    EXPECT_EQ(Utf8ToUtf16(text),
              (std::u16string{u'Z', 0xFC, u'r', u'i', u'c', u'h', u' ', 0x20AC, u' ', 0xD834, 0xDD1E}));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    // A lone surrogate from the handheld and a stray byte in 8-bit text never crash or vanish.
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD, 0xFFFD}));  // cut short
}

TEST(Text, WildcardsMatchAsWindowsDoesAndCaseFoldsAsciiOnly) {
    for (auto [pattern, name, match] :
         {std::tuple{"*.bmp", "A.BMP", true}, {"*.bmp", "a.bmpx", false}, {"*.bmp", ".bmp", true},
          {"*.*", "README", true}, {"?.txt", "ab.txt", false}, {"?.txt", ".txt", false},
          {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false}})
        EXPECT_EQ(WildcardMatch(pattern, name), match) << pattern << " " << name;
    EXPECT_TRUE(EqualsNoCase("HPC_LOCATION", "hpc_location"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x9C", "\xC3\xBC")) << "bytes of other letters are left alone";
    EXPECT_EQ(LowerAscii("Software\\Brennowick \xC3\x9C"), "software\\brennowick \xC3\x9C");
}

}  // namespace
}  // namespace zc
