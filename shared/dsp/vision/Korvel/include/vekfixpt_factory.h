// FixptFactory: makes Fixpt objects from a data attributes handle.
//
// Refusals happen here, at creation, never later: an invalid handle (unsupported word or fraction length,
// unknown mode code or type id), a missing handle, an element count below 1, null data with more than one
// element, or (checked overloads) an element count that does not fit the bytes available.
// - Block-side overloads (block handle S given): return null and set the host's error status with the
//   reason; the block returns from its callback. Logging follows the host's min/max/overflow setting.
// - Tool-side overloads (no block handle): throw std::invalid_argument; logging as asked.
// Objects are deleted with delete by their owner; the handle must outlive them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sysobj.h"
#include "vekfixpt_attributes.h"
#include "vekfixpt_number.h"

namespace VekDSPFixpt {

class VEKFIXPT_API FixptFactory {
  public:
    // Over numElements elements at data (2 x numElements parts when the handle is complex, interleaved;
    // select part p of element i with index 2i + p). Null data with one element: free-standing.
    static Fixpt* createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs, void* data,
                              int32_t numElements);
    // The same, refusing an element count whose storage exceeds availableBytes.
    static Fixpt* createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs, void* data,
                              int32_t numElements, size_t availableBytes);
    // Free-standing with one element (zero), owned by the object.
    static Fixpt* createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs);

    // Tool-side forms.
    static Fixpt* createFixpt(const DSPDataAttributesHandle& attrs, void* data, int32_t numElements,
                              bool logging = false);
    static Fixpt createScalar(const DSPDataAttributesHandle& attrs, bool logging = false);

    // Bytes one element of the handle's value type takes (both parts when complex).
    static size_t elementBytes(const DSPDataAttributesHandle& attrs);
    // The reason of the latest refusal ("" before any).
    static const char* lastError();
    // The host's min/max/overflow logging setting for a block (false for a null handle).
    static bool isLoggingOn(sysobj::SysObjAdaptorSFun* S);

  private:
    // "" when the request is sound, else the reason.
    static const char* check(const DSPDataAttributesHandle* attrs, const void* data, int32_t numElements,
                             size_t availableBytes);
    static Fixpt* make(const DSPDataAttributesHandle* attrs, void* data, int32_t numElements, bool logging);
};

}  // namespace VekDSPFixpt
