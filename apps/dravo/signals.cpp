#include "signals.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "errors.h"
#include "values.h"

namespace dravo::cli {
namespace types = dravo::types;

namespace {

struct BuiltinMap {
    NpyElement element;
    DataTypeId id;
    bool complex;
};

constexpr BuiltinMap kBuiltins[] = {
    {NpyElement::Float64, SS_DOUBLE, false},  {NpyElement::Float32, SS_SINGLE, false},
    {NpyElement::Int8, SS_INT8, false},       {NpyElement::UInt8, SS_UINT8, false},
    {NpyElement::Int16, SS_INT16, false},     {NpyElement::UInt16, SS_UINT16, false},
    {NpyElement::Int32, SS_INT32, false},     {NpyElement::UInt32, SS_UINT32, false},
    {NpyElement::Bool, SS_BOOLEAN, false},    {NpyElement::Complex128, SS_DOUBLE, true},
    {NpyElement::Complex64, SS_SINGLE, true},
};

bool isIntegerElement(NpyElement e) {
    switch (e) {
        case NpyElement::Int8:
        case NpyElement::UInt8:
        case NpyElement::Int16:
        case NpyElement::UInt16:
        case NpyElement::Int32:
        case NpyElement::UInt32:
        case NpyElement::Int64:
        case NpyElement::UInt64:
            return true;
        default:
            return false;
    }
}

bool isSignedElement(NpyElement e) {
    return e == NpyElement::Int8 || e == NpyElement::Int16 || e == NpyElement::Int32 ||
           e == NpyElement::Int64;
}

std::vector<int32_t> dimsOfShape(const std::vector<size_t>& shape, const std::string& what) {
    if (shape.empty()) return {1, 1};  // a 0-d array is a scalar
    std::vector<int32_t> dims;
    for (size_t d : shape) {
        if (d > 0x7fffffff) throw ToolError(msg::kUnsupportedArray, what + ": a dimension exceeds 2^31-1");
        dims.push_back(static_cast<int32_t>(d));
    }
    return dims;
}

// Sign- or zero-extends a stored integer of `bytes` bytes to 64 bits.
int64_t loadInteger(const uint8_t* p, size_t bytes, bool isSigned) {
    uint64_t u = 0;
    std::memcpy(&u, p, std::min<size_t>(bytes, 8));  // little-endian host
    if (bytes < 8) {
        unsigned shift = unsigned(64 - 8 * bytes);
        if (isSigned) return static_cast<int64_t>(u << shift) >> shift;
        return static_cast<int64_t>(u);
    }
    return static_cast<int64_t>(u);
}

std::string int128Text(__int128 v) {
    if (v == 0) return "0";
    bool negative = v < 0;
    unsigned __int128 u = negative ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string digits;
    for (; u; u /= 10)
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    return negative ? "-" + digits : digits;
}

// The index in C order of the element at column-major position k: its subscripts, first dimension
// fastest, folded with the last dimension fastest.
size_t rowMajorIndex(size_t k, const std::vector<size_t>& shape) {
    size_t index = 0;
    for (size_t d : shape) {
        size_t sub = d ? k % d : 0;
        k = d ? k / d : 0;
        index = index * d + sub;
    }
    return index;
}

// Checks that stored integers of a fixed-point type lie within its word, so that the container holds
// what the host would have made by sign or zero extension. A refusal names the value as the file holds
// it and its index in C order, as a person reading the file would count.
void checkFixedRange(const std::vector<uint8_t>& bytes, size_t elementSize, bool fileSigned,
                     const types::TypeInfo& t, const std::string& what, const std::vector<size_t>& shape) {
    if (t.wordLength >= 127) return;  // every 64-bit file value fits
    __int128 lo = t.isSigned ? -(__int128(1) << (t.wordLength - 1)) : 0;
    __int128 hi = t.isSigned ? (__int128(1) << (t.wordLength - 1)) - 1 : (__int128(1) << t.wordLength) - 1;
    for (size_t i = 0; i + elementSize <= bytes.size(); i += elementSize) {
        __int128 v;
        if (elementSize == 8 && !fileSigned) {
            uint64_t u;
            std::memcpy(&u, bytes.data() + i, 8);
            v = u;
        } else {
            v = loadInteger(bytes.data() + i, elementSize, fileSigned);
        }
        if (v < lo || v > hi)
            throw ToolError(msg::kBadValue, what + ": stored integer " + int128Text(v) + " at element " +
                                                std::to_string(rowMajorIndex(i / elementSize, shape)) +
                                                " does not fit " + t.name);
    }
}

// Re-stores integers of the file's size into the type's container (sign or zero extension).
std::vector<uint8_t> toContainer(const std::vector<uint8_t>& bytes, size_t fileSize, bool fileSigned,
                                 const types::TypeInfo& t) {
    size_t n = bytes.size() / fileSize;
    size_t cb = static_cast<size_t>(t.containerBytes);
    std::vector<uint8_t> out(n * cb);
    for (size_t i = 0; i < n; ++i) {
        int64_t v = loadInteger(bytes.data() + i * fileSize, fileSize, fileSigned);
        // The value was checked to fit the word, so its sign is the file value's sign.
        uint8_t fill = (fileSigned && v < 0) ? 0xff : 0x00;
        std::memset(out.data() + i * cb, fill, cb);
        std::memcpy(out.data() + i * cb, &v, std::min<size_t>(cb, 8));
    }
    return out;
}

// A boolean is one byte holding 0 or 1; numpy reads any non-zero byte as true, and so do we.
void normaliseBooleans(Signal& s) {
    if (s.dataType != SS_BOOLEAN) return;
    for (auto& b : s.bytes)
        b = b != 0;
}

}  // namespace

size_t Signal::count() const {
    size_t n = 1;
    for (int32_t d : dims)
        n *= static_cast<size_t>(d);
    return n;
}

std::string extensionOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (auto& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

Signal signalFromNpy(const NpyArray& array, std::optional<DataTypeId> asType, const std::string& what) {
    Signal s;
    s.dims = dimsOfShape(array.shape, what);
    const BuiltinMap* builtin = nullptr;
    for (const auto& b : kBuiltins)
        if (b.element == array.element) builtin = &b;
    if (!asType) {
        if (!builtin)
            throw ToolError(msg::kUnsupportedArray,
                            what + ": " + npyElementName(array.element) +
                                " arrays hold no built-in type; give the fixed-point type with --input-type");
        s.dataType = builtin->id;
        s.complex = builtin->complex;
        s.bytes = array.data;
        normaliseBooleans(s);
        return s;
    }
    const types::TypeInfo& t = types::info(*asType);
    if (t.kind == types::Kind::FixedPoint) {
        if (!isIntegerElement(array.element))
            throw UsageError(msg::kUnsupportedArray, what + ": " + t.name + " needs stored integers, not " +
                                                         npyElementName(array.element));
        // Any integer dtype will do (numpy makes int64 by default): each value must fit the word.
        size_t fileSize = elementBytes(array.element);
        checkFixedRange(array.data, fileSize, isSignedElement(array.element), t, what, array.shape);
        s.dataType = *asType;
        s.bytes = toContainer(array.data, fileSize, isSignedElement(array.element), t);
        return s;
    }
    if (t.kind == types::Kind::ScaledDouble) {
        if (array.element != NpyElement::Float64)
            throw UsageError(msg::kUnsupportedArray, what + ": " + t.name + " needs float64 data");
        s.dataType = *asType;
        s.bytes = array.data;
        return s;
    }
    if (!builtin || builtin->id != *asType)
        throw UsageError(msg::kUnsupportedArray,
                         what + ": the file holds " + npyElementName(array.element) + ", not " + t.name);
    s.dataType = builtin->id;
    s.complex = builtin->complex;
    s.bytes = array.data;
    normaliseBooleans(s);
    return s;
}

Signal signalFromPng(const PngImage& image, std::optional<DataTypeId> asType, const std::string& what) {
    Signal s;
    s.dims = {static_cast<int32_t>(image.rows), static_cast<int32_t>(image.cols)};
    if (image.channels == 3) s.dims.push_back(3);
    size_t n = image.rows * image.cols * static_cast<size_t>(image.channels);
    DataTypeId natural = image.bitDepth == 16 ? SS_UINT16 : SS_UINT8;
    DataTypeId want = asType.value_or(natural);
    const types::TypeInfo& t = types::info(want);
    double full = image.bitDepth == 16 ? 65535.0 : 255.0;
    auto sample = [&](size_t i) -> uint32_t {
        if (image.bitDepth == 8) return image.data[i];
        uint16_t v;
        std::memcpy(&v, image.data.data() + 2 * i, 2);
        return v;
    };
    s.dataType = want;
    if (want == natural) {
        s.bytes = image.data;
    } else if (want == SS_DOUBLE || want == SS_SINGLE) {
        // Floating images span [0, 1].
        s.bytes.resize(n * (want == SS_DOUBLE ? 8 : 4));
        for (size_t i = 0; i < n; ++i) {
            double v = sample(i) / full;
            if (want == SS_DOUBLE) {
                std::memcpy(s.bytes.data() + 8 * i, &v, 8);
            } else {
                float f = static_cast<float>(v);
                std::memcpy(s.bytes.data() + 4 * i, &f, 4);
            }
        }
    } else if (t.kind == types::Kind::FixedPoint && !t.isSigned && t.wordLength == image.bitDepth) {
        // The samples are the stored integers of an unsigned fixed-point type of the same width.
        s.bytes = toContainer(image.data, image.bitDepth / 8, false, t);
    } else {
        throw UsageError(msg::kUnsupportedArray,
                         what + ": a " + std::to_string(image.bitDepth) + "-bit PNG reads as " +
                             types::typeName(natural) + ", double, single or an unsigned " +
                             std::to_string(image.bitDepth) + "-bit fixed-point type, not " + t.name);
    }
    return s;
}

Signal signalFromNumber(double value, std::optional<DataTypeId> asType, const std::string& what) {
    Signal s;
    s.dims = {1, 1};
    DataTypeId want = asType.value_or(SS_DOUBLE);
    const types::TypeInfo& t = types::info(want);
    s.dataType = want;
    switch (want) {
        case SS_DOUBLE: {
            s.bytes.resize(8);
            std::memcpy(s.bytes.data(), &value, 8);
            return s;
        }
        case SS_SINGLE: {
            float f = static_cast<float>(value);
            s.bytes.resize(4);
            std::memcpy(s.bytes.data(), &f, 4);
            return s;
        }
        default:
            break;
    }
    if (t.kind == types::Kind::ScaledDouble) {
        s.bytes.resize(8);
        std::memcpy(s.bytes.data(), &value, 8);
        return s;
    }
    // Integers, booleans and fixed point: the literal is the real-world value and must be exact.
    double stored = t.kind == types::Kind::FixedPoint ? std::ldexp(value, t.fracLength) : value;
    // Bounds are powers of two (exact in a double) and the upper one is excluded, so the integer
    // conversion below cannot overflow; a literal the scaling changes (underflow) does not fit either.
    double lo, hiExcluded;
    if (t.kind == types::Kind::Boolean) {
        lo = 0;
        hiExcluded = 2;
    } else {
        int wl = std::min(t.wordLength, 64);
        lo = t.isSigned ? -std::ldexp(1.0, wl - 1) : 0.0;
        hiExcluded = t.isSigned ? std::ldexp(1.0, wl - 1) : std::ldexp(1.0, wl);
    }
    bool exact = t.kind != types::Kind::FixedPoint || std::ldexp(stored, -t.fracLength) == value;
    if (!(stored >= lo && stored < hiExcluded) || stored != std::floor(stored) || !exact)
        throw UsageError(msg::kBadValue, what + ": " + formatNumber(value) + " is not a value of " + t.name);
    s.bytes.resize(static_cast<size_t>(t.containerBytes));
    types::storeRealWorld(value, want, s.bytes.data());
    return s;
}

Signal readSignalFile(const std::string& path, std::optional<DataTypeId> asType,
                      std::vector<std::string>& warnings) {
    std::string ext = extensionOf(path);
    std::string what = "'" + path + "'";
    if (ext == ".npy") return signalFromNpy(readNpy(path), asType, what);
    if (ext == ".png") {
        PngImage img = readPng(path);
        if (img.droppedAlpha) warnings.push_back(what + ": alpha channel ignored");
        return signalFromPng(img, asType, what);
    }
    throw UsageError(msg::kUsage, what + ": inputs are .npy or .png files or numbers");
}

std::vector<double> realWorldValues(const Signal& s, std::vector<double>* imag) {
    const types::TypeInfo& t = types::info(s.dataType);
    size_t n = s.count();
    size_t elem = static_cast<size_t>(t.containerBytes);
    size_t stride = elem * (s.complex ? 2 : 1);
    auto read = [&](size_t offset, std::vector<double>& out) {
        out.resize(n);
        for (size_t i = 0; i < n; ++i)
            out[i] = types::loadRealWorld(s.dataType, s.bytes.data() + offset + i * stride);
    };
    std::vector<double> re;
    read(0, re);
    if (imag) {
        imag->clear();
        if (s.complex) read(elem, *imag);
    }
    return re;
}

std::vector<uint8_t> encodeSignal(const Signal& s, const std::string& path, bool realWorld,
                                  std::vector<std::string>& warnings) {
    const types::TypeInfo& t = types::info(s.dataType);
    std::string ext = extensionOf(path);
    std::vector<size_t> shape(s.dims.begin(), s.dims.end());
    if (ext == ".npy") {
        NpyArray a;
        a.shape = shape;
        bool asDoubles = realWorld && s.dataType != SS_DOUBLE && s.dataType != SS_SINGLE;
        if (asDoubles || t.kind == types::Kind::ScaledDouble) {
            std::vector<double> im;
            std::vector<double> re = realWorldValues(s, &im);
            a.element = s.complex ? NpyElement::Complex128 : NpyElement::Float64;
            a.data.resize(re.size() * (s.complex ? 16 : 8));
            for (size_t i = 0; i < re.size(); ++i) {
                if (s.complex) {
                    std::memcpy(a.data.data() + 16 * i, &re[i], 8);
                    std::memcpy(a.data.data() + 16 * i + 8, &im[i], 8);
                } else {
                    std::memcpy(a.data.data() + 8 * i, &re[i], 8);
                }
            }
            return encodeNpy(a);
        }
        for (const auto& b : kBuiltins)
            if (b.id == s.dataType && b.complex == s.complex && t.kind != types::Kind::FixedPoint) {
                a.element = b.element;
                a.data = s.bytes;
                return encodeNpy(a);
            }
        if (t.kind == types::Kind::FixedPoint && !s.complex && t.containerBytes <= 8) {
            static const NpyElement kSigned[] = {NpyElement::Int8, NpyElement::Int16, NpyElement::Int32,
                                                 NpyElement::Int64};
            static const NpyElement kUnsigned[] = {NpyElement::UInt8, NpyElement::UInt16, NpyElement::UInt32,
                                                   NpyElement::UInt64};
            int k = t.containerBytes == 1 ? 0 : t.containerBytes == 2 ? 1 : t.containerBytes == 4 ? 2 : 3;
            a.element = t.isSigned ? kSigned[k] : kUnsigned[k];
            a.data = s.bytes;
            return encodeNpy(a);
        }
        throw ToolError(msg::kUnsupportedOutput, "'" + path + "': a .npy file cannot hold " +
                                                     (s.complex ? "complex " : "") + t.name +
                                                     " stored integers; use --real-world");
    }
    if (ext == ".png") {
        if (s.complex)
            throw ToolError(msg::kUnsupportedOutput, "'" + path + "': a PNG cannot hold a complex signal");
        PngImage img;
        if (s.dims.size() == 2 || (s.dims.size() == 3 && (s.dims[2] == 1 || s.dims[2] == 3))) {
            img.rows = static_cast<size_t>(s.dims[0]);
            img.cols = static_cast<size_t>(s.dims[1]);
            img.channels = s.dims.size() == 3 ? s.dims[2] : 1;
        } else {
            std::string dimsText;
            for (size_t i = 0; i < s.dims.size(); ++i)
                dimsText += (i ? "x" : "") + std::to_string(s.dims[i]);
            throw ToolError(msg::kUnsupportedOutput,
                            "'" + path + "': a PNG holds rows x cols or rows x cols x 3, not " + dimsText);
        }
        size_t n = s.count();
        // An unsigned 8- or 16-bit word with no fraction bits is a plain pixel word, whatever its id.
        const bool unsignedPixelWord = t.kind == types::Kind::FixedPoint && !t.isSigned &&
                                       t.fracLength == 0 && (t.wordLength == 8 || t.wordLength == 16);
        if (s.dataType == SS_UINT8 || s.dataType == SS_UINT16 || unsignedPixelWord) {
            img.bitDepth = t.containerBytes == 1 ? 8 : 16;
            img.data = s.bytes;
        } else if (s.dataType == SS_BOOLEAN) {
            img.data.resize(n);
            for (size_t i = 0; i < n; ++i)
                img.data[i] = s.bytes[i] ? 255 : 0;
        } else if (s.dataType == SS_DOUBLE || s.dataType == SS_SINGLE) {
            // Floating images span [0, 1]; what lies outside is clamped, and the user is told.
            std::vector<double> v = realWorldValues(s);
            img.bitDepth = 16;
            img.data.resize(2 * n);
            size_t clamped = 0;
            for (size_t i = 0; i < n; ++i) {
                double x = v[i];
                if (!(x >= 0.0 && x <= 1.0)) {
                    ++clamped;
                    x = (x > 1.0) ? 1.0 : 0.0;  // NaN becomes 0
                }
                uint16_t q = static_cast<uint16_t>(std::lround(x * 65535.0));
                std::memcpy(img.data.data() + 2 * i, &q, 2);
            }
            if (clamped)
                warnings.push_back("'" + path + "': " + std::to_string(clamped) +
                                   " values outside [0, 1] clamped in the PNG");
        } else {
            throw ToolError(msg::kUnsupportedOutput,
                            "'" + path + "': a PNG cannot hold " + t.name +
                                " (uint8, uint16, boolean, double or single); use .npy");
        }
        return encodePng(img);
    }
    throw UsageError(msg::kUsage, "'" + path + "': outputs are .npy or .png files");
}

}  // namespace dravo::cli
