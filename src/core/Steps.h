#pragma once
// What the core and the window shells ask of the steps, handed in by the program's start
// (runs/Steps.cpp), so that the core names no step.
#include "core/Form.h"

namespace zc {

struct Steps {
    void (*loadFilter)(MainForm&);  // the filter library that converts the handheld's database
    void (*initBoundaries)();       // the upload's multipart boundaries
    void (*freeFilter)(MainForm&);
    void (*transfer)(MainForm&);  // cmdTransfer
    void (*resend)(MainForm&);    // cmdResend
    // A run a journal tells of is finished; false when that failed and its box was shown.
    bool (*finishInterruptedRun)(MainForm&);
};

}  // namespace zc
