// The runtime helpers of generated code, run as C: the 128-bit primitives and helpers on the compiler's
// __int128 and on two 64-bit words (-DDVRT_PORTABLE_INT), and the int64_t helpers, against exact GMP
// arithmetic written from the rounding and overflow definitions, and against each other.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cg/emit_c.h"
#include "cg/harness.h"
#include "cg_test_util.h"

namespace {

namespace fs = std::filesystem;
using i128 = __int128;
using u128 = unsigned __int128;

// Reads operation lines from stdin and writes one result line each. Wide values travel as two hex words
// (high, low); 64-bit values and doubles as decimal / hex bits.
const char* kDriver = R"C(#include <inttypes.h>
#include <stdio.h>
#include <string.h>
#include "dravo_rt_wide.h"

#if defined(__SIZEOF_INT128__) && !defined(DVRT_PORTABLE_INT)
static dvrt_wide mk(uint64_t hi, uint64_t lo) { return (dvrt_wide)(((dvrt_uwide)hi << 64) | lo); }
static const char* path = "native";
#else
static dvrt_wide mk(uint64_t hi, uint64_t lo) { return dvrt_w_make(hi, lo); }
static const char* path = "portable";
#endif
static void put(dvrt_wide v)
{
    printf("%016" PRIx64 " %016" PRIx64, dvrt_w_to_u64(dvrt_w_sar(v, 64)), dvrt_w_to_u64(v));
}
static dvrt_wide get(void)
{
    uint64_t hi, lo;
    if (scanf("%" SCNx64 " %" SCNx64, &hi, &lo) != 2) return dvrt_w_i64(0);
    return mk(hi, lo);
}
static double getd(void)
{
    uint64_t b;
    double d;
    if (scanf("%" SCNx64, &b) != 1) return 0.0;
    memcpy(&d, &b, sizeof d);
    return d;
}
int main(void)
{
    char op[16];
    fprintf(stderr, "%s\n", path);
    while (scanf("%15s", op) == 1) {
        int32_t a1 = 0, a2 = 0, rnd = 0, ovf = 0, wl = 0, sgn = 0;
        if (!strcmp(op, "mul")) { dvrt_wide a = get(), b = get(); put(dvrt_w_mul(a, b)); }
        else if (!strcmp(op, "add")) { dvrt_wide a = get(), b = get(); put(dvrt_w_add(a, b)); }
        else if (!strcmp(op, "sub")) { dvrt_wide a = get(), b = get(); put(dvrt_w_sub(a, b)); }
        else if (!strcmp(op, "neg")) { put(dvrt_w_neg(get())); }
        else if (!strcmp(op, "cmp")) { dvrt_wide a = get(), b = get(); printf("%d %d", dvrt_w_cmp(a, b), dvrt_w_sign(a)); }
        else if (!strcmp(op, "shl")) { dvrt_wide a = get(); if (scanf("%" SCNd32, &a1) != 1) return 2; put(dvrt_w_shl(a, a1)); }
        else if (!strcmp(op, "sar")) { dvrt_wide a = get(); if (scanf("%" SCNd32, &a1) != 1) return 2; put(dvrt_w_sar(a, a1)); }
        else if (!strcmp(op, "mod2")) { dvrt_wide a = get(); if (scanf("%" SCNd32, &a1) != 1) return 2; put(dvrt_w_mod_pow2(a, a1)); }
        else if (!strcmp(op, "fdiv")) { dvrt_wide a = get(), b = get(), q, r; dvrt_w_floordiv(a, b, &q, &r); put(q); printf(" "); put(r); }
        else if (!strcmp(op, "rem")) { dvrt_wide a = get(), b = get(); put(dvrt_rem(a, b)); }
        else if (!strcmp(op, "isqrt")) { put(dvrt_w_isqrt(get())); }
        else if (!strcmp(op, "fromd")) { put(dvrt_w_from_double(getd())); }
        else if (!strcmp(op, "quant")) {
            dvrt_wide a = get();
            if (scanf("%" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32, &a1, &rnd, &ovf, &wl, &sgn) != 5) return 2;
            put(dvrt_quantize(a, a1, rnd, ovf, wl, sgn));
        } else if (!strcmp(op, "div")) {
            dvrt_wide a = get(), b = get();
            if (scanf("%" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32, &a1, &rnd, &ovf, &wl, &sgn) != 5) return 2;
            put(dvrt_divide(a, b, a1, rnd, ovf, wl, sgn));
        } else if (!strcmp(op, "sqrt")) {
            dvrt_wide a = get();
            if (scanf("%" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32, &a1, &a2, &rnd, &ovf, &wl, &sgn) != 6) return 2;
            put(dvrt_sqrt(a, a1, a2, rnd, ovf, wl, sgn));
        } else if (!strcmp(op, "fromdbl")) {
            double d = getd();
            if (scanf("%" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32, &a1, &rnd, &ovf, &wl, &sgn) != 5) return 2;
            put(dvrt_from_double(d, a1, rnd, ovf, wl, sgn));
        } else if (!strcmp(op, "q64") || !strcmp(op, "d64") || !strcmp(op, "s64") || !strcmp(op, "f64")) {
            int64_t a = 0, b = 0, r = 0;
            double d = 0.0;
            if (!strcmp(op, "f64")) d = getd();
            else if (scanf("%" SCNd64, &a) != 1) return 2;
            if (!strcmp(op, "d64") && scanf("%" SCNd64, &b) != 1) return 2;
            if (scanf("%" SCNd32, &a1) != 1) return 2;
            if (!strcmp(op, "s64") && scanf("%" SCNd32, &a2) != 1) return 2;
            if (scanf("%" SCNd32 " %" SCNd32 " %" SCNd32 " %" SCNd32, &rnd, &ovf, &wl, &sgn) != 4) return 2;
            if (!strcmp(op, "q64")) r = dvrt64_quantize(a, a1, rnd, ovf, wl, sgn);
            if (!strcmp(op, "d64")) r = dvrt64_divide(a, b, a1, rnd, ovf, wl, sgn);
            if (!strcmp(op, "s64")) r = dvrt64_sqrt(a, a1, a2, rnd, ovf, wl, sgn);
            if (!strcmp(op, "f64")) r = dvrt64_from_double(d, a1, rnd, ovf, wl, sgn);
            put(dvrt_w_i64(r));
        } else {
            return 2;
        }
        printf("\n");
    }
    return 0;
}
)C";

// ---- Exact oracle ----------------------------------------------------------------------------------------

mpz_class toMpz(i128 v) {
    u128 u = static_cast<u128>(v);
    mpz_class hi(static_cast<unsigned long>(static_cast<uint64_t>(u >> 64)));
    mpz_class lo(static_cast<unsigned long>(static_cast<uint64_t>(u)));
    mpz_class r = (hi << 64) + lo;
    if (v < 0) r -= mpz_class(1) << 128;
    return r;
}

mpz_class pow2(long n) {
    return mpz_class(1) << n;
}

// num / den (den > 0) rounded to an integer by the rounding code (simplest: floor, or toward zero for a
// division).
mpz_class roundQuotient(const mpz_class& num, const mpz_class& den, int rnd, bool division) {
    mpz_class f, c, t, r;
    mpz_fdiv_q(f.get_mpz_t(), num.get_mpz_t(), den.get_mpz_t());
    mpz_cdiv_q(c.get_mpz_t(), num.get_mpz_t(), den.get_mpz_t());
    mpz_tdiv_q(t.get_mpz_t(), num.get_mpz_t(), den.get_mpz_t());
    mpz_class twice = 2 * (num - f * den);  // 2 x fraction x den, in [0, 2 den)
    switch (rnd) {
        case 0:
            return t;
        case 1:
            return twice >= den ? c : f;
        case 2:
            return c;
        case 4:
            return division ? t : f;
        case 5:
            if (twice == den) return num < 0 ? f : c;
            return twice > den ? c : f;
        case 6:
            if (twice == den) return mpz_odd_p(f.get_mpz_t()) ? c : f;
            return twice > den ? c : f;
        default:
            return f;
    }
}

mpz_class fit(const mpz_class& v, int ovf, int wl, int sgn) {
    mpz_class lo = sgn ? mpz_class(-pow2(wl - 1)) : mpz_class(0);
    mpz_class hi = sgn ? mpz_class(pow2(wl - 1) - 1) : mpz_class(pow2(wl) - 1);
    if (v >= lo && v <= hi) return v;
    if (ovf == 1) return v < lo ? lo : hi;
    mpz_class m;
    mpz_fdiv_r_2exp(m.get_mpz_t(), v.get_mpz_t(), wl);
    if (sgn && m > hi) m -= pow2(wl);
    return m;
}

mpz_class quantize(const mpz_class& v, int shift, int rnd, int ovf, int wl, int sgn) {
    if (shift >= 0) return fit(v * pow2(shift), ovf, wl, sgn);
    return fit(roundQuotient(v, pow2(-shift), rnd, false), ovf, wl, sgn);
}

mpz_class divide(mpz_class n, mpz_class d, int shift, int rnd, int ovf, int wl, int sgn) {
    if (d == 0) {
        if (n == 0) return 0;
        return fit(n > 0 ? pow2(200) : mpz_class(-pow2(200)), 1, wl, sgn);
    }
    if (shift > 0) n *= pow2(shift);
    if (shift < 0) d *= pow2(-shift);
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return fit(roundQuotient(n, d, rnd, true), ovf, wl, sgn);
}

// floor(sqrt(v x 2^e)), v >= 0.
mpz_class floorSqrtScaled(const mpz_class& v, long e) {
    mpz_class r;
    if (e >= 0) {
        mpz_class n = v * pow2(e);
        mpz_sqrt(r.get_mpz_t(), n.get_mpz_t());
        return r;
    }
    long j = (-e + 1) / 2;  // sqrt(v 2^e) = sqrt(v 2^(e + 2j)) / 2^j
    mpz_class n = v * pow2(e + 2 * j);
    mpz_sqrt(r.get_mpz_t(), n.get_mpz_t());
    mpz_fdiv_q_2exp(r.get_mpz_t(), r.get_mpz_t(), j);
    return r;
}

// Stored result of exponent outExp for the square root of v x 2^inExp.
mpz_class sqrtOracle(const mpz_class& v, int inExp, int outExp, int rnd, int ovf, int wl, int sgn) {
    if (v <= 0) return 0;
    long e = inExp - 2L * outExp;  // result = sqrt(v 2^e)
    mpz_class f = floorSqrtScaled(v, e);
    bool exact = e >= 0 ? f * f == v * pow2(e) : f * f * pow2(-e) == v;
    mpz_class r = f;
    if (rnd == 2) {
        r = exact ? f : f + 1;
    } else if (rnd == 1 || rnd == 5 || rnd == 6) {
        // 2 x root = sqrt(v 2^(e+2)): its floor tells which half the root lies in; a tie is an exact
        // odd multiple of one half.
        mpz_class twice = floorSqrtScaled(v, e + 2);
        bool twiceExact = e + 2 >= 0 ? twice * twice == v * pow2(e + 2) : twice * twice * pow2(-(e + 2)) == v;
        bool tie = twiceExact && mpz_odd_p(twice.get_mpz_t());
        r = (twice + 1) / 2;  // ties up
        if (tie && rnd == 6 && mpz_odd_p(r.get_mpz_t())) r -= 1;
    }
    return fit(r, ovf, wl, sgn);
}

mpz_class fromDoubleOracle(double v, int exp, int rnd, int ovf, int wl, int sgn) {
    if (std::isnan(v)) return 0;
    if (std::isinf(v)) return ovf == 1 ? fit(v > 0 ? pow2(300) : mpz_class(-pow2(300)), 1, wl, sgn) : 0;
    mpq_class x(v);
    if (exp < 0)
        x *= mpq_class(pow2(-exp));
    else
        x /= mpq_class(pow2(exp));
    x.canonicalize();
    return fit(roundQuotient(x.get_num(), x.get_den(), rnd, false), ovf, wl, sgn);
}

// ---- Running the driver -------------------------------------------------------------------------------------

std::string hexWords(i128 v) {
    char b[40];
    u128 u = static_cast<u128>(v);
    std::snprintf(b, sizeof b, "%016llx %016llx", static_cast<unsigned long long>(u >> 64),
                  static_cast<unsigned long long>(u));
    return b;
}
std::string hexDouble(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    char s[20];
    std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(b));
    return s;
}
mpz_class parseWords(std::istream& is) {
    std::string hi, lo;
    is >> hi >> lo;
    u128 u = (static_cast<u128>(std::stoull(hi, nullptr, 16)) << 64) | std::stoull(lo, nullptr, 16);
    return toMpz(static_cast<i128>(u));
}

struct Runner {
    fs::path dir;
    std::string cc;
    bool ok = false;

    explicit Runner(const std::string& tag) {
        dir = cgtest::workDir(tag);
        fs::create_directories(dir);
        cc = CG::findCCompiler();
        std::ofstream(dir / CG::runtimeHeaderName()) << CG::runtimeHeaderText();
        std::ofstream(dir / CG::wideHeaderName()) << CG::wideHeaderText();
        std::ofstream(dir / "driver.c") << kDriver;
        ok = !cc.empty();
    }
    // Builds the driver (portable or native 128-bit path), feeds it the lines, returns its output lines.
    std::vector<std::string> run(bool portable, const std::vector<std::string>& lines) {
        std::string exe = (dir / (portable ? "portable" : "native")).string();
        std::string cmd = cc +
                          " -std=c99 -Wall -Wextra -Werror -O2 -fsanitize=undefined "
                          "-fno-sanitize-recover=undefined" +
                          std::string(portable ? " -DDVRT_PORTABLE_INT" : "") + " -o " + exe + " " +
                          (dir / "driver.c").string() + " -lm > " + exe + ".log 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        {
            std::ofstream in(dir / "ops.txt");
            for (auto& l : lines)
                in << l << "\n";
        }
        std::string runCmd =
            exe + " < " + (dir / "ops.txt").string() + " > " + exe + ".out 2> " + exe + ".err";
        EXPECT_EQ(std::system(runCmd.c_str()), 0) << runCmd;
        std::ifstream err(exe + ".err");
        std::string which;
        err >> which;
        EXPECT_EQ(which, portable ? "portable" : "native");  // the switch really selects the path
        std::ifstream out(exe + ".out");
        std::vector<std::string> res;
        for (std::string l; std::getline(out, l);)
            res.push_back(l);
        EXPECT_EQ(res.size(), lines.size());
        return res;
    }
};

// A random signed value of at most `bits` bits of magnitude (edges included often).
i128 randomValue(std::mt19937_64& g, int bits) {
    if (bits <= 0) return 0;
    u128 u = (static_cast<u128>(g()) << 64) | g();
    int pick = static_cast<int>(g() % 8);
    int b = pick == 0 ? bits : 1 + static_cast<int>(g() % static_cast<uint64_t>(bits));
    u128 mask = b >= 128 ? ~static_cast<u128>(0) : ((static_cast<u128>(1) << b) - 1);
    i128 v = static_cast<i128>(u & mask);
    if (pick == 1) v = static_cast<i128>(mask);  // all ones
    if (pick == 2) v = static_cast<i128>(static_cast<u128>(1) << (b - 1));
    return (g() & 1) ? -v : v;
}

struct Check {
    std::string line;
    std::vector<mpz_class> expected;  // empty: compare the two paths only
};

const int kRnd[] = {0, 1, 2, 3, 4, 5, 6};

}  // namespace

// The primitives on both paths against GMP.
TEST(RuntimeHelpers, WidePrimitivesMatchExactArithmeticOnBothPaths) {
    Runner r("prims");
    if (!r.ok) GTEST_SKIP() << "no C compiler found";
    std::mt19937_64 g(20261208);
    std::vector<Check> checks;
    for (int i = 0; i < 3000; ++i) {
        i128 a = randomValue(g, 63), b = randomValue(g, 63);
        checks.push_back({"mul " + hexWords(a) + " " + hexWords(b), {toMpz(a) * toMpz(b)}});
        i128 c = randomValue(g, 125), d = randomValue(g, 125);
        checks.push_back({"add " + hexWords(c) + " " + hexWords(d), {toMpz(c) + toMpz(d)}});
        checks.push_back({"sub " + hexWords(c) + " " + hexWords(d), {toMpz(c) - toMpz(d)}});
        checks.push_back({"neg " + hexWords(c), {-toMpz(c)}});
        int n = static_cast<int>(g() % 127);
        i128 e = randomValue(g, 126 - n);
        checks.push_back({"shl " + hexWords(e) + " " + std::to_string(n), {toMpz(e) * pow2(n)}});
        int k = static_cast<int>(g() % 128);
        mpz_class fl;
        mpz_fdiv_q_2exp(fl.get_mpz_t(), toMpz(c).get_mpz_t(), k);
        checks.push_back({"sar " + hexWords(c) + " " + std::to_string(k), {fl}});
        int m = 1 + static_cast<int>(g() % 126);
        mpz_class md;
        mpz_fdiv_r_2exp(md.get_mpz_t(), toMpz(c).get_mpz_t(), m);
        checks.push_back({"mod2 " + hexWords(c) + " " + std::to_string(m), {md}});
        i128 den = randomValue(g, 1 + static_cast<int>(g() % 125));
        if (den < 0) den = -den;
        if (den == 0) den = 1;
        mpz_class q, rr;
        mpz_fdiv_qr(q.get_mpz_t(), rr.get_mpz_t(), toMpz(c).get_mpz_t(), toMpz(den).get_mpz_t());
        checks.push_back({"fdiv " + hexWords(c) + " " + hexWords(den), {q, rr}});
        i128 sd = (g() & 1) ? den : -den;
        mpz_class tr;
        mpz_tdiv_r(tr.get_mpz_t(), toMpz(c).get_mpz_t(), toMpz(sd).get_mpz_t());
        checks.push_back({"rem " + hexWords(c) + " " + hexWords(sd), {tr}});
        checks.push_back({"rem " + hexWords(c) + " " + hexWords(0), {0}});
        i128 sq = c < 0 ? -c : c;
        mpz_class root;
        mpz_sqrt(root.get_mpz_t(), toMpz(sq).get_mpz_t());
        checks.push_back({"isqrt " + hexWords(sq), {root}});
        // Integral doubles up to 2^125 (and small ones).
        double dv =
            std::ldexp(static_cast<double>(g() >> 11), static_cast<int>(g() % 73)) * ((g() & 1) ? -1 : 1);
        checks.push_back({"fromd " + hexDouble(dv), {mpz_class(dv)}});
        int s = static_cast<int>(toMpz(c) > toMpz(d)) - static_cast<int>(toMpz(c) < toMpz(d));
        int sg = static_cast<int>(c > 0) - static_cast<int>(c < 0);
        checks.push_back({"cmp " + hexWords(c) + " " + hexWords(d), {s, sg}});
        checks.push_back({"cmp " + hexWords(c) + " " + hexWords(c), {0, sg}});
    }
    std::vector<std::string> lines;
    for (auto& c : checks)
        lines.push_back(c.line);
    for (bool portable : {false, true}) {
        std::vector<std::string> out = r.run(portable, lines);
        ASSERT_EQ(out.size(), checks.size());
        int failures = 0;
        for (size_t i = 0; i < checks.size() && failures < 10; ++i) {
            std::istringstream is(out[i]);
            bool cmpLine = checks[i].line.rfind("cmp", 0) == 0;
            for (auto& want : checks[i].expected) {
                mpz_class got;
                if (cmpLine) {
                    long v;
                    is >> v;
                    got = v;
                } else {
                    got = parseWords(is);
                }
                if (got != want) {
                    ++failures;
                    ADD_FAILURE() << (portable ? "portable" : "native") << ": " << checks[i].line << " -> "
                                  << out[i] << ", expected " << want.get_str();
                }
            }
        }
    }
}

// The fixed-point helpers (quantise, divide, square root, from double) on both 128-bit paths and on
// int64_t, against the exact oracle under every rounding and overflow mode.
TEST(RuntimeHelpers, FixedPointHelpersMatchTheExactOracleOnEveryPath) {
    Runner r("helpers");
    if (!r.ok) GTEST_SKIP() << "no C compiler found";
    std::mt19937_64 g(8121226);
    std::vector<Check> checks;
    std::vector<std::pair<size_t, size_t>> narrowPairs;  // (wide line, int64 line) computing the same
    auto add = [&](const std::string& l, mpz_class want) {
        checks.push_back({l, {std::move(want)}});
        return checks.size() - 1;
    };
    for (int i = 0; i < 2500; ++i) {
        int rnd = kRnd[g() % 7], ovf = static_cast<int>(g() % 2), sgn = static_cast<int>(g() % 2);
        bool narrow = (g() % 2) == 0;
        int wl = narrow ? 2 + static_cast<int>(g() % 61) : 2 + static_cast<int>(g() % 63);
        std::string modes = std::to_string(rnd) + " " + std::to_string(ovf) + " " + std::to_string(wl) + " " +
                            std::to_string(sgn);
        // quantise: value of up to vb bits moved by shift
        int vb = narrow ? 1 + static_cast<int>(g() % 40) : 1 + static_cast<int>(g() % 100);
        int shift = static_cast<int>(g() % 41) - 20;
        if (shift > 0) vb = std::min(vb, (narrow ? 62 : 126) - shift);
        i128 v = randomValue(g, vb);
        size_t w = add("quant " + hexWords(v) + " " + std::to_string(shift) + " " + modes,
                       quantize(toMpz(v), shift, rnd, ovf, wl, sgn));
        if (narrow) {
            size_t n = add("q64 " + toMpz(v).get_str() + " " + std::to_string(shift) + " " + modes,
                           quantize(toMpz(v), shift, rnd, ovf, wl, sgn));
            narrowPairs.push_back({w, n});
        }
        // divide (zero divisors included)
        int nb = narrow ? 1 + static_cast<int>(g() % 30) : 1 + static_cast<int>(g() % 63);
        int dshift = static_cast<int>(g() % 21) - 10;
        i128 num = randomValue(g, nb), den = (g() % 16 == 0) ? 0 : randomValue(g, nb);
        w = add("div " + hexWords(num) + " " + hexWords(den) + " " + std::to_string(dshift) + " " + modes,
                divide(toMpz(num), toMpz(den), dshift, rnd, ovf, wl, sgn));
        if (narrow) {
            size_t n = add("d64 " + toMpz(num).get_str() + " " + toMpz(den).get_str() + " " +
                               std::to_string(dshift) + " " + modes,
                           divide(toMpz(num), toMpz(den), dshift, rnd, ovf, wl, sgn));
            narrowPairs.push_back({w, n});
        }
        // square root; perfect squares often, so exact ties occur
        int inExp = static_cast<int>(g() % 21) - 10, outExp = static_cast<int>(g() % 21) - 10;
        int k = inExp - 2 * outExp;
        int sb = (narrow ? 60 : 124) - std::max(k, 0);
        i128 sv = randomValue(g, std::min(sb, narrow ? 40 : 100));
        if (sv < 0) sv = -sv;
        if (g() % 3 == 0) {
            i128 root = randomValue(g, std::max(1, std::min(sb, narrow ? 40 : 100) / 2 - 1));
            sv = root * root;
        }
        w = add(
            "sqrt " + hexWords(sv) + " " + std::to_string(inExp) + " " + std::to_string(outExp) + " " + modes,
            sqrtOracle(toMpz(sv), inExp, outExp, rnd, ovf, wl, sgn));
        if (narrow) {
            size_t n = add("s64 " + toMpz(sv).get_str() + " " + std::to_string(inExp) + " " +
                               std::to_string(outExp) + " " + modes,
                           sqrtOracle(toMpz(sv), inExp, outExp, rnd, ovf, wl, sgn));
            narrowPairs.push_back({w, n});
        }
        // from double: halves and ties, large and special values
        double dv;
        switch (g() % 6) {
            case 0:
                dv = (static_cast<double>(static_cast<int64_t>(g() % 2001) - 1000)) / 2.0;
                break;
            case 1:
                dv = std::ldexp(static_cast<double>(static_cast<int64_t>(g() >> 11)),
                                static_cast<int>(g() % 80));
                break;
            case 2:
                dv = (g() % 3 == 0) ? NAN : ((g() & 1) ? INFINITY : -INFINITY);
                break;
            default:
                dv = std::ldexp(static_cast<double>(static_cast<int64_t>(g() >> 11)) - std::ldexp(1.0, 52),
                                -static_cast<int>(g() % 60));
        }
        int fexp = static_cast<int>(g() % 21) - 10;
        w = add("fromdbl " + hexDouble(dv) + " " + std::to_string(fexp) + " " + modes,
                fromDoubleOracle(dv, fexp, rnd, ovf, wl, sgn));
        if (narrow) {
            size_t n = add("f64 " + hexDouble(dv) + " " + std::to_string(fexp) + " " + modes,
                           fromDoubleOracle(dv, fexp, rnd, ovf, wl, sgn));
            narrowPairs.push_back({w, n});
        }
    }
    std::vector<std::string> lines;
    for (auto& c : checks)
        lines.push_back(c.line);
    std::vector<std::string> native = r.run(false, lines), portable = r.run(true, lines);
    ASSERT_EQ(native.size(), checks.size());
    ASSERT_EQ(portable.size(), checks.size());
    int failures = 0;
    for (size_t i = 0; i < checks.size() && failures < 10; ++i) {
        for (const auto* out : {&native, &portable}) {
            std::istringstream is((*out)[i]);
            mpz_class got = parseWords(is);
            if (got != checks[i].expected[0]) {
                ++failures;
                ADD_FAILURE() << (out == &native ? "native" : "portable") << ": " << checks[i].line << " -> "
                              << got.get_str() << ", expected " << checks[i].expected[0].get_str();
            }
        }
        EXPECT_EQ(native[i], portable[i]) << checks[i].line;
    }
    for (auto [w, n] : narrowPairs)
        EXPECT_EQ(native[w], native[n]) << checks[w].line << " / " << checks[n].line;
    EXPECT_GT(narrowPairs.size(), 3000u);
}

// A whole unit on wide words (48- and 40-bit operands, 64-bit results, a 64-bit unsigned input), built with
// the compiler's 128-bit integer and with the two-word helpers: both give the exact oracle's bits.
TEST(RuntimeHelpers, WideUnitGivesTheSameBitsOnBothIntegerPaths) {
    using namespace CG;
    const Type ta = Type::fixedT(true, 48, -10), tb = Type::fixedT(true, 40, -6),
               tc = Type::fixedT(false, 64, 0);
    const Type tMul = Type::fixedT(true, 64, -20), tDiv = Type::fixedT(true, 50, -12),
               tAdd = Type::fixedT(true, 64, -8), tSqrt = Type::fixedT(false, 40, -10),
               tConv = Type::fixedT(true, 33, -2), tNeg = Type::fixedT(true, 48, -11);
    const int n = 48;
    std::mt19937_64 g(4096);
    std::vector<int64_t> a(n), b(n);
    std::vector<uint64_t> c(n);
    for (int i = 0; i < n; ++i) {
        a[i] = static_cast<int64_t>(randomValue(g, 47));
        b[i] = static_cast<int64_t>(randomValue(g, 39));
        c[i] = g() >> (g() % 64);
    }
    a[0] = -(int64_t(1) << 47);
    a[1] = (int64_t(1) << 47) - 1;
    b[2] = 0;
    b[3] = -1;
    c[4] = ~uint64_t(0);
    struct Modes {
        int32_t rnd, ovf;
    } modes[] = {{RndConvergent, OvfSaturate}, {RndZero, OvfWrap}, {RndNearest, OvfWrap}};
    for (const Modes& m : modes) {
        BlockDesc d;
        d.name = "wideunit";
        d.inputs = {cgtest::signal(ta, {n}), cgtest::signal(tb, {n}), cgtest::signal(tc, {n})};
        d.outputs = {cgtest::signal(tMul, {n}),  cgtest::signal(tDiv, {n}),
                     cgtest::signal(tAdd, {n}),  cgtest::signal(tSqrt, {n}),
                     cgtest::signal(tConv, {n}), cgtest::signal(Type::boolT(), {n}),
                     cgtest::signal(tNeg, {n})};
        TarnCG::CGHandle h(d);
        cgtest::LambdaDspCtx ctx(
            &h,
            [&](cgtest::LambdaDspCtx& cx) {
                Var i = cx.createLocal("i", Type::intT(true, 32));
                cx.beginFor(i, 0, ConstNode::makeInt(Type::intT(true, 32), n));
                Expr x = cx.getIndexedVar(cx.getInputRef(0).ref(), i.ref());
                Expr y = cx.getIndexedVar(cx.getInputRef(1).ref(), i.ref());
                Expr z = cx.getIndexedVar(cx.getInputRef(2).ref(), i.ref());
                MathModes mm{m.rnd, m.ovf};
                auto out = [&](int k) { return cx.getIndexedVar(cx.getOutputVar(k).ref(), i.ref()); };
                cx.appendNode(AssignStmt::make(out(0), BinaryNode::make(BinaryOp::Mul, x, y, tMul, mm)));
                cx.appendNode(AssignStmt::make(out(1), BinaryNode::make(BinaryOp::Div, x, y, tDiv, mm)));
                cx.appendNode(AssignStmt::make(out(2), BinaryNode::make(BinaryOp::Add, x, y, tAdd, mm)));
                cx.assignSqrt(out(3), x, &tSqrt);
                cx.appendNode(AssignStmt::make(out(4), CastNode::make(z, tConv, mm)));
                cx.appendNode(
                    AssignStmt::make(out(5), BinaryNode::make(BinaryOp::Gt, x, y, Type::boolT(), mm)));
                cx.appendNode(AssignStmt::make(out(6), UnaryNode::make(UnaryOp::Neg, x, tNeg, mm)));
                cx.endFor();
            },
            m.rnd, m.ovf);
        ASSERT_TRUE(ctx.constructCode()) << h.diagnostics().error().message();
        std::vector<HarnessOutput> first;
        for (bool portable : {false, true}) {
            HarnessOptions o;
            o.workDir = cgtest::workDir(std::string("wideunit") + (portable ? "_portable" : "_native") +
                                        std::to_string(m.rnd));
            o.sanitize = true;
            o.portableInt = portable;
            HarnessResult r = buildAndRun(
                h.unit(), {{cgtest::bytesOf(a), {}}, {cgtest::bytesOf(b), {}}, {cgtest::bytesOf(c), {}}}, o);
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_TRUE(fs::exists(fs::path(o.workDir) / wideHeaderName()));
            auto mul = cgtest::valuesOf<int64_t>(r.outputs[0].bytes),
                 div = cgtest::valuesOf<int64_t>(r.outputs[1].bytes),
                 add = cgtest::valuesOf<int64_t>(r.outputs[2].bytes),
                 conv = cgtest::valuesOf<int64_t>(r.outputs[4].bytes),
                 neg = cgtest::valuesOf<int64_t>(r.outputs[6].bytes);
            auto sq = cgtest::valuesOf<uint64_t>(r.outputs[3].bytes);
            auto gt = r.outputs[5].bytes;
            int failures = 0;
            for (int j = 0; j < n && failures < 5; ++j) {
                mpz_class A(std::to_string(a[j])), B(std::to_string(b[j])), C(std::to_string(c[j]));
                mpz_class want[] = {quantize(A * B, -10 - 6 + 20, m.rnd, m.ovf, 64, 1),
                                    divide(A, B, -10 + 6 + 12, m.rnd, m.ovf, 50, 1),
                                    quantize(A + B * pow2(4), -10 - (-8), m.rnd, m.ovf, 64, 1),
                                    sqrtOracle(A, -10, -10, m.rnd, m.ovf, 40, 0),
                                    quantize(C, 2, m.rnd, m.ovf, 33, 1),
                                    mpz_class(A > B * 16 ? 1 : 0),
                                    quantize(-A, 1, m.rnd, m.ovf, 48, 1)};
                mpz_class got[] = {mpz_class(std::to_string(mul[j])),  mpz_class(std::to_string(div[j])),
                                   mpz_class(std::to_string(add[j])),  mpz_class(std::to_string(sq[j])),
                                   mpz_class(std::to_string(conv[j])), mpz_class(gt[j]),
                                   mpz_class(std::to_string(neg[j]))};
                for (int k = 0; k < 7; ++k)
                    if (got[k] != want[k]) {
                        ++failures;
                        ADD_FAILURE() << (portable ? "portable" : "native") << " output " << k << " element "
                                      << j << ": a=" << a[j] << " b=" << b[j] << " c=" << c[j] << " got "
                                      << got[k].get_str() << " want " << want[k].get_str();
                    }
            }
            if (!portable)
                first = r.outputs;
            else
                for (size_t k = 0; k < first.size(); ++k)
                    EXPECT_EQ(first[k].bytes, r.outputs[k].bytes) << k;
        }
    }
}
