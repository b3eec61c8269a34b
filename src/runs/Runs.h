#pragma once
#include <cstdint>

#include "core/Form.h"
#include "core/Steps.h"

namespace zc {

constexpr const char* kSeparatorLine = "-----------------------------------------------";
constexpr const char* kFinishedText = "Finished. For more information please see the log.";

// Raised when the rows of an export file name a bitmap that does not lie beside it.
constexpr int32_t kErrSetNotWhole = -920;
// Raised for a Resend of an export file set aside: its rows are still unmarked on the handheld.
constexpr int32_t kErrSetAside = -921;
// Added to the error box of a transfer that failed before the handheld was marked collected.
constexpr const char* kStillOnTheHandheld = "The handheld still holds its data: the next Transfer collects it anew.";
// How the name of a folder of set-aside files ends.
constexpr const char* kSetAside = " set aside";

void cmdTransfer_Click(MainForm& f);
void cmdResend_Click(MainForm& f);
bool CopyFiles(MainForm& f);

// The steps as the program runs them, for the core and the window shells.
const Steps& ProgramSteps();

}  // namespace zc
