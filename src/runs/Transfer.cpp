#include <exception>
#include <optional>
#include <string>

#include "app/Settings.h"
#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "runs/Runs.h"
#include "server/Server.h"

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

}  // namespace

void cmdTransfer_Click(MainForm& f) {
    if (f.busy) return;
    BusyGuard busy(f);
    if (!f.ui.AskYesNo("Have you connected the device to the PC?")) return;
    SaveSettings(f);

    std::optional<std::string> error;
    try {
        RunLines(f, "Transfer start: ");
        IncrementCounter(f, Field::Sessions);
        f.ui.SetCursor(Cursor::Hourglass);
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
            SetPurgeFlag(f);
            CreateExportFile(f);
            UploadFiles(f);
            BackupFiles(f);
            WriteLog(f, "Transfer complete: " + NowText(f));
            LaunchServerProcess(f);
            f.ui.ShowMessage(kFinishedText);
        }
    } catch (const std::exception& e) {
        error = DescribeError(e);
    }
    Finish(f, error);
    f.os.rapi.CeRapiUninit();
}

void cmdResend_Click(MainForm& f) {
    if (f.busy) return;
    BusyGuard busy(f);
    std::optional<std::string> error;
    try {
        RunLines(f, "Resend start: ");
        if (!CopyFiles(f)) return;
        f.ui.SetCursor(Cursor::Hourglass);
        UploadFiles(f);
        BackupFiles(f);
        WriteLog(f, "Resend complete: " + NowText(f));
        LaunchServerProcess(f);
        f.ui.ShowMessage(kFinishedText);
    } catch (const std::exception& e) {
        error = DescribeError(e);
    }
    Finish(f, error);
}

}  // namespace zc
