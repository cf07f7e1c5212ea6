"""Momentum oscillators: worked examples, edge cases, and long runs against plain references."""

import math
import random
from collections import deque

import numpy as np
import pytest

from classes import bits, candles, walk
from kestov._kestov import MFI, ROC, RSI, CCI, Aroon, AwesomeOscillator, Stochastic, WilliamsR

NAN, INF = float("nan"), float("inf")


def bar(h, low, c, v=0.0):
    return (c, h, low, c, v, 0)


def feed(obj, inputs):
    return [bits(obj.update(x)) for x in inputs]


def same(got, expected):
    assert got == [bits(e) for e in expected]


# ---- worked examples and edge cases -----------------------------------------

def rsi_after(avg_gain, avg_loss):
    return 100.0 - 100.0 / (avg_gain / avg_loss + 1.0)


EXAMPLES = {  # id: (indicator, inputs, expected outputs)
    "RSI-flat": (RSI(3), [7.0] * 6, [None] * 3 + [50.0] * 3),  # no gain and no loss
    "RSI-rising": (RSI(3), [1, 2, 3, 4, 5], [None] * 3 + [100.0] * 2),
    "RSI-falling": (RSI(3), [5, 4, 3, 2, 1], [None] * 3 + [0.0] * 2),
    "RSI-period-1": (RSI(1), [1, 2, 1, 1, -0.5], [None, 100.0, 0.0, 50.0, 0.0]),
    # seed (1 + 0) / 2 and (0 + 0.5) / 2, then (1.5 + 0.5 * 1) / 2 and (0 + 0.25 * 1) / 2; skipped
    # values repeat the last output and do not count, a skipped first value sets nothing
    "RSI-wilder": (RSI(2), [NAN, 1, INF, 2, NAN, 1.5, -INF, 3],
                   [None] * 5 + [rsi_after(0.5, 0.25)] * 2 + [rsi_after(1.0, 0.125)]),
    "ROC": (ROC(3), [10, 11, 12, 13], [None, None, None, 30.0]),
    "ROC-old-zero": (ROC(1), [0.0, 5.0, -0.0, -2.0], [None, 0.0, -100.0, 0.0]),
    "ROC-negative": (ROC(1), [-10, -5], [None, -50.0]),
    "ROC-skips": (ROC(1), [10, 11, NAN, 12, INF], [None, ((11 - 10) / 10) * 100, None, ((12 - 11) / 11) * 100, None]),
    "Stochastic-flat": (Stochastic(3, 2), [bar(5, 5, 5)] * 4, [None] * 3 + [(50.0, 50.0)]),
    # (c - ll) * 100 is rounded before the division
    "Stochastic-d-1": (Stochastic(2, 1), [bar(0.3, 0.1, 0.3)] * 2 + [bar(0.3, 0.1, 0.1)],
                       [None, (100.00000000000001,) * 2, (0.0, 0.0)]),
    # the later of two equal highs still holds the highest high once the earlier has left
    "Stochastic-tie": (Stochastic(3, 1), [bar(5, 0, 1), bar(1, 0, 1), bar(5, 0, 1), bar(1, 0, 1), bar(1, 0, 1)],
                       [None, None] + [(20.0, 20.0)] * 3),
    # of the lows -0.0 and 0.0 the newest counts, so -0.0 - ll keeps its sign
    "Stochastic-signed-zero": (Stochastic(2, 1), [bar(1, -0.0, 1), bar(1, 0.0, -0.0)], [None, (-0.0, 0.0)]),
    "WilliamsR": (WilliamsR(2), [bar(3, 3, 3), bar(3, 3, 3), bar(4, 1, 4), bar(4, 1.5, 1.5)],
                  [None, -50.0, -0.0, ((4 - 1.5) * -100.0) / 3]),
    "WilliamsR-at-low": (WilliamsR(1), [bar(0.3, 0.1, 0.1)], [-100.00000000000001]),
    # of the highs 0.0 and -0.0 the oldest counts, as a scan that keeps its first maximum finds
    "WilliamsR-signed-zero": (WilliamsR(2), [bar(0.0, -1, -1), bar(-0.0, -1, 0.0)], [None, -0.0]),
    "WilliamsR-signed-zero-2": (WilliamsR(2), [bar(-0.0, -1, -1), bar(0.0, -1, 0.0)], [None, 0.0]),
    "CCI": (CCI(3), [bar(t, t, t) for t in (1.0, 2.0, 3.0)], [None, None, 100.00000000000001]),
    "CCI-flat": (CCI(3), [bar(2, 1, 1.5)] * 4, [None, None, 0.0, 0.0]),
    "CCI-period-1": (CCI(1), [bar(2, 1, 1.5), bar(9, 3, 4)], [0.0, 0.0]),
    "AwesomeOscillator": (AwesomeOscillator(1, 2), [bar(3, 1, 1), bar(7, 5, 5), bar(8, 6, 6)],
                          [None, 6.0 - 4.0, 7.0 - 6.5]),
    "Aroon-rising": (Aroon(3), [bar(i, i - 1, i) for i in range(6)], [None] * 3 + [(100.0, 0.0)] * 3),
    "Aroon-flat": (Aroon(3), [bar(2, 1, 1)] * 5, [None] * 3 + [(100.0, 100.0)] * 2),
    "Aroon-period-1": (Aroon(1), [bar(2, 1, 1), bar(2, 1, 1), bar(1.5, 0.5, 1), bar(3, 1, 1)],
                       [None, (100.0, 100.0), (0.0, 100.0), (100.0, 0.0)]),
    "Aroon-tie": (Aroon(2), [bar(5, 1, 1), bar(1, 0, 0), bar(5, 1, 1), bar(1, 0, 0), bar(1, 0, 0)],
                  [None, None, (100.0, 50.0), (50.0, 100.0), (0.0, 100.0)]),
    "MFI-flat": (MFI(3), [bar(2, 1, 1.5, 10)] * 4, [None, None, 50.0, 50.0]),
    "MFI-rising": (MFI(3), [bar(i + 1, i, i, 10) for i in range(5)], [None, None] + [100.0] * 3),
    "MFI-falling": (MFI(3), [bar(1 - i, -i, -i, 10) for i in range(5)], [None, None] + [0.0] * 3),
    "MFI-no-volume": (MFI(3), [bar(1, 1, 1, 9), bar(2, 2, 2, 0), bar(1, 1, 1, 5), bar(2, 2, 2, 0)],
                      [None, None, 0.0, 0.0]),
    "MFI-period-1": (MFI(1), [bar(1, 1, 1, 9), bar(2, 2, 2, 1), bar(1, 1, 1, 1), bar(1, 1, 1, 1)],
                     [50.0, 100.0, 0.0, 50.0]),
    # the first candle fills the window with zero flows: 2 * 1 up, then 1 * 1 down
    "MFI-first-candle": (MFI(2), [bar(1, 1, 1, 100), bar(2, 2, 2, 1), bar(1, 1, 1, 1)],
                         [None, 100.0, rsi_after(2.0, 1.0)]),
}


@pytest.mark.parametrize("obj, inputs, expected", EXAMPLES.values(), ids=EXAMPLES)
def test_examples(obj, inputs, expected):
    obj.reset()
    same(feed(obj, inputs), expected)
    if hasattr(obj, "value"):
        assert bits(obj.value) == bits(expected[-1])


@pytest.mark.parametrize("cls, warmup, first, x", [
    (RSI, 15, 50.0, 1.0), (Stochastic, 16, (50.0, 50.0), bar(2, 1, 1.5)), (WilliamsR, 14, -50.0, bar(2, 1, 1.5)),
    (CCI, 20, 0.0, bar(2, 1, 1.5)), (AwesomeOscillator, 34, 0.0, bar(6, 4, 5)), (Aroon, 15, (100.0, 100.0), bar(2, 1, 1)),
    (MFI, 14, 50.0, bar(2, 1, 1.5, 3)),
])
def test_default_warm_up(cls, warmup, first, x):
    obj = cls()
    assert obj.warmup_period() == warmup and feed(obj, [x] * (warmup - 1)) == [None] * (warmup - 1)
    assert not obj.is_ready() and obj.update(x) == first and obj.is_ready()


ZERO = "period must be greater than zero"
AO_ORDER = "invalid period: AO fast period must be strictly less than slow"


@pytest.mark.parametrize("make, exc, text", [
    *[(lambda c=c: c(0), ValueError, ZERO) for c in (RSI, ROC, Stochastic, CCI, WilliamsR, MFI, AwesomeOscillator, Aroon)],
    (lambda: ROC(), TypeError, "ROC.__new__() missing 1 required positional argument: 'period'"),
    (lambda: Stochastic(3, 0), ValueError, ZERO),
    (lambda: Stochastic(-1, "x"), OverflowError, None),  # k_period is converted first
    (lambda: Stochastic(0, "x"), TypeError, "argument 'd_period': 'str' object cannot be interpreted as an integer"),
    (lambda: AwesomeOscillator(34, 0), ValueError, ZERO),  # zeros before the order
    (lambda: AwesomeOscillator(fast=34, slow=5), ValueError, AO_ORDER),
    (lambda: AwesomeOscillator(5, 5), ValueError, AO_ORDER),
    (lambda: AwesomeOscillator(0, 1.5), TypeError, "argument 'slow': 'float' object cannot be interpreted as an integer"),
    (lambda: AwesomeOscillator(1, 2, 3), TypeError,
     "AwesomeOscillator.__new__() takes from 0 to 2 positional arguments but 3 were given"),
])
def test_constructor_errors(make, exc, text):
    with pytest.raises(exc) as e:
        make()
    assert type(e.value) is exc
    assert str(e.value) == text if text else not str(e.value).startswith("argument")


@pytest.mark.parametrize("obj, props", [
    (RSI(9), {"period": 9, "value": None}), (ROC(4), {"period": 4}), (CCI(), {"period": 20}),
    (Stochastic(5, 2), {"periods": (5, 2)}), (WilliamsR(), {}), (MFI(), {}), (AwesomeOscillator(), {}), (Aroon(), {}),
])
def test_properties_and_method_notes(obj, props):
    names = {k for k, v in vars(type(obj)).items() if type(v).__name__ == "getset_descriptor"}
    assert names == set(props) and {k: getattr(obj, k) for k in props} == props
    note = "Batch over high/low/close numpy columns. Returns shape `(n, 2)` for `[k, d]`."
    assert (type(obj).update.__doc__, type(obj).batch.__doc__) == (None, note if type(obj) is Stochastic else None)


# ---- long runs against plain references ----------------------------------------

def rsi_ref(xs, n):
    out, prev, gains, losses, ag, al, cur = [], None, [], [], None, None, None
    for x in xs:
        if math.isfinite(x):
            if prev is not None:
                ch, prev = x - prev, x
                g, lo = (ch if ch > 0 else 0.0), (-ch if ch < 0 else 0.0)
                if ag is not None:
                    ag, al = (g + ag * (n - 1.0)) / n, (lo + al * (n - 1.0)) / n
                else:
                    gains.append(g), losses.append(lo)
                    if len(gains) == n:
                        sg = sl = -0.0
                        for a, b in zip(gains, losses):
                            sg, sl = sg + a, sl + b
                        ag, al = sg / n, sl / n
                if ag is not None:
                    cur = (50.0 if ag == 0 else 100.0) if al == 0 else 100.0 - 100.0 / (ag / al + 1.0)
            else:
                prev = x
        out.append(cur)
    return out


def roc_ref(xs, n):
    out, win = [], deque(maxlen=n + 1)
    for x in xs:
        if math.isfinite(x):
            win.append(x)
        out.append(None if not math.isfinite(x) or len(win) <= n
                   else 0.0 if win[0] == 0 else ((x - win[0]) / win[0]) * 100.0)
    return out


def running_sums(xs, n):
    """Window sums, the leaving value subtracted before the new one is added; None until full."""
    total, out = 0.0, []
    for i, x in enumerate(xs):
        total = x + (total - xs[i - n] if i >= n else total)
        out.append(total if i >= n - 1 else None)
    return out


def running_means(xs, n):
    return [None if s is None else s / n for s in running_sums(xs, n)]


def newest_extremes(win):
    hh, ll, up, down = -INF, INF, 0, 0
    for i, (h, lo) in enumerate(win):
        if h >= hh:
            hh, up = h, i
        if lo <= ll:
            ll, down = lo, i
    return hh, ll, up, down


def stochastic_ref(bars, k, d):
    win, ks = deque(maxlen=k), []
    for h, lo, c, _ in bars:
        win.append((h, lo))
        if len(win) == k:
            hh, ll, _, _ = newest_extremes(win)
            ks.append(50.0 if hh - ll == 0 else ((c - ll) * 100.0) / (hh - ll))
    ds = running_means(ks, d)
    return [None] * (k - 1) + [None if dv is None else (kv, dv) for kv, dv in zip(ks, ds)]


def williams_ref(bars, n):
    out, win = [], deque(maxlen=n)
    for h, lo, c, _ in bars:
        win.append((h, lo))
        hh, ll = max(w[0] for w in win), min(w[1] for w in win)  # the first of equal extremes
        out.append(None if len(win) < n else -50.0 if hh - ll == 0 else ((hh - c) * -100.0) / (hh - ll))
    return out


def cci_ref(bars, n):
    tps = [((h + lo) + c) / 3.0 for h, lo, c, _ in bars]
    out = []
    for i, mean in enumerate(running_means(tps, n)):
        if mean is None:
            out.append(None)
            continue
        dev = -0.0
        for v in tps[i - n + 1:i + 1]:
            dev += abs(v - mean)
        out.append(0.0 if dev / n == 0 else (tps[i] - mean) / ((dev / n) * 0.015))
    return out


def ao_ref(bars, fast, slow):
    med = [(h + lo) * 0.5 for h, lo, _, _ in bars]
    return [None if s is None else f - s for f, s in zip(running_means(med, fast), running_means(med, slow))]


def aroon_ref(bars, n):
    out, win = [], deque(maxlen=n + 1)
    for h, lo, _, _ in bars:
        win.append((h, lo))
        _, _, up, down = newest_extremes(win)
        out.append(None if len(win) <= n else ((up * 100.0) / n, (down * 100.0) / n))
    return out


def mfi_ref(bars, n):
    tps = [((h + lo) + c) / 3.0 for h, lo, c, _ in bars]
    pos, neg = [0.0], [0.0]
    for prev, tp, (_, _, _, v) in zip(tps, tps[1:], bars[1:]):
        pos.append(v * tp if tp > prev else 0.0)
        neg.append(v * tp if tp < prev else 0.0)
    out = []
    for p, q in zip(running_sums(pos, n), running_sums(neg, n)):
        out.append(None if p is None else (50.0 if p == 0 else 100.0) if q == 0 else 100.0 - 100.0 / (p / q + 1.0))
    return out


def tick_bars(seed, n):
    """Prices on a coarse grid around zero: many ties, ranges of zero, both signed zeros, zero volumes."""
    rng, level, out = random.Random(seed), 0, []
    for _ in range(n):
        level = max(-6, min(6, level + rng.choice((-1, 0, 0, 1))))
        c = level * 0.25
        h, lo = c + rng.choice((0, 0, 1, 2)) * 0.25, c - rng.choice((0, 0, 1, 2)) * 0.25
        h, lo, c = (x if x != 0 or rng.random() < 0.5 else -0.0 for x in (h, lo, c))
        out.append((h, lo, c, rng.choice((0.0, 0.0, 1.0, 2.5, 1e3))))
    return out


N = 100_000
SMOOTH = [c[1:5] for c in candles(21, N)]
TICKS = tick_bars(22, N)


@pytest.mark.parametrize("make, ref", [
    (lambda: Stochastic(14, 3), lambda b: stochastic_ref(b, 14, 3)),
    # Windows shorter than, equal to and well past the queue's branch-free reach of four marks.
    (lambda: Stochastic(1, 1), lambda b: stochastic_ref(b, 1, 1)),
    (lambda: Stochastic(4, 2), lambda b: stochastic_ref(b, 4, 2)),
    (lambda: Stochastic(40, 3), lambda b: stochastic_ref(b, 40, 3)),
    (lambda: WilliamsR(14), lambda b: williams_ref(b, 14)),
    (lambda: CCI(20), lambda b: cci_ref(b, 20)),
    (lambda: AwesomeOscillator(5, 34), lambda b: ao_ref(b, 5, 34)),
    (lambda: Aroon(14), lambda b: aroon_ref(b, 14)),
    (lambda: MFI(14), lambda b: mfi_ref(b, 14)),
], ids=["Stochastic", "Stochastic-1", "Stochastic-4", "Stochastic-40", "WilliamsR", "CCI", "AwesomeOscillator",
        "Aroon", "MFI"])
@pytest.mark.parametrize("data", [SMOOTH, TICKS], ids=["smooth", "ticks"])
def test_candle_long_runs(make, ref, data):
    obj = make()
    cols = [np.array(col) for col in zip(*data)]
    names = list(type(obj).batch.__text_signature__.replace("$self, ", "").strip("()").split(", "))
    out = obj.batch(**{name: cols[("high", "low", "close", "volume").index(name)] for name in names})
    empty = (NAN,) * out.shape[1] if out.ndim == 2 else NAN
    assert out.tobytes() == np.array([empty if r is None else r for r in ref(data)]).tobytes()


def holey_walk(seed, n):
    """A walk with zeros, repeats and skipped (non-finite) values."""
    rng = random.Random(seed)
    return [rng.choice((NAN, INF, 0.0, x, x, x, x, x, x, float(round(x)))) for x in walk(seed, n)]


@pytest.mark.parametrize("make, ref", [(lambda: RSI(14), lambda xs: rsi_ref(xs, 14)),
                                       (lambda: ROC(12), lambda xs: roc_ref(xs, 12))], ids=["RSI", "ROC"])
def test_value_long_runs(make, ref):
    xs = holey_walk(23, N)
    expected = np.array([NAN if r is None else r for r in ref(xs)])
    assert make().batch(np.array(xs)).tobytes() == expected.tobytes()
