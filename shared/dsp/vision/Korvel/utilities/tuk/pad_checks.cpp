#include "pad_checks.h"

#include <set>

#include "pad_instance.h"
#include "pad_settings.h"
#include "vekdsp.h"

namespace pad {

namespace {

using sysobj::SysObjAdaptorSFun;
using VekSimCommon::dspIsPopupParamValid;
using VekSimCommon::dspParamCheckerID;

constexpr const char* kValue = "dspshared::systemmessagefragment::mapBlkValue";
constexpr const char* kPadSizeAlongRows = "dspshared::systemmessagefragment::mapBlkPadSizeAlongRows";
constexpr const char* kRowSize = "dspshared::systemmessagefragment::mapBlkRowSize";
constexpr const char* kPadSizeAlongColumns = "dspshared::systemmessagefragment::mapBlkPadSizeAlongColumns";
constexpr const char* kColumnSize = "dspshared::systemmessagefragment::mapBlkColumnSize";
constexpr const char* kDimensionsToPad = "dspshared::systemmessagefragment::mapBlkDimensionsToPad";
constexpr const char* kPadAtBeginning = "dspshared::systemmessagefragment::mapBlkPadAtBeginning";
constexpr const char* kPadAtEnd = "dspshared::systemmessagefragment::mapBlkPadAtEnd";
constexpr const char* kOutputSize = "dspshared::systemmessagefragment::mapBlkOutputSize";

// Shape codes of the checker: 1 scalar, 2 vector, 3 scalar or two elements.
enum { SHAPE_SCALAR = 1, SHAPE_VECTOR = 2, SHAPE_ONE_OR_TWO = 3 };
// Class codes: 0 any numeric value, 1 whole numbers. Rule 2: x >= lo.
enum { CLASS_ANY = 0, CLASS_WHOLE = 1, RULE_AT_LEAST = 2 };

bool checkWholeNotBelow(SysObjAdaptorSFun* S, int32_t index, const char* fragment, int32_t shape,
                        double lowest) {
    return dspParamCheckerID(S)
        .setShape(shape)
        .setRealOnly(true)
        .setValueClassCheck(CLASS_WHOLE)
        .setValueRule(RULE_AT_LEAST, lowest)
        .check(index, fragment);
}

// A popup's value; anything that is not a small number reads as 0, which no popup accepts.
int32_t popup(SysObjAdaptorSFun* S, int32_t index) {
    const double v = qzGetScalar(sysobj::ssGetSFcnParam(S, index));
    return v >= -1e6 && v <= 1e6 ? static_cast<int32_t>(v) : 0;
}

// A size switch and, when the size comes from the dialog, the size itself. outputSizeInForce is set when a
// dialog-given output size applies.
bool checkSizeAndSwitch(SysObjAdaptorSFun* S, int32_t switchIndex, int32_t sizeIndex, const char* fragment,
                        bool& outputSizeInForce) {
    if (!dspIsPopupParamValid(S, switchIndex, 1, 2)) {
        return false;
    }
    if (popup(S, switchIndex) != SIZE_FROM_DIALOG) {
        return true;
    }
    outputSizeInForce = true;
    return checkWholeNotBelow(S, sizeIndex, fragment, SHAPE_SCALAR, 1.0);
}

bool check2DSide(SysObjAdaptorSFun* S, int32_t whereIndex, int32_t padSizeIndex, const char* padSizeFragment,
                 int32_t switchIndex, int32_t sizeIndex, const char* sizeFragment, bool& outputSizeInForce) {
    if (!dspIsPopupParamValid(S, whereIndex, 1, 4)) {
        return false;
    }
    const int32_t where = popup(S, whereIndex);
    if (where == WHERE2D_NONE) {
        return true;
    }
    if (popup(S, P_SIZE_SPEC) == SIZES_PAD) {
        return checkWholeNotBelow(S, padSizeIndex, padSizeFragment,
                                  where == WHERE2D_BOTH ? SHAPE_ONE_OR_TWO : SHAPE_SCALAR, 0.0);
    }
    return checkSizeAndSwitch(S, switchIndex, sizeIndex, sizeFragment, outputSizeInForce);
}

bool checkListed(SysObjAdaptorSFun* S, bool& outputSizeInForce) {
    if (!checkWholeNotBelow(S, P_ND_DIMS, kDimensionsToPad, SHAPE_VECTOR, 1.0)) {
        return false;
    }
    const qzArray_tag* dims = sysobj::ssGetSFcnParam(S, P_ND_DIMS);
    const size_t count = qzGetNumberOfElements(dims);
    std::set<double> seen;
    for (size_t i = 0; i < count; ++i) {
        if (!seen.insert(qzGetRealElementAsDouble(dims, i)).second) {
            VekSimCommon::dspError(S, "dspshared::system::dimToPadNotUnique");
            return false;
        }
    }
    auto sameCount = [&](int32_t index, const char* messageClass) {
        if (qzGetNumberOfElements(sysobj::ssGetSFcnParam(S, index)) != count) {
            VekSimCommon::dspError(S, messageClass);
            return false;
        }
        return true;
    };
    if (popup(S, P_SIZE_SPEC) == SIZES_PAD) {
        return checkWholeNotBelow(S, P_ND_PAD_BEGIN, kPadAtBeginning, SHAPE_VECTOR, 0.0) &&
               checkWholeNotBelow(S, P_ND_PAD_END, kPadAtEnd, SHAPE_VECTOR, 0.0) &&
               sameCount(P_ND_PAD_BEGIN, "dspshared::system::padBegDimsDiffer") &&
               sameCount(P_ND_PAD_END, "dspshared::system::padEndDimsDiffer");
    }
    if (!dspIsPopupParamValid(S, P_ND_SIZE_SWITCH, 1, 2)) {
        return false;
    }
    if (popup(S, P_ND_SIZE_SWITCH) != SIZE_FROM_DIALOG) {
        return true;
    }
    outputSizeInForce = true;
    return checkWholeNotBelow(S, P_ND_OUTPUT_SIZES, kOutputSize, SHAPE_VECTOR, 1.0) &&
           sameCount(P_ND_OUTPUT_SIZES, "dspshared::system::padOutSzDimsDiffer");
}

bool checkNDForm(SysObjAdaptorSFun* S, bool& outputSizeInForce) {
    if (!dspIsPopupParamValid(S, P_METHOD, 1, 1) || !dspIsPopupParamValid(S, P_ND_DIMS_CHOICE, 1, 5) ||
        !dspIsPopupParamValid(S, P_ND_WHERE, 1, 3)) {
        return false;
    }
    switch (popup(S, P_ND_DIMS_CHOICE)) {
        case DIMS_COLUMNS:
            return checkSizeAndSwitch(S, P_SIZE_SWITCH_8, P_COL_SIZE, kColumnSize, outputSizeInForce);
        case DIMS_ROWS:
            return checkSizeAndSwitch(S, P_SIZE_SWITCH_4, P_ROW_SIZE, kRowSize, outputSizeInForce);
        case DIMS_BOTH:
            return checkSizeAndSwitch(S, P_SIZE_SWITCH_8, P_COL_SIZE, kColumnSize, outputSizeInForce) &&
                   checkSizeAndSwitch(S, P_SIZE_SWITCH_4, P_ROW_SIZE, kRowSize, outputSizeInForce);
        case DIMS_LISTED:
            return checkListed(S, outputSizeInForce);
        default:
            return true;
    }
}

}  // namespace

void checkPadParameters(SysObjAdaptorSFun* S) {
    if (!dspIsPopupParamValid(S, P_FORM, 1, 2)) {
        return;
    }
    const int32_t form = popup(S, P_FORM);
    if (popup(S, P_METHOD) == PAD_CONSTANT) {
        if (!dspIsPopupParamValid(S, P_VALUE_SOURCE, 1, 2)) {
            return;
        }
        if (popup(S, P_VALUE_SOURCE) == VALUE_FROM_DIALOG && !dspParamCheckerID(S)
                                                                  .setShape(SHAPE_SCALAR)
                                                                  .setValueClassCheck(CLASS_ANY)
                                                                  .check(P_PAD_VALUE, kValue)) {
            return;
        }
    }
    if (!dspIsPopupParamValid(S, P_SIZE_SPEC, 1, 2)) {
        return;
    }
    bool outputSizeInForce = false;
    if (form == FORM_2D) {
        if (!dspIsPopupParamValid(S, P_METHOD, 1, 4) ||
            !check2DSide(S, P_ROWS_WHERE, P_ROWS_PAD_SIZE, kPadSizeAlongRows, P_SIZE_SWITCH_8, P_ROW_SIZE,
                         kRowSize, outputSizeInForce) ||
            !check2DSide(S, P_COLS_WHERE, P_COLS_PAD_SIZE, kPadSizeAlongColumns, P_SIZE_SWITCH_4, P_COL_SIZE,
                         kColumnSize, outputSizeInForce)) {
            return;
        }
    } else if (!checkNDForm(S, outputSizeInForce)) {
        return;
    }
    if (outputSizeInForce) {
        dspIsPopupParamValid(S, P_TRUNCATION_ACTION, 1, 3);
    }
}

}  // namespace pad
