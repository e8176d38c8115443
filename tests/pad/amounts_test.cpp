// Pad amounts for both dialog forms and every dimension choice, from hand-computed cases.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pad_amounts.h"
#include "vekdsp.h"

using namespace pad;

namespace {

struct AmountCase {
    std::string name;
    std::function<void(PadSettings&)> set;
    std::vector<int32_t> in;
    int32_t result;
    std::vector<int32_t> out, before, after;
    bool warning = false;
};

void PrintTo(const AmountCase& c, std::ostream* os) {
    *os << c.name;
}

PadSettings ndForm(int32_t choice, int32_t where) {
    PadSettings p;
    p.form = FORM_ND;
    p.ndChoice = choice;
    p.ndWhere = where;
    return p;
}

std::vector<AmountCase> amountCases() {
    return {
        // N-D form, columns: output size 8 on 5 rows split over both ends.
        {"nd_cols_both",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_BOTH);
             p.colSize = 8;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {8, 3},
         {1, 0},
         {2, 0}},
        {"nd_cols_odd_split",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_BOTH);
             p.colSize = 10;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {10, 3},
         {2, 0},
         {3, 0}},
        {"nd_cols_negative_split",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_BOTH);
             p.colSize = 2;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {2, 3},
         {-1, 0},
         {-2, 0}},
        {"nd_cols_before",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_BEFORE);
             p.colSize = 7;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {7, 3},
         {2, 0},
         {0, 0}},
        {"nd_cols_after_pow2",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_AFTER);
             p.sizeSwitch8 = 2;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {8, 3},
         {0, 0},
         {3, 0}},
        {"nd_cols_pow2_already",
         [](PadSettings& p) {
             p = ndForm(DIMS_COLUMNS, WHERE_ND_AFTER);
             p.sizeSwitch8 = 2;
         },
         {16, 3},
         PAD_AMOUNTS_OK,
         {16, 3},
         {0, 0},
         {0, 0}},
        // Rows: dimension 2, or dimension 1 of a one-dimensional input.
        {"nd_rows",
         [](PadSettings& p) {
             p = ndForm(DIMS_ROWS, WHERE_ND_AFTER);
             p.rowSize = 6;
         },
         {5, 3},
         PAD_AMOUNTS_OK,
         {5, 6},
         {0, 0},
         {0, 3}},
        {"nd_rows_1d",
         [](PadSettings& p) {
             p = ndForm(DIMS_ROWS, WHERE_ND_BEFORE);
             p.rowSize = 6;
         },
         {5},
         PAD_AMOUNTS_OK,
         {6},
         {1},
         {0}},
        {"nd_rows_pow2_3d",
         [](PadSettings& p) {
             p = ndForm(DIMS_ROWS, WHERE_ND_AFTER);
             p.sizeSwitch4 = 2;
         },
         {5, 9, 2},
         PAD_AMOUNTS_OK,
         {5, 16, 2},
         {0, 0, 0},
         {0, 7, 0}},
        // Both: a one-dimensional input is treated as [n 1].
        {"nd_both_1d",
         [](PadSettings& p) {
             p = ndForm(DIMS_BOTH, WHERE_ND_AFTER);
             p.colSize = 6;
             p.rowSize = 3;
         },
         {4},
         PAD_AMOUNTS_OK,
         {6, 3},
         {0, 0},
         {2, 2}},
        {"nd_none",
         [](PadSettings& p) {
             p = ndForm(DIMS_NONE, WHERE_ND_AFTER);
             p.colSize = 60;
         },
         {4, 2, 3},
         PAD_AMOUNTS_OK,
         {4, 2, 3},
         {0, 0, 0},
         {0, 0, 0}},
        // Listed dimensions.
        {"nd_listed_pad_sizes",
         [](PadSettings& p) {
             p = ndForm(DIMS_LISTED, WHERE_ND_AFTER);
             p.ndDims = {3, 1};
             p.ndPadBegin = {1, 2};
             p.ndPadEnd = {0, 4};
         },
         {4, 5, 6},
         PAD_AMOUNTS_OK,
         {10, 5, 7},
         {2, 0, 1},
         {4, 0, 0}},
        {"nd_listed_output_sizes",
         [](PadSettings& p) {
             p = ndForm(DIMS_LISTED, WHERE_ND_BEFORE);
             p.sizeSpec = SIZES_OUTPUT;
             p.ndDims = {2};
             p.ndOutputSizes = {8};
         },
         {3, 5},
         PAD_AMOUNTS_OK,
         {3, 8},
         {0, 3},
         {0, 0}},
        {"nd_listed_pow2_both",
         [](PadSettings& p) {
             p = ndForm(DIMS_LISTED, WHERE_ND_BOTH);
             p.sizeSpec = SIZES_OUTPUT;
             p.ndSizeSwitch = 2;
             p.ndDims = {1, 3};
         },
         {3, 5, 9},
         PAD_AMOUNTS_OK,
         {4, 5, 16},
         {0, 0, 3},
         {1, 0, 4}},
        {"nd_listed_beyond_signal",
         [](PadSettings& p) {
             p = ndForm(DIMS_LISTED, WHERE_ND_AFTER);
             p.ndDims = {3};
             p.ndPadBegin = {1};
             p.ndPadEnd = {1};
         },
         {3, 5},
         PAD_DIM_NOT_IN_SIGNAL,
         {},
         {},
         {}},
        // 2-D form, pad sizes.
        {"2d_sizes_two_elements",
         [](PadSettings& p) {
             p.rowsWhere = WHERE2D_BOTH;
             p.rowsPadSize = {1, 4};
             p.colsWhere = WHERE2D_BEFORE;
             p.colsPadSize = {3};
         },
         {2, 3},
         PAD_AMOUNTS_OK,
         {5, 8},
         {3, 1},
         {0, 4}},
        {"2d_sizes_one_element_both",
         [](PadSettings& p) {
             p.rowsWhere = WHERE2D_NONE;
             p.rowsPadSize = {9};
             p.colsWhere = WHERE2D_BOTH;
             p.colsPadSize = {2};
         },
         {2, 3},
         PAD_AMOUNTS_OK,
         {6, 3},
         {2, 0},
         {2, 0}},
        {"2d_sizes_after_1d",
         [](PadSettings& p) {
             p.rowsWhere = WHERE2D_AFTER;
             p.rowsPadSize = {2};
             p.colsWhere = WHERE2D_AFTER;
             p.colsPadSize = {1};
         },
         {4},
         PAD_AMOUNTS_OK,
         {5, 3},
         {0, 0},
         {1, 2}},
        {"2d_sizes_3d_input",
         [](PadSettings& p) {
             p.rowsWhere = WHERE2D_BEFORE;
             p.rowsPadSize = {1};
             p.colsWhere = WHERE2D_NONE;
         },
         {2, 3, 4},
         PAD_AMOUNTS_OK,
         {2, 4, 4},
         {0, 1, 0},
         {0, 0, 0}},
        // 2-D form, output sizes: parameter 8 switches the row size, parameter 4 the column size.
        {"2d_output_sizes",
         [](PadSettings& p) {
             p.sizeSpec = SIZES_OUTPUT;
             p.rowsWhere = WHERE2D_BOTH;
             p.sizeSwitch8 = 1;
             p.rowSize = 10;
             p.colsWhere = WHERE2D_AFTER;
             p.sizeSwitch4 = 2;
         },
         {5},
         PAD_AMOUNTS_OK,
         {8, 10},
         {0, 4},
         {3, 5}},
        {"2d_output_sizes_truncate_before",
         [](PadSettings& p) {
             p.sizeSpec = SIZES_OUTPUT;
             p.rowsWhere = WHERE2D_BEFORE;
             p.sizeSwitch8 = 1;
             p.rowSize = 2;
             p.colsWhere = WHERE2D_NONE;
         },
         {5, 6},
         PAD_AMOUNTS_OK,
         {5, 2},
         {0, -4},
         {0, 0}},
        // Truncation actions: silent, one warning however many dimensions shrink, error.
        {"truncate_warning_once",
         [](PadSettings& p) {
             p.sizeSpec = SIZES_OUTPUT;
             p.rowsWhere = WHERE2D_AFTER;
             p.rowSize = 2;
             p.colsWhere = WHERE2D_BOTH;
             p.colSize = 3;
             p.truncationAction = TRUNC_WARNING;
         },
         {5, 6},
         PAD_AMOUNTS_OK,
         {3, 2},
         {-1, 0},
         {-1, -4},
         true},
        {"truncate_error",
         [](PadSettings& p) {
             p.sizeSpec = SIZES_OUTPUT;
             p.rowsWhere = WHERE2D_AFTER;
             p.rowSize = 2;
             p.colsWhere = WHERE2D_NONE;
             p.truncationAction = TRUNC_ERROR;
         },
         {5, 6},
         PAD_TRUNCATION_REFUSED,
         {},
         {},
         {}},
        {"grow_with_error_action",
         [](PadSettings& p) {
             p.sizeSpec = SIZES_OUTPUT;
             p.rowsWhere = WHERE2D_AFTER;
             p.rowSize = 9;
             p.colsWhere = WHERE2D_NONE;
             p.truncationAction = TRUNC_ERROR;
         },
         {5, 6},
         PAD_AMOUNTS_OK,
         {5, 9},
         {0, 0},
         {0, 3}},
    };
}

class PadAmounts : public ::testing::TestWithParam<AmountCase> {};

TEST_P(PadAmounts, MatchHandComputed) {
    const AmountCase& c = GetParam();
    PadSettings p;
    p.form = FORM_2D;
    p.rowsPadSize = {0};
    p.colsPadSize = {0};
    c.set(p);
    std::vector<int32_t> shape(std::max<size_t>(c.in.size(), 2));
    const int32_t n = padWorkingShape(p, static_cast<int32_t>(c.in.size()), c.in.data(), shape.data());
    std::vector<int32_t> out(static_cast<size_t>(n)), before(static_cast<size_t>(n)),
        after(static_cast<size_t>(n));
    const PadAmountOutcome o = computePadAmountsFromShape(p, n, shape.data(), out.data(), before.data(),
                                                          after.data(), &VekSimCommon::getNextPow2);
    ASSERT_EQ(o.result, c.result);
    if (c.result != PAD_AMOUNTS_OK) {
        return;
    }
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(before, c.before);
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(o.truncationWarning, c.warning);
}

INSTANTIATE_TEST_SUITE_P(Forms, PadAmounts, ::testing::ValuesIn(amountCases()),
                         [](const auto& info) { return info.param.name; });

TEST(PadAmountsRange, SizesBeyondInt32AreRefused) {
    PadSettings p;
    p.rowsWhere = WHERE2D_AFTER;
    p.rowsPadSize = {3e9};
    p.colsWhere = WHERE2D_NONE;
    const int32_t in[2] = {2, 2};
    int32_t out[2], before[2], after[2];
    const PadAmountOutcome o =
        computePadAmountsFromShape(p, 2, in, out, before, after, &VekSimCommon::getNextPow2);
    EXPECT_TRUE(o.outOfRange);
    EXPECT_EQ(o.result, PAD_READ_FAILED);
}

}  // namespace
