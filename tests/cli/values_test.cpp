#include <gtest/gtest.h>

#include <cmath>

#include "errors.h"
#include "values.h"

using namespace dravo::cli;

namespace {

struct ScalarCase {
    const char* text;
    double re, im;
};

class ScalarValues : public ::testing::TestWithParam<ScalarCase> {};

TEST_P(ScalarValues, ParseToTheNumber) {
    const auto& c = GetParam();
    Value v = parseValue(c.text);
    ASSERT_TRUE(v.isScalar()) << c.text;
    EXPECT_EQ(v.re[0], c.re) << c.text;
    EXPECT_EQ(v.isComplex() ? v.im[0] : 0.0, c.im) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Table, ScalarValues,
                         ::testing::Values(ScalarCase{"2.5", 2.5, 0}, ScalarCase{"-3", -3, 0},
                                           ScalarCase{"1e3", 1000, 0}, ScalarCase{" 7 ", 7, 0},
                                           ScalarCase{"1+2i", 1, 2}, ScalarCase{"1-2j", 1, -2},
                                           ScalarCase{"-0.5+0.25i", -0.5, 0.25}, ScalarCase{"3i", 0, 3},
                                           ScalarCase{"-i", 0, -1}, ScalarCase{"2+i", 2, 1},
                                           ScalarCase{"1 + 2i", 1, 2}, ScalarCase{"1e-3-1e2i", 1e-3, -100},
                                           ScalarCase{"inf", INFINITY, 0}, ScalarCase{"-inf", -INFINITY, 0}));

TEST(Values, NanParses) {
    Value v = parseValue("nan");
    EXPECT_TRUE(std::isnan(v.re[0]));
}

TEST(Values, VectorsAndMatricesAreColumnMajor) {
    Value row = parseValue("[1 2 3]");
    EXPECT_EQ(row.rows, 1u);
    EXPECT_EQ(row.cols, 3u);
    EXPECT_EQ(row.re, (std::vector<double>{1, 2, 3}));
    EXPECT_FALSE(row.isComplex());

    Value commas = parseValue("[1, 2,3]");
    EXPECT_EQ(commas.re, (std::vector<double>{1, 2, 3}));

    Value m = parseValue("[1 2 3; 4 5 6]");
    EXPECT_EQ(m.rows, 2u);
    EXPECT_EQ(m.cols, 3u);
    EXPECT_EQ(m.re, (std::vector<double>{1, 4, 2, 5, 3, 6}));

    Value column = parseValue("[1; 2]");
    EXPECT_EQ(column.rows, 2u);
    EXPECT_EQ(column.cols, 1u);
}

TEST(Values, ComplexVectorKeepsBothParts) {
    Value v = parseValue("[1+2i 3]");
    ASSERT_TRUE(v.isComplex());
    EXPECT_EQ(v.re, (std::vector<double>{1, 3}));
    EXPECT_EQ(v.im, (std::vector<double>{2, 0}));
}

TEST(Values, EmptyBracketsAreEmpty) {
    Value v = parseValue("[]");
    EXPECT_EQ(v.rows, 0u);
    EXPECT_EQ(v.cols, 0u);
    EXPECT_TRUE(v.re.empty());
}

class MalformedValues : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedValues, AreUsageErrorsNamingTheText) {
    try {
        parseValue(GetParam());
        FAIL() << "accepted '" << GetParam() << "'";
    } catch (const UsageError& e) {
        EXPECT_EQ(e.messageClass(), msg::kBadValue);
        EXPECT_NE(std::string(e.what()).find(GetParam()), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedValues,
                         ::testing::Values("", "abc", "1.2.3", "[1 2", "1 2]", "[1 2; 3]", "[[1]]", "1+2",
                                           "1+2k", "0x10", "[1 x]", "2ii", "--1", "1e"));

TEST(Values, FormatReadsBack) {
    for (const char* text : {"0.1", "-2", "1+2i", "1-0.5i", "[1 2 3]", "[1 2; 3 4]", "[1+2i 3-1i]", "inf"}) {
        Value v = parseValue(text);
        Value back = parseValue(formatValue(v));
        EXPECT_EQ(back.re, v.re) << text;
        EXPECT_EQ(back.im, v.im) << text;
        EXPECT_EQ(back.rows, v.rows) << text;
    }
    EXPECT_EQ(formatNumber(0.1), "0.1");
    EXPECT_EQ(formatNumber(20), "20");
    EXPECT_EQ(formatNumber(-1500), "-1500");
    EXPECT_EQ(formatNumber(1e20), "1e+20");
    EXPECT_EQ(formatNumber(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(formatValue(parseValue("[1 2; 3 4]")), "[1 2; 3 4]");
}

TEST(Values, NumberListsForScalarPorts) {
    EXPECT_EQ(parseNumberList("0.5"), (std::vector<double>{0.5}));
    EXPECT_EQ(parseNumberList("1, 2,3"), (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(looksLikeNumberList("-1,2"));
    EXPECT_FALSE(looksLikeNumberList("frames/a.png"));
    EXPECT_FALSE(looksLikeNumberList("1,,2"));
    EXPECT_FALSE(looksLikeNumberList("1+2i"));
    EXPECT_THROW(parseNumberList("1,a"), UsageError);
}

}  // namespace
