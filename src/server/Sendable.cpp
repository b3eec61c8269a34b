#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "export/Export.h"
#include "platform/Error.h"
#include "platform/NameRules.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "server/Server.h"

namespace zc {

namespace {

// What a character is called in a box, so the user knows what to take out.
std::string Named(char c) {
    if (IsControlCharacter(c)) return "a line break or another control character";
    if (c == '"') return "a double quote (\")";
    if (c == ' ') return "a space";
    return std::string("\"") + c + "\"";
}

[[noreturn]] void Refuse(const std::string& what, const std::string& named) {
    throw Error(kErrUnsendable, what + " holds " + named +
                                    ", which cannot reach the server intact. Change it and try again.");
}

[[noreturn]] void Refuse(const std::string& what, char c) { Refuse(what, Named(c)); }

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
        if (c == '"' || IsControlCharacter(c)) Refuse(what, c);
    RefuseOutsideCodePage(what, text);
}

// A value of the import request's query, and a folder name below the server's upload path:
// these would split it, end it, be decoded into something else or name another folder.
void RefuseInQuery(const std::string& what, std::string_view text) {
    for (char c : text)
        if (IsControlCharacter(c) || std::string_view("&#%+;=/\\\"").find(c) != std::string_view::npos)
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

// The length of a URL as it travels: spaces and 8-bit bytes go percent-encoded.
size_t SentLength(std::string_view url) {
    size_t length = 0;
    for (char c : url) length += c == ' ' || static_cast<unsigned char>(c) >= 0x80 ? 3 : 1;
    return length;
}

// "host:port" of an http URL, the port filled in when the URL leaves it out; the host in
// lower case, as host names compare.
std::string Authority(std::string_view url) {
    size_t start = url.find("://");
    if (start == std::string_view::npos) return {};
    std::string scheme(url.substr(0, start));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    start += 3;
    std::string authority(url.substr(start, url.find_first_of("/?#", start) - start));
    if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t close = authority.rfind(']');
    size_t colon = authority.rfind(':');
    bool hasPort = colon != std::string::npos && (close == std::string::npos || colon > close);
    if (hasPort && colon + 1 == authority.size()) authority.pop_back(), hasPort = false;
    if (!hasPort) authority += scheme == "https" ? ":443" : ":80";
    return authority;
}

}  // namespace

std::string UploadUrl(const std::string& server) { return "http://" + server + "/cgi-bin/Zilba/qxupload.pl"; }

std::string LaunchUrl(const std::string& server, const std::string& site, const std::string& file) {
    return "http://" + server + "/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO" + "&site=" + site + "&file=" + file;
}

bool SameServer(const std::string& asked, const std::string& answered) {
    std::string a = Authority(asked);
    return !a.empty() && a == Authority(answered);
}

void RefuseUnsendableSettings(MainForm& f) {
    RefuseInHeader("The Local directory setting", f.ui.Text(Field::LocalDir));
    const std::string server = f.ui.Text(Field::Server), site = f.ui.Text(Field::Site);
    RefuseInHost("The Zilba server setting", server);
    RefuseInQuery("The Zilba site setting", site);
    // A server refuses a longer request line (414) only once the handheld is flagged and the
    // files are waiting; refused here, nothing has been touched.
    std::string file = f.strExportFile.empty() ? "c_zilba_" + ExportTimeStamp(f) + ".txt" : FileNameOf(f.strExportFile);
    size_t longest = std::max(SentLength(UploadUrl(server)), SentLength(LaunchUrl(server, site, file)));
    if (longest > kMaxRequestUrl)
        throw Error(kErrUnsendable, "The Zilba server and Zilba site settings make a request to the server " +
                                        std::to_string(longest) + " characters long; servers take " +
                                        std::to_string(kMaxRequestUrl) +
                                        " at most. Shorten them and try again.");
}

void RefuseUnsendableFile(const std::string& what, const std::string& path) {
    RefuseInHeader(what, path);
}

void RefuseUnsendableExportName(const std::string& what, const std::string& name) {
    RefuseInHeader(what, name);
    RefuseInQuery(what, name);
}

}  // namespace zc
