"""Moving averages: worked examples, warm-up timing, and long runs against plain references."""

import math

import numpy as np
import pytest

from classes import bits, walk
from kestov._kestov import DEMA, EMA, HMA, KAMA, TEMA, TRIX, WMA
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
