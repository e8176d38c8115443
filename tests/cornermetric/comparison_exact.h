// Exact number model of the comparison reference: GMP rationals, each step rounded and fitted into its
// destination type by the rules of the rounding and overflow codes (tests/fixpt/oracle.h).
#pragma once

#include "../fixpt/oracle.h"

namespace comparison_test {

using fixpt_test::quantiseQ;
using fixpt_test::realValue;
using VekDSPFixpt::NumType;

// Each step of the description quantised exactly: image differences into the image type, sum steps into
// the accumulator, the stored output into the metric output type.
struct ExactModel {
    using Value = mpq_class;
    NumType image, accum, output;
    int32_t rounding, overflow;
    mpq_class t, dtMin, dtMax, dtLow, dtHigh;
    mpq_class into(const mpq_class& x, const NumType& ty) const {
        return realValue(quantiseQ(x, ty, rounding, overflow), ty);
    }
    mpq_class imageMinus(const mpq_class& a, const mpq_class& b) const { return into(a - b, image); }
    mpq_class imagePlus(const mpq_class& a, const mpq_class& b) const { return into(a + b, image); }
    mpq_class accPlus(const mpq_class& acc, const mpq_class& v) const { return into(acc + v, accum); }
    mpq_class accMinus(const mpq_class& acc, const mpq_class& v) const { return into(acc - v, accum); }
    mpq_class zero() const { return 0; }
    mpq_class toOutput(const mpq_class& acc) const { return into(acc, output); }
};

// The model of an image type, accumulator and output with the threshold's stored integer.
inline ExactModel exactModel(const NumType& image, const NumType& accum, const NumType& output,
                             int32_t rounding, int32_t overflow, const mpz_class& tStored) {
    ExactModel m{image, accum, output, rounding, overflow, 0, 0, 0, 0, 0};
    m.t = realValue(tStored, image);
    m.dtMin = realValue(fixpt_test::minStored(image), image);
    m.dtMax = realValue(fixpt_test::maxStored(image), image);
    m.dtLow = m.dtMin + m.t;
    m.dtHigh = m.dtMax - m.t;
    return m;
}

}  // namespace comparison_test
