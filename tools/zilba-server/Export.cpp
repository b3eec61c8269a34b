#include "Export.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "Text.h"

namespace zilba_server {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kOpen = "&&";
constexpr std::string_view kClose = "%%\r\n";
constexpr std::string_view kSeparator = "+++";
constexpr size_t kEventFields = 7;  // user, event code, time, date, job, text, signature

struct Record {
    size_t line = 0;          // where it starts, counted from 1
    std::string_view word;    // START, SITE, ...
    std::string_view fields;  // everything after the word, "+++" separators included
};

size_t FieldCount(std::string_view fields) {
    size_t n = 0;
    for (size_t at = fields.find(kSeparator); at != std::string_view::npos;
         at = fields.find(kSeparator, at + kSeparator.size()))
        ++n;
    return n;
}

std::string_view FirstField(std::string_view fields) {
    if (fields.substr(0, kSeparator.size()) != kSeparator) return {};
    fields.remove_prefix(kSeparator.size());
    return fields.substr(0, fields.find(kSeparator));
}

ExportCheck Bad(size_t line, std::string problem) {
    ExportCheck check;
    check.line = line;
    check.problem = std::move(problem);
    return check;
}

size_t LinesIn(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find(kCrLf); at != std::string_view::npos; at = text.find(kCrLf, at + 2)) ++n;
    return n;
}

}  // namespace

// A record is "&&", its word, each field as "+++" and the text, then "%%" and CR LF. Field texts
// are not escaped, so an event's text may hold a line break or "%%": a record ends only at a
// "%%" CR LF that is followed by the next "&&" or by the end of the file.
ExportCheck CheckExport(std::string_view text) {
    if (text.empty()) return Bad(1, "the file is empty; expected &&START%%");
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return Bad(1, "the file starts with a byte order mark");

    std::vector<Record> records;
    size_t line = 1;
    for (size_t at = 0; at < text.size();) {
        std::string_view rest = text.substr(at);
        if (rest.substr(0, kOpen.size()) != kOpen)
            return Bad(line, "expected a record starting with &&, got \"" + Printable(rest.substr(0, rest.find(kCrLf))) + "\"");
        size_t end = rest.find(kClose);
        while (end != std::string_view::npos && end + kClose.size() < rest.size() &&
               rest.substr(end + kClose.size(), kOpen.size()) != kOpen)
            end = rest.find(kClose, end + 1);
        if (end == std::string_view::npos) {
            bool lf = rest.find("%%\n") != std::string_view::npos;
            return Bad(line, lf ? "a record ends with a bare LF; lines must end with CR LF"
                                : "a record does not end with %% and CR LF");
        }
        std::string_view body = rest.substr(kOpen.size(), end - kOpen.size());
        size_t wordEnd = std::min(body.find(kSeparator), body.size());
        records.push_back({line, body.substr(0, wordEnd), body.substr(wordEnd)});
        line += LinesIn(rest.substr(0, end + kClose.size()));
        at += end + kClose.size();
    }

    auto expectWord = [&](size_t i, std::string_view word) -> std::optional<ExportCheck> {
        if (i >= records.size()) return Bad(line, "the file ends before its " + std::string(word) + " record");
        if (records[i].word != word)
            return Bad(records[i].line, "expected " + std::string(word) + ", got \"" +
                                            Printable(records[i].word) + "\"");
        return std::nullopt;
    };
    size_t i = 0;
    for (std::string_view word : {"START", "SITE", "DOWNLOAD", "COMMENT"}) {
        if (auto bad = expectWord(i, word)) return *bad;
        const Record& r = records[i++];
        if (word == "START" && !r.fields.empty()) return Bad(r.line, "START holds no fields");
        if (word == "SITE" && FirstField(r.fields).empty()) return Bad(r.line, "SITE must hold the site name");
        if (word == "DOWNLOAD" && FieldCount(r.fields) != 2)
            return Bad(r.line, "DOWNLOAD must hold a date and a time");
        if (word == "COMMENT" && FieldCount(r.fields) == 0) return Bad(r.line, "COMMENT must hold its text");
    }
    ExportCheck check;
    for (; i < records.size() && records[i].word == "EVENT"; ++i) {
        // A text holding "+++" adds fields; fewer than seven is a broken record.
        size_t fields = FieldCount(records[i].fields);
        if (fields < kEventFields)
            return Bad(records[i].line, "an EVENT record has " + std::to_string(fields) +
                                            " fields, expected 7 (user, event code, time, date, job, text, signature)");
        ++check.events;
    }
    if (auto bad = expectWord(i, "STOP")) return *bad;
    if (!records[i].fields.empty()) return Bad(records[i].line, "STOP holds no fields");
    if (i + 1 < records.size()) return Bad(records[i + 1].line, "nothing may follow STOP");
    check.ok = true;
    return check;
}

}  // namespace zilba_server
