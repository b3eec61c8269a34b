#pragma once
// Where a run's files lie: the handheld's database on both sides, and the local directory's
// Export and Upload folders.
#include <string>

#include "core/Form.h"

namespace zc {

constexpr const char* kDatabaseOnDevice = "P_ZILBA.CDB";
constexpr const char* kDatabaseOnPc = "P_ZILBA.MDB";

// Local paths, built by plain concatenation from the field as typed.
std::string ExportFolder(MainForm& f);  // local directory + sep + "Export"
std::string UploadFolder(MainForm& f);  // local directory + sep + "Upload"

}  // namespace zc
