// Which conversion the scale-and-convert block performs for a pair of port types. mdlPreSim and the
// code generator both call selectConversionRule, so simulation and generated code always agree.
#pragma once

#include <cstdint>

#include "sysobj.h"

namespace ubrin {

// Class of a port type: F double or single, U unsigned integer or fixed point, S signed integer or
// fixed point, B boolean.
enum class TypeClass : int32_t { Float, Unsigned, Signed, Boolean };

// The rules in selection order (0 to 13); the first match wins.
enum class ConversionRule : int32_t {
    ToBoolean = 0,
    FloatToFloat = 1,
    FloatToUnsigned = 2,
    FloatToSigned = 3,
    FromBoolean = 4,
    UnsignedToFloat = 5,
    SignedToFloat = 6,
    Copy = 7,
    SignedToSigned = 8,
    SignedToUnsignedByOffset = 9,
    SignedToUnsignedByRescaling = 10,
    UnsignedToSignedByOffset = 11,
    UnsignedToSignedByRescaling = 12,
    UnsignedToUnsigned = 13,
};

// What the rule selection needs to know of a port type.
struct PortTypeInfo {
    DataTypeId id;
    TypeClass typeClass;
    int32_t wordLength;  // 0 for double and single
};

ConversionRule selectConversionRule(const PortTypeInfo& in, const PortTypeInfo& out);

// True for the rules that run a second, in-place pass over the output.
bool isTwoPassRule(ConversionRule rule);

// Short name for messages and tests ("F->U", "copy", ...).
const char* conversionRuleName(ConversionRule rule);

}  // namespace ubrin
