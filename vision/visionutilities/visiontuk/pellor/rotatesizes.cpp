// Sizes of the rotate block: the full (expanded) output size, the work vector sizes and the sine table.
#include <algorithm>
#include <cmath>
#include <vector>

#include "blockutils.h"
#include "pellor/anglemath.h"
#include "pellor/geometry.h"
#include "pellor/pellor.h"
#include "vekdsp.h"

using namespace sysobj;
using namespace VekSimCommon;
using namespace pellor;

namespace {

constexpr double kHalfPi = 1.5707963267948966;

int32_t truncToInt(double v) {
    return saturatingTrunc(v);
}

// The sine table exactly as the run-time parameter holds it, in the kernel's sample type.
template <typename T>
void sineTableAs(T* table) {
    double angle = 0.0;
    for (int32_t k = 0; k < kSineTableLength; ++k) {
        table[k] = static_cast<T>(std::sin(angle));
        angle += kSineTableStep;
    }
}

// The sheared width S (never below W) that the floating-point kernel computes for this angle and size,
// with the kernel's own precision, constants and sine table.
template <typename T>
int32_t kernelShearedWidth(double angle, int32_t rows, int32_t cols, bool byTable) {
    T table[kSineTableLength];
    if (byTable) sineTableAs(table);
    ReducedAngle how;
    const T theta = reduceRotationAngle(static_cast<T>(angle), &how);
    return computeShearGeometry(theta, how.swap ? cols : rows, how.swap ? rows : cols,
                                byTable ? table : nullptr)
        .shearedWidth;
}

}  // namespace

DRAVO_CALLBACK void getFullOutputDimsForRotation(BlockHandle* S, int32_t rowsIn, int32_t colsIn,
                                                 int32_t* rowsOut, int32_t* colsOut) {
    if (isAngleFromPort(S)) {
        (void)paramDouble(S, kMaxAngle);  // any angle up to a half turn fits the diagonal
        const double r = rowsIn, c = colsIn;
        *rowsOut = fullRotatedRows(rowsIn, colsIn, std::atan(c / r));
        *colsOut = fullRotatedCols(rowsIn, colsIn, std::atan(r / c));
        return;
    }
    dspParam angleParam(S, kAngle, "dspshared::systemmessagefragment::mapBlkAngleRadians");
    if (ssGetErrorStatus(S) != nullptr) return;
    const double a = angleParam.getRealValueAsDouble(0);
    int32_t q = -1;
    if (quarterTurnsOf(a, &q)) {
        const bool odd = (q % 2) != 0;
        *rowsOut = odd ? colsIn : rowsIn;
        *colsOut = odd ? rowsIn : colsIn;
        return;
    }
    *rowsOut = fullRotatedRows(rowsIn, colsIn, a);
    *colsOut = fullRotatedCols(rowsIn, colsIn, a);
}

DRAVO_CALLBACK int32_t maxPossibleWmaxSize_D(double angle, int32_t a, int32_t b) {
    return truncToInt(std::fabs(std::tan(std::fabs(angle) * 0.5)) * a + b + 1.0);
}

DRAVO_CALLBACK void getDWorksSize(BlockHandle* S, int32_t* lineLength, int32_t* shearedSize) {
    int32_t rows = 0, cols = 0;
    blockutils::getInputPortMatrixDims(S, kImagePort, &rows, &cols);
    int32_t fullRows = 0, fullCols = 0;
    if (isExpandedOutput(S)) {
        blockutils::getOutputPortMatrixDims(S, 0, &fullRows, &fullCols);
    } else {
        getFullOutputDimsForRotation(S, rows, cols, &fullRows, &fullCols);
    }
    const int32_t actualRows = rows, actualCols = cols;
    if (rows % 2 == 0) ++rows;
    if (cols % 2 == 0) ++cols;

    int32_t w = 0;
    if (isAngleFromPort(S)) {
        const double t = std::fabs(std::tan(0.7853981633974483));
        w = std::max(truncToInt(t * rows + cols + 1.0), truncToInt(t * cols + rows + 1.0));
    } else {
        const double angle = paramDouble(S, kAngle);
        ReducedAngle how;
        const double b = reduceRotationAngle(angle, &how);
        const double t = std::tan(b * 0.5);
        w = how.swap ? truncToInt(t * cols + rows + 1.0) : truncToInt(t * rows + cols + 1.0);
    }
    if (w % 2 == 0) ++w;

    int32_t m = std::max({w, fullCols, fullRows});
    if (!isAngleFromPort(S)) {
        // The kernel computes its own geometry (a single image in single precision, perhaps from the sine
        // table) and may land on the other side of a quarter-turn boundary than the double angle above:
        // the buffers must hold the line it will compute.
        const double angle = paramDouble(S, kAngle);
        const DataTypeId type = ssGetInputPortDataType(S, kImagePort);
        const bool byTable = isSineByTable(S);
        int32_t kernelWidth = 0;
        if (type == SS_SINGLE) {
            kernelWidth = kernelShearedWidth<float>(angle, actualRows, actualCols, byTable);
        } else if (type == SS_DOUBLE) {
            kernelWidth = kernelShearedWidth<double>(angle, actualRows, actualCols, byTable);
        }
        m = std::max(m, kernelWidth);
    }
    const int32_t n = std::max({rows, cols, fullRows});
    const int32_t nOdd = n % 2 != 0 ? n : n + 1;
    *lineLength = std::max(m, n);
    *shearedSize = (m + 1) * nOdd;
}

DRAVO_CALLBACK void ondCreateSineTableRTP(BlockHandle* S, double angleStep, int32_t rtpIndex,
                                          DataTypeId dataType, const char* name) {
    const int32_t n = truncToInt(std::ceil(kHalfPi / angleStep));
    if (n < 0) {
        dspError(S, "dspshared::system::rtpAllocFailed");
        return;
    }
    double* table = static_cast<double*>(dvCalloc(static_cast<size_t>(n) + 2, sizeof(double)));
    if (table == nullptr) {
        dspError(S, "dspshared::system::rtpAllocFailed");
        return;
    }
    double angle = 0.0;
    for (int32_t k = 0; k < n + 2; ++k) {
        table[k] = std::sin(angle);
        angle += angleStep;
    }
    const int32_t dims[2] = {1, n + 2};
    ConvertDTypeAndCreateRTP(S, table, 2, dims, dataType, rtpIndex, name);
    dvFree(table);
}
