#include "cg/corectx.h"

#include "cg/diagnostics.h"

namespace DSPCG {

using namespace CG;

CoreCtx::CoreCtx(TarnCG::CGHandle* cg, int32_t roundingMode, int32_t overflowMode, const Type* type1,
                 const Type* type2)
    : TarnCG::TarnCGCtx(cg, roundingMode, overflowMode) {
    ConstructionFacade::setMathModes(roundingMode, overflowMode);
    ConstructionFacade::setBuilder(currentBuilder());
    if (type1) type1_ = *type1;
    if (type2) type2_ = *type2;
}

CoreCtx::~CoreCtx() = default;

NumRef CoreCtx::scalarOrMatrix(const Var& v, int32_t width) {
    if (!v) return NumRef();
    if (width == 1) return NumRef(this, ElementNode::make(v.ref(), sint32C(0)));
    return NumRef(this, v.ref());
}

NumRef CoreCtx::getInputNumRef(int32_t port) {
    Var v = getInputRef(port);
    if (!v) return NumRef();
    const SignalDesc& s = cgHandle()->unit().desc.inputs[port];
    return scalarOrMatrix(v, s.variableSize ? -1 : s.width);
}
NumRef CoreCtx::getInputNumRefAsMatrix(int32_t port) {
    return NumRef(this, getInputRef(port).ref());
}
NumRef CoreCtx::getOutputNumRef(int32_t port) {
    Var v = getOutputVar(port);
    if (!v) return NumRef();
    const SignalDesc& s = cgHandle()->unit().desc.outputs[port];
    return scalarOrMatrix(v, s.variableSize ? -1 : s.width);
}
NumRef CoreCtx::getOutputNumRefAsMatrix(int32_t port) {
    return NumRef(this, getOutputVar(port).ref());
}
NumRef CoreCtx::getParamNumRef(int32_t index) {
    Var v = getParamRef(index);
    if (!v) return NumRef();
    return scalarOrMatrix(v, cgHandle()->unit().desc.rtps[index].width);
}
IdxRef CoreCtx::getParamIdxRefAsMatrix(int32_t index) {
    Var v = getParamRef(index);
    if (!v) return IdxRef();
    CG_INTERNAL_ASSERT_RET(v.type().elem().isIntegerLike(), IdxRef());
    return IdxRef(this, v.ref());
}
NumRef CoreCtx::getDWorkNumRef(int32_t index) {
    Var v = getDWorkRef(index);
    if (!v) return NumRef();
    return scalarOrMatrix(v, cgHandle()->unit().desc.dworks[index].width);
}
IdxRef CoreCtx::getDWorkIdxRefAsMatrix(int32_t index) {
    Var v = getDWorkRef(index);
    if (!v) return IdxRef();
    CG_INTERNAL_ASSERT_RET(v.type().elem().isIntegerLike(), IdxRef());
    return IdxRef(this, v.ref());
}
IdxVal CoreCtx::getInputDimSizeIdxRef(int32_t port, int32_t dim) {
    const auto& ins = cgHandle()->unit().desc.inputs;
    CG_INTERNAL_ASSERT_RET(port >= 0 && port < static_cast<int32_t>(ins.size()), IdxVal());
    const SignalDesc& s = ins[port];
    if (dim >= static_cast<int32_t>(s.dims.size())) return IdxVal(1);  // trailing singleton dimension
    CG_INTERNAL_ASSERT_RET(dim >= 0, IdxVal());
    if (!s.variableSize) return IdxVal(s.dims[dim]);
    return IdxVal(this, ElementNode::make(getInputDims(port).ref(), sint32C(dim)));
}

}  // namespace DSPCG
