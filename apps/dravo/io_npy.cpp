#include "io_npy.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace dravo::cli {
namespace {

struct DtypeEntry {
    NpyElement element;
    char kind;        // numpy's kind letter
    size_t itemsize;  // bytes of the whole element
    const char* name;
};

constexpr DtypeEntry kDtypes[] = {
    {NpyElement::Float64, 'f', 8, "float64"},     {NpyElement::Float32, 'f', 4, "float32"},
    {NpyElement::Int8, 'i', 1, "int8"},           {NpyElement::UInt8, 'u', 1, "uint8"},
    {NpyElement::Int16, 'i', 2, "int16"},         {NpyElement::UInt16, 'u', 2, "uint16"},
    {NpyElement::Int32, 'i', 4, "int32"},         {NpyElement::UInt32, 'u', 4, "uint32"},
    {NpyElement::Int64, 'i', 8, "int64"},         {NpyElement::UInt64, 'u', 8, "uint64"},
    {NpyElement::Bool, 'b', 1, "bool"},           {NpyElement::Complex128, 'c', 16, "complex128"},
    {NpyElement::Complex64, 'c', 8, "complex64"},
};

const DtypeEntry& entryOf(NpyElement e) {
    for (const auto& d : kDtypes)
        if (d.element == e) return d;
    return kDtypes[0];
}

[[noreturn]] void malformed(const std::string& what, const std::string& why) {
    throw ToolError(msg::kMalformedFile, what + ": not a valid .npy file: " + why);
}

// The header is a Python dict literal; we read the three keys numpy writes and nothing else.
std::string skipSpace(const std::string& s, size_t& pos) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos])))
        ++pos;
    return {};
}

std::optional<std::string> readQuoted(const std::string& s, size_t& pos) {
    skipSpace(s, pos);
    if (pos >= s.size() || (s[pos] != '\'' && s[pos] != '"')) return std::nullopt;
    char q = s[pos++];
    size_t end = s.find(q, pos);
    if (end == std::string::npos) return std::nullopt;
    std::string out = s.substr(pos, end - pos);
    pos = end + 1;
    return out;
}

struct Header {
    std::string descr;
    bool fortranOrder = false;
    std::vector<size_t> shape;
};

Header parseHeader(const std::string& h, const std::string& what) {
    Header out;
    bool haveDescr = false, haveOrder = false, haveShape = false;
    size_t pos = 0;
    skipSpace(h, pos);
    if (pos >= h.size() || h[pos] != '{') malformed(what, "header is not a dictionary");
    ++pos;
    while (true) {
        skipSpace(h, pos);
        if (pos < h.size() && h[pos] == '}') break;
        auto key = readQuoted(h, pos);
        if (!key) malformed(what, "header key expected");
        skipSpace(h, pos);
        if (pos >= h.size() || h[pos] != ':') malformed(what, "':' expected in header");
        ++pos;
        skipSpace(h, pos);
        if (*key == "descr") {
            auto d = readQuoted(h, pos);
            // Structured dtypes are lists; they are not arrays of numbers.
            if (!d) throw ToolError(msg::kUnsupportedArray, what + ": structured arrays are not supported");
            out.descr = *d;
            haveDescr = true;
        } else if (*key == "fortran_order") {
            if (h.compare(pos, 4, "True") == 0) {
                out.fortranOrder = true;
                pos += 4;
            } else if (h.compare(pos, 5, "False") == 0) {
                pos += 5;
            } else {
                malformed(what, "fortran_order must be True or False");
            }
            haveOrder = true;
        } else if (*key == "shape") {
            if (pos >= h.size() || h[pos] != '(') malformed(what, "shape must be a tuple");
            ++pos;
            while (true) {
                skipSpace(h, pos);
                if (pos < h.size() && h[pos] == ')') {
                    ++pos;
                    break;
                }
                if (pos >= h.size() || !std::isdigit(static_cast<unsigned char>(h[pos])))
                    malformed(what, "shape must hold non-negative integers");
                size_t v = 0;
                while (pos < h.size() && std::isdigit(static_cast<unsigned char>(h[pos]))) {
                    size_t digit = static_cast<size_t>(h[pos] - '0');
                    if (v > (std::numeric_limits<size_t>::max() - digit) / 10)
                        malformed(what, "shape too large");
                    v = v * 10 + digit;
                    ++pos;
                }
                out.shape.push_back(v);
                if (out.shape.size() > kNpyMaxDims)
                    throw ToolError(msg::kUnsupportedArray,
                                    what + ": more than " + std::to_string(kNpyMaxDims) + " dimensions");
                skipSpace(h, pos);
                if (pos < h.size() && h[pos] == ',') ++pos;
            }
            haveShape = true;
        } else {
            malformed(what, "unexpected header key '" + printable(*key) + "'");
        }
        skipSpace(h, pos);
        if (pos < h.size() && h[pos] == ',') {
            ++pos;
            continue;
        }
        skipSpace(h, pos);
        if (pos < h.size() && h[pos] == '}') break;
        malformed(what, "',' or '}' expected in header");
    }
    if (!haveDescr || !haveOrder || !haveShape) malformed(what, "header lacks descr, fortran_order or shape");
    return out;
}

bool hostIsLittleEndian() {
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

void swapBytes(std::vector<uint8_t>& data, size_t wordSize) {
    for (size_t i = 0; i + wordSize <= data.size(); i += wordSize)
        std::reverse(data.begin() + i, data.begin() + i + wordSize);
}

// Visits every element in column-major order and gives its row-major index too.
template <class F>
void forEachIndexPair(const std::vector<size_t>& shape, F&& f) {
    size_t n = 1;
    for (size_t d : shape)
        n *= d;
    if (n == 0) return;
    size_t nd = shape.size();
    std::vector<size_t> rowStride(nd, 1);
    for (size_t k = nd; k-- > 1;)
        rowStride[k - 1] = rowStride[k] * shape[k];
    std::vector<size_t> idx(nd, 0);
    size_t rowIndex = 0;
    for (size_t colIndex = 0; colIndex < n; ++colIndex) {
        f(colIndex, rowIndex);
        for (size_t k = 0; k < nd; ++k) {
            ++idx[k];
            rowIndex += rowStride[k];
            if (idx[k] < shape[k]) break;
            rowIndex -= rowStride[k] * shape[k];
            idx[k] = 0;
        }
    }
}

}  // namespace

size_t elementBytes(NpyElement e) {
    return entryOf(e).itemsize;
}
std::string npyElementName(NpyElement e) {
    return entryOf(e).name;
}

size_t NpyArray::count() const {
    size_t n = 1;
    for (size_t d : shape)
        n *= d;
    return n;
}

std::vector<uint8_t> columnMajorToRowMajor(const std::vector<uint8_t>& data, const std::vector<size_t>& shape,
                                           size_t elementSize) {
    std::vector<uint8_t> out(data.size());
    forEachIndexPair(shape, [&](size_t col, size_t row) {
        std::memcpy(out.data() + row * elementSize, data.data() + col * elementSize, elementSize);
    });
    return out;
}

std::vector<uint8_t> rowMajorToColumnMajor(const std::vector<uint8_t>& data, const std::vector<size_t>& shape,
                                           size_t elementSize) {
    std::vector<uint8_t> out(data.size());
    forEachIndexPair(shape, [&](size_t col, size_t row) {
        std::memcpy(out.data() + col * elementSize, data.data() + row * elementSize, elementSize);
    });
    return out;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(msg::kUnreadableFile, "cannot read '" + path + "': " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError(msg::kUnreadableFile, "cannot read '" + path + "'");
    return bytes;
}

NpyArray parseNpy(const std::vector<uint8_t>& bytes, const std::string& what) {
    static const uint8_t kMagic[6] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
    if (bytes.size() < 10 || std::memcmp(bytes.data(), kMagic, 6) != 0) malformed(what, "bad magic");
    uint8_t major = bytes[6];
    size_t headerLen = 0, headerStart = 0;
    if (major == 1) {
        headerLen = bytes[8] | (size_t(bytes[9]) << 8);
        headerStart = 10;
    } else if (major == 2 || major == 3) {
        if (bytes.size() < 12) malformed(what, "truncated header");
        headerLen =
            bytes[8] | (size_t(bytes[9]) << 8) | (size_t(bytes[10]) << 16) | (size_t(bytes[11]) << 24);
        headerStart = 12;
    } else {
        malformed(what, "unknown format version " + std::to_string(major));
    }
    if (headerLen > bytes.size() - headerStart) malformed(what, "truncated header");
    Header h =
        parseHeader(std::string(bytes.begin() + headerStart, bytes.begin() + headerStart + headerLen), what);

    // descr: byte order ('<', '>', '|', '='), kind letter, item size.
    const std::string& d = h.descr;
    if (d.size() < 3)
        throw ToolError(msg::kUnsupportedArray, what + ": unsupported dtype '" + printable(d) + "'");
    char order = d[0];
    char kind = d[1];
    size_t itemsize = 0;
    for (size_t i = 2; i < d.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(d[i])) || itemsize > 1000)
            throw ToolError(msg::kUnsupportedArray, what + ": unsupported dtype '" + printable(d) + "'");
        itemsize = itemsize * 10 + size_t(d[i] - '0');
    }
    const DtypeEntry* entry = nullptr;
    for (const auto& e : kDtypes)
        if (e.kind == kind && e.itemsize == itemsize) entry = &e;
    if (!entry || (order != '<' && order != '>' && order != '|' && order != '='))
        throw ToolError(msg::kUnsupportedArray,
                        what + ": unsupported dtype '" + printable(d) +
                            "' (use float64, float32, int8..uint64, bool, complex128 or complex64)");

    NpyArray out;
    out.element = entry->element;
    out.shape = h.shape;
    size_t count = 1;
    for (size_t dim : h.shape) {
        if (dim != 0 && count > std::numeric_limits<size_t>::max() / dim / itemsize)
            malformed(what, "shape too large");
        count *= dim;
    }
    if (count > kNpyMaxElements)
        throw ToolError(msg::kUnsupportedArray,
                        what + ": " + std::to_string(count) + " elements; at most 2147483647 are supported");
    size_t dataStart = headerStart + headerLen;
    size_t need = count * itemsize;
    if (bytes.size() - dataStart < need)
        malformed(what, "truncated data: " + std::to_string(bytes.size() - dataStart) + " bytes for " +
                            std::to_string(need));
    if (bytes.size() - dataStart > need) malformed(what, "trailing bytes after the data");
    std::vector<uint8_t> raw = allocateBytes(need, what);
    if (need) std::memcpy(raw.data(), bytes.data() + dataStart, need);
    bool fileLittle = order == '<' || (order == '=' && hostIsLittleEndian()) || order == '|';
    if (fileLittle != hostIsLittleEndian() && itemsize > 1)
        swapBytes(raw, kind == 'c' ? itemsize / 2 : itemsize);
    out.data = h.fortranOrder ? std::move(raw) : rowMajorToColumnMajor(raw, h.shape, itemsize);
    return out;
}

std::string printable(const std::string& text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::string piece;
        if (c < 0x20 || c >= 0x7f || c == '\\') {
            static const char* kHex = "0123456789abcdef";
            piece = c == '\\' ? std::string("\\\\") : std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
        } else {
            piece = std::string(1, static_cast<char>(c));
        }
        if (out.size() + piece.size() > limit) {
            out += "...";
            break;
        }
        out += piece;
    }
    return out;
}

std::vector<uint8_t> allocateBytes(size_t bytes, const std::string& what) {
    try {
        return std::vector<uint8_t>(bytes);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    throw ToolError(msg::kOutOfMemory,
                    what + ": out of memory (" + std::to_string(bytes) + " bytes asked for)");
}

NpyArray readNpy(const std::string& path) {
    return parseNpy(readFileBytes(path), "'" + path + "'");
}

std::vector<uint8_t> encodeNpy(const NpyArray& array) {
    const DtypeEntry& e = entryOf(array.element);
    std::string descr = std::string(e.itemsize == 1 ? "|" : "<") + e.kind + std::to_string(e.itemsize);
    std::string shape = "(";
    for (size_t i = 0; i < array.shape.size(); ++i)
        shape += std::to_string(array.shape[i]) + ", ";
    if (array.shape.size() > 1)
        shape.resize(shape.size() - 2);
    else if (array.shape.size() == 1)
        shape.resize(shape.size() - 1);
    shape += ")";
    if (array.shape.size() > kNpyMaxDims)
        throw ToolError(msg::kUnsupportedOutput, "a .npy file holds at most " + std::to_string(kNpyMaxDims) +
                                                     " dimensions, not " +
                                                     std::to_string(array.shape.size()));
    std::string header = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': " + shape + ", }";
    // Pad with spaces so the data starts on a 64-byte boundary; the header ends with a newline. Version
    // 1.0 counts the header in 16 bits; a longer one needs 2.0 (32 bits).
    size_t prefix = 10 + header.size() + 1 > 0xffff ? 12 : 10;
    size_t total = prefix + header.size() + 1;
    header.append((64 - total % 64) % 64, ' ');
    header += '\n';
    std::vector<uint8_t> out = {0x93, 'N', 'U', 'M', 'P', 'Y', static_cast<uint8_t>(prefix == 10 ? 1 : 2), 0};
    for (size_t k = 0; k < prefix - 8; ++k)
        out.push_back(static_cast<uint8_t>(header.size() >> (8 * k)));
    out.insert(out.end(), header.begin(), header.end());
    std::vector<uint8_t> data = columnMajorToRowMajor(array.data, array.shape, e.itemsize);
    if (!hostIsLittleEndian() && e.itemsize > 1) swapBytes(data, e.kind == 'c' ? e.itemsize / 2 : e.itemsize);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace dravo::cli

// ---- Streaming access -------------------------------------------------------------------------------

namespace dravo::cli {
namespace {

// Bytes a streaming read or write holds at a time besides the caller's buffer.
constexpr size_t kChunkBytes = size_t(4) << 20;
// Columns transposed together, so both sides of a tile stay in cache.
constexpr size_t kTileColumns = 64;

class FileHandle {
  public:
    FileHandle(const std::string& path, const std::string& what) : what_(what) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw ToolError(msg::kUnreadableFile, "cannot read " + what + ": " + std::strerror(errno));
    }
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    size_t size() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            throw ToolError(msg::kUnreadableFile, "cannot read " + what_ + ": not a regular file");
        return static_cast<size_t>(st.st_size);
    }
    // Exactly n bytes at offset, or a malformed-file error (the file is shorter than its header says).
    void readAt(void* dst, size_t n, size_t offset) const {
        auto* p = static_cast<uint8_t*>(dst);
        while (n > 0) {
            ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                throw ToolError(msg::kUnreadableFile, "cannot read " + what_ + ": " + std::strerror(errno));
            if (got == 0) malformed(what_, "truncated data");
            p += got;
            n -= static_cast<size_t>(got);
            offset += static_cast<size_t>(got);
        }
    }

  private:
    int fd_ = -1;
    std::string what_;
};

void swapInPlace(uint8_t* data, size_t bytes, size_t wordSize) {
    for (size_t i = 0; i + wordSize <= bytes; i += wordSize)
        std::reverse(data + i, data + i + wordSize);
}

// rows x cols row-major block (src) into a column-major matrix of `ldDst` rows starting at row r0 (dst), or
// the other way round: one template for both directions, tiled over columns.
template <size_t N>
struct Item {
    uint8_t b[N];
};

template <size_t N>
void rowsToColumns(const uint8_t* src, size_t rows, size_t cols, uint8_t* dst, size_t ldDst, size_t r0) {
    const auto* s = reinterpret_cast<const Item<N>*>(src);
    auto* d = reinterpret_cast<Item<N>*>(dst);
    for (size_t c0 = 0; c0 < cols; c0 += kTileColumns) {
        size_t c1 = std::min(cols, c0 + kTileColumns);
        for (size_t r = 0; r < rows; ++r)
            for (size_t c = c0; c < c1; ++c)
                d[r0 + r + c * ldDst] = s[r * cols + c];
    }
}

template <size_t N>
void columnsToRows(const uint8_t* src, size_t ldSrc, size_t r0, size_t rows, size_t cols, uint8_t* dst) {
    const auto* s = reinterpret_cast<const Item<N>*>(src);
    auto* d = reinterpret_cast<Item<N>*>(dst);
    for (size_t c0 = 0; c0 < cols; c0 += kTileColumns) {
        size_t c1 = std::min(cols, c0 + kTileColumns);
        for (size_t r = 0; r < rows; ++r)
            for (size_t c = c0; c < c1; ++c)
                d[r * cols + c] = s[r0 + r + c * ldSrc];
    }
}

using RowsToColumns = void (*)(const uint8_t*, size_t, size_t, uint8_t*, size_t, size_t);
using ColumnsToRows = void (*)(const uint8_t*, size_t, size_t, size_t, size_t, uint8_t*);

// The copy routine for an item size: pick is called with the size as a compile-time constant.
template <typename Pick>
auto forItemSize(size_t itemsize, Pick pick) {
    switch (itemsize) {
        case 1:
            return pick(std::integral_constant<size_t, 1>{});
        case 2:
            return pick(std::integral_constant<size_t, 2>{});
        case 4:
            return pick(std::integral_constant<size_t, 4>{});
        case 8:
            return pick(std::integral_constant<size_t, 8>{});
        default:
            return pick(std::integral_constant<size_t, 16>{});
    }
}

RowsToColumns rowsToColumnsFor(size_t itemsize) {
    return forItemSize(itemsize, [](auto n) -> RowsToColumns { return rowsToColumns<decltype(n)::value>; });
}

ColumnsToRows columnsToRowsFor(size_t itemsize) {
    return forItemSize(itemsize, [](auto n) -> ColumnsToRows { return columnsToRows<decltype(n)::value>; });
}

// An N-D array in C order seen as rows of the first dimension by everything else: the position, in
// column-major order of the other dimensions, of each of their C-order positions. Empty when the other
// dimensions are one (2-D arrays), where the positions agree.
std::vector<size_t> restPositions(const std::vector<size_t>& shape) {
    if (shape.size() <= 2) return {};
    size_t rest = 1;
    for (size_t k = 1; k < shape.size(); ++k)
        rest *= shape[k];
    std::vector<size_t> pos(rest);
    std::vector<size_t> idx(shape.size(), 0);
    std::vector<size_t> colStride(shape.size(), 1);
    for (size_t k = 2; k < shape.size(); ++k)
        colStride[k] = colStride[k - 1] * shape[k - 1];
    size_t f = 0;
    for (size_t c = 0; c < rest; ++c) {
        pos[c] = f;
        // Next C-order position: the last dimension fastest.
        for (size_t k = shape.size(); k-- > 1;) {
            ++idx[k];
            f += colStride[k];
            if (idx[k] < shape[k]) break;
            f -= colStride[k] * shape[k];
            idx[k] = 0;
        }
    }
    return pos;
}

std::string npyHeaderBytes(NpyElement element, const std::vector<size_t>& shape) {
    const DtypeEntry& e = entryOf(element);
    std::string descr = std::string(e.itemsize == 1 ? "|" : "<") + e.kind + std::to_string(e.itemsize);
    std::string dims;
    for (size_t i = 0; i < shape.size(); ++i)
        dims += (i ? ", " : "") + std::to_string(shape[i]);
    if (shape.size() == 1) dims += ",";
    std::string header = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (" + dims + "), }";
    size_t total = 10 + header.size() + 1;
    header.append((64 - total % 64) % 64, ' ');
    header += '\n';
    std::string out = {'\x93', 'N', 'U', 'M', 'P', 'Y', 1, 0};
    out += static_cast<char>(header.size() & 0xff);
    out += static_cast<char>(header.size() >> 8);
    return out + header;
}

void writeAll(int fd, const uint8_t* p, size_t n, const std::string& what) {
    while (n > 0) {
        ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            throw ToolError(msg::kUnwritableFile, "cannot write " + what + ": " + std::strerror(errno));
        p += put;
        n -= static_cast<size_t>(put);
    }
}

}  // namespace

size_t NpyLayout::count() const {
    size_t n = 1;
    for (size_t d : shape)
        n *= d;
    return n;
}

size_t NpyLayout::dataBytes() const {
    return count() * elementBytes(element);
}

NpyLayout readNpyLayout(const std::string& path) {
    std::string what = "'" + path + "'";
    FileHandle file(path, what);
    size_t fileSize = file.size();
    static const uint8_t kMagic[6] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
    uint8_t head[12] = {};
    if (fileSize < 10) malformed(what, "bad magic");
    file.readAt(head, std::min<size_t>(12, fileSize), 0);
    if (std::memcmp(head, kMagic, 6) != 0) malformed(what, "bad magic");
    const uint8_t major = head[6];
    if (major != 1 && major != 2 && major != 3)
        malformed(what, "unknown format version " + std::to_string(major));
    if (major != 1 && fileSize < 12) malformed(what, "truncated header");
    size_t headerStart = major == 1 ? 10 : 12;
    size_t headerLen = major == 1 ? size_t(head[8]) | (size_t(head[9]) << 8)
                                  : size_t(head[8]) | (size_t(head[9]) << 8) | (size_t(head[10]) << 16) |
                                        (size_t(head[11]) << 24);
    if (headerLen > fileSize - headerStart) malformed(what, "truncated header");
    std::string headerChars(headerLen, '\0');
    file.readAt(headerChars.data(), headerLen, headerStart);
    Header h = parseHeader(headerChars, what);
    // The dtype goes through the whole-file parser, on an empty array of it, so that its checks and
    // messages are the same.
    std::string zeroShape = "{'descr': '" + h.descr + "', 'fortran_order': False, 'shape': (0,), }";
    std::vector<uint8_t> zero = {0x93,
                                 'N',
                                 'U',
                                 'M',
                                 'P',
                                 'Y',
                                 1,
                                 0,
                                 uint8_t(zeroShape.size() & 0xff),
                                 uint8_t(zeroShape.size() >> 8)};
    zero.insert(zero.end(), zeroShape.begin(), zeroShape.end());
    NpyArray kind = parseNpy(zero, what);

    NpyLayout layout;
    layout.element = kind.element;
    layout.shape = h.shape;
    layout.fortranOrder = h.fortranOrder;
    char order = h.descr[0];
    bool fileLittle = order == '<' || order == '|' || (order == '=' && hostIsLittleEndian());
    layout.swapBytes = fileLittle != hostIsLittleEndian() && elementBytes(kind.element) > 1;
    layout.dataOffset = headerStart + headerLen;
    size_t itemsize = elementBytes(kind.element);
    size_t count = 1;
    for (size_t dim : h.shape) {
        if (dim != 0 && count > std::numeric_limits<size_t>::max() / dim / itemsize)
            malformed(what, "shape too large");
        count *= dim;
    }
    size_t have = fileSize - layout.dataOffset;
    if (have < count * itemsize)
        malformed(what, "truncated data: " + std::to_string(have) + " bytes for " +
                            std::to_string(count * itemsize));
    if (have > count * itemsize) malformed(what, "trailing bytes after the data");
    return layout;
}

void readNpyInto(const std::string& path, const NpyLayout& layout, void* dstVoid) {
    std::string what = "'" + path + "'";
    FileHandle file(path, what);
    if (file.size() != layout.dataOffset + layout.dataBytes())
        throw ToolError(msg::kMalformedFile, what + " changed while the run was going on");
    auto* dst = static_cast<uint8_t*>(dstVoid);
    const size_t itemsize = elementBytes(layout.element);
    const size_t wordSize = entryOf(layout.element).kind == 'c' ? itemsize / 2 : itemsize;
    const size_t n = layout.count();
    if (n == 0) return;
    if (layout.fortranOrder || layout.shape.size() <= 1) {
        file.readAt(dst, n * itemsize, layout.dataOffset);
        if (layout.swapBytes) swapInPlace(dst, n * itemsize, wordSize);
        return;
    }
    // C order: rows of the first dimension, read a chunk of rows at a time and transposed into place.
    const size_t rows = layout.shape[0];
    const size_t rest = n / rows;
    const size_t rowBytes = rest * itemsize;
    const size_t rowsPerChunk = std::max<size_t>(1, kChunkBytes / rowBytes);
    std::vector<uint8_t> chunk(std::min(rows, rowsPerChunk) * rowBytes);
    const std::vector<size_t> pos = restPositions(layout.shape);
    RowsToColumns transpose = rowsToColumnsFor(itemsize);
    for (size_t r0 = 0; r0 < rows; r0 += rowsPerChunk) {
        size_t count = std::min(rowsPerChunk, rows - r0);
        file.readAt(chunk.data(), count * rowBytes, layout.dataOffset + r0 * rowBytes);
        if (layout.swapBytes) swapInPlace(chunk.data(), count * rowBytes, wordSize);
        if (pos.empty()) {
            transpose(chunk.data(), count, rest, dst, rows, r0);
            continue;
        }
        for (size_t r = 0; r < count; ++r)
            for (size_t c = 0; c < rest; ++c)
                std::memcpy(dst + (r0 + r + pos[c] * rows) * itemsize,
                            chunk.data() + (r * rest + c) * itemsize, itemsize);
    }
}

void writeNpyFromColumnMajor(int fd, NpyElement element, const std::vector<size_t>& shape,
                             const void* dataVoid, const std::string& what) {
    std::string header = npyHeaderBytes(element, shape);
    if (header.size() > 0xffff + 10)
        throw ToolError(msg::kUnsupportedOutput, what + ": too many dimensions for a .npy header");
    writeAll(fd, reinterpret_cast<const uint8_t*>(header.data()), header.size(), what);
    const auto* src = static_cast<const uint8_t*>(dataVoid);
    const size_t itemsize = elementBytes(element);
    const size_t wordSize = entryOf(element).kind == 'c' ? itemsize / 2 : itemsize;
    size_t n = 1;
    for (size_t d : shape)
        n *= d;
    if (n == 0) return;
    const bool swap = !hostIsLittleEndian() && itemsize > 1;
    if (shape.size() <= 1 && !swap) {
        writeAll(fd, src, n * itemsize, what);
        return;
    }
    const size_t rows = shape.empty() ? 1 : shape[0];
    const size_t rest = n / rows;
    const size_t rowBytes = rest * itemsize;
    const size_t rowsPerChunk = std::max<size_t>(1, kChunkBytes / rowBytes);
    std::vector<uint8_t> chunk(std::min(rows, rowsPerChunk) * rowBytes);
    const std::vector<size_t> pos = restPositions(shape);
    ColumnsToRows transpose = columnsToRowsFor(itemsize);
    for (size_t r0 = 0; r0 < rows; r0 += rowsPerChunk) {
        size_t count = std::min(rowsPerChunk, rows - r0);
        if (pos.empty()) {
            transpose(src, rows, r0, count, rest, chunk.data());
        } else {
            for (size_t r = 0; r < count; ++r)
                for (size_t c = 0; c < rest; ++c)
                    std::memcpy(chunk.data() + (r * rest + c) * itemsize,
                                src + (r0 + r + pos[c] * rows) * itemsize, itemsize);
        }
        if (swap) swapInPlace(chunk.data(), count * rowBytes, wordSize);
        writeAll(fd, chunk.data(), count * rowBytes, what);
    }
}

}  // namespace dravo::cli
