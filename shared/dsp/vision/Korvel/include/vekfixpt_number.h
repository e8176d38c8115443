// Fixpt: a number object of the fixed-point library, viewing one or more elements of one value type.
//
// Contract:
// - Made by FixptFactory, either over existing data (a port signal, run-time parameter or work vector that
//   the caller owns and keeps alive) or free-standing with one element that the object owns.
// - The object has a current element, chosen with operator[] (which returns the object itself, so
//   `out[i] = in[j]` reads in's element j and writes out's element i). Selecting an element of the same
//   object twice in one expression (`x[i] = x[j]`) reads and writes the one current element.
// - Every result is computed exactly on the stored integers and quantised once into the destination's
//   type with the destination's rounding and overflow codes. `x = y`, `+=`, `-=`, `*=`, shifts, division
//   and square root write the destination object; `a * b` yields a FixptProduct that becomes a's product
//   type when it is stored, added or converted (`acc += a * b` then runs without building an object);
//   square() a temporary of the product type, binary + and - a temporary of a's accumulator type, unary
//   minus a temporary one bit wider than a (signed, at most 128 bits). Temporaries own their storage and
//   must not outlive the object they came from (they log into its records).
// - Division by zero gives the destination's largest or smallest value by the numerator's sign (0 for
//   0/0) and is counted; it never traps. The square root of a negative value is 0.
// - floor/ceil/fix/nearest give int32, saturated to the int32 range.
// - Floating value types (double, single) compute in double and store in their own type; they take part
//   in the same operations and in logging.
// - Word lengths up to 64 bits take an inline path that allocates nothing; wider ones go through the
//   library's exact 2048-bit path, which allocates nothing either.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstring>

#include "vekfixpt_attributes.h"
#include "vekfixpt_log.h"
#include "vekfixpt_quantise.h"
#include "vekfixpt_types.h"

namespace VekDSPFixpt {

class FixptFactory;
class FixptProduct;

class VEKFIXPT_API Fixpt {
  public:
    // A free-standing copy holding other's current element, with other's type, modes and records.
    Fixpt(const Fixpt& other);
    Fixpt(Fixpt&& other) noexcept : Fixpt(static_cast<const Fixpt&>(other)) {}
    virtual ~Fixpt() {
        if (ownsLogs_) releaseLogs();
    }

    // ---- Element selection --------------------------------------------------------------------------
    Fixpt& operator[](int32_t index) {
        index_ = index;
        return *this;
    }
    int32_t getIndex() const { return index_; }
    int32_t getNumElements() const { return numElements_; }
    // Rebinds the object to other data of the same type and element count (e.g. a re-read run-time
    // parameter); the current element is kept.
    void setValPtr(void* data) { data_ = static_cast<unsigned char*>(data); }
    void* getValPtr() const { return data_; }

    // ---- Assignment with conversion into this object's type ---------------------------------------------
    Fixpt& operator=(const Fixpt& v) {
        if (fast_ && v.fast_) {
            if (v.qd_.fits64)
                commitFast(detail::quantiseFast<int64_t>(v.loadFast64(), -v.qd_.type.fracLength, qd_));
            else
                commitFast(detail::quantiseFast<i128>(v.loadFast(), -v.qd_.type.fracLength, qd_));
            return *this;
        }
        assignSlow(v);
        return *this;
    }
    Fixpt& operator=(Fixpt&& v) { return *this = static_cast<const Fixpt&>(v); }
    inline Fixpt& operator=(const FixptProduct& p);
    template <std::integral I>
    Fixpt& operator=(I v) {
        assignInteger(static_cast<i128>(v));
        return *this;
    }
    Fixpt& operator=(double v);

    // ---- Compound arithmetic ------------------------------------------------------------------------
    Fixpt& operator+=(const Fixpt& v) {
        if (!addFastAny(v, false)) addSlow(v, false);
        return *this;
    }
    Fixpt& operator-=(const Fixpt& v) {
        if (!addFastAny(v, true)) addSlow(v, true);
        return *this;
    }
    [[gnu::always_inline]] inline Fixpt& operator+=(const FixptProduct& p);
    inline Fixpt& operator-=(const FixptProduct& p);
    Fixpt& operator*=(const Fixpt& v) {
        if (fast_ && v.fast_ && magBits_ + v.magBits_ <= 126) {
            commitFast(detail::quantiseFast<i128>(loadFast() * v.loadFast(),
                                                  -(qd_.type.fracLength + v.qd_.type.fracLength), qd_));
            return *this;
        }
        mulSlow(*this, v);
        return *this;
    }
    // this = this / 2^n (n >= 0), rounded with this object's modes.
    void shiftRight(int32_t n);
    Fixpt& operator>>=(int32_t n) {
        shiftRight(n);
        return *this;
    }
    // this = a / b.
    virtual void divide(const Fixpt& a, const Fixpt& b);
    // result = sqrt(this), in result's type and modes.
    void sqrt(Fixpt& result) const;
    // The current element becomes zero.
    void reset();

    // ---- Temporaries ----------------------------------------------------------------------------------
    inline FixptProduct operator*(const Fixpt& b) const;
    Fixpt square() const;
    Fixpt operator+(const Fixpt& b) const;
    Fixpt operator-(const Fixpt& b) const;
    Fixpt operator-() const;

    // ---- Comparisons of real-world values ------------------------------------------------------------
    bool operator<(const Fixpt& b) const { return compare(b) == Order::Less; }
    bool operator<=(const Fixpt& b) const {
        const Order o = compare(b);
        return o == Order::Less || o == Order::Equal;
    }
    bool operator>(const Fixpt& b) const { return compare(b) == Order::Greater; }
    bool operator>=(const Fixpt& b) const {
        const Order o = compare(b);
        return o == Order::Greater || o == Order::Equal;
    }
    bool operator==(const Fixpt& b) const { return compare(b) == Order::Equal; }
    bool operator!=(const Fixpt& b) const { return compare(b) != Order::Equal; }
    bool isNegative() const { return sign() < 0; }
    bool isPositive() const { return sign() > 0; }
    bool isNonNegative() const { return sign() >= 0; }
    bool isZero() const { return sign() == 0; }

    // ---- Integer results (int32, saturated) -----------------------------------------------------------
    int32_t floor() const { return toInt32(kRoundFloor); }
    int32_t ceil() const { return toInt32(kRoundCeiling); }
    int32_t fix() const { return toInt32(kRoundZero); }
    int32_t nearest() const { return toInt32(kRoundNearest); }  // ties toward +infinity

    // ---- Inspection ----------------------------------------------------------------------------------
    const DSPDataAttributesHandle* getAttributes() const { return attrs_; }
    const std::string& getLabel() const { return attrs_->getLabel(); }
    const NumType& getType() const { return qd_.type; }
    int32_t getRoundingCode() const { return qd_.rounding; }
    int32_t getOverflowCode() const { return qd_.overflow; }
    double toDouble() const;
    // The current element's stored integer, extended to 128 bits by the type's signedness (fixed types).
    u128 getStoredBits() const;
    void setStoredBits(u128 bits);
    // Logging records; null when the object does not log. Sub-records: 0 values, 1 products, 2 sums.
    const ObjectLog* getLog() const { return logs_; }
    const LogRecord* getLogRecord() const { return log_; }

  protected:
    enum class ObjectRecord : uint8_t { Value = 0, Product = 1, Accumulator = 2 };
    enum class Order : uint8_t { Less, Equal, Greater, Unordered };

    friend class FixptFactory;
    friend class FixptProduct;
    // Made by the factory: over data (or own storage when data is null), with a log group (may be null).
    Fixpt(const DSPDataAttributesHandle* attrs, void* data, int32_t numElements, ObjectLog* logs);
    // A temporary quantising into d that logs into parent's sub-record.
    Fixpt(const Fixpt& parent, const detail::QuantDest& d, ObjectRecord record)
        : numElements_(1),
          attrs_(parent.attrs_),
          logs_(parent.logs_),
          log_(parent.logs_ ? &parent.logs_->records[int32_t(record)] : nullptr) {
        initType(d);
        initProduct();
        data_ = own_;
    }
    void initProduct() {
        productDest_ = &attrs_->productDest();
        productFast_ = productDest_->isFast();
        mulMagA_ = int16_t(fast_ && productFast_ ? magBits_ : kNoFastMul);
    }

  private:
    void initType(const detail::QuantDest& d) {
        qd_ = d;
        const NumType& t = d.type;
        fast_ = d.isFast();
        magBits_ = int16_t(t.wordLength - (t.isSigned ? 1 : 0));
        const int32_t bytes = t.containerBytes;
        const int32_t log2Bytes = bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : 3;
        loadCase_ = uint8_t(2 * log2Bytes + (t.isSigned ? 1 : 0));
        normShift_ = uint8_t(fast_ && t.wordLength != bytes * 8 ? 64 - t.wordLength : 0);
        elemShift_ = uint8_t(__builtin_ctz(uint32_t(bytes)));  // containers are 1, 2, 4, 8 or 16 bytes
        mulMagB_ = int16_t(fast_ ? magBits_ : kNoFastMul);
        mulMagA_ = kNoFastMul;  // set with the product target
    }
    detail::QuantDest divisionDest() const {
        return detail::QuantDest::make(qd_.type, qd_.rounding, qd_.overflow, true);
    }
    [[gnu::always_inline]] unsigned char* elementPtr() const {
        return data_ + (size_t(index_) << elemShift_);
    }

    [[gnu::always_inline]] i128 loadFast() const {
        const unsigned char* p = elementPtr();
        int64_t s = 0;
        uint64_t u = 0;
        switch (loadCase_) {
            case 0: {
                uint8_t x;
                std::memcpy(&x, p, 1);
                u = x;
                break;
            }
            case 1: {
                int8_t x;
                std::memcpy(&x, p, 1);
                s = x;
                break;
            }
            case 2: {
                uint16_t x;
                std::memcpy(&x, p, 2);
                u = x;
                break;
            }
            case 3: {
                int16_t x;
                std::memcpy(&x, p, 2);
                s = x;
                break;
            }
            case 4: {
                uint32_t x;
                std::memcpy(&x, p, 4);
                u = x;
                break;
            }
            case 5: {
                int32_t x;
                std::memcpy(&x, p, 4);
                s = x;
                break;
            }
            case 6: {
                std::memcpy(&u, p, 8);
                break;
            }
            default: {
                std::memcpy(&s, p, 8);
                break;
            }
        }
        if (loadCase_ & 1) {
            if (normShift_) s = int64_t(uint64_t(s) << normShift_) >> normShift_;
            return s;
        }
        if (normShift_) u &= ~uint64_t(0) >> normShift_;
        return u;
    }
    // The current element as int64 (the word must not be unsigned 64-bit). Full words load with the
    // container's own extension; narrower ones are normalised by the precomputed shift.
    [[gnu::always_inline]] int64_t loadFast64() const {
        const unsigned char* p = elementPtr();
        // Tested in turn rather than through a jump table: the signed cases come first.
        int64_t v;
        if (loadCase_ == 3) {
            int16_t x;
            std::memcpy(&x, p, 2);
            v = x;
        } else if (loadCase_ == 5) {
            int32_t x;
            std::memcpy(&x, p, 4);
            v = x;
        } else if (loadCase_ >= 6) {
            std::memcpy(&v, p, 8);
        } else {
            v = loadSmall64(p);
        }
        if (normShift_) [[unlikely]] {
            v = (loadCase_ & 1) ? int64_t(uint64_t(v) << normShift_) >> normShift_
                                : int64_t((uint64_t(v) << normShift_) >> normShift_);
        }
        return v;
    }
    // loadFast64's 8-bit and unsigned 16/32-bit cases.
    int64_t loadSmall64(const unsigned char* p) const {
        switch (loadCase_) {
            case 0: {
                uint8_t x;
                std::memcpy(&x, p, 1);
                return x;
            }
            case 1: {
                int8_t x;
                std::memcpy(&x, p, 1);
                return x;
            }
            case 2: {
                uint16_t x;
                std::memcpy(&x, p, 2);
                return x;
            }
            default: {
                uint32_t x;
                std::memcpy(&x, p, 4);
                return x;
            }
        }
    }
    [[gnu::always_inline]] void storeFast(u128 bits) {
        unsigned char* p = elementPtr();
        if (elemShift_ == 1) {
            const uint16_t x = uint16_t(bits);
            std::memcpy(p, &x, 2);
        } else if (elemShift_ == 2) {
            const uint32_t x = uint32_t(bits);
            std::memcpy(p, &x, 4);
        } else if (elemShift_ == 0) {
            const uint8_t x = uint8_t(bits);
            std::memcpy(p, &x, 1);
        } else {
            const uint64_t x = uint64_t(bits);
            std::memcpy(p, &x, 8);
        }
    }
    [[gnu::always_inline]] void commitFast(const detail::Fit& f) {
        storeFast(f.bits);
        if (log_) [[unlikely]]
            logStore(f.flags);
    }
    // this +-= b x 2^-bFracLength (b a stored integer of at most 64 bits); false when the alignment is
    // too wide for 128 bits.
    [[gnu::always_inline]] bool addFast(i128 b, int32_t bFracLength, bool subtract) {
        const int32_t d = bFracLength - qd_.type.fracLength;  // exponent of this minus exponent of b
        if (d > 60 || d < -60) return false;
        i128 a = loadFast();
        int32_t e;
        if (d >= 0) {
            a = i128(u128(a) << d);
            e = -bFracLength;
        } else {
            b = i128(u128(b) << -d);
            e = -qd_.type.fracLength;
        }
        commitFast(detail::quantiseFast<i128>(subtract ? a - b : a + b, e, qd_));
        return true;
    }
    [[gnu::always_inline]] bool addProduct64(const FixptProduct& p, bool subtract);
    // Any other `+= a * b`: wide or slow products, other grids (out of line).
    void addProductGeneral(FixptProduct p, bool subtract);
    // this +-= a product word of a's product type (already quantised and logged) without the int64 sum.
    void addStoredProduct(const Fixpt& a, u128 bits, bool subtract);
    [[gnu::always_inline]] bool addFastAny(const Fixpt& v, bool subtract) {
        if (!(fast_ && v.fast_)) return false;
        if (v.qd_.fits64 && addFast64(v.loadFast64(), v.qd_.type.fracLength, subtract)) return true;
        return addFast(v.loadFast(), v.qd_.type.fracLength, subtract);
    }
    // this +-= b x 2^-bFracLength within int64 (same fraction length, no overflow of the sum); false when
    // that does not hold.
    [[gnu::always_inline]] bool addFast64(int64_t b, int32_t bFracLength, bool subtract) {
        if (bFracLength != qd_.type.fracLength || !qd_.fits64) return false;
        int64_t sum;
        const bool overflow = subtract ? __builtin_sub_overflow(loadFast64(), b, &sum)
                                       : __builtin_add_overflow(loadFast64(), b, &sum);
        if (overflow) [[unlikely]]
            return false;
        // Same grid: nothing is dropped or appended, so any int64 sum may go to the range check.
        commitFast(detail::quantiseFast<int64_t>(sum, -bFracLength, qd_));
        return true;
    }
    Order compare(const Fixpt& b) const {
        if (fast_ && b.fast_ && qd_.fits64 && b.qd_.fits64 && qd_.type.fracLength == b.qd_.type.fracLength) {
            const int64_t x = loadFast64(), y = b.loadFast64();
            return x < y ? Order::Less : (x == y ? Order::Equal : Order::Greater);
        }
        if (fast_ && b.fast_) {
            const int32_t d = b.qd_.type.fracLength - qd_.type.fracLength;
            if (d <= 60 && d >= -60) {
                i128 x = loadFast(), y = b.loadFast();
                if (d >= 0)
                    x = i128(u128(x) << d);
                else
                    y = i128(u128(y) << -d);
                return x < y ? Order::Less : (x == y ? Order::Equal : Order::Greater);
            }
        }
        return compareSlow(b);
    }
    int32_t sign() const {
        if (fast_) {
            const i128 v = loadFast();
            return v < 0 ? -1 : (v > 0 ? 1 : 0);
        }
        return signSlow();
    }

    // Out-of-line general paths (any word length, floating types, wide alignments).
    void assignSlow(const Fixpt& v);
    void assignInteger(i128 v);
    void addSlow(const Fixpt& v, bool subtract);
    void mulSlow(const Fixpt& a, const Fixpt& b);
    Order compareSlow(const Fixpt& b) const;
    int32_t signSlow() const;
    int32_t toInt32(int32_t rounding) const;
    void logStore(uint8_t flags);
    void logProduct(u128 bits, uint8_t flags) const;
    void releaseLogs();
    void storeFit(const detail::Fit& f);
    void storeFloating(double v, uint8_t flags);
    friend struct FixptAccess;

    unsigned char* data_ = nullptr;
    int32_t numElements_ = 1;
    int32_t index_ = 0;
    detail::QuantDest qd_;  // this object's type and modes
    bool fast_ = false;     // fixed point with a word of at most 64 bits
    bool ownsLogs_ = false;
    uint8_t loadCase_ = 0;   // 2 x log2(container bytes) + signed, for the fast load
    uint8_t normShift_ = 0;  // 64 - word length when the word does not fill its fast container
    int16_t magBits_ = 0;    // magnitude bits of the word: wl - 1 (signed) or wl
    // Magnitude bits as left (A) and right (B) factor of a fast product, kNoFastMul when this object
    // cannot take that role; a product is fast when their sum is at most 126 and fits int64 up to 62.
    static constexpr int16_t kNoFastMul = 1000;
    int16_t mulMagA_ = kNoFastMul;
    int16_t mulMagB_ = kNoFastMul;
    uint8_t elemShift_ = 0;                           // log2(container bytes)
    bool productFast_ = false;                        // the handle's product type takes the fast path
    const detail::QuantDest* productDest_ = nullptr;  // the handle's product target
    const DSPDataAttributesHandle* attrs_ = nullptr;
    ObjectLog* logs_ = nullptr;
    LogRecord* log_ = nullptr;
    alignas(16) unsigned char own_[16];
};

// a * b before it is stored: the exact product (fast path) or the product already in a's product type.
// It becomes a's product type when converted to a Fixpt, assigned or added; `acc += a * b` quantises the
// product and the sum without building an object. It reads a and b when it is made.
class VEKFIXPT_API FixptProduct {
  public:
    operator Fixpt() const { return toFixpt(); }
    Fixpt toFixpt() const;
    double toDouble() const;

  private:
    friend class Fixpt;
    [[gnu::always_inline]] FixptProduct(const Fixpt& a, const Fixpt& b) : a_(&a) {
        // Both fixed point within 64 bits, a's product type too: the exact product fits int64 up to 62
        // magnitude bits and i128 up to 126.
        const int32_t magBits = a.mulMagA_ + b.mulMagB_;
        if (magBits <= 62) [[likely]] {
            fast_ = small_ = true;
            exp_ = -(a.qd_.type.fracLength + b.qd_.type.fracLength);
            exact64_ = a.loadFast64() * b.loadFast64();
        } else if (magBits <= 126) {
            fast_ = true;
            exp_ = -(a.qd_.type.fracLength + b.qd_.type.fracLength);
            exact_ = exactWide(a, b);
        } else {
            stored_ = computeSlow(a, b);
        }
    }
    // The product's container bytes in a's product type, through the general path.
    static u128 computeSlow(const Fixpt& a, const Fixpt& b);
    // The exact product of two fast words in 128 bits (kept out of the inline path).
    static i128 exactWide(const Fixpt& a, const Fixpt& b);

    const Fixpt* a_;
    bool fast_ = false;
    bool small_ = false;  // the exact product is exact64_ (else exact_)
    int32_t exp_ = 0;
    int64_t exact64_;  // fast: the exact product, exact x 2^exp_ (set when used)
    i128 exact_;
    u128 stored_;  // otherwise: the product's container bytes in a's product type
};

[[gnu::always_inline]] inline FixptProduct Fixpt::operator*(const Fixpt& b) const {
    return FixptProduct(*this, b);
}

// The common multiply-accumulate: an int64 exact product quantised into a product type that lies on this
// object's grid, both words within int64. The decisions are quantiseFast's, as in the general path.
[[gnu::always_inline]] inline bool Fixpt::addProduct64(const FixptProduct& p, bool subtract) {
    if (!(p.small_ && fast_)) return false;
    const Fixpt& a = *p.a_;
    const detail::QuantDest& pd = *a.productDest_;
    if (!(pd.fits64 && qd_.fits64 && pd.type.fracLength == qd_.type.fracLength)) return false;
    const detail::Fit64 f = detail::quantiseFast64(p.exact64_, p.exp_, pd);
    if (a.logs_) [[unlikely]]
        a.logProduct(u128(i128(f.bits)), f.flags);
    int64_t sum;
    const bool overflow = subtract ? __builtin_sub_overflow(loadFast64(), f.bits, &sum)
                                   : __builtin_add_overflow(loadFast64(), f.bits, &sum);
    if (overflow) [[unlikely]] {
        addStoredProduct(a, u128(i128(f.bits)), subtract);
        return true;
    }
    // Same grid: nothing is dropped or appended, so only the range is checked.
    const detail::Fit64 s =
        sum > qd_.hi64 || sum < qd_.lo64 ? detail::overflowed64(sum, qd_) : detail::Fit64{sum, 0};
    storeFast(u128(i128(s.bits)));
    if (log_) [[unlikely]]
        logStore(s.flags);
    return true;
}

// The product is passed on by value so that its fields stay in registers on the inline path.
[[gnu::always_inline]] inline Fixpt& Fixpt::operator+=(const FixptProduct& p) {
    if (!addProduct64(p, false)) addProductGeneral(FixptProduct(p), false);
    return *this;
}

inline Fixpt& Fixpt::operator-=(const FixptProduct& p) {
    if (!addProduct64(p, true)) addProductGeneral(FixptProduct(p), true);
    return *this;
}

inline Fixpt& Fixpt::operator=(const FixptProduct& p) {
    return *this = Fixpt(p);
}

}  // namespace VekDSPFixpt
