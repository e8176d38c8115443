// Scale-and-convert block: dimensions (up to 3-D, the same on both ports) and data types.
#include "blockcallbacks.h"
#include "blockutils.h"
#include "ubrin/scale_convert_setup.h"
#include "vekdsp.h"

using namespace sysobj;

namespace {

constexpr int32_t kMaxDims = 3;
// Built-in types, both fixed-point signednesses, scaled doubles and wide fixed point: the checks below
// then refuse what the conversions cannot handle, each with its own message.
constexpr uint32_t kSupportedTypeMask = 0x67FF;

const char kInputTooManyDims[] = "Input signals with more than 3 dimensions are not supported.";
const char kOutputTooManyDims[] = "Output signals with more than 3 dimensions are not supported.";

struct PortTypeMessages {
    const char* notSupported;
    const char* wordLengthAbove16;
    const char* scaledDoublePartner;
};

const PortTypeMessages kInputMessages = {"vision::system::inDataTypeNotFloatInt8Or16OrFixpt",
                                         "vision::system::inWordLenGT16",
                                         "vision::system::inputScDblOutputDblScDblBool"};
const PortTypeMessages kOutputMessages = {"vision::system::outDataTypeNotFloatInt8Or16OrFixpt",
                                          "vision::system::outWordLenGT16",
                                          "vision::system::outputScDblInputDblScDblBool"};

// Checks a port's new type against the block's limits; other is the type of the opposite port.
void checkPortDataType(BlockHandle* S, DataTypeId id, DataTypeId other, VekSimCommon::DspPortDirection dir,
                       const PortTypeMessages& msg) {
    if (!VekSimCommon::dspIsDataTypeSupported(S, id, 1, dir, nullptr, kSupportedTypeMask, 0)) return;
    if (id == SS_INT32 || id == SS_UINT32) {
        VekSimCommon::dspError(S, msg.notSupported);
        return;
    }
    if (id != SS_DOUBLE && id != SS_SINGLE && VekSimCommon::dspGetDataTypeFxpWordLength(S, id) > 16) {
        VekSimCommon::dspError(S, msg.wordLengthAbove16);
        return;
    }
    if (VekSimCommon::dspIsDataTypeScaledDouble(S, id)) {
        const bool otherAccepts = other == DYNAMICALLY_TYPED || other == SS_DOUBLE || other == SS_BOOLEAN ||
                                  VekSimCommon::dspIsDataTypeScaledDouble(S, other);
        if (!otherAccepts) VekSimCommon::dspError(S, msg.scaledDoublePartner);
    }
}

// Puts the given dimensions on the opposite port when they are 1-D to 3-D.
void mirrorDims(BlockHandle* S, int32_t numDims, const int32_t* dims, bool toOutput) {
    if (numDims < 1 || numDims > kMaxDims) {
        ssSetErrorStatus(S, toOutput ? kInputTooManyDims : kOutputTooManyDims);
        return;
    }
    if (toOutput)
        blockutils::setOutputPortDimsFromArray(S, 0, dims, numDims);
    else
        blockutils::setInputPortDimsFromArray(S, 0, dims, numDims);
}

}  // namespace

DRAVO_CALLBACK void mdlSetInputPortFrameData(BlockHandle* S, int32_t port, int32_t frameData) {
    ssSetInputPortFrameData(S, port, frameData);
}

DRAVO_CALLBACK void mdlSetInputPortDimensionInfo(BlockHandle* S, int32_t port, const DimsInfo_tag* dimsInfo) {
    if (!ssSetInputPortDimensionInfo(S, port, dimsInfo)) return;
    mirrorDims(S, ssGetInputPortNumDimensions(S, port), ssGetInputPortDimensions(S, port), true);
}

DRAVO_CALLBACK void mdlSetInputPortNumberOfDimensions(BlockHandle* S, int32_t port, int32_t numDims) {
    if (numDims > kMaxDims) {
        ssSetErrorStatus(S, kInputTooManyDims);
        return;
    }
    // Only the count is known yet: every size stays open.
    const int32_t unknown[kMaxDims] = {-1, -1, -1};
    if (!blockutils::setInputPortDimsFromArray(S, port, unknown, numDims)) return;
    mirrorDims(S, numDims, unknown, true);
}

DRAVO_CALLBACK void mdlSetOutputPortDimensionInfo(BlockHandle* S, int32_t port,
                                                  const DimsInfo_tag* dimsInfo) {
    if (!ssSetOutputPortDimensionInfo(S, port, dimsInfo)) return;
    mirrorDims(S, ssGetOutputPortNumDimensions(S, port), ssGetOutputPortDimensions(S, port), false);
}

DRAVO_CALLBACK void mdlSetInputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    if (!ssSetInputPortDataType(S, port, id)) return;
    checkPortDataType(S, id, ssGetOutputPortDataType(S, 0), VekSimCommon::DSP_INPUT_PORT, kInputMessages);
}

DRAVO_CALLBACK void mdlSetOutputPortDataType(BlockHandle* S, int32_t port, DataTypeId id) {
    // Only an "inherited" output takes its type from downstream; a type chosen in the dialog is kept, and a
    // request for another is refused rather than obeyed in silence.
    const DataTypeId chosen = ubrin::outputDataTypeFromDialog(S);
    if (ssGetErrorStatus(S) != nullptr) return;
    if (chosen != DYNAMICALLY_TYPED && chosen != id) {
        VekSimCommon::dspError(S, "vision::system::outDataTypeSettingMismatch");
        return;
    }
    if (!ssSetOutputPortDataType(S, port, id)) return;
    checkPortDataType(S, id, ssGetInputPortDataType(S, 0), VekSimCommon::DSP_OUTPUT_PORT, kOutputMessages);
}

// A variable-size input makes a variable-size output: the output follows the input's current sizes.
DRAVO_CALLBACK void mdlSetInputPortDimsMode(BlockHandle* S, int32_t port, int32_t dimsMode) {
    if (!ssSetInputPortDimensionsMode(S, port, dimsMode)) return;
    ssSetOutputPortDimensionsMode(S, 0, dimsMode);
}
