#include <string>
#include <utility>

#include "host_bridge.h"
#include "vekfixpt_attributes.h"

namespace VekDSPFixpt {

namespace {

std::string textOrEmpty(const char* s) {
    return s ? std::string(s) : std::string();
}

}  // namespace

DSPDataAttributesHandle::DSPDataAttributesHandle(const NumType& value, const NumType& product,
                                                 const NumType& accumulator, int32_t roundingCode,
                                                 int32_t overflowCode, std::string label,
                                                 std::string productLabel, std::string accumulatorLabel,
                                                 bool isComplex)
    : value_(value),
      product_(product),
      accumulator_(accumulator),
      rounding_(roundingCode),
      overflow_(overflowCode),
      complex_(isComplex),
      label_(std::move(label)),
      productLabel_(std::move(productLabel)),
      accumulatorLabel_(std::move(accumulatorLabel)) {
    validate();
}

DSPDataAttributesHandle::DSPDataAttributesHandle(int32_t wordLength, int32_t fracLength,
                                                 int32_t accWordLength, int32_t accFracLength,
                                                 int32_t prodWordLength, int32_t prodFracLength,
                                                 sysobj::SysObjAdaptorSFun* S, int32_t overflowCode,
                                                 int32_t roundingCode, bool isComplex, bool isSigned,
                                                 const char* label, const char* productLabel,
                                                 const char* accumulatorLabel, int32_t /*overrideArg*/)
    : value_(NumType::fixed(isSigned, wordLength, fracLength)),
      product_(NumType::fixed(true, prodWordLength, prodFracLength)),
      accumulator_(NumType::fixed(true, accWordLength, accFracLength)),
      rounding_(roundingCode),
      overflow_(overflowCode),
      complex_(isComplex),
      block_(S),
      label_(textOrEmpty(label)),
      productLabel_(textOrEmpty(productLabel)),
      accumulatorLabel_(textOrEmpty(accumulatorLabel)) {
    validate();
}

DSPDataAttributesHandle::DSPDataAttributesHandle(DataTypeId id, int32_t complexSignal, const NumType& product,
                                                 const NumType& accumulator, int32_t roundingCode,
                                                 int32_t overflowCode, std::string label,
                                                 std::string productLabel, std::string accumulatorLabel)
    : product_(product),
      accumulator_(accumulator),
      rounding_(roundingCode),
      overflow_(overflowCode),
      complex_(complexSignal == 1),
      id_(id),
      label_(std::move(label)),
      productLabel_(std::move(productLabel)),
      accumulatorLabel_(std::move(accumulatorLabel)) {
    if (!detail::hostTypeOf(id, value_, error_)) return;
    validate();
}

std::string DSPDataAttributesHandle::checkType(const NumType& t, const char* role) {
    if (t.isFloating()) return "";
    const bool booleanType = !t.isSigned && t.wordLength == 1;  // only from the host's boolean id
    if ((t.wordLength < kMinWordLength || t.wordLength > kMaxWordLength) && !booleanType) {
        return std::string("Fixed-point library: ") + role + " word length " + std::to_string(t.wordLength) +
               " is not supported (2 to 128 bits)";
    }
    if (t.fracLength < -kMaxFracLengthMagnitude || t.fracLength > kMaxFracLengthMagnitude) {
        return std::string("Fixed-point library: ") + role + " fraction length " +
               std::to_string(t.fracLength) + " is not supported (-512 to 512)";
    }
    if (t.containerBytes != NumType::containerFor(t.wordLength)) {
        return std::string("Fixed-point library: ") + role + " container of " +
               std::to_string(t.containerBytes) + " bytes does not match word length " +
               std::to_string(t.wordLength);
    }
    return "";
}

void DSPDataAttributesHandle::validate() {
    valueDest_ = detail::QuantDest::make(value_, rounding_, overflow_);
    productDest_ = detail::QuantDest::make(product_, rounding_, overflow_);
    accumulatorDest_ = detail::QuantDest::make(accumulator_, rounding_, overflow_);
    if (value_.kind == NumKind::Fixed && value_.wordLength == 1 && id_ < 0) {
        error_ = "Fixed-point library: value word length 1 is not supported (2 to 128 bits)";
        return;
    }
    const std::pair<const NumType*, const char*> roles[] = {
        {&value_, "value"}, {&product_, "product"}, {&accumulator_, "accumulator"}};
    for (const auto& [type, role] : roles) {
        std::string why = checkType(*type, role);
        if (type != &value_ && type->kind == NumKind::Fixed && type->wordLength == 1) {
            why = std::string("Fixed-point library: ") + role +
                  " word length 1 is not supported (2 to 128 bits)";
        }
        if (!why.empty()) {
            error_ = why;
            return;
        }
    }
    if (rounding_ < kRoundZero || rounding_ > kRoundConvergent) {
        error_ = "Fixed-point library: rounding code " + std::to_string(rounding_) + " is not one of 0 to 6";
    } else if (overflow_ != kOverflowWrap && overflow_ != kOverflowSaturate) {
        error_ = "Fixed-point library: overflow code " + std::to_string(overflow_) +
                 " is not 0 (wrap) or 1 (saturate)";
    }
}

}  // namespace VekDSPFixpt
