// Host arrays: shapes, classes, element access and copies.
#include <gtest/gtest.h>

#include <cstring>

#include "dravo/host/engine.h"
#include "qzarray.h"

namespace {

using dravo::host::Array;

TEST(QzArray, NullArrayAnswersEmpty) {
    EXPECT_TRUE(qzIsEmpty(nullptr));
    EXPECT_EQ(qzGetNumberOfElements(nullptr), 0u);
    EXPECT_EQ(qzGetScalar(nullptr), 0.0);
    EXPECT_EQ(qzGetData(nullptr), nullptr);
    EXPECT_EQ(qzGetClassID(nullptr), qzUNKNOWN_CLASS);
    EXPECT_FALSE(qzIsComplex(nullptr));
}

TEST(QzArray, TrailingSingletonsAreDroppedButNeverBelowTwoDims) {
    const size_t dims[] = {3, 4, 1, 1};
    Array a(qzCreateNumericArray(4, dims, qzUINT8_CLASS, qzREAL));
    ASSERT_NE(a.get(), nullptr);
    EXPECT_EQ(qzGetNumberOfDimensions(a.get()), 2);
    EXPECT_EQ(qzGetM(a.get()), 3u);
    EXPECT_EQ(qzGetN(a.get()), 4u);
    const size_t one[] = {5};
    Array v(qzCreateNumericArray(1, one, qzDOUBLE_CLASS, qzREAL));
    EXPECT_EQ(qzGetNumberOfDimensions(v.get()), 2);
    EXPECT_EQ(qzGetDimensions(v.get())[1], 1u);
    const size_t three[] = {2, 3, 4};
    Array c(qzCreateNumericArray(3, three, qzINT16_CLASS, qzCOMPLEX));
    EXPECT_EQ(qzGetN(c.get()), 12u);
    EXPECT_EQ(qzGetNumberOfElements(c.get()), 24u);
}

struct ClassCase {
    qzClassID cls;
    size_t size;
};

class QzArrayClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(QzArrayClass, ElementSizeAndConversionToDouble) {
    const ClassCase c = GetParam();
    const size_t dims[] = {1, 2};
    Array a(qzCreateNumericArray(2, dims, c.cls, qzCOMPLEX));
    ASSERT_NE(a.get(), nullptr);
    EXPECT_EQ(qzGetElementSize(a.get()), c.size);
    // Fresh data is zero.
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(qzGetRealElementAsDouble(a.get(), i), 0.0);
        EXPECT_EQ(qzGetImagElementAsDouble(a.get(), i), 0.0);
    }
    // Writing the byte pattern of 7 in the class's type reads back as 7.
    unsigned char seven[8] = {};
    switch (c.cls) {
        case qzDOUBLE_CLASS: {
            double v = 7;
            std::memcpy(seven, &v, 8);
            break;
        }
        case qzSINGLE_CLASS: {
            float v = 7;
            std::memcpy(seven, &v, 4);
            break;
        }
        default:
            seven[0] = 7;
            break;  // little-endian integers and logical
    }
    std::memcpy(static_cast<unsigned char*>(qzGetImagDataMutable(a.get())) + c.size, seven, c.size);
    double expected = c.cls == qzLOGICAL_CLASS ? 1.0 : 7.0;
    EXPECT_EQ(qzGetImagElementAsDouble(a.get(), 1), expected);
    EXPECT_EQ(qzGetRealElementAsDouble(a.get(), 1), 0.0);
    EXPECT_EQ(qzGetRealElementAsDouble(a.get(), 2), 0.0);  // out of range
    EXPECT_EQ(qzGetPr(a.get()) != nullptr, c.cls == qzDOUBLE_CLASS);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, QzArrayClass,
                         ::testing::Values(ClassCase{qzDOUBLE_CLASS, 8}, ClassCase{qzSINGLE_CLASS, 4},
                                           ClassCase{qzINT8_CLASS, 1}, ClassCase{qzUINT8_CLASS, 1},
                                           ClassCase{qzINT16_CLASS, 2}, ClassCase{qzUINT16_CLASS, 2},
                                           ClassCase{qzINT32_CLASS, 4}, ClassCase{qzUINT32_CLASS, 4},
                                           ClassCase{qzLOGICAL_CLASS, 1}, ClassCase{qzCHAR_CLASS, 2}));

TEST(QzArray, NegativeIntegersReadBackSigned) {
    const size_t dims[] = {1, 1};
    Array a(qzCreateNumericArray(2, dims, qzINT16_CLASS, qzREAL));
    int16_t v = -300;
    std::memcpy(qzGetDataMutable(a.get()), &v, 2);
    EXPECT_EQ(qzGetScalar(a.get()), -300.0);
}

TEST(QzArray, UnknownClassAndOverflowingSizeAreRefused) {
    const size_t dims[] = {2, 2};
    EXPECT_EQ(qzCreateNumericArray(2, dims, qzUNKNOWN_CLASS, qzREAL), nullptr);
    const size_t huge[] = {SIZE_MAX / 2, 4};
    EXPECT_EQ(qzCreateNumericArray(2, huge, qzDOUBLE_CLASS, qzREAL), nullptr);
    EXPECT_EQ(qzCreateNumericArray(2, nullptr, qzDOUBLE_CLASS, qzREAL), nullptr);
}

TEST(QzArray, DuplicateIsDeep) {
    Array a = Array::complexScalar(1.5, -2.5);
    Array b = a;  // copy duplicates
    static_cast<double*>(qzGetDataMutable(a.get()))[0] = 9;
    EXPECT_EQ(qzGetScalar(b.get()), 1.5);
    EXPECT_EQ(qzGetPi(b.get())[0], -2.5);
    EXPECT_TRUE(qzIsComplex(b.get()));
}

TEST(QzArray, WrapperFactories) {
    Array m = Array::matrix(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(qzGetM(m.get()), 2u);
    EXPECT_EQ(qzGetN(m.get()), 3u);
    EXPECT_EQ(qzGetRealElementAsDouble(m.get(), 4), 5.0);
    EXPECT_THROW(Array::matrix(2, 2, {1, 2, 3}), std::invalid_argument);
    Array v = Array::realVector({4, 5});
    EXPECT_EQ(qzGetM(v.get()), 1u);
    EXPECT_EQ(qzGetN(v.get()), 2u);
    EXPECT_TRUE(qzIsEmpty(Array::empty().get()));
    EXPECT_TRUE(qzIsDouble(Array::empty().get()));
    Array moved = std::move(m);
    EXPECT_EQ(m.get(), nullptr);
    EXPECT_EQ(qzGetNumberOfElements(moved.get()), 6u);
}

}  // namespace
