// The pad block's run-time object: copies the kept part of the input into the output at its padded
// position, then fills the pad regions one dimension at a time with the chosen method.
//
// Kernels work on raw element bytes, so one set serves every data type (floating, integer, boolean, fixed
// point, complex). Everything they read is precomputed in PadRunInfo (RTPs and DWorks of the host);
// computeOutputs allocates nothing. Construct with create(), which answers null when memory is short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pad_instance.h"

class DSPSFcnCache {
  public:
    virtual ~DSPSFcnCache() = default;
    virtual void computeOutputs() = 0;
};

// One line along a dimension, in positions of lowProd contiguous elements ("units").
struct PadLineShape {
    int64_t before;    // positions filled before the kept data (0 when that side is not padded)
    int64_t after;     // positions filled after it
    int64_t kept;      // L, the kept length; kept data starts at position `before`
    size_t unit;       // bytes per position
    size_t elemBytes;  // output element bytes
};

class PadSFcnCache : public DSPSFcnCache {
  public:
    // One fill method along dimension dim: outDim = that dimension's output size, lowProd/highProd the
    // products of the output sizes below and above it.
    typedef void (*FillFcn)(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                            int64_t highProd);

    // runInfo must stay valid for the object's life; null when an allocation fails.
    static PadSFcnCache* create(PadRunInfo* runInfo);
    ~PadSFcnCache() override;
    void computeOutputs() override;

    int32_t columnCount() const { return columnCount_; }
    int32_t outElemBytes() const { return outElemBytes_; }

  private:
    explicit PadSFcnCache(PadRunInfo* runInfo);
    bool allocateScratch();
    // Fills one line whose position 0 is at `line`; `kept` holds the same values as the line's kept run
    // (the run itself, or the input column it was copied from).
    typedef void (*LineFillFcn)(const PadLineShape& shape, const uint8_t* padElement, const uint8_t* kept,
                                uint8_t* line);
    // The copy, with the method's line fill of dimension 1 bound at compile time.
    template <LineFillFcn FirstDimFill>
    void copyInputToOutput();
    PadLineShape lineShape(int32_t dim, int32_t outDim, int64_t lowProd) const;
    void fillKeptLines(int32_t dim, int32_t outDim, int64_t lowProd, LineFillFcn fillLine);

    static void constantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                             int64_t highProd);
    static void widenConstantFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                                  int64_t highProd);
    static void replicateFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                              int64_t highProd);
    static void symmetricFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                              int64_t highProd);
    static void circularFill(PadSFcnCache* self, int32_t dim, int32_t outDim, int64_t lowProd,
                             int64_t highProd);

    FillFcn fill_;
    PadRunInfo* runInfo_;
    int32_t outElemBytes_;
    int32_t columnCount_;

    // Copy plan: leading dimensions with nothing added or dropped join the column, so each block copy
    // moves as much contiguous memory as possible.
    int32_t mergedDim_ = 0;           // the dimension whose kept run ends a copied column
    int64_t mergedColumnLength_ = 0;  // elements per copied column
    int64_t mergedColumnCount_ = 0;
    std::unique_ptr<int32_t[]> lineIndex_;   // per-dimension counter for the fills (sized N)
    std::unique_ptr<uint8_t[]> padElement_;  // one output element of the pad value (constant fills)
    bool fuseFirstDimFill_ = false;          // dimension 1 is filled column by column during the copy
    // Constant padding of the dimension just above the copied column is written line by line during the
    // copy (before region, the line's columns, after region), so the output is written in one pass; -1
    // when not done so.
    int32_t fusedLineDim_ = -1;
};
