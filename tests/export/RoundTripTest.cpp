// An export file of 50 events, read back by a reader that knows only the file format.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "export/Export.h"
#include "export/ExportWorld.h"

namespace zc::test {

namespace {

struct Event {
    std::string login, code, time, date, job, text, signature;
    bool operator==(const Event&) const = default;
};

struct ExportContent {
    std::string site, downloadDate, downloadTime;
    std::vector<Event> events;
};

std::vector<std::string> Split(const std::string& text, const std::string& mark) {
    std::vector<std::string> parts;
    size_t start = 0, at;
    while ((at = text.find(mark, start)) != std::string::npos) {
        parts.push_back(text.substr(start, at - start));
        start = at + mark.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Records "&&" TYPE ("+++" field)* "%%", one per CR LF line, in the order START, SITE,
// DOWNLOAD, COMMENT, EVENT..., STOP. Any departure fails the test.
ExportContent ReadExport(const std::string& bytes) {
    ExportContent content;
    EXPECT_TRUE(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
    std::vector<std::string> lines = Split(bytes.substr(0, bytes.size() - 2), "\r\n");
    std::vector<std::string> types;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare line break in " << line;
        if (line.size() < 4 || line.compare(0, 2, "&&") != 0 ||
            line.compare(line.size() - 2, 2, "%%") != 0) {
            ADD_FAILURE() << "not a record: " << line;
            continue;
        }
        std::vector<std::string> fields = Split(line.substr(2, line.size() - 4), "+++");
        std::string type = fields.front();
        fields.erase(fields.begin());
        types.push_back(type);
        if (type == "SITE" && fields.size() == 1) {
            content.site = fields[0];
        } else if (type == "DOWNLOAD" && fields.size() == 2) {
            content.downloadDate = fields[0];
            content.downloadTime = fields[1];
        } else if (type == "COMMENT") {
            EXPECT_EQ(fields, (std::vector<std::string>{"LoginID", "Event-code", "Time", "Date",
                                                        "JobID", "Text", "SignatureID"}));
        } else if (type == "EVENT" && fields.size() == 7) {
            EXPECT_EQ(fields[5].rfind("T_", 0), 0u);
            EXPECT_TRUE(fields[6].rfind("S_", 0) == 0 && fields[6].size() >= 6 &&
                        fields[6].compare(fields[6].size() - 4, 4, ".bmp") == 0);
            content.events.push_back({fields[0], fields[1], fields[2], fields[3], fields[4],
                                      fields[5].substr(2),
                                      fields[6].substr(2, fields[6].size() - 6)});
        } else if ((type != "START" && type != "STOP") || !fields.empty()) {
            ADD_FAILURE() << "unexpected record: " << line;
        }
    }
    std::vector<std::string> expected = {"START", "SITE", "DOWNLOAD", "COMMENT"};
    expected.insert(expected.end(), content.events.size(), "EVENT");
    expected.push_back("STOP");
    EXPECT_EQ(types, expected);
    return content;
}

}  // namespace

TEST(CreateExportFile, FiftyEventsReadBackIntoTheSameEvents) {
    World w;
    std::string sql = "INSERT INTO Control VALUES('Depot 7');";
    std::vector<Event> stored;
    for (int i = 0; i < 50; ++i) {
        // Codes stored in a shuffled order, so the reader must see them sorted.
        int code = 1000 + (i * 37) % 50;
        int hour = (i * 5) % 24, minute = (i * 13) % 60, day = 1 + i % 28;
        char when[32], time[8], date[16];
        std::snprintf(when, sizeof when, "2026-11-%02d %02d:%02d:%02d", day, hour, minute, i);
        std::snprintf(time, sizeof time, "%02d:%02d", hour, minute);
        std::snprintf(date, sizeof date, "%02d/11/2026", day);
        std::string login = "user" + std::to_string(i % 4);
        std::string job = "JOB-" + std::to_string(5000 + i);
        std::string text = i % 7 == 0 ? "" : "note " + std::to_string(i) + " ok";
        std::string signature = i % 5 == 0 ? "" : "sig" + std::to_string(i);
        sql += "INSERT INTO Jobs VALUES('" + login + "', " + std::to_string(code) + ", '" + job +
               "', '" + when + "', " + (text.empty() ? "NULL" : "'" + text + "'") + ", " +
               (signature.empty() ? "NULL" : "'" + signature + "'") + ");";
        stored.push_back({login, std::to_string(code), time, date, job, text, signature});
    }
    w.Database(sql);
    w.form.answers = {true};

    CreateExportFile(w.f);

    ExportContent content = ReadExport(ReadFile(w.f.strExportFile));
    std::sort(stored.begin(), stored.end(),
              [](const Event& a, const Event& b) { return std::stoi(a.code) < std::stoi(b.code); });
    EXPECT_EQ(content.site, "Depot 7");
    EXPECT_EQ(content.downloadDate, "05/12/2026");
    EXPECT_EQ(content.downloadTime, "14:07:09");
    ASSERT_EQ(content.events.size(), 50u);
    EXPECT_EQ(content.events, stored);
    EXPECT_EQ(w.form.fields[Field::Events], "50");
}

}  // namespace zc::test
