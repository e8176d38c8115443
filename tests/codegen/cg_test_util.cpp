#include "cg_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace cgtest {

CG::SignalDesc signal(const CG::Type& t, std::vector<int32_t> dims, bool variableSize) {
    CG::SignalDesc s;
    s.elemType = t;
    s.dims = dims;
    s.width = 1;
    for (int32_t d : dims)
        s.width *= d;
    s.variableSize = variableSize;
    return s;
}

CG::DataDesc data(const std::string& name, const CG::Type& t, int32_t width, std::vector<uint8_t> bytes,
                  bool tunable) {
    CG::DataDesc d;
    d.name = name;
    d.elemType = t;
    d.width = width;
    d.dims = {width};
    d.bytes = std::move(bytes);
    d.tunable = tunable;
    return d;
}

std::string emitText(TarnCG::CGHandle& h, std::string* error) {
    CG::Diagnostics diag;
    CG::DiagnosticsScope scope(diag);
    auto files = CG::emitUnit(h.unit());
    if (diag.failed()) {
        if (error) *error = diag.error().message();
        return "";
    }
    std::string s;
    for (auto& f : files)
        s += f.text;
    return s;
}

std::string workDir(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" + tag;
    for (auto& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return (std::filesystem::path(::testing::TempDir()) / ("dravo_cg_" + name)).string();
}

CG::HarnessResult run(TarnCG::CGHandle& h, const std::vector<CG::HarnessInput>& inputs, bool sanitize) {
    CG::HarnessOptions o;
    o.workDir = workDir(h.unit().desc.name);
    o.sanitize = sanitize;
    CG::HarnessResult r = CG::buildAndRun(h.unit(), inputs, o);
    EXPECT_TRUE(r.ok) << r.error;
    return r;
}

}  // namespace cgtest
