// The pad block's per-instance records. They hold no host types, so the simulation kernels, the code
// generator and the benchmarks can all read them.
//
// Ownership: PadInstance lives in the host's user pointer from mdlSetWorkWidths to mdlTerminate
// (dvCalloc/dvFree). PadRunInfo points into host-owned memory (ports, RTPs, DWorks) except for
// zeroElement, which the instance owns (utCalloc/utFree). The field order is relied upon by the code
// generator; add fields only at the end.
#pragma once

#include <cstdint>

class PadSFcnCache;

// Pad methods (dialog parameter 0).
enum PadMethod : int32_t {
    PAD_CONSTANT = 1,
    PAD_REPLICATE = 2,
    PAD_SYMMETRIC = 3,
    PAD_CIRCULAR = 4,
};

struct PadRunInfo {
    const void* inputData;      // signal on input port 0, column-major
    void* outputData;           // output port 0
    int32_t inElemBytes;        // data type size, doubled when the input is complex
    int32_t widen;              // 1: real input, complex output
    int32_t padValueWiden;      // 1: real pad value from port 1 into a complex signal
    int32_t padMethod;          // PadMethod
    int32_t numDims;            // N, the number of working dimensions
    const int32_t* outDims;     // RTP "outDims", N entries
    const int32_t* padBefore;   // RTP "padBefore"
    const int32_t* padAfter;    // RTP "padAfter"
    const void* padValue;       // RTP "PadValue" data or the signal of input port 1
    const int32_t* inWorkAdd;   // RTP "inWorkAdd": input strides in elements
    const int32_t* outWorkAdd;  // RTP "outWorkAdd": output strides in elements
    int32_t* inAdd;             // DWork "inAdd": running input index per dimension
    int32_t* outAdd;            // DWork "outAdd": running output index per dimension
    void* zeroElement;          // one element of the input type's zero (the imaginary part when widening)
};

struct PadInstance {
    PadSFcnCache* cache;  // null until mdlStart
    PadRunInfo runInfo;
    // Scratch arrays between the pad computation and the creation of the RTPs; null otherwise.
    int32_t* workDims;  // working dims, then output dims
    int32_t* padBefore;
    int32_t* padAfter;
};
