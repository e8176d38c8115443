// The C emitter: turns a Unit (one block instance) into <id>.h / <id>.c, the pool's shared utility
// functions into dravo_common.h / dravo_common.c, and provides the runtime header dravo_rt.h.
// Emitted C is C99 and compiles with -std=c99 -Wall -Wextra -Werror. Generated fixed-point code supports
// word lengths up to 64 bits; a larger one is a generation error naming the reason (nothing is emitted).
#pragma once

#include <string>
#include <vector>

#include "cg/unit.h"

namespace CG {

struct EmittedFile {
    std::string name;
    std::string text;
};

struct EmitOptions {
    bool sourceTags = false;  // append "/* file:line */" to constructs that carry a source location
};

const char* runtimeHeaderName();  // "dravo_rt.h": types and the 64-bit fixed-point helpers, always written
const char* runtimeHeaderText();
// "dravo_rt_wide.h": 128-bit helpers (the compiler's __int128 where it has one, else two 64-bit words;
// -DDVRT_PORTABLE_INT forces the latter). Written, and included, only by units whose fixed-point
// intermediates need more than 62 bits.
const char* wideHeaderName();
const char* wideHeaderText();
const char* commonUnitName();  // "dravo_common"

// Errors go to the active diagnostics; on error the result is empty. A unit that needs the wide helpers
// also gets dravo_rt_wide.h in its files.
std::vector<EmittedFile> emitUnit(const Unit& unit, const EmitOptions& options = {});
// The pool's functions (all of them), with the runtime header. Empty pool: header and an empty unit.
std::vector<EmittedFile> emitCommon(const Pool& pool, const EmitOptions& options = {});

// Writes all files into dir (created if missing), or none: they are written to a scratch folder first
// and moved in only when every write succeeded. Returns false with a reason in *error.
bool writeFilesAtomically(const std::string& dir, const std::vector<EmittedFile>& files, std::string* error);

// Emits the unit, the common unit and the runtime header and writes them into dir, all or none. On
// failure *error reads "block '<name>': <reason>" and the folder holds no new file.
bool writeUnit(const Unit& unit, const std::string& dir, std::string* error, const EmitOptions& options = {});

// The unit's tunable run-time parameters live in one structure, <id>_params_t: a const default instance
// <id>_params_default holding the simulation's values, and the pointer <id>_params the step reads (set
// with <id>_set_params between steps; NULL restores the defaults). One member per tunable parameter of
// the block, in parameter order, each an array of the parameter's width.
struct ParamMember {
    int32_t rtpIndex = -1;  // index into BlockDesc::rtps
    std::string member;     // C member name
    std::string cType;      // element C type
    int32_t count = 0;      // elements
    size_t bytes = 0;       // storage bytes of the whole member
};
// Empty when the block has no tunable run-time parameter (the unit then has no structure).
std::vector<ParamMember> parameterStruct(const BlockDesc& desc);
std::string paramStructType(const Unit& unit);   // "<id>_params_t"
std::string paramPointerName(const Unit& unit);  // "<id>_params"
std::string paramDefaultName(const Unit& unit);  // "<id>_params_default"
std::string paramSetterName(const Unit& unit);   // "<id>_set_params"

// C type name of a scalar or complex IR type ("int16_t", "dv_complex_double"); reports an error for types
// the target cannot hold.
std::string cTypeName(const Type& t);
// Bytes one element of the type occupies in host and generated storage (complex: both parts).
size_t storageBytes(const Type& t);

}  // namespace CG
