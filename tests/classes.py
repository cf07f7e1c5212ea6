"""The class table the generic tests run over: a new class joins by adding one Case."""

import random
import struct
from dataclasses import dataclass, replace

import numpy as np
import pytest

import kestov

FIELDS = ("open", "high", "low", "close", "volume", "timestamp")


def walk(seed, n):
    rng, x = random.Random(seed), 100.0
    return [x := x + rng.gauss(0.0, 1.0) for _ in range(n)]


def candles(seed, n):
    """Valid OHLCV 6-tuples."""
    rng, close, out = random.Random(seed), 100.0, []
    for i in range(n):
        o = close + rng.gauss(0.0, 0.5)
        close = o + rng.gauss(0.0, 1.0)
        out.append((o, max(o, close) + rng.random(), min(o, close) - rng.random(), close, rng.random() * 1e3, 60 * i))
    return out


def close_as_open(c):
    # The candle an ATR batch row builds: open is the close, volume and timestamp 0.
    return (c[3], c[1], c[2], c[3], 0.0, 0)


def low_as_body(c):
    return (c[2], c[1], c[2], c[2], 0.0, 0)


def close_only(c):
    return (c[3], c[3], c[3], c[3], c[4], 0)


def close_as_open_with_volume(c):
    return (c[3], c[1], c[2], c[3], c[4], 0)


def with_timestamp(c):
    return (c[3], c[1], c[2], c[3], c[4], c[5])


def low_as_body_with_volume(c):
    return (c[2], c[1], c[2], c[2], c[4], 0)


def open_high_low_close(c):
    return (c[0], c[1], c[2], c[3], 0.0, 0)


@dataclass(frozen=True)
class Case:
    name: str
    kwargs: dict
    kind: str  # "value" or "candle"
    columns: tuple
    width: int  # 0: output (n,); k: (n, k)
    contiguity: str
    lengths: dict  # column shortened -> ValueError text
    signature: str
    repr: str  # of the typical configuration; None: object's default repr
    row: object = close_as_open  # full candle -> what a batch row sees
    update_note: str = ""  # method descriptions after the text signature
    batch_note: str = ""
    module: str = "_kestov"  # the compiled module that registers the class

    cls = property(lambda self: getattr(kestov, self.name))
    arg = property(lambda self: {"value": "value", "pair": "pair"}.get(self.kind, "candle"))

    def make(self):
        return self.cls(**self.kwargs)

    def series(self, seed, n):
        if self.kind == "pair":
            return list(zip(walk(seed, n), walk(seed + 7919, n)))
        return walk(seed, n) if self.kind == "value" else [self.row(c) for c in candles(seed, n)]

    def batch_args(self, inputs):
        if self.kind == "value":
            return [np.array(inputs)]
        if self.kind == "pair":
            return [np.array([p[0] for p in inputs], dtype=np.float64), np.array([p[1] for p in inputs], dtype=np.float64)]
        if "timestamp" in self.columns:
            return [np.array([c[FIELDS.index(col)] for c in inputs],
                             dtype=np.int64 if col == "timestamp" else np.float64) for col in self.columns]
        return [np.array([c[FIELDS.index(col)] for c in inputs]) for col in self.columns]


HLC = ("high", "low", "close")
HL = ("high", "low")
HLC_LENGTHS = dict.fromkeys(HLC, "high, low, close must be equal length")
HL_LENGTHS = dict.fromkeys(HL, "high and low must be equal length")
AB_LENGTHS = dict.fromkeys(("a", "b"), "a and b must be equal length")
HLCV_LENGTHS = {**HLC_LENGTHS, "volume": "close and volume must be equal length"}
CV_LENGTHS = dict.fromkeys(("close", "volume"), "close and volume must be equal length")
OHLC = ("open", "high", "low", "close")
OHLC_LENGTHS = dict.fromkeys(OHLC, "open, high, low, close must be equal length")
CASES = [
    Case("SMA", {"period": 20}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period)", "SMA(period=20)"),
    Case("EMA", {"period": 20}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period)", "EMA(period=20)"),
    Case("WMA", {"period": 20}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period)", "WMA(period=20)"),
    Case("RSI", {}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period=14)", "RSI(period=14)"),
    Case("MACD", {"fast": 3, "slow": 6, "signal": 4}, "value", ("prices",), 3, "contiguous numpy array", {},
         "(fast=12, slow=26, signal=9)", "MACD(fast=3, slow=6, signal=4)",
         update_note="Returns `(macd, signal, histogram)` or `None` during warmup.",
         batch_note="Batch over a numpy array of closes. Returns a 2D array of shape `(n, 3)`\n"
                    "with columns `[macd, signal, histogram]`. Warmup rows are NaN."),
    Case("BollingerBands", {}, "value", ("prices",), 4, "contiguous numpy array", {}, "(period=20, multiplier=2.0)",
         "BollingerBands(period=20, multiplier=2)",
         update_note="Returns `(upper, middle, lower, stddev)` or `None` during warmup.",
         batch_note="Batch returns shape `(n, 4)` columns `[upper, middle, lower, stddev]`."),
    Case("ATR", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", "ATR(period=14)",
         batch_note="Batch over numpy columns: high, low, close (all 1-D, equal length)."),
    Case("Stochastic", {"k_period": 5, "d_period": 3}, "candle", HLC, 2, "contiguous", HLC_LENGTHS,
         "(k_period=14, d_period=3)", "Stochastic(k_period=5, d_period=3)",
         batch_note="Batch over high/low/close numpy columns. Returns shape `(n, 2)` for `[k, d]`."),
    Case("OBV", {}, "candle", ("close", "volume"), 0, "contiguous",
         dict.fromkeys(("close", "volume"), "close and volume must be equal length"), "()", "OBV()", close_only,
         batch_note="Batch over numpy close + volume arrays."),
    Case("DEMA", {"period": 20}, "value", ("prices",), 0, "contiguous", {}, "(period)", "DEMA(period=20)"),
    Case("TEMA", {"period": 20}, "value", ("prices",), 0, "contiguous", {}, "(period)", "TEMA(period=20)"),
    Case("HMA", {"period": 20}, "value", ("prices",), 0, "contiguous", {}, "(period)", "HMA(period=20)"),
    Case("KAMA", {"er_period": 5, "slow": 20}, "value", ("prices",), 0, "contiguous", {},
         "(er_period=10, fast=2, slow=30)", "KAMA"),
    Case("CCI", {"period": 7}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=20)", "CCI(period=7)"),
    Case("ROC", {"period": 10}, "value", ("prices",), 0, "contiguous", {}, "(period)", "ROC(period=10)"),
    Case("WilliamsR", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", None),
    Case("ADX", {}, "candle", HLC, 3, "contiguous", HLC_LENGTHS, "(period=14)", None,
         update_note="Returns `(plus_di, minus_di, adx)` or None during warmup.",
         batch_note="Batch returns shape `(n, 3)`: `[plus_di, minus_di, adx]`."),
    Case("MFI", {"period": 6}, "candle", HLC + ("volume",), 0, "contiguous",
         {**HLC_LENGTHS, "volume": "close and volume must be equal length"}, "(period=14)", None,
         close_as_open_with_volume),
    Case("TRIX", {"period": 7}, "value", ("prices",), 0, "contiguous", {}, "(period)", None),
    Case("PSAR", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(af_start=0.02, af_step=0.02, af_max=0.20)", None),
    Case("Keltner", {"ema_period": 6, "atr_period": 4}, "candle", HLC, 3, "contiguous", HLC_LENGTHS,
         "(ema_period=20, atr_period=10, multiplier=2.0)", None,
         update_note="Returns `(upper, middle, lower)` or None during warmup.",
         batch_note="Returns shape `(n, 3)` for `[upper, middle, lower]`."),
    Case("Donchian", {}, "candle", HL, 3, "contiguous", HL_LENGTHS, "(period=20)", None, low_as_body),
    Case("VWAP", {}, "candle", HLC + ("volume",), 0, "contiguous",
         {**HLC_LENGTHS, "volume": "close and volume must be equal length"}, "()", None, close_as_open_with_volume),
    Case("AwesomeOscillator", {"fast": 3, "slow": 8}, "candle", HL, 0, "contiguous", HL_LENGTHS,
         "(fast=5, slow=34)", None, low_as_body),
    Case("Aroon", {"period": 9}, "candle", HL, 2, "contiguous", HL_LENGTHS, "(period=14)", None, low_as_body),
]
# The classes of kestov._more, added after the 25 above.
MORE_CASES = [
    Case("Momentum", {"period": 5}, "value", ("prices",), 0, "contiguous", {}, "(period=10)", "Momentum(period=5)",
         module="_more"),
    Case("TrueRange", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "()", "TrueRange()", module="_more"),
    Case("StochRSI", {"period": 6, "k_period": 4, "d_period": 2}, "value", ("prices",), 2, "contiguous", {},
         "(period=14, k_period=5, d_period=3)", "StochRSI(period=6, k_period=4, d_period=2)", module="_more"),
    Case("ADXR", {"period": 5}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", "ADXR(period=5)",
         module="_more"),
    Case("DX", {"period": 5}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", "DX(period=5)",
         module="_more"),
    Case("PPO", {"fast": 3, "slow": 7, "signal": 4}, "value", ("prices",), 3, "contiguous", {},
         "(fast=12, slow=26, signal=9)", "PPO(fast=3, slow=7, signal=4)", module="_more"),
    Case("APO", {"fast": 3, "slow": 7}, "value", ("prices",), 0, "contiguous", {}, "(fast=12, slow=26)",
         "APO(fast=3, slow=7)", module="_more"),
    Case("TSI", {"long": 7, "short": 4}, "value", ("prices",), 0, "contiguous", {}, "(long=25, short=13)",
         "TSI(long=7, short=4)", module="_more"),
    Case("CMO", {"period": 6}, "value", ("prices",), 0, "contiguous", {}, "(period=14)", "CMO(period=6)",
         module="_more"),
    Case("UltimateOscillator", {"fast": 3, "medium": 5, "slow": 8}, "candle", HLC, 0, "contiguous", HLC_LENGTHS,
         "(fast=7, medium=14, slow=28)", "UltimateOscillator(fast=3, medium=5, slow=8)", module="_more"),
    Case("KST", {"r1": 2, "r2": 3, "r3": 4, "r4": 5, "s1": 2, "s2": 2, "s3": 3, "s4": 3, "signal": 3}, "value",
         ("prices",), 2, "contiguous", {}, "(r1=10, r2=15, r3=20, r4=30, s1=10, s2=10, s3=10, s4=15, signal=9)",
         "KST(r1=2, r2=3, r3=4, r4=5, s1=2, s2=2, s3=3, s4=3, signal=3)", module="_more"),
    Case("Coppock", {"wma_period": 4, "roc1": 3, "roc2": 5}, "value", ("prices",), 0, "contiguous", {},
         "(wma_period=10, roc1=11, roc2=14)", "Coppock(wma_period=4, roc1=3, roc2=5)", module="_more"),
    Case("DPO", {"period": 7}, "value", ("prices",), 0, "contiguous", {}, "(period=20)", "DPO(period=7)",
         module="_more"),
    Case("SuperTrend", {"period": 4, "multiplier": 1.5}, "candle", HLC, 2, "contiguous", HLC_LENGTHS,
         "(period=10, multiplier=3.0)", "SuperTrend(period=4, multiplier=1.5)", module="_more"),
    Case("Ichimoku", {"tenkan": 3, "kijun": 5, "senkou": 8}, "candle", HL, 4, "contiguous", HL_LENGTHS,
         "(tenkan=9, kijun=26, senkou=52)", "Ichimoku(tenkan=3, kijun=5, senkou=8)", low_as_body, module="_more"),
    Case("AroonOscillator", {"period": 6}, "candle", HL, 0, "contiguous", HL_LENGTHS, "(period=14)",
         "AroonOscillator(period=6)", low_as_body, module="_more"),
    Case("BalanceOfPower", {}, "candle", OHLC, 0, "contiguous", OHLC_LENGTHS, "()", "BalanceOfPower()",
         open_high_low_close, module="_more"),
    Case("ZLEMA", {"period": 8}, "value", ("prices",), 0, "contiguous", {}, "(period=30)", "ZLEMA(period=8)",
         module="_more"),
    Case("T3", {"period": 3, "vfactor": 0.5}, "value", ("prices",), 0, "contiguous", {}, "(period=5, vfactor=0.7)",
         "T3(period=3, vfactor=0.5)", module="_more"),
    Case("TRIMA", {"period": 6}, "value", ("prices",), 0, "contiguous", {}, "(period=30)", "TRIMA(period=6)",
         module="_more"),
    Case("VWMA", {"period": 5}, "candle", ("close", "volume"), 0, "contiguous",
         dict.fromkeys(("close", "volume"), "close and volume must be equal length"), "(period=30)", "VWMA(period=5)",
         close_only, module="_more"),
    Case("RMA", {"period": 6}, "value", ("prices",), 0, "contiguous", {}, "(period=30)", "RMA(period=6)",
         module="_more"),
    Case("Correlation", {"period": 6}, "pair", ("a", "b"), 0, "contiguous", AB_LENGTHS, "(period=30)",
         "Correlation(period=6)", module="_more"),
    Case("Beta", {"period": 4}, "pair", ("a", "b"), 0, "contiguous", AB_LENGTHS, "(period=5)", "Beta(period=4)",
         module="_more"),
    Case("SessionVWAP", {"session": 600, "offset": -30}, "candle", HLC + ("volume", "timestamp"), 0, "contiguous",
         {**HLC_LENGTHS, "volume": "close and volume must be equal length",
          "timestamp": "timestamp must be as long as the price columns"}, "(session=86400, offset=0)",
         "SessionVWAP(session=600, offset=-30)", with_timestamp, module="_more"),
    Case("AccumulationDistribution", {}, "candle", HLC + ("volume",), 0, "contiguous", HLCV_LENGTHS, "()",
         "AccumulationDistribution()", close_as_open_with_volume, module="_more"),
    Case("ChaikinOscillator", {"fast": 2, "slow": 5}, "candle", HLC + ("volume",), 0, "contiguous", HLCV_LENGTHS,
         "(fast=3, slow=10)", "ChaikinOscillator(fast=2, slow=5)", close_as_open_with_volume, module="_more"),
    Case("ChaikinMoneyFlow", {"period": 6}, "candle", HLC + ("volume",), 0, "contiguous", HLCV_LENGTHS,
         "(period=20)", "ChaikinMoneyFlow(period=6)", close_as_open_with_volume, module="_more"),
    Case("ForceIndex", {"period": 4}, "candle", ("close", "volume"), 0, "contiguous", CV_LENGTHS, "(period=13)",
         "ForceIndex(period=4)", close_only, module="_more"),
    Case("EaseOfMovement", {"period": 5, "volume_divisor": 1000.0}, "candle", ("high", "low", "volume"), 0,
         "contiguous", dict.fromkeys(("high", "low", "volume"), "high, low, volume must be equal length"),
         "(period=14, volume_divisor=100000000.0)", "EaseOfMovement(period=5, volume_divisor=1000)",
         low_as_body_with_volume, module="_more"),
    Case("PVT", {}, "candle", ("close", "volume"), 0, "contiguous", CV_LENGTHS, "()", "PVT()", close_only,
         module="_more"),
    Case("NVI", {}, "candle", ("close", "volume"), 0, "contiguous", CV_LENGTHS, "()", "NVI()", close_only,
         module="_more"),
    Case("PVI", {}, "candle", ("close", "volume"), 0, "contiguous", CV_LENGTHS, "()", "PVI()", close_only,
         module="_more"),
    Case("Vortex", {"period": 5}, "candle", HLC, 2, "contiguous", HLC_LENGTHS, "(period=14)", "Vortex(period=5)",
         module="_more"),
    Case("MassIndex", {"ema_period": 3, "sum_period": 6}, "candle", HL, 0, "contiguous", HL_LENGTHS,
         "(ema_period=9, sum_period=25)", "MassIndex(ema_period=3, sum_period=6)", low_as_body, module="_more"),
    Case("HeikinAshi", {}, "candle", OHLC, 4, "contiguous", OHLC_LENGTHS, "()", "HeikinAshi()", open_high_low_close,
         module="_more"),
    Case("StdDev", {"period": 6, "nbdev": 2.5}, "value", ("prices",), 0, "contiguous", {}, "(period=5, nbdev=1.0)",
         "StdDev(period=6, nbdev=2.5)", module="_more"),
    Case("Variance", {"period": 6}, "value", ("prices",), 0, "contiguous", {}, "(period=5)", "Variance(period=6)",
         module="_more"),
    Case("LinearRegression", {"period": 7}, "value", ("prices",), 5, "contiguous", {}, "(period=14)",
         "LinearRegression(period=7)", module="_more"),
    Case("MidPoint", {"period": 6}, "value", ("prices",), 0, "contiguous", {}, "(period=14)", "MidPoint(period=6)",
         module="_more"),
    Case("MidPrice", {"period": 6}, "candle", HL, 0, "contiguous", HL_LENGTHS, "(period=14)", "MidPrice(period=6)",
         low_as_body, module="_more"),
    Case("NATR", {"period": 5}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", "NATR(period=5)",
         module="_more"),
]
CASES += MORE_CASES
# Columns every adapter test frame holds; the classes that read others (a pair of series, a timestamp) have
# tests of their own there.
FRAME_CASES = [c for c in CASES if set(c.columns) <= {"prices", "open", "high", "low", "close", "volume"}]
CANDLE_CASES = [c for c in CASES if c.kind == "candle"]


def by_class(cases):
    return pytest.mark.parametrize("case", cases, ids=[c.name for c in cases])


def bits(out):
    """An output as exact bytes (None stays None), so -0.0 and NaN compare strictly."""
    if out is None:
        return None
    return tuple(map(bits, out)) if isinstance(out, tuple) else struct.pack("<d", out)


def as_rows(outputs, width):
    """update outputs laid out as batch returns them, NaN for None."""
    empty = (float("nan"),) * max(width, 1)
    rows = [empty if o is None else (o if width else (o,)) for o in outputs]
    return np.array(rows, dtype=np.float64).reshape((len(rows), width) if width else (len(rows),))


def awkward(case, seed, n):
    """Inputs that test what a state must carry exactly: gaps, infinities, signed zeros, ties, extreme magnitudes."""
    rng, series = random.Random(seed), case.series(seed, n)
    inf, nan = float("inf"), float("nan")
    odd = [nan, inf, -inf, -0.0, 0.0, 1e300, -1e300, 1e-300, 5e-324]
    if case.kind == "value":
        return [rng.choice(odd) if rng.random() < 0.2 else x for x in series]
    if case.kind == "pair":  # each side odd on its own (squares beyond range too), and now and then one stands still
        odd += [1e160, -1e160]
        out = []
        for a, b in series:
            r = rng.random()
            a, b = (rng.choice(odd) if r < 0.1 else a), (rng.choice(odd) if 0.05 < r < 0.15 else b)
            if r > 0.95 and out:
                a = out[-1][0]
            out.append((a, b))
        return out
    out = []
    for c in series:
        r = rng.random()
        if r < 0.1:
            c = (-0.0,) * 4 + (0.0, 0)  # all prices a negative zero, no volume
        elif r < 0.2:
            scale = rng.choice([1e300, 1e-300])
            c = tuple(v * scale for v in c[:5]) + (c[5],)
        elif r < 0.3 and out:
            c = out[-1]  # a tie with the previous candle
        out.append(c)
    return out


def assert_same_state(case, obj, twin, seed=99):
    """Same readiness now and the same outputs on every later update."""
    assert obj.is_ready() == twin.is_ready()
    for x in case.series(seed, obj.warmup_period() + 3):
        assert bits(obj.update(x)) == bits(twin.update(x))
    assert obj.is_ready() == twin.is_ready()


# Averages far apart in speed, whose difference can pass the largest double.
FAR_APART = [replace(next(c for c in CASES if c.name == name), kwargs=kwargs)
             for name, kwargs in [("MACD", {"fast": 2, "slow": 30, "signal": 4}),
                                  ("PPO", {"fast": 2, "slow": 30, "signal": 4}),
                                  ("APO", {"fast": 2, "slow": 30}), ("TSI", {"long": 30, "short": 2})]]


def extreme_runs(seed, rows=2000):
    """Runs of prices at either end of the doubles, after a start small enough that no seed overflows."""
    rng = np.random.default_rng(seed)
    top = np.finfo(float).max
    runs = [np.full(int(rng.integers(1, 60)), rng.choice([-top, top, 1.0])) for _ in range(rows // 10)]
    return np.concatenate([np.full(400, -top / 800), *runs])[:rows].copy()
