#pragma once
// Everything that touches the docked handheld.
#include <cstddef>
#include <string>

#include "core/Form.h"
#include "core/Layout.h"

namespace zc {

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
