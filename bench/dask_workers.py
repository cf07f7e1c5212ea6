"""Wall-clock time of the Dask recipe (docs/dask.md) on 1 and on 2 worker processes.

    python bench/dask_workers.py [--symbols 400] [--bars 25000] [--files 16] [--runs 3]

Writes a Parquet dataset of synthetic bars (one file per group of symbols,
each symbol inside one file, so no shuffle is needed), then for each cluster
size computes several indicators per symbol with the recipe's by_symbol and
writes them back as Parquet. Prints the median of the runs, the speed-up, and
the load average before and after, since other work on the machine skews it.
Needs the dask extra: pip install "kestov[dask]".
"""

import argparse
import os
import re
import shutil
import statistics
import tempfile
import time
import types
from pathlib import Path

import dask.dataframe as dd
import numpy as np
import pandas as pd
from distributed import Client, LocalCluster

DOC = Path(__file__).resolve().parents[1] / "docs" / "dask.md"
INDICATORS = {"sma": ("SMA", {"period": 20}), "rsi": ("RSI", {}), "macd": ("MACD", {}),
              "bands": ("BollingerBands", {}), "atr": ("ATR", {}), "adx": ("ADX", {})}


def recipe():
    code = re.search(r"```python\n(.*?)```", DOC.read_text(), re.S)[1]
    module = types.ModuleType("kestov_dask_recipe")  # sent to the workers by value
    exec(compile(code, str(DOC), "exec"), module.__dict__)
    return module


def write_dataset(path, symbols, bars, files, seed=1):
    rng = np.random.default_rng(seed)
    per_file = -(-symbols // files)
    for f in range(files):
        names = [f"S{s:05d}" for s in range(f * per_file, min(symbols, (f + 1) * per_file))]
        if not names:
            break
        n = bars * len(names)
        close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, (len(names), bars)), axis=1).ravel()
        open_ = close + rng.normal(0.0, 0.5, n)
        frame = pd.DataFrame({
            "symbol": np.repeat(names, bars),
            "timestamp": np.tile(np.arange(bars, dtype=np.int64) * 60, len(names)),
            "open": open_,
            "high": np.maximum(open_, close) + rng.random(n),
            "low": np.minimum(open_, close) - rng.random(n),
            "close": close,
            "volume": rng.random(n) * 1e3,
        })
        frame.to_parquet(path / f"part-{f:03d}.parquet", index=False)


def run_once(by_symbol, source, out):
    shutil.rmtree(out, ignore_errors=True)
    result = by_symbol(dd.read_parquet(source), INDICATORS, shuffle=False)
    start = time.perf_counter()
    result.to_parquet(out)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--symbols", type=int, default=400)
    parser.add_argument("--bars", type=int, default=25_000)
    parser.add_argument("--files", type=int, default=16)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    by_symbol = recipe().by_symbol
    with tempfile.TemporaryDirectory(prefix="kestov-dask-") as tmp:
        source, out = Path(tmp) / "bars", Path(tmp) / "out"
        source.mkdir()
        write_dataset(source, args.symbols, args.bars, args.files)
        print(f"{args.symbols} symbols x {args.bars} bars = {args.symbols * args.bars:,} rows in {args.files} files; "
              f"indicators: {', '.join(name for name, _ in INDICATORS.values())}")
        print(f"load average before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
        medians = {}
        for workers in (1, 2):
            with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                              dashboard_address=None) as cluster, Client(cluster):
                run_once(by_symbol, source, out)  # warm-up: imports and first reads in every worker
                times = [run_once(by_symbol, source, out) for _ in range(args.runs)]
            medians[workers] = statistics.median(times)
            print(f"{workers} worker(s): median {medians[workers]:.2f} s of {', '.join(f'{t:.2f}' for t in times)}")
        print(f"speed-up 1 -> 2 workers: {medians[1] / medians[2]:.2f}x")
        print(f"load average after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
