"""Map one block over every frame of a folder, one Dask task per frame.

    python3 -m dravo.batch BLOCK [-s NAME=VALUE ...] INPUT_DIR OUTPUT_DIR [--scheduler ADDRESS] [--resume]

Frames are the folder's .png and .npy files, in name order. Each output keeps its input's file name and
is written all or nothing, so after a crash `--resume` runs only the frames whose output is missing.
Without --scheduler a local cluster of worker processes starts on this machine.

Exit status: 0 every frame done, 1 at least one frame failed (each is reported with its file name and
message class), 2 a usage error (nothing run).
"""

import argparse
import os
import sys
import time

FRAME_SUFFIXES = (".png", ".npy")
# Buffers up to 32 MiB from the heap, and up to 256 MiB of freed memory kept before any is returned.
# One arena, because a worker runs tasks on a thread whose own arena would give its heaps back whole.
WORKER_MALLOC_ENVIRON = {"MALLOC_MMAP_THRESHOLD_": str(32 << 20), "MALLOC_TRIM_THRESHOLD_": str(256 << 20),
                         "MALLOC_ARENA_MAX": "1"}


def _parse_settings(pairs):
    params = {}
    for text in pairs:
        name, sep, value = text.partition("=")
        if not sep or not name:
            raise ValueError(f"-s takes NAME=VALUE, got {text!r}")
        params[name] = value
    return params


def list_frames(input_dir):
    names = sorted(n for n in os.listdir(input_dir)
                   if n.lower().endswith(FRAME_SUFFIXES) and os.path.isfile(os.path.join(input_dir, n)))
    return names


def process_frame(block, params, input_types, real_world, in_path, out_path):
    """One task: read, run, write atomically. Returns (file name, None) or (file name, (class, text))."""
    import dravo

    name = os.path.basename(in_path)
    try:
        frame = dravo.load(in_path, input_types.get(0) if input_types else None)
        result = dravo.run(block, frame, **params)
        if isinstance(result, tuple):
            result = result[0]
        dravo.save(out_path, result, real_world=real_world)
        return name, None
    except dravo.BlockError as e:
        return name, (e.message_class or "", e.text)
    except Exception as e:  # a bad file, a usage error in the parameters: still one frame's failure
        return name, (type(e).__name__, str(e))


class Progress:
    """A one-line bar on a terminal; plain lines every tenth of the work elsewhere."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.done, self.failed = total, 0, 0
        self.stream = stream
        self.tty = stream.isatty()
        self.start = time.monotonic()
        self._last_tenth = -1

    def advance(self, ok):
        self.done += 1
        self.failed += 0 if ok else 1
        if self.tty:
            width = 30
            filled = width * self.done // max(self.total, 1)
            rate = self.done / max(time.monotonic() - self.start, 1e-9)
            self.stream.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {self.done}/{self.total} "
                              f"{rate:.1f} frames/s, {self.failed} failed")
            if self.done == self.total:
                self.stream.write("\n")
            self.stream.flush()
        else:
            tenth = 10 * self.done // max(self.total, 1)
            if tenth != self._last_tenth or self.done == self.total:
                self._last_tenth = tenth
                print(f"batch: {self.done}/{self.total} frames, {self.failed} failed", file=self.stream)


def local_cluster(workers):
    """A cluster of `workers` single-thread worker processes on this machine, and a client on it."""
    import dask
    from dask.distributed import Client, LocalCluster

    # The workers' C library keeps freed frame-sized buffers, as the module does in one process; the
    # cluster's own default hands every freed buffer back and makes each frame pay for fresh pages.
    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", {}))
    environ.update(WORKER_MALLOC_ENVIRON)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ}):
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
    return Client(cluster), cluster


def _client(scheduler, workers):
    if scheduler:
        from dask.distributed import Client

        return Client(scheduler), None
    return local_cluster(workers)


def run_batch(block, params, input_dir, output_dir, scheduler=None, resume=False, workers=None,
              input_types=None, real_world=False, stream=sys.stderr, client=None):
    """Returns (done, skipped, failures) with failures a list of (file name, class, text). `client`: a
    connected dask.distributed Client to use (and leave open) instead of starting one."""
    from dask.distributed import as_completed

    os.makedirs(output_dir, exist_ok=True)
    frames = list_frames(input_dir)
    todo = []
    skipped = 0
    for n in frames:
        out = os.path.join(output_dir, n)
        if resume and os.path.exists(out):
            skipped += 1
            continue
        todo.append(n)
    if not todo:
        return 0, skipped, []
    own = client is None
    cluster = None
    if own:
        client, cluster = _client(scheduler, workers or os.cpu_count() or 1)
    failures = []
    try:
        futures = [client.submit(process_frame, block, params, input_types or {}, real_world,
                                 os.path.join(input_dir, n), os.path.join(output_dir, n), pure=False, key=f"frame-{i}-{n}")
                   for i, n in enumerate(todo)]
        bar = Progress(len(futures), stream)
        for fut in as_completed(futures):
            name, err = fut.result()
            bar.advance(err is None)
            if err is not None:
                failures.append((name, err[0], err[1]))
    finally:
        if own:
            client.close()
            if cluster is not None:
                cluster.close()
    failures.sort()
    return len(todo) - len(failures), skipped, failures


def main(argv=None):
    ap = argparse.ArgumentParser(
        prog="python3 -m dravo.batch",
        description="Run one block over every frame (.png, .npy) of a folder on a Dask cluster, writing "
                    "one output per frame under the same name.",
        epilog="Example: python3 -m dravo.batch rotate -s angle=0.5 -s interpolation=bilinear frames/ out/\n"
               "Without --scheduler a local cluster starts here; --resume skips frames already written.",
        formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("block", help="block name, as `dravo blocks` lists them")
    ap.add_argument("input_dir")
    ap.add_argument("output_dir")
    ap.add_argument("-s", "--set", action="append", default=[], metavar="NAME=VALUE",
                    help="a dialog parameter by name (popups by label or number), as `dravo run -s`")
    ap.add_argument("--input-type", metavar="TYPE",
                    help="the type whose stored integers the frames hold (e.g. fixed:s16:12)")
    ap.add_argument("--real-world", action="store_true", help="write fixed-point outputs as doubles")
    ap.add_argument("--scheduler", metavar="ADDRESS", help="an existing Dask scheduler, e.g. tcp://host:8786")
    ap.add_argument("--workers", type=int, default=None, help="local cluster size (default: the core count)")
    ap.add_argument("--resume", action="store_true", help="skip frames whose output already exists")
    args = ap.parse_args(argv)

    try:
        params = _parse_settings(args.set)
    except ValueError as e:
        print(f"error: {e}", file=sys.stderr)
        return 2
    if not os.path.isdir(args.input_dir):
        print(f"error: input folder {args.input_dir!r} does not exist", file=sys.stderr)
        return 2
    if args.workers is not None and args.workers < 1:
        print("error: --workers takes a whole number of at least 1", file=sys.stderr)
        return 2
    os.makedirs(args.output_dir, exist_ok=True)

    import dravo

    # Check the block and parameters once here, so a typo is one usage error, not one per frame.
    try:
        dravo.check(args.block, **params)
    except (ValueError, TypeError, KeyError) as e:
        print(f"error: {e}", file=sys.stderr)
        return 2
    except dravo.BlockError as e:
        print(f"error: {e}", file=sys.stderr)
        return 1

    input_types = {0: args.input_type} if args.input_type else None
    done, skipped, failures = run_batch(args.block, params, args.input_dir, args.output_dir,
                                        scheduler=args.scheduler, resume=args.resume, workers=args.workers,
                                        input_types=input_types, real_world=args.real_world)
    for name, cls, text in failures:
        suffix = f" [{cls}]" if cls else ""
        print(f"error: {name}: {text}{suffix}", file=sys.stderr)
    print(f"batch: {done} written, {skipped} skipped, {len(failures)} failed", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
