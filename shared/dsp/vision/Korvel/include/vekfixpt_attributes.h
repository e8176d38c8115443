// DSPDataAttributesHandle: the data types and modes shared by a family of number objects.
//
// A handle carries a value type (what objects made from it store), a product type (what `a * b` and
// square() yield), an accumulator type (what binary + and - yield), a rounding code (0..6), an overflow
// code (0..1), whether the data is complex (interleaved real/imaginary parts) and the labels under which
// logging merges the records: the value label, the product label and the accumulator label.
//
// Constructors never throw; a handle with an unsupported word length, fraction length or mode code is
// invalid (isValid() false, errorMessage() says why), and FixptFactory refuses to build objects from it.
// Objects keep a pointer to their handle: the handle must outlive them.
#pragma once

#include <cstdint>
#include <string>

#include "sysobj.h"
#include "vekfixpt_quantise.h"
#include "vekfixpt_types.h"

namespace VekDSPFixpt {

class VEKFIXPT_API DSPDataAttributesHandle {
  public:
    // Explicit types.
    DSPDataAttributesHandle(const NumType& value, const NumType& product, const NumType& accumulator,
                            int32_t roundingCode, int32_t overflowCode, std::string label,
                            std::string productLabel = "Product output",
                            std::string accumulatorLabel = "Accumulator", bool isComplex = false);

    // Block form: value type (isSigned, wordLength, fracLength), signed accumulator and product types,
    // the block handle (kept for the caller's convenience, may be null), overflow and rounding codes,
    // complexity, labels, and the data-type override argument the block passes along (kept, unused).
    DSPDataAttributesHandle(int32_t wordLength, int32_t fracLength, int32_t accWordLength,
                            int32_t accFracLength, int32_t prodWordLength, int32_t prodFracLength,
                            sysobj::SysObjAdaptorSFun* S, int32_t overflowCode, int32_t roundingCode,
                            bool isComplex, bool isSigned, const char* label, const char* productLabel,
                            const char* accumulatorLabel, int32_t overrideArg);

    // Value type from a host DataTypeId (built-in, fixed-point or scaled double), asked of the host's
    // type registry; an unknown id makes the handle invalid.
    DSPDataAttributesHandle(DataTypeId id, int32_t complexSignal, const NumType& product,
                            const NumType& accumulator, int32_t roundingCode, int32_t overflowCode,
                            std::string label, std::string productLabel = "Product output",
                            std::string accumulatorLabel = "Accumulator");

    bool isValid() const { return error_.empty(); }
    const std::string& errorMessage() const { return error_; }

    const NumType& valueType() const { return value_; }
    const NumType& productType() const { return product_; }
    const NumType& accumulatorType() const { return accumulator_; }
    int32_t getRoundingCode() const { return rounding_; }
    int32_t getOverflowCode() const { return overflow_; }
    bool isComplex() const { return complex_; }
    DataTypeId getDataTypeId() const { return id_; }  // -1 unless made from an id
    sysobj::SysObjAdaptorSFun* getBlock() const { return block_; }

    // The value type's word length, fraction length and signedness (what block utilities write out).
    int32_t getWordLength() const { return value_.wordLength; }
    int32_t getFracLength() const { return value_.fracLength; }
    bool isSigned() const { return value_.isSigned; }

    const std::string& getLabel() const { return label_; }
    const std::string& getProductLabel() const { return productLabel_; }
    const std::string& getAccumulatorLabel() const { return accumulatorLabel_; }

    // Quantisation targets of the three types with the handle's modes (precomputed for the fast path).
    const detail::QuantDest& valueDest() const { return valueDest_; }
    const detail::QuantDest& productDest() const { return productDest_; }
    const detail::QuantDest& accumulatorDest() const { return accumulatorDest_; }

    // "" when the type is usable, else why not.
    static std::string checkType(const NumType& t, const char* role);

  private:
    void validate();

    NumType value_, product_, accumulator_;
    int32_t rounding_ = kRoundFloor;
    int32_t overflow_ = kOverflowSaturate;
    bool complex_ = false;
    DataTypeId id_ = -1;
    sysobj::SysObjAdaptorSFun* block_ = nullptr;
    std::string label_, productLabel_, accumulatorLabel_;
    std::string error_;
    detail::QuantDest valueDest_, productDest_, accumulatorDest_;
};

}  // namespace VekDSPFixpt
