// Sizes of the rotate block: the full (expanded) output size, the work vector sizes and the sine table.
#include <algorithm>
#include <cmath>
#include <vector>

#include "blockutils.h"
#include "pellor/anglemath.h"
#include "pellor/geometry.h"
#include "pellor/pellor.h"
#include "pellor/threeshear.h"
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

// What one step of the three shears needs of the work vectors: rows of the sheared buffer (its stride,
// which also bounds the column pass 2 shears) and the sheared width.
struct ShearNeeds {
    int32_t rows = 0, cols = 0;
    void include(const ShearNeeds& o) {
        rows = std::max(rows, o.rows);
        cols = std::max(cols, o.cols);
    }
};

// The floating-point kernel's needs for this angle and size, with the kernel's own precision, constants
// and sine table: a single image reduces a single angle and may land on the other side of a quarter-turn
// boundary than the double angle.
template <typename T>
ShearNeeds floatKernelNeeds(double angle, int32_t rows, int32_t cols, int32_t fullRows, bool byTable) {
    T table[kSineTableLength];
    if (byTable) sineTableAs(table);
    ReducedAngle how;
    const T theta = reduceRotationAngle(static_cast<T>(angle), &how);
    const int32_t rowsPre = how.swap ? cols : rows, colsPre = how.swap ? rows : cols;
    const ShearGeometry<T> g = computeShearGeometry(theta, rowsPre, colsPre, byTable ? table : nullptr);
    return {shearStride(fullRows, rowsPre, g.rotatedRows), g.shearedWidth};
}

// Allowance in pixels for the fixed-point engine's table and working-type rounding of the sheared width.
constexpr double kFixedWidthSlack = 0.05;
// Within this of a quarter-turn boundary the fixed engine's stored pi may reduce the other way.
constexpr double kBoundaryBand = 1e-3;

// The fixed-point engine's needs for one reduction: its rotated size is held at the full size before the
// parity step, and its sheared width may come out a little above the double one.
ShearNeeds fixedReductionNeeds(double theta, int32_t rowsPre, int32_t colsPre, int32_t fullRows,
                               int32_t fullCols) {
    const ShearGeometry<double> g = computeShearGeometry(theta, rowsPre, colsPre, nullptr);
    int32_t H = std::min(g.rotatedRows, fullRows);
    int32_t W = std::min(g.rotatedCols, fullCols);
    if ((H - rowsPre) % 2 != 0) ++H;
    if ((W - colsPre) % 2 != 0) ++W;
    const int32_t S =
        saturatingTrunc(std::ceil(rowsPre * std::tan(theta * 0.5) + colsPre + kFixedWidthSlack));
    return {shearStride(fullRows, rowsPre, H), std::max({S, W, colsPre, g.shearedWidth})};
}

ShearNeeds fixedKernelNeeds(double angle, int32_t rows, int32_t cols, int32_t fullRows, int32_t fullCols) {
    ReducedAngle how;
    const double theta = reduceRotationAngle(angle, &how);
    const int32_t rowsPre = how.swap ? cols : rows, colsPre = how.swap ? rows : cols;
    ShearNeeds n = fixedReductionNeeds(theta, rowsPre, colsPre, fullRows, fullCols);
    // The reduction the other way round: a quarter turn more (theta near 0) or less (theta near pi/2).
    if (theta < kBoundaryBand) {
        n.include(fixedReductionNeeds(kHalfPi - kBoundaryBand, colsPre, rowsPre, fullRows, fullCols));
    } else if (theta > kHalfPi - kBoundaryBand) {
        n.include(fixedReductionNeeds(0.0, colsPre, rowsPre, fullRows, fullCols));
    }
    return n;
}

// Any angle from the port: the rotated rows stay within the diagonal, plus one for the parity step.
ShearNeeds portAngleNeeds(int32_t rows, int32_t cols, int32_t fullRows) {
    const double diagonal = std::sqrt(double(rows) * rows + double(cols) * cols);
    const int32_t rotatedRows = saturatingTrunc(std::ceil(diagonal * (1.0 + 1e-9))) + 1;
    return {std::max({fullRows, rows, cols, rotatedRows}), 0};
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

    const int32_t m = std::max({w, fullCols, fullRows});
    const int32_t n = std::max({rows, cols, fullRows});
    const int32_t nOdd = n % 2 != 0 ? n : n + 1;

    // The engine places every row and column where its geometry puts them; the buffers grow past the
    // sizes above when that needs more (near quarter turns, where the rotated size passes the full size).
    ShearNeeds needs;
    if (isAngleFromPort(S)) {
        needs = portAngleNeeds(actualRows, actualCols, fullRows);
    } else {
        const double angle = paramDouble(S, kAngle);
        const DataTypeId type = ssGetInputPortDataType(S, kImagePort);
        const bool floatEngine =
            blockutils::isBuiltInFloatType(type) && blockutils::useFloatingPointPath(S, kImagePort);
        if (floatEngine && type == SS_SINGLE) {
            needs = floatKernelNeeds<float>(angle, actualRows, actualCols, fullRows, isSineByTable(S));
        } else if (floatEngine) {
            needs = floatKernelNeeds<double>(angle, actualRows, actualCols, fullRows, isSineByTable(S));
        } else {
            needs = fixedKernelNeeds(angle, actualRows, actualCols, fullRows, fullCols);
        }
    }
    const int32_t width = std::max(m, needs.cols);
    const int32_t height = std::max(nOdd, needs.rows);
    *lineLength = std::max({width, n, needs.rows});
    *shearedSize = (width + 1) * height;
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
