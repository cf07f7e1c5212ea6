"""Instructions per row and per call, counted by valgrind's callgrind.

    python bench/instructions.py [--rows N] [--calls N] [--jobs J] [--only NAME ...]
                                 [--markdown PATH] [--json PATH]

Wall-clock time on a shared machine moves with whatever else runs there; the
number of instructions executed does not. Each figure here comes from two runs
of a child interpreter under callgrind that differ only in whether the timed
work is done: the child builds the data, makes the object and warms it up on a
few rows in both runs, then does the work (a batch over every row, or an update
per row) once in the first run and three times in the second, so that costs
paid once (the first large allocation) fall on both. The difference, divided
by twice the rows or calls, is what the work costs, interpreter and loop
included.

Measured beside each other: every class's `batch` and `update` (as in
bench/benchmark.py), TA-Lib's matching function where it is installed, and
the same floors as the timing benchmark (a NumPy copy of the input columns,
`math.fabs(x)`, and `divmod(x, 1.0)` for a builtin that returns a tuple).
Needs valgrind on PATH.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import benchmark  # noqa: E402  (this folder's timing benchmark: data, configurations, TA-Lib table)

WARM_ROWS = 64
SEED = 20240101


def child(kind, name, rows, times):
    """Runs inside callgrind: one target, warmed up, then the work `times` times."""
    import math

    import kestov

    data = benchmark.ohlcv(rows, SEED)
    if kind in ("batch", "copy", "talib"):
        # Everything but the work itself is prepared here, once: reading a
        # class's signature, for one, costs more than a short batch.
        cls = getattr(kestov, name)
        args = [20] * sum(p.default is p.empty for p in benchmark.inspect.signature(cls).parameters.values())
        if kind == "talib":
            import talib

            fn = benchmark.TALIB[name][1]
            run = lambda d: fn(talib, d)  # noqa: E731
            inputs, warm = data, {k: v[:WARM_ROWS] for k, v in data.items()}
        else:
            inputs = benchmark.batch_inputs(cls, data)
            warm = [c[:WARM_ROWS] for c in inputs]
            if kind == "batch":
                run = lambda cols: cls(*args).batch(*cols)  # noqa: E731
            else:
                run = lambda cols: [c.copy() for c in cols]  # noqa: E731
        run(warm)
        for _ in range(times):
            run(inputs)
        return
    floats = data["close"].tolist()
    if kind == "update":
        cls = getattr(kestov, name)
        args = floats
        if benchmark.takes_candle(cls):
            args = list(zip(data["open"].tolist(), data["high"].tolist(), data["low"].tolist(), floats,
                            data["volume"].tolist(), range(rows)))
        call = benchmark.default_instance(cls).update
        for x in args[:WARM_ROWS]:
            call(x)
        for _ in range(times):
            for x in args:
                call(x)
    elif kind == "fabs":
        fabs = math.fabs
        for x in floats[:WARM_ROWS]:
            fabs(x)
        for _ in range(times):
            for x in floats:
                fabs(x)
    elif kind == "divmod":
        for x in floats[:WARM_ROWS]:
            divmod(x, 1.0)
        for _ in range(times):
            for x in floats:
                divmod(x, 1.0)


def collected(kind, name, rows, times):
    cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", sys.executable, __file__,
           "--child", kind, name, str(rows), str(times)]
    # The same hashes in both runs, and no spinning helper threads.
    env = dict(os.environ, PYTHONHASHSEED="0", OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS="1")
    done = subprocess.run(cmd, capture_output=True, text=True, env=env)
    match = re.search(r"Collected\s*:\s*(\d+)", done.stderr)
    if done.returncode != 0 or match is None:
        raise RuntimeError(f"{kind} {name}: callgrind run failed:\n{done.stderr[-2000:]}")
    return int(match.group(1))


def per_item(kind, name, rows):
    once, thrice = (collected(kind, name, rows, times) for times in (1, 3))
    return (thrice - once) / (2 * rows)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=20_000, help="rows per batch figure")
    parser.add_argument("--calls", type=int, default=20_000, help="calls per update figure")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="callgrind runs at once")
    parser.add_argument("--only", nargs="+", metavar="NAME", help="classes to count (default: all)")
    parser.add_argument("--markdown", type=Path, default=HERE / "instructions.md")
    parser.add_argument("--json", type=Path, default=HERE / "instructions.json")
    parser.add_argument("--child", nargs=4, help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.child:
        kind, name, rows, times = args.child
        child(kind, name, int(rows), int(times))
        return None
    if shutil.which("valgrind") is None:
        parser.error("valgrind is not on PATH")

    names = args.only or benchmark.class_names()
    talib = benchmark.optional_import("talib")
    jobs = [("fabs", "-", args.calls), ("divmod", "-", args.calls)]
    for name in names:
        jobs += [("batch", name, args.rows), ("copy", name, args.rows), ("update", name, args.calls)]
        if talib is not None and name in benchmark.TALIB:
            jobs.append(("talib", name, args.rows))
    with ThreadPoolExecutor(max(1, args.jobs)) as pool:
        counts = dict(zip(jobs, pool.map(lambda job: per_item(*job), jobs)))

    fabs, divmod_ = counts[jobs[0]], counts[jobs[1]]
    rows = []
    for name in names:
        entry = {"class": name, "batch_per_row": counts["batch", name, args.rows],
                 "copy_per_row": counts["copy", name, args.rows], "update_per_call": counts["update", name, args.calls]}
        if ("talib", name, args.rows) in counts:
            entry["talib_per_row"] = counts["talib", name, args.rows]
        rows.append(entry)
        print(f"  {name:20} batch {entry['batch_per_row']:7.1f}/row   update {entry['update_per_call']:7.1f}/call",
              flush=True)
    report = {"rows": args.rows, "calls": args.calls, "fabs_per_call": fabs, "divmod_per_call": divmod_,
              "classes": rows, "meta": {"python": benchmark.platform.python_version(),
                                        "kestov": benchmark.kestov.__version__,
                                        "ta-lib": talib and benchmark.version_of("ta-lib")}}
    args.json.write_text(json.dumps(report, indent=1) + "\n")
    args.markdown.write_text(markdown(report))
    print(f"wrote {args.markdown} and {args.json}")
    return report


def markdown(report):
    meta = report["meta"]
    f = benchmark.fmt
    lines = [
        "# Instructions executed",
        "",
        f"Counted by `python bench/instructions.py` under valgrind's callgrind: Python {meta['python']}, "
        f"kestov {meta['kestov']}, TA-Lib {meta['ta-lib'] or 'not installed'}; {report['rows']:,} rows per batch "
        f"figure and {report['calls']:,} calls per update figure, interpreter and loop included. Repeatable "
        "where timings are not; not a substitute for them (a division costs one instruction and many cycles).",
        "",
        f"Floors: `math.fabs(x)` {f(report['fabs_per_call'], 0)} per call; `divmod(x, 1.0)`, which returns a "
        f"new tuple of two new floats, {f(report['divmod_per_call'], 0)} per call.",
        "",
        "| Class | batch per row | copy floor | TA-Lib | update per call | x fabs |",
        "|---|---:|---:|---:|---:|---:|",
    ]
    for r in report["classes"]:
        lines.append(f"| {r['class']} | {f(r['batch_per_row'], 1)} | {f(r['copy_per_row'], 1)} "
                     f"| {f(r.get('talib_per_row'), 1)} | {f(r['update_per_call'], 0)} "
                     f"| {f(r['update_per_call'] / report['fabs_per_call'])} |")
    lines.append("")
    return "\n".join(lines)


if __name__ == "__main__":
    main()
