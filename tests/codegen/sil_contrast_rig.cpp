#include "sil_contrast_rig.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "dravo/host/types.h"

namespace cgcontrast {

namespace {

std::shared_ptr<dravo::host::Plugin> plugin() {
    static std::shared_ptr<dravo::host::Plugin> p = dravo::host::Plugin::load("merrow");
    return p;
}

const int kSparse[4] = {3, 5, 7, 10};

struct Lcg {
    uint64_t s;
    uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(s >> 33);
    }
    double unit() { return next() / 2147483648.0; }  // [0, 1)
};

template <typename T>
std::vector<uint8_t> floats(size_t n, Image kind, Lcg& r) {
    std::vector<T> v(n);
    const T nan = std::numeric_limits<T>::quiet_NaN();
    const T inf = std::numeric_limits<T>::infinity();
    const T big = std::numeric_limits<T>::max();
    for (size_t k = 0; k < n; ++k) {
        switch (kind) {
            case Image::Narrow:
                v[k] = T(0.4 + 0.01 * r.unit());
                break;
            case Image::Constant:
                v[k] = T(0.3);
                break;
            case Image::Ramp:
                v[k] = T(k);
                break;
            case Image::AllNaN:
                v[k] = nan;
                break;
            case Image::Huge:
                v[k] = T(big * T(r.unit() * 1.9 - 0.95));
                break;
            case Image::Sparse:
                v[k] = T(0.1 * kSparse[k % 4]);
                break;
            case Image::BinEdge:
                v[k] = T(k % 5 == 0 ? 0.0 : k % 5 == 1 ? 41.0 : 30.75);
                break;
            default:
                v[k] = T(r.unit() * 8.0 - 3.0);
                break;
        }
    }
    if (kind == Image::Special && n >= 6) {
        v[0] = nan;
        v[n / 2] = nan;
        v[n / 3] = inf;
        v[n - 2] = -inf;
    }
    if (kind == Image::NaNs && n >= 4) {
        v[1] = nan;
        v[n - 1] = nan;
    }
    if (kind == Image::Huge && n >= 2) {
        v[0] = -big;
        v[1] = big;
    }
    std::vector<uint8_t> b(n * sizeof(T));
    if (n > 0) std::memcpy(b.data(), v.data(), b.size());
    return b;
}

}  // namespace

std::vector<Array> params(const std::map<int, Array>& set) {
    std::vector<Array> p = {
        Array::scalar(3),          Array::realVector({0, 1}), Array::realVector({0.01, 0.01}),
        Array::scalar(0),          Array::scalar(256),        Array::scalar(1),
        Array::realVector({0, 1}), Array::scalar(1),          Array::scalar(64),
        Array::scalar(32),         Array::scalar(1),          Array::scalar(64),
        Array::scalar(32),         Array::scalar(4),          Array::scalar(2)};
    for (const auto& [k, v] : set)
        p[size_t(k)] = v;
    return p;
}

std::vector<uint8_t> image(const std::string& type, size_t n, Image kind, uint32_t seed) {
    Lcg r{seed * 2654435761ULL + 17};
    if (type == "double") return floats<double>(n, kind, r);
    if (type == "single") return floats<float>(n, kind, r);
    const auto& info = dravo::types::info(*dravo::types::parseTypeName(type));
    const int32_t wl = info.wordLength;
    // Stored integers of the word: [lo, hi].
    const int64_t lo = info.isSigned ? -(int64_t(1) << (wl - 1)) : 0;
    const int64_t hi = info.isSigned ? (int64_t(1) << (wl - 1)) - 1 : (int64_t(1) << wl) - 1;
    const double span = double(hi) - double(lo);
    std::vector<uint8_t> b(n * size_t(info.containerBytes));
    for (size_t k = 0; k < n; ++k) {
        int64_t v;
        switch (kind) {
            case Image::Narrow:
                v = lo + int64_t(span * 0.45) + int64_t(r.next() % 5);
                break;
            case Image::Constant:
                v = lo + int64_t(span * 0.3);
                break;
            case Image::Ramp:
                v = lo + int64_t(k % uint64_t(span + 1));
                break;
            case Image::Sparse:
                v = lo + kSparse[k % 4];
                break;
            default:
                // Most of the range, with the ends reached now and then.
                v = lo + int64_t(double(r.next()) / 4294967296.0 * (span + 1));
                if (k % 97 == 3) v = lo;
                if (k % 89 == 5) v = hi;
                break;
        }
        std::memcpy(b.data() + k * size_t(info.containerBytes), &v, size_t(info.containerBytes));
    }
    return b;
}

std::unique_ptr<dravo::host::Block> startBlock(const Config& c) {
    auto block = std::make_unique<dravo::host::Block>(plugin(), "contrast", c.settings);
    block->setParameters(params(c.params));
    block->initialize();
    dravo::host::InputSpec s;
    s.dims = c.dims;
    s.dataType = *dravo::types::parseTypeName(c.type);
    s.dimsMode = c.variableSize ? 1 : 0;
    block->propagate({s});
    block->start();
    return block;
}

}  // namespace cgcontrast
