#include <memory>
#include <string>
#include <utility>

#include "export/Export.h"
#include "core/Layout.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "server/Server.h"
#include "platform/Waiting.h"

namespace zc {

namespace {

constexpr std::string_view kCommentRecord =
    "&&COMMENT+++LoginID+++Event-code+++Time+++Date+++JobID+++Text+++SignatureID%%";

// Closes the export file however the build ends: a failed build leaves whole lines in a
// closed file, which the next backup can copy and delete.
class ExportOutput {
public:
    explicit ExportOutput(std::unique_ptr<TextFile> file) : file_(std::move(file)) {}
    ~ExportOutput() {
        if (!file_) return;
        try {
            file_->Close();
        } catch (...) {
            // The build is already failing with its own error; that one is reported.
        }
    }
    ExportOutput(const ExportOutput&) = delete;
    ExportOutput& operator=(const ExportOutput&) = delete;

    void Line(const std::string& line) { file_->PrintLine(line); }
    // A failing flush on the normal path is an error of the build, not a silent loss.
    void Close() {
        std::unique_ptr<TextFile> file = std::move(file_);
        file->Close();
    }

private:
    std::unique_ptr<TextFile> file_;
};

bool ReadDigits(std::string_view s, size_t& i, size_t count, int& out) {
    if (i + count > s.size()) return false;
    out = 0;
    for (size_t k = 0; k < count; ++k) {
        char c = s[i + k];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    i += count;
    return true;
}

bool Expect(std::string_view s, size_t& i, char c) {
    if (i >= s.size() || s[i] != c) return false;
    ++i;
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

void AppendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

// The regional short date of a job's day. Rows of one export mostly share a few days, so the
// last day's text is kept rather than formatted again for every row.
class DateTexts {
public:
    explicit DateTexts(Clock& clock) : clock_(clock) {}
    const std::string& ShortDate(const LocalDateTime& when) {
        if (!valid_ || when.year != day_.year || when.month != day_.month ||
            when.day != day_.day) {
            day_ = when;
            text_ = clock_.ShortDate(when);
            valid_ = true;
        }
        return text_;
    }

private:
    Clock& clock_;
    LocalDateTime day_;
    std::string text_;
    bool valid_ = false;
};

}  // namespace

std::optional<LocalDateTime> ParseStoredDateTime(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    LocalDateTime t;
    size_t i = 0;
    if (!ReadDigits(s, i, 4, t.year) || !Expect(s, i, '-') || !ReadDigits(s, i, 2, t.month) ||
        !Expect(s, i, '-') || !ReadDigits(s, i, 2, t.day))
        return std::nullopt;
    if (t.year < 100 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month))
        return std::nullopt;
    t.hour = t.minute = t.second = 0;
    if (i == s.size()) return t;
    if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
    ++i;
    if (!ReadDigits(s, i, 2, t.hour) || !Expect(s, i, ':') || !ReadDigits(s, i, 2, t.minute))
        return std::nullopt;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!ReadDigits(s, i, 2, t.second)) return std::nullopt;
        if (i < s.size() && s[i] == '.') {  // fractions of a second are dropped
            ++i;
            size_t start = i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
            if (i == start) return std::nullopt;
        }
    }
    if (i != s.size() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::string ExportTimeStamp(MainForm& f) {
    std::string general = GeneralDate(f.os.clock, f.os.clock.Now());
    std::string stamp;
    stamp.reserve(general.size());
    for (char c : general) {
        if (c == '/' || c == ':') continue;
        stamp += c == ' ' ? '_' : c;
    }
    return stamp;
}

void CreateExportFile(MainForm& f) {
    WriteLog(f, "Creating export file");
    Waiting(Wait::Long);  // a large database takes a while to sort

    std::unique_ptr<Connection> connection = f.os.database.Open(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + f.ui.Text(Field::LocalDir) + kSep +
        kDatabaseOnPc + ";Persist Security Info=False");
    // Declared after the connection, so both results are released before it closes.
    std::unique_ptr<Recordset> control = connection->Execute("SELECT * FROM [Control]");
    std::unique_ptr<Recordset> jobs =
        connection->Execute("SELECT * FROM [Jobs] ORDER BY [EventCode]");

    // Site check. A device without a stored site has nothing to offer: the configured site
    // stays and nobody is asked.
    std::string configured = f.ui.Text(Field::Site);
    FieldValue device = control->Field("SiteName");
    if (!device.isNull && device.text != configured &&
        f.ui.AskYesNo("Site name in the device is " + device.text + ". " +
                      "Do you want to use the site configured in the device?"))
        f.ui.SetText(Field::Site, device.text);
    // The site taken from the device must reach the server as intact as a typed one.
    RefuseUnsendableSettings(f);

    std::string stamp = ExportTimeStamp(f);
    f.strExportFile = ExportFolder(f) + kSep + "c_zilba_" + stamp + ".txt";
    ExportOutput out(f.os.files.CreateText(f.strExportFile));

    std::string line;
    line.reserve(256);
    out.Line(line.assign("&&START%%"));

    std::string site = f.ui.Text(Field::Site);
    WriteLog(f, "  ..Site: " + site);
    out.Line(line.assign("&&SITE+++").append(site).append("%%"));

    // Date and time from one reading, so that a build around midnight cannot pair one day's
    // date with the next day's time.
    LocalDateTime now = f.os.clock.Now();
    out.Line(line.assign("&&DOWNLOAD+++")
                 .append(f.os.clock.ShortDate(now))
                 .append("+++")
                 .append(f.os.clock.LongTime(now))
                 .append("%%"));
    out.Line(line.assign(kCommentRecord));

    // One row at a time: each record is built in the same buffer and written before the next
    // row is fetched.
    FieldValue userId, eventCode, jobNumber, dateTime, text, signature;
    std::string logLine;
    logLine.reserve(64);
    DateTexts dates(f.os.clock);
    while (!jobs->Eof()) {
        jobs->Read("EventCode", eventCode);
        jobs->Read("JobNumber", jobNumber);
        WriteLog(f, logLine.assign("  ..Event: ")
                        .append(eventCode.text)
                        .append(": ")
                        .append(jobNumber.text));
        IncrementCounter(f, Field::Events);

        jobs->Read("UserID", userId);
        jobs->Read("DateTime", dateTime);
        jobs->Read("Text", text);
        jobs->Read("Signature", signature);

        line.assign("&&EVENT+++")
            .append(userId.text)
            .append("+++")
            .append(eventCode.text)
            .append("+++");
        // A missing or unreadable date still exports the event, with empty Time and Date.
        std::optional<LocalDateTime> when =
            dateTime.isNull || dateTime.isNumber ? std::nullopt
                                                 : ParseStoredDateTime(dateTime.text);
        if (when) {
            AppendTwoDigits(line, when->hour);
            line += ':';
            AppendTwoDigits(line, when->minute);
        }
        line += "+++";
        if (when) line += dates.ShortDate(*when);
        line.append("+++")
            .append(jobNumber.text)
            .append("+++T_")
            .append(text.text)
            .append("+++S_")
            .append(signature.text)
            .append(".bmp%%");
        out.Line(line);

        jobs->MoveNext();
    }

    out.Line(line.assign("&&STOP%%"));
    out.Close();

    jobs.reset();
    control.reset();
    connection.reset();
    WriteLog(f, " ..Created " + f.strExportFile);
}

}  // namespace zc
