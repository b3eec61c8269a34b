#pragma once
#include "app/Form.h"

namespace zc {

// Fills the boundary table; called once at start-up.
void InitBoundaries();

void UploadFiles(MainForm& f);
void LaunchServerProcess(MainForm& f);

}  // namespace zc
