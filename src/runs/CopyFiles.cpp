#include <algorithm>
#include <string>

#include "export/Export.h"
#include "core/Layout.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "platform/Waiting.h"

namespace zc {

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The whole export files of the export folder, which no run has sent yet.
std::vector<std::string> WaitingExports(MainForm& f) {
    std::vector<std::string> waiting;
    try {
        RefuseUnsentExports(f);
    } catch (const Error& e) {
        if (e.number() != kErrUnsentExport) throw;
        const std::string folder = ExportFolder(f);
        for (const std::string& name : f.os.files.ListFiles(folder, "c_zilba_*.txt")) {
            std::vector<uint8_t> bytes = f.os.files.ReadBinary(folder + kSep + name);
            std::string text(bytes.begin(), bytes.end());
            if (text.ends_with("&&STOP%%\r\n")) waiting.push_back(name);
        }
    }
    return waiting;
}

}  // namespace

bool CopyFiles(MainForm& f) {
    WriteLog(f, "Copying files");
    const std::string destination = ExportFolder(f);
    // Where the set to send first waits; otherwise among the backups.
    std::vector<std::string> waiting = WaitingExports(f);
    std::string chosen = f.ui.ChooseFile("Select export file", "*.txt",
                                         waiting.empty() ? UploadFolder(f) : destination);
    if (chosen.empty()) return false;
    // Refused before anything is copied, so that nothing is half sent.
    RefuseUnsendableSettings(f);
    RefuseUnsendableFile("The chosen export file's path", chosen);
    RefuseUnsendableExportName("The chosen export file's name", FileNameOf(chosen));

    size_t cut = chosen.rfind(kSep);
    std::string source = cut == std::string::npos ? std::string() : chosen.substr(0, cut);
    const std::string name = FileNameOf(chosen);
    // The handheld still holds those rows unmarked; the next transfer collects them anew.
    if (source.ends_with(kSetAside))
        throw Error(kErrSetAside, name + " was set aside by a run cut short before the handheld was marked "
                                         "collected: the next Transfer collects its rows anew, and sent as well "
                                         "they would be imported twice. Nothing was sent.");
    const bool inExport = source == destination;
    // The files of a run that did not reach the server are never replaced: they go first.
    if (!waiting.empty() && !(inExport && std::find(waiting.begin(), waiting.end(), name) != waiting.end()))
        throw Error(kErrUnsentExport, "The export folder still holds " + waiting.front() +
                                          ", the export file of an earlier run that did not reach the server. "
                                          "Send it first: press Resend and choose it in " + destination + ".");

    const std::string lackingList = FileNameOf(LackingListPath(chosen));
    std::vector<std::string> names;
    for (const std::string& file : f.os.files.ListFiles(source, "*.*")) {
        // Another export file of that folder, or its list, is not sent by this run: copied, it
        // would stay in the export folder and stop the next transfer as one that never reached
        // the server.
        if (file != name && file != lackingList &&
            (WildcardMatch("c_zilba_*.txt", file) || WildcardMatch(std::string("c_zilba_*") + kLackingList, file)))
            continue;
        names.push_back(file);
    }
    // A set goes whole or not at all: every bitmap its rows name lies beside it, but for those its
    // handheld never had.
    std::vector<std::string> missing, lacking = LackingBitmaps(f, chosen);
    for (const std::string& bitmap : BitmapsNamedBy(f, chosen))
        if (std::find(names.begin(), names.end(), bitmap) == names.end() &&
            std::find(lacking.begin(), lacking.end(), bitmap) == lacking.end())
            missing.push_back(bitmap);
    if (!missing.empty())
        throw Error(kErrSetNotWhole,
                    "The rows of " + name + " name bitmaps that are not beside it in " + source + ": " +
                        Joined(missing) + ". Nothing was sent. Its other files lie in " + destination +
                        " or in a folder of " + UploadFolder(f) +
                        ": put them beside it, or choose it where they lie, and press Resend again.");
    f.strExportFile = chosen;
    if (inExport) {
        for (const std::string& file : names) WriteLog(f, "  .." + file);
        return true;
    }
    for (const std::string& file : names)
        if (f.os.files.Exists(destination + kSep + file))
            throw Error(kErrPathFileAccess, "The export folder already holds " + file +
                                                ", which the set of " + name + " would replace. Nothing was copied.");

    // All or nothing: each file is copied under a name of its own, then all are given theirs.
    Journal journal{"Resend", "copying", chosen, source, names};
    WriteJournal(f, journal);
    std::vector<std::string> made;  // what the copy put into the export folder
    try {
        for (size_t i = 0; i < names.size(); ++i) {
            WriteLog(f, "  .." + names[i]);
            Waiting(Wait::Brief);
            made.push_back(destination + kSep + ".zc-resend-" + std::to_string(i));
            f.os.files.FileCopy(source + kSep + names[i], made.back());
        }
        for (size_t i = 0; i < names.size(); ++i) {
            f.os.files.MoveFile(made[i], destination + kSep + names[i]);
            made[i] = destination + kSep + names[i];
        }
        for (const std::string& file : names) f.os.files.Flush(destination + kSep + file);
        f.os.files.Flush(destination);
    } catch (...) {
        // Everything the copy made goes, and the box tells the copy's own failure. What cannot be
        // removed now stays named by the journal, so the next start removes it.
        bool removed = true;
        for (const std::string& path : made) {
            try {
                if (f.os.files.Exists(path)) f.os.files.Kill(path);
            } catch (...) {
                removed = false;
            }
        }
        if (removed) EndJournal(f);
        throw;
    }
    journal.stage = "copied";
    journal.exportFile = destination + kSep + name;
    journal.keptIn = destination;
    WriteJournal(f, journal);
    return true;
}

}  // namespace zc
