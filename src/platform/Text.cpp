#include "platform/Text.h"

#include <cstdint>

#include "platform/NameRules.h"

namespace zc {

namespace {

// The code point of the UTF-8 sequence at `i`, and its length; false for a stray or cut-short
// byte (then `length` is 1).
bool DecodeUtf8(std::string_view text, size_t i, uint32_t& cp, size_t& length) {
    const auto c = static_cast<unsigned char>(text[i]);
    length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    cp = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    bool ok = length > 0 && i + length <= text.size();
    for (size_t k = 1; ok && k < length; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        ok = (cc >> 6) == 0x2;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) length = 1;
    return ok;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0, length; i < text.size(); i += length) {
        uint32_t cp = 0;
        if (!DecodeUtf8(text, i, cp, length) || cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool IsUtf8(std::string_view text) {
    uint32_t cp = 0;
    for (size_t i = 0, length; i < text.size(); i += length)
        if (!DecodeUtf8(text, i, cp, length)) return false;
    return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // lone surrogate
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

#ifndef _WIN32
// Linux's 8-bit code page is UTF-8; the Windows layer converts to the ANSI code page.
std::string ToCodePage(const std::string& text) { return text; }
std::string FromCodePage(const std::string& text) { return text; }
bool FitsCodePage(std::string_view) { return true; }
#endif

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = FoldAscii(c);
    return out;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Windows lets "*.*" (and a trailing ".*") match names without a dot too.
    if (pattern == "*.*") return true;
    std::string p = LowerAscii(pattern);
    std::string n = LowerAscii(name);
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos)
        p.resize(p.size() - 2);
    // Iterative match with one backtrack point for the last "*".
    size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

bool HasControlCharacter(std::string_view text) {
    for (char c : text)
        if (IsControlCharacter(c)) return true;
    return false;
}

}  // namespace zc
