// Propagation of dimensions (forward and backward, and the defaults), complexity and data type.
#include "pad_propagation.h"

#include <algorithm>
#include <string>

#include "blockcallbacks.h"
#include "pad_amounts.h"
#include "pad_instance.h"
#include "vekdsp.h"

using namespace sysobj;
using VekSimCommon::dspError;

namespace pad {

bool expectedOutputDims(const PadSettings& p, int32_t numInDims, const int32_t* inDims,
                        std::vector<int32_t>& out, int32_t* result) {
    std::vector<int32_t> shape(static_cast<size_t>(std::max(numInDims, 2)));
    const int32_t n = padWorkingShape(p, numInDims, inDims, shape.data());
    out.assign(static_cast<size_t>(n), 0);
    std::vector<int32_t> before(static_cast<size_t>(n)), after(static_cast<size_t>(n));
    const PadAmountOutcome o = computePadAmountsFromShape(p, n, shape.data(), out.data(), before.data(),
                                                          after.data(), &VekSimCommon::getNextPow2);
    if (result != nullptr) {
        *result = o.result;
    }
    return o.result == PAD_AMOUNTS_OK;
}

bool sameDims(const int32_t* a, int32_t na, const int32_t* b, int32_t nb) {
    const int32_t n = std::max(na, nb);
    for (int32_t k = 0; k < n; ++k) {
        const int32_t x = k < na ? a[k] : 1;
        const int32_t y = k < nb ? b[k] : 1;
        if (x != y) {
            return false;
        }
    }
    return true;
}

namespace {

std::string dimsText(const int32_t* d, int32_t n) {
    std::string s = "[";
    for (int32_t k = 0; k < n; ++k) {
        s += (k ? " " : "") + std::to_string(d[k]);
    }
    return s + "]";
}

bool isPow2(int32_t x) {
    return (x & (x - 1)) == 0;
}

// Size of dimension number k (from 1) of a record; 1 beyond its dimensions.
int32_t sizeOfDimension(const DimsInfo_tag* di, double k) {
    return k >= 1 && k <= di->numDims ? di->dims[static_cast<int32_t>(k) - 1] : 1;
}

bool setInputDims(SysObjAdaptorSFun* S, std::vector<int32_t>& dims) {
    int64_t width = 1;
    for (int32_t d : dims) {
        width *= d;
    }
    DimsInfo_tag di{static_cast<int32_t>(width), static_cast<int32_t>(dims.size()), dims.data(), nullptr};
    return ssSetInputPortDimensionInfo(S, 0, &di);
}

// Checks of the N-D form; false after reporting.
bool backPropagateND(SysObjAdaptorSFun* S, const PadSettings& p, const DimsInfo_tag* o) {
    const int32_t m = o->numDims;
    auto checkColumns = [&]() {
        if (p.sizeSwitch8 == SIZE_FROM_DIALOG) {
            if (p.colSize != o->dims[0]) {
                dspError(S, "dspshared::system::padOutColsMaskDiffer");
                return false;
            }
        } else if (!isPow2(o->dims[0])) {
            dspError(S, "dspshared::system::padOutNotNxPow2");
            return false;
        }
        return true;
    };
    auto checkRows = [&]() {
        const int32_t t = m == 1 ? 0 : 1;
        if (p.sizeSwitch4 == SIZE_FROM_DIALOG) {
            if (p.rowSize != o->dims[t]) {
                dspError(S, "dspshared::system::padOutRowsMaskDiffer");
                return false;
            }
        } else if (!isPow2(o->dims[t])) {
            dspError(S, "dspshared::system::padOutNotNxPow2");
            return false;
        }
        return true;
    };
    switch (p.ndChoice) {
        case DIMS_COLUMNS:
            return checkColumns();
        case DIMS_ROWS:
            return checkRows();
        case DIMS_BOTH:
            if (m == 1) {
                dspError(S, "dspshared::system::padOutDimsLT2");
                return false;
            }
            return checkColumns() && checkRows();
        case DIMS_NONE:
            if (ssGetInputPortWidth(S, 0) == -1) {
                return ssSetInputPortDimensionInfo(S, 0, o);
            }
            return true;
        default:
            break;
    }
    if (p.sizeSpec == SIZES_PAD) {
        if (ssGetInputPortWidth(S, 0) != -1) {
            return true;
        }
        std::vector<int32_t> in(o->dims, o->dims + m);
        for (size_t i = 0; i < p.ndDims.size(); ++i) {
            const double k = p.ndDims[i];
            if (k > m || k < 1) {
                dspError(S, "dspshared::system::padDimsNotInSignal");
                return false;
            }
            const size_t d = static_cast<size_t>(k) - 1;
            const double size = in[d] - (i < p.ndPadBegin.size() ? p.ndPadBegin[i] : 0.0) -
                                (i < p.ndPadEnd.size() ? p.ndPadEnd[i] : 0.0);
            if (size < 1) {
                dspError(S, "dspshared::system::padOutLTPadSize");
                return false;
            }
            in[d] = static_cast<int32_t>(size);
        }
        return setInputDims(S, in);
    }
    for (size_t i = 0; i < p.ndDims.size(); ++i) {
        const int32_t size = sizeOfDimension(o, p.ndDims[i]);
        if (p.ndSizeSwitch != SIZE_FROM_DIALOG) {
            if (!isPow2(size)) {
                dspError(S, "dspshared::system::outDimNotPow2");
                return false;
            }
        } else if (i >= p.ndOutputSizes.size() || p.ndOutputSizes[i] != size) {
            dspError(S, "dspshared::system::outInherDimsDiffer");
            return false;
        }
    }
    return true;
}

double padSizeTotal(int32_t where, const std::vector<double>& sizes) {
    const double first = sizes.empty() ? 0.0 : sizes[0];
    switch (where) {
        case WHERE2D_BEFORE:
        case WHERE2D_AFTER:
            return first;
        case WHERE2D_BOTH:
            return sizes.size() >= 2 ? first + sizes[1] : 2 * first;
        default:
            return 0.0;
    }
}

bool backPropagate2D(SysObjAdaptorSFun* S, const PadSettings& p, const DimsInfo_tag* o) {
    if (o->numDims == 1) {
        dspError(S, "dspshared::system::oneOutputDimension");
        return false;
    }
    if (p.sizeSpec == SIZES_OUTPUT) {
        if (p.rowsWhere != WHERE2D_NONE) {
            if (p.sizeSwitch8 == SIZE_FROM_DIALOG ? p.rowSize != o->dims[1] : !isPow2(o->dims[1])) {
                dspError(S, p.sizeSwitch8 == SIZE_FROM_DIALOG ? "dspshared::system::padOutRowsOutSzDiffer"
                                                              : "dspshared::system::padOutRowSzNotPow2");
                return false;
            }
        }
        if (p.colsWhere != WHERE2D_NONE) {
            if (p.sizeSwitch4 == SIZE_FROM_DIALOG ? p.colSize != o->dims[0] : !isPow2(o->dims[0])) {
                dspError(S, p.sizeSwitch4 == SIZE_FROM_DIALOG ? "dspshared::system::padOutColsOutSzDiffer"
                                                              : "dspshared::system::padOutColSzNotPow2");
                return false;
            }
        }
        return true;
    }
    if (ssGetInputPortWidth(S, 0) != -1) {
        return true;
    }
    std::vector<int32_t> in(o->dims, o->dims + o->numDims);
    const double cols = in[0] - padSizeTotal(p.colsWhere, p.colsPadSize);
    const double rows = in[1] - padSizeTotal(p.rowsWhere, p.rowsPadSize);
    if (cols < 1 || rows < 1) {
        dspError(S, "dspshared::system::padInputNegSize");
        return false;
    }
    in[0] = static_cast<int32_t>(cols);
    in[1] = static_cast<int32_t>(rows);
    return setInputDims(S, in);
}

// With both ports sized, the output must be what the input and the settings give; otherwise the kernels
// would write a differently shaped (or smaller) buffer than the one the host allocated.
bool outputMatchesInput(SysObjAdaptorSFun* S, const PadSettings& p, const int32_t* outDims,
                        int32_t numOutDims) {
    std::vector<int32_t> expected;
    int32_t result = PAD_AMOUNTS_OK;
    if (!expectedOutputDims(p, ssGetInputPortNumDimensions(S, 0), ssGetInputPortDimensions(S, 0), expected,
                            &result)) {
        reportPadAmountResult(S, result);
        return false;
    }
    if (!sameDims(expected.data(), static_cast<int32_t>(expected.size()), outDims, numOutDims)) {
        reportOutputDimsMismatch(S, expected);
        return false;
    }
    return true;
}

bool padValueIsComplex(SysObjAdaptorSFun* S) {
    return qzIsComplex(ssGetSFcnParam(S, P_PAD_VALUE));
}

bool setOutputComplexity(SysObjAdaptorSFun* S, int32_t c) {
    return ssSetOutputPortComplexSignal(S, 0, c);
}

}  // namespace

void reportOutputDimsMismatch(SysObjAdaptorSFun* S, const std::vector<int32_t>& expected) {
    static thread_local std::string text;
    text = "The output dimensions " +
           dimsText(ssGetOutputPortDimensions(S, 0), ssGetOutputPortNumDimensions(S, 0)) +
           " differ from the dimensions the pad settings give for the input, " +
           dimsText(expected.data(), static_cast<int32_t>(expected.size())) + ".";
    ssSetErrorStatus(S, text.c_str());
}

bool anyDimensionGrows(SysObjAdaptorSFun* S, const PadSettings& p) {
    if (ssGetInputPortWidth(S, 0) == -1) {
        return false;
    }
    const int32_t n = ssGetInputPortNumDimensions(S, 0);
    const int32_t* in = ssGetInputPortDimensions(S, 0);
    std::vector<int32_t> out;
    if (!expectedOutputDims(p, n, in, out)) {
        return false;
    }
    for (size_t k = 0; k < out.size(); ++k) {
        const int32_t inSize = static_cast<int32_t>(k) < n ? in[k] : 1;
        if (inSize < out[k]) {
            return true;
        }
    }
    return false;
}

}  // namespace pad

using namespace pad;

DRAVO_CALLBACK void mdlSetInputPortFrameData(BlockHandle* S, int32_t port, int32_t frameData) {
    if (!ssSetInputPortFrameData(S, port, frameData)) {
        return;
    }
    ssSetOutputPortFrameData(S, 0, frameData);
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* dimsInfo) {
    if (!ssSetInputPortDimensionInfo(S, port, dimsInfo)) {
        return;
    }
    if (port == 1) {
        if (ssGetInputPortWidth(S, 1) != 1) {
            dspError(S, "dspshared::system::pValNotScalar");
        }
        return;
    }
    const int32_t numDims = ssGetInputPortNumDimensions(S, 0);
    const int32_t* dims = ssGetInputPortDimensions(S, 0);
    if (ssGetOutputPortWidth(S, 0) != -1) {
        outputMatchesInput(S, readPadSettings(S), ssGetOutputPortDimensions(S, 0),
                           ssGetOutputPortNumDimensions(S, 0));
        return;
    }
    int32_t n = 0;
    int32_t* outDims = nullptr;
    int32_t* before = nullptr;
    int32_t* after = nullptr;
    const int32_t result = computePadAmounts(S, numDims, dims, &n, &outDims, &before, &after);
    if (reportPadAmountResult(S, result)) {
        int64_t width = 1;
        for (int32_t k = 0; k < n; ++k) {
            width *= outDims[k];
        }
        DimsInfo_tag out{static_cast<int32_t>(width), n, outDims, nullptr};
        ssPruneNDMatrixSingletonDims(S, &out);
        ssSetOutputPortDimensionInfo(S, 0, &out);
    }
    utFree(outDims);
    utFree(before);
    utFree(after);
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port,
                                                  const DimsInfo_tag* dimsInfo) {
    const PadSettings p = readPadSettings(S);
    const bool inputWasSized = ssGetInputPortWidth(S, 0) != -1;
    const bool ok = p.form == FORM_2D ? backPropagate2D(S, p, dimsInfo) : backPropagateND(S, p, dimsInfo);
    if (!ok || ssGetErrorStatus(S) != nullptr) {
        return;
    }
    if (inputWasSized && !outputMatchesInput(S, p, dimsInfo->dims, dimsInfo->numDims)) {
        return;
    }
    if (ssGetErrorStatus(S) == nullptr) {
        ssSetOutputPortDimensionInfo(S, port, dimsInfo);
    }
}

DRAVO_CALLBACK void mdlSetDefaultPortDimensionInfo(BlockHandle* S) {
    if (ssGetNumInputPorts(S) == 2 && ssGetInputPortWidth(S, 1) == -1) {
        if (!ssSetInputPortMatrixDimensions(S, 1, 1, 1)) {
            return;
        }
    }
    if (ssGetInputPortWidth(S, 0) != -1) {
        return;
    }
    if (ssGetOutputPortWidth(S, 0) != -1) {
        std::vector<int32_t> dims(ssGetOutputPortDimensions(S, 0),
                                  ssGetOutputPortDimensions(S, 0) + ssGetOutputPortNumDimensions(S, 0));
        DimsInfo_tag di{ssGetOutputPortWidth(S, 0), static_cast<int32_t>(dims.size()), dims.data(), nullptr};
        mdlSetInputPortDimensionInfo(S, 0, &di);
        return;
    }
    const PadSettings p = readPadSettings(S);
    std::vector<int32_t> dims{1, 1};
    if (p.form == FORM_ND && (p.ndChoice == DIMS_NONE || p.ndChoice == DIMS_LISTED)) {
        double largest = 1;
        for (double k : p.ndDims) {
            largest = std::max(largest, k);
        }
        // A listed dimension this large cannot be a signal's; keep the default allocation bounded.
        if (largest > 1024) {
            dspError(S, "dspshared::system::padDimsNotInSignal");
            return;
        }
        const int32_t n = largest == 1 ? 2 : static_cast<int32_t>(largest);
        dims.assign(static_cast<size_t>(n), 1);
        if (n >= 3) {
            dims.back() = 2;  // so that no trailing dimension is pruned away
        }
    }
    int64_t width = 1;
    for (int32_t d : dims) {
        width *= d;
    }
    DimsInfo_tag di{static_cast<int32_t>(width), static_cast<int32_t>(dims.size()), dims.data(), nullptr};
    mdlSetInputPortDimensionInfo(S, 0, &di);
}

DRAVO_CALLBACK void mdlSetInputPortComplexSignal(BlockHandle* S, int32_t port, int32_t complexSignal) {
    if (!ssSetInputPortComplexSignal(S, port, complexSignal)) {
        return;
    }
    const PadSettings p = readPadSettings(S);
    if (p.method != PAD_CONSTANT) {
        setOutputComplexity(S, ssGetInputPortComplexSignal(S, 0) == 1 ? 1 : 0);
        return;
    }
    const bool grows = anyDimensionGrows(S, p);
    if (!grows) {
        // Without padding the output is the kept part of the signal: the signal alone decides.
        if (port == 0) {
            setOutputComplexity(S, complexSignal);
        }
        return;
    }
    if (p.valueFromDialog()) {
        setOutputComplexity(S, ssGetInputPortComplexSignal(S, 0) == 1 || padValueIsComplex(S) ? 1 : 0);
        return;
    }
    const int32_t e = ssGetOutputPortComplexSignal(S, 0);
    for (int32_t q = ssGetNumInputPorts(S) - 1; q >= 0; --q) {
        const int32_t c = ssGetInputPortComplexSignal(S, q);
        if (c == 1) {
            if (e == -1) {
                setOutputComplexity(S, 1);
            } else if (e == 0) {
                dspError(S, "dspshared::system::inOutComplexityMismatch");
            }
            return;
        }
        if (c == -1) {
            return;
        }
    }
    if (e == -1) {
        setOutputComplexity(S, 0);
    } else if (e == 1) {
        dspError(S, "dspshared::system::inOutComplexityMismatch");
    }
}

DRAVO_CALLBACK void mdlSetOutputPortComplexSignal(BlockHandle* S, int32_t port, int32_t complexSignal) {
    if (!ssSetOutputPortComplexSignal(S, port, complexSignal)) {
        return;
    }
    const PadSettings p = readPadSettings(S);
    const int32_t numInputs = ssGetNumInputPorts(S);
    if (p.method != PAD_CONSTANT) {
        const int32_t want = complexSignal == 1 ? 1 : 0;
        const int32_t have = ssGetInputPortComplexSignal(S, 0);
        if (have == -1) {
            ssSetInputPortComplexSignal(S, 0, want);
        } else if (have != want) {
            dspError(S, "dspshared::system::inOutComplexityMismatch");
        }
        return;
    }
    if (complexSignal == 0) {
        for (int32_t q = 0; q < numInputs; ++q) {
            const int32_t c = ssGetInputPortComplexSignal(S, q);
            if (c == 1) {
                dspError(S, "dspshared::system::inNotRealValOutRealVal");
                return;
            }
            if (c == -1 && !ssSetInputPortComplexSignal(S, q, 0)) {
                return;
            }
        }
        return;
    }
    int32_t unset = -1;
    int32_t unsetCount = 0;
    bool othersReal = true;
    for (int32_t q = 0; q < numInputs; ++q) {
        const int32_t c = ssGetInputPortComplexSignal(S, q);
        if (c == -1) {
            unset = q;
            ++unsetCount;
        } else if (c == 1) {
            othersReal = false;
        }
    }
    if (unsetCount != 1) {
        return;
    }
    const bool makeComplex = p.valueFromDialog() ? !padValueIsComplex(S) : othersReal;
    if (makeComplex) {
        ssSetInputPortComplexSignal(S, unset, 1);
    }
}

namespace {

// Gives t to every port of one direction still unset; false (reported) when one has another type.
bool spreadType(BlockHandle* S, DataTypeId t, bool inputs, const char* conflictClass) {
    const int32_t count = inputs ? ssGetNumInputPorts(S) : ssGetNumOutputPorts(S);
    for (int32_t q = 0; q < count; ++q) {
        const DataTypeId have = inputs ? ssGetInputPortDataType(S, q) : ssGetOutputPortDataType(S, q);
        if (have == DYNAMICALLY_TYPED) {
            if (!(inputs ? ssSetInputPortDataType(S, q, t) : ssSetOutputPortDataType(S, q, t))) {
                return false;
            }
        } else if (have != t) {
            dspError(S, conflictClass);
            return false;
        }
    }
    return true;
}

constexpr uint32_t kSupportedTypes = 0x67ff;

}  // namespace

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId dataType) {
    if (!VekSimCommon::dspIsDataTypeSupported(S, dataType, 1, VekSimCommon::DSP_INPUT_PORT,
                                              port == 0 ? "Input" : "Pad value", kSupportedTypes)) {
        return;
    }
    (void)port;
    if (spreadType(S, dataType, true, "dspshared::system::inOutTypesDiffer")) {
        spreadType(S, dataType, false, "dspshared::system::inImgOutTypesDiffer");
    }
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId dataType) {
    (void)port;
    if (!VekSimCommon::dspIsDataTypeSupported(S, dataType, 1, VekSimCommon::DSP_OUTPUT_PORT, "Output",
                                              kSupportedTypes)) {
        return;
    }
    if (spreadType(S, dataType, false, "dspshared::system::inOutTypesDiffer")) {
        spreadType(S, dataType, true, "dspshared::system::inOutTypesDiffer");
    }
}

// The pad amounts and strides are fixed at set-up, so a signal whose size changes from step to step would
// be padded by its maximum size, stale elements included; such signals are refused.
DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode) {
    if (dimsMode == 1) {
        ssSetErrorStatus(S,
                         "The pad block works on fixed-size signals only; input signals of variable size are "
                         "not supported.");
        return;
    }
    if (ssSetInputPortDimensionsMode(S, port, dimsMode) && port == 0) {
        ssSetOutputPortDimensionsMode(S, 0, dimsMode);
    }
}
