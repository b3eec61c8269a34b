#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/Form.h"

namespace zc {

// The time stamp shared by the export file name and the backup folder: the general date of
// the current moment with every "/" and ":" removed and every " " turned into "_".
std::string ExportTimeStamp(MainForm& f);

// A stored job date and time, "YYYY-MM-DD HH:MM[:SS[.fff]]" (or "T" between date and time),
// or a date alone meaning its midnight. Nothing for anything else.
std::optional<LocalDateTime> ParseStoredDateTime(std::string_view text);

// Raised when the export folder still holds a whole export file that no run has sent.
constexpr int32_t kErrUnsentExport = -910;

void CreateExportFile(MainForm& f);
// Stops a transfer before it touches the handheld while an earlier export file waits unsent.
void RefuseUnsentExports(MainForm& f);
// Moves what the run sent, and whatever else lies in the export folder, into a new dated
// folder of the backup folder; an export file the run did not send stays. `beforeMove` learns
// the new folder's path before anything moves.
void BackupFiles(MainForm& f, const std::function<void(const std::string&)>& beforeMove = {});

}  // namespace zc
