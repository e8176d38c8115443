// mdlPreSim's work: the port types' constants, the conversion rule and its kernels, in the state record.
#include <cmath>
#include <cstring>

#include "blockutils.h"
#include "ubrin/kernel_selection.h"
#include "ubrin/rescale_multiplier.h"
#include "ubrin/scale_convert_setup.h"
#include "vekdsp.h"

using namespace sysobj;

namespace ubrin {

namespace {

const char kNoKernel[] = "No conversion exists between the port data types of this block.";

bool isFloat(DataTypeId id) {
    return id == SS_DOUBLE || id == SS_SINGLE;
}

// 2^WL - 1 and 2^(WL-1), computed in double and truncated; 0 for a floating port.
uint16_t wordMax(int32_t wordLength) {
    return wordLength <= 0 ? 0 : static_cast<uint16_t>(std::ldexp(1.0, wordLength) - 1.0);
}

uint16_t wordOffset(int32_t wordLength) {
    return wordLength <= 0 ? 0 : static_cast<uint16_t>(std::ldexp(1.0, wordLength - 1));
}

struct PortFacts {
    DataTypeId id;
    PortTypeInfo info;
    int32_t elemSize;
    int32_t fracLength;
};

bool readPort(SysObjAdaptorSFun* S, DataTypeId id, PortFacts* facts) {
    facts->id = id;
    facts->info = describePortType(S, id);
    facts->elemSize = ssGetDataTypeSize(S, id);
    facts->fracLength = isFloat(id) ? 0 : VekSimCommon::dspGetDataTypeFxpFracLength(S, id);
    // Words wider than 16 bits never pass propagation; refuse them here too, as the constants and the
    // kernels hold 16-bit words only.
    if (facts->info.wordLength > 16 || facts->elemSize <= 0) {
        ssSetErrorStatus(S, kNoKernel);
        return false;
    }
    return true;
}

uint16_t trueValueFor(const PortFacts& in, const PortFacts& out, uint16_t outMax, uint16_t outOffset) {
    if (in.info.typeClass != TypeClass::Boolean || out.info.typeClass == TypeClass::Boolean) return 0;
    switch (out.info.typeClass) {
        case TypeClass::Float:
            return 1;
        case TypeClass::Signed:
            return static_cast<uint16_t>(outOffset - 1);
        default:
            return outMax;
    }
}

bool usesRescaling(ConversionRule rule) {
    return rule == ConversionRule::UnsignedToUnsigned || rule == ConversionRule::SignedToSigned ||
           rule == ConversionRule::SignedToUnsignedByRescaling ||
           rule == ConversionRule::UnsignedToSignedByRescaling;
}

}  // namespace

PortTypeInfo describePortType(SysObjAdaptorSFun* S, DataTypeId id) {
    if (isFloat(id)) return {id, TypeClass::Float, 0};
    const int32_t wordLength = VekSimCommon::dspGetDataTypeFxpWordLength(S, id);
    if (id == SS_BOOLEAN) return {id, TypeClass::Boolean, wordLength};
    const bool isSigned = VekSimCommon::dspGetDataTypeFxpIsSigned(S, id);
    return {id, isSigned ? TypeClass::Signed : TypeClass::Unsigned, wordLength};
}

bool prepareScaleConvertState(SysObjAdaptorSFun* S, ScaleConvertState* state) {
    const DataTypeId inId = blockutils::checkNotScaledDoubleInputPort(S, 0);
    if (ssGetErrorStatus(S) != nullptr) return false;
    const DataTypeId outId = blockutils::checkNotScaledDoubleOutputPort(S, 0);
    if (ssGetErrorStatus(S) != nullptr) return false;

    PortFacts in{}, out{};
    if (!readPort(S, inId, &in) || !readPort(S, outId, &out)) return false;

    ScaleConvertState next;
    std::memset(&next, 0, sizeof next);
    next.S = S;
    next.input = ssGetInputPortSignal(S, 0);
    next.output = ssGetOutputPortSignal(S, 0);
    next.inElemSize = in.elemSize;
    next.outElemSize = out.elemSize;
    next.inWordLength = in.info.wordLength;
    next.inFracLength = in.fracLength;
    next.outWordLength = out.info.wordLength;
    next.outFracLength = out.fracLength;
    next.inMax = wordMax(in.info.wordLength);
    next.inOffset = wordOffset(in.info.wordLength);
    next.outMax = wordMax(out.info.wordLength);
    next.outOffset = wordOffset(out.info.wordLength);
    next.trueValue = trueValueFor(in, out, next.outMax, next.outOffset);
    next.numElements = ssGetInputPortWidth(S, 0);
    next.dataTypeOverride = blockutils::isDataTypeOverrideOne(S) ? 1 : 0;
    next.inScaledDouble = 0;  // refused above
    next.outScaledDouble = 0;

    const ConversionRule rule = selectConversionRule(in.info, out.info);
    next.rule = static_cast<int32_t>(rule);
    if (usesRescaling(rule)) {
        const RescaleMultiplier m = findRescaleMultiplier(next.inMax, next.outMax);
        if (m.shift == 0) {
            ssSetErrorStatus(S, kNoKernel);
            return false;
        }
        next.rescaleMultiplier = m.multiplier;
        next.rescaleShift = m.shift;
        next.rescaleFitsIn32Bits = m.fitsIn32Bits ? 1 : 0;
    }
    const KernelPair kernels =
        selectKernels(rule, {in.info.typeClass, in.elemSize}, {out.info.typeClass, out.elemSize},
                      next.rescaleFitsIn32Bits != 0);
    if (kernels.first == nullptr) {
        ssSetErrorStatus(S, kNoKernel);
        return false;
    }
    next.firstKernel = kernels.first;
    next.secondKernel = kernels.second;
    *state = next;
    return true;
}

}  // namespace ubrin
