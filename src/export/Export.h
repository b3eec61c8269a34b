#pragma once
#include <string>

#include "app/Form.h"

namespace zc {

// The time stamp shared by the export file name and the backup folder.
std::string ExportTimeStamp(MainForm& f);

void CreateExportFile(MainForm& f);
void BackupFiles(MainForm& f);

}  // namespace zc
