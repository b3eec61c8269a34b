#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "platform/Waiting.h"

namespace zc {

namespace {

std::string NowText(MainForm& f) { return GeneralDate(f.os.clock, f.os.clock.Now()); }

void RunLines(MainForm& f, const char* start) {
    f.ui.ShowLog();
    WriteLog(f, kSeparatorLine);
    WriteLog(f, start + NowText(f));
}

// Where the user finds the files of a set the server did not take whole, and how to send them.
std::string KeptText(const std::string& keptIn, const std::string& exportFile) {
    return "The files are kept in " + keptIn + ". Send them again with Resend, choosing " + FileNameOf(exportFile) +
           " there.";
}

// What the server did not take of an upload, as every box tells it.
std::string NotAcceptedText(int refused, size_t sent) {
    return "did not accept " + std::to_string(refused) + " of the " + std::to_string(sent) + " files sent";
}

// The error box's text: the error, and once the run's files lie only on the PC, where they are.
std::string ErrorText(MainForm& f, const std::exception& e) {
    std::string text = DescribeError(e);
    const Delivery& d = f.delivery;
    if (d.importUnanswered) text += "\r\nThe files are kept in " + d.keptIn + ".";
    else if (d.allSent && d.refused == 0)  // a failure after the upload: only the import is missing
        text += "\r\nEvery file reached the server, but it has not imported them. " + KeptText(d.keptIn, f.strExportFile);
    else if (!d.keptIn.empty()) text += "\r\nNot everything reached the server. " + KeptText(d.keptIn, f.strExportFile);
    return text;
}

// The one tail of Transfer, Resend and the finishing of a run cut short. `run` does the work and
// returns false when it ended with nothing to tell (a cancel, nothing left to do). A failure's box
// says what the run delivered and where its files lie, once `tidy` has put the run's journal in
// order; the arrow cursor comes back before any box. False when the run failed.
bool RunToEnd(MainForm& f, const std::function<bool()>& run, const std::function<void(std::string&)>& tidy) {
    f.delivery = {};
    std::optional<std::string> error;
    try {
        if (!run()) return true;
    } catch (const std::exception& e) {
        error = ErrorText(f, e);
        tidy(*error);
    }
    f.ui.SetCursor(Cursor::Arrow);
    if (error) f.ui.ShowMessage("Error: " + *error);
    return !error;
}

// "Finished" only when the server took every file and confirmed the import.
std::string ClosingText(MainForm& f) {
    const Delivery& d = f.delivery;
    const bool confirmed = d.importStatus == 200 && d.importElsewhere.empty();
    if (d.refused == 0 && confirmed) return kFinishedText;
    std::string text = "Not everything reached the server: ";
    text += d.refused == 0 ? "it accepted all " + std::to_string(d.sent.size()) + " files sent"
                           : "it " + NotAcceptedText(d.refused, d.sent.size());
    if (confirmed) text += ", and it confirmed the import.";
    else text += std::string(d.refused == 0 ? ", but" : ", and") + " it did not confirm the import (" +
                 (d.importElsewhere.empty() ? "status " + std::to_string(d.importStatus) : d.importElsewhere) + ").";
    return text + "\r\n" + KeptText(d.keptIn, f.strExportFile);
}

// The purge flag lets the handheld drop its rows, so it is set only once everything taken from
// it is whole and on the disk. Without the flag the handheld keeps every row, and the export
// file built from them would only be sent twice.
void MarkCollected(MainForm& f) {
    try {
        Waiting(Wait::Long);  // the disk may take a while to take everything
        // Only the files this run wrote, by name: another file beside them, one a user keeps
        // open in another program, is none of the run's business.
        const std::string exportFolder = ExportFolder(f), local = f.ui.Text(Field::LocalDir);
        for (const std::string& name : f.delivery.copied) f.os.files.Flush(exportFolder + kSep + name);
        f.os.files.Flush(f.strExportFile);
        const std::string lacking = LackingListPath(f.strExportFile);
        if (f.os.files.Exists(lacking)) f.os.files.Flush(lacking);
        f.os.files.Flush(local + kSep + kDatabaseOnPc);
        f.os.files.Flush(exportFolder);  // the entries of the copies and of the export file
        f.os.files.Flush(local);         // of the database copy and of the export folder
        SetPurgeFlag(f);
    } catch (...) {
        try {
            f.os.files.Kill(f.strExportFile);
        } catch (...) {
            // The failure being reported is the one that matters.
        }
        throw;
    }
    f.delivery.keptIn = ExportFolder(f);
}


bool Is(const Journal& j, std::initializer_list<const char*> stages) {
    for (const char* stage : stages)
        if (j.stage == stage) return true;
    return false;
}

// The files of a run cut short before the handheld was marked collected go to a folder of the
// backup folder, not to the server: the handheld still holds that data, and the next transfer
// collects it anew. Sent as well, its rows would be imported twice. The folder's path.
std::string SetAside(MainForm& f) {
    const std::string source = ExportFolder(f);
    const std::string aside = UploadFolder(f) + kSep + ExportTimeStamp(f) + kSetAside;
    const std::vector<std::string> names = f.os.files.ListFiles(source, "*.*");
    if (names.empty()) return "";  // nothing was copied yet
    if (!f.os.files.Exists(aside)) f.os.files.MkDir(aside);
    for (const std::string& name : names) f.os.files.MoveFile(source + kSep + name, aside + kSep + name);
    for (const std::string& name : names) f.os.files.Flush(aside + kSep + name);
    f.os.files.Flush(aside);
    f.os.files.Flush(source);
    WriteLog(f, "  ..Set aside in " + aside);
    return aside;
}

// Ends a run's journal on the way out of a failed run; the error box tells where its files are.
void EndJournalQuietly(MainForm& f) {
    try {
        EndJournal(f);
    } catch (...) {
        // The next start finds it and says what is left.
    }
}

// Moves into the journal's backup folder what a backup cut short left in the export folder.
void FinishBackup(MainForm& f, const Journal& j) {
    const std::string source = ExportFolder(f);
    WriteLog(f, "Backing up files");
    if (!f.os.files.Exists(j.keptIn)) f.os.files.MkDir(j.keptIn);
    std::vector<std::string> names = j.bitmaps;
    names.push_back(FileNameOf(j.exportFile));
    names.push_back(FileNameOf(LackingListPath(j.exportFile)));
    for (const std::string& name : names)
        if (f.os.files.Exists(source + kSep + name) && !f.os.files.Exists(j.keptIn + kSep + name)) {
            f.os.files.MoveFile(source + kSep + name, j.keptIn + kSep + name);
            f.os.files.Flush(j.keptIn + kSep + name);
        }
    f.os.files.Flush(j.keptIn);
    f.os.files.Flush(source);
    f.delivery.keptIn = j.keptIn;
}

// What the upload of a journal's set sends: its export file and its bitmaps.
std::vector<std::string> SentOf(const Journal& j) {
    std::vector<std::string> sent{FileNameOf(j.exportFile)};
    for (const std::string& name : j.bitmaps)
        if (WildcardMatch("*.bmp", name)) sent.push_back(name);
    return sent;
}

// The rest of a run whose set waits in the export folder or was sent: upload, backup, import,
// each step put in the journal before it starts; the run's closing box.
void SendRest(MainForm& f, Journal& j, const char* complete) {
    if (Is(j, {"flagged", "copied"})) {
        f.ui.SetCursor(Cursor::Hourglass);
        UploadFiles(f);
        j.refused = f.delivery.refused;  // the journal's later stages carry it
        if (f.delivery.refused == 0) {
            j.stage = "sent";
            WriteJournal(f, j);
        }
    } else {
        // Sent before the run was cut short: the backup moves them as sent, and the closing box
        // tells what the server did not take.
        f.delivery.sent = SentOf(j);
        f.delivery.refused = j.refused;
    }
    if (j.stage == "backing up") {
        FinishBackup(f, j);
    } else {
        BackupFiles(f, [&](const std::string& folder) {
            j.stage = "backing up";
            j.keptIn = folder;
            WriteJournal(f, j);
        });
    }
    WriteLog(f, complete + NowText(f));
    j.stage = "importing";
    WriteJournal(f, j);
    LaunchServerProcess(f);
    EndJournal(f);
    f.ui.ShowMessage(ClosingText(f));
}

// What the box says of a journal, and whether the program then goes on with the run.
std::string RecoveryText(const Journal& j, bool& goOn) {
    const std::string run = j.run == "Resend" ? "A resend" : "A transfer";
    const std::string name = FileNameOf(j.exportFile);
    goOn = true;
    if (Is(j, {"collecting", "exported"}))
        return run + " was cut short before the handheld was marked collected. The files it copied are "
                     "set aside now and not sent: the handheld still holds that data, and the next Transfer "
                     "collects it anew. If that Transfer says data was downloaded from this device before, "
                     "answer Yes.";
    if (j.stage == "copying")
        return run + " of " + name + " was cut short while it copied its files into the export folder. "
                     "What it copied is removed from there now; its files stay in " + j.keptIn +
                     ". Press Resend and choose " + name + " there again.";
    const size_t sent = SentOf(j).size();
    if (Is(j, {"flagged", "copied"}))
        return run + " was cut short before its files reached the server. " + name + " and its " +
               std::to_string(sent - 1) + (sent == 2 ? " bitmap waits" : " bitmaps wait") +
               " in the export folder: they are sent now, backed up, and the server is asked to import " + name + ".";
    if (Is(j, {"sent", "backing up"}))
        return run + " was cut short after " +
               (j.refused == 0 ? "the server took its files"
                               : "it sent its files; the server " + NotAcceptedText(j.refused, sent)) +
               ". Their backup is finished now, and the server is asked to import " + name + ".";
    goOn = false;
    if (j.refused != 0)
        return run + " was cut short while the server was asked to import " + name +
               ". Not everything reached the server: it " + NotAcceptedText(j.refused, sent) + ". " +
               KeptText(j.keptIn, name);
    return run + " was cut short while the server was asked to import " + name +
           ": it may have imported it. The files are kept in " + j.keptIn + ". Check on the server that " + name +
           " was imported; if it was not, press Resend and choose it there.";
}

}  // namespace

void cmdTransfer_Click(MainForm& f) {
    if (!FinishInterruptedRun(f)) return;
    if (!f.ui.AskYesNo("Have you connected the device to the PC?")) return;
    SaveSettings(f);

    Journal journal{"Transfer", "", "", "", {}};
    auto transfer = [&] {
        RunLines(f, "Transfer start: ");
        IncrementCounter(f, Field::Sessions);
        f.ui.SetCursor(Cursor::Hourglass);
        // Nothing is taken from the handheld that could not then be sent, nor while an earlier
        // export file still waits to be sent.
        RefuseUnsendableSettings(f);
        RefuseUnsentExports(f);
        WriteLog(f, "Initializing remote connection");
        if (f.os.rapi.CeRapiInit() != 0) throw Error(-300, "Failed to initialise RAPI");
        CheckDirectories(f);
        if (CheckPurgeFlag(f) && !f.ui.AskYesNo("Data was downloaded from this device before.\r\n"
                                                "Do you want to continue?"))
            return true;
        journal.stage = "collecting";
        journal.keptIn = ExportFolder(f);
        WriteJournal(f, journal);
        CopyDatabase(f);
        CopySignatures(f);
        CreateExportFile(f);
        RefuseUnsendableFiles(f);  // before the flag, so the handheld keeps what could not go
        RecordLackingBitmaps(f);
        journal.stage = "exported";
        journal.exportFile = f.strExportFile;
        journal.bitmaps = f.delivery.copied;
        WriteJournal(f, journal);
        MarkCollected(f);
        journal.stage = "flagged";
        WriteJournal(f, journal);
        SendRest(f, journal, "Transfer complete: ");
        return true;
    };
    RunToEnd(f, transfer, [&](std::string& error) {
        if (Is(journal, {"collecting", "exported"})) {
            try {
                SetAside(f);
                EndJournal(f);
                error += std::string("\r\n") + kStillOnTheHandheld;
            } catch (...) {
                // The journal stays: the next start sets the files aside.
            }
        } else if (!journal.stage.empty()) {
            EndJournalQuietly(f);
        }
    });
    f.os.rapi.CeRapiUninit();
}

void cmdResend_Click(MainForm& f) {
    if (!FinishInterruptedRun(f)) return;
    auto resend = [&] {
        RunLines(f, "Resend start: ");
        if (!CopyFiles(f)) return false;
        f.delivery.keptIn = ExportFolder(f);
        std::optional<Journal> journal = ReadJournal(f);
        if (!journal) {
            // Chosen where it waits in the export folder: nothing was copied, the set is there.
            journal = Journal{"Resend", "copied", f.strExportFile, ExportFolder(f), {}};
            for (const std::string& name : f.os.files.ListFiles(ExportFolder(f), "*.bmp"))
                journal->bitmaps.push_back(name);
            WriteJournal(f, *journal);
        }
        // The export file is sent from where it was chosen.
        journal->exportFile = f.strExportFile;
        SendRest(f, *journal, "Resend complete: ");
        return true;
    };
    RunToEnd(f, resend, [&](std::string&) {
        // A copy that could not remove all it made keeps its journal, so the next start does.
        try {
            if (std::optional<Journal> left = ReadJournal(f); left && left->stage == "copying") return;
        } catch (...) {
        }
        EndJournalQuietly(f);
    });
}

bool FinishInterruptedRun(MainForm& f) {
    auto finish = [&] {
        std::optional<Journal> journal = ReadJournal(f);
        if (!journal) return false;
        bool goOn = true;
        std::string told = RecoveryText(*journal, goOn);
        f.ui.ShowLog();
        WriteLog(f, kSeparatorLine);
        WriteLog(f, "Finishing an interrupted run: " + NowText(f));
        f.ui.ShowMessage(told);
        if (Is(*journal, {"collecting", "exported"})) {
            SetAside(f);
            EndJournal(f);
            return false;
        }
        if (journal->stage == "copying") {
            const std::string folder = ExportFolder(f);
            for (size_t i = 0; i < journal->bitmaps.size(); ++i)
                for (const std::string& path : {folder + kSep + ".zc-resend-" + std::to_string(i),
                                                folder + kSep + journal->bitmaps[i]})
                    if (f.os.files.Exists(path)) f.os.files.Kill(path);
            f.os.files.Flush(folder);
            EndJournal(f);
            return false;
        }
        if (!goOn) {
            EndJournal(f);
            return false;
        }
        f.strExportFile = journal->exportFile;
        f.delivery.keptIn = journal->keptIn;
        try {
            SendRest(f, *journal, journal->run == "Resend" ? "Resend complete: " : "Transfer complete: ");
        } catch (...) {
            EndJournalQuietly(f);
            throw;
        }
        return true;
    };
    return RunToEnd(f, finish, [](std::string&) {});
}

}  // namespace zc
