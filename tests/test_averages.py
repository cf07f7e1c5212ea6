"""Moving averages and the indicators built on the EMA: worked examples, warm-up
timing, and long runs against plain references."""

import math

import numpy as np
import pytest

from classes import bits, candles, walk
from kestov._kestov import DEMA, EMA, HMA, KAMA, MACD, TEMA, TRIX, WMA, Keltner
from reference import NAN, fma, left_sum

INF = float("inf")


# -- references, written from the definitions, one step at a time ----------

class RefEMA:
    def __init__(self, n):
        self.n, self.alpha, self.seed, self.cur = n, 2.0 / (n + 1.0), [], None

    def update(self, x):
        if not math.isfinite(x):
            return self.cur
        if self.cur is not None:
            self.cur = fma(self.alpha, x, self.cur * (1.0 - self.alpha))
        else:
            self.seed.append(x)
            if len(self.seed) == self.n:
                self.cur = left_sum(self.seed) / self.n
        return self.cur


class RefWMA:
    def __init__(self, n):
        self.n, self.window, self.ws, self.s = n, [], 0.0, 0.0

    def update(self, x):
        full = len(self.window) == self.n
        if not math.isfinite(x):
            return self.ws / (((self.n + 1.0) * self.n) * 0.5) if full else None
        if full:
            old = self.window.pop(0)
            self.ws = x * self.n + (self.ws - self.s)
            self.s = x + (self.s - old)
            self.window.append(x)
        else:
            self.window.append(x)
            self.s = x + self.s
            if len(self.window) < self.n:
                return None
            self.ws = left_sum((i + 1.0) * v for i, v in enumerate(self.window))
        return self.ws / (((self.n + 1.0) * self.n) * 0.5)


class RefHMA:
    def __init__(self, n):
        s = max(1, math.floor(math.sqrt(n) + 0.5))  # sqrt(n) is never exactly k + 1/2
        self.half, self.full, self.smooth = RefWMA(max(1, n // 2)), RefWMA(n), RefWMA(s)

    def update(self, x):
        h, f = self.half.update(x), self.full.update(x)
        return None if h is None or f is None else self.smooth.update((h + h) - f)


class RefChain:
    """DEMA (depth 2), TEMA (3) and TRIX (3 plus the percentage step)."""

    def __init__(self, n, kind):
        self.kind, self.emas, self.prev = kind, [RefEMA(n) for _ in range(2 if kind == "DEMA" else 3)], None

    def update(self, x):
        e = []
        for ema in self.emas:
            x = ema.update(x)
            if x is None:
                return None
            e.append(x)
        if self.kind == "DEMA":
            return (e[0] + e[0]) - e[1]
        if self.kind == "TEMA":
            return ((e[0] * 3.0) - (e[1] * 3.0)) + e[2]
        prev, self.prev = self.prev, e[2]
        if prev is None:
            return None
        return 0.0 if prev == 0.0 else ((e[2] - prev) * 100.0) / prev


class RefKAMA:
    def __init__(self, r, fast, slow):
        self.r, self.window, self.cur = r, [], None
        self.fast, self.slow = 2.0 / (fast + 1.0), 2.0 / (slow + 1.0)

    def update(self, x):
        if not math.isfinite(x):
            return self.cur
        self.window = (self.window + [x])[-(self.r + 1):]
        if len(self.window) <= self.r:
            return None
        w = self.window
        vol = left_sum(abs(w[i] - w[i - 1]) for i in range(1, len(w)))
        er = abs(x - w[0]) / vol if vol != 0.0 else 0.0
        u = self.slow + er * (self.fast - self.slow)
        prev = w[0] if self.cur is None else self.cur
        self.cur = prev + (u * u) * (x - prev)
        return self.cur


LONG = [
    (EMA, (20,), lambda: RefEMA(20)),
    (WMA, (20,), lambda: RefWMA(20)),
    (HMA, (20,), lambda: RefHMA(20)),
    (HMA, (7,), lambda: RefHMA(7)),
    (DEMA, (20,), lambda: RefChain(20, "DEMA")),
    (TEMA, (20,), lambda: RefChain(20, "TEMA")),
    (TRIX, (15,), lambda: RefChain(15, "TRIX")),
    (KAMA, (), lambda: RefKAMA(10, 2, 30)),
    (KAMA, (3, 5, 9), lambda: RefKAMA(3, 5, 9)),
]


@pytest.mark.parametrize("cls, args, ref", LONG, ids=[f"{c.__name__}{a}" for c, a, _ in LONG])
def test_long_run_matches_reference(cls, args, ref):
    xs = walk(21, 100_000)
    for i in range(0, len(xs), 997):  # gaps in the feed, some before the first output
        xs[i] = (NAN, INF, -INF)[i % 3]
    r = ref()
    expected = np.array([NAN if y is None else y for y in map(r.update, xs)])
    assert cls(*args).batch(np.array(xs)).tobytes() == expected.tobytes()


# -- worked examples -------------------------------------------------------

@pytest.mark.parametrize("make, xs, expected", [
    (lambda: EMA(3), [1, 2, 3, 4], [None, None, 2.0, 3.0]),
    (lambda: EMA(3), [5.0] * 5, [None, None, 5.0, 5.0, 5.0]),
    (lambda: EMA(1), [3.5, -1e300, 5e-324], [3.5, -1e300, 5e-324]),
    (lambda: EMA(2), [NAN, 1, INF, 3, NAN, 5], [None, None, None, 2.0, 2.0, fma(2 / 3, 5, 2.0 * (1 - 2 / 3))]),
    (lambda: EMA(2), [-0.0, -0.0], [None, -0.0]),
    (lambda: WMA(3), [1, 2, 3, 4], [None, None, 14 / 6, 20 / 6]),
    (lambda: WMA(3), [1, 2, NAN, 3, INF], [None, None, None, 14 / 6, 14 / 6]),
    (lambda: WMA(1), [0.1, 7.0], [0.1, 7.0]),
    (lambda: WMA(2), [-0.0, -0.0], [None, -0.0]),  # a seed window of -0.0 weighs to -0.0
    (lambda: WMA(4), [5.0] * 6, [None] * 3 + [5.0] * 3),
    (lambda: HMA(1), [0.1, 7.0], [0.1, 7.0]),
    (lambda: HMA(9), [5.0] * 12, [None] * 10 + [5.0] * 2),
    (lambda: DEMA(1), [0.1, 7.0], [0.1, 7.0]),
    (lambda: TEMA(1), [0.1, 7.0], [0.1, 7.0]),
    (lambda: DEMA(3), [5.0] * 6, [None] * 4 + [5.0] * 2),
    (lambda: TEMA(3), [5.0] * 8, [None] * 6 + [5.0] * 2),
    (lambda: TRIX(3), [5.0] * 9, [None] * 7 + [0.0] * 2),
    (lambda: TRIX(1), [2.0, 3.0, 0.0, 4.0, 1.0], [None, 50.0, -100.0, 0.0, -75.0]),
    (lambda: TRIX(2), [0.0] * 4 + [7.0], [None] * 4 + [0.0]),  # a zero previous value gives 0, not inf
    (lambda: KAMA(), [5.0] * 12, [None] * 10 + [5.0] * 2),
    (lambda: KAMA(1, 1, 2), [10, 20], [None, 20.0]),
])
def test_examples(make, xs, expected):
    obj = make()
    assert [bits(obj.update(x)) for x in xs] == [bits(e) for e in expected]


@pytest.mark.parametrize("cls, n, warmup, ready_before_output", [
    (EMA, 20, 20, False), (WMA, 20, 20, False), (HMA, 20, 23, False), (HMA, 3, 4, False), (HMA, 16, 19, False),
    (DEMA, 3, 5, False), (TEMA, 3, 7, False), (TRIX, 3, 8, True), (TRIX, 1, 2, True),
])
def test_warmup_and_readiness(cls, n, warmup, ready_before_output):
    obj = cls(n)
    assert obj.warmup_period() == warmup
    outputs, ready = [], []
    for x in walk(5, warmup + 2):
        outputs.append(obj.update(x))
        ready.append(obj.is_ready())
    first = next(i for i, o in enumerate(outputs) if o is not None)
    assert first == warmup - 1
    assert ready.index(True) == first - (1 if ready_before_output else 0)
    obj.reset()
    assert not obj.is_ready() and obj.update(1.0) is None


def test_properties():
    e = EMA(20)
    assert (e.period, e.alpha, e.value) == (20, 2 / 21, None)
    w = WMA(2)
    w.update(1.0)
    assert w.value is None and w.update(4.0) == 3.0 and w.value == 3.0
    assert HMA(20).period == DEMA(20).period == TEMA(20).period == 20
    assert KAMA().warmup_period() == 11 and repr(KAMA(5, 3, 20)) == "KAMA"


@pytest.mark.parametrize("args, message", [
    ((0, 30, 2), "period must be greater than zero"),  # checked before the fast/slow order
    ((10, 0, 30), "period must be greater than zero"),
    ((10, 2, 0), "period must be greater than zero"),
    ((10, 30, 30), "invalid period: KAMA fast period must be strictly less than slow"),
    ((10, 31, 30), "invalid period: KAMA fast period must be strictly less than slow"),
])
def test_kama_configuration_errors(args, message):
    with pytest.raises(ValueError) as e:
        KAMA(*args)
    assert str(e.value) == message


def test_non_finite_input_advances_later_emas_of_a_chain():
    # Once E1 exists, a skipped input still feeds the unchanged E1 down the chain.
    xs = [1.0, 2.0, 4.0, 8.0, NAN, INF]
    d, ref = DEMA(2), RefChain(2, "DEMA")
    got = [d.update(x) for x in xs]
    assert [bits(g) for g in got] == [bits(ref.update(x)) for x in xs]
    assert got[3] != got[4] != got[5]
    k = KAMA(2, 2, 30)  # while KAMA simply repeats itself
    last = [k.update(x) for x in (1.0, 3.0, 2.0, 5.0)][-1]
    assert k.update(NAN) == last and k.update(6.0) != last


# -- indicators built on the EMA -----------------------------------------------

class RefMACD:
    def __init__(self, fast, slow, signal):
        self.fast, self.slow, self.signal, self.cur = RefEMA(fast), RefEMA(slow), RefEMA(signal), None

    def update(self, x):
        if not math.isfinite(x):
            return self.cur
        f, s = self.fast.update(x), self.slow.update(x)
        if f is None or s is None:
            return None
        macd = f - s
        sig = self.signal.update(macd)
        if sig is None:
            return None
        self.cur = (macd, sig, macd - sig)
        return self.cur


class RefKeltner:
    def __init__(self, ema_period, atr_period, multiplier):
        self.ema, self.n, self.multiplier = RefEMA(ema_period), atr_period, multiplier
        self.prev, self.trs, self.atr = None, [], None

    def update(self, h, low, c):
        middle = self.ema.update(((h + low) + c) / 3.0)
        tr = h - low if self.prev is None else max(h - low, abs(h - self.prev), abs(low - self.prev))
        self.prev = c
        if self.atr is not None:
            self.atr = fma(self.atr, self.n - 1.0, tr) / self.n
        else:
            self.trs.append(tr)
            if len(self.trs) == self.n:
                self.atr = left_sum(self.trs) / self.n
        if middle is None or self.atr is None:
            return None
        width = self.atr * self.multiplier
        return (middle + width, middle, middle - width)


def rows(outputs):
    return np.array([(NAN,) * 3 if o is None else o for o in outputs])


@pytest.mark.parametrize("args", [(), (3, 6, 4), (1, 2, 1), (5, 40, 12)])
def test_macd_long_run_matches_reference(args):
    xs = walk(31, 100_000)
    for i in range(5, len(xs), 1009):
        xs[i] = NAN
    ref = RefMACD(*(args or (12, 26, 9)))
    assert MACD(*args).batch(np.array(xs)).tobytes() == rows(map(ref.update, xs)).tobytes()


@pytest.mark.parametrize("args", [(), (3, 5, 1.5), (7, 2, 5e-324)])
def test_keltner_long_run_matches_reference(args):
    bars = [c[1:4] for c in candles(32, 100_000)]
    ref = RefKeltner(*(args or (20, 10, 2.0)))
    expected = rows(ref.update(*b) for b in bars)
    assert Keltner(*args).batch(*map(np.array, zip(*bars))).tobytes() == expected.tobytes()


def test_macd_examples():
    m, ref = MACD(), RefMACD(12, 26, 9)
    xs = [float(x) for x in range(1, 35)]
    assert [m.update(x) for x in xs[:33]] == [None] * 33 and not m.is_ready()
    first = m.update(xs[33])
    assert first is not None and m.is_ready() and m.warmup_period() == 34 and m.periods == (12, 26, 9)
    assert m.update(NAN) == first  # skipped: the last triple again, nothing advanced
    for x in xs:
        ref.update(x)
    assert bits(m.update(35.0)) == bits(ref.update(35.0))
    for value in (5.0, 100.0):  # seed means and steps are exact here
        flat = MACD(3, 6, 4)
        assert [flat.update(value) for _ in range(10)][8:] == [(0.0, 0.0, 0.0)] * 2
    one = MACD(2, 5, 1)  # signal of length 1 follows macd exactly
    assert all(o is None or (o[1] == o[0] and o[2] == 0.0) for o in map(one.update, walk(3, 50)))


@pytest.mark.parametrize("args, message", [
    ((0,), "period must be greater than zero"),
    ((30, 0), "period must be greater than zero"),  # before the fast/slow order
    ((26, 12), "invalid period: fast period must be strictly less than slow period"),
    ((12, 12), "invalid period: fast period must be strictly less than slow period"),
    ((12, 26, 0), "period must be greater than zero"),
])
def test_macd_configuration_errors(args, message):
    with pytest.raises(ValueError) as e:
        MACD(*args)
    assert str(e.value) == message


@pytest.mark.parametrize("args, message", [
    ((0, 10, 0.0), "multiplier must be greater than zero"),  # before the periods
    ((20, 10, -1.0), "multiplier must be greater than zero"),
    ((20, 10, NAN), "multiplier must be greater than zero"),
    ((20, 10, INF), "multiplier must be greater than zero"),
    ((0, 10, 2.0), "period must be greater than zero"),
    ((20, 0, 2.0), "period must be greater than zero"),
])
def test_keltner_configuration_errors(args, message):
    with pytest.raises(ValueError) as e:
        Keltner(*args)
    assert str(e.value) == message


def test_keltner_examples():
    k = Keltner()
    bar = (100.0, 101.0, 99.0, 100.5, 1e3, 0)
    assert [k.update(bar) for _ in range(19)] == [None] * 19 and not k.is_ready()
    assert k.update(bar) is not None and k.is_ready() and k.warmup_period() == 20
    late = Keltner(3, 5)  # the EMA is ready at 3, the bands wait for the ATR at 5
    assert [late.update(bar) is None for _ in range(5)] == [True] * 4 + [False] and late.warmup_period() == 5
    flat = Keltner(4, 4)
    assert [flat.update((100.0,) * 4 + (0.0, 0)) for _ in range(5)][3:] == [(100.0, 100.0, 100.0)] * 2
    a, b = Keltner(3, 3), Keltner(3, 3)  # open and volume do not matter
    for i in range(6):
        assert a.update((10.0, 12.0 + i, 9.0, 11.0, 0.0, 0)) == b.update((12.0 + i, 12.0 + i, 9.0, 11.0, 5e6, i))
