#pragma once
// Rules of names and text that the program, both platform layers and the test stand-ins all
// follow, each written once: which characters are control characters, the order a listing comes
// in, and which handheld paths the handheld can hold. Header-only and for any character type,
// because the stand-in DLLs link nothing of the program and speak UTF-16.
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zc {

// A C0 control character (a line break among them) or DEL.
template <class Char>
constexpr bool IsControlCharacter(Char c) {
    const auto code = static_cast<std::make_unsigned_t<Char>>(c);
    return code < 0x20 || code == 0x7F;
}

template <class Char>
constexpr Char FoldAscii(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

// The order of every listing, the one a Windows folder shows: by name without regard to the case
// of ASCII letters; names that differ in case alone by their code units, so the order of one
// folder never changes between two listings.
template <class Char>
bool ListsBefore(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    using Code = std::make_unsigned_t<Char>;
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const Code x = static_cast<Code>(FoldAscii(a[i])), y = static_cast<Code>(FoldAscii(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}
inline bool ListsBefore(const std::string& a, const std::string& b) {
    return ListsBefore(std::string_view(a), std::string_view(b));
}
inline bool ListsBefore(const std::wstring& a, const std::wstring& b) {
    return ListsBefore(std::wstring_view(a), std::wstring_view(b));
}

// A name the handheld could hold: not empty, not "." or "..", without a control character, a
// separator or one of <>:"|, and without "*" or "?" unless `patternAllowed`.
template <class Char>
bool IsHandheldName(std::basic_string_view<Char> name, bool patternAllowed) {
    if (name.empty() || (name.size() == 1 && name[0] == '.') ||
        (name.size() == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (Char c : name) {
        if (IsControlCharacter(c)) return false;
        switch (c) {
            case '<': case '>': case ':': case '"': case '|': case '\\': case '/':
                return false;
            case '*': case '?':
                if (!patternAllowed) return false;
                break;
            default:
                break;
        }
    }
    return true;
}

// The names of a handheld path, in order. "\" and "/" both separate names, empty names (doubled
// or trailing separators) drop out, and a path without a leading separator starts at the root too
// (the handheld has no current folder). Nothing for a path the handheld could not hold: a drive,
// a name IsHandheldName refuses, and "*" or "?" anywhere but, with `lastMayBePattern`, in the
// last name.
template <class Char>
std::optional<std::vector<std::basic_string<Char>>> SplitHandheldPath(std::basic_string_view<Char> path,
                                                                      bool lastMayBePattern = false) {
    std::vector<std::basic_string<Char>> names;
    for (size_t i = 0; i <= path.size();) {
        size_t j = i;
        while (j < path.size() && path[j] != '\\' && path[j] != '/') ++j;
        if (j > i) names.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    for (size_t k = 0; k < names.size(); ++k)
        if (!IsHandheldName(std::basic_string_view<Char>(names[k]), lastMayBePattern && k + 1 == names.size()))
            return std::nullopt;
    return names;
}

}  // namespace zc
