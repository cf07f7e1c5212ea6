"""Write tests/data/golden.txt: the exact bits of every output of every class,
for its default configuration and a few others, over fixed inputs full of
awkward values, as computed by the installed Python module.

Usage: python tools/make_golden.py [OUTPUT]

The tests never regenerate the file: core/tests/golden_test.cpp feeds the
same inputs to the C++ core (every compiler, optimisation level, processor
and fused multiply-add choice of scripts/exactness.sh) and tests/test_golden.py
to the module's update and batch, and every output must have the stored bits.
Regenerate only when an indicator's arithmetic changes on purpose, or to add
a class or configuration; the diff then shows which outputs moved.

The inputs come from a seeded stream and only +, -, * and / (no libm), so
every platform writes the same inputs; the outputs are the module's.

Format, one record a line ('#' starts a comment):

    series|NAME|ROW ROW ...
    case|CLASS|NAME=VALUE,...|READER|OUT OUT ...

Four series: `prices`, one value a row; `candles`, rows of open, high, low,
close and volume, all five valid together; `pairs`, rows of two values (the
prices beside a second series as awkward); `stamped`, the candles with a
timestamp as a sixth value (hours, going back now and then). A case's reader
is `prices`, `ab` (update gets the pair) or the batch columns of its candle
class; update gets the candle that batch builds from those columns
(bindings/python/src/rows.hpp), timestamp 0 but for `hlcvt`:

    hlc   high, low, close            candle (close, high, low, close, 0)
    hl    high, low                   candle (low, high, low, low, 0)
    cv    close, volume               candle (close, close, close, close, volume)
    hlcv  high, low, close, volume    candle (close, high, low, close, volume)
    ohlc  open, high, low, close      candle (open, high, low, close, 0)
    hlcvt high, low, close, volume, timestamp
                                      candle (close, high, low, close, volume, timestamp)
    hlv   high, low, volume           candle (low, high, low, low, volume)

A case is a class, its constructor's keyword arguments in the order of its
parameters (`-` for none), and one output per row of its series:
`-` where update returns None, else the bits of the value or of each element
of the tuple, joined by ','. Every double is the 16 hexadecimal digits of its
IEEE 754 bits.
"""

import inspect
import math
import random
import struct
import sys
from pathlib import Path

import kestov

ROOT = Path(__file__).resolve().parents[1]
DEFAULT_OUTPUT = ROOT / "tests" / "data" / "golden.txt"
SEED = 20240611
ROWS = 320  # TEMA(100) and TRIX(100) warm up in 298 and 299 rows

# class: (reader, [keyword arguments, ...]); the first is the default
# configuration (or, where the constructor has no default, a typical one),
# then tiny and large ones.
CLASSES = {
    "SMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "EMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "WMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "RSI": ("prices", [{}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "MACD": ("prices", [{}, {"fast": 1, "slow": 2, "signal": 1}, {"fast": 50, "slow": 100, "signal": 30}]),
    "BollingerBands": ("prices", [{}, {"period": 1, "multiplier": 2.0}, {"period": 2, "multiplier": 0.5},
                                  {"period": 100, "multiplier": 3.0}]),
    "ATR": ("hlc", [{}, {"period": 1}, {"period": 100}]),
    "Stochastic": ("hlc", [{}, {"k_period": 1, "d_period": 1}, {"k_period": 100, "d_period": 20}]),
    "OBV": ("cv", [{}]),
    "DEMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 100}]),
    "TEMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 100}]),
    "HMA": ("prices", [{"period": 20}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "KAMA": ("prices", [{}, {"er_period": 1, "fast": 1, "slow": 2}, {"er_period": 100, "fast": 2, "slow": 120}]),
    "CCI": ("hlc", [{}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "ROC": ("prices", [{"period": 10}, {"period": 1}, {"period": 100}]),
    "WilliamsR": ("hlc", [{}, {"period": 1}, {"period": 100}]),
    "ADX": ("hlc", [{}, {"period": 1}, {"period": 100}]),
    "MFI": ("hlcv", [{}, {"period": 1}, {"period": 100}]),
    "TRIX": ("prices", [{"period": 15}, {"period": 1}, {"period": 100}]),
    "PSAR": ("hlc", [{}, {"af_start": 0.5, "af_step": 0.25, "af_max": 1.0},
                     {"af_start": 0.001, "af_step": 0.001, "af_max": 0.005}]),
    "Keltner": ("hlc", [{}, {"ema_period": 1, "atr_period": 1, "multiplier": 0.5},
                        {"ema_period": 100, "atr_period": 120, "multiplier": 3.0}]),
    "Donchian": ("hl", [{}, {"period": 1}, {"period": 100}]),
    "VWAP": ("hlcv", [{}]),
    "AwesomeOscillator": ("hl", [{}, {"fast": 1, "slow": 2}, {"fast": 50, "slow": 150}]),
    "Aroon": ("hl", [{}, {"period": 1}, {"period": 100}]),
    # kestov._more
    "Momentum": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "TrueRange": ("hlc", [{}]),
    "StochRSI": ("prices", [{}, {"period": 1, "k_period": 1, "d_period": 1},
                            {"period": 50, "k_period": 30, "d_period": 10}]),
    "ADXR": ("hlc", [{}, {"period": 1}, {"period": 60}]),
    "DX": ("hlc", [{}, {"period": 1}, {"period": 100}]),
    "PPO": ("prices", [{}, {"fast": 1, "slow": 2, "signal": 1}, {"fast": 50, "slow": 100, "signal": 30}]),
    "APO": ("prices", [{}, {"fast": 1, "slow": 2}, {"fast": 50, "slow": 100}]),
    "TSI": ("prices", [{}, {"long": 1, "short": 1}, {"long": 100, "short": 50}]),
    "CMO": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "UltimateOscillator": ("hlc", [{}, {"fast": 1, "medium": 1, "slow": 1}, {"fast": 20, "medium": 50, "slow": 100}]),
    "KST": ("prices", [{}, {"r1": 1, "r2": 1, "r3": 1, "r4": 1, "s1": 1, "s2": 1, "s3": 1, "s4": 1, "signal": 1}]),
    "Coppock": ("prices", [{}, {"wma_period": 1, "roc1": 1, "roc2": 2}, {"wma_period": 50, "roc1": 60, "roc2": 100}]),
    "DPO": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "SuperTrend": ("hlc", [{}, {"period": 1, "multiplier": 0.5}, {"period": 100, "multiplier": 5.0}]),
    "Ichimoku": ("hl", [{}, {"tenkan": 1, "kijun": 2, "senkou": 3}, {"tenkan": 20, "kijun": 60, "senkou": 120}]),
    "AroonOscillator": ("hl", [{}, {"period": 1}, {"period": 100}]),
    "ZLEMA": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "T3": ("prices", [{}, {"period": 1, "vfactor": 0.7}, {"period": 30, "vfactor": 1.5}]),
    "TRIMA": ("prices", [{}, {"period": 1}, {"period": 2}, {"period": 100}, {"period": 101}]),
    "VWMA": ("cv", [{}, {"period": 1}, {"period": 100}]),
    "RMA": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "BalanceOfPower": ("ohlc", [{}]),
    "Correlation": ("ab", [{}, {"period": 2}, {"period": 100}]),
    "Beta": ("ab", [{}, {"period": 2}, {"period": 12}]),
    "SessionVWAP": ("hlcvt", [{}, {"session": 1, "offset": 0}, {"session": 14400, "offset": -3600},
                              {"session": 86400, "offset": 5 * 3600}]),
    "AccumulationDistribution": ("hlcv", [{}]),
    "ChaikinOscillator": ("hlcv", [{}, {"fast": 1, "slow": 2}, {"fast": 30, "slow": 100}]),
    "ChaikinMoneyFlow": ("hlcv", [{}, {"period": 1}, {"period": 100}]),
    "ForceIndex": ("cv", [{}, {"period": 1}, {"period": 100}]),
    "EaseOfMovement": ("hlv", [{}, {"period": 1, "volume_divisor": 1.0}, {"period": 100, "volume_divisor": 1e-300}]),
    "PVT": ("cv", [{}]),
    "NVI": ("cv", [{}]),
    "PVI": ("cv", [{}]),
    "Vortex": ("hlc", [{}, {"period": 1}, {"period": 100}]),
    "MassIndex": ("hl", [{}, {"ema_period": 1, "sum_period": 1}, {"ema_period": 50, "sum_period": 100}]),
    "HeikinAshi": ("ohlc", [{}]),
    "StdDev": ("prices", [{}, {"period": 1, "nbdev": 1.0}, {"period": 100, "nbdev": 2.5}]),
    "Variance": ("prices", [{}, {"period": 1}, {"period": 2}, {"period": 100}]),
    "LinearRegression": ("prices", [{}, {"period": 2}, {"period": 3}, {"period": 100}]),
    "MidPoint": ("prices", [{}, {"period": 1}, {"period": 100}]),
    "MidPrice": ("hl", [{}, {"period": 1}, {"period": 100}]),
    "NATR": ("hlc", [{}, {"period": 1}, {"period": 100}]),
}

# Rows that repeat the row before them: windows of one price, for the
# divisions by a zero range or deviation (longer than the default periods).
TIES = (range(60, 90), range(150, 195))
# Anywhere: gaps (every class skips non-finite values), signed zeros,
# subnormals and the smallest normals.
AWKWARD = [math.nan, math.inf, -math.inf, -0.0, 0.0, 5e-324, -5e-324, 2.2e-308, 1e-300, -1e-300]
# Magnitudes near the top of the range stay in an average for hundreds of
# rows, and overflow running sums for good, so they come only at the end.
HUGE_FROM = ROWS - 70
HUGE = [1e300, -1e300]
# Candles whose price * volume overflows: running sums become infinite, and
# NaN once the infinity leaves the window.
OVERFLOW = (ROWS - 30, ROWS - 12)
# Candle magnitudes: tiny, at the normal limit and below it (subnormal).
SCALES = [1e-300, 2.2e-310, 5e-324]


def normal(rng):
    # Irwin-Hall: close enough to a standard normal, and free of libm rounding.
    return sum(rng.random() for _ in range(12)) - 6.0


def in_ties(i):
    """Whether row i repeats the row before it (the first row of a run is plain)."""
    return any(i in t[1:] for t in TIES)


def prices(rng):
    out, x = [], 100.0
    while len(out) < ROWS:
        x += normal(rng)
        r = rng.random()
        if in_ties(len(out)):
            out.append(out[-1])
        elif any(len(out) == t.start for t in TIES) or r >= 0.2:
            out.append(x)
        elif r < 0.18:
            odd = rng.choice(AWKWARD + (HUGE if len(out) >= HUGE_FROM else []))
            out.extend([odd] * (1 if r < 0.15 else 4))  # alone, or a short run
        else:
            out.extend([x * 1e6, x])  # a jump and the way back
    return [(v,) for v in out[:ROWS]]


def candles(rng):
    """Valid (open, high, low, close, volume) rows."""
    out, close = [], 100.0
    for i in range(ROWS):
        o = close + 0.5 * normal(rng)
        close = o + normal(rng)
        c = (o, max(o, close) + rng.random(), min(o, close) - rng.random(), close,
             0.0 if rng.random() < 0.1 else 1000.0 * rng.random())
        r = rng.random()
        if in_ties(i):
            c = out[-1]
        elif i in OVERFLOW:
            c = tuple(v * 1e300 for v in c[:4]) + (max(c[4], 1.0) * 1e300,)
        elif any(i == t.start for t in TIES):
            pass
        elif r < 0.05:
            c = (-0.0, -0.0, -0.0, -0.0, 0.0)
        elif r < 0.08:
            c = (-0.0, 0.0, -0.0, 0.0, -0.0)  # both zeros, each where the rules allow it
        elif r < 0.2:
            # Positive scales round monotonically, so the candle stays valid.
            scale = rng.choice(SCALES + ([1e300] if i >= HUGE_FROM else []))
            c = tuple(v * scale for v in c[:4]) + (c[4] * rng.choice([1.0, scale]),)
        elif r < 0.23:
            c = tuple(v * 1e6 for v in c)  # a jump
        out.append(c)
    return out


# The candle update is given, from a reader's columns; as batch builds it.
CANDLE = {
    "hlc": lambda o, h, l, c, v: (c, h, l, c, 0.0, 0),
    "hl": lambda o, h, l, c, v: (l, h, l, l, 0.0, 0),
    "cv": lambda o, h, l, c, v: (c, c, c, c, v, 0),
    "hlcv": lambda o, h, l, c, v: (c, h, l, c, v, 0),
    "ohlc": lambda o, h, l, c, v: (o, h, l, c, 0.0, 0),
    "hlcvt": lambda o, h, l, c, v, t: (c, h, l, c, v, int(t)),
    "hlv": lambda o, h, l, c, v: (l, h, l, l, v, 0),
}
SERIES = {"prices": "prices", "ab": "pairs", "hlcvt": "stamped"}  # reader -> series; any other: candles


def pairs(rng, prices):
    """The prices beside a second walk with gaps and extremes of its own, and a stretch where it stands still."""
    out, y = [], 50.0
    for i, (x,) in enumerate(prices):
        y += normal(rng)
        r = rng.random()
        b = rng.choice(AWKWARD + [1e160, -1e160]) if r < 0.12 else (out[-1][1] if 100 <= i < 120 else y)
        out.append((x, b))
    return out


def stamped(candles):
    """Hourly timestamps from three days before the epoch, stepping back a few hours twice."""
    t, out = -3 * 86400, []
    for i, c in enumerate(candles):
        t += -5 * 3600 if i in (40, 200) else 3600
        out.append(c + (float(t),))
    return out


def hexbits(x):
    return struct.pack(">d", x).hex()


def complete(cls, kwargs):
    """Every argument, in the order of the parameters (the C++ test passes them to create in that order)."""
    params = inspect.signature(cls).parameters.values()
    return {p.name: kwargs.get(p.name, p.default) for p in params}


def config_text(kwargs):
    return ",".join(f"{k}={v!r}" for k, v in kwargs.items()) or "-"


def outputs(obj, reader, rows):
    """Each row's output: None, or the bits of each value as text."""
    out = [obj.update(row[0] if reader == "prices" else row if reader == "ab" else CANDLE[reader](*row))
           for row in rows]
    return [o if o is None else tuple(map(hexbits, o if isinstance(o, tuple) else (o,))) for o in out]


def case_line(name, kwargs, reader, rows):
    cls = getattr(kestov, name)
    full = complete(cls, kwargs)
    got = outputs(cls(**full), reader, rows)
    if not kwargs and outputs(cls(), reader, rows) != got:  # the defaults are the ones written
        sys.exit(f"{name}() differs from {name}({config_text(full)})")
    if all(o is None for o in got):
        sys.exit(f"{name}({config_text(full)}) never warms up in {ROWS} rows: lengthen ROWS")
    text = " ".join("-" if o is None else ",".join(o) for o in got)
    return f"case|{name}|{config_text(full)}|{reader}|{text}"


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUTPUT
    rng = random.Random(SEED)
    series = {"prices": prices(rng), "candles": candles(rng)}
    series["pairs"] = pairs(rng, series["prices"])
    series["stamped"] = stamped(series["candles"])

    lines = ["# Golden vectors of kestov, written by tools/make_golden.py (its docstring describes the format)."]
    lines += [f"series|{r}|" + " ".join(",".join(map(hexbits, row)) for row in rows) for r, rows in series.items()]
    count = 0
    for name, (reader, configs) in CLASSES.items():
        for kwargs in configs:
            lines.append(case_line(name, kwargs, reader, series[SERIES.get(reader, "candles")]))
            count += 1
    output.parent.mkdir(parents=True, exist_ok=True)
    output.write_text("\n".join(lines) + "\n")
    print(f"wrote {count} cases of {len(CLASSES)} classes over {ROWS} rows to {output}")


if __name__ == "__main__":
    main()
