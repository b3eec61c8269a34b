#pragma once
#include "app/Form.h"

namespace zc {

constexpr const char* kSeparatorLine = "-----------------------------------------------";
constexpr const char* kFinishedText = "Finished. For more information please see the log.";

void cmdTransfer_Click(MainForm& f);
void cmdResend_Click(MainForm& f);
bool CopyFiles(MainForm& f);

}  // namespace zc
