// The host's data-type registry: one per process (the host library is shared), so every plug-in and tool
// sees the same ids. Ids 0..8 are built in; fixed-point and scaled-double types are registered on first
// use with ids from 9 upward, one id per distinct type. Thread-compatible, not thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sysobj.h"

namespace dravo::types {

enum class Kind { Double, Single, Integer, Boolean, FixedPoint, ScaledDouble };

struct TypeInfo {
    DataTypeId id = -1;
    Kind kind = Kind::Double;
    bool isSigned = true;
    int32_t wordLength = 64;     // built-ins: 64, 32, 8, 16, 32; boolean 1
    int32_t fracLength = 0;      // fixed point and scaled double; 0 otherwise
    int32_t containerBytes = 8;  // storage size in bytes: 1, 2, 4, 8 or 16
    std::string name;            // "double", "uint8", "fixed:s16:12", "scaled:s16:12", ...
};

inline constexpr int32_t kMinFixedWordLength = 2;
inline constexpr int32_t kMaxFixedWordLength = 128;
// Fraction lengths are int32 whose negation is an int32 too.
inline constexpr int32_t kMaxFractionLength = 2147483647;

// Registers (or finds) a fixed-point type; -1 for a word length outside 2..128 or a fraction length
// outside +-kMaxFractionLength.
DataTypeId registerFixedPoint(bool isSigned, int32_t wordLength, int32_t fracLength);
// Registers (or finds) the scaled double of a fixed-point shape; -1 when out of range.
DataTypeId registerScaledDouble(bool isSigned, int32_t wordLength, int32_t fracLength);

bool isKnown(DataTypeId id);
// The record of a known id; throws std::out_of_range for an unknown one.
const TypeInfo& info(DataTypeId id);
std::string typeName(DataTypeId id);  // "unset" for -1, "unknown(<id>)" for an unknown id
// Parses a textual type name; registers fixed/scaled types as needed. nullopt when malformed.
std::optional<DataTypeId> parseTypeName(const std::string& name);
// The one conversion between real-world values and stored elements, used by the host (run-time
// parameters), the DSP helper library and the tools. Storing rounds to nearest with ties away from zero
// and saturates; fixed point stores round(value x 2^FL) sign- or zero-extended into its container (up to
// 128 bits); NaN stores 0 for every integer-valued type; boolean stores 1 for any non-zero, non-NaN value;
// single is the plain conversion; double and scaled doubles store the value itself. False (nothing
// written) for an unknown id.
bool storeRealWorld(double value, DataTypeId id, void* dst);
// One stored element back as its real-world value (stored integer x 2^-FL); 0 for an unknown id.
double loadRealWorld(DataTypeId id, const void* src);

// Zero value storage of the type (containerBytes bytes of zero).
const void* zeroValue(DataTypeId id);

}  // namespace dravo::types
