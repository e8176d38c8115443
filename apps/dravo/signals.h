// Signals as the host sees them (data type id, complexity, dimensions rows first, column-major stored
// bytes, complex interleaved) and their conversion from and to .npy files, PNG images and numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dravo/host/types.h"
#include "io_npy.h"
#include "io_png.h"

namespace dravo::cli {

struct Signal {
    DataTypeId dataType = -1;
    bool complex = false;
    std::vector<int32_t> dims;  // rows first
    std::vector<uint8_t> bytes;

    size_t count() const;
};

// asType: what --input-type gave for the port. Throws ToolError / UsageError naming `what`.
Signal signalFromNpy(const NpyArray& array, std::optional<DataTypeId> asType, const std::string& what);
Signal signalFromPng(const PngImage& image, std::optional<DataTypeId> asType, const std::string& what);
Signal signalFromNumber(double value, std::optional<DataTypeId> asType, const std::string& what);
// Reads a .npy or .png file by its extension (any other extension is a usage error). Warnings (such
// as a dropped alpha channel) are appended.
Signal readSignalFile(const std::string& path, std::optional<DataTypeId> asType,
                      std::vector<std::string>& warnings);

// Each element as a double real-world value (fixed point scaled by 2^-FL), real parts then imaginary.
std::vector<double> realWorldValues(const Signal& s, std::vector<double>* imag = nullptr);

// Encodes a signal for a file named `path` (by extension). realWorld: .npy of doubles instead of the
// stored type. Throws ToolError (unsupportedOutput) for what the format cannot hold.
std::vector<uint8_t> encodeSignal(const Signal& s, const std::string& path, bool realWorld,
                                  std::vector<std::string>& warnings);

// "lowercase extension" of a path, with the dot: ".npy".
std::string extensionOf(const std::string& path);

}  // namespace dravo::cli
