#include "Form.h"

#include <cctype>
#include <cstddef>

#include "Text.h"
#include "platform/NameRules.h"

namespace zilba_server {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Reads `name=value` parameters separated by ';' (or ',' where `comma` allows it) from `s`,
// calling `take(name, value)` for each; names come lower case. Quoted values are taken as they
// stand, without backslash escapes: the program quotes Windows paths full of backslashes.
template <class Take>
bool ReadParameters(std::string_view s, bool comma, Take take, std::string& error) {
    auto isSeparator = [comma](char c) { return c == ';' || (comma && c == ','); };
    size_t i = 0;
    while (i < s.size()) {
        if (IsSpace(s[i]) || isSeparator(s[i])) {
            ++i;
            continue;
        }
        size_t nameStart = i;
        while (i < s.size() && s[i] != '=' && !isSeparator(s[i])) ++i;
        std::string name = Lower(Trim(s.substr(nameStart, i - nameStart)));
        std::string value;
        if (i < s.size() && s[i] == '=') {
            ++i;
            while (i < s.size() && IsSpace(s[i])) ++i;
            if (i < s.size() && s[i] == '"') {
                size_t close = s.find('"', i + 1);
                if (close == std::string_view::npos) {
                    error = "the value of " + name + " has no closing quote";
                    return false;
                }
                value = s.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                size_t valueStart = i;
                while (i < s.size() && !isSeparator(s[i])) ++i;
                value = Trim(s.substr(valueStart, i - valueStart));
            }
        }
        take(name, value);
    }
    return true;
}

// Fills `part` from the part's header block; false with `error` when it is unusable.
bool ReadPartHeaders(std::string_view block, FormPart& part, std::string& error) {
    bool haveDisposition = false;
    std::string encoding;
    while (!block.empty()) {
        size_t end = block.find(kCrLf);
        std::string line(block.substr(0, end));
        block = end == std::string_view::npos ? std::string_view{} : block.substr(end + 2);
        // A line starting with a space continues the header before it.
        while (!block.empty() && IsSpace(block.front())) {
            size_t more = block.find(kCrLf);
            line.append(" ").append(Trim(block.substr(0, more)));
            block = more == std::string_view::npos ? std::string_view{} : block.substr(more + 2);
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            error = "a part header has no ':' (" + Printable(line) + ")";
            return false;
        }
        std::string name = Lower(Trim(std::string_view(line).substr(0, colon)));
        std::string_view value = Trim(std::string_view(line).substr(colon + 1));
        if (name == "content-disposition") {
            haveDisposition = true;
            size_t semi = value.find(';');
            part.disposition = Lower(Trim(value.substr(0, semi)));
            if (part.disposition.empty()) {
                error = "a Content-Disposition has no type";
                return false;
            }
            std::string_view rest =
                semi == std::string_view::npos ? std::string_view{} : value.substr(semi + 1);
            bool ok = ReadParameters(
                rest, false,
                [&part](const std::string& key, const std::string& v) {
                    if (key == "name") part.name = v;
                    else if (key == "filename") part.filename = v;
                },
                error);
            if (!ok) return false;
        } else if (name == "content-transfer-encoding") {
            encoding = Lower(value);
        }
    }
    if (!haveDisposition) {
        error = "a part has no Content-Disposition";
        return false;
    }
    if (part.name.empty()) {
        error = "a part has no name";
        return false;
    }
    // Decoding base64 or quoted-printable is not something the program asks for; storing the
    // encoded text as if it were the file would be worse than refusing it.
    if (!encoding.empty() && encoding != "binary" && encoding != "8bit" && encoding != "7bit") {
        error = "part " + part.name + " uses Content-Transfer-Encoding " + encoding +
                ", which is not supported";
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> FormBoundary(std::string_view contentType, std::string& error) {
    std::string_view type = Trim(contentType);
    constexpr std::string_view kType = "multipart/form-data";
    if (Lower(type.substr(0, kType.size())) != kType ||
        (type.size() > kType.size() && type[kType.size()] != ',' && type[kType.size()] != ';' &&
         !IsSpace(type[kType.size()]))) {
        error = "expected a multipart/form-data body, got Content-Type \"" + Printable(type) + "\"";
        return std::nullopt;
    }
    std::string boundary;
    bool found = false;
    bool ok = ReadParameters(
        type.substr(kType.size()), true,
        [&](const std::string& key, const std::string& v) {
            if (key == "boundary" && !found) {
                boundary = v;
                found = true;
            }
        },
        error);
    if (!ok) return std::nullopt;
    if (!found || boundary.empty()) {
        error = "the multipart/form-data Content-Type names no boundary";
        return std::nullopt;
    }
    for (char c : boundary) {
        if (zc::IsControlCharacter(c)) {
            error = "the boundary holds a control character";
            return std::nullopt;
        }
    }
    return boundary;
}

Form SplitForm(std::string_view body, const std::string& boundary) {
    Form form;
    const std::string dash = "--" + boundary;
    const std::string next = "\r\n" + dash;

    // Text before the first boundary line is a preamble that carries nothing.
    size_t pos;
    if (body.substr(0, dash.size()) == dash) {
        pos = 0;
    } else {
        pos = body.find(next);
        if (pos == std::string_view::npos) {
            form.error = "the body has no boundary line \"" + Printable(dash) + "\"";
            return form;
        }
        pos += kCrLf.size();
    }

    for (;;) {
        pos += dash.size();
        if (body.substr(pos, 2) == "--") return form;  // the closing boundary; the rest is epilogue
        while (pos < body.size() && IsSpace(body[pos])) ++pos;
        if (body.substr(pos, 2) != kCrLf) {
            form.error = "a boundary line is not followed by a line end";
            return form;
        }
        pos += kCrLf.size();

        size_t end = body.find(next, pos);
        if (end == std::string_view::npos) {
            form.error = "the body ends inside part " + std::to_string(form.parts.size() + 1) +
                         " (no closing boundary; was it cut short?)";
            return form;
        }
        // The headers end at the first empty line, which must come before the next boundary.
        // A part with no headers starts straight with the empty line.
        size_t contentStart;
        std::string_view headers;
        if (body.substr(pos, 2) == kCrLf) {
            contentStart = pos + 2;
        } else {
            size_t blank = body.find("\r\n\r\n", pos);
            if (blank == std::string_view::npos || blank > end) {
                form.error = "the headers of part " + std::to_string(form.parts.size() + 1) +
                             " are not followed by an empty line";
                return form;
            }
            headers = body.substr(pos, blank - pos);
            contentStart = blank + 4;
        }
        FormPart part;
        if (!ReadPartHeaders(headers, part, form.error)) {
            form.error = "part " + std::to_string(form.parts.size() + 1) + ": " + form.error;
            return form;
        }
        // A sender that leaves out an empty part's CR LF has its empty line double as the
        // line end before the boundary: that is empty content too.
        part.content = contentStart <= end ? body.substr(contentStart, end - contentStart)
                                           : std::string_view{};
        form.parts.push_back(std::move(part));
        pos = end + kCrLf.size();
    }
}

}  // namespace zilba_server
