#include "fxpprops.h"

fxpDataTypeProp fxpGetDataTypePropertiesDefault() {
    fxpDataTypeProp p{};
    p.dataTypeClass = 0;
    p.isSigned = 1;
    p.wordLength = 16;
    p.fixedExponent = 0;
    p.slopeAdjustmentFactor = 1.0;
    p.bias = 0.0;
    p.reserved = 0;
    return p;
}
