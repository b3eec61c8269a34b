#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "app/Form.h"

namespace zc {

// The time stamp shared by the export file name and the backup folder: the general date of
// the current moment with every "/" and ":" removed and every " " turned into "_".
std::string ExportTimeStamp(MainForm& f);

// A stored job date and time, "YYYY-MM-DD HH:MM[:SS[.fff]]" (or "T" between date and time),
// or a date alone meaning its midnight. Nothing for anything else.
std::optional<LocalDateTime> ParseStoredDateTime(std::string_view text);

void CreateExportFile(MainForm& f);
void BackupFiles(MainForm& f);

}  // namespace zc
