"""A first timing of batch and update against trivial baselines in the same process.

    python bench/quick.py [--rows N] [--repeat R]

Prints nanoseconds per row (batch) and per call (update), median of R runs,
each beside its baseline: a NumPy cumsum over the same column for batch, and
math.fabs(x) for a call that takes one float and returns a new float.
"""

import argparse
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


def ohlc(rows, seed=1):
    rng = np.random.default_rng(seed)
    close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, rows))
    high = close + rng.uniform(0.0, 1.0, rows)
    low = close - rng.uniform(0.0, 1.0, rows)
    return high, low, close


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    n, r = args.rows, args.repeat
    high, low, close = ohlc(n)

    cumsum = median_ns(lambda: np.cumsum(close), r, n)
    sma = median_ns(lambda: kestov.SMA(20).batch(close), r, n)
    atr = median_ns(lambda: kestov.ATR(14).batch(high, low, close), r, n)
    print(f"batch, {n} rows (ns/row)")
    print(f"  numpy cumsum         {cumsum:7.2f}")
    print(f"  SMA(20).batch        {sma:7.2f}   x{sma / cumsum:.2f} of cumsum")
    print(f"  ATR(14).batch        {atr:7.2f}   x{atr / cumsum:.2f} of cumsum")

    values = close[:200_000].tolist()
    fabs = math.fabs
    s = kestov.SMA(20)
    update = s.update

    def call_fabs():
        for x in values:
            fabs(x)

    def call_update():
        for x in values:
            update(x)

    base = median_ns(call_fabs, r, len(values))
    upd = median_ns(call_update, r, len(values))
    print(f"update, {len(values)} calls (ns/call, loop included)")
    print(f"  math.fabs(x)         {base:7.2f}")
    print(f"  SMA(20).update(x)    {upd:7.2f}   x{upd / base:.2f} of fabs")


if __name__ == "__main__":
    main()
