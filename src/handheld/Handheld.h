#pragma once
// Everything that touches the docked handheld, and the shared folder layout.
#include <cstddef>
#include <string>

#include "app/Form.h"

namespace zc {

constexpr const char* kDatabaseOnDevice = "P_ZILBA.CDB";
constexpr const char* kDatabaseOnPc = "P_ZILBA.MDB";

// Local paths, built by plain concatenation from the field as typed.
std::string ExportFolder(MainForm& f);  // local directory + sep + "Export"
std::string UploadFolder(MainForm& f);  // local directory + sep + "Upload"

void CheckDirectories(MainForm& f);
bool CheckPurgeFlag(MainForm& f);
void SetPurgeFlag(MainForm& f);

void LoadAdoFilter(MainForm& f);
void FreeAdoFilter(MainForm& f);
void CopyDatabase(MainForm& f);

void CopySignatures(MainForm& f);
// The code units before the first zero one; 9 when there is none.
std::string WideBufferToString(const char16_t* buffer, size_t count);

}  // namespace zc
