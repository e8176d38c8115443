// Helpers for the code-generation tests: a block context whose output code is a lambda, block
// descriptions built by hand, and byte conversions for the harness.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cg/codegen.h"
#include "cg/harness.h"
#include "dspcgctx.h"

namespace cgtest {

class LambdaCtx : public DSPCG::CoreCtx {
  public:
    using Body = std::function<void(LambdaCtx&)>;
    LambdaCtx(TarnCG::CGHandle* cg, Body body, int32_t rounding = CG::RndFloor,
              int32_t overflow = CG::OvfWrap)
        : DSPCG::CoreCtx(cg, rounding, overflow), body_(std::move(body)) {}
    void generateOutputFcn() override { body_(*this); }
    void declareIRSupport() override { setIRSupported(); }
    using TarnCG::TarnCGCtx::getInputRef;

  private:
    Body body_;
};

// A DSPCGCtx-based context (as the image blocks use).
class LambdaDspCtx : public DSPCGCtx {
  public:
    using Body = std::function<void(LambdaDspCtx&)>;
    LambdaDspCtx(TarnCG::CGHandle* cg, Body body, int32_t rounding = CG::RndFloor,
                 int32_t overflow = CG::OvfWrap)
        : DSPCGCtx(cg, rounding, overflow), body_(std::move(body)) {}
    void output() override { body_(*this); }
    void declareIRSupport() override { setIRSupported(); }

  private:
    Body body_;
};

CG::SignalDesc signal(const CG::Type& t, std::vector<int32_t> dims, bool variableSize = false);
CG::DataDesc data(const std::string& name, const CG::Type& t, int32_t width, std::vector<uint8_t> bytes = {},
                  bool tunable = false);

template <typename T>
std::vector<uint8_t> bytesOf(const std::vector<T>& v) {
    std::vector<uint8_t> b(v.size() * sizeof(T));
    if (!v.empty()) std::memcpy(b.data(), v.data(), b.size());
    return b;
}

template <typename T>
std::vector<T> valuesOf(const std::vector<uint8_t>& b) {
    std::vector<T> v(b.size() / sizeof(T));
    if (!v.empty()) std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
    return v;
}

// The unit's C text (header + source), or "" with the error in *error.
std::string emitText(TarnCG::CGHandle& h, std::string* error = nullptr);

// Emits, builds with -Werror and UBSan, runs; fails the current test with the reason when that fails.
CG::HarnessResult run(TarnCG::CGHandle& h, const std::vector<CG::HarnessInput>& inputs, bool sanitize = true);

std::string workDir(const std::string& tag);

}  // namespace cgtest
