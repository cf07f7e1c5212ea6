"""SMA and ATR numbers: worked examples, and a long run against a plain reference."""

import numpy as np
import pytest

from classes import bits, candles, walk
from reference import fma
from kestov._kestov import ATR, SMA

NAN, INF = float("nan"), float("inf")


@pytest.mark.parametrize("period, xs, expected", [
    (3, [1, 2, 3, 4], [None, None, 2.0, 3.0]),
    (2, [1, NAN, 3], [None, None, 2.0]),
    (2, [1, 3, NAN], [None, 2.0, 2.0]),
    (2, [INF, 1, -INF, 3], [None, None, None, 2.0]),
    (2, [1e16, 1, 1], [None, 5e15, 0.5]),  # the running sum keeps its rounding
    (1, [-0.0, 0.1, -2.5, 1e300, 5e-324], [0.0, 0.1, -2.5, 1e300, 5e-324]),  # the sum starts at +0.0
])
def test_sma_examples(period, xs, expected):
    s = SMA(period)
    assert [bits(s.update(x)) for x in xs] == [bits(e) for e in expected]
    assert bits(s.value) == bits(expected[-1])
    s.reset()
    assert s.value is None and not s.is_ready()


def hlc(h, low, c):
    return (c, h, low, c, 0.0, 0)


def test_atr_examples():
    a = ATR(3)
    out = [(a.update(hlc(*b)), a.is_ready()) for b in ((10, 8, 9), (11, 9, 10.5), (12, 10.5, 11))]
    assert out == [(None, False), (None, False), (5.5 / 3, True)] and a.warmup_period() == 3
    one = ATR(1)  # each bar's true range: first bar, gap up, inside bar, gap down
    assert [one.update(hlc(*b)) for b in ((10, 8, 9), (15, 14, 14.5), (14, 13.5, 13.5), (9, 8, 8.5))] == [2, 6, 1, 5.5]
    one.reset()  # no previous close: the bar's own range
    assert one.update(hlc(15, 14, 14.5)) == 1.0
    flat = ATR(4)
    assert [flat.update(hlc(5, 5, 5)) for _ in range(6)][3:] == [0.0, 0.0, 0.0]


def sma_reference(xs, period):
    total, out = 0.0, []
    for i, x in enumerate(xs):
        if i >= period:
            total = total - xs[i - period]
        total = x + total
        out.append(total / period if i >= period - 1 else NAN)
    return out


def atr_reference(bars, period):
    out, trs, prev, value = [], [], None, None
    for h, low, c in bars:
        tr = h - low if prev is None else max(max(h - low, abs(h - prev)), abs(low - prev))
        prev = c
        if value is not None:
            value = fma(value, period - 1, tr) / period
        else:
            trs.append(tr)
            if len(trs) == period:
                total = -0.0
                for t in trs:
                    total += t
                value = total / period
        out.append(NAN if value is None else value)
    return out


def test_long_runs_match_reference():
    n = 100_000
    xs = [x * 1e3 for x in walk(11, n)]
    assert SMA(20).batch(np.array(xs)).tobytes() == np.array(sma_reference(xs, 20)).tobytes()
    bars = [c[1:4] for c in candles(12, n)]
    reference = atr_reference(bars, 14)
    assert ATR(14).batch(*map(np.array, zip(*bars))).tobytes() == np.array(reference).tobytes()
    a = ATR(14)
    assert [bits(a.update(hlc(*b))) for b in bars[:500]][13:] == [bits(r) for r in reference[13:500]]
