// The fixed-point kernel of the contrast adjustment block: integer and fixed-point images, and double or
// single images in a run that logs minimum, maximum and overflow values. Every quantity is a number object
// of the fixed-point library in the type that holds it ("Input", "Extended Input", "Product 1",
// "Product 2", "Fraction", "S32"), quantised with the block's rounding and overflow modes.
//
// create() builds the handles and objects once (mdlStart), so a step allocates nothing. The kernel points
// into host-owned memory; setOutputRange/setInputRange/setFractions rebind after tuning.
//
// Images of at most 8 bits with no fraction bits and more than 256 pixels go through a table of the
// valNum possible values: the table is built and mapped once per step, then every pixel is an index.
// When nothing is logged, such images are also counted per value in one pass and their extremes and
// histogram are taken from the counts, which gives the same numbers as visiting every pixel.
#pragma once

#include <cstdint>
#include <memory>

#include "sysobj.h"
#include "vekfixpt.h"

namespace merrow {

struct FixKernelConfig {
    sysobj::SysObjAdaptorSFun* S = nullptr;
    const void* input = nullptr;
    void* output = nullptr;
    int32_t numPixels = 0;  // the port width (the most a step can have)
    int32_t inputRangeMode = 1;
    int32_t numBins = 1;
    DataTypeId inputType = 0;
    int32_t inputWordLength = 0;   // of the type's shape (a scaled double keeps its word length here)
    DataTypeId fractionType = -1;  // mode 3: the "Fraction" type of FRAC_RTP
    int32_t product1WordLength = 32, product1FracLength = 0;
    int32_t product2WordLength = 32, product2FracLength = 0;
    int32_t rounding = VekDSPFixpt::kRoundFloor;
    int32_t overflow = VekDSPFixpt::kOverflowWrap;
    void* outputRange = nullptr;
    void* inputRange = nullptr;
    void* fractions = nullptr;
    uint32_t* hist = nullptr;
    void* table = nullptr;
    void* lowerBound = nullptr;
    bool useLookUpTable = false;
};

class ContrastFixKernel {
  public:
    // Null (host error status set) when a handle or object is refused.
    static ContrastFixKernel* create(const FixKernelConfig& config);
    ~ContrastFixKernel();

    void run(int32_t numPixels);
    void setOutputRange(void* data);
    void setInputRange(void* data);
    void setFractions(void* data);

    bool simpleMode() const { return simpleMode_; }
    int32_t valNum() const { return valNum_; }
    bool floatingImage() const { return floatingImage_; }

  private:
    using Fixpt = VekDSPFixpt::Fixpt;
    explicit ContrastFixKernel(const FixKernelConfig& config) : c_(config) {}
    bool build();

    void findInputRange(int32_t n);
    bool countValues(int32_t n);  // raw per-value counts (table images, not logged)
    void rawExtremes(int32_t n);  // raw extremes (table images, not logged)
    void narrowFromHistogram(int32_t n);
    int32_t binOf(Fixpt& v, bool simple, int32_t bins);
    void mapSlope();
    void mapValue(Fixpt& v, Fixpt& dst);
    void buildTable();
    void tableOutput(int32_t n);
    void fillOutput(int32_t n, Fixpt& value);

    FixKernelConfig c_;
    bool floatingImage_ = false;
    bool simpleMode_ = false;
    bool logging_ = false;
    bool rawBytes_ = false;  // table image stored in 1-byte containers: pixels index the table directly
    bool vbmi_ = false;      // the processor permutes bytes across 64-byte registers
    int32_t valNum_ = 0;
    int32_t wordLength_ = 0;
    bool inputSigned_ = false;
    int32_t numValid_ = 0;       // pixels of the step that are not NaN
    uint32_t valueCounts_[256];  // pixels per table entry (raw path)

    // Handles first: the objects keep pointers to them.
    std::unique_ptr<VekDSPFixpt::DSPDataAttributesHandle> inputAttrs_, extendedAttrs_, product1Attrs_,
        product2Attrs_, fractionAttrs_, int32Attrs_;
    std::unique_ptr<Fixpt> input_, output_, outputRange_, inputRange_, lowIn_, highIn_, lowOut_, highOut_,
        inTmp_, inExdTmp1_, inExdTmp2_, inExdTmp3_, slopeMap_, prod1Tmp1_, prod1Tmp2_, tmpInt32_;
    std::unique_ptr<Fixpt> fractions_, slopeHist_, prod2Tmp1_, pixSaturate_, pixNumTmp1_;
    std::unique_ptr<Fixpt> lowerBound_, table_;
};

}  // namespace merrow
