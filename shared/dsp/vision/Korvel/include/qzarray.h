// Host arrays: the values of dialog parameters (and anything else the host hands a block as an array).
//
// A qzArray_tag owns a class id, dimensions (column-major, rows first) and real and optional imaginary
// data stored as separate planes of the class's element type. Blocks only read arrays; the host creates
// and destroys them. All functions are safe on a null array (they answer "empty").
#pragma once

#include <cstddef>
#include <cstdint>

enum qzClassID : int32_t {
    qzUNKNOWN_CLASS = 0,
    qzDOUBLE_CLASS,
    qzSINGLE_CLASS,
    qzINT8_CLASS,
    qzUINT8_CLASS,
    qzINT16_CLASS,
    qzUINT16_CLASS,
    qzINT32_CLASS,
    qzUINT32_CLASS,
    qzLOGICAL_CLASS,
    qzCHAR_CLASS,
};

enum qzComplexity : int32_t { qzREAL = 0, qzCOMPLEX = 1 };

struct qzArray_tag;

#define DRAVO_HOST_API __attribute__((visibility("default")))

// Readers (what blocks call).
DRAVO_HOST_API qzClassID qzGetClassID(const qzArray_tag* a);
DRAVO_HOST_API bool qzIsEmpty(const qzArray_tag* a);
DRAVO_HOST_API bool qzIsComplex(const qzArray_tag* a);
DRAVO_HOST_API bool qzIsDouble(const qzArray_tag* a);
DRAVO_HOST_API size_t qzGetNumberOfElements(const qzArray_tag* a);
DRAVO_HOST_API int32_t qzGetNumberOfDimensions(const qzArray_tag* a);
DRAVO_HOST_API const size_t* qzGetDimensions(const qzArray_tag* a);
DRAVO_HOST_API size_t qzGetM(const qzArray_tag* a);  // rows
DRAVO_HOST_API size_t qzGetN(const qzArray_tag* a);  // product of all other dimensions
DRAVO_HOST_API size_t qzGetElementSize(const qzArray_tag* a);
// Element 0 of the real data converted to double (0.0 for an empty array).
DRAVO_HOST_API double qzGetScalar(const qzArray_tag* a);
// Real and imaginary planes in the class's element type; imaginary is null for a real array.
DRAVO_HOST_API const void* qzGetData(const qzArray_tag* a);
DRAVO_HOST_API const void* qzGetImagData(const qzArray_tag* a);
// Real plane as doubles; null unless the class is double.
DRAVO_HOST_API const double* qzGetPr(const qzArray_tag* a);
DRAVO_HOST_API const double* qzGetPi(const qzArray_tag* a);
// Element i (real or imaginary part) converted to double, whatever the class; 0.0 out of range.
DRAVO_HOST_API double qzGetRealElementAsDouble(const qzArray_tag* a, size_t i);
DRAVO_HOST_API double qzGetImagElementAsDouble(const qzArray_tag* a, size_t i);

// Creation (host and tools). Data is zeroed; dims are copied.
DRAVO_HOST_API qzArray_tag* qzCreateNumericArray(int32_t numDims, const size_t* dims, qzClassID cls,
                                                 qzComplexity complexity);
DRAVO_HOST_API qzArray_tag* qzCreateDoubleMatrix(size_t rows, size_t cols, qzComplexity complexity);
DRAVO_HOST_API qzArray_tag* qzCreateDoubleScalar(double value);
DRAVO_HOST_API qzArray_tag* qzDuplicateArray(const qzArray_tag* a);
DRAVO_HOST_API void* qzGetDataMutable(qzArray_tag* a);
DRAVO_HOST_API void* qzGetImagDataMutable(qzArray_tag* a);
DRAVO_HOST_API void qzDestroyArray(qzArray_tag* a);
