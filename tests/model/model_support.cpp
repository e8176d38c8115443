#include <gtest/gtest.h>

#include "model_support.h"

#include <regex>

namespace dravo::test {

namespace {

std::vector<uint8_t> doubles(const std::vector<double>& v) {
    return bytesOf(v);
}

// Row-major double frame with values from a simple formula, so every frame differs.
std::vector<uint8_t> frame(int rows, int cols, int seed) {
    std::vector<double> v;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            v.push_back(((r * 7 + c * 3 + seed * 5) % 11) / 10.0);
    return doubles(v);
}

std::string shape(int rows, int cols) {
    return "(" + std::to_string(rows) + ", " + std::to_string(cols) + ")";
}

}  // namespace

ModelRig::ModelRig() {
    std::vector<uint8_t> img;
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 6; ++c)
            img.push_back(static_cast<uint8_t>((37 * r + 11 * c) % 256));
    writeFile(dir_ / "img.npy", npyBytes("|u1", false, "(7, 6)", img));
    std::filesystem::create_directory(dir_ / "seq");
    std::filesystem::create_directory(dir_ / "var");
    const int sizes[3][2] = {{4, 5}, {6, 3}, {5, 5}};
    for (int k = 0; k < 3; ++k) {
        std::string name = "f" + std::to_string(k) + ".npy";
        writeFile(dir_ / "seq" / name, npyBytes("<f8", false, shape(5, 6), frame(5, 6, k)));
        writeFile(dir_ / "var" / name, npyBytes("<f8", false, shape(sizes[k][0], sizes[k][1]),
                                                frame(sizes[k][0], sizes[k][1], k)));
    }
}

std::string ModelRig::expand(const std::string& text) const {
    std::string s = text;
    const std::string folder = dir_.path().string() + "/";
    for (size_t at = s.find("@/"); at != std::string::npos; at = s.find("@/", at + folder.size()))
        s.replace(at, 2, folder);
    return s;
}

RunOutcome ModelRig::model(const std::string& json, const std::string& verb,
                           const std::vector<std::string>& extra) {
    writeFile(dir_ / "model.json", std::vector<uint8_t>(json.begin(), json.end()));
    std::vector<std::string> args = {"model", verb, path("model.json")};
    if (verb == "run") {
        args.push_back("--out-dir");
        args.push_back(path("out"));
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return runDravo(args);
}

RunOutcome ModelRig::run(const std::vector<std::string>& args) {
    std::vector<std::string> a;
    for (const auto& x : args)
        a.push_back(expand(x));
    return runDravo(a);
}

std::map<std::string, std::pair<std::string, std::string>> checkRows(const std::string& out) {
    std::map<std::string, std::pair<std::string, std::string>> rows;
    std::regex row(R"(^(\S+ (?:in|out) \d+)\s{2,}(.*?)(?:\s{2,}(.*?))?\s*$)");
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) rows[m[1]] = {m[2], m[3]};
    }
    return rows;
}

::testing::AssertionResult sameNpy(const std::string& a, const std::string& b) {
    if (!std::filesystem::exists(a)) return ::testing::AssertionFailure() << a << " missing";
    if (!std::filesystem::exists(b)) return ::testing::AssertionFailure() << b << " missing";
    NpyFile x = parseNpyFile(readFile(a)), y = parseNpyFile(readFile(b));
    if (x.descr != y.descr || x.shape != y.shape || x.fortran != y.fortran)
        return ::testing::AssertionFailure() << a << " is " << x.descr << " " << x.shape << ", " << b
                                             << " is " << y.descr << " " << y.shape;
    if (x.data != y.data)
        return ::testing::AssertionFailure() << a << " and " << b << " differ in their data";
    return ::testing::AssertionSuccess();
}

}  // namespace dravo::test
