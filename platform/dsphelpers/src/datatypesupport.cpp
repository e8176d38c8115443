// Whether a block accepts a data type (by its supported-type mask), and the all-floating port rule.
#include <string>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/types.h"
#include "vekdsp.h"

namespace VekSimCommon {

using namespace sysobj;
namespace types = dravo::types;
namespace msg = dravo::dsphelpers;

namespace {

constexpr int32_t kNarrowFixedWordLength = 32;

bool maskAllows(DataTypeId id, uint32_t mask) {
    if (id >= SS_DOUBLE && id <= SS_BOOLEAN) return (mask & (1u << id)) != 0;
    if (!types::isKnown(id)) return false;
    const types::TypeInfo& t = types::info(id);
    if (t.kind != types::Kind::FixedPoint && t.kind != types::Kind::ScaledDouble) return false;
    if (t.wordLength > kNarrowFixedWordLength && (mask & DSP_DT_SUPPORT_FIXPT_WIDER_THAN_32) == 0)
        return false;
    if (t.kind == types::Kind::ScaledDouble) return (mask & DSP_DT_SUPPORT_SCALED_DOUBLE) != 0;
    return (mask & (t.isSigned ? DSP_DT_SUPPORT_SIGNED_FIXPT : DSP_DT_SUPPORT_UNSIGNED_FIXPT)) != 0;
}

}  // namespace

bool dspIsDataTypeSupported(SysObjAdaptorSFun* S, DataTypeId id, int32_t /*productPrefix*/,
                            DspPortDirection direction, const char* portName, uint32_t mask,
                            int32_t /*flags*/) {
    if (maskAllows(id, mask)) return true;
    std::string port;
    if (portName != nullptr && portName[0] != '\0') {
        port = std::string("port '") + portName + "'";
    } else {
        port = direction == DSP_OUTPUT_PORT ? "the output port" : "the input port";
    }
    dspError(S, msg::kDataTypeNotSupported, {types::typeName(id), port});
    return false;
}

bool checkAndSetAllPortsToDblOrSngl(SysObjAdaptorSFun* S, DataTypeId id) {
    if (id != SS_DOUBLE && id != SS_SINGLE) {
        dspError(S, msg::kPortTypeNotFloat, {types::typeName(id)});
        return false;
    }
    const int32_t numInputs = ssGetNumInputPorts(S);
    for (int32_t port = 0; port < numInputs; ++port) {
        if (ssGetInputPortDataType(S, port) != id && !ssSetInputPortDataType(S, port, id)) return false;
    }
    const int32_t numOutputs = ssGetNumOutputPorts(S);
    for (int32_t port = 0; port < numOutputs; ++port) {
        if (ssGetOutputPortDataType(S, port) != id && !ssSetOutputPortDataType(S, port, id)) return false;
    }
    return true;
}

}  // namespace VekSimCommon
