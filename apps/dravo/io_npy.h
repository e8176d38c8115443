// .npy files (format versions 1.0, 2.0 and 3.0). Arrays are held column-major (first index fastest), the
// order the host uses; the shape is the signal's dimensions, rows first. Files in C order are transposed
// on read; files are written in C order. Little- and big-endian files are read; files are written
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dravo::cli {

enum class NpyElement {
    Float64,
    Float32,
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Bool,
    Complex128,
    Complex64
};

size_t elementBytes(NpyElement e);         // whole element (a complex128 is 16)
std::string npyElementName(NpyElement e);  // numpy's name: "float64", "complex64", "bool", ...

struct NpyArray {
    NpyElement element = NpyElement::Float64;
    std::vector<size_t> shape;  // () for a 0-d array
    std::vector<uint8_t> data;  // column-major, native byte order, complex interleaved

    size_t count() const;
};

// Most dimensions a file may have (numpy's own limit); more is refused on read and on write.
inline constexpr size_t kNpyMaxDims = 32;
// Most elements an array may hold (the host's limit).
inline constexpr size_t kNpyMaxElements = 0x7fffffff;

// Throws ToolError: unreadableFile, malformedFile (bad magic, header, size), unsupportedArray (dtype,
// more than kNpyMaxDims dimensions or kNpyMaxElements elements).
NpyArray readNpy(const std::string& path);
NpyArray parseNpy(const std::vector<uint8_t>& bytes, const std::string& what);
// Format version 1.0 when the header fits it, else 2.0. Throws ToolError (unsupportedOutput) for more
// than kNpyMaxDims dimensions.
std::vector<uint8_t> encodeNpy(const NpyArray& array);

// Text of the file shown in a message: control and non-ASCII bytes escaped (\xNN), at most `limit`
// characters of it, with "..." when shortened.
std::string printable(const std::string& text, size_t limit = 64);

// A buffer of `bytes` bytes, or ToolError outOfMemory naming the size and what it was for.
std::vector<uint8_t> allocateBytes(size_t bytes, const std::string& what);

// Reorders between column-major and row-major (C) for any number of dimensions.
std::vector<uint8_t> columnMajorToRowMajor(const std::vector<uint8_t>& data, const std::vector<size_t>& shape,
                                           size_t elementSize);
std::vector<uint8_t> rowMajorToColumnMajor(const std::vector<uint8_t>& data, const std::vector<size_t>& shape,
                                           size_t elementSize);

// Streaming access for large arrays: the header alone, the data read straight into a caller's buffer in
// column-major order (transposed while reading, in tiles), and an array written from a column-major
// buffer in C order without a copy of the whole array.
struct NpyLayout {
    NpyElement element = NpyElement::Float64;
    std::vector<size_t> shape;
    bool fortranOrder = false;
    bool swapBytes = false;  // the file's byte order is not the host's
    size_t dataOffset = 0;   // where the data starts in the file
    size_t count() const;
    size_t dataBytes() const;
};
// Reads and checks the header; the file must hold exactly the data the header declares. Throws like
// readNpy.
NpyLayout readNpyLayout(const std::string& path);
// Reads the data into dst (layout.dataBytes() bytes): column-major, native byte order. ToolError when the
// file no longer matches the layout.
void readNpyInto(const std::string& path, const NpyLayout& layout, void* dst);
// Writes a version-1 little-endian C-order .npy of column-major `data` to the open file descriptor.
// ToolError (unwritableFile, naming `what`) on a write failure.
void writeNpyFromColumnMajor(int fd, NpyElement element, const std::vector<size_t>& shape, const void* data,
                             const std::string& what);

// Reads a whole file (ToolError unreadableFile).
std::vector<uint8_t> readFileBytes(const std::string& path);

}  // namespace dravo::cli
