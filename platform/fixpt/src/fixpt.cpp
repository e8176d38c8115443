// The general (exact, any width, floating types) paths of Fixpt. The inline header holds the 64-bit fast
// paths; both end in detail::quantise.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "exact_value.h"
#include "vekfixpt_number.h"
#include "wide_int.h"

namespace VekDSPFixpt {

using detail::Big;
using detail::Exact;
using detail::Fit;
using detail::I128;
using detail::QuantDest;
using detail::Value;

struct FixptAccess {
    static Value read(const Fixpt& x) {
        Value v;
        v.type = x.qd_.type;
        const unsigned char* p = x.elementPtr();
        if (x.qd_.type.kind == NumKind::Double) {
            std::memcpy(&v.f, p, 8);
        } else if (x.qd_.type.kind == NumKind::Single) {
            float g;
            std::memcpy(&g, p, 4);
            v.f = g;
        } else {
            u128 bits = 0;
            std::memcpy(&bits, p, size_t(x.qd_.type.containerBytes));
            v.bits = detail::extendWord(bits, x.qd_.type.wordLength, x.qd_.type.isSigned);
        }
        return v;
    }
};

namespace {

// Exact (Big) quantisation of m x 2^e into d.
Fit quantiseBig(const Big& m, int32_t e, const QuantDest& d) {
    return detail::quantise(m, e, d);
}

// Both operands inside one 2048-bit window once aligned?
bool fitsWindow(const Exact& a, const Exact& b) {
    if (a.m.isZero() || b.m.isZero()) return true;
    const int64_t top = std::max<int64_t>(int64_t(a.e) + a.m.signedBits(), int64_t(b.e) + b.m.signedBits());
    return top - std::min(a.e, b.e) <= Big::kBits - 8;
}

// a + b (or a - b) exactly, as m x 2^e.
Exact sumOf(const Value& va, const Value& vb, bool subtract) {
    Exact a = detail::exactOf(va), b = detail::exactOf(vb);
    if (!fitsWindow(a, b)) {
        a = detail::exactForSum(va);
        b = detail::exactForSum(vb);
    }
    if (subtract) b.m.negate();
    if (a.m.isZero()) return b;
    if (b.m.isZero()) return a;
    const int32_t e = std::min(a.e, b.e);
    a.m.shl(a.e - e);
    b.m.shl(b.e - e);
    a.m.add(b.m);
    a.e = e;
    return a;
}

int32_t roundDoubleToInt32(double v, int32_t rounding) {
    if (v != v) return 0;
    double r;
    const double f = std::floor(v);
    switch (rounding) {
        case kRoundZero:
            r = std::trunc(v);
            break;
        case kRoundNearest:
            r = (v - f >= 0.5) ? f + 1.0 : f;
            break;
        case kRoundCeiling:
            r = std::ceil(v);
            break;
        case kRoundRound:
            r = std::round(v);
            break;
        case kRoundConvergent:
            r = std::nearbyint(v);
            break;  // default environment: ties to even
        default:
            r = f;
            break;
    }
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return int32_t(r);
}

double largestFinite(const NumType& t) {
    return t.kind == NumKind::Single ? double(FLT_MAX) : DBL_MAX;
}

}  // namespace

// ---- Construction ---------------------------------------------------------------------------------------

Fixpt::Fixpt(const DSPDataAttributesHandle* attrs, void* data, int32_t numElements, ObjectLog* logs)
    : numElements_(numElements),
      ownsLogs_(logs != nullptr),
      attrs_(attrs),
      logs_(logs),
      log_(logs ? &logs->records[0] : nullptr) {
    initType(attrs->valueDest());
    initProduct();
    data_ = data ? static_cast<unsigned char*>(data) : own_;
    if (!data) std::memset(own_, 0, sizeof own_);
}

Fixpt::Fixpt(const Fixpt& other)
    : numElements_(1),
      qd_(other.qd_),
      fast_(other.fast_),
      loadCase_(other.loadCase_),
      normShift_(other.normShift_),
      magBits_(other.magBits_),
      mulMagA_(other.mulMagA_),
      mulMagB_(other.mulMagB_),
      elemShift_(other.elemShift_),
      productFast_(other.productFast_),
      productDest_(other.productDest_),
      attrs_(other.attrs_),
      logs_(other.logs_),
      log_(other.log_) {
    data_ = own_;
    std::memcpy(own_, other.elementPtr(), size_t(qd_.type.containerBytes));
}

void Fixpt::releaseLogs() {
    LogRegistry::instance().detachAndMerge(logs_);
    delete logs_;
    logs_ = nullptr;
    log_ = nullptr;
}

// ---- Stores -------------------------------------------------------------------------------------------

void Fixpt::logProduct(u128 bits, uint8_t flags) const {
    LogRecord& r = logs_->records[int32_t(ObjectRecord::Product)];
    r.noteFlags(flags);
    const NumType& t = attrs_->productType();
    r.noteValue(t.isSigned ? std::ldexp(double(i128(bits)), -t.fracLength)
                           : std::ldexp(double(bits), -t.fracLength));
}

Fixpt Fixpt::square() const {
    return *this * *this;
}

u128 FixptProduct::computeSlow(const Fixpt& a, const Fixpt& b) {
    Fixpt t(a, a.attrs_->productDest(), Fixpt::ObjectRecord::Product);
    t.mulSlow(a, b);
    u128 bytes;
    std::memcpy(&bytes, t.own_, sizeof bytes);
    return bytes;
}

i128 FixptProduct::exactWide(const Fixpt& a, const Fixpt& b) {
    return a.loadFast() * b.loadFast();
}

void Fixpt::addStoredProduct(const Fixpt& a, u128 bits, bool subtract) {
    const QuantDest& pd = *a.productDest_;
    if (!addFast(i128(bits), pd.type.fracLength, subtract)) {
        Fixpt t(a, pd, ObjectRecord::Product);  // an alignment too wide for 128 bits
        t.storeFast(bits);
        addSlow(t, subtract);
    }
}

void Fixpt::addProductGeneral(FixptProduct p, bool subtract) {
    if (!(p.fast_ && fast_)) {
        addSlow(p.toFixpt(), subtract);
        return;
    }
    const QuantDest& pd = *p.a_->productDest_;
    const Fit f = p.small_ ? detail::quantiseFast<int64_t>(p.exact64_, p.exp_, pd)
                           : detail::quantiseFast<i128>(p.exact_, p.exp_, pd);
    if (p.a_->logs_) p.a_->logProduct(f.bits, f.flags);
    if (p.small_ && pd.fits64 && addFast64(int64_t(f.bits), pd.type.fracLength, subtract)) return;
    addStoredProduct(*p.a_, f.bits, subtract);
}

Fixpt FixptProduct::toFixpt() const {
    Fixpt p(*a_, a_->attrs_->productDest(), Fixpt::ObjectRecord::Product);
    if (fast_) {
        p.commitFast(small_ ? detail::quantiseFast<int64_t>(exact64_, exp_, p.qd_)
                            : detail::quantiseFast<i128>(exact_, exp_, p.qd_));
    } else {
        std::memcpy(p.own_, &stored_, sizeof stored_);  // already quantised and logged
    }
    return p;
}

double FixptProduct::toDouble() const {
    if (!fast_) return toFixpt().toDouble();
    const detail::QuantDest& pd = a_->attrs_->productDest();
    const detail::Fit f = small_ ? detail::quantiseFast<int64_t>(exact64_, exp_, pd)
                                 : detail::quantiseFast<i128>(exact_, exp_, pd);
    const NumType& t = a_->attrs_->productType();
    return t.isSigned ? std::ldexp(double(i128(f.bits)), -t.fracLength)
                      : std::ldexp(double(f.bits), -t.fracLength);
}

void Fixpt::logStore(uint8_t flags) {
    log_->noteFlags(flags);
    log_->noteValue(toDouble());
}

void Fixpt::storeFit(const Fit& f) {
    std::memcpy(elementPtr(), &f.bits, size_t(qd_.type.containerBytes));
    if (log_) logStore(f.flags);
}

void Fixpt::storeFloating(double v, uint8_t flags) {
    unsigned char* p = elementPtr();
    if (qd_.type.kind == NumKind::Single) {
        const float g = float(v);
        std::memcpy(p, &g, 4);
    } else {
        std::memcpy(p, &v, 8);
    }
    if (log_) logStore(flags);
}

u128 Fixpt::getStoredBits() const {
    return FixptAccess::read(*this).bits;
}

void Fixpt::setStoredBits(u128 bits) {
    if (qd_.type.isFloating()) return;
    storeFit(Fit{detail::extendWord(bits, qd_.type.wordLength, qd_.type.isSigned), 0});
}

double Fixpt::toDouble() const {
    return FixptAccess::read(*this).toDouble();
}

void Fixpt::reset() {
    if (qd_.type.isFloating())
        storeFloating(0.0, 0);
    else
        storeFit(Fit{0, 0});
}

// ---- Assignment ---------------------------------------------------------------------------------------

void Fixpt::assignSlow(const Fixpt& src) {
    const Value v = FixptAccess::read(src);
    if (qd_.type.isFloating()) {
        storeFloating(v.toDouble(), 0);
        return;
    }
    const Exact x = detail::exactOf(v);
    storeFit(quantiseBig(x.m, x.e, qd_));
}

void Fixpt::assignInteger(i128 v) {
    if (qd_.type.isFloating()) {
        storeFloating(double(v), 0);
        return;
    }
    if (fast_ && v < (i128(1) << 100) && v > -(i128(1) << 100)) {
        commitFast(detail::quantise(I128{v}, 0, qd_));
        return;
    }
    storeFit(quantiseBig(Big::fromI128(v), 0, qd_));
}

Fixpt& Fixpt::operator=(double v) {
    if (qd_.type.isFloating()) {
        storeFloating(v, 0);
        return *this;
    }
    Value src;
    src.type = NumType::doubleType();
    src.f = v;
    const Exact x = detail::exactOf(src);
    storeFit(quantiseBig(x.m, x.e, qd_));
    return *this;
}

// ---- Arithmetic ---------------------------------------------------------------------------------------

void Fixpt::addSlow(const Fixpt& v, bool subtract) {
    const Value a = FixptAccess::read(*this), b = FixptAccess::read(v);
    if (qd_.type.isFloating()) {
        storeFloating(subtract ? a.toDouble() - b.toDouble() : a.toDouble() + b.toDouble(), 0);
        return;
    }
    if (a.isNaN() || b.isNaN()) {
        storeFit(Fit{0, 0});
        return;
    }
    const Exact s = sumOf(a, b, subtract);
    storeFit(quantiseBig(s.m, s.e, qd_));
}

void Fixpt::mulSlow(const Fixpt& x, const Fixpt& y) {
    const Value a = FixptAccess::read(x), b = FixptAccess::read(y);
    if (qd_.type.isFloating()) {
        storeFloating(a.toDouble() * b.toDouble(), 0);
        return;
    }
    const int32_t sign = a.sign() * b.sign();
    if (a.isNaN() || b.isNaN() || sign == 0) {
        storeFit(Fit{0, 0});  // NaN, or a zero factor (also zero times infinity)
        return;
    }
    const Exact ea = detail::exactOf(a), eb = detail::exactOf(b);
    Big ma = ea.m, mb = eb.m;
    if (ma.isNeg()) ma.negate();
    if (mb.isNeg()) mb.negate();
    Big p = Big::mulU128(ma.low128(), mb.low128());
    if (sign < 0) p.negate();
    storeFit(quantiseBig(p, ea.e + eb.e, qd_));
}

Fixpt Fixpt::operator+(const Fixpt& b) const {
    Fixpt s(*this, attrs_->accumulatorDest(), ObjectRecord::Accumulator);
    s = *this;
    s += b;
    return s;
}

Fixpt Fixpt::operator-(const Fixpt& b) const {
    Fixpt s(*this, attrs_->accumulatorDest(), ObjectRecord::Accumulator);
    s = *this;
    s -= b;
    return s;
}

Fixpt Fixpt::operator-() const {
    NumType t = qd_.type;
    if (!t.isFloating())
        t = NumType::fixed(true, std::min(qd_.type.wordLength + 1, kMaxWordLength), qd_.type.fracLength);
    Fixpt r(*this, QuantDest::make(t, qd_.rounding, qd_.overflow), ObjectRecord::Value);
    r.log_ = nullptr;  // a sign change is not a store into this object
    const Value v = FixptAccess::read(*this);
    if (t.isFloating()) {
        r.storeFloating(-v.f, 0);
    } else {
        Exact x = detail::exactOf(v);
        x.m.negate();
        r.storeFit(quantiseBig(x.m, x.e, r.qd_));
    }
    r.log_ = log_;
    return r;
}

void Fixpt::shiftRight(int32_t n) {
    const Value v = FixptAccess::read(*this);
    if (qd_.type.isFloating()) {
        storeFloating(std::ldexp(v.f, -n), 0);
        return;
    }
    if (fast_) {
        commitFast(detail::quantiseFast<i128>(i128(v.bits), -qd_.type.fracLength - n, qd_));
        return;
    }
    const Exact x = detail::exactOf(v);
    storeFit(quantiseBig(x.m, x.e - n, qd_));
}

void Fixpt::divide(const Fixpt& x, const Fixpt& y) {
    const Value a = FixptAccess::read(x), b = FixptAccess::read(y);
    const int32_t sa = a.sign(), sb = b.sign();
    if (sb == 0 && !b.isNaN()) {
        // Division by zero: the end of the range on the numerator's side, 0 for 0/0; counted.
        if (qd_.type.isFloating()) {
            storeFloating(sa == 0 ? 0.0 : (sa > 0 ? largestFinite(qd_.type) : -largestFinite(qd_.type)),
                          kQuantDivByZero);
        } else {
            const u128 bits =
                sa == 0 ? 0 : (sa > 0 ? detail::maxStored(qd_.type) : detail::minStored(qd_.type));
            storeFit(Fit{bits, kQuantDivByZero});
        }
        return;
    }
    if (qd_.type.isFloating()) {
        storeFloating(a.toDouble() / b.toDouble(), 0);
        return;
    }
    if (a.isNaN() || b.isNaN() || sa == 0 || b.isInf()) {
        storeFit(Fit{0, 0});
        return;
    }
    const bool negative = (sa < 0) != (sb < 0);
    const QuantDest d = divisionDest();
    const int32_t resultExp = -(qd_.type.fracLength + 3);  // two guard positions and a sticky unit
    if (a.isInf()) {
        storeFit(detail::overflowed(negative, 0, qd_.type, qd_.overflow));
        return;
    }
    Exact ea = detail::exactOf(a), eb = detail::exactOf(b);
    if (ea.m.isNeg()) ea.m.negate();
    if (eb.m.isNeg()) eb.m.negate();
    // |a / b| x 2^(fl + 2) = |ma| x 2^s / |mb|
    const int64_t s = int64_t(ea.e) - eb.e + qd_.type.fracLength + 2;
    const int32_t nBits = ea.m.bitLength(), dBits = eb.m.bitLength();

    if (s >= 0 && nBits + s <= 124 && dBits <= 124) {
        const u128 num = ea.m.low128() << s, den = eb.m.low128();
        const u128 q = num / den, r = num % den;
        i128 t = i128(2 * q + (r != 0 ? 1 : 0));
        if (negative) t = -t;
        if (fast_)
            commitFast(detail::quantise(I128{t}, resultExp, d));
        else
            storeFit(quantiseBig(Big::fromI128(t), resultExp, d));
        return;
    }
    Big num = ea.m, den = eb.m;
    if (s >= 0) {
        if (nBits + s > Big::kBits - 16) {
            // A quotient beyond 2^2000 grid units: only its sign reaches the word.
            storeFit(detail::overflowed(negative, 0, qd_.type, qd_.overflow));
            return;
        }
        num.shl(int32_t(s));
    } else if (dBits - s > Big::kBits - 16) {
        num.shl(0);
        den = Big::zero();  // quotient 0, remainder a: only the sticky unit remains
    } else {
        den.shl(int32_t(-s));
    }
    Big q = Big::zero(), r = num;
    if (!den.isZero()) detail::divModMag(num, den, q, r);
    q.shl(1);
    if (!r.isZero()) q.inc();
    if (negative) q.negate();
    storeFit(quantiseBig(q, resultExp, d));
}

void Fixpt::sqrt(Fixpt& result) const {
    const Value a = FixptAccess::read(*this);
    if (result.qd_.type.isFloating()) {
        const double v = a.toDouble();
        result.storeFloating(v > 0 ? std::sqrt(v) : 0.0, 0);
        return;
    }
    if (a.sign() <= 0 || a.isNaN()) {
        result.storeFit(Fit{0, 0});
        return;
    }
    const QuantDest d = result.qd_;
    const int32_t fl = result.qd_.type.fracLength;
    const int32_t resultExp = -(fl + 3);
    if (a.isInf()) {
        result.storeFit(detail::overflowed(false, 0, result.qd_.type, result.qd_.overflow));
        return;
    }
    // floor(sqrt(a) x 2^(fl + 2)) = isqrt(m x 2^t)
    const Exact x = detail::exactOf(a);
    const int64_t t = int64_t(x.e) + 2 * int64_t(fl) + 4;
    const int32_t bits = x.m.bitLength();
    Big n = x.m;
    bool sticky = false;
    if (t >= 0) {
        if (bits + t > Big::kBits - 16) {
            result.storeFit(detail::overflowed(false, 0, result.qd_.type, result.qd_.overflow));
            return;
        }
        n.shl(int32_t(t));
    } else {
        sticky = n.anyBitBelow(-t);
        n.sar(-t);
    }
    bool exact = true;
    Big root;
    if (n.fitsU128())
        root = Big::fromU128(detail::isqrtU128(n.low128(), exact));
    else
        root = detail::isqrtMag(n, exact);
    root.shl(1);
    if (sticky || !exact) root.inc();
    result.storeFit(quantiseBig(root, resultExp, d));
}

// ---- Comparisons and integer results --------------------------------------------------------------------

Fixpt::Order Fixpt::compareSlow(const Fixpt& other) const {
    const Value a = FixptAccess::read(*this), b = FixptAccess::read(other);
    if (a.isNaN() || b.isNaN()) return Order::Unordered;
    if (a.type.isFloating() && b.type.isFloating()) {
        return a.f < b.f ? Order::Less : (a.f == b.f ? Order::Equal : Order::Greater);
    }
    const int32_t s = sumOf(a, b, true).m.sign();
    return s < 0 ? Order::Less : (s == 0 ? Order::Equal : Order::Greater);
}

int32_t Fixpt::signSlow() const {
    return FixptAccess::read(*this).sign();
}

int32_t Fixpt::toInt32(int32_t rounding) const {
    const Value v = FixptAccess::read(*this);
    if (v.type.isFloating()) return roundDoubleToInt32(v.f, rounding);
    const QuantDest d = QuantDest::make(NumType::fixed(true, 32, 0), rounding, kOverflowSaturate);
    const Fit f = fast_ ? detail::quantise(I128{i128(v.bits)}, -qd_.type.fracLength, d)
                        : quantiseBig(detail::exactOf(v).m, -qd_.type.fracLength, d);
    return int32_t(int64_t(i128(f.bits)));
}

}  // namespace VekDSPFixpt
