// Run-time parameters from double data: rounding to nearest, saturation, fixed-point stored integers in
// their containers, and refusal of data that cannot make a parameter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/types.h"
#include "probe_block.h"
#include "vekdsp.h"

namespace {

using dravo::host::InputSpec;
namespace types = dravo::types;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Created {
    bool ok = false;
    dravo::host::RtpInfo rtp;
    void* dataPtr = nullptr;
};

Created create(const std::vector<double>& values, DataTypeId id, std::vector<int32_t> dims = {}) {
    if (dims.empty()) dims = {1, static_cast<int32_t>(values.size())};
    Created c;
    probe::Hooks hooks;
    hooks.setWorkWidths = [&](probe::Handle* S) {
        if (!sysobj::ssSetNumRunTimeParams(S, 1)) return;
        c.ok = VekSimCommon::ConvertDTypeAndCreateRTP(S, values.data(), static_cast<int32_t>(dims.size()),
                                                      dims.data(), id, 0, "Table");
    };
    hooks.start = [&](probe::Handle* S) { c.dataPtr = VekSimCommon::GetRTPDataPtr(S, 0); };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    b->start();
    const auto rtps = b->runTimeParams();
    if (!rtps.empty()) c.rtp = rtps[0];
    return c;
}

template <typename T>
std::vector<T> storedAs(const dravo::host::RtpInfo& rtp) {
    std::vector<T> out(rtp.bytes.size() / sizeof(T));
    std::memcpy(out.data(), rtp.bytes.data(), out.size() * sizeof(T));
    return out;
}

TEST(ConvertRtp, IntegersRoundToNearestAndSaturate) {
    const std::vector<double> in = {-1, 0.49, 0.5, 1.5, 2.5, 254.5, 300, kNaN, kInf, -kInf};
    const Created u8 = create(in, SS_UINT8);
    ASSERT_TRUE(u8.ok);
    EXPECT_EQ(storedAs<uint8_t>(u8.rtp), (std::vector<uint8_t>{0, 0, 1, 2, 3, 255, 255, 0, 255, 0}));

    const Created i8 = create({-2.5, -128.6, 127.4, 127.5, -0.5}, SS_INT8);
    EXPECT_EQ(storedAs<int8_t>(i8.rtp), (std::vector<int8_t>{-3, -128, 127, 127, -1}));

    const Created i16 = create({40000, -40000, -32768.4}, SS_INT16);
    EXPECT_EQ(storedAs<int16_t>(i16.rtp), (std::vector<int16_t>{32767, -32768, -32768}));

    const Created u32 = create({4294967294.6, 5e9, -3}, SS_UINT32);
    EXPECT_EQ(storedAs<uint32_t>(u32.rtp), (std::vector<uint32_t>{4294967295u, 4294967295u, 0}));

    const Created i32 = create({-2147483648.4, 3e9, 1e-300}, SS_INT32);
    EXPECT_EQ(storedAs<int32_t>(i32.rtp), (std::vector<int32_t>{std::numeric_limits<int32_t>::min(),
                                                                std::numeric_limits<int32_t>::max(), 0}));
}

TEST(ConvertRtp, FloatingAndBoolean) {
    const Created d = create({0.1, -7}, SS_DOUBLE);
    EXPECT_EQ(storedAs<double>(d.rtp), (std::vector<double>{0.1, -7}));
    const Created s = create({0.1, 1e300}, SS_SINGLE);
    const std::vector<float> f = storedAs<float>(s.rtp);
    EXPECT_EQ(f[0], 0.1f);
    EXPECT_TRUE(std::isinf(f[1]));
    const Created b = create({0, 0.2, -3, kNaN}, SS_BOOLEAN);
    EXPECT_EQ(storedAs<uint8_t>(b.rtp), (std::vector<uint8_t>{0, 1, 1, 0}));
}

TEST(ConvertRtp, FixedPointHoldsStoredIntegers) {
    // The sine table of the rotate block in s16 with 15 fraction bits: sin(k pi / 720) * 2^15, rounded.
    std::vector<double> sine;
    for (int k = 0; k < 362; ++k)
        sine.push_back(std::sin(k * 0.004363323129985824));
    const Created t = create(sine, types::registerFixedPoint(true, 16, 15));
    ASSERT_TRUE(t.ok);
    const std::vector<int16_t> stored = storedAs<int16_t>(t.rtp);
    ASSERT_EQ(stored.size(), 362u);
    EXPECT_EQ(stored[0], 0);
    EXPECT_EQ(stored[360], 32767);  // sin(pi/2) * 32768 saturates
    EXPECT_EQ(stored[361], 32767);
    EXPECT_EQ(stored[120], 16384);  // sin(30 degrees) = 0.5
    EXPECT_EQ(stored[1], 143);      // 0.00436330928474657 * 32768 = 142.98
    EXPECT_EQ(t.rtp.dims, (std::vector<int32_t>{1, 362}));
    EXPECT_EQ(t.rtp.name, "Table");

    const Created pi = create({6.283185307179586}, types::registerFixedPoint(true, 16, 12));
    EXPECT_EQ(storedAs<int16_t>(pi.rtp), (std::vector<int16_t>{25736}));

    const Created neg = create({1000, 1e9, -1, 2.5 * 4}, types::registerFixedPoint(false, 8, -2));
    EXPECT_EQ(storedAs<uint8_t>(neg.rtp),
              (std::vector<uint8_t>{250, 255, 0, 3}));  // 10 / 4 = 2.5 rounds to 3
}

TEST(ConvertRtp, WideFixedPointIsSignExtendedInItsContainer) {
    const Created s40 = create({-1.5, 1e30, -1e30}, types::registerFixedPoint(true, 40, 1));
    const std::vector<int64_t> v = storedAs<int64_t>(s40.rtp);
    EXPECT_EQ(v, (std::vector<int64_t>{-3, (int64_t(1) << 39) - 1, -(int64_t(1) << 39)}));

    const Created u100 = create({std::ldexp(1.0, 99) + std::ldexp(1.0, 60), -5, 1e40},
                                types::registerFixedPoint(false, 100, 0));
    ASSERT_EQ(u100.rtp.bytes.size(), 48u);
    unsigned __int128 words[3];
    std::memcpy(words, u100.rtp.bytes.data(), sizeof words);
    const unsigned __int128 one = 1;
    EXPECT_TRUE(words[0] == ((one << 99) | (one << 60)));
    EXPECT_TRUE(words[1] == 0);
    EXPECT_TRUE(words[2] == (one << 100) - 1);

    const Created s128 = create({-1e40, 1e40, -2}, types::registerFixedPoint(true, 128, 0));
    __int128 s[3];
    std::memcpy(s, s128.rtp.bytes.data(), sizeof s);
    const __int128 max128 = static_cast<__int128>(~(one << 127));
    EXPECT_TRUE(s[0] == -max128 - 1);
    EXPECT_TRUE(s[1] == max128);
    EXPECT_TRUE(s[2] == -2);
}

TEST(ConvertRtp, ScaledDoubleKeepsTheValue) {
    const Created c = create({0.3, -1e9}, types::registerScaledDouble(true, 8, 2));
    EXPECT_EQ(storedAs<double>(c.rtp), (std::vector<double>{0.3, -1e9}));
}

TEST(ConvertRtp, DataPointerIsTheHostsCopy) {
    const Created c = create({1, 2, 3, 4, 5, 6}, SS_INT16, {2, 3});
    ASSERT_NE(c.dataPtr, nullptr);
    EXPECT_EQ(c.rtp.dims, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(storedAs<int16_t>(c.rtp), (std::vector<int16_t>{1, 2, 3, 4, 5, 6}));
}

TEST(ConvertRtp, UnusableRequestsAreErrors) {
    const std::vector<double> one = {1.0};
    struct Bad {
        const char* what;
        DataTypeId id;
        std::vector<int32_t> dims;
        bool nullData;
    };
    const std::vector<Bad> cases = {
        {"unset type", DYNAMICALLY_TYPED, {1, 1}, false},
        {"unknown type", 100000, {1, 1}, false},
        {"negative size", SS_DOUBLE, {1, -1}, false},
        {"no data", SS_DOUBLE, {1, 1}, true},
    };
    for (const Bad& c : cases) {
        bool ok = true;
        probe::Hooks hooks;
        hooks.setWorkWidths = [&](probe::Handle* S) {
            sysobj::ssSetNumRunTimeParams(S, 1);
            ok = VekSimCommon::ConvertDTypeAndCreateRTP(S, c.nullData ? nullptr : one.data(), 2,
                                                        c.dims.data(), c.id, 0, "Bad");
        };
        probe::Block b(hooks);
        b->initialize();
        b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
        try {
            b->start();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const dravo::host::BlockError& e) {
            EXPECT_EQ(e.messageClass(), dravo::dsphelpers::kRtpDataInvalid) << c.what;
            EXPECT_NE(e.text().find("Bad"), std::string::npos) << c.what;
        }
        EXPECT_FALSE(ok) << c.what;
    }
}

TEST(ConvertRtp, MissingParameterHasNoData) {
    probe::Hooks hooks;
    void* p = reinterpret_cast<void*>(1);
    hooks.start = [&](probe::Handle* S) { p = VekSimCommon::GetRTPDataPtr(S, 3); };
    probe::Block b(hooks);
    b->initialize();
    b->propagate({InputSpec{{1, 1}, SS_DOUBLE}});
    try {
        b->start();
    } catch (const dravo::host::BlockError&) {
        // The host may count the unknown index as a refusal; either way there is no data.
    }
    EXPECT_EQ(p, nullptr);
}

}  // namespace
