#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Text.h"
#include "server/Server.h"

namespace zc {

namespace {

// What a character is called in a box, so the user knows what to take out.
std::string Named(char c) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return "a line break or another control character";
    if (c == '"') return "a double quote (\")";
    if (c == ' ') return "a space";
    return std::string("\"") + c + "\"";
}

[[noreturn]] void Refuse(const std::string& what, const std::string& named) {
    throw Error(kErrUnsendable, what + " holds " + named +
                                    ", which cannot reach the server intact. Change it and try again.");
}

[[noreturn]] void Refuse(const std::string& what, char c) { Refuse(what, Named(c)); }

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// The text travels in the PC's 8-bit code page: a character it lacks would arrive as "?".
void RefuseOutsideCodePage(const std::string& what, std::string_view text) {
    if (FitsCodePage(text)) return;
    for (size_t at = 0; at < text.size();) {
        size_t length = 1;  // one UTF-8 sequence: a lead byte and its continuation bytes
        while (at + length < text.size() && (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80) ++length;
        std::string_view character = text.substr(at, length);
        if (!FitsCodePage(character))
            Refuse(what, "\"" + std::string(character) + "\", a character this PC's code page lacks");
        at += length;
    }
    Refuse(what, "characters this PC's code page lacks");
}

// A path goes between double quotes in a part header, where a quote or a line break would end
// it early or start a header of its own.
void RefuseInHeader(const std::string& what, std::string_view text) {
    for (char c : text)
        if (c == '"' || IsControl(c)) Refuse(what, c);
    RefuseOutsideCodePage(what, text);
}

// A value of the import request's query, and a folder name below the server's upload path:
// these would split it, end it, be decoded into something else or name another folder.
void RefuseInQuery(const std::string& what, std::string_view text) {
    for (char c : text)
        if (IsControl(c) || std::string_view("&#%+;=/\\\"").find(c) != std::string_view::npos)
            Refuse(what, c);
    RefuseOutsideCodePage(what, text);
}

// A host name, with a port and a leading path at most.
void RefuseInHost(const std::string& what, std::string_view text) {
    for (char c : text) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     std::string_view("-._~:[]/").find(c) != std::string_view::npos;
        if (!plain) Refuse(what, c);
    }
}

}  // namespace

void RefuseUnsendableSettings(MainForm& f) {
    RefuseInHeader("The Local directory setting", f.ui.Text(Field::LocalDir));
    RefuseInHost("The Zilba server setting", f.ui.Text(Field::Server));
    RefuseInQuery("The Zilba site setting", f.ui.Text(Field::Site));
}

void RefuseUnsendableFile(const std::string& what, const std::string& path) {
    RefuseInHeader(what, path);
}

void RefuseUnsendableExportName(const std::string& what, const std::string& name) {
    RefuseInHeader(what, name);
    RefuseInQuery(what, name);
}

}  // namespace zc
