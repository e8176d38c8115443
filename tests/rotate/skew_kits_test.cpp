// The skew routines are written once over a number kit: the fixed-point engine's kit of number objects,
// given double samples and double working numbers (no quantisation beyond double rounding), must give the
// native double kit's values. Nearest and bilinear form the same products and sums in the same order, so
// their bits agree; the bicubic weights are summed in another order by the number-object kit (4 - 8d +
// 5d^2 - d^3), so those agree to double rounding. Covers pieces of lines (first position, implied fill
// samples before the line), strides of both signs and one-sample lines.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "pellor/fixskew.h"
#include "pellor/skew.h"
#include "vekfixpt.h"

using namespace pellor;
using VekDSPFixpt::DSPDataAttributesHandle;
using VekDSPFixpt::FixptFactory;
using VekDSPFixpt::NumType;

namespace {

struct Line {
    int32_t srcLen, dstLen, firstPos, lineOffset, srcStride, dstStride, fullDstLen;
};

class NumberKit {
  public:
    NumberKit() : h_(NumType::doubleType(), NumType::doubleType(), NumType::doubleType(), 3, 0, "w") {
        const NumType i32 = NumType::fixed(true, 32, 0);
        hInt_ = std::make_unique<DSPDataAttributesHandle>(i32, i32, i32, 3, 0, "i");
    }
    std::unique_ptr<FixSkewEngine> engine(int32_t method) {
        FixSkewNumbers n;
        for (auto* p : {&n.frac, &n.oneMinus, &n.d, &n.d2, &n.d3, &n.term, &n.acc, &n.weight[0], &n.weight[1],
                        &n.weight[2], &n.weight[3]})
            p->reset(FixptFactory::createFixpt(h_, nullptr, 1));
        n.integer.reset(FixptFactory::createFixpt(*hInt_, nullptr, 1));
        return std::make_unique<FixSkewEngine>(method, std::move(n), false);
    }
    std::unique_ptr<VekDSPFixpt::Fixpt> over(std::vector<double>& v) {
        return std::unique_ptr<VekDSPFixpt::Fixpt>(
            FixptFactory::createFixpt(h_, v.data(), int32_t(v.size())));
    }

  private:
    DSPDataAttributesHandle h_;
    std::unique_ptr<DSPDataAttributesHandle> hInt_;
};

TEST(RotateSkewKits, NumberObjectsGiveTheNativeValues) {
    const Line lines[] = {
        {9, 14, 0, 0, 1, 1, 14},   {9, 14, 3, 2, 2, 1, 20}, {1, 6, 0, 0, 1, 3, 6},
        {12, 20, 5, 4, -1, 1, 20}, {7, 9, -2, 1, 3, -2, 9}, {2, 5, 0, 3, 1, 1, 5},
    };
    const double shifts[] = {-3.75, -1.5, -0.25, 0.0, 0.3, 1.0, 2.5, 7.125, 40.0, -19.0};
    NumberKit kit;
    int compared = 0;
    for (int method = 1; method <= 3; ++method) {
        std::unique_ptr<FixSkewEngine> engine = kit.engine(method);
        for (const Line& l : lines) {
            for (double shift : shifts) {
                // Source samples along |stride| with the line's first sample at srcStart.
                const int32_t span = (l.srcLen - 1) * std::abs(l.srcStride) + 1;
                const int32_t srcStart = l.srcStride < 0 ? span - 1 : 0;
                std::vector<double> src(size_t(span) + 2);
                for (size_t k = 0; k < src.size(); ++k)
                    src[k] = 10.0 + 7.0 * std::sin(1.3 * double(k)) + double(k % 3);
                const int32_t p0 = std::max(l.firstPos, 0);
                const size_t dstSize = size_t(std::max(l.dstLen - p0, 0)) * size_t(std::abs(l.dstStride)) + 2;
                const int32_t dstStart = l.dstStride < 0 ? int32_t(dstSize) - 3 : 0;
                std::vector<double> native(dstSize, -1.0), objects(dstSize, -1.0), fill{-4.5};

                const SkewAtFcn<double> at = skewAtForMethod<double>(method);
                at(src.data(), srcStart, l.srcLen, l.dstLen, shift, l.lineOffset, l.fullDstLen, l.srcStride,
                   l.dstStride, native.data(), dstStart, l.firstPos, fill[0]);

                auto srcObj = kit.over(src);
                auto dstObj = kit.over(objects);
                auto fillObj = kit.over(fill);
                auto shiftObj = kit.over(fill);  // a scratch number of the working type
                std::vector<double> shiftValue{shift};
                shiftObj->setValPtr(shiftValue.data());
                engine->skewAt(*srcObj, srcStart, l.srcLen, l.dstLen, *shiftObj, l.lineOffset, l.fullDstLen,
                               l.srcStride, l.dstStride, *dstObj, dstStart, l.firstPos, *fillObj, 0);

                for (size_t k = 0; k < dstSize; ++k) {
                    if (method == 3) {
                        EXPECT_NEAR(objects[k], native[k], 1e-11)
                            << "method " << method << " shift " << shift << " at " << k;
                    } else {
                        EXPECT_EQ(objects[k], native[k])
                            << "method " << method << " shift " << shift << " at " << k;
                    }
                }
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 3 * 6 * 10);
}

}  // namespace
