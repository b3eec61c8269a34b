#include <string>
#include <vector>

#include "export/Export.h"
#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace zc {

void BackupFiles(MainForm& f) {
    WriteLog(f, "Backing up files");
    std::string source = ExportFolder(f);
    std::string backup = UploadFolder(f) + kSep + ExportTimeStamp(f);

    // Copying into an earlier backup would replace its files of the same name; a backup folder
    // that already exists is refused whatever the folder call itself would do.
    if (f.os.files.Exists(backup))
        throw Error(kErrPathFileAccess, "Path/File access error: " + backup + " (already exists)");
    f.os.files.MkDir(backup);

    // Copy first, delete only after the copy succeeded: a failure leaves every file in at
    // least one of the two folders.
    for (const std::string& name : f.os.files.ListFiles(source, "*.*")) {
        std::string from = source + kSep + name;
        f.os.files.FileCopy(from, backup + kSep + name);
        f.os.files.Kill(from);
    }
}

}  // namespace zc
