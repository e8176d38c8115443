#include "rtp_store.h"

#include "dravo/host/types.h"

namespace dravo::host::detail {

std::string fillRtpFromDialog(sysobj::SysObjAdaptorSFun* S, int32_t dlgIndex, Rtp& rtp) {
    if (dlgIndex < 0 || static_cast<size_t>(dlgIndex) >= S->params.size())
        return "dialog parameter " + std::to_string(dlgIndex) + " does not exist";
    const qzArray_tag* a = S->params[static_cast<size_t>(dlgIndex)].get();
    if (qzIsComplex(a) && !rtp.complexSignal)
        return "dialog parameter " + std::to_string(dlgIndex) + " is complex but run-time parameter \"" +
               rtp.name + "\" is real";
    if (qzGetClassID(a) == qzCHAR_CLASS)
        return "dialog parameter " + std::to_string(dlgIndex) + " is text, not a number";
    size_t n = qzGetNumberOfElements(a);
    size_t elem = static_cast<size_t>(types::info(rtp.dataType).containerBytes);
    size_t parts = rtp.complexSignal ? 2 : 1;
    size_t bytes = n * elem * parts;

    // Same size: convert in place so the data pointer the block holds stays valid.
    AlignedBuffer fresh;
    bool reuse = rtp.data.allocated() && rtp.data.size() == bytes;
    if (!reuse) fresh.resize(bytes);
    unsigned char* dst = reuse ? rtp.data.data() : fresh.data();
    for (size_t i = 0; i < n; ++i) {
        types::storeRealWorld(qzGetRealElementAsDouble(a, i), rtp.dataType, dst + i * elem * parts);
        if (parts == 2)
            types::storeRealWorld(qzGetImagElementAsDouble(a, i), rtp.dataType, dst + i * elem * 2 + elem);
    }
    if (!reuse) rtp.data = std::move(fresh);

    int32_t nd = qzGetNumberOfDimensions(a);
    const size_t* d = qzGetDimensions(a);
    rtp.dims.assign(d, d + nd);
    rtp.dlgParamIndex = dlgIndex;
    refreshRecord(rtp);
    return {};
}

void refreshRecord(Rtp& rtp) {
    rtp.rec.name = rtp.name.c_str();
    rtp.rec.dataTypeId = rtp.dataType;
    rtp.rec.complexSignal = rtp.complexSignal;
    rtp.rec.nDimensions = static_cast<int32_t>(rtp.dims.size());
    rtp.rec.dimensions = rtp.dims.data();
    rtp.rec.data = rtp.data.data();
    rtp.rec.dlgParamIndex = rtp.dlgParamIndex;
}

}  // namespace dravo::host::detail
