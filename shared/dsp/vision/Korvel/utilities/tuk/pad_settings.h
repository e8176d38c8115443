// The pad block's dialog: parameter indices, their popup codes, and the settings read from them once per
// callback. Popups count from 1. Note the differing placement encodings: the 2-D placements give 1 before
// and 2 after, the N-D placement gives 1 after and 2 before.
#pragma once

#include <cstdint>
#include <vector>

#include "sysobj.h"

namespace pad {

enum ParamIndex : int32_t {
    P_METHOD = 0,
    P_VALUE_SOURCE = 1,
    P_PAD_VALUE = 2,
    P_SIZE_SPEC = 3,
    P_SIZE_SWITCH_4 = 4,  // 2-D: column size switch; N-D: row size switch
    P_ROWS_WHERE = 5,
    P_ROWS_PAD_SIZE = 6,
    P_ROW_SIZE = 7,
    P_SIZE_SWITCH_8 = 8,  // 2-D: row size switch; N-D: column size switch
    P_COLS_WHERE = 9,
    P_COLS_PAD_SIZE = 10,
    P_COL_SIZE = 11,
    P_TRUNCATION_ACTION = 12,
    P_ND_DIMS_CHOICE = 13,
    P_ND_WHERE = 14,
    P_ND_SIZE_SWITCH = 15,
    P_ND_OUTPUT_SIZES = 16,
    P_ND_DIMS = 17,
    P_ND_PAD_BEGIN = 18,
    P_ND_PAD_END = 19,
    P_FORM = 20,
    NUM_PARAMS = 21,
};

enum Form : int32_t { FORM_ND = 1, FORM_2D = 2 };
enum ValueSource : int32_t { VALUE_FROM_DIALOG = 1, VALUE_FROM_PORT = 2 };
enum SizeSpec : int32_t { SIZES_PAD = 1, SIZES_OUTPUT = 2 };
enum SizeSwitch : int32_t { SIZE_FROM_DIALOG = 1, SIZE_NEXT_POW2 = 2 };
enum Where2D : int32_t { WHERE2D_BEFORE = 1, WHERE2D_AFTER = 2, WHERE2D_BOTH = 3, WHERE2D_NONE = 4 };
enum WhereND : int32_t { WHERE_ND_AFTER = 1, WHERE_ND_BEFORE = 2, WHERE_ND_BOTH = 3 };
enum Truncation : int32_t { TRUNC_SILENT = 1, TRUNC_WARNING = 2, TRUNC_ERROR = 3 };
enum DimsChoice : int32_t { DIMS_COLUMNS = 1, DIMS_ROWS = 2, DIMS_BOTH = 3, DIMS_NONE = 4, DIMS_LISTED = 5 };

// Dialog values as plain numbers. Sizes stay doubles until used so that an out-of-range value can be
// refused instead of overflowing a conversion.
struct PadSettings {
    int32_t form = FORM_2D;
    int32_t method = 1;
    int32_t valueSource = VALUE_FROM_DIALOG;
    int32_t sizeSpec = SIZES_PAD;
    int32_t sizeSwitch4 = SIZE_FROM_DIALOG;
    int32_t rowsWhere = WHERE2D_BOTH;
    std::vector<double> rowsPadSize;
    double rowSize = 0;
    int32_t sizeSwitch8 = SIZE_FROM_DIALOG;
    int32_t colsWhere = WHERE2D_BOTH;
    std::vector<double> colsPadSize;
    double colSize = 0;
    int32_t truncationAction = TRUNC_SILENT;
    int32_t ndChoice = DIMS_COLUMNS;
    int32_t ndWhere = WHERE_ND_AFTER;
    int32_t ndSizeSwitch = SIZE_FROM_DIALOG;
    std::vector<double> ndOutputSizes;
    std::vector<double> ndDims;
    std::vector<double> ndPadBegin;
    std::vector<double> ndPadEnd;

    // True when input port 1 carries the pad value.
    bool hasValuePort() const { return method == 1 && valueSource != VALUE_FROM_DIALOG; }
    // True when the pad value is the tunable dialog parameter (and RTP "PadValue" exists).
    bool valueFromDialog() const { return method == 1 && valueSource == VALUE_FROM_DIALOG; }
};

// Reads every parameter (missing or empty ones keep the defaults above for popups, empty lists for
// vectors). Reading never fails; the checks are in checkPadParameters.
PadSettings readPadSettings(sysobj::SysObjAdaptorSFun* S);

}  // namespace pad
