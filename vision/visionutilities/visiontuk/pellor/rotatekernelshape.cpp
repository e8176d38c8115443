// The sizes and choices both rotation engines take from the block when they are built.
#include "blockutils.h"
#include "pellor/pellor.h"
#include "pellor/rotatesfcncache.h"

using namespace sysobj;

namespace pellor {

bool gatherKernelShape(SysObjAdaptorSFun* S, RotateKernelShape& c) {
    c.S = S;
    blockutils::getInputPortMatrixDims(S, kImagePort, &c.rows, &c.cols, &c.planes);
    c.sameSize = !isExpandedOutput(S);
    blockutils::getOutputPortMatrixDims(S, 0, &c.outRowsMax, &c.outColsMax);
    if (c.sameSize) {
        getFullOutputDimsForRotation(S, c.rows, c.cols, &c.fullRows, &c.fullCols);
    } else {
        c.fullRows = c.outRowsMax;
        c.fullCols = c.outColsMax;
    }
    if (ssGetErrorStatus(S) != nullptr) return false;
    c.quarterTurnOnly = isQuarterTurnOnly(S, &c.quarterTurns);
    if (!c.quarterTurnOnly) {
        c.lineLen = ssGetDWorkWidth(S, kDWorkLineBuffer) - 1;
        c.shearedLen = ssGetDWorkWidth(S, kDWorkShearedImage);
    }
    c.method = paramInt(S, kInterpolation);
    return true;
}

}  // namespace pellor
