// The code-generation type parameter written from a fixed-point attributes handle, which the helper owns.
#include <gtest/gtest.h>

#include <cstring>

#include "blockutils.h"
#include "dravo/host/types.h"
#include "probe_block.h"
#include "vekfixpt.h"

namespace {

using dravo::host::InputSpec;
using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::NumType;

DSPDataAttributesHandle* makeHandle(bool isSigned, int32_t wl, int32_t fl) {
    const NumType value = NumType::fixed(isSigned, wl, fl);
    return new DSPDataAttributesHandle(value, value, value, 1, 1, "Accumulator");
}

int32_t writtenId(dravo::host::Block& b) {
    const auto& pairs = b.nameValuePairs();
    EXPECT_EQ(pairs.size(), 1u);
    if (pairs.size() != 1u || pairs[0].bytes.size() != 4u) return -99;
    EXPECT_EQ(pairs[0].kind, 8);
    EXPECT_EQ(pairs[0].name, "AccDT");
    EXPECT_EQ(pairs[0].dataType, SS_INT32);
    int32_t id;
    std::memcpy(&id, pairs[0].bytes.data(), 4);
    return id;
}

TEST(CodeGenParamFromHandle, ValueTypeOfTheHandleUnderTheOverride) {
    for (int32_t dtOverride : {0, 1}) {
        dravo::host::Settings settings;
        settings.dataTypeOverride = dtOverride;
        probe::Hooks hooks;
        hooks.setWorkWidths = [](probe::Handle* S) {
            blockutils::writeFixptDataTypeParamFromHandle(S, makeHandle(false, 24, 10), "AccDT");
        };
        probe::Block b(hooks, {}, settings);
        b->initialize();
        b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
        b->start();
        EXPECT_EQ(writtenId(b.get()), dtOverride ? dravo::types::registerScaledDouble(false, 24, 10)
                                                 : dravo::types::registerFixedPoint(false, 24, 10));
    }
}

TEST(CodeGenParamFromHandle, RefusedWriteLeavesTheHandleToTheCaller) {
    DSPDataAttributesHandle* h = makeHandle(true, 16, 4);
    probe::Hooks hooks;
    hooks.setWorkWidths = [&](probe::Handle* S) {
        blockutils::writeFixptDataTypeParamFromHandle(S, h, nullptr);
    };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    EXPECT_THROW(b->start(), dravo::host::BlockError);
    EXPECT_EQ(h->getWordLength(), 16);  // still alive (the sanitizer build catches a use after free)
    delete h;
}

TEST(CodeGenParamFromHandle, NullHandleIsAWriteFailure) {
    probe::Hooks hooks;
    hooks.setWorkWidths = [](probe::Handle* S) {
        blockutils::writeFixptDataTypeParamFromHandle(S, nullptr, "AccDT");
    };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    try {
        b->start();
        ADD_FAILURE() << "no error";
    } catch (const dravo::host::BlockError& e) {
        EXPECT_EQ(e.text(), "Error encountered writing block parameters.");
    }
}

}  // namespace
