#include "Text.h"

#include <cstdio>

#include "platform/NameRules.h"

namespace zilba_server {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string Printable(std::string_view s, size_t limit) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        auto c = static_cast<unsigned char>(s[i]);
        if (zc::IsControlCharacter(c)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace zilba_server
