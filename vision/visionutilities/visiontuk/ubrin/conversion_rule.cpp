// Rule selection of the scale-and-convert block; first match wins.
#include "ubrin/conversion_rule.h"

namespace ubrin {

ConversionRule selectConversionRule(const PortTypeInfo& in, const PortTypeInfo& out) {
    const TypeClass ic = in.typeClass;
    const TypeClass oc = out.typeClass;
    if (ic != TypeClass::Boolean && oc == TypeClass::Boolean) return ConversionRule::ToBoolean;
    if (ic == TypeClass::Float) {
        if (oc == TypeClass::Float) return ConversionRule::FloatToFloat;
        return oc == TypeClass::Unsigned ? ConversionRule::FloatToUnsigned : ConversionRule::FloatToSigned;
    }
    if (ic == TypeClass::Boolean && oc != TypeClass::Boolean) return ConversionRule::FromBoolean;
    if (oc == TypeClass::Float)
        return ic == TypeClass::Unsigned ? ConversionRule::UnsignedToFloat : ConversionRule::SignedToFloat;
    // Two booleans, or two identical integer or fixed-point types.
    if (in.id == out.id || ic == TypeClass::Boolean) return ConversionRule::Copy;
    const bool sameWordLength = in.wordLength == out.wordLength;
    if (ic == TypeClass::Signed) {
        if (oc == TypeClass::Signed) return ConversionRule::SignedToSigned;
        return sameWordLength ? ConversionRule::SignedToUnsignedByOffset
                              : ConversionRule::SignedToUnsignedByRescaling;
    }
    if (oc == TypeClass::Signed)
        return sameWordLength ? ConversionRule::UnsignedToSignedByOffset
                              : ConversionRule::UnsignedToSignedByRescaling;
    return ConversionRule::UnsignedToUnsigned;
}

bool isTwoPassRule(ConversionRule rule) {
    return rule == ConversionRule::FloatToSigned || rule == ConversionRule::UnsignedToSignedByRescaling;
}

const char* conversionRuleName(ConversionRule rule) {
    switch (rule) {
        case ConversionRule::ToBoolean:
            return "any->B";
        case ConversionRule::FloatToFloat:
            return "F->F";
        case ConversionRule::FloatToUnsigned:
            return "F->U";
        case ConversionRule::FloatToSigned:
            return "F->S";
        case ConversionRule::FromBoolean:
            return "B->any";
        case ConversionRule::UnsignedToFloat:
            return "U->F";
        case ConversionRule::SignedToFloat:
            return "S->F";
        case ConversionRule::Copy:
            return "copy";
        case ConversionRule::SignedToSigned:
            return "S->S";
        case ConversionRule::SignedToUnsignedByOffset:
            return "S->U by offset";
        case ConversionRule::SignedToUnsignedByRescaling:
            return "S->U by rescaling";
        case ConversionRule::UnsignedToSignedByOffset:
            return "U->S by offset";
        case ConversionRule::UnsignedToSignedByRescaling:
            return "U->S by rescaling";
        case ConversionRule::UnsignedToUnsigned:
            return "U->U";
    }
    return "unknown";
}

}  // namespace ubrin
