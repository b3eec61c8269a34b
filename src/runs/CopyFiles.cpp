#include <string>

#include "handheld/Handheld.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "runs/Runs.h"
#include "server/Server.h"
#include "platform/Waiting.h"

namespace zc {

bool CopyFiles(MainForm& f) {
    WriteLog(f, "Copying files");
    std::string chosen = f.ui.ChooseFile("Select export file", "*.txt");
    if (chosen.empty()) return false;
    // Refused before anything is copied, so that nothing is half sent.
    RefuseUnsendableSettings(f);
    RefuseUnsendableFile("The chosen export file's path", chosen);
    RefuseUnsendableExportName("The chosen export file's name", FileNameOf(chosen));
    f.strExportFile = chosen;

    size_t cut = chosen.rfind(kSep);
    std::string source = cut == std::string::npos ? std::string() : chosen.substr(0, cut);
    std::string destination = ExportFolder(f);
    // Copying a file onto itself (the export folder chosen as source) is a no-op of the file
    // system, so nothing is emptied.
    for (const std::string& name : f.os.files.ListFiles(source, "*.*")) {
        // Another export file of that folder is not sent by this run: copied, it would stay in
        // the export folder and stop the next transfer as one that never reached the server.
        if (name != FileNameOf(chosen) && WildcardMatch("c_zilba_*.txt", name)) continue;
        WriteLog(f, "  .." + name);
        Waiting(Wait::Brief);
        f.os.files.FileCopy(source + kSep + name, destination + kSep + name);
    }
    return true;
}

}  // namespace zc
