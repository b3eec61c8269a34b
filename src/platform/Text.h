#pragma once
// Text helpers shared by the platform layers.
#include <string>
#include <string_view>

namespace zc {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Whether the bytes are UTF-8 throughout.
bool IsUtf8(std::string_view text);
// Conversions to and from the 8-bit code page (UTF-8 on Linux, so the identity there).
std::string ToCodePage(const std::string& text);
std::string FromCodePage(const std::string& text);
// Whether the 8-bit code page holds every character of the text (on Windows the ANSI code page
// lacks most of Unicode; a character it lacks would be sent as "?").
bool FitsCodePage(std::string_view text);
// Compares ASCII letters without regard to case (as the handheld's and the registry's names).
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view text);
// Wildcard match as Windows matches file names: "*" and "?", without regard to case;
// "*.*" matches every name.
bool WildcardMatch(std::string_view pattern, std::string_view name);
// Whether the text holds a line break or another control character (C0 or DEL).
bool HasControlCharacter(std::string_view text);

}  // namespace zc
