#pragma once
// What the steps see of the two windows: the fields and counters of the main window, the log,
// the boxes, the file dialog and the cursor. The Qt and Windows shells implement it; tests use
// a fake.
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Platform.h"

namespace zc {

enum class Field {
    DeviceDir,  // txtDeviceDir
    LocalDir,   // txtLocalDir
    Server,     // txtServer
    Site,       // txtSite
    Sessions,   // txtSessions
    Events,     // txtEvents
    Signs,      // txtSigns
    Success,    // txtSuccess
    Failure,    // txtFailure
};

enum class Cursor { Arrow, Hourglass };

class Form {
public:
    virtual ~Form() = default;
    virtual std::string Text(Field field) = 0;
    virtual void SetText(Field field, const std::string& text) = 0;
    virtual void Refresh() = 0;  // repaints the main window at once

    // The log window: a line appended with CR LF, shown at once (creating the window hidden
    // when it does not exist yet); Show brings it up modeless.
    virtual void WriteLog(const std::string& message) = 0;
    virtual void ShowLog() = 0;

    // Boxes titled "Zilba Companion" without an icon; Yes is the default button.
    virtual bool AskYesNo(const std::string& prompt) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    // The "Warning" box with the critical icon.
    virtual void ShowWarning(const std::string& text) = 0;
    // The file-open dialog, opening in `folder`; the empty string when the user cancels.
    virtual std::string ChooseFile(const std::string& title, const std::string& filter,
                                   const std::string& folder) = 0;
    virtual void SetCursor(Cursor cursor) = 0;
};

// What the current run has sent and where its files lie, for its closing box.
struct Delivery {
    std::vector<std::string> copied;  // names, in the export folder, of the bitmaps this run copied
    std::vector<std::string> sent;  // names, in the export folder, of the files posted
    bool allSent = false;           // the upload went through every file
    int refused = 0;                // posted files the server did not answer 200 for
    int importStatus = 0;           // the import request's answer; 0 while not asked
    std::string importElsewhere;    // why that answer was not the server's own, when it was not
    bool importUnanswered = false;  // asked, but no answer came: the server may be importing still
    std::string keptIn;             // the folder that holds the run's files once only the PC has them
};

// The main window's state as the steps share it.
struct MainForm {
    MainForm(Form& form, Platform& platform) : ui(form), os(platform) {}
    Form& ui;
    Platform& os;
    std::string strExportFile;  // the current export file, full path
    Delivery delivery;          // of the current run
};

inline void WriteLog(MainForm& f, const std::string& message) { f.ui.WriteLog(message); }

// Runs a command of a window. The runs report their own errors; one that escapes is shown the
// same way, so that it cannot end the program.
inline void RunShowingErrors(Form& ui, const std::function<void()>& run) {
    try {
        run();
    } catch (const std::exception& e) {
        ui.ShowMessage("Error: " + DescribeError(e));
    } catch (...) {
        ui.ShowMessage("Error: Unknown error");
    }
}

// Reads a counter as a decimal number, adds one, writes it back and repaints. The count goes on
// past 32767 (no run stops for a count); text that is not a number raises 13.
void IncrementCounter(MainForm& f, Field counter);

}  // namespace zc
