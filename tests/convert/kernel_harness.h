// Runs one conversion through the block's own rule selection and kernels without a host: the state
// record is filled the way the block's set-up describes it (max = 2^WL - 1, offset = 2^(WL-1)).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "ubrin/conversion_rule.h"
#include "ubrin/kernel_selection.h"
#include "ubrin/rescale_multiplier.h"
#include "ubrin/scale_convert_state.h"

namespace convert_test {

using ubrin::ConversionRule;
using ubrin::TypeClass;

struct TypeDesc {
    DataTypeId id;  // distinct per type: equal ids mean "the same type"
    TypeClass cls;
    int wordLength;  // 0 for floating types
    int elemSize;    // bytes
    bool operator==(const TypeDesc&) const = default;
};

inline const TypeDesc kDouble{0, TypeClass::Float, 0, 8};
inline const TypeDesc kSingle{1, TypeClass::Float, 0, 4};
inline const TypeDesc kInt8{2, TypeClass::Signed, 8, 1};
inline const TypeDesc kUint8{3, TypeClass::Unsigned, 8, 1};
inline const TypeDesc kInt16{4, TypeClass::Signed, 16, 2};
inline const TypeDesc kUint16{5, TypeClass::Unsigned, 16, 2};
inline const TypeDesc kBoolean{8, TypeClass::Boolean, 1, 1};

// A fixed-point type: ids from 100 up, distinct per (sign, word length, fraction length).
inline TypeDesc fixedType(bool isSigned, int wl, int fl = 0) {
    return {100 + (isSigned ? 1000 : 0) + wl * 40 + (fl + 20),
            isSigned ? TypeClass::Signed : TypeClass::Unsigned, wl, wl <= 8 ? 1 : 2};
}

inline ubrin::PortTypeInfo portInfo(const TypeDesc& t) {
    return {t.id, t.cls, t.wordLength};
}

struct Conversion {
    ScaleConvertState state{};
    ConversionRule rule{};
    bool ok = false;
    bool guardIntact = true;  // nothing written past the last element
};

// Which kernel members to take: the ones the block would choose, or one variant.
enum class Variant { Dispatched, Generic, Avx2, Avx512 };

inline bool variantRuns(Variant v) {
    if (v == Variant::Avx2) return __builtin_cpu_supports("avx2");
    if (v == Variant::Avx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
    return true;
}

inline const char* variantName(Variant v) {
    switch (v) {
        case Variant::Dispatched:
            return "dispatched";
        case Variant::Generic:
            return "generic";
        case Variant::Avx2:
            return "avx2";
        case Variant::Avx512:
            return "avx512";
    }
    return "?";
}

inline Conversion prepare(const TypeDesc& in, const TypeDesc& out, Variant variant = Variant::Dispatched) {
    Conversion c;
    ScaleConvertState& s = c.state;
    std::memset(&s, 0, sizeof s);
    auto maxOf = [](const TypeDesc& t) -> uint16_t {
        return t.cls == TypeClass::Float ? 0 : static_cast<uint16_t>((1u << t.wordLength) - 1u);
    };
    auto offsetOf = [](const TypeDesc& t) -> uint16_t {
        return t.cls == TypeClass::Float ? 0 : static_cast<uint16_t>(1u << (t.wordLength - 1));
    };
    s.inMax = maxOf(in);
    s.inOffset = offsetOf(in);
    s.outMax = maxOf(out);
    s.outOffset = offsetOf(out);
    s.inWordLength = in.wordLength;
    s.outWordLength = out.wordLength;
    s.inElemSize = in.elemSize;
    s.outElemSize = out.elemSize;
    if (in.cls == TypeClass::Boolean && out.cls != TypeClass::Boolean) {
        s.trueValue = out.cls == TypeClass::Float    ? 1
                      : out.cls == TypeClass::Signed ? static_cast<uint16_t>(s.outOffset - 1)
                                                     : s.outMax;
    }
    c.rule = ubrin::selectConversionRule(portInfo(in), portInfo(out));
    s.rule = static_cast<int32_t>(c.rule);
    const auto m = ubrin::findRescaleMultiplier(s.inMax, s.outMax);
    s.rescaleMultiplier = m.multiplier;
    s.rescaleShift = m.shift;
    s.rescaleFitsIn32Bits = m.fitsIn32Bits ? 1 : 0;
    const ubrin::PortStorage inStorage{in.cls, in.elemSize}, outStorage{out.cls, out.elemSize};
    const auto select = variant == Variant::Generic  ? ubrin::selectGenericKernels
                        : variant == Variant::Avx2   ? ubrin::selectAvx2Kernels
                        : variant == Variant::Avx512 ? ubrin::selectAvx512Kernels
                                                     : ubrin::selectKernels;
    const auto k = select(c.rule, inStorage, outStorage, m.fitsIn32Bits);
    s.firstKernel = k.first;
    s.secondKernel = k.second;
    c.ok = k.first != nullptr;
    return c;
}

// Converts raw input bytes (n elements) and returns the raw output bytes.
inline std::vector<uint8_t> run(Conversion& c, const void* input, int32_t n) {
    std::vector<uint8_t> out(static_cast<size_t>(n) * c.state.outElemSize + 1, 0xA5);
    c.state.input = input;
    c.state.output = out.data();
    c.state.numElements = n;
    c.state.firstKernel(&c.state);
    if (c.state.secondKernel) c.state.secondKernel(&c.state);
    c.guardIntact = out.back() == 0xA5;
    out.pop_back();
    return out;
}

template <typename Out, typename In>
std::vector<Out> convert(const TypeDesc& inType, const TypeDesc& outType, const std::vector<In>& input) {
    Conversion c = prepare(inType, outType);
    std::vector<Out> result(input.size());
    if (!c.ok) return result;
    std::vector<uint8_t> bytes = run(c, input.data(), static_cast<int32_t>(input.size()));
    std::memcpy(result.data(), bytes.data(), bytes.size());
    return result;
}

}  // namespace convert_test
