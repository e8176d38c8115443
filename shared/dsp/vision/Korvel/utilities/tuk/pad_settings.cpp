#include "pad_settings.h"

#include "qzarray.h"

namespace pad {

namespace {

int32_t readPopup(sysobj::SysObjAdaptorSFun* S, int32_t index, int32_t fallback) {
    const qzArray_tag* a = sysobj::ssGetSFcnParam(S, index);
    if (a == nullptr || qzIsEmpty(a)) {
        return fallback;
    }
    const double v = qzGetScalar(a);
    // Out-of-range popups are refused by the checks; keep the conversion itself defined.
    if (!(v >= -1e6 && v <= 1e6)) {
        return fallback;
    }
    return static_cast<int32_t>(v);
}

double readScalar(sysobj::SysObjAdaptorSFun* S, int32_t index) {
    const qzArray_tag* a = sysobj::ssGetSFcnParam(S, index);
    return (a == nullptr || qzIsEmpty(a)) ? 0.0 : qzGetRealElementAsDouble(a, 0);
}

std::vector<double> readVector(sysobj::SysObjAdaptorSFun* S, int32_t index) {
    const qzArray_tag* a = sysobj::ssGetSFcnParam(S, index);
    std::vector<double> v;
    const size_t n = qzGetNumberOfElements(a);
    v.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        v.push_back(qzGetRealElementAsDouble(a, i));
    }
    return v;
}

}  // namespace

PadSettings readPadSettings(sysobj::SysObjAdaptorSFun* S) {
    PadSettings p;
    p.form = readPopup(S, P_FORM, p.form);
    p.method = readPopup(S, P_METHOD, p.method);
    p.valueSource = readPopup(S, P_VALUE_SOURCE, p.valueSource);
    p.sizeSpec = readPopup(S, P_SIZE_SPEC, p.sizeSpec);
    p.sizeSwitch4 = readPopup(S, P_SIZE_SWITCH_4, p.sizeSwitch4);
    p.rowsWhere = readPopup(S, P_ROWS_WHERE, p.rowsWhere);
    p.rowsPadSize = readVector(S, P_ROWS_PAD_SIZE);
    p.rowSize = readScalar(S, P_ROW_SIZE);
    p.sizeSwitch8 = readPopup(S, P_SIZE_SWITCH_8, p.sizeSwitch8);
    p.colsWhere = readPopup(S, P_COLS_WHERE, p.colsWhere);
    p.colsPadSize = readVector(S, P_COLS_PAD_SIZE);
    p.colSize = readScalar(S, P_COL_SIZE);
    p.truncationAction = readPopup(S, P_TRUNCATION_ACTION, p.truncationAction);
    p.ndChoice = readPopup(S, P_ND_DIMS_CHOICE, p.ndChoice);
    p.ndWhere = readPopup(S, P_ND_WHERE, p.ndWhere);
    p.ndSizeSwitch = readPopup(S, P_ND_SIZE_SWITCH, p.ndSizeSwitch);
    p.ndOutputSizes = readVector(S, P_ND_OUTPUT_SIZES);
    p.ndDims = readVector(S, P_ND_DIMS);
    p.ndPadBegin = readVector(S, P_ND_PAD_BEGIN);
    p.ndPadEnd = readVector(S, P_ND_PAD_END);
    return p;
}

}  // namespace pad
