// BlockError and the owning Array wrapper of the host's C++ API.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "dravo/host/engine.h"

namespace dravo::host {
namespace {

std::string describe(const std::string& phase, const std::string& block, const std::string& cls,
                     const std::string& text) {
    std::string s = block.empty() ? phase : block + " (" + phase + ")";
    s += ": " + text;
    if (!cls.empty()) s += " [" + cls + "]";
    return s;
}

qzArray_tag* checked(qzArray_tag* a) {
    if (!a) throw std::bad_alloc();
    return a;
}

}  // namespace

BlockError::BlockError(std::string phase, std::string block, std::string messageClass, std::string text)
    : std::runtime_error(describe(phase, block, messageClass, text)),
      phase_(std::move(phase)),
      block_(std::move(block)),
      messageClass_(std::move(messageClass)),
      text_(std::move(text)) {}

Array Array::scalar(double v) {
    return Array(checked(qzCreateDoubleScalar(v)));
}

Array Array::realVector(const std::vector<double>& v) {
    Array a(checked(qzCreateDoubleMatrix(1, v.size(), qzREAL)));
    if (!v.empty()) std::memcpy(qzGetDataMutable(a.get()), v.data(), v.size() * sizeof(double));
    return a;
}

Array Array::complexScalar(double re, double im) {
    Array a(checked(qzCreateDoubleMatrix(1, 1, qzCOMPLEX)));
    std::memcpy(qzGetDataMutable(a.get()), &re, sizeof re);
    std::memcpy(qzGetImagDataMutable(a.get()), &im, sizeof im);
    return a;
}

Array Array::matrix(size_t rows, size_t cols, const std::vector<double>& columnMajor) {
    if (columnMajor.size() != rows * cols)
        throw std::invalid_argument("Array::matrix: " + std::to_string(columnMajor.size()) +
                                    " values for a " + std::to_string(rows) + " x " + std::to_string(cols) +
                                    " matrix");
    Array a(checked(qzCreateDoubleMatrix(rows, cols, qzREAL)));
    if (!columnMajor.empty())
        std::memcpy(qzGetDataMutable(a.get()), columnMajor.data(), columnMajor.size() * sizeof(double));
    return a;
}

Array Array::empty() {
    return Array(checked(qzCreateDoubleMatrix(0, 0, qzREAL)));
}

Array::Array(const Array& o) : a_(o.a_ ? checked(qzDuplicateArray(o.a_)) : nullptr) {}

Array& Array::operator=(const Array& o) {
    if (this != &o) {
        qzArray_tag* copy = o.a_ ? checked(qzDuplicateArray(o.a_)) : nullptr;
        qzDestroyArray(a_);
        a_ = copy;
    }
    return *this;
}

Array::Array(Array&& o) noexcept : a_(o.a_) {
    o.a_ = nullptr;
}

Array& Array::operator=(Array&& o) noexcept {
    if (this != &o) {
        qzDestroyArray(a_);
        a_ = o.a_;
        o.a_ = nullptr;
    }
    return *this;
}

Array::~Array() {
    qzDestroyArray(a_);
}

}  // namespace dravo::host
