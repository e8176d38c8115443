// Run-time parameters from block data: double values converted into the parameter's type.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/types.h"
#include "vekdsp.h"

namespace VekSimCommon {

using namespace sysobj;
namespace types = dravo::types;
namespace msg = dravo::dsphelpers;

namespace {

using Bits128 = unsigned __int128;

// Round to nearest (ties away from zero) and saturate into the word's range; NaN becomes 0. The result is
// the two's-complement bit pattern of the stored integer, so 128-bit words need no special case.
Bits128 roundSaturate(double v, int32_t wordLength, bool isSigned) {
    if (v != v) return 0;
    const double r = std::round(v);
    const int32_t magnitudeBits = isSigned ? wordLength - 1 : wordLength;
    const Bits128 maxStored = magnitudeBits == 128 ? ~Bits128(0) : (Bits128(1) << magnitudeBits) - 1;
    if (r >= std::ldexp(1.0, magnitudeBits)) return maxStored;
    if (isSigned) {
        const double lo = -std::ldexp(1.0, wordLength - 1);
        if (r <= lo) return ~maxStored;  // -2^(WL-1)
        if (r < 0.0) return ~static_cast<Bits128>(-r) + 1;
        return static_cast<Bits128>(r);
    }
    return r <= 0.0 ? 0 : static_cast<Bits128>(r);
}

// Stores the low bytes of a two's-complement value (little endian), sign- or zero-extended by construction.
void storeInteger(Bits128 v, uint8_t* out, int32_t bytes) {
    std::memcpy(out, &v, static_cast<size_t>(bytes));
}

bool convertElement(const types::TypeInfo& t, double v, uint8_t* out) {
    switch (t.kind) {
        case types::Kind::Double:
            std::memcpy(out, &v, sizeof v);
            return true;
        case types::Kind::Single: {
            const float f = static_cast<float>(v);
            std::memcpy(out, &f, sizeof f);
            return true;
        }
        case types::Kind::Boolean:
            *out = (v != 0.0 && v == v) ? 1 : 0;
            return true;
        case types::Kind::Integer:
            storeInteger(roundSaturate(v, t.wordLength, t.isSigned), out, t.containerBytes);
            return true;
        case types::Kind::FixedPoint: {
            const double scaled = std::ldexp(v, t.fracLength);
            storeInteger(roundSaturate(scaled, t.wordLength, t.isSigned), out, t.containerBytes);
            return true;
        }
        case types::Kind::ScaledDouble:
            // A scaled double is the value itself in double, as the host stores dialog parameters of that type.
            std::memcpy(out, &v, sizeof v);
            return true;
    }
    return false;
}

}  // namespace

bool ConvertDTypeAndCreateRTP(SysObjAdaptorSFun* S, const double* data, int32_t nDims, const int32_t* dims,
                              DataTypeId dataTypeId, int32_t rtpIndex, const char* name) {
    const char* label = name != nullptr ? name : "";
    if (!types::isKnown(dataTypeId) || nDims < 0 || (nDims > 0 && dims == nullptr)) {
        dspError(S, msg::kRtpDataInvalid, {label});
        return false;
    }
    int64_t count = 1;
    for (int32_t i = 0; i < nDims; ++i) {
        if (dims[i] < 0) {
            dspError(S, msg::kRtpDataInvalid, {label});
            return false;
        }
        count *= dims[i];
        if (count > std::numeric_limits<int32_t>::max()) {
            dspError(S, msg::kRtpDataInvalid, {label});
            return false;
        }
    }
    if (count > 0 && data == nullptr) {
        dspError(S, msg::kRtpDataInvalid, {label});
        return false;
    }
    const types::TypeInfo& t = types::info(dataTypeId);
    std::vector<uint8_t> stored(static_cast<size_t>(count) * static_cast<size_t>(t.containerBytes));
    for (int64_t i = 0; i < count; ++i)
        convertElement(t, data[i], stored.data() + i * t.containerBytes);
    return ssCreateRunTimeParamFromData(S, rtpIndex, name, dataTypeId, 0, nDims, dims, stored.data());
}

void* GetRTPDataPtr(SysObjAdaptorSFun* S, int32_t rtpIndex) {
    const ssParamRec* rec = ssGetRunTimeParamInfo(S, rtpIndex);
    return rec != nullptr ? rec->data : nullptr;
}

}  // namespace VekSimCommon
