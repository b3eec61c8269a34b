#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "export/Export.h"
#include "core/Layout.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Waiting.h"

namespace zc {

namespace {

// A whole export file: named as the build names it and ending with its STOP record. A file cut
// short by a failed build is not one: the handheld still holds its rows.
bool IsWholeExportFile(MainForm& f, const std::string& folder, const std::string& name) {
    if (!WildcardMatch("c_zilba_*.txt", name)) return false;
    std::vector<uint8_t> bytes = f.os.files.ReadBinary(folder + kSep + name);
    static constexpr std::string_view kStop = "&&STOP%%\r\n";
    return bytes.size() >= kStop.size() &&
           std::string_view(reinterpret_cast<const char*>(bytes.data()) + bytes.size() - kStop.size(),
                            kStop.size()) == kStop;
}

}  // namespace

void RefuseUnsentExports(MainForm& f) {
    std::string folder = ExportFolder(f);
    if (!f.os.files.Exists(folder)) return;
    for (const std::string& name : f.os.files.ListFiles(folder, "c_zilba_*.txt"))
        if (IsWholeExportFile(f, folder, name))
            throw Error(kErrUnsentExport,
                        "The export folder still holds " + name +
                            ", the export file of an earlier transfer that did not reach the server. "
                            "Send it first: press Resend and choose it in " + folder + ".");
}

void BackupFiles(MainForm& f, const std::function<void(const std::string&)>& beforeMove) {
    WriteLog(f, "Backing up files");
    Waiting(Wait::Long);
    std::string source = ExportFolder(f);
    const std::string stamped = UploadFolder(f) + kSep + ExportTimeStamp(f);

    // Moving into an earlier backup would mix two runs: when a backup of the same second (or
    // a folder the user made) has the name, this one takes the first free name beside it.
    std::string backup = stamped;
    for (int n = 2; f.os.files.Exists(backup); ++n) {
        if (n > 999) throw Error(kErrPathFileAccess, "Path/File access error: " + stamped + " (already exists)");
        backup = stamped + "_" + std::to_string(n);
    }
    if (beforeMove) beforeMove(backup);
    f.os.files.MkDir(backup);

    // An export file this run did not send stays where the next transfer finds it and asks for
    // it to be sent; everything else moves.
    std::vector<std::string> moved;
    try {
        for (const std::string& name : f.os.files.ListFiles(source, "*.*")) {
            bool sent = std::find(f.delivery.sent.begin(), f.delivery.sent.end(), name) != f.delivery.sent.end();
            if (!sent && IsWholeExportFile(f, source, name)) continue;
            f.os.files.MoveFile(source + kSep + name, backup + kSep + name);
            moved.push_back(name);
        }
        // The moves on the disk: a sent export file that went back to the export folder would
        // refuse the next transfer. Each moved file by its new name (a file's flush writes its
        // name too), then the entries of both folders and the new folder's own.
        for (const std::string& name : moved) f.os.files.Flush(backup + kSep + name);
        f.os.files.Flush(backup);
        f.os.files.Flush(UploadFolder(f));
        f.os.files.Flush(source);
    } catch (...) {
        if (!moved.empty()) f.delivery.keptIn = source + " and " + backup;
        throw;
    }
    f.delivery.keptIn = backup;
}

}  // namespace zc
