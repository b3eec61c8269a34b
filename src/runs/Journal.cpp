#include "runs/Journal.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/Paths.h"
#include "platform/Text.h"

namespace zc {

namespace {

// The lines of a text file in the code page, CR LF ended.
std::vector<std::string> LinesOf(MainForm& f, const std::string& path) {
    std::vector<uint8_t> bytes = f.os.files.ReadBinary(path);
    std::string text = FromCodePage(std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

}  // namespace

std::string JournalPath(MainForm& f) { return f.ui.Text(Field::LocalDir) + kSep + kJournalName; }

void WriteJournal(MainForm& f, const Journal& j) {
    const std::string path = JournalPath(f), written = path + ".new";
    std::vector<std::string> lines{"run=" + j.run, "stage=" + j.stage, "export=" + j.exportFile,
                                   "kept=" + j.keptIn};
    for (const std::string& name : j.bitmaps) lines.push_back("bitmap=" + name);
    lines.push_back("refused=" + std::to_string(j.refused));
    lines.push_back("end");  // a journal without it was never whole, and is not one
    std::unique_ptr<TextFile> out = f.os.files.CreateText(written);
    try {
        for (const std::string& line : lines) out->PrintLine(line);
    } catch (...) {
        try {
            out->Close();  // a dropped file stays open
        } catch (...) {
            // The write's own error is the one reported.
        }
        throw;
    }
    out->Close();
    f.os.files.Flush(written);
    f.os.files.ReplaceFile(written, path);
    f.os.files.Flush(f.ui.Text(Field::LocalDir));
}

std::optional<Journal> ReadJournal(MainForm& f) {
    const std::string path = JournalPath(f);
    if (!f.os.files.Exists(path)) return std::nullopt;
    Journal j;
    bool whole = false;
    for (const std::string& line : LinesOf(f, path)) {
        if (line == "end") whole = true;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "run") j.run = value;
        else if (key == "stage") j.stage = value;
        else if (key == "export") j.exportFile = value;
        else if (key == "kept") j.keptIn = value;
        else if (key == "bitmap") j.bitmaps.push_back(value);
        else if (key == "refused") j.refused = std::atoi(value.c_str());
    }
    // Only a whole journal ever replaces the old one; anything else is none of the program's.
    if (!whole || j.run.empty() || j.stage.empty()) return std::nullopt;
    return j;
}

void EndJournal(MainForm& f) {
    const std::string path = JournalPath(f);
    if (f.os.files.Exists(path)) f.os.files.Kill(path);
}

std::vector<std::string> BitmapsNamedBy(MainForm& f, const std::string& exportFile) {
    std::vector<uint8_t> bytes = f.os.files.ReadBinary(exportFile);
    std::string text = FromCodePage(std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> names;
    for (size_t at = text.find("&&EVENT+++"); at != std::string::npos; at = text.find("&&EVENT+++", at + 1)) {
        size_t end = text.find("%%\r\n", at);
        if (end == std::string::npos) break;
        std::string_view record(text.data() + at, end - at);
        // The signature is the record's last field; a text field may itself hold "+++".
        size_t cut = record.rfind("+++");
        std::string name(record.substr(cut + 3));
        if (name == "S_.bmp" || !name.starts_with("S_") || !name.ends_with(".bmp")) continue;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

std::string LackingListPath(const std::string& exportFile) {
    const bool txt = exportFile.size() > 4 && EqualsNoCase(exportFile.substr(exportFile.size() - 4), ".txt");
    return (txt ? exportFile.substr(0, exportFile.size() - 4) : exportFile) + kLackingList;
}

void RecordLackingBitmaps(MainForm& f) {
    std::vector<std::string> lacking;
    const std::vector<std::string>& copied = f.delivery.copied;
    for (const std::string& name : BitmapsNamedBy(f, f.strExportFile))
        if (std::find(copied.begin(), copied.end(), name) == copied.end()) lacking.push_back(name);
    if (lacking.empty()) return;
    std::unique_ptr<TextFile> out = f.os.files.CreateText(LackingListPath(f.strExportFile));
    for (const std::string& name : lacking) {
        WriteLog(f, "  ..Not on the handheld: " + name);
        out->PrintLine(name);
    }
    out->Close();
}

std::vector<std::string> LackingBitmaps(MainForm& f, const std::string& exportFile) {
    const std::string path = LackingListPath(exportFile);
    return f.os.files.Exists(path) ? LinesOf(f, path) : std::vector<std::string>{};
}

}  // namespace zc
