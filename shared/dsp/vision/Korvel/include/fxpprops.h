// The fixed-point library's data type properties record: five 64-bit words. Block code fills it with
// setFixptDataTypeProps (shared block utilities) starting from fxpGetDataTypePropertiesDefault().
#pragma once

#include <cstdint>

struct fxpDataTypeProp {
    int32_t dataTypeClass;  // 0 fixed point
    uint8_t isSigned;       // 1 signed
    uint8_t pad0[3];
    int32_t wordLength;
    int32_t fixedExponent;  // the negated fraction length
    double slopeAdjustmentFactor;
    double bias;
    int64_t reserved;
};
static_assert(sizeof(fxpDataTypeProp) == 5 * sizeof(int64_t), "five 64-bit words");

// Default record: class 0, signed, word length 16, exponent 0, slope adjustment 1.0, bias 0.0.
__attribute__((visibility("default"))) fxpDataTypeProp fxpGetDataTypePropertiesDefault();
