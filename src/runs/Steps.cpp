#include "core/Steps.h"

#include "handheld/Handheld.h"
#include "runs/Journal.h"
#include "runs/Runs.h"
#include "server/Server.h"

namespace zc {

const Steps& ProgramSteps() {
    static const Steps steps{LoadAdoFilter, InitBoundaries, FreeAdoFilter,
                             cmdTransfer_Click, cmdResend_Click, FinishInterruptedRun};
    return steps;
}

}  // namespace zc
