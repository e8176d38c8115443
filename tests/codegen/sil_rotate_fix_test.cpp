// Generated code of the rotate block against its fixed-point engine, bit for bit: uint8, int16 and
// fixed-point images with several word and fraction lengths; every method and output size; angles from
// the dialog and from ports of several fixed-point types (near quarter turns, beyond +-pi, many turns
// away, clamped); every rounding mode and both overflow modes (each at least once); narrow and 64-bit
// working types; three planes with per-plane fill tuned between steps; variable-size frames with 1xN,
// Nx1 and 1x1 among them; quarter turns converting between types. Some units are also checked with the
// two-word 128-bit helpers and under AddressSanitizer.
#include "sil_rotate_rig.h"

using namespace rotatesil;

namespace {

// Dialog popups of rounding (ceiling, convergent, floor, nearest, round, simplest, zero) and overflow.
enum Rounding { kCeiling = 1, kConvergent, kFloor, kNearest, kRound, kSimplest, kZero };
enum Overflow { kWrap = 1, kSaturate };

std::map<int, Array> modes(int rounding, int overflow) {
    return {{20, Array::scalar(rounding)}, {21, Array::scalar(overflow)}};
}

std::map<int, Array> with(std::map<int, Array> a, const std::map<int, Array>& b) {
    for (const auto& [k, v] : b)
        a[k] = v;
    return a;
}

// Products and sums as "binary point" types of the given word and fraction lengths.
std::map<int, Array> working(int pwl, int pfl, int awl, int afl) {
    return {{11, Array::scalar(0)}, {12, Array::scalar(pwl)}, {13, Array::scalar(pfl)},
            {14, Array::scalar(0)}, {15, Array::scalar(awl)}, {16, Array::scalar(afl)}};
}

std::vector<Frame> angleFrames(const std::vector<double>& angles) {
    std::vector<Frame> fs;
    for (double a : angles)
        fs.push_back(Frame{{}, a, {}});
    return fs;
}

std::vector<Unit> fixedUnits() {
    std::vector<Unit> us;
    auto add = [&](Unit u) { us.push_back(std::move(u)); };
    // The angle port's default type (s16.13, below 4 in magnitude): quarter turns, pi, clamps.
    const std::vector<double> nearTurns = {0.4, 1.5707, 1.5709, -1.5709, 3.14159, -3.1416, 0.0, -0.7, 2.6};
    // A wide angle port: beyond +-pi, several and many turns away (the whole-turn shortcut).
    const std::vector<double> farTurns = {7.0, -10.0, 1000.25, -2047.5, 4.0, -0.3, 3 * kPi / 2};

    for (int method = 1; method <= 3; ++method) {
        // uint8 at the dialog's defaults (products and sums s40.22, nearest, saturate).
        Unit u;
        u.name = "u8_defaults_port_m" + std::to_string(method);
        u.type = "uint8";
        u.dims = {9, 12};
        u.params = {{0, Array::scalar(1 + method % 2)},
                    {6, Array::scalar(17)},
                    {7, Array::scalar(method)},
                    {4, Array::scalar(1 + method / 2)}};
        u.angleType = "fixed:s16:13";
        u.frames = angleFrames(nearTurns);
        u.address = method == 2;
        add(u);
    }
    {
        Unit u;
        u.name = "u8_wide_angle_clamped_bicubic";
        u.type = "uint8";
        u.dims = {8, 11};
        u.params = {{3, Array::scalar(2.0)}, {7, Array::scalar(3)}, {6, Array::scalar(250)}};
        u.angleType = "fixed:s32:20";
        u.frames = angleFrames(farTurns);
        u.portable = true;
        add(u);
    }
    {
        Unit u;
        u.name = "u8_dialog_ceiling_wrap_nearest";
        u.type = "uint8";
        u.dims = {7, 10};
        u.params = with(modes(kCeiling, kWrap), {{2, Array::scalar(2.5)}, {7, Array::scalar(1)}});
        add(u);
    }
    {
        // An angle type of 8 bits with fraction length -3, rounded up: t - 2*pi rounds back onto t, and the
        // wrap stops at that turn in both the engine and the generated step instead of looping for ever.
        Unit u;
        u.name = "u8_coarse_angle_ceiling_stalled_wrap";
        u.type = "uint8";
        u.dims = {6, 5};
        u.params = with(
            modes(kCeiling, kSaturate),
            {{2, Array::scalar(8.0)}, {8, Array::scalar(0)}, {9, Array::scalar(8)}, {10, Array::scalar(-3)}});
        add(u);
    }
    {
        // Narrow working types: every intermediate in 64-bit helpers; output with a negative fraction length.
        Unit u;
        u.name = "i16_dialog_convergent_wrap_bilinear_out_s12m2";
        u.type = "int16";
        u.dims = {7, 10};
        u.params = with(with(modes(kConvergent, kWrap), working(24, 10, 30, 12)), {{2, Array::scalar(-2.0)},
                                                                                   {7, Array::scalar(2)},
                                                                                   {17, Array::scalar(0)},
                                                                                   {18, Array::scalar(12)},
                                                                                   {19, Array::scalar(-2)}});
        add(u);
    }
    {
        Unit u;
        u.name = "i16_port_floor_saturate_bicubic_same";
        u.type = "int16";
        u.dims = {10, 7};
        u.params = with(modes(kFloor, kSaturate), {{0, Array::scalar(2)}, {7, Array::scalar(3)}});
        u.angleType = "fixed:s16:13";
        u.frames = angleFrames({0.3, -1.5708, 2.2, -3.0, 1.0});
        add(u);
    }
    {
        Unit u;
        u.name = "s16e8_dialog_round_wrap_bilinear_beyond_pi";
        u.type = "fixed:s16:8";
        u.dims = {8, 9};
        u.params = with(with(modes(kRound, kWrap), working(32, 16, 32, 16)),
                        {{2, Array::scalar(4.0)}, {7, Array::scalar(2)}, {6, Array::scalar(-3.25)}});
        add(u);
    }
    {
        // Angle values of 16 bits; an angle a hair beyond a quarter turn.
        Unit u;
        u.name = "u12e4_dialog_simplest_saturate_bicubic_near_quarter";
        u.type = "fixed:u12:4";
        u.dims = {9, 6};
        u.params = with(modes(kSimplest, kSaturate),
                        {{2, Array::scalar(-kPi / 2 - 1e-3)}, {7, Array::scalar(3)}, {9, Array::scalar(16)}});
        add(u);
    }
    {
        // Wide words: 32-bit samples, 48- and 56-bit working types (128-bit helpers or two words).
        Unit u;
        u.name = "s32e20_port_zero_wrap_bilinear";
        u.type = "fixed:s32:20";
        u.dims = {6, 8};
        u.params = with(with(modes(kZero, kWrap), working(48, 30, 56, 30)), {{7, Array::scalar(2)}});
        u.angleType = "fixed:s16:13";
        u.frames = angleFrames({0.9, -2.4, 1.5707, 3.1});
        u.portable = true;
        add(u);
    }
    {
        // A working type too narrow for 1 and for the sizes: the engine's wraps and saturations.
        Unit u;
        u.name = "u8_tiny_working_nearest_bicubic";
        u.type = "uint8";
        u.dims = {7, 9};
        u.params = with(with(modes(kNearest, kWrap), working(12, 10, 10, 9)),
                        {{2, Array::scalar(0.8)}, {7, Array::scalar(3)}});
        add(u);
    }
    // Interiors summed exactly in int64_t: at the bound (54-bit working types, products of 62 bits) and one
    // past it (55 bits: the step-by-step helpers); products and sums leaving s16.8 (the per-sample
    // fallback, saturating and wrapping); samples of exponent 2, whose products move onto the grid.
    struct Interior {
        const char* name;
        const char* type;
        int method, rounding, overflow;
        std::map<int, Array> working;
    };
    const Interior interiors[] = {
        {"u8_interior_62bit_bicubic", "uint8", 3, kNearest, kSaturate, working(54, 30, 54, 30)},
        {"u8_interior_63bit_bilinear", "uint8", 2, kFloor, kSaturate, working(55, 30, 55, 30)},
        {"u8_interior_overflow_sat_bilinear", "uint8", 2, kConvergent, kSaturate, working(16, 8, 16, 8)},
        {"u8_interior_overflow_wrap_bicubic", "uint8", 3, kRound, kWrap, working(16, 8, 16, 8)},
        {"i16_interior_out_s12e2_bicubic", "int16", 3, kCeiling, kSaturate,
         with(working(32, 12, 32, 12),
              {{17, Array::scalar(0)}, {18, Array::scalar(12)}, {19, Array::scalar(-2)}})},
    };
    for (const Interior& in : interiors) {
        Unit u;
        u.name = in.name;
        u.type = in.type;
        u.dims = {9, 13};
        u.params = with(with(modes(in.rounding, in.overflow), in.working), {{7, Array::scalar(in.method)}});
        u.angleType = "fixed:s16:13";
        u.frames = angleFrames({0.5, -2.0, 1.2});
        add(u);
    }
    // Rows longer than one piece of pass 3 (512 positions): each piece gives its positions the whole row's
    // values, whole shifts and edges included.
    for (int method = 2; method <= 3; ++method) {
        Unit u;
        u.name = "u8_long_rows_pieces_m" + std::to_string(method);
        u.type = "uint8";
        u.dims = {37, 1100};
        u.params = with(modes(method == 2 ? kNearest : kFloor, method == 2 ? kSaturate : kWrap),
                        {{0, Array::scalar(method - 1)}, {7, Array::scalar(method)}});
        u.angleType = "fixed:s16:13";
        u.frames = angleFrames({0.02, -0.45, 1.6, 3.1});
        add(u);
    }
    // Three planes, one fill each, tuned between steps; frames of a variable-size image, 1xN, Nx1 and 1x1
    // among them.
    for (int method = 2; method <= 3; ++method) {
        Unit u;
        u.name = "u8_rgb_var_fill_m" + std::to_string(method);
        u.type = "uint8";
        u.dims = {8, 11, 3};
        u.variableSize = true;
        u.params = {
            {6, Array::realVector({10, 200, 30})}, {7, Array::scalar(method)}, {3, Array::scalar(5.0)}};
        u.angleType = "fixed:s16:13";
        u.frames = {Frame{{8, 11, 3}, 0.4, {}},         Frame{{5, 9, 3}, 1.9, {}},
                    Frame{{1, 7, 3}, -2.5, {7, 8, 9}},  Frame{{7, 1, 3}, 3.9, {}},
                    Frame{{1, 1, 3}, 0.6, {255, 0, 1}}, Frame{{3, 3, 3}, 0.0, {}}};
        add(u);
    }
    {
        Unit u;
        u.name = "i16_var_dialog_nearest_same";
        u.type = "int16";
        u.dims = {9, 12};
        u.variableSize = true;
        u.params = {{0, Array::scalar(2)}, {2, Array::scalar(-1.1)}, {7, Array::scalar(1)}};
        u.frames = {Frame{{6, 11}, NAN, {}}, Frame{{9, 12}, NAN, {}}, Frame{{1, 9}, NAN, {}},
                    Frame{{9, 1}, NAN, {}}};
        add(u);
    }
    // Fixed-size single rows, columns and pixels.
    const std::vector<std::vector<int32_t>> shapes = {{1, 9}, {9, 1}, {1, 1}};
    for (size_t k = 0; k < shapes.size(); ++k) {
        Unit u;
        u.name = "u8_dims" + std::to_string(shapes[k][0]) + "x" + std::to_string(shapes[k][1]);
        u.type = "uint8";
        u.dims = shapes[k];
        u.params = {{2, Array::scalar(0.7 + double(k))}, {7, Array::scalar(1 + int(k))}};
        add(u);
    }
    // Quarter turns converting the samples into another output type.
    for (int q = 1; q <= 2; ++q) {
        Unit u;
        u.name = "i16_quarter" + std::to_string(q) + "_out_s12e2";
        u.type = "int16";
        u.dims = {5, 8, 2};
        u.params = with(modes(q == 1 ? kNearest : kFloor, q == 1 ? kSaturate : kWrap),
                        {{2, Array::scalar(q * kPi / 2)},
                         {17, Array::scalar(0)},
                         {18, Array::scalar(12)},
                         {19, Array::scalar(2)}});
        add(u);
    }
    return us;
}

}  // namespace

class RotateFixSil : public ::testing::TestWithParam<Unit> {};

TEST_P(RotateFixSil, GeneratedCodeMatchesFixedPointEngine) {
    expectIdenticalSteps(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fixed, RotateFixSil, ::testing::ValuesIn(fixedUnits()),
                         [](const auto& info) { return info.param.name; });
