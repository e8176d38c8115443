// Generated code of the rotate block against its simulation, bit for bit, for double and single images:
// every interpolation method, both output sizes and both angle sources; angles at and near quarter turns,
// beyond +-pi and clamped port angles; table and trigonometric sine; one and three planes with per-plane
// fill; odd and even sizes, 1xN, Nx1 and 1x1 images; variable-size frames; fill tuned between steps. The
// units build with -Werror and run under UndefinedBehaviorSanitizer. A unit runs several steps (port
// angles, frames), so the sweep needs few compiles.
#include "sil_rotate_rig.h"

using namespace rotatesil;

namespace {

// Port angles that matter: near and on quarter turns, on and beyond +-pi, several turns away, signed zero.
const std::vector<double> kPortAngles = {
    0.4,  kPi / 2 + 1e-7, kPi / 2 - 1e-7, kPi,  -kPi / 2 - 1e-9, 4.0,  -4.0, 1.2, -1.2,
    -kPi, 2.0 * kPi,      -0.0,           -7.5, 2 * kPi + 0.2,   -2.9, 2.4};

std::vector<Frame> angleFrames(const std::vector<double>& angles) {
    std::vector<Frame> fs;
    for (double a : angles)
        fs.push_back(Frame{{}, a, {}});
    return fs;
}

// Port angles: every method x output size, double with the table and single with the trigonometric
// functions; the maximum angle above pi (clamped to pi) or small (most angles clamped); both placements.
std::vector<Unit> portUnits() {
    std::vector<Unit> us;
    for (int method = 1; method <= 3; ++method)
        for (int size = 1; size <= 2; ++size)
            for (const char* type : {"double", "single"}) {
                const bool single = std::string(type) == "single";
                if (single && size != 1 + method % 2) continue;
                const double maxAngle = (method + size) % 2 ? 5.0 : 1.0;
                Unit u;
                u.name = std::string("port_") + type + "_m" + std::to_string(method) + "_o" +
                         std::to_string(size) + "_max" + tag(maxAngle);
                u.params = {{0, Array::scalar(size)},
                            {3, Array::scalar(maxAngle)},
                            {4, Array::scalar(1 + (method + size) % 2)},
                            {5, Array::scalar(single ? 1 : 2)},
                            {6, Array::scalar(3.5)},
                            {7, Array::scalar(method)}};
                u.type = type;
                u.angleType = type;
                u.dims = {7, 10};
                u.frames = angleFrames(kPortAngles);
                us.push_back(u);
            }
    return us;
}

// Angles from the dialog (each a compile of its own): the angles that matter most, each with another
// method, output size and sine method.
std::vector<Unit> dialogUnits() {
    std::vector<Unit> us;
    const double angles[] = {0.5, kPi / 2 + 1e-7, kPi / 2 - 1e-7, kPi,  -kPi / 2 - 1e-9, 4.0, -0.3, kPi / 4,
                             2.4, -kPi,           -2.9,           -7.5, 2 * kPi + 0.2};
    int combo = 0;
    for (double a : angles) {
        const int method = 1 + combo % 3, size = 1 + (combo / 3) % 2, sine = 1 + combo % 2;
        Unit u;
        u.name = std::string("dialog_m") + std::to_string(method) + (size == 1 ? "_expanded" : "_same") +
                 (sine == 1 ? "_trig" : "_table") + "_a" + tag(a);
        u.params = {{0, Array::scalar(size)},
                    {2, Array::scalar(a)},
                    {5, Array::scalar(sine)},
                    {6, Array::scalar(3.5)},
                    {7, Array::scalar(method)}};
        u.dims = {7, 10};
        u.type = combo % 4 == 3 ? "single" : "double";
        us.push_back(u);
        ++combo;
    }
    return us;
}

// Fixed sizes: single rows and columns, a single pixel, small, odd and even squares.
std::vector<Unit> shapeUnits() {
    std::vector<Unit> us;
    const std::vector<std::vector<int32_t>> dims = {{1, 9}, {9, 1}, {1, 1}, {2, 2}, {6, 4}, {8, 8}, {5, 5}};
    int combo = 0;
    for (const auto& d : dims) {
        const int method = 1 + combo % 3, size = 1 + (combo / 3) % 2;
        const double angles[] = {0.7, 2.0, -kPi / 2};
        const double a = angles[combo % 3];
        Unit u;
        u.name = "dims" + std::to_string(d[0]) + "x" + std::to_string(d[1]) + "_m" + std::to_string(method) +
                 "_o" + std::to_string(size) + "_a" + tag(a);
        u.params = {{0, Array::scalar(size)}, {2, Array::scalar(a)}, {7, Array::scalar(method)}};
        u.dims = d;
        us.push_back(u);
        ++combo;
    }
    return us;
}

std::vector<Unit> formUnits() {
    std::vector<Unit> us;
    // Three planes with one fill value each, tuned between steps.
    for (int method = 1; method <= 3; ++method) {
        Unit u;
        u.name = "rgb_fill_m" + std::to_string(method);
        u.params = {{0, Array::scalar(1 + method % 2)},
                    {2, Array::scalar(method == 2 ? -2.2 : 0.9)},
                    {6, Array::realVector({10, 20, 30})},
                    {7, Array::scalar(method)}};
        u.dims = {6, 9, 3};
        u.frames = {Frame{}, Frame{{}, NAN, {1, -2, 3.5}}, Frame{{}, NAN, {0.25, 0.5, 0.75}}};
        us.push_back(u);
    }
    // Whole quarter turns by the dialog: index permutations of every count.
    for (int q = 0; q < 4; ++q) {
        Unit u;
        u.name = "quarter" + std::to_string(q);
        u.params = {{0, Array::scalar(1 + q % 2)}, {2, Array::scalar(q * kPi / 2)}};
        u.dims = q % 2 ? std::vector<int32_t>{6, 6, 2} : std::vector<int32_t>{5, 8, 2};
        us.push_back(u);
    }
    return us;
}

// Variable-size frames: sizes change from step to step (1xN, Nx1, 1x1 and an empty frame among them).
std::vector<Unit> variableUnits() {
    std::vector<Unit> us;
    for (int method = 1; method <= 3; ++method) {
        Unit u;
        u.name = "var_m" + std::to_string(method) + "_o" + std::to_string(1 + method % 2);
        u.params = {{0, Array::scalar(1 + method % 2)},
                    {2, Array::scalar(method == 3 ? -1.0 : 0.6 + method)},
                    {7, Array::scalar(method)}};
        u.dims = {9, 12};
        u.variableSize = true;
        u.frames = {Frame{{6, 11}, NAN, {}}, Frame{{9, 12}, NAN, {}}, Frame{{1, 7}, NAN, {}},
                    Frame{{8, 1}, NAN, {}},  Frame{{1, 1}, NAN, {}},  Frame{{0, 12}, NAN, {}},
                    Frame{{5, 5}, NAN, {}}};
        us.push_back(u);
    }
    Unit q;
    q.name = "var_quarter";
    q.params = {{2, Array::scalar(kPi / 2)}};
    q.dims = {7, 7, 3};
    q.variableSize = true;
    q.frames = {Frame{{4, 6, 3}, NAN, {}}, Frame{{7, 7, 3}, NAN, {}}, Frame{{1, 5, 3}, NAN, {}}};
    us.push_back(q);
    // The port angle turns, the frame size changes and the per-plane fill is tuned, all between steps.
    for (int method = 1; method <= 3; ++method) {
        Unit u;
        u.name = "steps_m" + std::to_string(method);
        u.params = {{3, Array::scalar(5.0)}, {6, Array::realVector({1, 2, 3})}, {7, Array::scalar(method)}};
        u.dims = {8, 11, 3};
        u.variableSize = true;
        u.angleType = "double";
        u.frames = {Frame{{8, 11, 3}, 0.4, {}}, Frame{{5, 9, 3}, 1.9, {}},
                    Frame{{8, 11, 3}, -2.5, {7, -8, 9.5}}, Frame{{7, 4, 3}, 4.0, {}},
                    Frame{{3, 3, 3}, 0.0, {0.25, 0.5, 0.75}}};
        us.push_back(u);
    }
    return us;
}

// Images larger than a band of the passes (64 rows, 128 positions), so that rows are worked in pieces.
// The tall image with an infinite fill puts whole shifts larger than a piece's end into the last pass (a
// half-angle tangent of exactly 1/2 or 1/4 on an odd number of rows), which the whole row takes as a move
// and a piece as an interpolation: both must leave the piece's fill exactly (0 x Inf would be NaN).
std::vector<Unit> bandUnits() {
    Unit tall;
    tall.name = "bands_tall_m3_inf_fill";
    tall.params = {{3, Array::scalar(5.0)}, {6, Array::scalar(INFINITY)}, {7, Array::scalar(3)}};
    tall.dims = {901, 24};
    tall.angleType = "double";
    tall.frames = angleFrames({0.9272952180016123, 0.4899573262537283, -2.2, 1.3});
    Unit wide;
    wide.name = "bands_wide_m2_same_rgb";
    wide.params = {{0, Array::scalar(2)},
                   {2, Array::scalar(0.6)},
                   {6, Array::realVector({1, 2})},
                   {7, Array::scalar(2)}};
    wide.dims = {150, 260, 2};
    wide.frames = {Frame{}, Frame{{}, NAN, {-3, 4}}};
    // Single precision, table sine, three planes with their own fill, same size: bands of a row count the
    // output plane allows, more than one band of them.
    Unit single;
    single.name = "bands_single_m1_table_rgb";
    single.params = {{0, Array::scalar(2)},
                     {3, Array::scalar(5.0)},
                     {5, Array::scalar(2)},
                     {6, Array::realVector({1, 2, 3})},
                     {7, Array::scalar(1)}};
    single.type = "single";
    single.angleType = "single";
    single.dims = {70, 140, 3};
    single.frames = angleFrames({0.3, 2.5, -1.0, -2.9});
    // An output plane that holds fewer than two buffer rows (flat, same size) shears line by line.
    Unit flat;
    flat.name = "bands_flat_2x40_m3_same";
    flat.params = {{0, Array::scalar(2)}, {3, Array::scalar(5.0)}, {7, Array::scalar(3)}};
    flat.dims = {2, 40};
    flat.angleType = "double";
    flat.frames = angleFrames({0.3, 1.4, -0.2, 3.0});
    // Pass 2 moves columns by whole shifts in place: sin(theta) of exactly 1/2 (every other column of an odd
    // count moves, up and down); frames centred in the largest frame's size (the columns also move down the
    // buffer), and the same angle at the port for nearest and bicubic in a same-size output.
    const double halfSine = 0.5235987755982989;  // sin() of it is exactly 0.5
    Unit moves;
    moves.name = "pass2_moves_m2_centred";
    moves.params = {{2, Array::scalar(halfSine)}, {7, Array::scalar(2)}, {4, Array::scalar(2)}};
    moves.dims = {31, 23};
    moves.variableSize = true;
    moves.frames = {Frame{{31, 23}, NAN, {}}, Frame{{21, 17}, NAN, {}}, Frame{{9, 22}, NAN, {}}};
    std::vector<Unit> us = {tall, wide, single, flat, moves};
    for (int method = 1; method <= 3; method += 2) {
        Unit u;
        u.name = "pass2_moves_port_m" + std::to_string(method);
        u.params = {{0, Array::scalar(2)}, {3, Array::scalar(5.0)}, {7, Array::scalar(method)}};
        u.dims = {17, 29};
        u.angleType = "double";
        u.frames = angleFrames({halfSine, -halfSine, 2.0943951023931957, 0.0});
        us.push_back(u);
    }
    return us;
}

}  // namespace

class RotateSil : public ::testing::TestWithParam<Unit> {};

TEST_P(RotateSil, GeneratedCodeMatchesSimulation) {
    expectIdenticalSteps(GetParam());
}

INSTANTIATE_TEST_SUITE_P(PortAngles, RotateSil, ::testing::ValuesIn(portUnits()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(DialogAngles, RotateSil, ::testing::ValuesIn(dialogUnits()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Shapes, RotateSil, ::testing::ValuesIn(shapeUnits()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Forms, RotateSil, ::testing::ValuesIn(formUnits()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(VariableSize, RotateSil, ::testing::ValuesIn(variableUnits()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Bands, RotateSil, ::testing::ValuesIn(bandUnits()),
                         [](const auto& info) { return info.param.name; });
