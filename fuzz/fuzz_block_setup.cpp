// A whole block set-up through the host: a block, dialog settings and a small input array, all taken
// from the fuzzer's bytes, configured, started and stepped once. A refusal is a ToolError or the
// block's own error; anything else (a crash, undefined behaviour, another exception) is a finding.
//
// Bytes: [block] [type] [number of dims] [dims...] [input elements...] then lines "NAME=VALUE".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "errors.h"
#include "setup/setup.h"

namespace {

using namespace dravo::cli;

const char* const kBlocks[] = {"pad", "convert", "rotate", "corner-metric", "contrast"};
constexpr size_t kBlockCount = sizeof(kBlocks) / sizeof(kBlocks[0]);
const DataTypeId kTypes[] = {SS_DOUBLE, SS_SINGLE, SS_UINT8, SS_INT8,
                             SS_UINT16, SS_INT16,  SS_INT32, SS_BOOLEAN};
const size_t kTypeBytes[] = {8, 4, 1, 1, 2, 2, 4, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t pos = 0;
    auto next = [&]() -> uint8_t { return pos < size ? data[pos++] : 0; };
    std::string block = kBlocks[next() % kBlockCount];
    size_t typeIndex = next() % 8;
    size_t nd = 1 + next() % 3;
    Signal s;
    s.dataType = kTypes[typeIndex];
    s.complex = false;
    for (size_t k = 0; k < nd; ++k)
        s.dims.push_back(next() % 6);
    if (nd == 1) s.dims.push_back(1);
    size_t n = s.count() * kTypeBytes[typeIndex];
    s.bytes.assign(n, 0);
    for (size_t i = 0; i < n; ++i)
        s.bytes[i] = next();
    if (s.dataType == SS_BOOLEAN)
        for (auto& b : s.bytes)
            b = b & 1;

    dravo::setup::Request request;
    request.block = block;
    std::string rest(reinterpret_cast<const char*>(data) + std::min(pos, size), size - std::min(pos, size));
    size_t start = 0;
    while (start < rest.size() && request.params.size() < 8) {
        size_t end = rest.find('\n', start);
        std::string line = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? rest.size() : end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        request.params.push_back({std::nullopt, line.substr(0, eq), line.substr(eq + 1)});
    }
    try {
        request.inputs.push_back({"fuzzed input", {s}});
        dravo::setup::Plan plan = dravo::setup::makePlan(request);
        std::unique_ptr<dravo::host::Block> b = dravo::setup::configure(plan);
        dravo::setup::feedStep(*b, plan, 1);
        b->step();
    } catch (const ToolError&) {
    } catch (const dravo::host::BlockError&) {
    }
    return 0;
}
