#include "Names.h"

#include <vector>

#include "Text.h"
#include "platform/NameRules.h"

namespace zilba_server {

namespace {

constexpr size_t kNameMax = 255;  // what a Linux file system takes for one name

std::vector<std::string_view> Split(std::string_view s, std::string_view separators) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || separators.find(s[i]) != std::string_view::npos) {
            pieces.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

// The text between double quotes, built by appending: GCC 12 at -O2 mistakes the prepending
// `"\"" + text` for an overlapping copy and warns about it.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

}  // namespace

bool IsPlainName(std::string_view name, std::string& error) {
    if (name.empty()) {
        error = "the name is empty";
        return false;
    }
    if (name == "." || name == "..") {
        error = Quoted(name) + " is not a name";
        return false;
    }
    if (name.size() > kNameMax) {
        error = "the name is longer than 255 bytes";
        return false;
    }
    for (char c : name) {
        if (c == '/' || c == '\\') {
            error = Quoted(Printable(name)) + " holds a path separator";
            return false;
        }
        if (zc::IsControlCharacter(c)) {
            error = Quoted(Printable(name)) + " holds a control character";
            return false;
        }
    }
    return true;
}

std::optional<std::string> UploadFolder(std::string_view upPath, std::string& error) {
    // A backslash is a separator to a Windows server and a plain byte to Linux: refuse it
    // rather than guess which the sender meant.
    if (upPath.find('\\') != std::string_view::npos) {
        error = "up_path \"" + Printable(upPath) + "\" holds a backslash";
        return std::nullopt;
    }
    std::string folder;
    for (std::string_view piece : Split(upPath, "/")) {
        if (piece.empty() || piece == ".") continue;
        std::string why;
        if (!IsPlainName(piece, why)) {
            error = "up_path \"" + Printable(upPath) + "\" leaves the data folder or is not a path: " + why;
            return std::nullopt;
        }
        if (!folder.empty()) folder += '/';
        folder += piece;
    }
    if (folder.empty()) {
        error = "up_path \"" + Printable(upPath) + "\" names no folder";
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> UploadName(std::string_view filename, std::string& error) {
    std::string_view path = filename;
    // "C:name" is relative to drive C's current folder: the name is what follows the colon.
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        path.remove_prefix(2);
    auto pieces = Split(path, "\\/");
    // Only the base name is kept, so ".." earlier in the path could not reach anywhere; but
    // no program sends such a path, so it is refused as the crafted request it is.
    for (std::string_view piece : pieces) {
        if (piece == "..") {
            error = "file name \"" + Printable(filename) + "\" holds a \"..\" part";
            return std::nullopt;
        }
    }
    std::string_view base = pieces.back();
    std::string why;
    if (!IsPlainName(base, why)) {
        error = "file name \"" + Printable(filename) + "\" has no usable base name: " + why;
        return std::nullopt;
    }
    return std::string(base);
}

}  // namespace zilba_server
