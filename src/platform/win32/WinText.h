#pragma once
// Text at the Windows boundary: UTF-8 inside the program, UTF-16 for the W functions, the
// ANSI code page for the A functions, and Windows' own words for its error codes.
#include <cstdint>
#include <string>
#include <string_view>

namespace zc::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// UTF-8 to and from the ANSI code page; characters the code page lacks become "?".
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);
// Windows' message for a system error code, without the trailing line break; "Error N" when
// Windows has no text for it.
std::string SystemMessage(uint32_t code);

}  // namespace zc::win32
