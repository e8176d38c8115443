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
    from dravo._frames import read_frame, write_frame

    name = os.path.basename(in_path)
    try:
        frame = read_frame(in_path, input_types.get(0) if input_types else None)
        result = dravo.run(block, frame, **params)
        if isinstance(result, tuple):
            result = result[0]
        write_frame(out_path, result, real_world=real_world)
        return name, None
    except dravo.BlockError as e:
        return name, (e.message_class or "", e.text)
    except Exception as e:  # a bad file, a usage error in the parameters: still one frame's failure
        return name, (type(e).__name__, str(e))


class FrameFailed(Exception):
    """A frame's failure as a cluster task raises it: (file name, message class, text)."""

    def __init__(self, name, message_class, text):
        super().__init__(name, message_class, text)
        self.name, self.message_class, self.text = name, message_class, text


def frame_task(in_path, out_path, block, params, input_types, real_world):
    """process_frame as a cluster task: nothing to fetch back when the frame is done, FrameFailed when
    it is not (so the client asks a worker for data only about failures)."""
    name, err = process_frame(block, params, input_types, real_world, in_path, out_path)
    if err is not None:
        raise FrameFailed(name, *err)


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


# The local cluster's own housekeeping, kept light: its workers only ever hold a small status per frame
# and nobody watches a dashboard, while every wake-up of the scheduler or a worker takes a core from the
# frames on a machine with as many workers as cores.
LOCAL_CLUSTER_CONFIG = {
    # A statistical profiler in each worker samples every thread's stack every 10 ms.
    "distributed.worker.profile.enabled": False,
    # Event-loop health checks (50 a second by default) and resource sampling for the dashboard.
    "distributed.admin.tick.interval": "1s",
    "distributed.admin.system-monitor.interval": "5s",
    # Tasks go to a worker as it frees a slot; equal frames on equal workers need no rebalancing.
    "distributed.scheduler.work-stealing": False,
    # Workers forked from one process that has imported the cluster's code once, instead of each
    # starting a fresh interpreter; they also stop sooner.
    "distributed.worker.multiprocessing-method": "forkserver",
}


# What the process the local workers are forked from is started with: the C library reads its variables
# when the process starts, and the workers inherit its settings. One thread each for the numeric
# libraries, as the cluster itself would give its workers.
FORKSERVER_ENVIRON = {**WORKER_MALLOC_ENVIRON, "OMP_NUM_THREADS": "1", "MKL_NUM_THREADS": "1",
                      "OPENBLAS_NUM_THREADS": "1"}


def start_worker_parent():
    """Starts the process local workers are forked from, having it import the cluster's and dravo's code
    while this process imports its own. Does nothing if it is running already."""
    import multiprocessing
    from multiprocessing import forkserver

    multiprocessing.get_context("forkserver").set_forkserver_preload(
        ["distributed", "dravo", "dravo.batch", "dravo._frames"])
    saved = {k: os.environ.get(k) for k in FORKSERVER_ENVIRON}
    os.environ.update(FORKSERVER_ENVIRON)
    try:
        forkserver.ensure_running()
    finally:
        for k, v in saved.items():
            if v is None:
                os.environ.pop(k, None)
            else:
                os.environ[k] = v


def local_cluster(workers):
    """A cluster of `workers` single-thread worker processes on this machine, and a client on it."""
    start_worker_parent()
    import dask
    from dask.distributed import Client, LocalCluster

    # The workers' C library keeps freed frame-sized buffers, as the module does in one process; the
    # cluster's own default hands every freed buffer back and makes each frame pay for fresh pages.
    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", {}))
    environ.update(WORKER_MALLOC_ENVIRON)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ, **LOCAL_CLUSTER_CONFIG}):
        # No memory limit: results are a file name and a status, so there is nothing to spill, and
        # without a limit no process polls the workers' memory.
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, memory_limit=0,
                               dashboard_address=None)
        try:
            client = Client(cluster)
        except BaseException:
            cluster.close()
            raise
    return client, cluster


def _client(scheduler, workers):
    if scheduler:
        from dask.distributed import Client

        return Client(scheduler), None
    return local_cluster(workers)


def _start_client(scheduler, workers):
    """Starts connecting (or starting the local cluster) on a thread; returns a function that waits for
    (client, cluster)."""
    import threading

    box = {}

    def start():
        try:
            box["value"] = _client(scheduler, workers)
        except BaseException as e:  # handed to the waiting thread
            box["error"] = e

    t = threading.Thread(target=start, name="dravo-batch-cluster-start", daemon=True)
    t.start()

    def wait():
        t.join()
        if "error" in box:
            raise box["error"]
        return box["value"]

    return wait


def _close(client, cluster):
    try:
        client.close()
    finally:
        if cluster is not None:
            cluster.close()


def _failure(future, name):
    """(file name, message class, text) of a task that did not finish."""
    if future.status == "cancelled":  # the cluster gave up on the task
        from concurrent.futures import CancelledError

        e = CancelledError("the task was cancelled")
    else:
        try:
            e = future.exception()
        except BaseException as other:
            e = other
    if isinstance(e, FrameFailed):
        return e.name, e.message_class, e.text
    # The worker itself failed (it died running the frame, say): still this frame's failure.
    return name, type(e).__name__, str(e) or "the task did not finish"


def run_batch(block, params, input_dir, output_dir, scheduler=None, resume=False, workers=None,
              input_types=None, real_world=False, stream=sys.stderr, client=None):
    """Returns (done, skipped, failures) with failures a list of (file name, class, text). `client`: a
    connected dask.distributed Client to use (and leave open) instead of starting one."""
    from dask.distributed import as_completed

    os.makedirs(output_dir, exist_ok=True)
    written = set(os.listdir(output_dir)) if resume else set()
    # Start the cluster as soon as one name may need it, and sort out the frames while it starts.
    own = client is None and any(n.lower().endswith(FRAME_SUFFIXES) and n not in written
                                 for n in os.listdir(input_dir))
    if own and not scheduler:
        start_worker_parent()
    wait_for_client = _start_client(scheduler, workers or os.cpu_count() or 1) if own else None
    cluster = None
    try:
        frames = list_frames(input_dir)
        todo = [n for n in frames if n not in written]
        skipped = len(frames) - len(todo)
        if own:
            client, cluster = wait_for_client()
            wait_for_client = None
        if not todo:
            return 0, skipped, []
        failures = []
        # One message for all the tasks; a task's result stays on its worker unless the frame failed.
        futures = client.map(frame_task, [os.path.join(input_dir, n) for n in todo],
                             [os.path.join(output_dir, n) for n in todo], block=block, params=params,
                             input_types=input_types or {}, real_world=real_world, pure=False,
                             key=[f"frame-{i}-{n}" for i, n in enumerate(todo)])
        names = {f.key: n for f, n in zip(futures, todo)}
        bar = Progress(len(futures), stream)
        for fut in as_completed(futures):
            ok = fut.status == "finished"
            if not ok:
                failures.append(_failure(fut, names[fut.key]))
            bar.advance(ok)
            fut.release()
    finally:
        if wait_for_client is not None:  # interrupted before the cluster was up
            try:
                client, cluster = wait_for_client()
            except BaseException:
                client = None
        if own and client is not None:
            _close(client, cluster)
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
    if not args.scheduler:
        # The workers' parent imports its code while this process imports dravo and checks the block.
        start_worker_parent()

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
