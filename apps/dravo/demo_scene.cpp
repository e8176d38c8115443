#include "demo_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace dravo::cli {
namespace {

struct Point {
    double r, c;
};

// Inside the triangle abc (either winding).
bool insideTriangle(Point p, Point a, Point b, Point c) {
    auto side = [](Point p1, Point p2, Point q) {
        return (p2.c - p1.c) * (q.r - p1.r) - (p2.r - p1.r) * (q.c - p1.c);
    };
    double d1 = side(a, b, p), d2 = side(b, c, p), d3 = side(c, a, p);
    bool neg = d1 < 0 || d2 < 0 || d3 < 0;
    bool pos = d1 > 0 || d2 > 0 || d3 > 0;
    return !(neg && pos);
}

// The shapes of one plane; `tone` picks how bright each shape is in this plane.
double shade(int r, int c, double background, const double tone[3]) {
    const Point triA{100, 25}, triB{62, 70}, triC{108, 98};
    const double discR = 72, discC = 122, discRadius = 28;
    double v = background;
    if (r >= 18 && r < 56 && c >= 18 && c < 74) v = tone[0];
    if (insideTriangle({double(r), double(c)}, triA, triB, triC)) v = tone[1];
    double d = std::hypot(r - discR, c - discC);
    if (d <= discRadius) v = tone[2] * (1.0 - 0.6 * d / discRadius);
    return v;
}

}  // namespace

namespace {

Signal eightBit(const Signal& gray) {
    Signal s;
    s.dataType = SS_UINT8;
    s.dims = gray.dims;
    s.bytes.resize(gray.count());
    for (size_t i = 0; i < s.bytes.size(); ++i) {
        double v = 0;
        std::memcpy(&v, gray.bytes.data() + i * sizeof(double), sizeof(double));
        s.bytes[i] = uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    }
    return s;
}

}  // namespace

Signal drawScene(const std::string& name) {
    if (name == "gray8") return eightBit(drawScene("gray"));
    int planes;
    if (name == "gray")
        planes = 1;
    else if (name == "rgb")
        planes = 3;
    else
        throw std::invalid_argument("unknown scene '" + name + "'");
    Signal s;
    s.dataType = SS_DOUBLE;
    s.dims = {kSceneRows, kSceneCols};
    if (planes == 3) s.dims.push_back(3);
    s.bytes.resize(size_t(kSceneRows) * kSceneCols * planes * sizeof(double));
    // Gray: a horizontal ramp. RGB: each plane ramps in its own direction and shows the shapes in
    // its own tone, so a mix-up of planes is visible.
    const double grayTones[3] = {0.95, 0.05, 1.0};
    const double rgbTones[3][3] = {{0.95, 0.10, 0.30}, {0.20, 0.85, 0.90}, {0.10, 0.30, 1.00}};
    for (int p = 0; p < planes; ++p)
        for (int c = 0; c < kSceneCols; ++c)
            for (int r = 0; r < kSceneRows; ++r) {
                double x = double(c) / (kSceneCols - 1), y = double(r) / (kSceneRows - 1);
                double background = planes == 1 ? 0.15 + 0.5 * x
                                                : (p == 0   ? 0.2 + 0.5 * x
                                                   : p == 1 ? 0.2 + 0.5 * y
                                                            : 0.6 - 0.4 * x);
                double v = shade(r, c, background, planes == 1 ? grayTones : rgbTones[p]);
                size_t i = size_t(r) + size_t(c) * kSceneRows + size_t(p) * kSceneRows * kSceneCols;
                std::memcpy(s.bytes.data() + i * sizeof(double), &v, sizeof(double));
            }
    return s;
}

}  // namespace dravo::cli
