// Independent reference of the local intensity comparison metric: the steps as the block's description
// words them, transcribed one by one (circle positions from their row and column displacements, not from
// an offset table; lo and hi re-read at every test), over a number model that says how each step rounds.
#pragma once

#include <cstdint>
#include <vector>

namespace comparison_test {

// (dr, dc) of circle positions 0..15, copied from the description's table.
inline constexpr int kDr[16] = {-1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2, -3, -3, -3, -2};
inline constexpr int kDc[16] = {-3, -3, -3, -2, -1, 0, 1, 2, 3, 3, 3, 2, 1, 0, -1, -2};
// The 32 element offsets of the circle (positions 0..15 twice) for an image of `rows` rows.
inline void circleOffsets(int rows, int32_t* circle) {
    for (int i = 0; i < 32; ++i)
        circle[i] = kDr[i % 16] + kDc[i % 16] * rows;
}
inline constexpr int kStep[3] = {8, 4, 2};
inline constexpr int kOffset[3] = {3, 1, 0};

// The outcome of one search, as the description's steps give it.
struct SearchOutcome {
    bool started = false;
    bool passed = false;
    int lo = 0, hi = 0;
};

// Span choice and search passes for one test; `is` answers "is position i (0..31) qualifying".
template <class Pred>
SearchOutcome transcribedSearch(Pred is, int A) {
    SearchOutcome s;
    if (!is(0) && !is(8)) return s;
    s.started = true;
    int lo, hi;
    bool open;
    if (is(0) && is(8)) {
        lo = 1;
        hi = 16;
        open = true;
    } else if (is(0)) {
        lo = 9;
        hi = 23;
        open = false;
    } else {
        lo = 1;
        hi = 15;
        open = false;
    }
    for (int k = 0; k <= 2; k++) {
        int i = lo + kOffset[k];
        while (i <= hi) {
            if (!is(i)) {
                if (open) {
                    lo = i + 1;
                    hi = i + 15;
                    open = false;
                } else if (hi - i < i - lo) {
                    if (i - lo < A) return s;  // fails
                    hi = i - 1;
                } else {
                    if (hi - i < A) return s;
                    lo = i + 1;
                }
            }
            i = i + kStep[k];
        }
    }
    s.passed = true;
    s.lo = lo;
    s.hi = hi;
    return s;
}

// Number model for double and single: every step stored to T.
template <class T>
struct FloatModel {
    using Value = T;
    T t, dtMin, dtMax, dtLow, dtHigh;
    T imageMinus(T a, T b) const { return T(a - b); }
    T imagePlus(T a, T b) const { return T(a + b); }
    T accPlus(T acc, T v) const { return T(acc + v); }
    T accMinus(T acc, T v) const { return T(acc - v); }
    T zero() const { return T(0); }
    T toOutput(T acc) const { return acc; }
};

// The metric of a column-major rows x cols image X; A = 16 - angle choice.
template <class M>
std::vector<typename M::Value> referenceMetric(const M& m, const std::vector<typename M::Value>& X, int rows,
                                               int cols, int A) {
    using V = typename M::Value;
    std::vector<V> out(size_t(rows) * cols, m.zero());  // step 1: all outputs 0
    for (int c = 3; c <= cols - 4; c++) {
        for (int r = 3; r <= rows - 4; r++) {
            const V p = X[r + c * rows];
            auto Q = [&](int i) -> V {
                const int k = i % 16;
                return X[(r + kDr[k]) + (c + kDc[k]) * rows];
            };
            // a. limits
            const V valLow = p <= m.dtLow ? m.dtMin : m.imageMinus(p, m.t);
            const V valHigh = p >= m.dtHigh ? m.dtMax : m.imagePlus(m.t, p);
            // b. bright test
            auto brighter = [&](int i) { return Q(i) > valHigh; };
            auto darker = [&](int i) { return Q(i) < valLow; };
            SearchOutcome b = transcribedSearch(brighter, A);
            if (b.started && b.passed) {
                int lo = b.lo, hi = b.hi;
                V brightness = m.zero();
                for (int j = lo; j <= hi; j++) {
                    brightness = m.accPlus(brightness, Q(j));
                    brightness = m.accMinus(brightness, valHigh);
                }
                if (hi < 16)
                    lo = lo + 16;
                else
                    hi = hi - 16;
                V darkness = m.zero();
                for (int j = hi + 1; j <= lo - 1; j++) {
                    if (brighter(j)) {
                        brightness = m.accPlus(brightness, Q(j));
                        brightness = m.accMinus(brightness, valHigh);
                    }
                    if (Q(j) < valLow) {
                        darkness = m.accPlus(darkness, valLow);
                        darkness = m.accMinus(darkness, Q(j));
                    }
                }
                out[r + c * rows] = m.toOutput(brightness < darkness ? darkness : brightness);
            }
            // c. dark test
            SearchOutcome d = transcribedSearch(darker, A);
            if (d.started && d.passed) {
                int lo = d.lo, hi = d.hi;
                V darkness = m.zero();
                for (int j = lo; j <= hi; j++) {
                    darkness = m.accPlus(darkness, valLow);
                    darkness = m.accMinus(darkness, Q(j));
                }
                if (hi < 16)
                    lo = lo + 16;
                else
                    hi = hi - 16;
                V brightness = m.zero();
                for (int j = hi + 1; j <= lo - 1; j++) {
                    if (Q(j) < valLow) {
                        darkness = m.accPlus(darkness, valLow);
                        darkness = m.accMinus(darkness, Q(j));
                    }
                    if (Q(j) > valHigh) {
                        brightness = m.accPlus(brightness, Q(j));
                        brightness = m.accMinus(brightness, valHigh);
                    }
                }
                out[r + c * rows] = m.toOutput(brightness <= darkness ? darkness : brightness);
            }
        }
    }
    return out;
}

}  // namespace comparison_test
