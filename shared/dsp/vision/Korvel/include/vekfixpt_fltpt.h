// Fltpt<T>: the floating-point twin of Fixpt (T = float or double), with the same operations and no
// quantisation, so one kernel template serves both kinds of number object.
//
// An accessor holds a pointer to its element data, a current index and a width; a free-standing one owns
// a single element. Every operation computes in T and stores in T (each step rounded to T), as native
// code would. Unlike Fixpt, division by zero follows IEEE (infinity or NaN) and the square root of a
// negative value is NaN: this path serves floating inputs that are not being logged.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace VekDSPFixpt {

template <class T>
class Fltpt {
    static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>, "Fltpt serves float and double");

  public:
    using value_type = T;

    // Free-standing, one element, zero.
    Fltpt() : data_(&own_), width_(1) {}
    // Over existing data of width elements (caller keeps it alive).
    Fltpt(T* data, int32_t width) : data_(data), width_(width) {}
    // Free-standing copy of other's current element.
    Fltpt(const Fltpt& other) : data_(&own_), width_(1), own_(other.value()) {}
    explicit Fltpt(T v) : data_(&own_), width_(1), own_(v) {}

    Fltpt& operator[](int32_t index) {
        index_ = index;
        return *this;
    }
    int32_t getIndex() const { return index_; }
    int32_t getNumElements() const { return width_; }
    void setValPtr(void* data) { data_ = static_cast<T*>(data); }
    void* getValPtr() const { return data_; }

    T& value() { return data_[index_]; }
    const T& value() const { return data_[index_]; }
    double toDouble() const { return double(value()); }

    Fltpt& operator=(const Fltpt& v) {
        value() = v.value();
        return *this;
    }
    template <class A>
    requires std::is_arithmetic_v<A> Fltpt& operator=(A v) {
        value() = T(v);
        return *this;
    }

    Fltpt& operator+=(const Fltpt& v) {
        value() = T(value() + v.value());
        return *this;
    }
    Fltpt& operator-=(const Fltpt& v) {
        value() = T(value() - v.value());
        return *this;
    }
    Fltpt& operator*=(const Fltpt& v) {
        value() = T(value() * v.value());
        return *this;
    }
    void shiftRight(int32_t n) { value() = std::ldexp(value(), -n); }
    Fltpt& operator>>=(int32_t n) {
        shiftRight(n);
        return *this;
    }
    void divide(const Fltpt& a, const Fltpt& b) { value() = T(a.value() / b.value()); }
    void sqrt(Fltpt& result) const { result.value() = std::sqrt(value()); }
    void reset() { value() = T(0); }

    Fltpt operator*(const Fltpt& b) const { return Fltpt(T(value() * b.value())); }
    Fltpt square() const { return *this * *this; }
    Fltpt operator+(const Fltpt& b) const { return Fltpt(T(value() + b.value())); }
    Fltpt operator-(const Fltpt& b) const { return Fltpt(T(value() - b.value())); }
    Fltpt operator-() const { return Fltpt(T(-value())); }

    bool operator<(const Fltpt& b) const { return value() < b.value(); }
    bool operator<=(const Fltpt& b) const { return value() <= b.value(); }
    bool operator>(const Fltpt& b) const { return value() > b.value(); }
    bool operator>=(const Fltpt& b) const { return value() >= b.value(); }
    bool operator==(const Fltpt& b) const { return value() == b.value(); }
    bool operator!=(const Fltpt& b) const { return value() != b.value(); }
    bool isNegative() const { return value() < T(0); }
    bool isPositive() const { return value() > T(0); }
    bool isNonNegative() const { return value() >= T(0); }
    bool isZero() const { return value() == T(0); }

    int32_t floor() const { return toInt32(std::floor(value())); }
    int32_t ceil() const { return toInt32(std::ceil(value())); }
    int32_t fix() const { return toInt32(std::trunc(value())); }
    // Ties toward +infinity, as Fixpt::nearest.
    int32_t nearest() const {
        const double v = double(value());
        const double f = std::floor(v);
        return toInt32(v - f >= 0.5 ? f + 1.0 : f);
    }

  private:
    static int32_t toInt32(double v) {
        if (v != v) return 0;
        if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
        if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
        return int32_t(v);
    }

    T* data_;
    int32_t width_;
    int32_t index_ = 0;
    T own_ = T(0);
};

}  // namespace VekDSPFixpt
