// Data-type queries, fixed-point ids with and without the override, support masks and the all-floating
// port rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/types.h"
#include "probe_block.h"
#include "vekdsp.h"

namespace {

using dravo::host::InputSpec;
namespace types = dravo::types;
namespace msg = dravo::dsphelpers;
using namespace VekSimCommon;

DataTypeId fixedType(bool isSigned, int32_t wl, int32_t fl) {
    return types::registerFixedPoint(isSigned, wl, fl);
}

DataTypeId scaledType(bool isSigned, int32_t wl, int32_t fl) {
    return types::registerScaledDouble(isSigned, wl, fl);
}

TEST(DataTypeQueries, WordFractionSignedness) {
    struct Row {
        DataTypeId id;
        int32_t wl, fl, isSigned, fxpWl;
        bool fixed, scaled, flt;
    };
    const std::vector<Row> table = {
        {SS_DOUBLE, 64, 0, 1, 0, false, false, true},
        {SS_SINGLE, 32, 0, 1, 0, false, false, true},
        {SS_INT8, 8, 0, 1, 8, false, false, false},
        {SS_UINT8, 8, 0, 0, 8, false, false, false},
        {SS_INT16, 16, 0, 1, 16, false, false, false},
        {SS_UINT16, 16, 0, 0, 16, false, false, false},
        {SS_INT32, 32, 0, 1, 32, false, false, false},
        {SS_UINT32, 32, 0, 0, 32, false, false, false},
        {SS_BOOLEAN, 1, 0, 0, 1, false, false, false},
        {fixedType(true, 12, 4), 12, 4, 1, 12, true, false, false},
        {fixedType(false, 40, -3), 40, -3, 0, 40, true, false, false},
        {scaledType(true, 16, 15), 16, 15, 1, 16, false, true, false},
    };
    probe::inCheckParameters([&](probe::Handle* S) {
        for (const Row& r : table) {
            SCOPED_TRACE(types::typeName(r.id));
            EXPECT_EQ(dspGetDataTypeWordLength(S, r.id), r.wl);
            EXPECT_EQ(dspGetDataTypeFracLength(S, r.id), r.fl);
            EXPECT_EQ(dspGetDataTypeSignedStatus(S, r.id), r.isSigned);
            EXPECT_EQ(isDataTypeSigned(S, r.id), r.isSigned == 1);
            EXPECT_EQ(dspGetDataTypeFxpWordLength(S, r.id), r.fxpWl);
            EXPECT_EQ(dspGetDataTypeFxpFracLength(S, r.id), r.fl);
            EXPECT_EQ(dspGetDataTypeFxpIsSigned(S, r.id), r.isSigned == 1 && !r.flt);
            EXPECT_EQ(dspIsDataTypeFixedPoint(S, r.id), r.fixed);
            EXPECT_EQ(dspIsDataTypeScaledDouble(S, r.id), r.scaled);
            EXPECT_EQ(dspIsDataTypeFloat(S, r.id), r.flt);
        }
        // Unknown ids answer "nothing known" rather than inventing a type.
        EXPECT_EQ(dspGetDataTypeWordLength(S, 100000), 0);
        EXPECT_EQ(dspGetDataTypeWordLength(S, DYNAMICALLY_TYPED), 0);
        EXPECT_FALSE(dspIsDataTypeFixedPoint(S, -7));
    });
}

TEST(FixedPointIds, OverrideArgumentDecidesScaledDouble) {
    for (int32_t dtOverride : {0, 1}) {
        dravo::host::Settings settings;
        settings.dataTypeOverride = dtOverride;
        probe::inCheckParameters(
            [&](probe::Handle* S) {
                const DataTypeId asGiven = dspGetFixPtDataTypeIDFromAttribs(S, 1, 16, 12, 0);
                EXPECT_EQ(asGiven, fixedType(true, 16, 12));
                for (int32_t arg : {1, 2}) {
                    const DataTypeId id = dspGetFixPtDataTypeIDFromAttribs(S, 0, 10, -2, arg);
                    EXPECT_EQ(id, dtOverride == 1 ? scaledType(false, 10, -2) : fixedType(false, 10, -2))
                        << arg;
                }
            },
            {}, settings);
    }
}

TEST(FixedPointIds, WordLengthOutsideTheRegistryIsAnError) {
    for (int32_t wl : {1, 0, 129}) {
        DataTypeId id = 0;
        const probe::CallResult r = probe::inCheckParameters(
            [&](probe::Handle* S) { id = dspGetFixPtDataTypeIDFromAttribs(S, 1, wl, 0, 0); });
        EXPECT_EQ(id, -1) << wl;
        EXPECT_TRUE(r.threw) << wl;
        EXPECT_EQ(r.messageClass, msg::kFixptAttribsInvalid);
    }
}

TEST(FixedPointIds, LocalUsesTheCapturedSettings) {
    dravo::host::Settings settings;
    settings.dataTypeOverride = 1;
    settings.simMode = 2;
    settings.minMaxOverflowLogging = 1;
    probe::inCheckParameters(
        [&](probe::Handle* S) {
            fxpBlockProperties props{};
            dspFxpBlockProp_SetSFunOrTuk(S, &props);
            EXPECT_EQ(props.isTuk, 1);
            EXPECT_EQ(props.simMode, 2);
            EXPECT_EQ(props.dtOverride, 1);
            EXPECT_EQ(props.logging, 1);
            EXPECT_EQ(dspGetFixPtDataTypeIDFromAttribsLocal(S, &props, 1, 12, 3, 0, 5),
                      fixedType(true, 12, 3));
            EXPECT_EQ(dspGetFixPtDataTypeIDFromAttribsLocal(S, &props, 1, 12, 3, 2, 5),
                      scaledType(true, 12, 3));
            props.dtOverride = 0;
            EXPECT_EQ(dspGetFixPtDataTypeIDFromAttribsLocal(S, &props, 1, 12, 3, 2, 5),
                      fixedType(true, 12, 3));
        },
        {}, settings);
}

TEST(FixedPointIds, ScaledDoubleFromNonOverrideId) {
    probe::inCheckParameters([](probe::Handle* S) {
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_UINT8), scaledType(false, 8, 0));
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_INT32), scaledType(true, 32, 0));
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, fixedType(true, 16, 13)),
                  scaledType(true, 16, 13));
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_DOUBLE), SS_DOUBLE);
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_SINGLE), SS_SINGLE);
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, SS_BOOLEAN), SS_BOOLEAN);
        const DataTypeId scaled = scaledType(true, 16, 13);
        EXPECT_EQ(dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(S, scaled), scaled);
    });
}

// Masks the blocks use: 0x66FF (images), 0x2257 (the rotate angle), 0x67FF (also boolean).
TEST(SupportMasks, TypesAcceptedByEachMask) {
    struct Row {
        DataTypeId id;
        bool in66ff, in2257, in67ff;
    };
    const std::vector<Row> table = {
        {SS_DOUBLE, true, true, true},
        {SS_SINGLE, true, true, true},
        {SS_INT8, true, true, true},
        {SS_UINT8, true, false, true},
        {SS_INT16, true, true, true},
        {SS_UINT16, true, false, true},
        {SS_INT32, true, true, true},
        {SS_UINT32, true, false, true},
        {SS_BOOLEAN, false, false, true},
        {fixedType(true, 16, 13), true, true, true},
        {fixedType(false, 16, 13), true, false, true},
        {fixedType(true, 32, 0), true, true, true},
        {fixedType(true, 33, 0), true, false, true},  // wider than 32 bits needs bit 14
        {fixedType(false, 128, 0), true, false, true},
        {scaledType(true, 16, 13), true, true, true},
        {scaledType(false, 8, 0), true, true, true},
        {scaledType(true, 40, 0), true, false, true},
    };
    for (const Row& r : table) {
        for (auto [mask, expected] :
             {std::pair{0x66FFu, r.in66ff}, {0x2257u, r.in2257}, {0x67FFu, r.in67ff}}) {
            bool accepted = !expected;
            const probe::CallResult res = probe::inCheckParameters([&](probe::Handle* S) {
                accepted = dspIsDataTypeSupported(S, r.id, 1, DSP_INPUT_PORT, nullptr, mask);
            });
            EXPECT_EQ(accepted, expected) << types::typeName(r.id) << " mask " << std::hex << mask;
            EXPECT_EQ(res.threw, !expected);
        }
    }
}

TEST(SupportMasks, NarrowMaskBitsSeparateSignedUnsignedAndScaled) {
    probe::inCheckParameters([](probe::Handle* S) {
        const DataTypeId s = fixedType(true, 8, 2), u = fixedType(false, 8, 2), d = scaledType(true, 8, 2);
        EXPECT_TRUE(dspIsDataTypeSupported(S, s, 1, DSP_INPUT_PORT, nullptr, DSP_DT_SUPPORT_SIGNED_FIXPT));
        EXPECT_TRUE(dspIsDataTypeSupported(S, u, 1, DSP_INPUT_PORT, nullptr, DSP_DT_SUPPORT_UNSIGNED_FIXPT));
        EXPECT_TRUE(dspIsDataTypeSupported(S, d, 1, DSP_INPUT_PORT, nullptr, DSP_DT_SUPPORT_SCALED_DOUBLE));
    });
    for (uint32_t mask : {uint32_t(DSP_DT_SUPPORT_UNSIGNED_FIXPT | DSP_DT_SUPPORT_SCALED_DOUBLE),
                          uint32_t(DSP_DT_SUPPORT_RESERVED_11 | DSP_DT_SUPPORT_RESERVED_12), 0xFFu}) {
        const probe::CallResult r = probe::inCheckParameters([&](probe::Handle* S) {
            dspIsDataTypeSupported(S, fixedType(true, 8, 2), 1, DSP_INPUT_PORT, nullptr, mask);
        });
        EXPECT_TRUE(r.threw) << std::hex << mask;
    }
}

TEST(SupportMasks, RefusalNamesPortAndType) {
    const DataTypeId id = fixedType(false, 16, 13);
    const probe::CallResult named = probe::inCheckParameters(
        [&](probe::Handle* S) { dspIsDataTypeSupported(S, id, 1, DSP_INPUT_PORT, "Angle", 0x2257); });
    ASSERT_TRUE(named.threw);
    EXPECT_EQ(named.messageClass, msg::kDataTypeNotSupported);
    EXPECT_NE(named.text.find("Angle"), std::string::npos) << named.text;
    EXPECT_NE(named.text.find(types::typeName(id)), std::string::npos) << named.text;

    const probe::CallResult output = probe::inCheckParameters([&](probe::Handle* S) {
        dspIsDataTypeSupported(S, SS_BOOLEAN, 1, DSP_OUTPUT_PORT, nullptr, 0x66FF);
    });
    ASSERT_TRUE(output.threw);
    EXPECT_NE(output.text.find("output"), std::string::npos) << output.text;
    EXPECT_NE(output.text.find("boolean"), std::string::npos) << output.text;
}

TEST(SupportMasks, UnsetAndUnknownIdsAreRefused) {
    for (DataTypeId id : std::vector<DataTypeId>{DYNAMICALLY_TYPED, 100000, -7}) {
        const probe::CallResult r = probe::inCheckParameters([&](probe::Handle* S) {
            dspIsDataTypeSupported(S, id, 1, DSP_INPUT_PORT, nullptr, 0xFFFFFFFFu);
        });
        EXPECT_TRUE(r.threw) << id;
    }
}

TEST(FloatingPorts, EveryPortTakesTheFloatingType) {
    probe::Hooks hooks;
    hooks.numInputs = 2;
    hooks.setInputPortDataType = [](probe::Handle* S, int32_t port, DataTypeId id) {
        if (id == SS_DOUBLE || id == SS_SINGLE) {
            checkAndSetAllPortsToDblOrSngl(S, id);
        } else {
            sysobj::ssSetInputPortDataType(S, port, id);
        }
    };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{4, 4}, SS_SINGLE}, InputSpec{{1, 1}, DYNAMICALLY_TYPED}});
    EXPECT_EQ(b->inputPort(0).dataType, SS_SINGLE);
    EXPECT_EQ(b->inputPort(1).dataType, SS_SINGLE);
    EXPECT_EQ(b->outputPort(0).dataType, SS_SINGLE);
}

TEST(FloatingPorts, NonFloatingTypeIsRefused) {
    bool ok = true;
    const probe::CallResult r =
        probe::inCheckParameters([&](probe::Handle* S) { ok = checkAndSetAllPortsToDblOrSngl(S, SS_INT8); });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(r.threw);
}

TEST(FixedPointPorts, OutputFollowsTheOverride) {
    for (int32_t dtOverride : {0, 1}) {
        dravo::host::Settings settings;
        settings.dataTypeOverride = dtOverride;
        probe::Hooks hooks;
        hooks.setInputPortDataType = [](probe::Handle* S, int32_t port, DataTypeId id) {
            sysobj::ssSetInputPortDataType(S, port, id);
            dspSetOutputPortFixpt(S, 0, 20, 7, true);
        };
        probe::Block b(hooks, {}, settings);
        b->initialize();
        b->propagate({InputSpec{{2, 2}, SS_INT16}});
        EXPECT_EQ(b->outputPort(0).dataType, dtOverride ? scaledType(true, 20, 7) : fixedType(true, 20, 7));
    }
}

TEST(FixedPointPorts, InputOverrideOnlyWhenAllowed) {
    for (bool allow : {false, true}) {
        dravo::host::Settings settings;
        settings.dataTypeOverride = 1;
        probe::Hooks hooks;
        hooks.numInputs = 2;
        hooks.setInputPortDataType = [&](probe::Handle* S, int32_t port, DataTypeId id) {
            sysobj::ssSetInputPortDataType(S, port, id);
            if (port == 0) {
                sysobj::ssSetOutputPortDataType(S, 0, id);
                dspSetInputPortFixpt(S, 1, 16, 13, true, allow);
            }
        };
        probe::Block b(hooks, {}, settings);
        b->initialize();
        b->propagate({InputSpec{{2, 2}, SS_DOUBLE}, InputSpec{{1, 1}, DYNAMICALLY_TYPED}});
        EXPECT_EQ(b->inputPort(1).dataType, allow ? scaledType(true, 16, 13) : fixedType(true, 16, 13));
    }
}

TEST(Complexity, PortsReadAsComplexOnlyWhenComplex) {
    probe::Hooks hooks;
    hooks.numInputs = 2;
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{2, 2}, SS_DOUBLE, 1}, InputSpec{{1, 1}, SS_DOUBLE, 0}});
    EXPECT_TRUE(isInputComplex(b->handle(), 0));
    EXPECT_FALSE(isInputComplex(b->handle(), 1));
    EXPECT_FALSE(isOutputComplex(b->handle(), 0));  // the probe declares its output real
}

}  // namespace
