// The parameter checker, code by code: each configuration passes what its meaning allows and refuses the
// rest with the message class of the first broken condition, naming the parameter by its fragment.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "dravo/dsphelpers/libmessages.h"
#include "dravo/host/messages.h"
#include "probe_block.h"
#include "vekdsp.h"

namespace {

using dravo::host::Array;
using VekSimCommon::dspParamCheckerID;
namespace msg = dravo::dsphelpers;

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const char* kFragment = "dspshared::systemmessagefragment::mapBlkOutputWordLength";

Array numeric(std::vector<size_t> dims, qzClassID cls, std::vector<double> values,
              std::vector<double> imag = {}) {
    qzArray_tag* a = qzCreateNumericArray(static_cast<int32_t>(dims.size()), dims.data(), cls,
                                          imag.empty() ? qzREAL : qzCOMPLEX);
    auto fill = [&](void* data, const std::vector<double>& v) {
        for (size_t i = 0; i < v.size(); ++i) {
            switch (cls) {
                case qzDOUBLE_CLASS:
                    static_cast<double*>(data)[i] = v[i];
                    break;
                case qzSINGLE_CLASS:
                    static_cast<float*>(data)[i] = static_cast<float>(v[i]);
                    break;
                case qzINT32_CLASS:
                    static_cast<int32_t*>(data)[i] = static_cast<int32_t>(v[i]);
                    break;
                case qzCHAR_CLASS:
                    static_cast<uint16_t*>(data)[i] = static_cast<uint16_t>(v[i]);
                    break;
                default:
                    FAIL() << "class not used by these tests";
            }
        }
    };
    fill(qzGetDataMutable(a), values);
    if (!imag.empty()) fill(qzGetImagDataMutable(a), imag);
    return Array(a);
}

Array row(std::vector<double> v) {
    return Array::realVector(v);
}

Array column(std::vector<double> v) {
    return Array::matrix(v.size(), 1, v);
}

struct CheckerCase {
    const char* what;
    std::function<void(dspParamCheckerID&)> configure;
    Array value;
    const char* failClass;  // null: passes
};

void runCase(const CheckerCase& c, dravo::host::Settings settings = {}) {
    bool passed = false;
    const probe::CallResult r = probe::inCheckParameters(
        [&](probe::Handle* S) {
            dspParamCheckerID checker(S, 1);
            c.configure(checker);
            passed = checker.check(0, kFragment);
        },
        {c.value}, settings);
    if (c.failClass == nullptr) {
        EXPECT_TRUE(passed) << c.what;
        EXPECT_FALSE(r.threw) << c.what << ": " << r.text;
        return;
    }
    EXPECT_FALSE(passed) << c.what;
    ASSERT_TRUE(r.threw) << c.what;
    EXPECT_EQ(r.messageClass, c.failClass) << c.what << ": " << r.text;
    EXPECT_NE(r.text.find(dravo::messages::text(kFragment)), std::string::npos) << c.what << ": " << r.text;
}

auto scalarReal = [](dspParamCheckerID& c) { c.setShape(1).setRealOnly(true); };

TEST(ParamChecker, ShapeCodes) {
    auto shape = [](int32_t code) { return [code](dspParamCheckerID& c) { c.setShape(code); }; };
    const std::vector<CheckerCase> cases = {
        {"any: 3-D", shape(0), numeric({2, 2, 2}, qzDOUBLE_CLASS, {1, 2, 3, 4, 5, 6, 7, 8}), nullptr},
        {"any: empty", shape(0), Array::empty(), nullptr},
        {"scalar: 3", shape(1), Array::scalar(3), nullptr},
        {"scalar: [1 2]", shape(1), row({1, 2}), msg::kParamNotScalar},
        {"scalar: empty", shape(1), Array::empty(), msg::kParamNotScalar},
        {"vector: row", shape(2), row({1, 2, 3}), nullptr},
        {"vector: column", shape(2), column({1, 2, 3}), nullptr},
        {"vector: scalar", shape(2), Array::scalar(1), nullptr},
        {"vector: 2x2", shape(2), Array::matrix(2, 2, {1, 2, 3, 4}), msg::kParamNotVector},
        {"vector: empty", shape(2), Array::empty(), msg::kParamNotVector},
        {"vector: 1x1x3", shape(2), numeric({1, 1, 3}, qzDOUBLE_CLASS, {1, 2, 3}), msg::kParamNotVector},
        {"scalar or pair: 1", shape(3), Array::scalar(1), nullptr},
        {"scalar or pair: [1 2]", shape(3), row({1, 2}), nullptr},
        {"scalar or pair: [1;2]", shape(3), column({1, 2}), nullptr},
        {"scalar or pair: [1 2 3]", shape(3), row({1, 2, 3}), msg::kParamNotScalarOrPair},
        {"scalar or pair: empty", shape(3), Array::empty(), msg::kParamNotScalarOrPair},
        {"non-empty: 2x2", shape(4), Array::matrix(2, 2, {1, 2, 3, 4}), nullptr},
        {"non-empty: empty", shape(4), Array::empty(), msg::kParamEmpty},
        {"matrix: 2x3", shape(5), Array::matrix(2, 3, {1, 2, 3, 4, 5, 6}), nullptr},
        {"matrix: 2x2x2", shape(5), numeric({2, 2, 2}, qzDOUBLE_CLASS, {1, 2, 3, 4, 5, 6, 7, 8}),
         msg::kParamNotMatrix},
    };
    for (const auto& c : cases)
        runCase(c);
}

TEST(ParamChecker, ElementCountAndRealness) {
    auto count = [](int32_t n) { return [n](dspParamCheckerID& c) { c.setNumElements(n); }; };
    auto real = [](dspParamCheckerID& c) { c.setRealOnly(true); };
    const std::vector<CheckerCase> cases = {
        {"count 2 of 2", count(2), row({1, 2}), nullptr},
        {"count 2 of 3", count(2), row({1, 2, 3}), msg::kParamWrongNumElements},
        {"count 2 of 1", count(2), Array::scalar(1), msg::kParamWrongNumElements},
        {"count off", count(-1), row({1, 2, 3}), nullptr},
        {"real: real", real, Array::scalar(2), nullptr},
        {"real: complex", real, Array::complexScalar(2, 1), msg::kParamNotReal},
        {"real: complex with zero imaginary part", real, Array::complexScalar(2, 0), msg::kParamNotReal},
        {"realness not asked: complex", [](dspParamCheckerID&) {}, Array::complexScalar(2, 1), nullptr},
    };
    for (const auto& c : cases)
        runCase(c);
}

TEST(ParamChecker, ValueClassCodes) {
    auto cls = [](int32_t code) { return [code](dspParamCheckerID& c) { c.setValueClassCheck(code); }; };
    const std::vector<CheckerCase> cases = {
        {"any: NaN", cls(0), Array::scalar(kNaN), nullptr},
        {"any: 1.5", cls(0), Array::scalar(1.5), nullptr},
        {"whole: -3", cls(1), Array::scalar(-3), nullptr},
        {"whole: 1.5", cls(1), Array::scalar(1.5), msg::kParamNotWhole},
        {"whole: Inf", cls(1), Array::scalar(kInf), msg::kParamNotWhole},
        {"whole: NaN", cls(1), Array::scalar(kNaN), msg::kParamNotWhole},
        {"whole: later element 2.25", cls(1), row({1, 2, 2.25}), msg::kParamNotWhole},
        {"whole: imaginary 0.5", cls(1), Array::complexScalar(1, 0.5), msg::kParamNotWhole},
        {"whole: int32 class", cls(1), numeric({1, 1}, qzINT32_CLASS, {7}), nullptr},
        {"finite: 1.5", cls(2), Array::scalar(1.5), nullptr},
        {"finite: -Inf", cls(2), row({1, -kInf}), msg::kParamNotFinite},
        {"finite: NaN", cls(2), Array::scalar(kNaN), msg::kParamNotFinite},
        {"finite: single Inf", cls(2), numeric({1, 1}, qzSINGLE_CLASS, {kInf}), msg::kParamNotFinite},
        {"whole or Inf: Inf", cls(3), row({4, kInf}), nullptr},
        {"whole or Inf: -Inf", cls(3), Array::scalar(-kInf), nullptr},
        {"whole or Inf: 0.5", cls(3), Array::scalar(0.5), msg::kParamNotWholeOrInf},
        {"whole or Inf: NaN", cls(3), Array::scalar(kNaN), msg::kParamNotWholeOrInf},
    };
    for (const auto& c : cases)
        runCase(c);
}

TEST(ParamChecker, RuleCodesAtTheirBounds) {
    struct RuleCase {
        int32_t rule;
        double lo, hi, x;
        bool passes;
    };
    const std::vector<RuleCase> table = {
        {1, 0, 0, 0.5, true},
        {1, 0, 0, 0, false},
        {1, 0, 0, -1, false},
        {2, 0, 0, 0, true},
        {2, 0, 0, 7, true},
        {2, 0, 0, -1e-9, false},
        {3, 0, 5, 4.9, true},
        {3, 0, 5, 5, false},
        {4, 0, 5, 5, true},
        {4, 0, 5, 5.1, false},
        {5, 2, 0, 2, false},
        {5, 2, 0, 3, true},
        {6, 0, 0.25, 0, false},
        {6, 0, 0.25, 0.1, true},
        {6, 0, 0.25, 0.25, false},
        {7, 0, 1, 0, true},
        {7, 0, 1, 1, false},
        {8, 0, 1, 0, false},
        {8, 0, 1, 1, true},
        {9, 2, 16, 2, true},
        {9, 2, 16, 16, true},
        {9, 2, 16, 1, false},
        {9, 2, 16, 17, false},
        {0, 2, 16, -1e9, true},
        // A NaN satisfies no bound, not even "different from".
        {2, 0, 0, kNaN, false},
        {5, 0, 0, kNaN, false},
        {9, 2, 16, kNaN, false},
    };
    for (const RuleCase& t : table) {
        const std::string what = "rule " + std::to_string(t.rule) + " x=" + std::to_string(t.x);
        runCase({what.c_str(), [&](dspParamCheckerID& c) { c.setValueRule(t.rule, t.lo, t.hi); },
                 Array::scalar(t.x), t.passes ? nullptr : msg::kParamOutOfRange});
    }
}

TEST(ParamChecker, RuleAppliesToEveryElement) {
    runCase({"second element below", [](dspParamCheckerID& c) { c.setValueRule(2, 0); }, row({3, -1, 4}),
             msg::kParamOutOfRange});
}

TEST(ParamChecker, RangeMessageStatesTheBounds) {
    const probe::CallResult r = probe::inCheckParameters(
        [](probe::Handle* S) {
            dspParamCheckerID c(S);
            c.setShape(1).setRealOnly(true).setValueClassCheck(1).setValueRule(9, 2.0, 16.0);
            c.check(0, kFragment);
        },
        {Array::scalar(17)});
    ASSERT_TRUE(r.threw);
    EXPECT_NE(r.text.find("2"), std::string::npos);
    EXPECT_NE(r.text.find("16"), std::string::npos);
}

// The configurations the blocks use, with what their dialogs mean.
TEST(ParamChecker, BlockConfigurations) {
    auto maxAngle = [](dspParamCheckerID& c) { c.setShape(1).setRealOnly(true).setValueRule(2, 0.0); };
    auto fillValues = [](dspParamCheckerID& c) { c.setShape(2).setRealOnly(true); };
    auto padSizes = [](dspParamCheckerID& c) {
        c.setValueClassCheck(1).setValueRule(2, 0.0).setNumElements(2);
    };
    auto wordLength = [](dspParamCheckerID& c) {
        c.setShape(1).setRealOnly(true).setValueClassCheck(1).setValueRule(9, 2.0, 16.0);
    };
    auto fracLength = [](dspParamCheckerID& c) {
        c.setShape(1)
            .setRealOnly(true)
            .setValueClassCheck(1)
            .setValueRule(9, 2.0, 16.0)
            .setValueRule(0, 0.0)
            .setValueRuleOff();
    };
    const std::vector<CheckerCase> cases = {
        {"angle 0.5", scalarReal, Array::scalar(0.5), nullptr},
        {"angle complex", scalarReal, Array::complexScalar(0.5, 1), msg::kParamNotReal},
        {"angle vector", scalarReal, row({0.5, 1}), msg::kParamNotScalar},
        {"max angle 0", maxAngle, Array::scalar(0), nullptr},
        {"max angle -0.1", maxAngle, Array::scalar(-0.1), msg::kParamOutOfRange},
        {"fill [0 0.5 1]", fillValues, row({0, 0.5, 1}), nullptr},
        {"fill 2x2", fillValues, Array::matrix(2, 2, {1, 2, 3, 4}), msg::kParamNotVector},
        {"pad sizes [0 3]", padSizes, row({0, 3}), nullptr},
        {"pad sizes [1.5 0]", padSizes, row({1.5, 0}), msg::kParamNotWhole},
        {"pad sizes [-1 0]", padSizes, row({-1, 0}), msg::kParamOutOfRange},
        {"pad sizes [1 2 3]", padSizes, row({1, 2, 3}), msg::kParamWrongNumElements},
        {"word length 1", wordLength, Array::scalar(1), msg::kParamOutOfRange},
        {"word length 2", wordLength, Array::scalar(2), nullptr},
        {"word length 16", wordLength, Array::scalar(16), nullptr},
        {"word length 17", wordLength, Array::scalar(17), msg::kParamOutOfRange},
        {"word length 8.5", wordLength, Array::scalar(8.5), msg::kParamNotWhole},
        {"word length Inf", wordLength, Array::scalar(kInf), msg::kParamNotWhole},
        {"fraction length -3", fracLength, Array::scalar(-3), nullptr},
        {"fraction length 40", fracLength, Array::scalar(40), nullptr},
        {"fraction length 1.5", fracLength, Array::scalar(1.5), msg::kParamNotWhole},
    };
    for (const auto& c : cases)
        runCase(c);
}

TEST(ParamChecker, ConditionsAreTestedInOrder) {
    // Shape before count before realness before class before rule: a value breaking several reports the first.
    auto all = [](dspParamCheckerID& c) {
        c.setShape(1).setNumElements(1).setRealOnly(true).setValueClassCheck(1).setValueRule(2, 0.0);
    };
    runCase({"vector, complex, fractional, negative", all, numeric({1, 2}, qzDOUBLE_CLASS, {-1.5, 2}, {1, 0}),
             msg::kParamNotScalar});
    runCase({"complex, fractional, negative", all, Array::complexScalar(-1.5, 1), msg::kParamNotReal});
    runCase({"fractional, negative", all, Array::scalar(-1.5), msg::kParamNotWhole});
}

TEST(ParamChecker, TextIsNotANumber) {
    runCase({"char", [](dspParamCheckerID&) {}, numeric({1, 2}, qzCHAR_CLASS, {'a', 'b'}),
             msg::kParamNotNumeric});
}

TEST(ParamChecker, EmptyPassesWhileOnlySizesAreComputed) {
    dravo::host::Settings sizesOnly;
    sizesOnly.simMode = 1;
    runCase({"empty, sizes only", scalarReal, Array::empty(), nullptr}, sizesOnly);
    runCase({"empty, normal", scalarReal, Array::empty(), msg::kParamNotScalar});
}

}  // namespace
