#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace zc {

namespace {
std::u16string PurgeFlagPath(MainForm& f) {
    return Utf8ToUtf16(f.ui.Text(Field::DeviceDir) + "\\.purge");
}
}  // namespace

void CheckDirectories(MainForm& f) {
    WriteLog(f, "Checking directories...");
    for (const std::string& folder :
         {f.ui.Text(Field::LocalDir), ExportFolder(f), UploadFolder(f)}) {
        if (f.os.files.Exists(folder)) continue;
        WriteLog(f, "Creating " + folder);
        f.os.files.MkDir(folder);
    }
}

bool CheckPurgeFlag(MainForm& f) {
    WriteLog(f, "Checking for purge flag");
    CE_FIND_DATA found{};
    HANDLE search = f.os.rapi.CeFindFirstFile(PurgeFlagPath(f).c_str(), &found);
    if (search == kInvalidHandle) return false;
    f.os.rapi.CeFindClose(search);
    return true;
}

void SetPurgeFlag(MainForm& f) {
    WriteLog(f, "Setting purge flag in handheld device");
    HANDLE flag = f.os.rapi.CeCreateFile(PurgeFlagPath(f).c_str(), kGenericWrite, kFileShareWrite,
                                         nullptr, kCreateAlways, kFileAttributeNormal, 0);
    if (flag == kInvalidHandle) throw Error(-500, "Failed to create purge flag");
    f.os.rapi.CeCloseHandle(flag);
}

}  // namespace zc
