// Host arrays: class, dimensions and separate real/imaginary planes of the class's element type.
#include "qzarray.h"

#include <cstring>
#include <new>
#include <vector>

#include "aligned_buffer.h"

using dravo::host::detail::AlignedBuffer;

struct qzArray_tag {
    qzClassID cls = qzDOUBLE_CLASS;
    bool complex = false;
    std::vector<size_t> dims;  // at least two; trailing singletons beyond the second dropped
    size_t numel = 0;
    AlignedBuffer real;
    AlignedBuffer imag;
};

namespace {

size_t elementSize(qzClassID cls) {
    switch (cls) {
        case qzDOUBLE_CLASS:
            return 8;
        case qzSINGLE_CLASS:
            return 4;
        case qzINT8_CLASS:
        case qzUINT8_CLASS:
        case qzLOGICAL_CLASS:
            return 1;
        case qzINT16_CLASS:
        case qzUINT16_CLASS:
        case qzCHAR_CLASS:
            return 2;
        case qzINT32_CLASS:
        case qzUINT32_CLASS:
            return 4;
        default:
            return 0;
    }
}

double elementAsDouble(qzClassID cls, const void* plane, size_t i) {
    switch (cls) {
        case qzDOUBLE_CLASS:
            return static_cast<const double*>(plane)[i];
        case qzSINGLE_CLASS:
            return static_cast<const float*>(plane)[i];
        case qzINT8_CLASS:
            return static_cast<const int8_t*>(plane)[i];
        case qzUINT8_CLASS:
            return static_cast<const uint8_t*>(plane)[i];
        case qzLOGICAL_CLASS:
            return static_cast<const uint8_t*>(plane)[i] != 0 ? 1.0 : 0.0;
        case qzINT16_CLASS:
            return static_cast<const int16_t*>(plane)[i];
        case qzUINT16_CLASS:
        case qzCHAR_CLASS:
            return static_cast<const uint16_t*>(plane)[i];
        case qzINT32_CLASS:
            return static_cast<const int32_t*>(plane)[i];
        case qzUINT32_CLASS:
            return static_cast<const uint32_t*>(plane)[i];
        default:
            return 0.0;
    }
}

}  // namespace

qzClassID qzGetClassID(const qzArray_tag* a) {
    return a ? a->cls : qzUNKNOWN_CLASS;
}
bool qzIsEmpty(const qzArray_tag* a) {
    return !a || a->numel == 0;
}
bool qzIsComplex(const qzArray_tag* a) {
    return a && a->complex;
}
bool qzIsDouble(const qzArray_tag* a) {
    return a && a->cls == qzDOUBLE_CLASS;
}
size_t qzGetNumberOfElements(const qzArray_tag* a) {
    return a ? a->numel : 0;
}
int32_t qzGetNumberOfDimensions(const qzArray_tag* a) {
    return a ? static_cast<int32_t>(a->dims.size()) : 2;
}

const size_t* qzGetDimensions(const qzArray_tag* a) {
    static const size_t kEmptyDims[2] = {0, 0};
    return a ? a->dims.data() : kEmptyDims;
}

size_t qzGetM(const qzArray_tag* a) {
    return a ? a->dims[0] : 0;
}

size_t qzGetN(const qzArray_tag* a) {
    if (!a) return 0;
    size_t n = 1;
    for (size_t k = 1; k < a->dims.size(); ++k)
        n *= a->dims[k];
    return n;
}

size_t qzGetElementSize(const qzArray_tag* a) {
    return a ? elementSize(a->cls) : 0;
}

double qzGetScalar(const qzArray_tag* a) {
    return qzGetRealElementAsDouble(a, 0);
}

const void* qzGetData(const qzArray_tag* a) {
    return a ? a->real.data() : nullptr;
}
const void* qzGetImagData(const qzArray_tag* a) {
    return a && a->complex ? a->imag.data() : nullptr;
}

const double* qzGetPr(const qzArray_tag* a) {
    return a && a->cls == qzDOUBLE_CLASS ? reinterpret_cast<const double*>(a->real.data()) : nullptr;
}

const double* qzGetPi(const qzArray_tag* a) {
    return a && a->cls == qzDOUBLE_CLASS && a->complex ? reinterpret_cast<const double*>(a->imag.data())
                                                       : nullptr;
}

double qzGetRealElementAsDouble(const qzArray_tag* a, size_t i) {
    if (!a || i >= a->numel) return 0.0;
    return elementAsDouble(a->cls, a->real.data(), i);
}

double qzGetImagElementAsDouble(const qzArray_tag* a, size_t i) {
    if (!a || !a->complex || i >= a->numel) return 0.0;
    return elementAsDouble(a->cls, a->imag.data(), i);
}

qzArray_tag* qzCreateNumericArray(int32_t numDims, const size_t* dims, qzClassID cls,
                                  qzComplexity complexity) {
    size_t esize = elementSize(cls);
    if (esize == 0 || numDims < 0 || (numDims > 0 && !dims)) return nullptr;
    qzArray_tag* a = new (std::nothrow) qzArray_tag;
    if (!a) return nullptr;
    try {
        a->cls = cls;
        a->complex = complexity == qzCOMPLEX;
        if (numDims == 0) {
            a->dims = {0, 0};
        } else {
            a->dims.assign(dims, dims + numDims);
            if (a->dims.size() == 1) a->dims.push_back(1);
            while (a->dims.size() > 2 && a->dims.back() == 1)
                a->dims.pop_back();
        }
        size_t numel = 1;
        for (size_t d : a->dims) {
            if (d != 0 && numel > SIZE_MAX / d / esize) {
                delete a;
                return nullptr;
            }
            numel *= d;
        }
        a->numel = numel;
        a->real.resize(numel * esize);
        if (a->complex) a->imag.resize(numel * esize);
    } catch (...) {
        delete a;
        return nullptr;
    }
    return a;
}

qzArray_tag* qzCreateDoubleMatrix(size_t rows, size_t cols, qzComplexity complexity) {
    size_t dims[2] = {rows, cols};
    return qzCreateNumericArray(2, dims, qzDOUBLE_CLASS, complexity);
}

qzArray_tag* qzCreateDoubleScalar(double value) {
    qzArray_tag* a = qzCreateDoubleMatrix(1, 1, qzREAL);
    if (a) std::memcpy(a->real.data(), &value, sizeof value);
    return a;
}

qzArray_tag* qzDuplicateArray(const qzArray_tag* a) {
    if (!a) return nullptr;
    qzArray_tag* b = qzCreateNumericArray(static_cast<int32_t>(a->dims.size()), a->dims.data(), a->cls,
                                          a->complex ? qzCOMPLEX : qzREAL);
    if (!b) return nullptr;
    size_t bytes = a->numel * elementSize(a->cls);
    if (bytes) {
        std::memcpy(b->real.data(), a->real.data(), bytes);
        if (a->complex) std::memcpy(b->imag.data(), a->imag.data(), bytes);
    }
    return b;
}

void* qzGetDataMutable(qzArray_tag* a) {
    return a ? a->real.data() : nullptr;
}
void* qzGetImagDataMutable(qzArray_tag* a) {
    return a && a->complex ? a->imag.data() : nullptr;
}
void qzDestroyArray(qzArray_tag* a) {
    delete a;
}
