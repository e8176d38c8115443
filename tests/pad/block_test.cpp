// The pad block through the host: dialog checks and propagation errors by message class, the run-time
// tables, complexity and data-type rules, tunable pad value, and output values against the reference.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <string>

#include "block_rig.h"
#include "dravo/host/types.h"
#include "pad_reference.h"

using namespace padtest;
using dravo::host::BlockError;

namespace {

Array vec(std::vector<double> v) {
    return Array::realVector(v);
}

std::string errorClassOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BlockError& e) {
        return e.messageClass().empty() ? "text:" + e.text() : e.messageClass();
    }
    return "";
}

std::string errorTextOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const BlockError& e) {
        return e.text();
    }
    return "";
}

// ---- dialog checks ---------------------------------------------------------------------------------------

struct CheckCase {
    std::string name;
    std::map<int32_t, Array> params;
    std::string messageClass;  // "" when the dialog is valid
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kSys = "dspshared::system::";

std::vector<CheckCase> checkCases() {
    const auto nd = [](std::map<int32_t, Array> m) {
        m.emplace(20, Array::scalar(1));
        return m;
    };
    return {
        {"valid_defaults", {}, ""},
        {"form_out_of_range", {{20, Array::scalar(3)}}, kSys + "popupParamInvalid"},
        {"value_source_invalid", {{1, Array::scalar(3)}}, kSys + "popupParamInvalid"},
        {"pad_value_not_scalar", {{2, vec({1, 2})}}, kSys + "paramNotScalar"},
        {"pad_value_complex_ok", {{2, Array::complexScalar(1, 2)}}, ""},
        {"pad_value_unchecked_from_port", {{1, Array::scalar(2)}, {2, vec({1, 2})}}, ""},
        {"size_spec_invalid", {{3, Array::scalar(0)}}, kSys + "popupParamInvalid"},
        {"method_invalid_2d", {{0, Array::scalar(5)}}, kSys + "popupParamInvalid"},
        {"method_huge", {{0, Array::scalar(1e20)}}, kSys + "popupParamInvalid"},
        {"rows_where_invalid", {{5, Array::scalar(5)}}, kSys + "popupParamInvalid"},
        {"rows_pad_three_elements", {{6, vec({1, 2, 3})}}, kSys + "paramNotScalarOrTwoElementVector"},
        {"rows_pad_two_elements_before", {{5, Array::scalar(1)}, {6, vec({1, 2})}}, kSys + "paramNotScalar"},
        {"rows_pad_negative", {{6, Array::scalar(-1)}}, kSys + "paramOutOfRange"},
        {"rows_pad_fraction", {{6, Array::scalar(1.5)}}, kSys + "paramNotWholeNumber"},
        {"rows_none_ignores_size", {{5, Array::scalar(4)}, {6, Array::scalar(-3)}}, ""},
        {"cols_pad_negative", {{10, Array::scalar(-2)}}, kSys + "paramOutOfRange"},
        {"cols_where_invalid", {{9, Array::scalar(0)}}, kSys + "popupParamInvalid"},
        {"row_size_zero", {{3, Array::scalar(2)}, {7, Array::scalar(0)}}, kSys + "paramOutOfRange"},
        {"row_switch_invalid", {{3, Array::scalar(2)}, {8, Array::scalar(3)}}, kSys + "popupParamInvalid"},
        {"col_size_fraction",
         {{3, Array::scalar(2)}, {11, Array::scalar(2.5)}},
         kSys + "paramNotWholeNumber"},
        {"truncation_invalid_with_sizes",
         {{3, Array::scalar(2)}, {12, Array::scalar(4)}},
         kSys + "popupParamInvalid"},
        {"truncation_unchecked_pow2",
         {{3, Array::scalar(2)}, {4, Array::scalar(2)}, {8, Array::scalar(2)}, {12, Array::scalar(4)}},
         ""},
        {"truncation_unchecked_pad_sizes", {{12, Array::scalar(4)}}, ""},
        {"nd_method_not_constant", nd({{0, Array::scalar(2)}}), kSys + "popupParamInvalid"},
        {"nd_choice_invalid", nd({{13, Array::scalar(6)}}), kSys + "popupParamInvalid"},
        {"nd_where_invalid", nd({{14, Array::scalar(4)}}), kSys + "popupParamInvalid"},
        {"nd_col_size_zero", nd({{13, Array::scalar(1)}, {11, Array::scalar(0)}}), kSys + "paramOutOfRange"},
        {"nd_row_size_fraction", nd({{13, Array::scalar(2)}, {7, Array::scalar(1.5)}}),
         kSys + "paramNotWholeNumber"},
        {"nd_dims_duplicate",
         nd({{13, Array::scalar(5)}, {17, vec({2, 1, 2})}, {18, vec({0, 0, 0})}, {19, vec({1, 1, 1})}}),
         kSys + "dimToPadNotUnique"},
        {"nd_dims_zero", nd({{13, Array::scalar(5)}, {17, vec({0})}}), kSys + "paramOutOfRange"},
        {"nd_begin_count", nd({{13, Array::scalar(5)}, {17, vec({1, 2})}, {18, vec({1})}, {19, vec({1, 1})}}),
         kSys + "padBegDimsDiffer"},
        {"nd_end_count", nd({{13, Array::scalar(5)}, {17, vec({1, 2})}, {18, vec({1, 1})}, {19, vec({1})}}),
         kSys + "padEndDimsDiffer"},
        {"nd_begin_negative", nd({{13, Array::scalar(5)}, {18, vec({-1})}}), kSys + "paramOutOfRange"},
        {"nd_output_sizes_count",
         nd({{13, Array::scalar(5)}, {3, Array::scalar(2)}, {17, vec({1, 2})}, {16, vec({4})}}),
         kSys + "padOutSzDimsDiffer"},
        {"nd_output_switch_invalid",
         nd({{13, Array::scalar(5)}, {3, Array::scalar(2)}, {15, Array::scalar(0)}}),
         kSys + "popupParamInvalid"},
        {"nd_listed_valid",
         nd({{13, Array::scalar(5)}, {17, vec({3, 1})}, {18, vec({0, 1})}, {19, vec({2, 0})}}), ""},
    };
}

class PadChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(PadChecks, ReportTheirMessageClass) {
    const CheckCase& c = GetParam();
    auto block = makePadBlock(c.params);
    EXPECT_EQ(errorClassOf([&] { block->initialize(); }), c.messageClass);
}

INSTANTIATE_TEST_SUITE_P(Dialog, PadChecks, ::testing::ValuesIn(checkCases()),
                         [](const auto& info) { return info.param.name; });

// ---- propagation errors ------------------------------------------------------------------------------------

struct PropagationCase {
    std::string name;
    std::map<int32_t, Array> params;
    std::vector<InputSpec> inputs;
    std::vector<OutputRequest> outputs;
    std::string messageClass;
};

void PrintTo(const PropagationCase& c, std::ostream* os) {
    *os << c.name;
}

InputSpec doubleInput(std::vector<int32_t> dims, int32_t complexSignal = 0, DataTypeId type = SS_DOUBLE) {
    InputSpec s;
    s.dims = std::move(dims);
    s.dataType = type;
    s.complexSignal = complexSignal;
    return s;
}

OutputRequest outputDims(std::vector<int32_t> dims) {
    OutputRequest r;
    r.dims = std::move(dims);
    return r;
}

std::vector<PropagationCase> propagationCases() {
    const std::map<int32_t, Array> ndListed = {
        {20, Array::scalar(1)}, {13, Array::scalar(5)}, {17, vec({3})}, {18, vec({1})}, {19, vec({1})}};
    const std::map<int32_t, Array> rowsOut = {{3, Array::scalar(2)},
                                              {5, Array::scalar(2)},
                                              {7, Array::scalar(2)},
                                              {9, Array::scalar(4)},
                                              {12, Array::scalar(3)}};
    const std::map<int32_t, Array> portValue = {{1, Array::scalar(2)}};
    return {
        {"listed_dim_beyond_signal", ndListed, {doubleInput({4, 5})}, {}, kSys + "padDimsNotInSignal"},
        {"listed_dim_huge",
         {{20, Array::scalar(1)}, {13, Array::scalar(5)}, {17, vec({1e12})}, {18, vec({1})}, {19, vec({1})}},
         {doubleInput({4, 5})},
         {},
         kSys + "padDimsNotInSignal"},
        {"pad_size_beyond_int32",
         {{6, Array::scalar(3e9)}},
         {doubleInput({4, 5})},
         {},
         "text:The pad settings give an output size that is negative, drop more elements than the input has, "
         "or "
         "exceed 2^31-1 elements."},
        {"truncation_refused", rowsOut, {doubleInput({4, 5})}, {}, kSys + "padOutSzLTInSz"},
        {"pad_value_port_not_scalar",
         portValue,
         {doubleInput({4, 5}), doubleInput({2, 1})},
         {},
         kSys + "pValNotScalar"},
        {"pad_value_port_type_differs",
         portValue,
         {doubleInput({4, 5}), doubleInput({1, 1}, 0, SS_SINGLE)},
         {},
         kSys + "inOutTypesDiffer"},
        {"one_output_dimension_2d", {}, {}, {outputDims({5})}, kSys + "oneOutputDimension"},
        {"rows_output_size_differs",
         {{3, Array::scalar(2)}, {7, Array::scalar(6)}},
         {},
         {outputDims({8, 7})},
         kSys + "padOutRowsOutSzDiffer"},
        {"rows_output_not_pow2",
         {{3, Array::scalar(2)}, {8, Array::scalar(2)}, {11, Array::scalar(8)}},
         {},
         {outputDims({8, 7})},
         kSys + "padOutRowSzNotPow2"},
        {"cols_output_size_differs",
         {{3, Array::scalar(2)}, {7, Array::scalar(8)}, {11, Array::scalar(6)}},
         {},
         {outputDims({5, 8})},
         kSys + "padOutColsOutSzDiffer"},
        {"cols_output_not_pow2",
         {{3, Array::scalar(2)}, {4, Array::scalar(2)}, {7, Array::scalar(8)}},
         {},
         {outputDims({6, 8})},
         kSys + "padOutColSzNotPow2"},
        {"input_from_output_negative", {}, {}, {outputDims({2, 6})}, kSys + "padInputNegSize"},
        {"nd_cols_mask_differs",
         {{20, Array::scalar(1)}, {11, Array::scalar(8)}},
         {},
         {outputDims({7, 3})},
         kSys + "padOutColsMaskDiffer"},
        {"nd_cols_not_pow2",
         {{20, Array::scalar(1)}, {8, Array::scalar(2)}},
         {},
         {outputDims({7, 3})},
         kSys + "padOutNotNxPow2"},
        {"nd_rows_mask_differs",
         {{20, Array::scalar(1)}, {13, Array::scalar(2)}, {7, Array::scalar(8)}},
         {},
         {outputDims({3, 7})},
         kSys + "padOutRowsMaskDiffer"},
        {"nd_both_needs_two_dims",
         {{20, Array::scalar(1)}, {13, Array::scalar(3)}},
         {},
         {outputDims({8})},
         kSys + "padOutDimsLT2"},
        {"nd_listed_output_beyond", ndListed, {}, {outputDims({4, 5})}, kSys + "padDimsNotInSignal"},
        {"nd_listed_output_below_pads",
         {{20, Array::scalar(1)}, {13, Array::scalar(5)}, {17, vec({2})}, {18, vec({2})}, {19, vec({1})}},
         {},
         {outputDims({4, 3})},
         kSys + "padOutLTPadSize"},
        {"nd_listed_output_not_pow2",
         {{20, Array::scalar(1)},
          {13, Array::scalar(5)},
          {3, Array::scalar(2)},
          {15, Array::scalar(2)},
          {17, vec({2})}},
         {},
         {outputDims({4, 3})},
         kSys + "outDimNotPow2"},
        {"nd_listed_output_differs",
         {{20, Array::scalar(1)},
          {13, Array::scalar(5)},
          {3, Array::scalar(2)},
          {17, vec({2})},
          {16, vec({6})}},
         {},
         {outputDims({4, 3})},
         kSys + "outInherDimsDiffer"},
        {"complex_input_real_output",
         {},
         {doubleInput({3, 3}, 1)},
         {OutputRequest{{}, {}, 0}},
         kSys + "inNotRealValOutRealVal"},
    };
}

class PadPropagation : public ::testing::TestWithParam<PropagationCase> {};

TEST_P(PadPropagation, ReportsItsMessageClass) {
    const PropagationCase& c = GetParam();
    auto block = makePadBlock(c.params);
    block->initialize();
    EXPECT_EQ(errorClassOf([&] { block->propagate(c.inputs, c.outputs); }), c.messageClass);
}

INSTANTIATE_TEST_SUITE_P(Ports, PadPropagation, ::testing::ValuesIn(propagationCases()),
                         [](const auto& info) { return info.param.name; });

TEST(PadPropagation, InputSizeFollowsFromOutputAndPadSizes) {
    // Rows: both ends, [1 2]; columns: before 3.
    auto block = makePadBlock({{6, vec({1, 2})}, {9, Array::scalar(1)}, {10, Array::scalar(3)}});
    block->propagate({}, {outputDims({7, 9})});
    EXPECT_EQ(block->inputPort(0).dims, (std::vector<int32_t>{4, 6}));
}

TEST(PadPropagation, OutputDimsDroppingTrailingSingletons) {
    auto block = makePadBlock({{20, Array::scalar(1)}, {13, Array::scalar(1)}, {11, Array::scalar(6)}});
    block->propagate({doubleInput({4, 3, 1, 1})});
    EXPECT_EQ(block->outputPort(0).dims, (std::vector<int32_t>{6, 3}));
}

TEST(PadPropagation, OutputRequestThatContradictsTheInputIsRefused) {
    // Pad sizes 1 at each end give 5 x 5 from 3 x 3; a 4 x 4 output would be overrun.
    auto block = makePadBlock({});
    EXPECT_NE(errorTextOf([&] {
                  block->propagate({doubleInput({3, 3})}, {outputDims({4, 4})});
              }).find("differ from the dimensions the pad settings give"),
              std::string::npos);
}

TEST(PadPropagation, ReplicateNeedsKeptData) {
    auto block = makePadBlock({{0, Array::scalar(2)}});
    EXPECT_NE(errorTextOf([&] {
                  block->propagate({doubleInput({0, 3})});
                  block->start();
              }).find("need at least one input element"),
              std::string::npos);
}

TEST(PadPropagation, VariableSizeSignalsAreRefused) {
    auto block = makePadBlock({});
    InputSpec variable = doubleInput({4, 4});
    variable.dimsMode = 1;
    EXPECT_NE(errorTextOf([&] { block->propagate({variable}); }).find("fixed-size signals only"),
              std::string::npos);
}

TEST(PadPropagation, ConstantPadsAnEmptyDimension) {
    auto block = makePadBlock({{2, Array::scalar(3)}});
    block->propagate({doubleInput({0, 2})});
    block->start();
    block->setInput(0, nullptr, 0);
    block->step();
    EXPECT_EQ(outputAs<double>(*block), std::vector<double>(8, 3.0));
}

TEST(PadPropagation, EmptyOutputStepsWithoutWriting) {
    // No padding along rows or columns: the empty input gives an empty output, of any type and rank.
    struct Case {
        std::vector<int32_t> dims;
        DataTypeId type;
    };
    for (const Case& c : {Case{{0, 5}, SS_DOUBLE}, Case{{0, 0, 3}, SS_DOUBLE}, Case{{0, 5}, SS_UINT8},
                          Case{{5, 0}, SS_INT16}, Case{{3, 0, 2}, SS_SINGLE}}) {
        auto block = makePadBlock({{5, Array::scalar(4)}, {9, Array::scalar(4)}});
        InputSpec in = doubleInput(c.dims);
        in.dataType = c.type;
        block->propagate({in});
        block->start();
        block->setInput(0, nullptr, 0);
        block->step();
        EXPECT_EQ(block->currentOutputBytes(0), 0u);
        std::vector<int32_t> out = block->currentOutputDims(0);
        int64_t count = 1;
        for (int32_t d : out) {
            count *= d;
        }
        EXPECT_EQ(count, 0);
    }
}

TEST(PadPropagation, SignalTakesTheOutputsComplexityForReplicate) {
    auto block = makePadBlock({{0, Array::scalar(2)}});
    OutputRequest complexOut;
    complexOut.complexSignal = 1;
    block->propagate({}, {complexOut});
    EXPECT_EQ(block->inputPort(0).complexSignal, 1);
    auto mismatch = makePadBlock({{0, Array::scalar(2)}});
    EXPECT_EQ(errorClassOf([&] {
                  mismatch->propagate({doubleInput({2, 2}, 0)}, {complexOut});
              }),
              kSys + "inOutComplexityMismatch");
}

// ---- run-time tables -----------------------------------------------------------------------------------------

std::vector<int32_t> int32Data(const dravo::host::RtpInfo& r) {
    std::vector<int32_t> v(r.bytes.size() / sizeof(int32_t));
    std::memcpy(v.data(), r.bytes.data(), v.size() * sizeof(int32_t));
    return v;
}

TEST(PadTables, RunTimeParametersAndWorkVectors) {
    // 3-D input, N-D form, dims 3 and 1 listed with pad sizes; dim 1 is truncated nowhere.
    auto block = makePadBlock({{20, Array::scalar(1)},
                               {13, Array::scalar(5)},
                               {17, vec({3, 1})},
                               {18, vec({1, 2})},
                               {19, vec({0, 1})}});
    block->propagate({doubleInput({4, 5, 6})});
    block->start();
    const auto rtps = block->runTimeParams();
    ASSERT_EQ(rtps.size(), 6u);
    const char* names[] = {"outDims", "padBefore", "padAfter", "inWorkAdd", "outWorkAdd", "PadValue"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(rtps[i].name, names[i]);
    }
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(rtps[i].dataType, SS_INT32);
        EXPECT_EQ(rtps[i].dims, (std::vector<int32_t>{1, 3}));
    }
    EXPECT_EQ(int32Data(rtps[0]), (std::vector<int32_t>{7, 5, 7}));
    EXPECT_EQ(int32Data(rtps[1]), (std::vector<int32_t>{2, 0, 1}));
    EXPECT_EQ(int32Data(rtps[2]), (std::vector<int32_t>{1, 0, 0}));
    EXPECT_EQ(int32Data(rtps[3]), (std::vector<int32_t>{1, 4, 20}));
    EXPECT_EQ(int32Data(rtps[4]), (std::vector<int32_t>{1, 7, 35}));
    EXPECT_EQ(rtps[5].dlgParamIndex, 2);
    const auto dworks = block->dworks();
    ASSERT_EQ(dworks.size(), 2u);
    EXPECT_EQ(dworks[0].name, "inAdd");
    EXPECT_EQ(dworks[1].name, "outAdd");
    for (const auto& w : dworks) {
        EXPECT_EQ(w.width, 3);
        EXPECT_EQ(w.dataType, SS_INT32);
        EXPECT_EQ(w.usageType, 2);
    }
}

TEST(PadTables, NoPadValueTableWithoutDialogValue) {
    auto block = makePadBlock({{0, Array::scalar(3)}});
    block->propagate({doubleInput({4, 5})});
    block->start();
    EXPECT_EQ(block->runTimeParams().size(), 5u);
    EXPECT_FALSE(block->isParamTunable(2));
}

TEST(PadTables, PadValueTunableOnlyFromTheDialog) {
    auto block = makePadBlock({});
    block->initialize();
    EXPECT_TRUE(block->isParamTunable(2));
    for (int32_t i = 0; i < 21; ++i) {
        if (i != 2) {
            EXPECT_FALSE(block->isParamTunable(i)) << i;
        }
    }
}

// ---- values ------------------------------------------------------------------------------------------------------

struct RunCase {
    std::string name;
    std::map<int32_t, Array> params;
    std::vector<int32_t> inDims;
    PadCase geometry;  // the amounts the settings mean, for the reference
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<RunCase> runCases() {
    std::vector<RunCase> cases;
    for (int method = 1; method <= 4; ++method) {
        const std::string m = std::to_string(method);
        cases.push_back({"2d_sizes_m" + m,
                         {{0, Array::scalar(method)},
                          {2, Array::scalar(-7)},
                          {6, vec({2, 5})},
                          {9, Array::scalar(1)},
                          {10, Array::scalar(4)}},
                         {3, 4},
                         {{3, 4}, {4, 2}, {0, 5}, method}});
        // Output sizes: rows truncated at the end, columns grown on both sides.
        cases.push_back({"2d_output_m" + m,
                         {{0, Array::scalar(method)},
                          {3, Array::scalar(2)},
                          {5, Array::scalar(2)},
                          {7, Array::scalar(3)},
                          {9, Array::scalar(3)},
                          {11, Array::scalar(9)}},
                         {4, 5, 2},
                         {{4, 5, 2}, {2, 0, 0}, {3, -2, 0}, method}});
    }
    cases.push_back({"nd_listed_4d",
                     {{20, Array::scalar(1)},
                      {13, Array::scalar(5)},
                      {2, Array::scalar(3)},
                      {17, vec({4, 2})},
                      {18, vec({1, 0})},
                      {19, vec({2, 3})}},
                     {2, 3, 2, 2},
                     {{2, 3, 2, 2}, {0, 0, 0, 1}, {0, 3, 0, 2}, 1}});
    cases.push_back({"nd_both_1d",
                     {{20, Array::scalar(1)},
                      {13, Array::scalar(3)},
                      {14, Array::scalar(3)},
                      {2, Array::scalar(1)},
                      {11, Array::scalar(3)},
                      {7, Array::scalar(4)}},
                     {5},
                     {{5, 1}, {-1, 1}, {-1, 2}, 1}});
    return cases;
}

class PadRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(PadRuns, MatchTheReferenceForDouble) {
    const RunCase& c = GetParam();
    auto block = makePadBlock(c.params);
    block->propagate({doubleInput(c.inDims)});
    block->start();
    int64_t count = 1;
    for (int32_t d : c.inDims) {
        count *= d;
    }
    std::vector<double> in(static_cast<size_t>(count));
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<double>(i) * 1.5 + 1;
    }
    block->setInput(0, in.data(), in.size() * sizeof(double));
    block->step();
    const double padValue = qzGetScalar(block->parameter(2).get());
    std::vector<uint8_t> inBytes(in.size() * sizeof(double)), pad(sizeof(double)), zero(sizeof(double), 0);
    std::memcpy(inBytes.data(), in.data(), inBytes.size());
    std::memcpy(pad.data(), &padValue, sizeof padValue);
    const std::vector<uint8_t> expected = referencePad(c.geometry, inBytes, sizeof(double), false, pad, zero);
    ASSERT_EQ(block->currentOutputBytes(0), expected.size());
    EXPECT_EQ(std::memcmp(block->output(0), expected.data(), expected.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Values, PadRuns, ::testing::ValuesIn(runCases()),
                         [](const auto& info) { return info.param.name; });

// Every storage type goes through as raw bytes: run symmetric padding on a type and compare bytes.
class PadTypes : public ::testing::TestWithParam<std::string> {};

TEST_P(PadTypes, RawBytesMoveUnchanged) {
    const DataTypeId type = *dravo::types::parseTypeName(GetParam());
    const size_t elem = static_cast<size_t>(dravo::types::info(type).containerBytes);
    auto block = makePadBlock({{0, Array::scalar(3)}, {6, vec({2, 3})}, {10, Array::scalar(4)}});
    block->propagate({doubleInput({3, 2}, 0, type)});
    block->start();
    std::vector<uint8_t> in(6 * elem);
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<uint8_t>(type == SS_BOOLEAN ? (i % 2) : (i * 37 + 11));
    }
    block->setInput(0, in.data(), in.size());
    block->step();
    const std::vector<uint8_t> expected = referencePad(
        {{3, 2}, {4, 2}, {4, 3}, 3}, in, elem, false, std::vector<uint8_t>(elem), std::vector<uint8_t>(elem));
    ASSERT_EQ(block->currentOutputBytes(0), expected.size());
    EXPECT_EQ(std::memcmp(block->output(0), expected.data(), expected.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, PadTypes,
                         ::testing::Values("double", "single", "int8", "uint8", "int16", "uint16", "int32",
                                           "uint32", "boolean", "fixed:s16:12", "fixed:u8:3", "fixed:s40:10",
                                           "fixed:s100:50", "scaled:s16:12"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& ch : n) {
                                 if (ch == ':') ch = '_';
                             }
                             return n;
                         });

// ---- complexity ---------------------------------------------------------------------------------------------------

TEST(PadComplexity, RealSignalWithComplexDialogValueWidens) {
    auto block = makePadBlock({{2, Array::complexScalar(2, -3)}});
    block->propagate({doubleInput({2, 1})});
    EXPECT_EQ(block->outputPort(0).complexSignal, 1);
    block->start();
    const double in[2] = {5, 6};
    block->setInput(0, in, sizeof in);
    block->step();
    const auto out = outputAs<std::complex<double>>(*block);
    ASSERT_EQ(out.size(), 12u);  // 4 x 3
    EXPECT_EQ(out[0], std::complex<double>(2, -3));
    EXPECT_EQ(out[5], std::complex<double>(5, 0));
    EXPECT_EQ(out[6], std::complex<double>(6, 0));
    EXPECT_EQ(out[11], std::complex<double>(2, -3));
}

TEST(PadComplexity, NoGrowthLeavesComplexityToTheSignal) {
    auto block = makePadBlock({{2, Array::complexScalar(2, -3)},
                               {3, Array::scalar(2)},
                               {5, Array::scalar(2)},
                               {7, Array::scalar(2)},
                               {9, Array::scalar(4)}});
    block->propagate({doubleInput({3, 3})});
    EXPECT_EQ(block->outputPort(0).complexSignal, 0);
}

TEST(PadComplexity, ComplexSignalWithRealPortValue) {
    auto block = makePadBlock({{1, Array::scalar(2)}});
    block->propagate({doubleInput({1, 1}, 1), doubleInput({1, 1}, 0)});
    EXPECT_EQ(block->outputPort(0).complexSignal, 1);
    block->start();
    const std::complex<double> in(1, 2);
    const double value = 9;
    block->setInput(0, &in, sizeof in);
    block->setInput(1, &value, sizeof value);
    block->step();
    const auto out = outputAs<std::complex<double>>(*block);
    ASSERT_EQ(out.size(), 9u);
    EXPECT_EQ(out[0], std::complex<double>(9, 0));
    EXPECT_EQ(out[4], in);
}

TEST(PadComplexity, RealSignalWithComplexPortValue) {
    auto block = makePadBlock({{1, Array::scalar(2)}, {0, Array::scalar(1)}});
    block->propagate({doubleInput({1, 1}, 0, SS_SINGLE), doubleInput({1, 1}, 1, SS_SINGLE)});
    EXPECT_EQ(block->outputPort(0).complexSignal, 1);
    block->start();
    const float in = 4;
    const std::complex<float> value(-1, 7);
    block->setInput(0, &in, sizeof in);
    block->setInput(1, &value, sizeof value);
    block->step();
    const auto out = outputAs<std::complex<float>>(*block);
    ASSERT_EQ(out.size(), 9u);
    EXPECT_EQ(out[0], value);
    EXPECT_EQ(out[4], std::complex<float>(4, 0));
}

TEST(PadComplexity, ReplicateKeepsTheSignalsComplexity) {
    auto block = makePadBlock({{0, Array::scalar(2)}, {2, Array::complexScalar(0, 1)}});
    block->propagate({doubleInput({2, 2}, 0)});
    EXPECT_EQ(block->outputPort(0).complexSignal, 0);
}

// ---- lifecycle ---------------------------------------------------------------------------------------------------

TEST(PadLifecycle, TunedPadValueReachesTheNextStep) {
    auto block = makePadBlock({{2, Array::scalar(1)}});
    block->propagate({doubleInput({1, 1})});
    block->start();
    const double in = 0.5;
    block->setInput(0, &in, sizeof in);
    block->step();
    EXPECT_EQ(outputAs<double>(*block)[0], 1.0);
    block->changeParameter(2, Array::scalar(-4));
    block->step();
    const auto out = outputAs<double>(*block);
    EXPECT_EQ(out[0], -4.0);
    EXPECT_EQ(out[4], 0.5);
    EXPECT_THROW(block->changeParameter(6, Array::scalar(2)), BlockError);
    block->terminate();
    block->terminate();  // a second terminate finds no instance
}

TEST(PadLifecycle, TruncationWarnsOncePerComputation) {
    auto count = [](std::map<int32_t, Array> params) {
        auto block = makePadBlock(params);
        block->propagate({doubleInput({6, 6})});
        block->start();
        size_t n = 0;
        for (const auto& w : block->warnings()) {
            n += w.messageClass == kSys + "padOutSzLTInSzW";
        }
        return n;
    };
    const std::map<int32_t, Array> oneShrinks = {{3, Array::scalar(2)},
                                                 {5, Array::scalar(2)},
                                                 {7, Array::scalar(3)},
                                                 {9, Array::scalar(4)},
                                                 {12, Array::scalar(2)}};
    std::map<int32_t, Array> bothShrink = oneShrinks;
    bothShrink[9] = Array::scalar(3);
    bothShrink[11] = Array::scalar(2);
    const size_t one = count(oneShrinks);
    EXPECT_GE(one, 1u);
    EXPECT_EQ(count(bothShrink), one);
    std::map<int32_t, Array> silent = oneShrinks;
    silent[12] = Array::scalar(1);
    EXPECT_EQ(count(silent), 0u);
}

}  // namespace
