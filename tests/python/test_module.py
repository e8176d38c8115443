"""The module against the command line on the same files, and its own contract (orders, dtypes, types,
steps, errors, threads)."""
import threading

import numpy as np
import pytest

import dravo


def smooth_image(rows, cols, rng):
    y, x = np.mgrid[0:rows, 0:cols]
    return (0.5 + 0.4 * np.sin(x / 3.0) * np.cos(y / 5.0) + 0.05 * rng.random((rows, cols)))


def test_blocks_and_describe():
    names = {b["name"] for b in dravo.blocks()}
    assert {"rotate", "pad", "convert"} <= names
    d = dravo.describe("rotate")
    params = {p["name"]: p for p in d["parameters"]}
    assert "angle" in params and params["angle"]["tunable"] in (True, False)
    assert all(p["kind"] in ("number", "vector", "popup") for p in d["parameters"])
    popups = [p for p in d["parameters"] if p["kind"] == "popup"]
    assert popups and all(p["default"] in p["choices"] for p in popups)
    with pytest.raises(ValueError, match="unknown block"):
        dravo.describe("no-such-block")


# Every block with a description, on a double and a uint8 image, at its defaults: the module and
# `dravo run` must give the same bytes (new blocks are picked up from dravo.blocks()).
@pytest.mark.parametrize("dtype", ["float64", "uint8"])
def test_every_block_matches_command_line(tmp_path, cli, rng, dtype):
    img = smooth_image(24, 33, rng)
    if dtype == "uint8":
        img = np.round(img * 255).astype(np.uint8)
    src = tmp_path / "in.npy"
    np.save(src, img)
    compared = 0
    for b in dravo.blocks():
        name = b["name"]
        if name == "testblock":
            continue
        out = tmp_path / f"{name}.npy"
        p = cli("run", name, "-i", src, "-o", out, check=False)
        if p.returncode != 0:
            # The module must refuse what the command line refuses.
            with pytest.raises((dravo.BlockError, ValueError, TypeError)):
                dravo.run(name, img)
            continue
        got = dravo.run(name, img)
        if isinstance(got, tuple):
            got = got[0]
        if isinstance(got, dravo.FixedArray):
            got = got.stored
        want = np.load(out)
        assert got.dtype == want.dtype, name
        assert got.shape == want.shape, name
        assert np.array_equal(got, want, equal_nan=want.dtype.kind in "fc"), name
        compared += 1
    assert compared >= 3


@pytest.mark.parametrize("params", [
    dict(angle=0.5236, interpolation="bilinear"),
    dict(angle=-2.0, interpolation="bicubic", outputSize="expanded" ),
    dict(angle=1.5708, interpolation="nearest"),
])
def test_rotate_parameters_match_command_line(tmp_path, cli, rng, params):
    img = smooth_image(20, 31, rng)
    np.save(tmp_path / "in.npy", img)
    args = []
    for k, v in params.items():
        args += ["-s", f"{k}={v}"]
    p = cli("run", "rotate", *args, "-i", tmp_path / "in.npy", "-o", tmp_path / "out.npy", check=False)
    if p.returncode != 0:
        pytest.skip(f"command line refuses {params}: {p.stderr.strip()}")
    assert np.array_equal(dravo.run("rotate", img, **params), np.load(tmp_path / "out.npy"))


def test_memory_orders_and_views(rng):
    base = smooth_image(40, 50, rng)
    want = dravo.run("rotate", np.ascontiguousarray(base[::2, 1::3]), angle=0.3)
    for variant in (np.asfortranarray(base[::2, 1::3]), base[::2, 1::3], base.T.T[::2, 1::3]):
        assert np.array_equal(dravo.run("rotate", variant, angle=0.3), want)
    big_endian = np.ascontiguousarray(base).astype(">f8")
    assert np.array_equal(dravo.run("pad", big_endian), dravo.run("pad", base))


@pytest.mark.parametrize("dtype", ["float64", "float32", "int8", "uint8", "int16", "uint16", "int32", "uint32",
                                   "bool", "complex128", "complex64"])
def test_dtypes_keep_their_type_through_pad(dtype, rng):
    a = (rng.random((5, 7)) * 100).astype(dtype)
    out = dravo.run("pad", a, method="replicate", rowsPadSize=2, colsPadSize=1)
    assert out.dtype == np.dtype(dtype)
    # Padded equally at both ends of each dimension, by edge replication.
    r, c = (out.shape[0] - 5) // 2, (out.shape[1] - 7) // 2
    assert r + c == 3
    assert np.array_equal(np.pad(a, ((r, r), (c, c)), mode="edge"), out)


@pytest.mark.parametrize("value, error", [
    (np.array([["a", "b"]]), TypeError),
    (np.array([[object()]], dtype=object), TypeError),
    (np.zeros((3, 3), dtype=np.int64), (TypeError, ValueError)),
    ("image.png", TypeError),
    ([[1.0, 2.0], [3.0, 4.0]], None),
])
def test_inputs_refused_or_taken(value, error):
    if error is None:
        out = dravo.run("pad", value)
        assert out.dtype == np.float64
        return
    with pytest.raises(error):
        dravo.run("pad", value)


def test_fixed_point_round_trip():
    t = dravo.fixed(True, 16, 12)
    assert t.name == "fixed:s16:12" and t.dtype == np.int16
    x = t.from_real([[0.5, -1.25], [2.0, 7.999755859375]])
    assert np.array_equal(x.stored, [[2048, -5120], [8192, 32767]])
    assert np.array_equal(x.real(), [[0.5, -1.25], [2.0, 7.999755859375]])
    with pytest.raises(ValueError):
        t.from_real([8.0])
    with pytest.raises(ValueError):
        t.stored(np.array([40000]))
    # A fixed-point signal through a block and back: pad copies stored integers.
    out = dravo.run("pad", x, method="constant", padValue=0, rowsPadSize=1, colsPadSize=1)
    assert isinstance(out, dravo.FixedArray) and out.type == t
    assert np.array_equal(out.stored[1:-1, 1:-1], x.stored)
    real = dravo.run("pad", x, rowsPadSize=1, colsPadSize=1, real_world=True)
    assert real.dtype == np.float64 and np.array_equal(real[1:-1, 1:-1], x.real())


def test_convert_to_fixed_point_matches_command_line(tmp_path, cli, rng):
    img = (rng.random((6, 9)) * 255).astype(np.uint8)
    np.save(tmp_path / "in.npy", img)
    cli("run", "convert", "-s", "outputDataType=fixed point", "-s", "isSigned=0", "-s", "wordLength=12",
        "-i", tmp_path / "in.npy", "-o", tmp_path / "q.npy")
    out = dravo.run("convert", img, outputDataType="fixed point", isSigned=0, wordLength=12)
    assert isinstance(out, dravo.FixedArray) and out.type.word == 12 and not out.type.signed
    assert np.array_equal(out.stored, np.load(tmp_path / "q.npy"))


def test_steps_with_tunable_changes_and_variable_sizes(rng):
    a = rng.random((6, 4))
    with dravo.Block("pad", method="constant", padValue=1.0, rowsPadSize=1, colsPadSize=1) as b:
        first = b.step(a)
        b.set(padValue=5.0)
        second = b.step(a)
    assert first[0, 0] == 1.0 and second[0, 0] == 5.0
    assert np.array_equal(first[1:-1, 1:-1], a) and np.array_equal(second[1:-1, 1:-1], a)
    with pytest.raises(ValueError, match="closed"):
        b.step(a)

    with dravo.Block("rotate", angle=0.4, interpolation="bilinear", variable_size={0: (16, 16)}) as b:
        for shape in [(8, 8), (16, 10), (3, 16), (16, 16)]:
            x = rng.random(shape)
            assert np.array_equal(b.step(x), dravo.run("rotate", x, angle=0.4, interpolation="bilinear"))
        with pytest.raises(dravo.BlockError):
            b.step(rng.random((17, 4)))
    with pytest.raises(dravo.BlockError, match="variable size"):
        dravo.run("pad", rng.random((4, 4)), variable_size={0: (8, 8)})


def test_non_tunable_change_and_mismatched_steps_refused(rng):
    with dravo.Block("pad", rowsPadSize=1) as b:
        b.step(rng.random((4, 4)))
        with pytest.raises(dravo.BlockError):
            b.set(method="replicate")
        with pytest.raises(ValueError, match="size"):
            b.step(rng.random((5, 4)))
        with pytest.raises(ValueError, match="uint8"):
            b.step(np.zeros((4, 4), np.uint8))


def test_errors_carry_message_classes(rng):
    with pytest.raises(ValueError, match="parameter|unknown"):
        dravo.run("pad", rng.random((3, 3)), noSuchParameter=1)
    with pytest.raises(ValueError):
        dravo.run("pad", rng.random((3, 3)), method="sideways")
    with pytest.raises(ValueError):
        dravo.Block("no-such-block")
    with pytest.raises(dravo.BlockError) as e:
        dravo.run("rotate", rng.random((4, 4)), angle=[1, 2])
    assert e.value.message_class and e.value.text
    with pytest.raises(ValueError):
        dravo.run("pad", rng.random((4, 4)), rng.random((4, 4)), rng.random((4, 4)))


def test_threads_run_blocks_in_parallel(rng):
    images = [smooth_image(64, 64, rng) for _ in range(8)]
    want = [dravo.run("rotate", im, angle=0.1 * k, interpolation="bicubic") for k, im in enumerate(images)]
    got = [None] * len(images)

    def work(k):
        got[k] = dravo.run("rotate", images[k], angle=0.1 * k, interpolation="bicubic")

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(images))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(g, w) for g, w in zip(got, want))


def test_files_round_trip(tmp_path, rng):
    a = (rng.random((5, 6, 3)) * 255).astype(np.uint8)
    dravo.save(tmp_path / "a.png", a)
    assert np.array_equal(dravo.load(tmp_path / "a.png"), a)
    t = dravo.fixed(False, 12, 4)
    x = t.stored(np.arange(12, dtype=np.uint16).reshape(3, 4))
    dravo.save(tmp_path / "x.npy", x)
    assert np.array_equal(np.load(tmp_path / "x.npy"), x.stored)
    back = dravo.load(tmp_path / "x.npy", type=t)
    assert back == x


def test_codegen_and_sil(tmp_path, rng):
    img = rng.random((6, 5))
    files = dravo.codegen("pad", img, out_dir=tmp_path, method="symmetric", rowsPadSize=2)
    assert all((tmp_path / f).exists() for f in files)
    r = dravo.sil("pad", img, method="symmetric", rowsPadSize=2)
    assert r["identical"], r["verdict"]
