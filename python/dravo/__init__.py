"""dravo's image- and signal-processing blocks on numpy arrays.

    import numpy as np, dravo
    img = np.random.rand(480, 640)
    out = dravo.run("rotate", img, angle=0.5, interpolation="bilinear")
    with dravo.Block("contrast") as b:
        frames = [b.step(f) for f in video]

Parameters go by the dialog names that `dravo describe BLOCK` lists (any case and word separation),
popups by label or number. Arrays may be in any memory order; outputs come back in the host's
column-major layout as Fortran-ordered arrays (the same values numpy-wise).
"""

import numbers

import numpy as np

from . import _native

__all__ = ["blocks", "describe", "run", "Block", "codegen", "sil", "fixed", "FixedArray", "BlockError",
           "load", "save", "check"]


class BlockError(Exception):
    """A block or the host refused: `message_class` names the catalogue entry, `text` says what."""

    def __init__(self, text, message_class="", phase="", block=""):
        self.text, self.message_class, self.phase, self.block = text, message_class, phase, block
        super().__init__(f"{text} [{message_class}]" if message_class else text)


class fixed:
    """A fixed-point type: dravo.fixed(signed, word, fraction), e.g. fixed(True, 16, 12) is fixed:s16:12."""

    def __init__(self, signed, word, fraction):
        if not isinstance(word, numbers.Integral) or not isinstance(fraction, numbers.Integral):
            raise TypeError("word and fraction lengths are whole numbers")
        name = f"fixed:{'s' if signed else 'u'}{int(word)}:{int(fraction)}"
        self.name, self.signed, self.word, self.fraction, self.container = _native.type_info(name)
        self.dtype = np.dtype(f"{'i' if self.signed else 'u'}{self.container}") if self.container <= 8 else None

    def __repr__(self):
        return f"dravo.fixed({self.signed}, {self.word}, {self.fraction})"

    def __eq__(self, other):
        return isinstance(other, fixed) and other.name == self.name

    def __hash__(self):
        return hash(self.name)

    @property
    def limits(self):
        """The smallest and largest stored integers."""
        lo = -(1 << (self.word - 1)) if self.signed else 0
        hi = (1 << (self.word - 1)) - 1 if self.signed else (1 << self.word) - 1
        return lo, hi

    def stored(self, integers):
        """An array of stored integers of this type (each must fit the word)."""
        return FixedArray(integers, self)

    def from_real(self, values):
        """Real-world values quantised to this type: nearest, ties away from zero; ValueError when a value
        does not fit the type's range (nothing is saturated silently)."""
        v = np.asarray(values, dtype=np.float64) * np.ldexp(1.0, self.fraction)
        if not np.all(np.isfinite(v)):
            raise ValueError(f"{self.name}: NaN and Inf have no fixed-point value")
        q = np.sign(v) * np.floor(np.abs(v) + 0.5)
        lo, hi = self.limits
        if q.size and (q.min() < lo or q.max() > hi):
            raise ValueError(f"{self.name}: values outside [{lo * 2.0 ** -self.fraction}, "
                             f"{hi * 2.0 ** -self.fraction}]")
        if self.dtype is None:
            raise ValueError(f"{self.name}: words above 64 bits have no numpy container")
        return FixedArray(q.astype(self.dtype), self)


class FixedArray:
    """Stored integers of a fixed-point type; `.real()` gives the real-world values."""

    def __init__(self, stored, type):
        if not isinstance(type, fixed):
            raise TypeError("FixedArray needs a dravo.fixed type")
        stored = np.asarray(stored)
        if stored.dtype.kind not in "iu":
            raise TypeError(f"stored integers must be an integer array, not {stored.dtype}")
        lo, hi = type.limits
        if stored.size and (int(stored.min()) < lo or int(stored.max()) > hi):
            raise ValueError(f"{type.name}: stored integers must lie in [{lo}, {hi}]")
        self.stored, self.type = stored, type

    @property
    def shape(self):
        return self.stored.shape

    def real(self):
        return np.ldexp(self.stored.astype(np.float64), -self.type.fraction)

    def __repr__(self):
        return f"FixedArray({self.type.name}, shape={self.stored.shape})"

    def __eq__(self, other):
        return (isinstance(other, FixedArray) and other.type == self.type
                and np.array_equal(other.stored, self.stored))


_OPTIONS = ("sim_mode", "logging", "dt_override", "variable_size", "output_type", "real_world")


def _value_text(name, value):
    """A parameter value in the syntax `dravo run -s` reads."""
    if isinstance(value, str):
        return value
    if isinstance(value, (bool, np.bool_)):
        return "1" if value else "0"
    if isinstance(value, numbers.Number):
        return _number_text(value)
    if isinstance(value, fixed):
        raise TypeError(f"parameter {name}: give a number, a list or a label, not a type")
    arr = np.asarray(value)
    if arr.dtype.kind not in "biufc":
        raise TypeError(f"parameter {name}: expected a number, a list of numbers or a label, got {type(value).__name__}")
    if arr.ndim == 0:
        return _number_text(arr.item())
    if arr.ndim == 1:
        return "[" + " ".join(_number_text(x) for x in arr.tolist()) + "]"
    if arr.ndim == 2:
        return "[" + "; ".join(" ".join(_number_text(x) for x in row) for row in arr.tolist()) + "]"
    raise ValueError(f"parameter {name}: at most 2 dimensions")


def _number_text(x):
    if isinstance(x, complex):
        return f"{x.real!r}{'+' if x.imag >= 0 or np.isnan(x.imag) else '-'}{abs(x.imag)!r}i"
    if isinstance(x, bool):
        return "1" if x else "0"
    if isinstance(x, numbers.Integral):
        return str(int(x))
    return repr(float(x))


def _split(params):
    options = {k: params.pop(k) for k in list(params) if k in _OPTIONS}
    settings = [(k, _value_text(k, v)) for k, v in params.items()]
    vs = options.get("variable_size") or {}
    if isinstance(vs, (list, tuple)) and vs and not isinstance(vs[0], (list, tuple)):
        raise TypeError("variable_size maps input index -> largest shape, e.g. {0: (480, 640)}")
    vs = {int(k): [int(d) for d in v] for k, v in dict(vs).items()}
    out_type = options.get("output_type")
    if isinstance(out_type, fixed):
        out_type = out_type.name
    out_types = []
    if isinstance(out_type, dict):
        out_types = [f"{int(p)}={t.name if isinstance(t, fixed) else t}" for p, t in out_type.items()]
    elif out_type:
        out_types = [str(out_type)]
    opts = _native.session_options(int(options.get("sim_mode", 0)), bool(options.get("logging", False)),
                                   bool(options.get("dt_override", False)), vs, out_types,
                                   bool(options.get("real_world", False)))
    return settings, opts


def _check_inputs(inputs):
    for i, x in enumerate(inputs):
        if isinstance(x, (str, bytes)):
            raise TypeError(f"input {i}: expected a numpy array or a number, not a string "
                            "(dravo.load reads files)")
    return list(inputs)


class Block:
    """A block instance for several steps.

    Block(name, **params): parameters by dialog name; options: variable_size={port: largest shape},
    output_type="fixed:s16:12" (or {port: type}), real_world=True (fixed-point outputs as floats),
    logging, sim_mode, dt_override. The first step fixes the input types and sizes.
    """

    def __init__(self, name, **params):
        settings, opts = _split(dict(params))
        self.name = name
        self._session = _native.Session(name, settings, opts)

    def step(self, *inputs):
        outs = self._session.step(_check_inputs(inputs))
        return outs[0] if len(outs) == 1 else tuple(outs)

    def set(self, **tunables):
        """Changes parameters between steps: checked by the block, then taken (tunable ones only)."""
        bad = [k for k in tunables if k in _OPTIONS]
        if bad:
            raise ValueError(f"{bad[0]} is fixed when the block is made")
        self._session.set([(k, _value_text(k, v)) for k, v in tunables.items()])

    def close(self):
        self._session.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def run(name, *inputs, **params):
    """One step of a block: dravo.run("rotate", img, angle=0.5) -> array (a tuple for several outputs)."""
    b = Block(name, **params)
    try:
        return b.step(*inputs)
    finally:
        b.close()


def codegen(name, *inputs, out_dir, unit_name="", **params):
    """Generates the block's C unit for these inputs into out_dir; returns the files written."""
    b = Block(name, **params)
    try:
        return b._session.codegen(_check_inputs(inputs), str(out_dir), unit_name)
    finally:
        b.close()


def sil(name, *inputs, cc="", sanitize=False, keep=None, unit_name="", **params):
    """Generates, builds and runs the block's C unit on the inputs and compares it with the simulation
    bit for bit. Returns {"identical": bool, "verdict": str, ...}."""
    import shutil
    import tempfile

    b = Block(name, **params)
    work = str(keep) if keep else tempfile.mkdtemp(prefix="dravo-sil-")
    try:
        return b._session.sil(_check_inputs(inputs), work, cc, bool(sanitize), unit_name)
    finally:
        b.close()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)


def blocks():
    """The blocks found: a list of {"name", "plugin", "summary"}."""
    return _native.blocks()


def describe(name):
    """Ports and dialog parameters of a block, as data."""
    return _native.describe(name)


def check(name, **params):
    """Refuses an unknown block or parameter, or a malformed value, without running anything."""
    settings, _ = _split(dict(params))
    _native.check(name, settings)


def load(path, type=None, real_world=False):
    """Reads a .npy or PNG file as the command line does (type: what the file's integers are)."""
    if isinstance(type, fixed):
        type = type.name
    return _native.load(str(path), type, real_world)


def save(path, value, real_world=False):
    """Writes a .npy or PNG file all or nothing, as the command line does."""
    _native.save(str(path), value, real_world)
