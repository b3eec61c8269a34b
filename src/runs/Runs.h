#pragma once
#include <cstdint>

#include "app/Form.h"

namespace zc {

constexpr const char* kSeparatorLine = "-----------------------------------------------";
constexpr const char* kFinishedText = "Finished. For more information please see the log.";

// Raised when the rows of an export file name a bitmap that does not lie beside it.
constexpr int32_t kErrSetNotWhole = -920;

void cmdTransfer_Click(MainForm& f);
void cmdResend_Click(MainForm& f);
bool CopyFiles(MainForm& f);

}  // namespace zc
