// One step's data for one input port: held in memory, or read from its file when the step comes.
#include "setup.h"

namespace dravo::setup {
using namespace cli::msg;

namespace {

// The dimensions of an array of this shape, as the readers give them (a 0-d array is a scalar).
std::vector<int32_t> dimsOfShape(const std::vector<size_t>& shape, const std::string& what) {
    if (shape.empty()) return {1, 1};
    std::vector<int32_t> dims;
    for (size_t d : shape) {
        if (d > 0x7fffffff) throw ToolError(kUnsupportedArray, what + ": a dimension exceeds 2^31-1");
        dims.push_back(static_cast<int32_t>(d));
    }
    return dims;
}

}  // namespace

Frame Frame::fromSignal(cli::Signal s) {
    Frame f;
    f.dataType_ = s.dataType;
    f.complex_ = s.complex;
    f.dims_ = s.dims;
    f.held_ = std::make_shared<const cli::Signal>(std::move(s));
    return f;
}

Frame Frame::fromFile(const std::string& path, std::optional<DataTypeId> asType,
                      std::vector<std::string>& warnings) {
    Frame f;
    f.path_ = path;
    f.asType_ = asType;
    const std::string what = "'" + path + "'";
    if (cli::extensionOf(path) == ".npy") {
        cli::NpyLayout layout = cli::readNpyLayout(path);
        // The type the readers give this dtype (and --input-type), learnt from one element of it.
        cli::NpyArray probe;
        probe.element = layout.element;
        probe.shape = {1};
        probe.data.assign(cli::elementBytes(layout.element), 0);
        cli::Signal kind = cli::signalFromNpy(probe, asType, what);
        const types::TypeInfo& t = types::info(kind.dataType);
        size_t stored = static_cast<size_t>(t.containerBytes) * (kind.complex ? 2 : 1);
        // Built-in numbers whose file elements are the stored elements go straight in; booleans, 64-bit
        // integers and fixed point are checked and converted element by element by the reader.
        bool plain = (t.kind == types::Kind::Double || t.kind == types::Kind::Single ||
                      t.kind == types::Kind::Integer) &&
                     stored == cli::elementBytes(layout.element);
        if (plain) {
            f.dataType_ = kind.dataType;
            f.complex_ = kind.complex;
            f.dims_ = dimsOfShape(layout.shape, what);
            f.layout_ = std::move(layout);
            return f;
        }
    }
    cli::Signal s = cli::readSignalFile(path, asType, warnings);
    f.dataType_ = s.dataType;
    f.complex_ = s.complex;
    f.dims_ = s.dims;
    return f;
}

void Frame::hold() {
    if (!held_) held_ = data();
}

std::shared_ptr<const cli::Signal> Frame::data() const {
    if (held_) return held_;
    auto data = std::make_shared<cli::Signal>();
    if (layout_) {
        data->dataType = dataType_;
        data->complex = complex_;
        data->dims = dims_;
        data->bytes.resize(layout_->dataBytes());
        cli::readNpyInto(path_, *layout_, data->bytes.data());
        return data;
    }
    std::vector<std::string> ignored;  // warned about when the plan was made
    *data = cli::readSignalFile(path_, asType_, ignored);
    // The file may have changed since the plan looked at it.
    if (data->dataType != dataType_ || data->complex != complex_ || data->dims != dims_)
        throw ToolError(kMalformedFile, "'" + path_ + "' changed while the run was going on");
    return data;
}

void Frame::feed(host::Block& block, int32_t port, bool variableSize) const {
    std::vector<int32_t> current = variableSize ? dims_ : std::vector<int32_t>{};
    if (direct()) {
        size_t bytes = 0;
        void* dst = block.inputBuffer(port, current, &bytes);
        if (bytes != layout_->dataBytes())
            throw ToolError(kMalformedFile, "'" + path_ + "' holds " + std::to_string(layout_->dataBytes()) +
                                                " bytes where the port takes " + std::to_string(bytes));
        cli::readNpyInto(path_, *layout_, dst);
        return;
    }
    std::shared_ptr<const cli::Signal> data = this->data();
    block.setInput(port, data->bytes.data(), data->bytes.size(), current);
}

}  // namespace dravo::setup
