"""The class table the generic tests run over: a new class joins by adding one Case."""

import random
import struct
from dataclasses import dataclass

import numpy as np
import pytest

from kestov import _kestov

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


def close_as_open_with_volume(c):
    return (c[3], c[1], c[2], c[3], c[4], 0)


def low_as_open_and_close(c):
    # The candle a high-and-low batch row builds.
    return (c[2], c[1], c[2], c[2], 0.0, 0)


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

    cls = property(lambda self: getattr(_kestov, self.name))
    arg = property(lambda self: "value" if self.kind == "value" else "candle")

    def make(self):
        return self.cls(**self.kwargs)

    def series(self, seed, n):
        return walk(seed, n) if self.kind == "value" else [self.row(c) for c in candles(seed, n)]

    def batch_args(self, inputs):
        if self.kind == "value":
            return [np.array(inputs)]
        return [np.array([c[FIELDS.index(col)] for c in inputs]) for col in self.columns]


HLC = ("high", "low", "close")
HL = ("high", "low")
HLC_LENGTHS = dict.fromkeys(HLC, "high, low, close must be equal length")
HL_LENGTHS = dict.fromkeys(HL, "high and low must be equal length")
CASES = [
    Case("SMA", {"period": 20}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period)", "SMA(period=20)"),
    Case("RSI", {}, "value", ("prices",), 0, "contiguous numpy array", {}, "(period=14)", "RSI(period=14)"),
    Case("ATR", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", "ATR(period=14)"),
    Case("Stochastic", {"k_period": 5, "d_period": 3}, "candle", HLC, 2, "contiguous", HLC_LENGTHS,
         "(k_period=14, d_period=3)", "Stochastic(k_period=5, d_period=3)"),
    Case("CCI", {"period": 7}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=20)", "CCI(period=7)"),
    Case("ROC", {"period": 10}, "value", ("prices",), 0, "contiguous", {}, "(period)", "ROC(period=10)"),
    Case("WilliamsR", {}, "candle", HLC, 0, "contiguous", HLC_LENGTHS, "(period=14)", None),
    Case("MFI", {"period": 6}, "candle", HLC + ("volume",), 0, "contiguous",
         {**HLC_LENGTHS, "volume": "close and volume must be equal length"}, "(period=14)", None,
         close_as_open_with_volume),
    Case("AwesomeOscillator", {"fast": 3, "slow": 8}, "candle", HL, 0, "contiguous", HL_LENGTHS,
         "(fast=5, slow=34)", None, low_as_open_and_close),
    Case("Aroon", {"period": 9}, "candle", HL, 2, "contiguous", HL_LENGTHS, "(period=14)", None,
         low_as_open_and_close),
]
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


def assert_same_state(case, obj, twin, seed=99):
    """Same readiness now and the same outputs on every later update."""
    assert obj.is_ready() == twin.is_ready()
    for x in case.series(seed, obj.warmup_period() + 3):
        assert bits(obj.update(x)) == bits(twin.update(x))
    assert obj.is_ready() == twin.is_ready()
