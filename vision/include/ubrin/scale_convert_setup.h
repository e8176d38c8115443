// Set-up helpers of the scale-and-convert block shared by its callbacks (and by its code generation).
// All take the block handle first and report failures through the host's error status.
#pragma once

#include <cstdint>

#include "sysobj.h"
#include "ubrin/conversion_rule.h"
#include "ubrin/scale_convert_state.h"

namespace ubrin {

// Dialog parameter indices.
enum : int32_t {
    kParamOutputDataType = 0,
    kParamIsSigned = 1,
    kParamWordLength = 2,
    kParamFractionLength = 3,
    kNumParams = 4,
};

// Output data type choices (1-based popup).
enum : int32_t {
    kChoiceDouble = 1,
    kChoiceSingle = 2,
    kChoiceInt8 = 3,
    kChoiceUint8 = 4,
    kChoiceInt16 = 5,
    kChoiceUint16 = 6,
    kChoiceBoolean = 7,
    kChoiceFixedPoint = 8,
    kChoiceInherited = 9,
};

// The dialog checks; false with the error status set on the first failure.
bool checkScaleConvertParameters(sysobj::SysObjAdaptorSFun* S);

// The output port type the dialog asks for: DYNAMICALLY_TYPED for "inherited"; a scaled double of the
// chosen type when the host's data-type override is on. Error status set (and -1) on failure.
DataTypeId outputDataTypeFromDialog(sysobj::SysObjAdaptorSFun* S);

// Class and word length of a (non scaled-double) port type.
PortTypeInfo describePortType(sysobj::SysObjAdaptorSFun* S, DataTypeId id);

// Fills the record from the final port types and selects the kernels; on failure (error status set)
// the record is left as it was.
bool prepareScaleConvertState(sysobj::SysObjAdaptorSFun* S, ScaleConvertState* state);

}  // namespace ubrin
