"""kestov against the libraries users would pick instead, in one process.

    python bench/benchmark.py [--rows N] [--repeat R] [--calls N] [--talipp-calls N]
                              [--universe ROWSxSERIES] [--markdown PATH] [--json PATH] [--only NAME ...]

Over seeded synthetic OHLCV data (valid candles), every class at its default
configuration (period 20 where the period has no default):

- batch: nanoseconds per row, median of R runs with a fresh object each,
  beside TA-Lib's matching function (`pip install ".[bench]"`) and beside a
  memory-bandwidth floor measured here: a NumPy copy of the same input columns
  into arrays made beforehand (a fresh array's page faults are the system's
  cost, and vary with what the C library kept from earlier runs).
  Where TA-Lib has the indicator, both results are also compared, value by
  value, as a sanity check (the arithmetic differs by design in places).
  Beside them the bound: the class's loop-carried chain of floating-point
  operations as a bare C++ loop (bench/bounds.cpp, compiled for the run with
  $CXX or c++), or where that is quicker the bytes its batch must move (its
  input columns read, its outputs written) as a bare loop of the same file;
  absent without a compiler.
- update: nanoseconds per call with a float (value classes) or a 6-tuple
  (candle classes), beside talipp's `add` and the interpreter's call floor,
  `math.fabs(x)` on the same floats; for the classes that return a tuple also
  `divmod(x, 1.0)`, a builtin that returns a new tuple of two new floats.

- universe: a kestov.many.Panel over ROWS x SERIES (default 2520 x 2000)
  of seeded synthetic OHLCV, nanoseconds per cell with one thread and with
  two, beside TA-Lib's function looped over the series (each series
  contiguous, the transpose made before timing); `update` over rows of a
  live feed, one row of 5,000 series a call on a warm panel, in nanoseconds
  per series; and the memory of a series, in bytes, from the C allocator's
  growth for a panel of 20,000.

Writes a readable table (BENCHMARKS.md) and the same figures as JSON. The
peers are optional: a peer that is not installed is reported as absent.
"""

import argparse
import ctypes
import datetime
import gc
import importlib.metadata
import inspect
import json
import math
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

import numpy as np

import kestov
from kestov import _kestov

ROOT = Path(__file__).resolve().parent.parent

# The targets the figures are held against.
BATCH_WORST = 1.5  # no class slower than this multiple of TA-Lib
BATCH_GEOMEAN = 1.0  # geometric mean of kestov / TA-Lib over the matched classes
UPDATE_FLOAT = 2.0  # value classes: multiple of the call floor
UPDATE_TUPLE = 4.0  # candle classes: multiple of the call floor
TALIPP_SPEEDUP = 30.0
UNIVERSE_GEOMEAN = 0.5  # panel, one thread, against TA-Lib looped over the series
BOUND_LIMIT = 1.15  # every class's batch within this multiple of its bound

# TA-Lib's function for each class, called with the parameters of kestov's
# default configuration, and which of its outputs match which of ours: each
# pair is (TA-Lib output index, kestov output column).
TALIB = {
    "SMA": ("SMA(close, 20)", lambda t, d: t.SMA(d["close"], 20), [(0, 0)]),
    "EMA": ("EMA(close, 20)", lambda t, d: t.EMA(d["close"], 20), [(0, 0)]),
    "WMA": ("WMA(close, 20)", lambda t, d: t.WMA(d["close"], 20), [(0, 0)]),
    "RSI": ("RSI(close, 14)", lambda t, d: t.RSI(d["close"], 14), [(0, 0)]),
    "MACD": ("MACD(close, 12, 26, 9)", lambda t, d: t.MACD(d["close"], 12, 26, 9), [(0, 0), (1, 1), (2, 2)]),
    "BollingerBands": ("BBANDS(close, 20, nbdevup=2, nbdevdn=2, matype=SMA)",
                       lambda t, d: t.BBANDS(d["close"], 20, 2.0, 2.0, 0), [(0, 0), (1, 1), (2, 2)]),
    "ATR": ("ATR(high, low, close, 14)", lambda t, d: t.ATR(d["high"], d["low"], d["close"], 14), [(0, 0)]),
    "Stochastic": ("STOCH(high, low, close, fastk=14, slowk=1, slowd=3, SMA)",
                   lambda t, d: t.STOCH(d["high"], d["low"], d["close"], 14, 1, 0, 3, 0), [(0, 0), (1, 1)]),
    "OBV": ("OBV(close, volume)", lambda t, d: t.OBV(d["close"], d["volume"]), [(0, 0)]),
    "DEMA": ("DEMA(close, 20)", lambda t, d: t.DEMA(d["close"], 20), [(0, 0)]),
    "TEMA": ("TEMA(close, 20)", lambda t, d: t.TEMA(d["close"], 20), [(0, 0)]),
    "HMA": ("HMA(close, 20)", lambda t, d: t.HMA(d["close"], 20), [(0, 0)]),
    "KAMA": ("KAMA(close, 10)", lambda t, d: t.KAMA(d["close"], 10), [(0, 0)]),
    "CCI": ("CCI(high, low, close, 20)", lambda t, d: t.CCI(d["high"], d["low"], d["close"], 20), [(0, 0)]),
    "ROC": ("ROC(close, 20)", lambda t, d: t.ROC(d["close"], 20), [(0, 0)]),
    "WilliamsR": ("WILLR(high, low, close, 14)", lambda t, d: t.WILLR(d["high"], d["low"], d["close"], 14), [(0, 0)]),
    "ADX": ("ADX(high, low, close, 14)", lambda t, d: t.ADX(d["high"], d["low"], d["close"], 14), [(0, 2)]),
    "MFI": ("MFI(high, low, close, volume, 14)",
            lambda t, d: t.MFI(d["high"], d["low"], d["close"], d["volume"], 14), [(0, 0)]),
    "TRIX": ("TRIX(close, 20)", lambda t, d: t.TRIX(d["close"], 20), [(0, 0)]),
    "PSAR": ("SAR(high, low, acceleration=0.02, maximum=0.2)",
             lambda t, d: t.SAR(d["high"], d["low"], 0.02, 0.2), [(0, 0)]),
    "Donchian": ("DONCHIAN(high, low, 20)", lambda t, d: t.DONCHIAN(d["high"], d["low"], 20),
                 [(0, 0), (1, 1), (2, 2)]),
    "VWAP": ("VWAP(high, low, close, volume)", lambda t, d: t.VWAP(d["high"], d["low"], d["close"], d["volume"]),
             [(0, 0)]),
    "AwesomeOscillator": ("AO(high, low, 5, 34)", lambda t, d: t.AO(d["high"], d["low"], 5, 34), [(0, 0)]),
    "Aroon": ("AROON(high, low, 14)", lambda t, d: t.AROON(d["high"], d["low"], 14), [(1, 0), (0, 1)]),
    "Momentum": ("MOM(close, 10)", lambda t, d: t.MOM(d["close"], 10), [(0, 0)]),
    "TrueRange": ("TRANGE(high, low, close)", lambda t, d: t.TRANGE(d["high"], d["low"], d["close"]), [(0, 0)]),
    "StochRSI": ("STOCHRSI(close, 14, 5, 3, SMA)", lambda t, d: t.STOCHRSI(d["close"], 14, 5, 3, 0),
                 [(0, 0), (1, 1)]),
    "ADXR": ("ADXR(high, low, close, 14)", lambda t, d: t.ADXR(d["high"], d["low"], d["close"], 14), [(0, 0)]),
    "DX": ("DX(high, low, close, 14)", lambda t, d: t.DX(d["high"], d["low"], d["close"], 14), [(0, 0)]),
    "PPO": ("PPO(close, 12, 26, EMA)", lambda t, d: t.PPO(d["close"], 12, 26, 1), [(0, 0)]),
    "APO": ("APO(close, 12, 26, EMA)", lambda t, d: t.APO(d["close"], 12, 26, 1), [(0, 0)]),
    "TSI": ("TSI(close, 25, 13)", lambda t, d: t.TSI(d["close"], 25, 13), [(0, 0)]),
    "CMO": ("CMO(close, 14)", lambda t, d: t.CMO(d["close"], 14), [(0, 0)]),
    "UltimateOscillator": ("ULTOSC(high, low, close, 7, 14, 28)",
                           lambda t, d: t.ULTOSC(d["high"], d["low"], d["close"], 7, 14, 28), [(0, 0)]),
    "Coppock": ("COPPOCK(close, 10, 11, 14)", lambda t, d: t.COPPOCK(d["close"], 10, 11, 14), [(0, 0)]),
    "DPO": ("DPO(close, 20)", lambda t, d: t.DPO(d["close"], 20), [(0, 0)]),
    "SuperTrend": ("SUPERTREND(high, low, close, 10, 3.0)",
                   lambda t, d: t.SUPERTREND(d["high"], d["low"], d["close"], 10, 3.0), [(0, 0), (1, 1)]),
    "AroonOscillator": ("AROONOSC(high, low, 14)", lambda t, d: t.AROONOSC(d["high"], d["low"], 14), [(0, 0)]),
    "BalanceOfPower": ("BOP(open, high, low, close)", lambda t, d: t.BOP(d["open"], d["high"], d["low"], d["close"]),
                       [(0, 0)]),
    "ZLEMA": ("ZLEMA(close, 30)", lambda t, d: t.ZLEMA(d["close"], 30), [(0, 0)]),
    "T3": ("T3(close, 5, 0.7)", lambda t, d: t.T3(d["close"], 5, 0.7), [(0, 0)]),
    "TRIMA": ("TRIMA(close, 30)", lambda t, d: t.TRIMA(d["close"], 30), [(0, 0)]),
    "VWMA": ("VWMA(close, volume, 30)", lambda t, d: t.VWMA(d["close"], d["volume"], 30), [(0, 0)]),
    "RMA": ("RMA(close, 30)", lambda t, d: t.RMA(d["close"], 30), [(0, 0)]),
    "Correlation": ("CORREL(a, b, 30)", lambda t, d: t.CORREL(d["a"], d["b"], 30), [(0, 0)]),
    "Beta": ("BETA(a, b, 5)", lambda t, d: t.BETA(d["a"], d["b"], 5), [(0, 0)]),
    "AccumulationDistribution": ("AD(high, low, close, volume)",
                                 lambda t, d: t.AD(d["high"], d["low"], d["close"], d["volume"]), [(0, 0)]),
    "ChaikinOscillator": ("ADOSC(high, low, close, volume, 3, 10)",
                          lambda t, d: t.ADOSC(d["high"], d["low"], d["close"], d["volume"], 3, 10), [(0, 0)]),
    "ChaikinMoneyFlow": ("CMF(high, low, close, volume, 20)",
                         lambda t, d: t.CMF(d["high"], d["low"], d["close"], d["volume"], 20), [(0, 0)]),
    "ForceIndex": ("EFI(close, volume, 13)", lambda t, d: t.EFI(d["close"], d["volume"], 13), [(0, 0)]),
    "PVT": ("PVT(close, volume)", lambda t, d: t.PVT(d["close"], d["volume"]), [(0, 0)]),
    "NVI": ("NVI(close, volume)", lambda t, d: t.NVI(d["close"], d["volume"]), [(0, 0)]),
    "PVI": ("PVI(close, volume)", lambda t, d: t.PVI(d["close"], d["volume"]), [(0, 0)]),
    "Vortex": ("VORTEX(high, low, close, 14)", lambda t, d: t.VORTEX(d["high"], d["low"], d["close"], 14),
               [(0, 0), (1, 1)]),
    "MassIndex": ("MASSI(high, low, 9, 25)", lambda t, d: t.MASSI(d["high"], d["low"], 9, 25), [(0, 0)]),
    "HeikinAshi": ("HA(open, high, low, close)", lambda t, d: t.HA(d["open"], d["high"], d["low"], d["close"]),
                   [(0, 0), (1, 1), (2, 2), (3, 3)]),
    "StdDev": ("STDDEV(close, 5, 1.0)", lambda t, d: t.STDDEV(d["close"], 5, 1.0), [(0, 0)]),
    "Variance": ("VAR(close, 5)", lambda t, d: t.VAR(d["close"], 5), [(0, 0)]),
    # The five columns take five TA-Lib functions.
    "LinearRegression": ("LINEARREG, _SLOPE, _INTERCEPT, _ANGLE, TSF(close, 14)",
                         lambda t, d: tuple(f(d["close"], 14) for f in (t.LINEARREG, t.LINEARREG_SLOPE,
                                                                        t.LINEARREG_INTERCEPT, t.LINEARREG_ANGLE,
                                                                        t.TSF)),
                         [(k, k) for k in range(5)]),
    "MidPoint": ("MIDPOINT(close, 14)", lambda t, d: t.MIDPOINT(d["close"], 14), [(0, 0)]),
    "MidPrice": ("MIDPRICE(high, low, 14)", lambda t, d: t.MIDPRICE(d["high"], d["low"], 14), [(0, 0)]),
    "NATR": ("NATR(high, low, close, 14)", lambda t, d: t.NATR(d["high"], d["low"], d["close"], 14), [(0, 0)]),
}

# talipp's class for each class it has, built with kestov's default configuration.
TALIPP = {
    "SMA": ("SMA(20)", lambda i: i.SMA(20)),
    "EMA": ("EMA(20)", lambda i: i.EMA(20)),
    "WMA": ("WMA(20)", lambda i: i.WMA(20)),
    "RSI": ("RSI(14)", lambda i: i.RSI(14)),
    "MACD": ("MACD(12, 26, 9)", lambda i: i.MACD(12, 26, 9)),
    "BollingerBands": ("BB(20, 2.0)", lambda i: i.BB(20, 2.0)),
    "ATR": ("ATR(14)", lambda i: i.ATR(14)),
    "Stochastic": ("Stoch(14, 3)", lambda i: i.Stoch(14, 3)),
    "OBV": ("OBV()", lambda i: i.OBV()),
    "DEMA": ("DEMA(20)", lambda i: i.DEMA(20)),
    "TEMA": ("TEMA(20)", lambda i: i.TEMA(20)),
    "HMA": ("HMA(20)", lambda i: i.HMA(20)),
    "KAMA": ("KAMA(10, 2, 30)", lambda i: i.KAMA(10, 2, 30)),
    "CCI": ("CCI(20)", lambda i: i.CCI(20)),
    "ROC": ("ROC(20)", lambda i: i.ROC(20)),
    "WilliamsR": ("Williams(14)", lambda i: i.Williams(14)),
    "ADX": ("ADX(14, 14)", lambda i: i.ADX(14, 14)),
    "TRIX": ("TRIX(20)", lambda i: i.TRIX(20)),
    "PSAR": ("ParabolicSAR(0.02, 0.02, 0.2)", lambda i: i.ParabolicSAR(0.02, 0.02, 0.2)),
    "Keltner": ("KeltnerChannels(20, 10, 2.0, 2.0)", lambda i: i.KeltnerChannels(20, 10, 2.0, 2.0)),
    "Donchian": ("DonchianChannels(20)", lambda i: i.DonchianChannels(20)),
    "VWAP": ("VWAP()", lambda i: i.VWAP()),
    "AwesomeOscillator": ("AO(5, 34)", lambda i: i.AO(5, 34)),
    "Aroon": ("Aroon(14)", lambda i: i.Aroon(14)),
    "StochRSI": ("StochRSI(14, 5, 1, 3)", lambda i: i.StochRSI(14, 5, 1, 3)),
    "TSI": ("TSI(13, 25)", lambda i: i.TSI(13, 25)),
    "UltimateOscillator": ("UO(7, 14, 28)", lambda i: i.UO(7, 14, 28)),
    "KST": ("KST(10, 10, 15, 10, 20, 10, 30, 15, 9)", lambda i: i.KST(10, 10, 15, 10, 20, 10, 30, 15, 9)),
    "Coppock": ("CoppockCurve(11, 14, 10)", lambda i: i.CoppockCurve(11, 14, 10)),
    "DPO": ("DPO(20)", lambda i: i.DPO(20)),
    "SuperTrend": ("SuperTrend(10, 3)", lambda i: i.SuperTrend(10, 3)),
    "Ichimoku": ("Ichimoku(26, 9, 26, 52, 26)", lambda i: i.Ichimoku(26, 9, 26, 52, 26)),
    "BalanceOfPower": ("BOP()", lambda i: i.BOP()),
    "ZLEMA": ("ZLEMA(30)", lambda i: i.ZLEMA(30)),
    "T3": ("T3(5, 0.7)", lambda i: i.T3(5, 0.7)),
    "VWMA": ("VWMA(30)", lambda i: i.VWMA(30)),
    "RMA": ("SMMA(30)", lambda i: i.SMMA(30)),
    "AccumulationDistribution": ("AccuDist()", lambda i: i.AccuDist()),
    "ChaikinOscillator": ("ChaikinOsc(3, 10)", lambda i: i.ChaikinOsc(3, 10)),
    "ForceIndex": ("ForceIndex(13)", lambda i: i.ForceIndex(13)),
    "EaseOfMovement": ("EMV(14, 100000000)", lambda i: i.EMV(14, 100000000)),
    "Vortex": ("VTX(14)", lambda i: i.VTX(14)),
    "MassIndex": ("MassIndex(9, 9, 25)", lambda i: i.MassIndex(9, 9, 25)),
}


def optional_import(name):
    try:
        return __import__(name, fromlist=["_"])
    except ImportError:
        return None


def version_of(distribution):
    try:
        return importlib.metadata.version(distribution)
    except importlib.metadata.PackageNotFoundError:
        return None


def once_ns(run, per, prepare=lambda: None):
    """run(prepare()) once, in nanoseconds per item, with the collector off."""
    arg = prepare()
    gc.disable()
    start = time.perf_counter_ns()
    run(arg)
    elapsed = time.perf_counter_ns() - start
    gc.enable()
    return elapsed / per


def medians_ns(timings, repeat):
    """Each of `timings` (arguments of once_ns) timed `repeat` times, taking
    turns round by round so that a burst of load elsewhere on the machine
    falls on all of them alike; the median of each."""
    runs = [[] for _ in timings]
    for _ in range(repeat):
        for times, timing in zip(runs, timings):
            times.append(once_ns(*timing))
    return [statistics.median(times) for times in runs]


def ohlcv(rows, seed):
    """Valid candles of a price that stays positive: a random walk of the log
    of the close, each open near the previous close, high and low a little
    beyond the body, positive volume."""
    rng = np.random.default_rng(seed)
    close = 100.0 * np.exp(np.cumsum(rng.normal(0.0, 0.001, rows)))
    open_ = np.concatenate([[100.0], close[:-1]]) * (1.0 + rng.normal(0.0, 0.0002, rows))
    high = np.maximum(open_, close) * (1.0 + rng.uniform(0.0, 0.002, rows))
    low = np.minimum(open_, close) * (1.0 - rng.uniform(0.0, 0.002, rows))
    volume = rng.uniform(1.0, 1e6, rows)
    # a second price beside the close, for the two-series statistics; a bar a minute
    other = 50.0 * np.exp(np.cumsum(rng.normal(0.0, 0.001, rows)))
    stamps = np.arange(rows, dtype=np.int64) * 60
    return {"open": open_, "high": high, "low": low, "close": close, "prices": close, "volume": volume,
            "a": close, "b": other, "timestamp": stamps}


def class_names():
    return [name for name in kestov.__all__ if name != "__version__"]


def default_instance(cls):
    required = [p for p in inspect.signature(cls).parameters.values() if p.default is p.empty]
    return cls(*[20] * len(required))


def label(cls):
    obj = default_instance(cls)
    text = repr(obj)
    if cls.__repr__ is object.__repr__ or text == cls.__name__:
        params = ", ".join(f"{p.name}={p.default}" if p.default is not p.empty else f"{p.name}=20"
                           for p in inspect.signature(cls).parameters.values())
        text = f"{cls.__name__}({params})"
    return text


def config_values(cls):
    """The default configuration's arguments in the constructor's order, as default_instance builds it."""
    return [20 if p.default is p.empty else p.default for p in inspect.signature(cls).parameters.values()]


class BoundKernel(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("chain", ctypes.c_char_p), ("run", ctypes.c_void_p)]


BOUND_RUN = ctypes.CFUNCTYPE(ctypes.c_double, ctypes.POINTER(ctypes.c_void_p), ctypes.c_size_t,
                             ctypes.POINTER(ctypes.c_double))
BOUND_FLAGS = ["-O2", "-std=c++20", "-ffp-contract=off", "-fno-fast-math", "-shared", "-fPIC", "-Wall", "-Wextra"]


def compiler():
    """The C++ compiler's command: $CXX, else c++ or g++ on the path; None without one."""
    if os.environ.get("CXX"):
        command = shlex.split(os.environ["CXX"])
        return command if shutil.which(command[0]) else None
    found = shutil.which("c++") or shutil.which("g++")
    return [found] if found else None


def load_bounds():
    """bench/bounds.cpp compiled for this run: {class: (what its chain is made of, kernel or None)},
    with the compiler's command; (None, None) when there is no compiler or it fails."""
    command = compiler()
    if command is None:
        print("no C++ compiler ($CXX, c++, g++): the bounds are left out", flush=True)
        return None, None
    with tempfile.TemporaryDirectory(prefix="kestov-bounds-", ignore_cleanup_errors=True) as tmp:
        library = Path(tmp) / "bounds.so"
        try:
            subprocess.run([*command, *BOUND_FLAGS, str(ROOT / "bench" / "bounds.cpp"), "-o", str(library)],
                           check=True, capture_output=True, text=True)
        except (OSError, subprocess.CalledProcessError) as e:
            print(f"bench/bounds.cpp did not compile, the bounds are left out: {getattr(e, 'stderr', '') or e}",
                  flush=True)
            return None, None
        # Mapped once loaded, so the directory can go.
        lib = ctypes.CDLL(str(library))
    move = lib.kestov_move
    move.argtypes = [ctypes.POINTER(ctypes.c_void_p), ctypes.c_size_t, ctypes.c_size_t, ctypes.c_void_p,
                     ctypes.c_size_t]
    move.restype = ctypes.c_bool
    kernels = {MOVE: move}
    first = BoundKernel.in_dll(lib, "kestov_bounds")
    table = ctypes.cast(ctypes.addressof(first), ctypes.POINTER(BoundKernel))
    i = 0
    while table[i].name is not None:
        entry = table[i]
        kernels[entry.name.decode()] = (entry.chain.decode(), BOUND_RUN(entry.run) if entry.run else None)
        i += 1
    return kernels, " ".join(command)


MOVE = "(moved)"  # load_bounds' key for the loop of the bytes a batch must move


def move_call(move, inputs, rows, outputs):
    """The bytes `batch` must move as a bare loop, for medians_ns: its input columns read and
    `outputs` values a row written; None where bench/bounds.cpp has no such loop."""
    columns = (ctypes.c_void_p * len(inputs))(*[c.ctypes.data for c in inputs])
    out = np.empty(rows * outputs)
    if not move(columns, len(inputs), 0, out.ctypes.data, outputs):
        return None
    return lambda _: move(columns, len(inputs), rows, out.ctypes.data, outputs)


def chain_call(kernel, cls, inputs, rows):
    """The kernel over the batch's own columns and the default configuration, for medians_ns."""
    assert all(c.flags.c_contiguous and c.itemsize == 8 for c in inputs)
    columns = (ctypes.c_void_p * len(inputs))(*[c.ctypes.data for c in inputs])
    values = config_values(cls)
    params = (ctypes.c_double * len(values))(*values)
    return lambda _: kernel(columns, rows, params)


def batch_inputs(cls, data):
    return [data[p] for p in list(inspect.signature(cls.batch).parameters)[1:]]


def takes_candle(cls):
    return list(inspect.signature(cls.update).parameters)[1:] == ["candle"]


def takes_pair(cls):
    return list(inspect.signature(cls.update).parameters)[1:] == ["pair"]


def compare(ours, theirs, pairs):
    """How far TA-Lib's values are from ours where both have one: the largest
    difference, also as a share of the largest magnitude in our column."""
    ours = ours.reshape(len(ours), -1)
    theirs = theirs if isinstance(theirs, tuple) else (theirs,)
    compared = one_sided = 0
    max_abs = max_scaled = 0.0
    for t, o in pairs:
        a, b = ours[:, o], np.asarray(theirs[t])
        both = ~np.isnan(a) & ~np.isnan(b)
        one_sided += int(np.count_nonzero(np.isnan(a) != np.isnan(b)))
        compared += int(np.count_nonzero(both))
        if both.any():
            diff = float(np.abs(a[both] - b[both]).max())
            scale = float(np.abs(a[both]).max())
            max_abs = max(max_abs, diff)
            max_scaled = max(max_scaled, diff / scale if scale > 0 else diff)
    return {"values_compared": compared, "values_on_one_side_only": one_sided,
            "max_abs_diff": max_abs, "max_diff_over_scale": max_scaled}


def run_batch(names, data, rows, repeat, talib, bounds=None):
    """Each class's batch beside the copy of its columns, TA-Lib's function and, with `bounds` (from
    load_bounds), its chain and the bytes it must move; the bound is the slower of those two."""
    results = []
    for name in names:
        cls = getattr(kestov, name)
        inputs = batch_inputs(cls, data)
        probe = default_instance(cls).batch(*[c[:1000] for c in inputs])  # first use: NumPy's API is looked up
        outputs = probe.shape[1] if probe.ndim == 2 else 1
        copies = [np.empty_like(c) for c in inputs]
        timings = [(lambda obj: obj.batch(*inputs), rows, lambda: default_instance(cls)),
                   (lambda _: [np.copyto(d, c) for d, c in zip(copies, inputs)], rows)]
        matched = name in TALIB and talib is not None
        if matched:
            call, fn, pairs = TALIB[name]
            timings.append((lambda _: fn(talib, data), rows))
        chain, kernel = (bounds or {}).get(name, (None, None))
        moving = move_call(bounds[MOVE], inputs, rows, outputs) if chain is not None else None
        if moving is not None:
            timings.append((moving, rows))
        if kernel is not None:
            timings.append((chain_call(kernel, cls, inputs, rows), rows))
        ns, floor, *others = medians_ns(timings, repeat)
        moved = others[-1 - (kernel is not None)] if moving is not None else floor
        entry = {"class": name, "config": label(cls), "ns_per_row": ns, "floor_ns_per_row": floor,
                 "x_floor": ns / floor, "chain": chain, "outputs": outputs, "moved_ns_per_row": moved,
                 "chain_ns_per_row": others[-1] if kernel is not None else None,
                 "bound_ns_per_row": None, "bound_made_of": None, "x_bound": None}
        if chain is not None:
            # A class without a chain, or whose chain is quicker than its memory, is bound by the
            # bytes it must move.
            slower = kernel is not None and entry["chain_ns_per_row"] > moved
            entry["bound_ns_per_row"] = entry["chain_ns_per_row"] if slower else moved
            entry["bound_made_of"] = chain if slower else f"memory: {len(inputs)} in, {outputs} out"
            entry["x_bound"] = ns / entry["bound_ns_per_row"]
        elif bounds is not None:
            print(f"  bench/bounds.cpp has no entry for {name}", flush=True)
        if name in TALIB:
            entry["talib"] = TALIB[name][0]
        if matched:
            entry["talib_ns_per_row"] = others[0]
            entry["x_talib"] = ns / others[0]
            entry["check"] = compare(default_instance(cls).batch(*inputs), fn(talib, data), pairs)
        results.append(entry)
        print(f"  batch  {entry['config']:48} {ns:8.2f} ns/row   x{entry['x_floor']:.2f} floor"
              + (f"   x{entry['x_bound']:.2f} bound" if entry["x_bound"] is not None else "")
              + (f"   x{entry['x_talib']:.2f} TA-Lib" if "x_talib" in entry else ""), flush=True)
    return results


def run_update(names, data, calls, talipp_calls, repeat, talipp):
    n = calls
    floats = data["close"][:n].tolist()
    tuples = list(zip(data["open"][:n].tolist(), data["high"][:n].tolist(), data["low"][:n].tolist(),
                      data["close"][:n].tolist(), data["volume"][:n].tolist(), data["timestamp"][:n].tolist()))
    pairs = list(zip(data["a"][:n].tolist(), data["b"][:n].tolist()))
    fabs = math.fabs

    def call_floor(_):
        for x in floats:
            fabs(x)

    floors = []
    results = []
    if talipp is not None:
        from talipp.ohlcv import OHLCV
        m = min(talipp_calls, n)
        talipp_inputs = {"value": floats[:m], "candle": [OHLCV(*t[:5]) for t in tuples[:m]]}
    for name in names:
        cls = getattr(kestov, name)
        candle, pair = takes_candle(cls), takes_pair(cls)
        args = tuples if candle else pairs if pair else floats

        def feed(obj, args=args):
            update = obj.update
            for x in args:
                update(x)

        ns, floor = medians_ns([(feed, n, lambda: default_instance(cls)), (call_floor, n)], repeat)
        floors.append(floor)
        limit = UPDATE_TUPLE if candle or pair else UPDATE_FLOAT
        entry = {"class": name, "argument": "6-tuple" if candle else "2-tuple" if pair else "float", "ns_per_call": ns,
                 "call_floor_ns_per_call": floor, "x_call_floor": ns / floor, "limit_x_call_floor": limit}
        if name in TALIPP:
            call, make = TALIPP[name]
            entry["talipp"] = call
            if talipp is not None:
                values = talipp_inputs["candle" if candle else "value"]

                def feed_talipp(ind, values=values):
                    add = ind.add
                    for x in values:
                        add(x)

                t, = medians_ns([(feed_talipp, len(values), lambda: make(talipp))], max(3, repeat // 2))
                entry["talipp_ns_per_call"] = t
                entry["talipp_x_slower"] = t / ns
        results.append(entry)
        print(f"  update {name:20} {entry['argument']:8} {ns:8.2f} ns/call   x{entry['x_call_floor']:.2f} floor"
              + (f"   talipp x{entry['talipp_x_slower']:.0f} slower" if "talipp_x_slower" in entry else ""),
              flush=True)
    floor = statistics.median(floors) if floors else medians_ns([(call_floor, n)], repeat)[0]

    # What the interpreter's own C builtins pay to return a tuple of new
    # floats, for the classes whose update returns one.
    def tuple_call(_):
        for x in floats:
            divmod(x, 1.0)

    ns, beside = medians_ns([(tuple_call, n), (call_floor, n)], repeat)
    reference = {"call": "divmod(x, 1.0)", "ns_per_call": ns, "x_call_floor": ns / beside}
    return floor, results, reference


def wide_ohlcv(rows, series, seed):
    """(rows, series) C-contiguous columns for the panel, and (series, rows) ones for a loop over series."""
    flat = ohlcv(rows * series, seed)
    by_series = {k: np.ascontiguousarray(v.reshape(series, rows)) for k, v in flat.items()}
    wide = {k: np.ascontiguousarray(v.T) for k, v in by_series.items()}
    return wide, by_series


class _Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def heap_bytes():
    """Bytes the C allocator has handed out and not taken back (glibc's
    mallinfo2), or None where it is not available. Resident memory would
    not do: a panel's states can fill pages a freed array left resident."""
    try:
        mallinfo2 = ctypes.CDLL(None).mallinfo2
    except (OSError, AttributeError):
        return None
    mallinfo2.restype = _Mallinfo2
    info = mallinfo2()
    return info.uordblks + info.hblkhd


def series_bytes(cls, count=20_000):
    """Bytes a series of a panel takes: the allocator's growth while the
    panel is made, per series."""
    from kestov.many import Panel
    gc.collect()
    before = heap_bytes()
    panel = Panel(default_instance(cls), count)
    after = heap_bytes()
    del panel
    return None if before is None or after is None else max(after - before, 0) / count


UPDATE_ROWS = 100  # rows of a live feed per timing of Panel.update


def warm_panel(cls, count, row_inputs):
    """A panel of `count` series past their warm-up, as a live feed's panel is
    when the next row arrives."""
    from kestov.many import Panel
    panel = Panel(default_instance(cls), count)
    for _ in range(default_instance(cls).warmup_period() + 1):
        panel.update(*row_inputs)
    return panel


def keep_freed_heap():
    """glibc hands the top of its heap back to the system once enough of it
    is free. The TA-Lib loop's 2,000 outputs of a few kilobytes each come
    from that heap, so whether a run finds them on pages already mapped or
    grows the heap again depended on what had run before it, and its time
    varied by up to two times between runs. Keeping freed memory makes every
    run the quicker case. The panel's output is one large block that the C
    library maps afresh either way."""
    try:
        ctypes.CDLL(None).mallopt(-1, 1 << 30)  # M_TRIM_THRESHOLD
    except (OSError, AttributeError):
        pass


def copy_bandwidth(cells, repeat):
    """GB/s of NumPy copying a block of `cells` doubles that no cache holds,
    bytes read plus bytes written, on one thread and split over two: what
    memory allows a panel that reads its inputs and writes its outputs once."""
    import threading
    source = np.random.default_rng(0).random(cells)
    target = np.empty_like(source)
    target[:] = 0.0

    def split(threads):
        def run(_):
            parts = [threading.Thread(target=np.copyto, args=(target[k * cells // threads:(k + 1) * cells // threads],
                                                              source[k * cells // threads:(k + 1) * cells // threads]))
                     for k in range(threads)]
            for t in parts:
                t.start()
            for t in parts:
                t.join()
        return run

    one, two = medians_ns([(split(1), 1), (split(2), 1)], repeat)
    return {"1_thread": 2 * source.nbytes / one, "2_threads": 2 * source.nbytes / two}


def run_universe(names, rows, series, repeat, talib, seed, update_series=5000):
    from kestov.many import Panel
    keep_freed_heap()
    wide, by_series = wide_ohlcv(rows, series, seed)
    row = {k: np.ascontiguousarray(v[0, :1].repeat(update_series)) for k, v in wide.items()}
    cells, results = rows * series, []
    for name in names:
        cls = getattr(kestov, name)
        inputs = batch_inputs(cls, wide)
        row_inputs = batch_inputs(cls, row)
        timings = [(lambda p: p.batch(*inputs, threads=1), cells, lambda: Panel(default_instance(cls), series)),
                   (lambda p: p.batch(*inputs, threads=2), cells, lambda: Panel(default_instance(cls), series)),
                   (lambda p: [p.update(*row_inputs) for _ in range(UPDATE_ROWS)], update_series * UPDATE_ROWS,
                    lambda: warm_panel(cls, update_series, row_inputs))]
        matched = name in TALIB and talib is not None
        if matched:
            fn = TALIB[name][1]
            columns = [{k: v[s] for k, v in by_series.items()} for s in range(series)]
            timings.append((lambda _: [fn(talib, d) for d in columns], cells))
        one, two, update, *theirs = medians_ns(timings, repeat)
        entry = {"class": name, "config": label(cls), "ns_per_cell": one, "ns_per_cell_2_threads": two,
                 "x_1_thread": two / one, "update_ns_per_series": update, "bytes_per_series": series_bytes(cls)}
        if matched:
            entry["talib_loop_ns_per_cell"] = theirs[0]
            entry["x_talib_loop"] = one / theirs[0]
        results.append(entry)
        print(f"  panel  {entry['config']:48} {one:7.2f} ns/cell   2 threads x{entry['x_1_thread']:.2f}"
              f"   update {update:6.2f} ns/series"
              + (f"   x{entry['x_talib_loop']:.2f} TA-Lib loop" if matched else ""), flush=True)
    return results


def machine():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return {"cpu": cpu, "logical_cpus": os.cpu_count(), "system": platform.platform()}


def targets(batch, update, report_universe=None):
    matched = [b["x_talib"] for b in batch if "x_talib" in b]
    out = {}
    bounded = [b for b in batch if b.get("x_bound") is not None]
    if bounded:
        worst = max(bounded, key=lambda b: b["x_bound"])
        out["batch_worst_x_bound"] = {"class": worst["class"], "value": worst["x_bound"], "limit": BOUND_LIMIT,
                                      "classes": len(bounded),
                                      "within": [b["class"] for b in bounded if b["x_bound"] <= BOUND_LIMIT]}
    if matched:
        worst = max(batch, key=lambda b: b.get("x_talib", 0.0))
        out["batch_worst_x_talib"] = {"class": worst["class"], "value": worst["x_talib"], "limit": BATCH_WORST}
        out["batch_geomean_x_talib"] = {"value": math.exp(statistics.fmean(map(math.log, matched))),
                                        "limit": BATCH_GEOMEAN, "classes": len(matched)}
    for kind, limit in (("float", UPDATE_FLOAT), ("6-tuple", UPDATE_TUPLE)):
        rows = [u for u in update if u["argument"] == kind]
        if rows:
            worst = max(rows, key=lambda u: u["x_call_floor"])
            out[f"update_{kind}_worst_x_call_floor"] = {"class": worst["class"], "value": worst["x_call_floor"],
                                                         "limit": limit}
    slower = [u for u in update if "talipp_x_slower" in u]
    if slower:
        least = min(slower, key=lambda u: u["talipp_x_slower"])
        out["talipp_least_x_slower"] = {"class": least["class"], "value": least["talipp_x_slower"],
                                        "limit": TALIPP_SPEEDUP}
    # The panel's targets are set over the first module's classes that TA-Lib shares.
    first = set(_kestov.__all__)
    shared = [e for e in report_universe or [] if "x_talib_loop" in e and e["class"] in first]
    if shared:
        out["universe_geomean_x_talib_loop"] = {
            "value": math.exp(statistics.fmean(math.log(e["x_talib_loop"]) for e in shared)),
            "limit": UNIVERSE_GEOMEAN, "classes": len(shared)}
        worst = max(shared, key=lambda e: e["x_talib_loop"])
        out["universe_worst_x_talib_loop"] = {"class": worst["class"], "value": worst["x_talib_loop"], "limit": 1.0}
    by_class = {e["class"]: e for e in report_universe or []}
    if "x_talib_loop" in by_class.get("ATR", {}):
        out["universe_atr_x_talib_loop"] = {"class": "ATR", "value": by_class["ATR"]["x_talib_loop"], "limit": 0.7}
    for name in ("ATR", "MACD"):
        if name in by_class:
            out[f"universe_{name.lower()}_2_threads_x_1"] = {"class": name, "value": by_class[name]["x_1_thread"],
                                                             "limit": 0.6}
    if "ATR" in by_class:
        out["universe_atr_update_ns_per_series"] = {"class": "ATR", "value": by_class["ATR"]["update_ns_per_series"],
                                                    "limit": 5.0}
    return out


def fmt(x, digits=2):
    return "" if x is None else f"{x:.{digits}f}"


def markdown(report):
    meta, lines = report["meta"], []
    add = lines.append
    add("# Benchmarks")
    add("")
    add(f"Generated by `python bench/benchmark.py` on {meta['date']}.")
    add("")
    add(f"- Machine: {meta['machine']['cpu']}, {meta['machine']['logical_cpus']} logical CPUs, "
        f"{meta['machine']['system']}")
    add(f"- Python {meta['python']}, NumPy {meta['numpy']}, kestov {meta['kestov']}, "
        f"TA-Lib (`ta-lib`) {meta['ta-lib'] or 'not installed'}, talipp {meta['talipp'] or 'not installed'}")
    add(f"- Data: {meta['rows']:,} rows of seeded synthetic OHLCV (seed {meta['seed']}); "
        f"median of {meta['repeat']} runs, a fresh object each; update over {meta['calls']:,} calls "
        f"(talipp over {meta['talipp_calls']:,})")
    add("")
    add("## batch (ns per row)")
    add("")
    add("Floor: a NumPy copy of the same input columns into arrays made beforehand (`np.copyto`), so that "
        "it measures memory and not the page faults of fresh arrays. TA-Lib: its matching function on the "
        "same columns. "
        "Max diff: the largest difference between the two results where both have a value, as a share "
        "of the largest magnitude in the column (the libraries differ by design in seeding and warm-up "
        "in places; shown as a sanity check).")
    add("")
    if meta.get("bounds"):
        add("Bound: what exact arithmetic allows. Each row of an indicator waits for some operations of the row "
            "before (a running sum's addition, an average's division): that chain, in the class's order and "
            "with its operations, as a bare C++ loop over the same columns (`bench/bounds.cpp`, compiled here "
            f"with `{meta['bounds']}` and timed in turns with the rest), or the bytes the batch must move, "
            "where that is slower or the class has no chain: its input columns read and its outputs written, "
            "as a loop of the same file with nothing computed between (a class with several outputs writes "
            "more than it reads, which a copy of its inputs leaves out). No exact implementation can be "
            "quicker than either, so x bound says how much of a batch's time is more than that.")
    else:
        add("Bound: left out, as no C++ compiler was found to build `bench/bounds.cpp`.")
    add("")
    add("| Class (default configuration) | kestov | floor | x floor | bound | bound made of | x bound "
        "| TA-Lib function | TA-Lib | kestov / TA-Lib | max diff |")
    add("|---|---:|---:|---:|---:|---|---:|---|---:|---:|---:|")
    for b in report["batch"]:
        check = b.get("check")
        add(f"| {b['config']} | {fmt(b['ns_per_row'])} | {fmt(b['floor_ns_per_row'])} | {fmt(b['x_floor'])} "
            f"| {fmt(b.get('bound_ns_per_row'))} | {b.get('bound_made_of') or ''} | {fmt(b.get('x_bound'))} "
            f"| {b.get('talib', '')} | {fmt(b.get('talib_ns_per_row'))} | {fmt(b.get('x_talib'))} "
            f"| {'' if check is None else format(check['max_diff_over_scale'], '.1e')} |")
    add("")
    add("Matching: STOCH with a slow-%K period of 1 is the raw %K that kestov's Stochastic returns, with its "
        "3-row SMA as %D; TA-Lib's KAMA has the fast and slow constants 2 and 30 built in; TA-Lib's ADX returns "
        "the ADX alone where kestov's also returns both directional indicators; SAR's acceleration is both "
        "PSAR's start and step.")
    add("")
    add("## update (ns per call)")
    add("")
    add(f"Call floor: `math.fabs(x)` over the same floats, timed in turns with each class (median "
        f"{fmt(report['call_floor_ns_per_call'])} ns per call); each ratio uses the floor timed beside it. "
        "Loop overhead is included on both sides. talipp: its `add` with a float or an `OHLCV`.")
    ref = report.get("tuple_reference")
    if ref:
        add("")
        add(f"For the classes that return a tuple: `{ref['call']}`, a builtin that returns a new tuple of two "
            f"new floats, takes {fmt(ref['ns_per_call'])} ns per call here, {fmt(ref['x_call_floor'])} times "
            "the call floor.")
    add("")
    add("| Class | argument | kestov | x call floor | limit | talipp | talipp / kestov |")
    add("|---|---|---:|---:|---:|---:|---:|")
    for u in report["update"]:
        add(f"| {u['class']} | {u['argument']} | {fmt(u['ns_per_call'])} | {fmt(u['x_call_floor'])} "
            f"| {fmt(u['limit_x_call_floor'], 0)} | {fmt(u.get('talipp_ns_per_call'), 0)} "
            f"| {fmt(u.get('talipp_x_slower'), 0)} |")
    add("")
    universe = report.get("universe")
    if universe:
        u = report["meta"]["universe"]
        add("## Universe: kestov.many.Panel (ns per cell)")
        add("")
        add(f"{u['rows']:,} rows x {u['series']:,} series of seeded synthetic OHLCV in (rows, series) arrays; "
            "TA-Lib loop: its function called once per series on contiguous columns (the transpose made before "
            f"timing). Update: rows of a live feed, one row of {u['update_series']:,} series a call, on a panel past "
            "its warm-up, per series. Memory: the C allocator's growth for a panel of 20,000 series, per series. The targets for the "
            "geometric mean and the slowest class are over the first module's classes that TA-Lib shares.")
        bw = u.get("copy_gb_per_s")
        if bw:
            add("")
            add(f"Memory, for scale: NumPy copies a block three times this size (read plus written) at "
                f"{bw['1_thread']:.1f} GB/s on one thread and {bw['2_threads']:.1f} GB/s split over two. A class whose "
                "lanes step faster than its inputs arrive gains little from a second thread where the two figures "
                "are close.")
        add("")
        add("| Class | panel, 1 thread | 2 threads / 1 | TA-Lib loop | panel / TA-Lib loop | update ns per series "
            "| bytes per series |")
        add("|---|---:|---:|---:|---:|---:|---:|")
        for e in universe:
            add(f"| {e['config']} | {fmt(e['ns_per_cell'])} | {fmt(e['x_1_thread'])} "
                f"| {fmt(e.get('talib_loop_ns_per_cell'))} | {fmt(e.get('x_talib_loop'))} "
                f"| {fmt(e['update_ns_per_series'])} | {fmt(e['bytes_per_series'], 0)} |")
        add("")
    add("## Targets")
    add("")
    add("| Target | measured | limit | met |")
    add("|---|---:|---:|---|")
    names = {
        "batch_worst_x_bound": "batch: slowest class against its bound",
        "batch_worst_x_talib": "batch: slowest class against TA-Lib",
        "batch_geomean_x_talib": "batch: geometric mean against TA-Lib",
        "update_float_worst_x_call_floor": "update with a float: slowest class against the call floor",
        "update_6-tuple_worst_x_call_floor": "update with a 6-tuple: slowest class against the call floor",
        "talipp_least_x_slower": "update: talipp slower by at least",
        "universe_geomean_x_talib_loop": "universe: geometric mean of the panel against the TA-Lib loop",
        "universe_worst_x_talib_loop": "universe: slowest class against the TA-Lib loop",
        "universe_atr_x_talib_loop": "universe: ATR against the TA-Lib loop",
        "universe_atr_2_threads_x_1": "universe: ATR, two threads against one",
        "universe_macd_2_threads_x_1": "universe: MACD, two threads against one",
        "universe_atr_update_ns_per_series": "universe: ATR update, ns per series",
    }
    for key, t in report["targets"].items():
        met = t["value"] >= t["limit"] if key == "talipp_least_x_slower" else t["value"] <= t["limit"]
        who = f" ({t['class']})" if "class" in t else ""
        digits = 2 if key == "batch_worst_x_bound" else 1
        add(f"| {names[key]}{who} | {fmt(t['value'])} | {fmt(t['limit'], digits)} "
            f"| {'yes' if met else 'no'} |")
    add("")
    bound = report["targets"].get("batch_worst_x_bound")
    if bound:
        beyond = sorted((b for b in report["batch"]
                         if b.get("x_bound") is not None and b["class"] not in bound["within"]),
                        key=lambda b: -b["x_bound"])
        add(f"Within {bound['limit']:.2f} times their bound: {len(bound['within'])} of {bound['classes']} classes"
            + (": all." if not beyond else ". Beyond it: "
               + ", ".join(f"{b['class']} ({b['x_bound']:.2f})" for b in beyond) + "."))
        add("")
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=1_000_000, help="rows of synthetic OHLCV for batch")
    parser.add_argument("--repeat", type=int, default=11, help="runs per figure (the median is kept)")
    parser.add_argument("--calls", type=int, default=200_000, help="update calls per kestov figure")
    parser.add_argument("--talipp-calls", type=int, default=20_000, help="add calls per talipp figure")
    parser.add_argument("--seed", type=int, default=20240101)
    parser.add_argument("--markdown", type=Path, default=ROOT / "BENCHMARKS.md")
    parser.add_argument("--json", type=Path, default=ROOT / "bench" / "results.json")
    parser.add_argument("--no-peers", action="store_true", help="time kestov and the floors only")
    parser.add_argument("--only", nargs="+", metavar="NAME", help="classes to time (default: all)")
    parser.add_argument("--universe", default="2520x2000", metavar="ROWSxSERIES",
                        help="the panel section's size; 0 leaves it out")
    args = parser.parse_args(argv)

    names = args.only or class_names()
    talib = None if args.no_peers else optional_import("talib")
    talipp = None if args.no_peers else optional_import("talipp.indicators")
    full = ohlcv(max(args.rows, args.calls), args.seed)  # the update calls may outnumber the rows
    data = {k: v[: args.rows] for k, v in full.items()}

    meta = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "machine": machine(), "python": platform.python_version(), "numpy": np.__version__,
        "kestov": kestov.__version__, "ta-lib": talib and version_of("ta-lib"),
        "talipp": talipp and version_of("talipp"), "rows": args.rows, "repeat": args.repeat,
        "calls": args.calls, "talipp_calls": min(args.talipp_calls, args.calls), "seed": args.seed,
    }
    cumsum, = medians_ns([(lambda _: np.cumsum(data["close"]), args.rows)], args.repeat)
    print(f"kestov {meta['kestov']}: {args.rows} rows, median of {args.repeat}; numpy cumsum {cumsum:.2f} ns/row",
          flush=True)
    bounds, meta["bounds"] = load_bounds()
    batch = run_batch(names, data, args.rows, args.repeat, talib, bounds)
    floor, update, reference = run_update(names, full, args.calls, args.talipp_calls, args.repeat, talipp)
    report = {"meta": meta, "cumsum_close_ns_per_row": cumsum, "call_floor_ns_per_call": floor,
              "tuple_reference": reference, "batch": batch, "update": update}
    if args.universe != "0":
        u_rows, u_series = (int(x) for x in args.universe.lower().split("x"))
        meta["universe"] = {"rows": u_rows, "series": u_series, "update_series": 5000}
        report["universe"] = run_universe(names, u_rows, u_series, max(3, args.repeat // 3), talib, args.seed)
        meta["universe"]["copy_gb_per_s"] = copy_bandwidth(u_rows * u_series * 3, args.repeat)
    report["targets"] = targets(batch, update, report.get("universe"))

    args.json.parent.mkdir(parents=True, exist_ok=True)
    args.json.write_text(json.dumps(report, indent=1) + "\n")
    args.markdown.write_text(markdown(report))
    print(f"wrote {args.markdown} and {args.json}")
    return report


if __name__ == "__main__":
    main()
