// Value ranges of data types: hand-worked values and an exact sweep over word and fraction lengths.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "blockutils.h"
#include "dravo/host/types.h"
#include "probe_block.h"

namespace {

namespace types = dravo::types;

// Queries need a handle; any live probe block serves.
template <typename F>
void withHandle(F f) {
    probe::Hooks hooks;
    probe::Block b(hooks);
    b->initialize();
    f(b->handle());
}

TEST(DataTypeRange, HandWorkedValues) {
    struct Row {
        DataTypeId id;
        double min, max;
    };
    withHandle([](probe::Handle* S) {
        const std::vector<Row> table = {
            {SS_DOUBLE, 0.0, 1.0},
            {SS_SINGLE, 0.0, 1.0},
            {SS_BOOLEAN, 0.0, 1.0},
            {SS_UINT8, 0.0, 255.0},
            {SS_INT8, -128.0, 127.0},
            {SS_INT16, -32768.0, 32767.0},
            {SS_UINT16, 0.0, 65535.0},
            {SS_INT32, -2147483648.0, 2147483647.0},
            {SS_UINT32, 0.0, 4294967295.0},
            {types::registerFixedPoint(true, 8, -2), -512.0, 508.0},
            {types::registerFixedPoint(true, 16, 15), -1.0, 32767.0 / 32768.0},
            {types::registerFixedPoint(false, 8, 8), 0.0, 255.0 / 256.0},
            {types::registerFixedPoint(false, 4, -10), 0.0, 15.0 * 1024.0},
            {types::registerScaledDouble(true, 16, 4), -2048.0, 32767.0 / 16.0},
        };
        for (const Row& r : table) {
            EXPECT_EQ(blockutils::getDataTypeMaxValue(S, r.id), r.max) << types::typeName(r.id);
            EXPECT_EQ(blockutils::getDataTypeMinValue(S, r.id), r.min) << types::typeName(r.id);
        }
        // Words beyond double precision round the top end: 2^64 - 1 is 2^64 in double.
        EXPECT_EQ(blockutils::getDataTypeMaxValue(S, types::registerFixedPoint(false, 64, 0)),
                  std::ldexp(1.0, 64));
        EXPECT_EQ(blockutils::getDataTypeMinValue(S, types::registerFixedPoint(true, 128, 0)),
                  -std::ldexp(1.0, 127));
        // Ids that name no type have no range; negative ids are never taken as built-in.
        EXPECT_EQ(blockutils::getDataTypeMaxValue(S, -3), 0.0);
        EXPECT_EQ(blockutils::getDataTypeMinValue(S, DYNAMICALLY_TYPED), 0.0);
    });
}

TEST(DataTypeRange, ExactForEveryShapeThatFitsADouble) {
    withHandle([](probe::Handle* S) {
        for (int wl = 2; wl <= 53; wl += 3) {
            for (int fl = -40; fl <= 70; fl += 7) {
                for (bool isSigned : {true, false}) {
                    const DataTypeId id = types::registerFixedPoint(isSigned, wl, fl);
                    mpz_class top;
                    mpz_ui_pow_ui(top.get_mpz_t(), 2, static_cast<unsigned long>(isSigned ? wl - 1 : wl));
                    mpq_class scale = 1;
                    if (fl >= 0) {
                        mpq_mul_2exp(scale.get_mpq_t(), scale.get_mpq_t(), static_cast<mp_bitcnt_t>(fl));
                    } else {
                        mpq_div_2exp(scale.get_mpq_t(), scale.get_mpq_t(), static_cast<mp_bitcnt_t>(-fl));
                    }
                    const mpq_class expectedMax = mpq_class(top - 1) / scale;
                    const mpq_class expectedMin = isSigned ? mpq_class(-top) / scale : mpq_class(0);
                    EXPECT_EQ(mpq_class(blockutils::getDataTypeMaxValue(S, id)), expectedMax)
                        << types::typeName(id);
                    EXPECT_EQ(mpq_class(blockutils::getDataTypeMinValue(S, id)), expectedMin)
                        << types::typeName(id);
                }
            }
        }
    });
}

TEST(ContainerType, StorageSizeAndSignedness) {
    withHandle([](probe::Handle* S) {
        const std::vector<std::pair<DataTypeId, DataTypeId>> table = {
            {types::registerFixedPoint(true, 12, 4), SS_INT16},
            {types::registerFixedPoint(false, 12, 4), SS_UINT16},
            {types::registerFixedPoint(true, 5, 0), SS_INT8},
            {types::registerFixedPoint(false, 8, -3), SS_UINT8},
            {types::registerFixedPoint(false, 20, 0), SS_UINT32},
            {types::registerFixedPoint(true, 32, 31), SS_INT32},
            {types::registerFixedPoint(true, 40, 0), types::registerFixedPoint(true, 40, 0)},
            {types::registerScaledDouble(true, 12, 4), types::registerScaledDouble(true, 12, 4)},
            {SS_DOUBLE, SS_DOUBLE},
            {SS_SINGLE, SS_SINGLE},
            {SS_BOOLEAN, SS_BOOLEAN},
            {SS_UINT16, SS_UINT16},
            {SS_INT32, SS_INT32},
        };
        for (const auto& [id, container] : table)
            EXPECT_EQ(blockutils::getContainerDataTypeId(S, id), container) << types::typeName(id);
    });
}

TEST(FixptProps, RecordFromTheType) {
    withHandle([](probe::Handle* S) {
        fxpDataTypeProp p;
        std::memset(&p, 0x5A, sizeof p);
        blockutils::setFixptDataTypeProps(S, &p, types::registerFixedPoint(false, 12, 5));
        EXPECT_EQ(p.dataTypeClass, 0);
        EXPECT_EQ(p.isSigned, 0);
        EXPECT_EQ(p.wordLength, 12);
        EXPECT_EQ(p.fixedExponent, -5);
        EXPECT_EQ(p.slopeAdjustmentFactor, 1.0);
        EXPECT_EQ(p.bias, 0.0);

        blockutils::setFixptDataTypeProps(S, &p, SS_INT16);
        EXPECT_EQ(p.isSigned, 1);
        EXPECT_EQ(p.wordLength, 16);
        EXPECT_EQ(p.fixedExponent, 0);
    });
}

}  // namespace
