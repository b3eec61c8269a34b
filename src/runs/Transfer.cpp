#include <exception>
#include <optional>
#include <string>

#include "app/Settings.h"
#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "platform/Waiting.h"

namespace zc {

namespace {

std::string NowText(MainForm& f) { return GeneralDate(f.os.clock, f.os.clock.Now()); }

// Keeps a click that arrives during a run from starting a second one.
class BusyGuard {
public:
    explicit BusyGuard(MainForm& f) : f_(f) { f_.busy = true; }
    ~BusyGuard() { f_.busy = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    MainForm& f_;
};

void RunLines(MainForm& f, const char* start) {
    f.ui.ShowLog();
    WriteLog(f, kSeparatorLine);
    WriteLog(f, start + NowText(f));
}

void Finish(MainForm& f, const std::optional<std::string>& error) {
    f.ui.SetCursor(Cursor::Arrow);
    if (error) f.ui.ShowMessage("Error: " + *error);
}

// Where the user finds what this run could not deliver, and how to send it.
std::string KeptText(MainForm& f) {
    return "The files are kept in " + f.delivery.keptIn + ". Send them again with Resend, choosing " +
           FileNameOf(f.strExportFile) + " there.";
}

// The error box's text: the error, and once the run's files lie only on the PC, where they are.
std::string ErrorText(MainForm& f, const std::exception& e) {
    std::string text = DescribeError(e);
    const Delivery& d = f.delivery;
    if (d.importUnanswered) text += "\r\nThe files are kept in " + d.keptIn + ".";
    else if (d.allSent && d.refused == 0)  // a failure after the upload: only the import is missing
        text += "\r\nEvery file reached the server, but it has not imported them. " + KeptText(f);
    else if (!d.keptIn.empty()) text += "\r\nNot everything reached the server. " + KeptText(f);
    return text;
}

// "Finished" only when the server took every file and confirmed the import.
std::string ClosingText(MainForm& f) {
    const Delivery& d = f.delivery;
    const bool confirmed = d.importStatus == 200 && d.importElsewhere.empty();
    if (d.refused == 0 && confirmed) return kFinishedText;
    std::string count = std::to_string(d.sent.size());
    std::string text = "Not everything reached the server: ";
    text += d.refused == 0 ? "it accepted all " + count + " files sent"
                           : "it did not accept " + std::to_string(d.refused) + " of the " + count + " files sent";
    if (confirmed) text += ", and it confirmed the import.";
    else text += std::string(d.refused == 0 ? ", but" : ", and") + " it did not confirm the import (" +
                 (d.importElsewhere.empty() ? "status " + std::to_string(d.importStatus) : d.importElsewhere) + ").";
    return text + "\r\n" + KeptText(f);
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

}  // namespace

void cmdTransfer_Click(MainForm& f) {
    if (f.busy) return;
    BusyGuard busy(f);
    if (!f.ui.AskYesNo("Have you connected the device to the PC?")) return;
    SaveSettings(f);

    f.delivery = {};
    std::optional<std::string> error;
    try {
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
        bool goOn = true;
        if (CheckPurgeFlag(f))
            goOn = f.ui.AskYesNo("Data was downloaded from this device before.\r\n"
                                 "Do you want to continue?");
        if (goOn) {
            CopyDatabase(f);
            CopySignatures(f);
            CreateExportFile(f);
            RefuseUnsendableFiles(f);  // before the flag, so the handheld keeps what could not go
            MarkCollected(f);
            UploadFiles(f);
            BackupFiles(f);
            WriteLog(f, "Transfer complete: " + NowText(f));
            LaunchServerProcess(f);
            f.ui.ShowMessage(ClosingText(f));
        }
    } catch (const std::exception& e) {
        error = ErrorText(f, e);
    }
    Finish(f, error);
    f.os.rapi.CeRapiUninit();
}

void cmdResend_Click(MainForm& f) {
    if (f.busy) return;
    BusyGuard busy(f);
    f.delivery = {};
    std::optional<std::string> error;
    try {
        RunLines(f, "Resend start: ");
        if (!CopyFiles(f)) return;
        f.delivery.keptIn = ExportFolder(f);
        f.ui.SetCursor(Cursor::Hourglass);
        UploadFiles(f);
        BackupFiles(f);
        WriteLog(f, "Resend complete: " + NowText(f));
        LaunchServerProcess(f);
        f.ui.ShowMessage(ClosingText(f));
    } catch (const std::exception& e) {
        error = ErrorText(f, e);
    }
    Finish(f, error);
}

}  // namespace zc
