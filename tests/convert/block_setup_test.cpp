// Dialog checks, output type choice, dimension and data type propagation of the scale-and-convert
// block, through the host engine.
#include "block_rig.h"

#include <limits>

using namespace convert_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

InputSpec input(DataTypeId type, std::vector<int32_t> dims = {4, 5}) {
    InputSpec in;
    in.dims = std::move(dims);
    in.dataType = type;
    return in;
}

struct ParamCase {
    const char* what;
    Dialog dialog;
    const char* textPart;  // nullptr: the dialog passes
};

const ParamCase kParamCases[] = {
    {"fixed point, word length 1", {8, 1, 1, 0}, "Output word length"},
    {"fixed point, word length 17", {8, 1, 17, 0}, "Output word length"},
    {"fixed point, word length 2", {8, 1, 2, 0}, nullptr},
    {"fixed point, word length 16", {8, 0, 16, -3}, nullptr},
    {"fixed point, word length 7.5", {8, 1, 7.5, 0}, "Output word length"},
    {"fixed point, word length NaN", {8, 1, kNaN, 0}, "Output word length"},
    {"fixed point, fraction length Inf", {8, 1, 8, kInf}, "Output fraction length"},
    {"fixed point, fraction length NaN", {8, 1, 8, kNaN}, "Output fraction length"},
    {"fixed point, fraction length 2.5", {8, 1, 8, 2.5}, "Output fraction length"},
    {"int8 does not look at the fixed-point parameters", {3, kNaN, 99, kInf}, nullptr},
    {"inherited does not look at them either", {9, kNaN, 1, kNaN}, nullptr},
    {"choice 0", {0, 1, 16, 0}, ""},
    {"choice 10", {10, 1, 16, 0}, ""},
    {"choice 2.5", {2.5, 1, 16, 0}, ""},
};

class DialogChecks : public ::testing::TestWithParam<ParamCase> {};

TEST_P(DialogChecks, PassOrFailWithTheParameterNamed) {
    const ParamCase& c = GetParam();
    auto b = makeBlock(c.dialog);
    const BlockError e = errorOf([&] { b->initialize(); });
    if (c.textPart == nullptr) {
        EXPECT_EQ(e.text(), "no error") << c.what;
    } else {
        EXPECT_NE(e.text(), "no error") << c.what;
        EXPECT_NE(e.text().find(c.textPart), std::string::npos) << c.what << ": " << e.text();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DialogChecks, ::testing::ValuesIn(kParamCases));

TEST(DialogChecks, SizesOnlyModeAcceptsAnEmptyChoiceAndOutputsDouble) {
    Settings sizesOnly;
    sizesOnly.simMode = 1;
    Block b(ubrinPlugin(), "convert", sizesOnly);
    b.setParameters({Array::empty(), Array::empty(), Array::empty(), Array::empty()});
    EXPECT_NO_THROW(b.initialize());
    EXPECT_EQ(b.outputPort(0).dataType, SS_DOUBLE);
}

TEST(DialogChecks, SizesOnlyModeLeavesAFixedPointTypeOpenWhileItsAttributesAreEmpty) {
    Settings sizesOnly;
    sizesOnly.simMode = 1;
    Block b(ubrinPlugin(), "convert", sizesOnly);
    b.setParameters({Array::scalar(8), Array::scalar(1), Array::empty(), Array::scalar(3)});
    EXPECT_NO_THROW(b.initialize());
    EXPECT_EQ(b.outputPort(0).dataType, DYNAMICALLY_TYPED);
}

TEST(DialogChecks, EmptyChoiceOutsideSizesOnlyModeIsRefused) {
    Block b(ubrinPlugin(), "convert");
    b.setParameters({Array::empty(), Array::scalar(1), Array::scalar(8), Array::scalar(0)});
    EXPECT_THROW(b.initialize(), BlockError);
}

TEST(DialogChecks, NoParameterIsTunable) {
    auto b = makeBlock({});
    b->initialize();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(b->isParamTunable(i)) << i;
}

struct OutputTypeCase {
    Dialog dialog;
    const char* type;
};

const OutputTypeCase kOutputTypeCases[] = {
    {{1}, "double"},
    {{2}, "single"},
    {{3}, "int8"},
    {{4}, "uint8"},
    {{5}, "int16"},
    {{6}, "uint16"},
    {{7}, "boolean"},
    {{8, 1, 12, 4}, "fixed:s12:4"},
    {{8, 0, 5, 0}, "fixed:u5:0"},
    {{8, kNaN, 9, -2}, "fixed:s9:-2"},
    {{8, -3, 16, 20}, "fixed:s16:20"},
};

class OutputType : public ::testing::TestWithParam<OutputTypeCase> {};

TEST_P(OutputType, FollowsTheChoice) {
    auto b = makeBlock(GetParam().dialog);
    b->initialize();
    EXPECT_EQ(b->outputPort(0).dataType, typeId(GetParam().type)) << GetParam().type;
}

INSTANTIATE_TEST_SUITE_P(Table, OutputType, ::testing::ValuesIn(kOutputTypeCases));

TEST(OutputType, InheritedComesFromDownstream) {
    auto b = makeBlock({9});
    b->initialize();
    EXPECT_EQ(b->outputPort(0).dataType, DYNAMICALLY_TYPED);
    OutputRequest req;
    req.dataType = SS_UINT16;
    b->propagate({input(SS_DOUBLE)}, {req});
    EXPECT_EQ(b->outputPort(0).dataType, SS_UINT16);
}

TEST(OutputType, DataTypeOverrideGivesScaledDoublesWhichCannotStart) {
    Settings overrideOn;
    overrideOn.dataTypeOverride = 1;
    auto b = makeBlock({8, 1, 12, 4}, overrideOn);
    b->initialize();
    EXPECT_EQ(b->outputPort(0).dataType, typeId("scaled:s12:4"));
    b->propagate({input(SS_DOUBLE)});
    const BlockError e = errorOf([&] { b->start(); });
    EXPECT_EQ(e.text(), "Scaled doubles not yet supported.");

    auto d = makeBlock({1}, overrideOn);  // a double stays double
    d->initialize();
    EXPECT_EQ(d->outputPort(0).dataType, SS_DOUBLE);
}

TEST(Dimensions, ThreeDimensionsPassBothWays) {
    auto b = makeBlock({});
    b->propagate({input(SS_DOUBLE, {2, 3, 4})});
    EXPECT_EQ(b->outputPort(0).dims, (std::vector<int32_t>{2, 3, 4}));

    auto back = makeBlock({});
    OutputRequest req;
    req.dims = std::vector<int32_t>{5, 6, 2};
    back->propagate({}, {req});
    EXPECT_EQ(back->inputPort(0).dims, (std::vector<int32_t>{5, 6, 2}));
}

TEST(Dimensions, ComplexInputIsRefused) {
    auto b = makeBlock({});
    InputSpec in = input(SS_DOUBLE, {2, 2});
    in.complexSignal = 1;
    EXPECT_THROW(b->propagate({in}), BlockError);
}

TEST(Dimensions, OneDimensionPasses) {
    auto b = makeBlock({});
    b->propagate({input(SS_UINT8, {7})});
    EXPECT_EQ(b->outputPort(0).width, 7);
}

TEST(Dimensions, FourDimensionsAreRefusedOnEitherPort) {
    auto b = makeBlock({});
    BlockError e = errorOf([&] { b->propagate({input(SS_DOUBLE, {2, 3, 4, 5})}); });
    EXPECT_EQ(e.text(), "Input signals with more than 3 dimensions are not supported.");

    auto o = makeBlock({});
    OutputRequest req;
    req.dims = std::vector<int32_t>{2, 2, 2, 2};
    e = errorOf([&] { o->propagate({}, {req}); });
    EXPECT_EQ(e.text(), "Output signals with more than 3 dimensions are not supported.");
}

struct TypeRefusal {
    const char* what;
    Dialog dialog;
    const char* inType;        // offered on the input
    const char* outRequest;    // requested on the output ("" none)
    const char* messageClass;  // "" when the pair passes propagation
};

const TypeRefusal kTypeRefusals[] = {
    {"int32 input", {4}, "int32", "", "vision::system::inDataTypeNotFloatInt8Or16OrFixpt"},
    {"uint32 input", {4}, "uint32", "", "vision::system::inDataTypeNotFloatInt8Or16OrFixpt"},
    {"18-bit fixed-point input", {4}, "fixed:s18:0", "", "vision::system::inWordLenGT16"},
    {"17-bit unsigned input", {4}, "fixed:u17:3", "", "vision::system::inWordLenGT16"},
    {"16-bit fixed-point input", {4}, "fixed:s16:15", "", ""},
    {"int32 output", {9}, "uint8", "int32", "vision::system::outDataTypeNotFloatInt8Or16OrFixpt"},
    {"20-bit output", {9}, "uint8", "fixed:s20:0", "vision::system::outWordLenGT16"},
    {"single output", {9}, "uint8", "single", ""},
    {"scaled-double input to uint8", {4}, "scaled:s16:4", "", "vision::system::inputScDblOutputDblScDblBool"},
    {"scaled-double input to double", {1}, "scaled:s16:4", "", ""},
    {"scaled-double input to boolean", {7}, "scaled:s16:4", "", ""},
    {"scaled-double output from uint8",
     {9},
     "uint8",
     "scaled:s8:0",
     "vision::system::outputScDblInputDblScDblBool"},
    {"scaled-double output from double", {9}, "double", "scaled:s8:0", ""},
};

class DataTypes : public ::testing::TestWithParam<TypeRefusal> {};

TEST_P(DataTypes, RefusedWithTheirMessageClass) {
    const TypeRefusal& c = GetParam();
    auto b = makeBlock(c.dialog);
    std::vector<OutputRequest> reqs;
    if (*c.outRequest) {
        OutputRequest r;
        r.dataType = typeId(c.outRequest);
        reqs.push_back(r);
    }
    const BlockError e = errorOf([&] { b->propagate({input(typeId(c.inType))}, reqs); });
    if (*c.messageClass) {
        EXPECT_EQ(e.messageClass(), c.messageClass) << c.what << ": " << e.text();
        EXPECT_EQ(e.phase(), "propagate") << c.what;
    } else {
        EXPECT_EQ(e.text(), "no error") << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DataTypes, ::testing::ValuesIn(kTypeRefusals));

TEST(DataTypes, ScaledDoubleInputStopsAtStart) {
    auto b = makeBlock({1});
    b->propagate({input(typeId("scaled:s16:4"))});
    const BlockError e = errorOf([&] { b->start(); });
    EXPECT_EQ(e.text(), "Scaled doubles not yet supported.");
}

}  // namespace
