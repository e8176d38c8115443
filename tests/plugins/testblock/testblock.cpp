// dravo_testblock: a small block that exercises the host, for the host tests and end-to-end tests of the
// command line. One input, one output; any number of dimensions up to 3 (4 or more is refused with
// dspshared::system::inputNot2D); fixed or variable size; real or complex.
//
// Dialog parameters (4, by index):
//   0  gain        finite real scalar; not tunable. Zero gives a warning at set-up.
//   1  offset      scalar, real or complex; tunable. Held as RTP 0 "Offset" in the type of parameter 3.
//   2  mode        popup 1..3: 1 affine (y = gain*u + offset; double or single input), 2 copy (any type,
//                  raw bytes), 3 fail at every step with a plain error text.
//   3  rtp type    data type id of RTP "Offset" (0 double, 2 int8, ... or a registered fixed-point id).
//
// RTP 1 "InputDims": the input's dimensions, int32 1 x N, created from data.
// Work vectors: 0 "StepCount" (int32, 1 element, counts mdlOutputs calls); 1 "LastInput" (input type and
// complexity, input width: a copy of the last input). Name-value pair "Gain" (double). User data: a
// heap-allocated int holding 42 from mdlStart to mdlTerminate.
#include <cmath>
#include <complex>
#include <cstring>
#include <string>

#include "blockcallbacks.h"
#include "dravo/host/messages.h"
#include "sysobj.h"

using namespace sysobj;

namespace {

enum Param { kGain = 0, kOffset = 1, kMode = 2, kRtpType = 3, kNumParams = 4 };
enum Mode { kAffine = 1, kCopy = 2, kFail = 3 };

double paramValue(BlockHandle* S, int32_t i) {
    return qzGetScalar(ssGetSFcnParam(S, i));
}

int32_t modeOf(BlockHandle* S) {
    return static_cast<int32_t>(paramValue(S, kMode));
}

bool isScalar(const qzArray_tag* a) {
    return qzGetNumberOfElements(a) == 1;
}

void errorWithClass(BlockHandle* S, const char* cls) {
    static std::string text;  // the host copies the text once the callback returns
    text = dravo::messages::text(cls);
    ssSetErrorStatusWithClass(S, cls, text.c_str());
}

void setDimsModeBoth(BlockHandle* S, int32_t port, int32_t mode) {
    if (!ssSetInputPortDimensionsMode(S, port, mode)) return;
    ssSetOutputPortDimensionsMode(S, 0, mode);
}

template <typename T>
void affine(const T* u, T* y, int32_t n, bool inComplex, bool outComplex, double gain, double offRe,
            double offIm) {
    if (!outComplex) {
        for (int32_t i = 0; i < n; ++i)
            y[i] = static_cast<T>(gain * u[i] + offRe);
        return;
    }
    // A real input under a complex offset gives a complex output whose imaginary part is the offset's.
    const int32_t inStride = inComplex ? 2 : 1;
    for (int32_t i = 0; i < n; ++i) {
        y[2 * i] = static_cast<T>(gain * u[inStride * i] + offRe);
        y[2 * i + 1] = static_cast<T>((inComplex ? gain * u[2 * i + 1] : 0.0) + offIm);
    }
}

}  // namespace

DRAVO_CALLBACK void mdlInitializeSizes(BlockHandle* S) {
    if (!ssSetNumSFcnParams(S, kNumParams)) return;
    if (ssGetSFcnParamsCount(S) != kNumParams) return;  // the host reports the mismatch
    ssSetSFcnParamNotTunable(S, kGain);
    ssSetSFcnParamTunable(S, kOffset, 1);
    ssSetSFcnParamNotTunable(S, kMode);
    ssSetSFcnParamNotTunable(S, kRtpType);
    ssAllowSignalsWithMoreThan2D(S);
    if (!ssSetNumInputPorts(S, 1) || !ssSetNumOutputPorts(S, 1)) return;
    DimsInfo_tag unset = getDefaultDimensionInfo();
    if (!ssSetInputPortDimensionInfo(S, 0, &unset) || !ssSetOutputPortDimensionInfo(S, 0, &unset)) return;
    ssSetInputPortDataType(S, 0, DYNAMICALLY_TYPED);
    ssSetOutputPortDataType(S, 0, DYNAMICALLY_TYPED);
    ssSetInputPortComplexSignal(S, 0, -1);
    ssSetOutputPortComplexSignal(S, 0, -1);
    ssSetInputPortDirectFeedThrough(S, 0, 1);
    ssSetInputPortRequiredContiguous(S, 0, 1);
    ssRegMdlSetInputPortDimensionsModeFcn(S, setDimsModeBoth);
    ssSetNumSampleTimes(S, 1);
    ssSetOptions(S, 0x21280002u);
    ssSetUserData(S, nullptr);
}

DRAVO_CALLBACK void mdlCheckParameters(BlockHandle* S) {
    const qzArray_tag* gain = ssGetSFcnParam(S, kGain);
    if (!isScalar(gain) || qzIsComplex(gain) || !std::isfinite(qzGetScalar(gain))) {
        ssSetErrorStatus(S, "Gain must be a finite real scalar.");
        return;
    }
    if (!isScalar(ssGetSFcnParam(S, kOffset))) {
        ssSetErrorStatus(S, "Offset must be a scalar.");
        return;
    }
    double mode = paramValue(S, kMode);
    if (mode != 1.0 && mode != 2.0 && mode != 3.0) {
        ssSetErrorStatus(S, "Mode must be 1, 2 or 3.");
        return;
    }
    double t = paramValue(S, kRtpType);
    if (t != std::floor(t) || ssGetDataTypeSize(S, static_cast<DataTypeId>(t)) == 0)
        ssSetErrorStatus(S, "RTP type must be a registered data type id.");
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (di->numDims > 3) {
        errorWithClass(S, "dspshared::system::inputNot2D");
        return;
    }
    if (!ssSetInputPortDimensionInfo(S, port, di)) return;
    if (ssGetOutputPortWidth(S, 0) == -1) ssSetOutputPortDimensionInfo(S, 0, di);
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* di) {
    if (ssGetInputPortWidth(S, 0) != -1 && ssGetInputPortWidth(S, 0) != di->width) {
        ssSetErrorStatus(S, "Output dimensions must equal input dimensions.");
        return;
    }
    if (!ssSetOutputPortDimensionInfo(S, port, di)) return;
    if (ssGetInputPortWidth(S, 0) == -1) ssSetInputPortDimensionInfo(S, 0, di);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!ssSetInputPortDataType(S, port, id)) return;
    if (ssGetOutputPortDataType(S, 0) == DYNAMICALLY_TYPED) ssSetOutputPortDataType(S, 0, id);
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    DataTypeId in = ssGetInputPortDataType(S, 0);
    if (in != DYNAMICALLY_TYPED && in != id) {
        errorWithClass(S, "dspshared::system::inOutTypesDiffer");
        return;
    }
    if (!ssSetOutputPortDataType(S, port, id)) return;
    if (ssGetInputPortDataType(S, 0) == DYNAMICALLY_TYPED) ssSetInputPortDataType(S, 0, id);
}

DRAVO_CALLBACK void mdlSetInputPortComplexSignal(BlockHandle* S, int32_t port, int32_t c) {
    if (!ssSetInputPortComplexSignal(S, port, c)) return;
    bool complexOffset = qzIsComplex(ssGetSFcnParam(S, kOffset)) && modeOf(S) == kAffine;
    ssSetOutputPortComplexSignal(S, 0, c == 1 || complexOffset ? 1 : 0);
}

// Unset input type follows the output (a downstream request); both unset stay for the host's default.
DRAVO_CALLBACK void mdlSetDefaultPortDataTypes(BlockHandle* S) {
    DataTypeId out = ssGetOutputPortDataType(S, 0);
    if (ssGetInputPortDataType(S, 0) == DYNAMICALLY_TYPED && out != DYNAMICALLY_TYPED)
        ssSetInputPortDataType(S, 0, out);
}

DRAVO_CALLBACK void mdlSetWorkWidths(BlockHandle* S) {
    if (paramValue(S, kGain) == 0.0) ssWarning(S, "", "Gain is zero: the output is the offset alone.");
    if (!ssSetNumRunTimeParams(S, 2)) return;
    if (!ssRegDlgParamAsRunTimeParam(S, kOffset, 0, "Offset",
                                     static_cast<DataTypeId>(paramValue(S, kRtpType))))
        return;
    const int32_t numDims = ssGetInputPortNumDimensions(S, 0);
    const int32_t rtpDims[2] = {1, numDims};
    if (!ssCreateRunTimeParamFromData(S, 1, "InputDims", SS_INT32, 0, 2, rtpDims,
                                      ssGetInputPortDimensions(S, 0)))
        return;
    if (!ssSetNumDWork(S, 2)) return;
    ssSetDWorkName(S, 0, "StepCount");
    ssSetDWorkWidth(S, 0, 1);
    ssSetDWorkDataType(S, 0, SS_INT32);
    ssSetDWorkName(S, 1, "LastInput");
    ssSetDWorkWidth(S, 1, ssGetInputPortWidth(S, 0));
    ssSetDWorkDataType(S, 1, ssGetInputPortDataType(S, 0));
    ssSetDWorkComplexSignal(S, 1, ssGetInputPortComplexSignal(S, 0));
    double gain = paramValue(S, kGain);
    ssWriteTarnNameValuePair(S, 8, "Gain", &gain, SS_DOUBLE, 1, 1);
}

DRAVO_CALLBACK void mdlStart(BlockHandle* S) {
    DataTypeId t = ssGetInputPortDataType(S, 0);
    if (modeOf(S) == kAffine && t != SS_DOUBLE && t != SS_SINGLE) {
        ssSetErrorStatus(S, "Affine mode needs a double or single input.");
        return;
    }
    ssSetUserData(S, new int(42));
}

// Built a second time without it (dravo_testblock_noproc), to show the host refreshing RTPs itself.
#ifndef TESTBLOCK_WITHOUT_PROCESS_PARAMETERS
DRAVO_CALLBACK void mdlProcessParameters(BlockHandle* S) {
    ssUpdateDlgParamAsRunTimeParam(S, 0);
}
#endif

DRAVO_CALLBACK void mdlOutputs(BlockHandle* S, int32_t) {
    auto* count = static_cast<int32_t*>(ssGetDWork(S, 0));
    if (!count) return;
    ++*count;
    const int32_t mode = modeOf(S);
    if (mode == kFail) {
        ssSetErrorStatus(S, "The test block was told to fail.");
        return;
    }
    const bool variable = ssGetInputPortDimensionsMode(S, 0) == 1;
    if (variable) {
        for (int32_t k = 0; k < ssGetInputPortNumDimensions(S, 0); ++k)
            if (!ssSetCurrentOutputPortDimensions(S, 0, k, ssGetCurrentInputPortDimensions(S, 0, k))) return;
    }
    const int32_t n = ssGetCurrentInputPortWidth(S, 0);
    const DataTypeId t = ssGetInputPortDataType(S, 0);
    const bool complex = ssGetInputPortComplexSignal(S, 0) == 1;
    const size_t bytes = static_cast<size_t>(n) * ssGetDataTypeSize(S, t) * (complex ? 2 : 1);
    const void* u = ssGetInputPortSignal(S, 0);
    void* y = ssGetOutputPortSignal(S, 0);
    std::memcpy(ssGetDWork(S, 1), u, bytes);
    if (mode == kCopy) {
        std::memcpy(y, u, bytes);
        return;
    }
    const ssParamRec* off = ssGetRunTimeParamInfo(S, 0);
    double offRe = qzGetRealElementAsDouble(ssGetSFcnParam(S, kOffset), 0);
    double offIm = qzGetImagElementAsDouble(ssGetSFcnParam(S, kOffset), 0);
    if (off->dataTypeId == SS_DOUBLE) {  // read the host's copy, which a tunable change refreshes
        offRe = static_cast<const double*>(off->data)[0];
        offIm = off->complexSignal ? static_cast<const double*>(off->data)[1] : 0.0;
    }
    double gain = paramValue(S, kGain);
    const bool outComplex = ssGetOutputPortComplexSignal(S, 0) == 1;
    if (t == SS_DOUBLE)
        affine(static_cast<const double*>(u), static_cast<double*>(y), n, complex, outComplex, gain, offRe,
               offIm);
    else
        affine(static_cast<const float*>(u), static_cast<float*>(y), n, complex, outComplex, gain, offRe,
               offIm);
}

DRAVO_CALLBACK void mdlTerminate(BlockHandle* S) {
    delete static_cast<int*>(ssGetUserData(S));
    ssSetUserData(S, nullptr);
}
