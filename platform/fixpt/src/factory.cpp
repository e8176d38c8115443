#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "host_bridge.h"
#include "vekfixpt_factory.h"

namespace VekDSPFixpt {

namespace {

// The host copies an error text when the callback returns, so one static buffer serves every refusal.
char errorBuffer[512];

const char* remember(const std::string& why) {
    std::strncpy(errorBuffer, why.c_str(), sizeof errorBuffer - 1);
    errorBuffer[sizeof errorBuffer - 1] = '\0';
    return errorBuffer;
}

// Records for one new object, attached to the registry.
ObjectLog* newObjectLog(const DSPDataAttributesHandle& attrs) {
    ObjectLog* logs = new ObjectLog;
    logs->labels[0] = attrs.getLabel();
    logs->labels[1] = attrs.getProductLabel();
    logs->labels[2] = attrs.getAccumulatorLabel();
    LogRegistry::instance().attach(logs);
    return logs;
}

}  // namespace

size_t FixptFactory::elementBytes(const DSPDataAttributesHandle& attrs) {
    return size_t(attrs.valueType().containerBytes) * (attrs.isComplex() ? 2 : 1);
}

const char* FixptFactory::lastError() {
    return errorBuffer;
}

bool FixptFactory::isLoggingOn(sysobj::SysObjAdaptorSFun* S) {
    return detail::hostLoggingOn(S);
}

const char* FixptFactory::check(const DSPDataAttributesHandle* attrs, const void* data, int32_t numElements,
                                size_t availableBytes) {
    if (attrs == nullptr) return remember("Fixed-point library: no data attributes handle given");
    if (!attrs->isValid()) return remember(attrs->errorMessage());
    if (numElements < 1) {
        return remember("Fixed-point library: element count " + std::to_string(numElements) + " for \"" +
                        attrs->getLabel() + "\" must be at least 1");
    }
    const int64_t parts = int64_t(numElements) * (attrs->isComplex() ? 2 : 1);
    if (parts > std::numeric_limits<int32_t>::max()) {
        return remember("Fixed-point library: element count " + std::to_string(numElements) + " for \"" +
                        attrs->getLabel() + "\" is too large");
    }
    if (data == nullptr && parts > 1) {
        return remember("Fixed-point library: no data given for " + std::to_string(numElements) +
                        " elements of \"" + attrs->getLabel() + "\"");
    }
    const size_t needed = size_t(parts) * size_t(attrs->valueType().containerBytes);
    if (data != nullptr && needed > availableBytes) {
        return remember("Fixed-point library: " + std::to_string(numElements) + " elements of \"" +
                        attrs->getLabel() + "\" need " + std::to_string(needed) + " bytes, only " +
                        std::to_string(availableBytes) + " available");
    }
    return "";
}

Fixpt* FixptFactory::make(const DSPDataAttributesHandle* attrs, void* data, int32_t numElements,
                          bool logging) {
    ObjectLog* logs = logging ? newObjectLog(*attrs) : nullptr;
    const int32_t parts = numElements * (attrs->isComplex() ? 2 : 1);
    return new Fixpt(attrs, data, parts, logs);
}

Fixpt* FixptFactory::createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs,
                                 void* data, int32_t numElements) {
    return createFixpt(S, attrs, data, numElements, std::numeric_limits<size_t>::max());
}

Fixpt* FixptFactory::createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs,
                                 void* data, int32_t numElements, size_t availableBytes) {
    const char* why = check(attrs, data, numElements, availableBytes);
    if (*why) {
        detail::hostSetError(S, why);
        return nullptr;
    }
    return make(attrs, data, numElements, detail::hostLoggingOn(S));
}

Fixpt* FixptFactory::createFixpt(sysobj::SysObjAdaptorSFun* S, const DSPDataAttributesHandle* attrs) {
    return createFixpt(S, attrs, nullptr, 1);
}

Fixpt* FixptFactory::createFixpt(const DSPDataAttributesHandle& attrs, void* data, int32_t numElements,
                                 bool logging) {
    const char* why = check(&attrs, data, numElements, std::numeric_limits<size_t>::max());
    if (*why) throw std::invalid_argument(why);
    return make(&attrs, data, numElements, logging);
}

Fixpt FixptFactory::createScalar(const DSPDataAttributesHandle& attrs, bool logging) {
    const char* why = check(&attrs, nullptr, 1, 0);
    if (*why) throw std::invalid_argument(why);
    ObjectLog* logs = logging ? newObjectLog(attrs) : nullptr;
    return Fixpt(&attrs, nullptr, 1, logs);  // returned in place: the records stay with this object
}

}  // namespace VekDSPFixpt
