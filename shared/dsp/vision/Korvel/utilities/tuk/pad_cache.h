// The pad block's run-time object: copies the kept part of the input into the output at its padded
// position, then fills the pad regions one dimension at a time with the chosen method.
//
// Kernels work on raw element bytes, so one set serves every data type (floating, integer, boolean, fixed
// point, complex). Everything they read is precomputed in PadRunInfo (RTPs and DWorks of the host);
// computeOutputs allocates nothing. Construct with create(), which answers null when memory is short.
#pragma once

#include <cstdint>
#include <memory>

#include "pad_instance.h"

class DSPSFcnCache {
public:
    virtual ~DSPSFcnCache() = default;
    virtual void computeOutputs() = 0;
};

class PadSFcnCache : public DSPSFcnCache {
public:
    // One fill method along dimension dim: outDim = that dimension's output size, lowProd/highProd the
    // products of the output sizes below and above it.
    typedef void (*FillFcn)(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t highProd);

    // runInfo must stay valid for the object's life; null when an allocation fails.
    static PadSFcnCache* create(PadRunInfo* runInfo);
    ~PadSFcnCache() override;
    void computeOutputs() override;

    int32_t columnCount() const { return columnCount_; }
    int32_t outElemBytes() const { return outElemBytes_; }

private:
    explicit PadSFcnCache(PadRunInfo* runInfo);
    bool allocateScratch();
    void copyInputToOutput();
    template <class LineFill>
    void forEachKeptLine(int32_t dim, int64_t lowProd, LineFill&& fillLine);

    static void constantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t highProd);
    static void widenConstantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                                  int64_t highProd);
    static void replicateFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t highProd);
    static void symmetricFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t highProd);
    static void circularFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd, int64_t highProd);

    FillFcn fill_;
    PadRunInfo* runInfo_;
    int32_t outElemBytes_;
    int32_t columnCount_;

    // Copy plan: leading dimensions with nothing added or dropped join the column, so each block copy
    // moves as much contiguous memory as possible.
    int32_t mergedDim_ = 0;          // the dimension whose kept run ends a copied column
    int64_t mergedColumnLength_ = 0; // elements per copied column
    int64_t mergedColumnCount_ = 0;
    std::unique_ptr<int32_t[]> lineIndex_;  // per-dimension counter for the fills (sized N)
    std::unique_ptr<uint8_t[]> padElement_; // one output element of the pad value (constant fills)
};
