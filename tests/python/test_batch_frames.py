"""The batch runner's frame reading and writing against the command line's own reader and writer
(dravo.load, dravo.save): the same arrays, byte-for-byte the same files, the same refusals."""
import os
import stat

import numpy as np
import pytest

import dravo
from dravo._frames import read_frame, write_frame


def npy_bytes(array, version=None, fortran=None):
    import io

    f = io.BytesIO()
    a = np.asfortranarray(array) if fortran else array
    np.lib.format.write_array(f, a, version=version)
    return f.getvalue()


def outcome(f, *args, **kw):
    """What a call gives: ("value", array) or ("error", exception type, message class)."""
    try:
        return ("value", f(*args, **kw))
    except dravo.BlockError as e:
        return ("error", "BlockError", e.message_class)
    except (ValueError, TypeError, OSError) as e:
        return ("error", type(e).__name__, "")


def same(a, b):
    if a[0] != b[0]:
        return False
    if a[0] == "error":
        return a == b
    x, y = a[1], b[1]
    return type(x) is type(y) and x.dtype == y.dtype and x.shape == y.shape and np.array_equal(x, y)


GOOD = np.arange(35, dtype=np.float64).reshape(5, 7) * 1.5 - 20
_OK = npy_bytes(GOOD)

READ_CASES = {
    **{f"{dt} C": npy_bytes(GOOD.astype(dt)) for dt in ("f8", "f4", "i1", "u1", "i2", "u2", "i4", "u4")},
    **{f"{dt} F": npy_bytes(GOOD.astype(dt), fortran=True) for dt in ("f8", "u1", "i4")},
    "c16": npy_bytes(GOOD + 1j * GOOD[::-1]),
    "c8": npy_bytes((GOOD - 2j).astype("c8")),
    "version 2 header": npy_bytes(GOOD, version=(2, 0)),
    "version 3 header": npy_bytes(GOOD, version=(3, 0)),
    "big-endian": npy_bytes(GOOD.astype(">f8")),
    "bool": npy_bytes(GOOD > 0),
    "int64 (no built-in type)": npy_bytes(GOOD.astype("i8")),
    "uint64": npy_bytes(GOOD.astype("u8")),
    "one dimension": npy_bytes(np.arange(6.0)),
    "three dimensions": npy_bytes(np.zeros((2, 3, 4))),
    "no rows": npy_bytes(np.zeros((0, 4))),
    "a scalar": npy_bytes(np.float64(3.5)),
    "truncated data": _OK[:-8],
    "trailing bytes": _OK + b"\0" * 8,
    "bad magic": b"\x93NUMPZ" + _OK[6:],
    "unknown version": _OK[:6] + b"\x07\x00" + _OK[8:],
    "garbled header": _OK[:20] + b"@@@@" + _OK[24:],
    "empty file": b"",
}


@pytest.mark.parametrize("case", list(READ_CASES))
def test_reading_matches_the_command_line(tmp_path, case):
    p = tmp_path / "frame.npy"
    p.write_bytes(READ_CASES[case])
    mine, theirs = outcome(read_frame, str(p)), outcome(dravo.load, str(p))
    assert same(mine, theirs), (mine, theirs)


@pytest.mark.parametrize("name, type", [("frame.png", None), ("FRAME.NPY", None), ("frame.npy", "fixed:s16:4"),
                                        ("frame.npy", "uint8"), ("missing.npy", None)])
def test_reading_other_files_and_types_matches_the_command_line(tmp_path, name, type):
    img = (np.arange(48).reshape(6, 8) * 5).astype(np.uint8)
    if name.endswith(".png"):
        dravo.save(str(tmp_path / name), img)
    elif name != "missing.npy":
        (tmp_path / name).write_bytes(npy_bytes(img))
    p = str(tmp_path / name)
    mine, theirs = outcome(read_frame, p, type), outcome(dravo.load, p, type)
    if mine[0] == "value" and isinstance(mine[1], dravo.FixedArray):
        assert mine[1] == theirs[1]
    else:
        assert same(mine, theirs), (mine, theirs)


WRITE_CASES = {
    **{f"{dt} {order}": (GOOD.astype(dt), order, False) for dt in ("f8", "f4", "i1", "u1", "i2", "u2", "i4", "u4")
       for order in ("C", "F")},
    "c16": ((GOOD - 3j).astype("c16"), "F", False),
    "c8": ((GOOD + 1j).astype("c8"), "C", False),
    "a column view": (np.arange(60.0).reshape(6, 10)[:, ::3], "K", False),
    "one column": (np.arange(9.0).reshape(9, 1), "F", False),
    "one dimension": (np.arange(6.0), "C", False),
    "bool": (GOOD > 3, "F", False),
    "fixed point": (dravo.fixed(True, 16, 4).stored(GOOD.astype(np.int16)), None, False),
    "fixed point as real-world values": (dravo.fixed(True, 16, 4).stored(GOOD.astype(np.int16)), None, True),
}


@pytest.mark.parametrize("case", list(WRITE_CASES))
@pytest.mark.parametrize("suffix", [".npy", ".png"])
def test_writing_matches_the_command_line(tmp_path, case, suffix):
    value, order, real_world = WRITE_CASES[case]
    if order in ("C", "F"):
        value = np.asarray(value, order=order)
    mine, theirs = tmp_path / f"mine{suffix}", tmp_path / f"theirs{suffix}"
    a = outcome(write_frame, str(mine), value, real_world=real_world)
    b = outcome(dravo.save, str(theirs), value, real_world=real_world)
    assert a[0] == b[0] and (a[0] == "value" or a == b), (a, b)
    if b[0] == "value":
        assert mine.read_bytes() == theirs.read_bytes()
        assert stat.S_IMODE(mine.stat().st_mode) == stat.S_IMODE(theirs.stat().st_mode)
    assert sorted(os.listdir(tmp_path)) == sorted(p.name for p in (mine, theirs) if p.exists())


@pytest.mark.parametrize("target", ["existing file of mode 600", "a folder", "a symbolic link", "missing folder"])
def test_replacing_and_refusing_outputs_match_the_command_line(tmp_path, target):
    results = {}
    for who, f in (("mine", write_frame), ("theirs", dravo.save)):
        d = tmp_path / who
        d.mkdir()
        out = d / "out.npy"
        if target == "existing file of mode 600":
            out.write_bytes(b"old")
            out.chmod(0o600)
        elif target == "a folder":
            out.mkdir()
        elif target == "a symbolic link":
            (d / "elsewhere.npy").write_bytes(b"old")
            out.symlink_to(d / "elsewhere.npy")
        else:
            out = d / "no" / "such" / "out.npy"
        r = outcome(f, str(out), GOOD)
        files = sorted(str(p.relative_to(d)) for p in d.rglob("*"))
        content = out.read_bytes() if out.is_file() else None
        mode = stat.S_IMODE(out.lstat().st_mode) if out.exists() else None
        results[who] = (r[0], r[1:] if r[0] == "error" else None, files, content, mode)
    assert results["mine"] == results["theirs"]
