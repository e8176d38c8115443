// SkewGen: the shared utility function that shifts one line of the rotate block's generated code, one per
// interpolation method and combination of types. The function resamples the line
// src[srcStart + k*srcStride], k = 0..srcLen-1, moved by `shift` positions, into destination positions
// p = max(firstPos, 0)..dstLen-1, written to dst[dstStart + (p - max(firstPos, 0))*dstStride]; samples
// outside the line count as `fill`. It computes what the block's skew routines compute, operation for
// operation, so the generated code gives the simulation's bits: floating types as the floating-point
// routines, integer and fixed-point types as the fixed-point ones (every weight, product and sum quantised
// into its type with the function's rounding and overflow modes, which are part of its name).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cg/codegen.h"

class SkewGen : public DSPCG::LibGenerator {
  public:
    enum : int32_t { kNearest = 1, kBilinear = 2, kBicubic = 3 };

    // The overflow choice must be 0 (wrap) or 1 (saturate): anything else fails an assertion ("ondskew").
    SkewGen(std::shared_ptr<CG::Pool> pool, const CG::Type& inBufType, const CG::Type& buf2Type,
            const CG::Type& buf3Type, const CG::Type& outType, const CG::Type& shiftType,
            const CG::Type& accType, const CG::Type& prodType, const CG::Type& idxType, int32_t rounding,
            int32_t overflow, int32_t method);
    ~SkewGen() override = default;

    // False when the types or the overflow choice were refused (generation has recorded why).
    bool valid() const { return valid_; }

  protected:
    int32_t numInputs() const override { return 11; }
    CG::Type inputType(int32_t i) const override;
    std::string inputName(int32_t i) const override;
    int32_t numOutputs() const override { return 0; }
    std::string outputName(int32_t) const override { return "noOutput"; }
    std::string fcnName() const override;
    void generateBody() override;

  private:
    // The parameters, and the locals the sections share.
    struct Args {
        CG::NumRef src;
        CG::IdxRef srcStart, srcLen, dstLen;
        CG::NumRef shift;
        CG::IdxRef srcStride, dstStride;
        CG::NumRef dst;
        CG::IdxRef dstStart, firstPos;
        CG::NumRef fill;
        CG::IdxRef p0, end, lo, ilo, ihi, hi, dIdx, istrt, lim, i;
    };
    Args args();
    // The line moved by a whole number of positions `move` (no interpolation).
    void moveBody(const Args& a, const CG::IdxVal& move, const char* leftComment, const char* validComment,
                  const char* rightComment);
    void nearestBody();
    void bilinearBody();
    void bicubicBody();
    // Integer and fixed-point lines (skew_fix_codegen.cpp).
    void fixNearestBody();
    void fixBilinearBody();
    void fixBicubicBody();
    // v converted into `t` with the function's modes.
    CG::Expr fixCast(const CG::Expr& v, const CG::Type& t);
    // The int32 shift of a fixed-point line limited to +-2^30 (it only places the line, which is shorter).
    void boundMove(CG::IdxRef& move);
    // out = K(d) of cubic convolution with a = -1, each step quantised into the working type.
    void fixCubicWeight(const CG::NumRef& d, CG::NumRef out);
    // One destination sample: the working-type sum of weight x tap products, converted into dst's type.
    void fixSample(const Args& a, const std::vector<CG::NumVal>& weights,
                   const std::vector<CG::NumVal>& taps);
    // The same for an interior sample (every tap a sample of the line): where the types allow it
    // (exactInteriorFits), the exact sum in int64_t with range tests, else fixSample.
    void fixInteriorSample(const Args& a, const std::vector<CG::NumVal>& weights,
                           const std::vector<CG::NumVal>& taps);
    // Whether products land on the working type's grid unrounded (left shift productShift) and every exact
    // product and term fits 62 bits, which the interiors' int64_t sums need.
    bool exactInteriorFits(int32_t* productShift) const;
    // The source sample k, or the fill value outside the line.
    CG::NumVal sampleAt(const Args& a, const CG::IdxVal& k);
    // The shift limited to +-2^30 (NaN: 0), into the local `name`.
    CG::NumRef boundedShift(const Args& a);
    CG::IdxVal truncToIdx(const CG::NumVal& v);
    CG::NumVal asShift(const CG::IdxVal& v);
    // Destination position range [p0, end) split into fill, edge, interior, edge, fill by tap base
    // a = p - offset: computed for a in [aMin, aMax], interior for a in [iMin, iMax].
    void splitRegions(const Args& a, const CG::IdxVal& offset, const CG::IdxVal& aMin, const CG::IdxVal& aMax,
                      const CG::IdxVal& iMin, const CG::IdxVal& iMax);
    void fillRange(const Args& a, const CG::IdxVal& from, const CG::IdxVal& to);

    CG::Type inBufType_, buf2Type_, buf3Type_, outType_, shiftType_, accType_, prodType_, idxType_;
    int32_t method_;
    bool fixed_ = false;
    bool valid_ = true;
};
