// The kernel members of every conversion rule, instantiated from the templates of
// scale_convert_kernels.h, and the choice among them by storage.
#include "ubrin/kernel_selection.h"

#include "ubrin/scale_convert_kernels.h"

namespace ubrin {

namespace {

using namespace kernels;

// Storage codes: 0 double, 1 single, 2 eight-bit word, 3 sixteen-bit word; -1 none.
int32_t storageCode(const PortStorage& p)
{
    if (p.typeClass == TypeClass::Float) return p.elemSize == 8 ? 0 : p.elemSize == 4 ? 1 : -1;
    return p.elemSize == 1 ? 2 : p.elemSize == 2 ? 3 : -1;
}

ScaleConvertKernel floatToFloatMember(int32_t in, int32_t out)
{
    if (in == 0) return out == 0 ? floatToFloat<double, double> : floatToFloat<double, float>;
    return out == 0 ? floatToFloat<float, double> : floatToFloat<float, float>;
}

ScaleConvertKernel floatToUnsignedMember(int32_t in, int32_t outWord)
{
    if (in == 0) return outWord == 2 ? floatToUnsigned<double, uint8_t> : floatToUnsigned<double, uint16_t>;
    return outWord == 2 ? floatToUnsigned<float, uint8_t> : floatToUnsigned<float, uint16_t>;
}

ScaleConvertKernel subtractOffsetMember(int32_t outWord)
{
    return outWord == 2 ? subtractOutputOffset<int8_t> : subtractOutputOffset<int16_t>;
}

ScaleConvertKernel unsignedToFloatMember(int32_t inWord, int32_t out)
{
    if (inWord == 2) return out == 0 ? unsignedToFloat<uint8_t, double> : unsignedToFloat<uint8_t, float>;
    return out == 0 ? unsignedToFloat<uint16_t, double> : unsignedToFloat<uint16_t, float>;
}

ScaleConvertKernel signedToFloatMember(int32_t inWord, int32_t out)
{
    if (inWord == 2) return out == 0 ? signedToFloat<int8_t, double> : signedToFloat<int8_t, float>;
    return out == 0 ? signedToFloat<int16_t, double> : signedToFloat<int16_t, float>;
}

ScaleConvertKernel unsignedToUnsignedMember(int32_t inWord, int32_t outWord)
{
    if (inWord == 2)
        return outWord == 2 ? unsignedToUnsigned<uint8_t, uint8_t> : unsignedToUnsigned<uint8_t, uint16_t>;
    return outWord == 2 ? unsignedToUnsigned<uint16_t, uint8_t> : unsignedToUnsigned<uint16_t, uint16_t>;
}

ScaleConvertKernel signedToSignedMember(int32_t inWord, int32_t outWord)
{
    if (inWord == 2) return outWord == 2 ? signedToSigned<int8_t, int8_t> : signedToSigned<int8_t, int16_t>;
    return outWord == 2 ? signedToSigned<int16_t, int8_t> : signedToSigned<int16_t, int16_t>;
}

ScaleConvertKernel signedToUnsignedRescaleMember(int32_t inWord, int32_t outWord)
{
    if (inWord == 2)
        return outWord == 2 ? signedToUnsignedByRescaling<int8_t, uint8_t>
                            : signedToUnsignedByRescaling<int8_t, uint16_t>;
    return outWord == 2 ? signedToUnsignedByRescaling<int16_t, uint8_t>
                        : signedToUnsignedByRescaling<int16_t, uint16_t>;
}

// Output codes 0..5: double, single, unsigned 8, unsigned 16, signed 8, signed 16 bits.
int32_t booleanPartnerCode(const PortStorage& p, int32_t code)
{
    if (code < 2) return code;
    const bool isSigned = p.typeClass == TypeClass::Signed;
    return (code == 2 ? 2 : 3) + (isSigned ? 2 : 0);
}

ScaleConvertKernel fromBooleanMember(int32_t outCode)
{
    switch (outCode) {
    case 0: return fromBoolean<double>;
    case 1: return fromBoolean<float>;
    case 2: return fromBoolean<uint8_t>;
    case 3: return fromBoolean<uint16_t>;
    case 4: return fromBoolean<int8_t>;
    default: return fromBoolean<int16_t>;
    }
}

ScaleConvertKernel toBooleanMember(int32_t inCode)
{
    switch (inCode) {
    case 0: return toBoolean<double>;
    case 1: return toBoolean<float>;
    case 2: return toBoolean<uint8_t>;
    case 3: return toBoolean<uint16_t>;
    case 4: return toBoolean<int8_t>;
    default: return toBoolean<int16_t>;
    }
}

}  // namespace

KernelPair selectKernels(ConversionRule rule, const PortStorage& in, const PortStorage& out)
{
    const int32_t ic = storageCode(in);
    const int32_t oc = storageCode(out);
    if (ic < 0 || oc < 0) return {};
    const bool sameSize = in.elemSize == out.elemSize;
    switch (rule) {
    case ConversionRule::ToBoolean:
        if (out.elemSize != 1) return {};
        return {toBooleanMember(booleanPartnerCode(in, ic)), nullptr};
    case ConversionRule::FloatToFloat: return {floatToFloatMember(ic, oc), nullptr};
    case ConversionRule::FloatToUnsigned: return {floatToUnsignedMember(ic, oc), nullptr};
    case ConversionRule::FloatToSigned: return {floatToUnsignedMember(ic, oc), subtractOffsetMember(oc)};
    case ConversionRule::FromBoolean:
        if (in.elemSize != 1) return {};
        return {fromBooleanMember(booleanPartnerCode(out, oc)), nullptr};
    case ConversionRule::UnsignedToFloat: return {unsignedToFloatMember(ic, oc), nullptr};
    case ConversionRule::SignedToFloat: return {signedToFloatMember(ic, oc), nullptr};
    case ConversionRule::Copy:
        if (!sameSize) return {};
        return {copyBytes, nullptr};
    case ConversionRule::SignedToSigned: return {signedToSignedMember(ic, oc), nullptr};
    case ConversionRule::SignedToUnsignedByOffset:
        if (!sameSize) return {};
        return {ic == 2 ? signedToUnsignedByOffset<int8_t> : signedToUnsignedByOffset<int16_t>, nullptr};
    case ConversionRule::SignedToUnsignedByRescaling: return {signedToUnsignedRescaleMember(ic, oc), nullptr};
    case ConversionRule::UnsignedToSignedByOffset:
        if (!sameSize) return {};
        return {ic == 2 ? unsignedToSignedByOffset<int8_t> : unsignedToSignedByOffset<int16_t>, nullptr};
    case ConversionRule::UnsignedToSignedByRescaling:
        return {unsignedToUnsignedMember(ic, oc), subtractOffsetMember(oc)};
    case ConversionRule::UnsignedToUnsigned: return {unsignedToUnsignedMember(ic, oc), nullptr};
    }
    return {};
}

}  // namespace ubrin
