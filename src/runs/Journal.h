#pragma once
// The run's journal: one small file in the local directory saying which run is under way, its
// export file, the bitmaps of its set, where the set lies and how far the run got. It is written
// before each step that changes what lies where, so that a run cut short (a crash, a power cut,
// a kill) is found and finished by the next start or run.
#include <optional>
#include <string>
#include <vector>

#include "core/Form.h"

namespace zc {

constexpr const char* kJournalName = "zilba-run.journal";
// How the list of the bitmaps an export file's handheld lacked is named: the export file's name
// with this in place of ".txt".
constexpr const char* kLackingList = ".lacking";

// How far a run got. A transfer: collecting (taking files from the handheld), exported (about
// to mark it collected), flagged (marked; the set waits in the export folder), sent (the server
// took every file), backing up (moving into `keptIn`), importing (the import was asked). A
// resend: copying (its set into the export folder), then copied, sent, backing up, importing.
struct Journal {
    std::string run;    // "Transfer" or "Resend"
    std::string stage;
    std::string exportFile;  // full path
    std::string keptIn;      // the folder that holds the set
    std::vector<std::string> bitmaps;  // the set's bitmaps by name; a Resend's copy: every file it copies
    int refused = 0;                   // files of the set its upload sent that the server did not take
};

std::string JournalPath(MainForm& f);
// Puts the journal on the disk: written under another name, flushed, then moved over the old one.
void WriteJournal(MainForm& f, const Journal& journal);
// The journal of a run that did not end; nothing when there is none.
std::optional<Journal> ReadJournal(MainForm& f);
// The run ended: its journal goes.
void EndJournal(MainForm& f);

// The bitmaps the rows of an export file name ("S_" + signature + ".bmp"), each once, in the
// order the rows name them; a row without a signature names none.
std::vector<std::string> BitmapsNamedBy(MainForm& f, const std::string& exportFile);

// The list, beside an export file, of the bitmaps its rows name that the handheld never had: its
// set is whole without them. It goes wherever the export file goes; the server never gets it.
std::string LackingListPath(const std::string& exportFile);
// Lists the bitmaps the rows of the run's export file name and the run did not copy, logs them
// and writes their list; nothing is written when the handheld had them all.
void RecordLackingBitmaps(MainForm& f);
// The bitmaps the list beside `exportFile` names; none without a list.
std::vector<std::string> LackingBitmaps(MainForm& f, const std::string& exportFile);

// Finishes the run a journal tells of, after saying in one box what is left and what will be
// done. False when that failed (the error box was shown): the run asked for does not start.
bool FinishInterruptedRun(MainForm& f);

}  // namespace zc
