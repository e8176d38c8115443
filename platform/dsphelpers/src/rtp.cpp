// Run-time parameters from block data: double values converted into the parameter's type by the
// host's one converter.
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
        types::storeRealWorld(data[i], dataTypeId, stored.data() + i * t.containerBytes);
    return ssCreateRunTimeParamFromData(S, rtpIndex, name, dataTypeId, 0, nDims, dims, stored.data());
}

void* GetRTPDataPtr(SysObjAdaptorSFun* S, int32_t rtpIndex) {
    const ssParamRec* rec = ssGetRunTimeParamInfo(S, rtpIndex);
    return rec != nullptr ? rec->data : nullptr;
}

}  // namespace VekSimCommon
