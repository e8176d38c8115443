#include "arrays.h"

#include <cstring>
#include <stdexcept>

#include "dravo/host/types.h"
#include "errors.h"

namespace dravo::python {

namespace {

std::optional<cli::NpyElement> elementOfDtype(const py::dtype& dt) {
    using cli::NpyElement;
    const char kind = dt.kind();
    const size_t size = static_cast<size_t>(dt.itemsize());
    switch (kind) {
        case 'f':
            if (size == 8) return NpyElement::Float64;
            if (size == 4) return NpyElement::Float32;
            break;
        case 'c':
            if (size == 16) return NpyElement::Complex128;
            if (size == 8) return NpyElement::Complex64;
            break;
        case 'b':
            return NpyElement::Bool;
        case 'i':
            if (size == 1) return NpyElement::Int8;
            if (size == 2) return NpyElement::Int16;
            if (size == 4) return NpyElement::Int32;
            if (size == 8) return NpyElement::Int64;
            break;
        case 'u':
            if (size == 1) return NpyElement::UInt8;
            if (size == 2) return NpyElement::UInt16;
            if (size == 4) return NpyElement::UInt32;
            if (size == 8) return NpyElement::UInt64;
            break;
        default:
            break;
    }
    return std::nullopt;
}

// Any memory order, views included: numpy makes the Fortran-ordered native-endian copy in C.
cli::NpyArray npyOf(const py::array& in, const std::string& what) {
    py::dtype dt = in.dtype();
    std::optional<cli::NpyElement> element = elementOfDtype(dt);
    if (!element)
        throw py::type_error(
            what + ": arrays of dtype " + std::string(py::str(dt)) +
            " are not supported (use float64, float32, complex, bool or 8- to 32-bit integers)");
    py::array native =
        dt.attr("isnative").cast<bool>() ? in : py::array(in.attr("astype")(dt.attr("newbyteorder")("=")));
    auto fortran = py::array::ensure(native, py::array::f_style);
    if (!fortran) throw py::error_already_set();
    cli::NpyArray a;
    a.element = *element;
    for (py::ssize_t d = 0; d < fortran.ndim(); ++d)
        a.shape.push_back(static_cast<size_t>(fortran.shape(d)));
    const size_t bytes = static_cast<size_t>(fortran.nbytes());
    a.data.resize(bytes);
    if (bytes) std::memcpy(a.data.data(), fortran.data(), bytes);
    // bool arrays may hold bytes other than 0 and 1 (views of other dtypes): the host wants 0 or 1.
    if (a.element == cli::NpyElement::Bool)
        for (auto& b : a.data)
            b = b ? 1 : 0;
    return a;
}

py::dtype containerDtype(const types::TypeInfo& t) {
    const std::string code = std::string(t.isSigned ? "i" : "u") + std::to_string(t.containerBytes);
    return py::dtype(code);
}

py::array fortranArray(const py::dtype& dt, const std::vector<int32_t>& dims, const void* data,
                       size_t bytes) {
    std::vector<py::ssize_t> shape(dims.begin(), dims.end());
    std::vector<py::ssize_t> strides(shape.size());
    py::ssize_t stride = dt.itemsize();
    for (size_t d = 0; d < shape.size(); ++d) {
        strides[d] = stride;
        stride *= std::max<py::ssize_t>(shape[d], 1);
    }
    py::array out(dt, shape, strides);
    if (bytes) std::memcpy(out.mutable_data(), data, bytes);
    return out;
}

}  // namespace

cli::Signal signalFromPython(const py::handle& value, const std::string& what) {
    py::module_ dravo = py::module_::import("dravo");
    if (py::isinstance(value, dravo.attr("FixedArray"))) {
        std::string typeName = py::str(value.attr("type").attr("name"));
        std::optional<DataTypeId> id = types::parseTypeName(typeName);
        if (!id) throw py::value_error(what + ": unknown type " + typeName);
        py::array stored = py::array::ensure(value.attr("stored"));
        if (!stored) throw py::type_error(what + ": FixedArray.stored must be an integer array");
        try {
            return cli::signalFromNpy(npyOf(stored, what), id, what);
        } catch (const cli::ToolError& e) {
            throw py::value_error(e.what());
        }
    }
    if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value))
        throw py::type_error(what + ": expected a numpy array or a number, not a string");
    py::array arr = py::array::ensure(value);
    if (!arr) {
        PyErr_Clear();
        throw py::type_error(what + ": expected a numpy array, got " +
                             std::string(py::str(value.get_type().attr("__name__"))));
    }
    if (arr.dtype().kind() == 'O' || arr.dtype().kind() == 'U' || arr.dtype().kind() == 'S')
        throw py::type_error(what + ": arrays of dtype " + std::string(py::str(arr.dtype())) +
                             " are not supported");
    try {
        return cli::signalFromNpy(npyOf(arr, what), std::nullopt, what);
    } catch (const cli::UsageError& e) {
        throw py::type_error(e.what());
    } catch (const cli::ToolError& e) {
        throw py::type_error(e.what());
    }
}

py::object signalToPython(const cli::Signal& s, bool realWorld) {
    const types::TypeInfo& t = types::info(s.dataType);
    const bool fixed = t.kind == types::Kind::FixedPoint;
    if ((realWorld && (fixed || t.kind == types::Kind::Integer || t.kind == types::Kind::Boolean)) ||
        t.kind == types::Kind::ScaledDouble || (fixed && t.containerBytes > 8)) {
        std::vector<double> im;
        std::vector<double> re = cli::realWorldValues(s, &im);
        if (!s.complex) return fortranArray(py::dtype("f8"), s.dims, re.data(), re.size() * sizeof(double));
        std::vector<double> inter(2 * re.size());
        for (size_t i = 0; i < re.size(); ++i) {
            inter[2 * i] = re[i];
            inter[2 * i + 1] = im[i];
        }
        return fortranArray(py::dtype("c16"), s.dims, inter.data(), inter.size() * sizeof(double));
    }
    py::dtype dt = py::dtype("f8");
    switch (t.kind) {
        case types::Kind::Double:
            dt = py::dtype(s.complex ? "c16" : "f8");
            break;
        case types::Kind::Single:
            dt = py::dtype(s.complex ? "c8" : "f4");
            break;
        case types::Kind::Boolean:
            dt = py::dtype("?");
            break;
        case types::Kind::Integer:
        case types::Kind::FixedPoint:
            dt = containerDtype(t);
            break;
        default:
            break;
    }
    std::vector<int32_t> dims = s.dims;
    if (s.complex && (t.kind == types::Kind::Integer || fixed)) {
        // No complex integer dtype: a trailing axis of (real, imaginary).
        dims.insert(dims.begin(), 2);
    }
    py::array arr = fortranArray(dt, dims, s.bytes.data(), s.bytes.size());
    if (s.complex && (t.kind == types::Kind::Integer || fixed))
        arr = py::module_::import("numpy").attr("moveaxis")(arr, 0, -1);
    if (!fixed) return arr;
    py::module_ dravo = py::module_::import("dravo");
    py::object type = dravo.attr("fixed")(t.isSigned, t.wordLength, t.fracLength);
    return dravo.attr("FixedArray")(arr, type);
}

}  // namespace dravo::python
