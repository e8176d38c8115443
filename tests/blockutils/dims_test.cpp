// Port dimensions as matrices and dimension records built from arrays.
#include <gtest/gtest.h>

#include <vector>

#include "blockutils.h"
#include "probe_block.h"

namespace {

using dravo::host::InputSpec;

struct Dims {
    int32_t rows = -9, cols = -9, depth = -9;
};

TEST(MatrixDims, OneTwoAndThreeDimensions) {
    struct Row {
        std::vector<int32_t> dims;
        Dims expected;
    };
    const std::vector<Row> table = {
        {{5}, {5, 1, 1}},
        {{4, 3}, {4, 3, 1}},
        {{4, 3, 2}, {4, 3, 2}},
        {{4, 3, 2, 2}, {4, 3, 1}},  // depth only for exactly three dimensions
    };
    for (const Row& r : table) {
        probe::Hooks hooks;
        probe::Block b(hooks);
        b->initialize();
        b->propagate({InputSpec{r.dims, SS_DOUBLE}});
        Dims in, out;
        blockutils::getInputPortMatrixDims(b->handle(), 0, &in.rows, &in.cols, &in.depth);
        blockutils::getOutputPortMatrixDims(b->handle(), 0, &out.rows, &out.cols, &out.depth);
        for (const Dims& d : {in, out}) {
            EXPECT_EQ(d.rows, r.expected.rows) << r.dims.size();
            EXPECT_EQ(d.cols, r.expected.cols) << r.dims.size();
            EXPECT_EQ(d.depth, r.expected.depth) << r.dims.size();
        }
        int32_t rows = 0, cols = 0;
        blockutils::getInputPortMatrixDims(b->handle(), 0, &rows, &cols);  // depth may be left out
        EXPECT_EQ(rows, r.expected.rows);
        EXPECT_EQ(cols, r.expected.cols);

        const int32_t n = static_cast<int32_t>(r.dims.size());
        EXPECT_EQ(blockutils::isInputPort1to3D(b->handle(), 0), n >= 1 && n <= 3);
        EXPECT_EQ(blockutils::isOutputPort1to3D(b->handle(), 0), n >= 1 && n <= 3);
        EXPECT_EQ(blockutils::isInputPort3D(b->handle(), 0), n == 3);
        EXPECT_EQ(blockutils::isOutputPort3D(b->handle(), 0), n == 3);
    }
}

TEST(MatrixDims, UnsetPortReadsAsUnknown) {
    probe::Hooks hooks;
    Dims d;
    hooks.checkParameters = [&](probe::Handle* S) {
        blockutils::getInputPortMatrixDims(S, 0, &d.rows, &d.cols, &d.depth);
    };
    probe::Block b(hooks);
    b->initialize();
    EXPECT_EQ(d.rows, -1);
    EXPECT_EQ(d.cols, -1);
    EXPECT_EQ(d.depth, -1);
}

// Sets the output from an array inside the input's dimension callback and records what the host holds.
struct DimsFromArray {
    bool ok = false;
    int32_t width = -9, numDims = -9;
    std::vector<int32_t> dims;
};

DimsFromArray setOutputFrom(std::vector<int32_t> request) {
    DimsFromArray r;
    probe::Hooks hooks;
    hooks.setInputPortDimensionInfo = [&](probe::Handle* S, int32_t port, const DimsInfo_tag* di) {
        sysobj::ssSetInputPortDimensionInfo(S, port, di);
        r.ok = blockutils::setOutputPortDimsFromArray(S, 0, request.data(),
                                                      static_cast<int32_t>(request.size()));
        r.width = sysobj::ssGetOutputPortWidth(S, 0);
        r.numDims = sysobj::ssGetOutputPortNumDimensions(S, 0);
        const int32_t* d = sysobj::ssGetOutputPortDimensions(S, 0);
        if (d != nullptr && r.numDims > 0) r.dims.assign(d, d + r.numDims);
    };
    probe::Block b(hooks);
    b->initialize();
    try {
        b->propagate({InputSpec{{2, 2}, SS_DOUBLE}});
    } catch (const dravo::host::BlockError&) {
        // An output still partly unknown stops propagation; what was set is recorded above.
    }
    return r;
}

TEST(DimsFromArray, WidthIsTheProduct) {
    const DimsFromArray r = setOutputFrom({3, 4, 2});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.width, 24);
    EXPECT_EQ(r.numDims, 3);
    EXPECT_EQ(r.dims, (std::vector<int32_t>{3, 4, 2}));
}

TEST(DimsFromArray, UnknownSizeMakesWidthUnknown) {
    const DimsFromArray r = setOutputFrom({3, -1, 2});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.width, -1);
    EXPECT_EQ(r.numDims, 3);
}

TEST(DimsFromArray, NoDimensionsIsOneElement) {
    const DimsFromArray r = setOutputFrom({});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.width, 1);
    EXPECT_EQ(r.dims, (std::vector<int32_t>{1}));
}

TEST(DimsFromArray, InputSideAndOverflow) {
    probe::Hooks hooks;
    bool inputOk = false, hugeOk = true;
    const char* error = nullptr;
    hooks.setInputPortDimensionInfo = [&](probe::Handle* S, int32_t port, const DimsInfo_tag*) {
        const int32_t dims[2] = {6, 7};
        inputOk = blockutils::setInputPortDimsFromArray(S, port, dims, 2);
        const int32_t huge[3] = {65536, 65536, 2};
        hugeOk = blockutils::setOutputPortDimsFromArray(S, 0, huge, 3);
        error = sysobj::ssGetErrorStatus(S);
    };
    probe::Block b(hooks);
    b->initialize();
    EXPECT_THROW(b->propagate({InputSpec{{6, 7}, SS_DOUBLE}}), dravo::host::BlockError);
    EXPECT_TRUE(inputOk);
    EXPECT_EQ(b->inputPort(0).width, 42);
    EXPECT_FALSE(hugeOk);
    EXPECT_NE(error, nullptr);
}

}  // namespace
