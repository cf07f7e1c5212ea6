"""A first timing of batch and update against trivial baselines in the same process.

    python bench/quick.py [--rows N] [--repeat R] [NAME ...]

Prints nanoseconds per row of batch for every class in the registry (or the
named ones) at its default configuration (period 20 where the period has no
default), median of R runs with a fresh object each, beside a NumPy cumsum
over the close column; then nanoseconds per update call beside math.fabs(x),
a call that takes one float and returns a new float.
"""

import argparse
import inspect
import math
import statistics
import time

import numpy as np

import kestov


def median_ns(fn, repeat, per):
    times = []
    for _ in range(repeat):
        start = time.perf_counter_ns()
        fn()
        times.append((time.perf_counter_ns() - start) / per)
    return statistics.median(times)


def ohlcv(rows, seed=1):
    rng = np.random.default_rng(seed)
    close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, rows))
    high = close + rng.uniform(0.0, 1.0, rows)
    low = close - rng.uniform(0.0, 1.0, rows)
    volume = rng.uniform(0.0, 1e6, rows)
    return {"prices": close, "high": high, "low": low, "close": close, "volume": volume}


def default_instance(cls):
    required = [p for p in inspect.signature(cls).parameters.values() if p.default is p.empty]
    return cls(*[20] * len(required))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("names", nargs="*", help="classes to time (default: all)")
    args = parser.parse_args()
    n, r = args.rows, args.repeat
    columns = ohlcv(n)
    names = args.names or [name for name in kestov.__all__ if name != "__version__"]

    cumsum = median_ns(lambda: np.cumsum(columns["close"]), r, n)
    print(f"batch, {n} rows (ns/row, median of {r})")
    print(f"  {'numpy cumsum':24} {cumsum:7.2f}")
    for name in names:
        cls = getattr(kestov, name)
        inputs = [columns[p] for p in list(inspect.signature(cls.batch).parameters)[1:]]
        label = repr(default_instance(cls)) if cls.__repr__ is not object.__repr__ else name
        t = median_ns(lambda: default_instance(cls).batch(*inputs), r, n)
        print(f"  {label + '.batch':24} {t:7.2f}   x{t / cumsum:.2f} of cumsum")

    values = columns["close"][:200_000].tolist()
    fabs = math.fabs
    update = kestov.SMA(20).update

    def call_fabs():
        for x in values:
            fabs(x)

    def call_update():
        for x in values:
            update(x)

    base = median_ns(call_fabs, r, len(values))
    upd = median_ns(call_update, r, len(values))
    print(f"update, {len(values)} calls (ns/call, loop included)")
    print(f"  {'math.fabs(x)':24} {base:7.2f}")
    print(f"  {'SMA(20).update(x)':24} {upd:7.2f}   x{upd / base:.2f} of fabs")


if __name__ == "__main__":
    main()
