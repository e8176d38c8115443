// Element loops of the scale-and-convert block, one template per conversion; each member is one
// combination of storage and floating types. A kernel reads its pointers and constants from the state
// record once and then runs a branch-free loop over numElements elements (no allocation, no type
// tests), so the compiler can vectorise it.
//
// Integer words are read as the word the type declares: an unsigned word keeps its low WL bits, a
// signed word is sign-extended from bit WL-1. A container holding stray bits above its word length
// therefore converts like the word it stands for, and every intermediate stays in range.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "ubrin/rescale_multiplier.h"
#include "ubrin/scale_convert_state.h"

// The kernels are compiled once per instruction-set variant (kernel_members_*.cpp); each variant
// gets its own namespace so that no inline function or template instance is shared between them.
#ifndef UBRIN_KERNEL_VARIANT
#define UBRIN_KERNEL_VARIANT generic
#endif

namespace ubrin::kernels {
inline namespace UBRIN_KERNEL_VARIANT {

// The word of WL bits in v, sign-extended to Storage: mask = 2^WL - 1, half = 2^(WL-1). Flipping the
// sign bit and subtracting it again extends it; for a full-width word (8 or 16 bits) this is the identity,
// as the wrap-around of the subtraction requires. Only and, xor and subtract, so the loops stay in the
// storage width when vectorised.
template <typename Storage>
inline Storage signExtendStored(int32_t v, std::make_unsigned_t<Storage> mask,
                                std::make_unsigned_t<Storage> half) {
    using U = std::make_unsigned_t<Storage>;
    return static_cast<Storage>(static_cast<U>(((static_cast<U>(v) & mask) ^ half) - half));
}

// (u * multiplier + 2^(shift-1)) >> shift in Wide arithmetic (uint32_t when the product fits).
template <typename Wide>
inline uint32_t rescaleWord(uint32_t u, uint32_t multiplier, int32_t shift) {
    const Wide half = Wide{1} << (shift - 1);
    return static_cast<uint32_t>((static_cast<Wide>(u) * static_cast<Wide>(multiplier) + half) >> shift);
}

// F->F: clamp to [0, 1]; a NaN passes through. The tests are made in the input type.
template <typename In, typename Out>
void floatToFloat(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    for (int32_t i = 0; i < n; ++i) {
        In v = x[i];
        v = v > In(1) ? In(1) : v;
        v = v < In(0) ? In(0) : v;
        y[i] = static_cast<Out>(v);
    }
}

// F->U (and the first pass of F->S): v = outMax * x + 0.5 in the input type, clamped to [0, outMax],
// truncated. The lower clamp is written so that a NaN also lands on 0: converting a NaN (or any value
// outside the target's range) to an integer is undefined, so nothing unclamped reaches the cast.
template <typename In, typename Out>
void floatToUnsigned(const ScaleConvertState* st) {
    static_assert(std::is_floating_point_v<In> && std::is_unsigned_v<Out>);
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    const In outMax = static_cast<In>(st->outMax);
    for (int32_t i = 0; i < n; ++i) {
        In v = x[i] * outMax + In(0.5);
        v = v > outMax ? outMax : v;
        v = v >= In(0) ? v : In(0);
        y[i] = static_cast<Out>(static_cast<int32_t>(v));
    }
}

// Second pass of F->S and of U->S by rescaling, in place: y = y - outOffset, then sign extension.
template <typename Storage>
void subtractOutputOffset(const ScaleConvertState* st) {
    using U = std::make_unsigned_t<Storage>;
    U* __restrict y = static_cast<U*>(st->output);
    const int32_t n = st->numElements;
    const U outMask = static_cast<U>(st->outMax);
    const U outOffset = static_cast<U>(st->outOffset);
    for (int32_t i = 0; i < n; ++i)
        y[i] =
            static_cast<U>(signExtendStored<Storage>(static_cast<U>(y[i] - outOffset), outMask, outOffset));
}

// U->F: u / inMax, divided in the output type.
template <typename In, typename Out>
void unsignedToFloat(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    const In inMask = static_cast<In>(st->inMax);
    const Out inMax = static_cast<Out>(st->inMax);
    for (int32_t i = 0; i < n; ++i)
        y[i] = static_cast<Out>(static_cast<In>(x[i] & inMask)) / inMax;
}

// S->F: (s + inOffset) / inMax, the sum and the division in the output type.
template <typename In, typename Out>
void signedToFloat(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    using InU = std::make_unsigned_t<In>;
    const InU inMask = static_cast<InU>(st->inMax);
    const InU inHalf = static_cast<InU>(st->inOffset);
    const Out inOffset = static_cast<Out>(st->inOffset);
    const Out inMax = static_cast<Out>(st->inMax);
    for (int32_t i = 0; i < n; ++i)
        y[i] = (static_cast<Out>(signExtendStored<In>(x[i], inMask, inHalf)) + inOffset) / inMax;
}

// U->U (also the first pass of U->S by rescaling): roundHalfUp(u * outMax, inMax).
template <typename In, typename Out, typename Wide>
void unsignedToUnsigned(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    const In inMask = static_cast<In>(st->inMax);
    const uint32_t multiplier = st->rescaleMultiplier;
    const int32_t shift = st->rescaleShift;
    for (int32_t i = 0; i < n; ++i)
        y[i] = static_cast<Out>(rescaleWord<Wide>(static_cast<In>(x[i] & inMask), multiplier, shift));
}

// S->U by rescaling: roundHalfUp((s + inOffset) * outMax, inMax).
template <typename In, typename Out, typename Wide>
void signedToUnsignedByRescaling(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    using InU = std::make_unsigned_t<In>;
    const InU inMask = static_cast<InU>(st->inMax);
    const InU inHalf = static_cast<InU>(st->inOffset);
    const int32_t inOffset = st->inOffset;
    const uint32_t multiplier = st->rescaleMultiplier;
    const int32_t shift = st->rescaleShift;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t u = static_cast<uint32_t>(signExtendStored<In>(x[i], inMask, inHalf) + inOffset);
        y[i] = static_cast<Out>(rescaleWord<Wide>(u, multiplier, shift));
    }
}

// S->S: roundHalfUp((s + inOffset) * outMax, inMax) - outOffset, then sign extension.
template <typename In, typename Out, typename Wide>
void signedToSigned(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    using InU = std::make_unsigned_t<In>;
    using OutU = std::make_unsigned_t<Out>;
    const InU inMask = static_cast<InU>(st->inMax);
    const InU inHalf = static_cast<InU>(st->inOffset);
    const OutU outMask = static_cast<OutU>(st->outMax);
    const OutU outHalf = static_cast<OutU>(st->outOffset);
    const int32_t inOffset = st->inOffset;
    const int32_t outOffset = st->outOffset;
    const uint32_t multiplier = st->rescaleMultiplier;
    const int32_t shift = st->rescaleShift;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t u = static_cast<uint32_t>(signExtendStored<In>(x[i], inMask, inHalf) + inOffset);
        const int32_t v = static_cast<int32_t>(rescaleWord<Wide>(u, multiplier, shift)) - outOffset;
        y[i] = signExtendStored<Out>(v, outMask, outHalf);
    }
}

// S->U, same word length: s + inOffset in the storage width.
template <typename Storage>
void signedToUnsignedByOffset(const ScaleConvertState* st) {
    using U = std::make_unsigned_t<Storage>;
    const Storage* __restrict x = static_cast<const Storage*>(st->input);
    U* __restrict y = static_cast<U*>(st->output);
    const int32_t n = st->numElements;
    const U inMask = static_cast<U>(st->inMax);
    const U inOffset = static_cast<U>(st->inOffset);
    for (int32_t i = 0; i < n; ++i)
        y[i] = static_cast<U>(static_cast<U>(signExtendStored<Storage>(x[i], inMask, inOffset)) + inOffset);
}

// U->S, same word length: u - outOffset, then sign extension.
template <typename Storage>
void unsignedToSignedByOffset(const ScaleConvertState* st) {
    using U = std::make_unsigned_t<Storage>;
    const U* __restrict x = static_cast<const U*>(st->input);
    Storage* __restrict y = static_cast<Storage*>(st->output);
    const int32_t n = st->numElements;
    const U inMask = static_cast<U>(st->inMax);
    const U outMask = static_cast<U>(st->outMax);
    const U outOffset = static_cast<U>(st->outOffset);
    for (int32_t i = 0; i < n; ++i)
        y[i] = signExtendStored<Storage>(static_cast<U>((x[i] & inMask) - outOffset), outMask, outOffset);
}

// B->any: trueValue for a non-zero input, else 0.
template <typename Out>
void fromBoolean(const ScaleConvertState* st) {
    const uint8_t* __restrict x = static_cast<const uint8_t*>(st->input);
    Out* __restrict y = static_cast<Out*>(st->output);
    const int32_t n = st->numElements;
    const Out trueValue = static_cast<Out>(st->trueValue);
    for (int32_t i = 0; i < n; ++i)
        y[i] = x[i] != 0 ? trueValue : Out(0);
}

// any->B: 1 for a non-zero input (a NaN included), else 0.
template <typename In>
void toBoolean(const ScaleConvertState* st) {
    const In* __restrict x = static_cast<const In*>(st->input);
    uint8_t* __restrict y = static_cast<uint8_t*>(st->output);
    const int32_t n = st->numElements;
    for (int32_t i = 0; i < n; ++i)
        y[i] = x[i] != In(0) ? 1 : 0;
}

// Equal integer, fixed-point or boolean types: the stored bytes unchanged.
inline void copyBytes(const ScaleConvertState* st) {
    if (st->numElements > 0)
        std::memcpy(st->output, st->input,
                    static_cast<size_t>(st->numElements) * static_cast<size_t>(st->inElemSize));
}

}  // namespace UBRIN_KERNEL_VARIANT
}  // namespace ubrin::kernels
