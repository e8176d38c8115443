// Test-side builders of .npy bytes, written from the file format itself (not through dravo's writer),
// and small file helpers.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dravo::test {

// descr e.g. "<f8"; shape as written in the header, e.g. "(2, 3)"; data exactly as it goes in the file.
inline std::vector<uint8_t> npyBytes(const std::string& descr, bool fortran, const std::string& shape,
                                     const std::vector<uint8_t>& data, int version = 1) {
    std::string header = "{'descr': '" + descr + "', 'fortran_order': " + (fortran ? "True" : "False") +
                         ", 'shape': " + shape + ", }";
    size_t prefix = version == 1 ? 10 : 12;
    while ((prefix + header.size() + 1) % 64)
        header += ' ';
    header += '\n';
    std::vector<uint8_t> out = {0x93, 'N', 'U', 'M', 'P', 'Y', static_cast<uint8_t>(version), 0};
    size_t len = header.size();
    out.push_back(len & 0xff);
    out.push_back((len >> 8) & 0xff);
    if (version != 1) {
        out.push_back((len >> 16) & 0xff);
        out.push_back((len >> 24) & 0xff);
    }
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

template <class T>
std::vector<uint8_t> bytesOf(const std::vector<T>& v) {
    std::vector<uint8_t> out(v.size() * sizeof(T));
    if (!v.empty()) std::memcpy(out.data(), v.data(), out.size());
    return out;
}

template <class T>
std::vector<T> valuesOf(const std::vector<uint8_t>& b) {
    std::vector<T> out(b.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), b.data(), out.size() * sizeof(T));
    return out;
}

inline void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A fresh, empty folder under the system's temporary folder, removed by the destructor.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "dravo-test-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path_ = mkdtemp(buf.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }
    // Names of the files in the folder (to check that nothing, not even a temporary, was left).
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        return out;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace dravo::test
