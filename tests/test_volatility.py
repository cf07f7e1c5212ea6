"""BollingerBands, Donchian, ADX, PSAR, OBV and VWAP numbers: worked examples, the
edge cases that tell right from nearly right, and long runs against plain references."""

import math
import random
import struct
from collections import deque
from decimal import Decimal

import numpy as np
import pytest

from classes import CASES, bits
from kestov._kestov import ADX, OBV, PSAR, VWAP, BollingerBands, Donchian

NAN, INF = float("nan"), float("inf")
N = 100_000


def bar(h, low, c=None, v=0.0, ts=0):
    c = low if c is None else c
    return (c, h, low, c, v, ts)


def feed(obj, bars):
    return [bits(obj.update(b)) for b in bars]


def same_rows(out, reference):
    empty = (NAN,) * out.shape[1] if out.ndim == 2 else NAN
    rows = [empty if r is None else r for r in reference]
    return out.tobytes() == np.array(rows, dtype=np.float64).reshape(out.shape).tobytes()


# -- BollingerBands ----------------------------------------------------------

def bollinger_reference(xs, period=20, multiplier=2.0):
    window, s, q, out = deque(), 0.0, 0.0, []
    for x in xs:
        if math.isfinite(x):
            if len(window) == period:
                old = window.popleft()
                s, q = s - old, q - old * old
            window.append(x)
            s, q = x + s, x * x + q
        if len(window) < period:
            out.append(None)
            continue
        mean = s / period
        variance = q / period - mean * mean
        sd = math.sqrt(variance if variance > 0 else 0.0)
        out.append((mean + sd * multiplier, mean, mean - sd * multiplier, sd))
    return out


def test_bollinger_examples():
    sd = math.sqrt(14 / 3 - 4)
    assert feed(BollingerBands(3, 2), [1, 2, 3]) == [None, None, bits((2 + sd * 2, 2.0, 2 - sd * 2, sd))]
    skip = BollingerBands(2)
    assert feed(skip, [NAN, 1, INF, 3, -INF]) == [None, None, None] + [bits((2 + 2.0, 2.0, 2 - 2.0, 1.0))] * 2
    assert BollingerBands(1, 3).update(0.1) == (0.1, 0.1, 0.1, 0.0)
    s = q = 0.0
    for _ in range(3):
        s, q = 0.1 + s, 0.1 * 0.1 + q
    assert q / 3 - (s / 3) * (s / 3) < 0  # rounding leaves this window's variance below zero
    assert feed(BollingerBands(3), [0.1] * 3)[2] == bits((s / 3,) * 3 + (0.0,))
    # Squares overflow: inf - inf is a NaN variance, which also means no spread.
    assert feed(BollingerBands(2), [1e200] * 2)[1] == bits((1e200,) * 3 + (0.0,))
    assert feed(BollingerBands(20), [100.0] * 25)[19:] == [bits((100.0,) * 3 + (0.0,))] * 6


@pytest.mark.parametrize("multiplier", [0.0, -0.0, -1.0, -5e-324, INF, -INF, NAN])
def test_bollinger_validation(multiplier):
    with pytest.raises(ValueError, match="^multiplier must be greater than zero$"):
        BollingerBands(20, multiplier)
    with pytest.raises(ValueError, match="^period must be greater than zero$"):
        BollingerBands(0, multiplier)
    with pytest.raises(TypeError, match="^argument 'multiplier': "):
        BollingerBands(0, "2")  # both converted before either is checked
    assert BollingerBands(5, True).multiplier == 1.0 and BollingerBands(5, 5e-324).multiplier == 5e-324


def plain(x):
    return format(Decimal(repr(x)).normalize(), "f")  # repr's shortest digits, never in exponent form


def test_bollinger_repr_prints_shortest_plain_decimal():
    rng = random.Random(5)
    values = [2.0, 2.5, 0.1, 1 / 3, 1e16, 1e22, 1e300, 1.7976931348623157e308, 5e-324, 1.5e-310,
              2.2250738585072014e-308, 1e-7, 123456789.125]
    values += [struct.unpack("<d", rng.getrandbits(63).to_bytes(8, "little"))[0] for _ in range(5000)]
    for x in (v for v in values if 0 < v < INF):
        assert repr(BollingerBands(7, x)) == f"BollingerBands(period=7, multiplier={plain(x)})"
    assert plain(1e300) == "1" + "0" * 300 and plain(2.0) == "2"


# -- Donchian ----------------------------------------------------------------

def test_donchian_examples():
    bars = [bar(10, 8), bar(12, 9), bar(11, 7), bar(9, 8.5), bar(10, 9)]
    d = Donchian(3)
    assert [d.update(b) for b in bars] == [None, None, (12, 9.5, 7), (12, 9.5, 7), (11, 9, 7)]
    assert [Donchian(1).update(b) for b in bars[:2]] == [(10, 9, 8), (12, 10.5, 9)]


@pytest.mark.parametrize("period", [1, 2, 3, 7, 20])
def test_donchian_keeps_the_first_of_equal_extremes(period):
    # +0.0 and -0.0 are equal yet differ; the window scan from its oldest
    # candle keeps the first of them, as Python's max and min do.
    rng = random.Random(period)
    highs = [rng.choice([0.0, -0.0, 1.0]) for _ in range(600)]
    lows = [rng.choice([x for x in (0.0, -0.0, -1.0) if x <= h]) for h in highs]
    reference = []
    for i in range(len(highs)):
        if i + 1 < period:
            reference.append(None)
            continue
        upper, lower = max(highs[i + 1 - period:i + 1]), min(lows[i + 1 - period:i + 1])
        reference.append((upper, (upper + lower) * 0.5, lower))
    assert feed(Donchian(period), [bar(h, low) for h, low in zip(highs, lows)]) == [bits(r) for r in reference]
    assert same_rows(Donchian(period).batch(np.array(highs), np.array(lows)), reference)


# -- ADX ---------------------------------------------------------------------

def adx_reference(bars, period=14):
    out, prev, smoothed, sums, count, adx, seed = [], None, None, [0.0] * 3, 0, None, []
    for _, h, low, c, _, _ in bars:
        if prev is None:
            prev = (h, low, c)
            out.append(None)
            continue
        (ph, pl, pc), prev = prev, (h, low, c)
        up, down = h - ph, pl - low
        moves = [max(max(h - low, abs(h - pc)), abs(low - pc)),
                 up if up > down and up > 0 else 0.0, down if down > up and down > 0 else 0.0]
        if smoothed is None:
            sums, count = [m + s for m, s in zip(moves, sums)], count + 1
            if count < period:
                out.append(None)
                continue
            smoothed = sums
        else:
            smoothed = [m + (s - s / period) for m, s in zip(moves, smoothed)]
        tr, plus, minus = smoothed
        pdi, mdi = ((plus * 100) / tr, (minus * 100) / tr) if tr != 0 else (0.0, 0.0)
        dx = (abs(pdi - mdi) * 100) / (pdi + mdi) if pdi + mdi != 0 else 0.0
        if adx is None:
            seed.append(dx)
            if len(seed) < period:
                out.append(None)
                continue
            adx = -0.0
            for d in seed:
                adx += d
            adx /= period
        else:
            adx = (dx + (period - 1) * adx) / period
        out.append((pdi, mdi, adx))
    return out


def test_adx_examples():
    one = ADX(1)  # each output is that candle's own indicators and dx
    # true range 2 with a plus move of 1; then an inside bar; then an outside bar moving 1.5 both ways
    assert [one.update(b) for b in [bar(10, 8, 9), bar(11, 9, 10), bar(10.5, 9.5, 10), bar(12, 8, 10)]] == \
        [None, ((1 * 100) / 2, 0.0, 100.0), (0.0, 0.0, 0.0), (0.0, 0.0, 0.0)]
    flat = ADX(3)
    assert [flat.update(bar(5, 5)) for _ in range(8)] == [None] * 5 + [(0.0, 0.0, 0.0)] * 3
    rising = ADX(14)
    out = [(rising.update(bar(11 + i, 10 + i)), rising.is_ready()) for i in range(40)]
    assert out[26] == (None, False) and out[27][1] and rising.warmup_period() == 28
    assert all(pdi > 0 and mdi == 0 and abs(adx - 100) < 1e-12 for (pdi, mdi, adx), _ in out[27:])


# -- PSAR --------------------------------------------------------------------

def psar_reference(bars, start=0.02, step=0.02, cap=0.2):
    out, rising = [], None
    for _, h, low, _, _, _ in bars:
        if rising is None:
            ph, pl, sar, ep, af, rising = h, low, low, h, start, True
            out.append(None)
            continue
        cand = sar + af * (ep - sar)
        stop = min(min(cand, pl), low) if rising else max(max(cand, ph), h)
        if (low <= stop) if rising else (h >= stop):
            rising, level, ep, af = not rising, ep, (low if rising else h), start
        else:
            if (h > ep) if rising else (low < ep):
                ep, af = (h if rising else low), min(af + step, cap)
            level = stop
        sar, ph, pl = level, h, low
        out.append(level)
    return out


def test_psar_walk_and_readiness():
    p = PSAR()
    assert p.update(bar(10, 9)) is None and p.is_ready() and p.warmup_period() == 2
    assert feed(p, [bar(11, 10), bar(12, 11)]) == [bits(9.0), bits(9 + 0.04 * (11 - 9))]


def test_psar_reverses_on_touch():
    stop = 9 + 0.04 * (11 - 9)
    p = PSAR()
    assert feed(p, [bar(10, 9), bar(11, 10), bar(10, math.nextafter(stop, INF))]) == [None, bits(9.0), bits(stop)]
    p = PSAR()
    assert feed(p, [bar(10, 9), bar(11, 10), bar(10, stop)]) == [None, bits(9.0), bits(11.0)]  # low == stop
    short = 11 + 0.02 * (stop - 11)  # the factor is back at its start, not grown by the reversal candle
    assert p.update(bar(math.nextafter(short, 0), 8.5)) == short  # a new low grows the factor
    assert p.update(bar(math.nextafter(short, 0), 8.6)) == 8.5  # high == previous high reverses to the lowest low


def test_psar_factor_reaches_its_cap_after_ten_extremes():
    afs = [0.02]
    for _ in range(13):
        afs.append(min(afs[-1] + 0.02, 0.2))
    assert afs[9] == 0.19999999999999998 and afs[10:] == [0.2] * 4
    sar, ep, levels = 9.0, 10.0, [None]
    for i in range(1, 15):  # every candle a new high, the stop mostly unclamped
        level = min(min(sar + afs[i - 1] * (ep - sar), 10.0 * i - 1), 10.0 * i + 9)
        sar, ep = level, 10.0 * i + 10
        levels.append(level)
    assert feed(PSAR(), [bar(10.0 * i + 10, 10.0 * i + 9) for i in range(15)]) == list(map(bits, levels))


@pytest.mark.parametrize("kwargs", [{"af_step": 0}, {"af_start": -0.0}, {"af_max": NAN}, {"af_max": INF},
                                    {"af_start": 0.3, "af_max": 0.2, "af_step": -1}])  # sign before order
def test_psar_validation(kwargs):
    with pytest.raises(ValueError, match="^multiplier must be greater than zero$"):
        PSAR(**kwargs)
    with pytest.raises(ValueError, match="^invalid period: af_start must be <= af_max$"):
        PSAR(af_start=0.3, af_max=0.2)
    with pytest.raises(TypeError, match="^argument 'af_max': "):
        PSAR(af_start=0.0, af_max="x")
    for args in ((0.2, 0.5, 0.2), (5e-324, 5e-324, 5e-324), (1, 2, 3)):
        assert PSAR(*args).warmup_period() == 2


# -- OBV and VWAP ------------------------------------------------------------

def test_obv_examples():
    o = OBV()
    assert o.value is None and not o.is_ready() and o.warmup_period() == 1
    assert feed(o, [bar(c, c, c, v) for c, v in ((10, 1e300), (11, 200), (11, 300), (9, 400), (12, 0))]) == \
        list(map(bits, [0.0, 200.0, 200.0, -200.0, -200.0]))
    assert o.value == -200.0 and o.is_ready()
    o.reset()
    assert o.value is None and o.update(bar(1, 1, 1, 5)) == 0.0


def test_vwap_examples():
    v = VWAP()
    assert [v.update(bar(h, low, c, vol)) for h, low, c, vol in ((12, 9, 9, 100), (15, 12, 12, 300))] == [10.0, 12.25]
    v = VWAP()
    assert [v.update(bar(12, 9, 9, vol)) for vol in (0.0, -0.0)] == [None, None] and not v.is_ready()
    assert v.warmup_period() == 1 and v.update(bar(13, 10, 11, 4)) == (13 + 10 + 11) / 3.0 and v.is_ready()
    assert v.update(bar(20, 1, 2, 0.0)) == (13 + 10 + 11) / 3.0
    v.reset()
    assert not v.is_ready() and v.update(bar(15, 12, 12, 300)) == 13.0
    days = [bar(10 + i % 3, 9, 9.5, 10.0 + i, ts=86_400 * (i // 2) - 1 + i % 2) for i in range(8)]
    a, b = VWAP(), VWAP()
    assert feed(a, days) == feed(b, [d[:5] + (0,) for d in days])  # midnight changes nothing


def donchian_reference(bars, period=20):
    highs, lows, out = [b[1] for b in bars], [b[2] for b in bars], [None] * (period - 1)
    for i in range(period, len(bars) + 1):
        h, low = max(highs[i - period:i]), min(lows[i - period:i])
        out.append((h, (h + low) * 0.5, low))
    return out


def obv_reference(bars):
    total, prev, out = 0.0, None, []
    for _, _, _, c, v, _ in bars:
        total = total if prev is None or c == prev else (total + v if c > prev else total - v)
        prev = c
        out.append(total)
    return out


def vwap_reference(bars):
    pv, volume, out = 0.0, 0.0, []
    for _, h, low, c, v, _ in bars:
        pv, volume = pv + v * (((h + low) + c) / 3.0), volume + v
        out.append(pv / volume if volume != 0 else None)
    return out


REFERENCES = {"BollingerBands": bollinger_reference, "Donchian": donchian_reference, "ADX": adx_reference,
              "PSAR": psar_reference, "OBV": obv_reference, "VWAP": vwap_reference}


@pytest.mark.parametrize("case", [c for c in CASES if c.name in REFERENCES], ids=lambda c: c.name)
def test_long_run(case):
    rng, inputs = random.Random(26), case.series(26, N)
    if case.kind == "value":  # skipped values, and a level shift that the running sums carry on rounding
        inputs = [rng.choice([NAN, INF, -INF]) if rng.random() < 0.003 else x + (i > N // 2) * 1e6
                  for i, x in enumerate(inputs)]
    else:  # zero volumes, and a stretch of equal candles
        inputs = [c[:4] + (0.0 if i % 7 == 0 else c[4], 0) for i, c in enumerate(inputs)]
        inputs[100:110] = [inputs[99]] * 10
    reference = REFERENCES[case.name](inputs)
    assert same_rows(case.make().batch(*case.batch_args(inputs)), reference)
    if case.name == "PSAR":
        above = [level > c[1] for level, c in zip(reference[1:], inputs[1:])]
        assert sum(a != b for a, b in zip(above, above[1:])) > 1000  # the run reverses often
