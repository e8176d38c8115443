"""Reading and writing the batch runner's frames.

dravo.load and dravo.save go through the command line's readers and writers, which move every element
one at a time; on 1024x1024 frames that was two thirds of a task. The common case, a two-dimensional
.npy of a built-in numeric type, is read and written here with numpy's own block reads and writes
instead, giving the same arrays and byte-for-byte the same files. Everything else (PNG, fixed-point
types, real-world outputs, odd or damaged files, outputs that cannot be replaced) goes to dravo.load
and dravo.save, so refusals and their message classes stay the command line's.
"""

import os
import tempfile

import numpy as np

# The .npy element types that are a built-in type of the host as they stand (booleans are normalised on
# reading, so they take the general path).
_PLAIN = frozenset(np.dtype(c) for c in ("<f8", "<f4", "|i1", "|u1", "<i2", "<u2", "<i4", "<u4", "<c16", "<c8"))
_HEADERS = {(1, 0): np.lib.format.read_array_header_1_0, (2, 0): np.lib.format.read_array_header_2_0}


def _plain(dtype):
    return dtype in _PLAIN and dtype.isnative


def _read_plain_npy(path):
    """The array, or None where the general reader has to decide (including every fault)."""
    try:
        with open(path, "rb") as f:
            header = _HEADERS.get(np.lib.format.read_magic(f))
            if header is None:
                return None
            shape, fortran, dtype = header(f)
            if len(shape) != 2 or 0 in shape or not _plain(dtype):
                return None
            count = shape[0] * shape[1]
            # The command line refuses short files and trailing bytes alike.
            if os.fstat(f.fileno()).st_size - f.tell() != count * dtype.itemsize:
                return None
            data = np.fromfile(f, dtype=dtype, count=count)
    except (OSError, ValueError, SyntaxError, TypeError):
        return None
    if data.size != count:
        return None
    return data.reshape(shape, order="F" if fortran else "C")


def read_frame(path, type=None):
    """A frame as dravo.load(path, type) gives it."""
    if type is None and path.lower().endswith(".npy"):
        a = _read_plain_npy(path)
        if a is not None:
            return a
    import dravo

    return dravo.load(path, type)


_umask = None


def _new_file_mode():
    global _umask
    if _umask is None:
        try:  # read without setting it: other threads may be creating files
            with open("/proc/self/status") as f:
                _umask = next(int(line.split()[1], 8) for line in f if line.startswith("Umask:"))
        except (OSError, StopIteration, ValueError, IndexError):
            _umask = os.umask(0o022)
            os.umask(_umask)
    return 0o666 & ~_umask


def _write_plain_npy(path, value):
    """True once written and in place; False where the general writer has to do it (or say why not)."""
    try:
        st = os.lstat(path)
    except FileNotFoundError:
        mode = _new_file_mode()
    except OSError:
        return False
    else:
        if not os.path.isfile(path) or os.path.islink(path):
            return False
        mode = st.st_mode & 0o7777
    folder, name = os.path.split(path)
    try:
        fd, tmp = tempfile.mkstemp(prefix="." + name + ".tmp", dir=folder or ".")
    except OSError:
        return False
    try:
        with os.fdopen(fd, "wb") as f:
            # Row order, as the command line writes; the host's arrays come in column order.
            np.lib.format.write_array(f, np.ascontiguousarray(value), allow_pickle=False)
            os.fchmod(f.fileno(), mode)
        os.replace(tmp, path)
    except BaseException as e:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        if isinstance(e, OSError):
            return False
        raise
    return True


def write_frame(path, value, real_world=False):
    """Writes value all or nothing, as dravo.save(path, value, real_world) does."""
    if (not real_world and path.lower().endswith(".npy") and type(value) is np.ndarray and value.ndim == 2
            and 0 not in value.shape and _plain(value.dtype) and _write_plain_npy(path, value)):
        return
    import dravo

    dravo.save(path, value, real_world=real_world)
