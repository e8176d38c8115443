// numpy arrays to and from the host's signals. Inputs go through the same conversion as the command
// line's .npy files, so a block sees the same bytes either way; outputs come back in the host's
// column-major layout as Fortran-ordered arrays (no transposing copy).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "signals.h"

namespace dravo::python {

namespace py = pybind11;

// `value`: a numpy array (or anything numpy turns into one) of a supported dtype, or a dravo.FixedArray
// (stored integers and a type name). TypeError for an unsupported dtype; ValueError for a stored integer
// that does not fit its type.
cli::Signal signalFromPython(const py::handle& value, const std::string& what);

// realWorld: fixed-point and scaled types as float64 values; otherwise fixed point comes back as a
// dravo.FixedArray of stored integers.
py::object signalToPython(const cli::Signal& s, bool realWorld);

}  // namespace dravo::python
