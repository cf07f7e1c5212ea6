"""The classes of kestov._more against plain-Python references, bit for bit, and against TA-Lib after warm-up."""

import inspect
import math
import pathlib
import random

import numpy as np
import pytest

import kestov
from classes import CASES, awkward, bits
from reference import fma, left_sum

SAMPLE = pathlib.Path(__file__).resolve().parent.parent / "python" / "kestov" / "data" / "sample.csv"


def finite(x):
    return math.isfinite(x)


def momentum_ref(inputs, period):
    window, out, last = [], [], None
    for x in inputs:
        if finite(x):
            window = (window + [x])[-(period + 1):]
            if len(window) == period + 1:
                last = x - window[0]
        out.append(last)
    return out


def true_range_ref(candles):
    out, prev = [], None
    for c in candles:
        h, l = c[1], c[2]
        out.append(None if prev is None else max(max(h - l, abs(h - prev)), abs(l - prev)))
        prev = c[3]
    return out


# -- the components, one step at a time, as the core computes them --------------------

class Ema:
    def __init__(self, n):
        self.n, self.a, self.seed, self.cur = n, 2.0 / (n + 1.0), [], None

    def update(self, x):
        if not finite(x):
            return self.cur
        if self.cur is not None:
            self.cur = fma(self.a, x, self.cur * (1.0 - self.a))
        else:
            self.seed.append(x)
            if len(self.seed) == self.n:
                self.cur = left_sum(self.seed) / self.n
        return self.cur


class Rma:
    def __init__(self, n):
        self.n, self.seed, self.cur = n, [], None

    def update(self, x):
        if not finite(x):
            return self.cur
        if self.cur is not None:
            self.cur = (x + self.cur * (self.n - 1.0)) / self.n
        else:
            self.seed.append(x)
            if len(self.seed) == self.n:
                self.cur = left_sum(self.seed) / self.n
        return self.cur


class Sma:  # a running sum: the leaving value out first, then the new one in
    def __init__(self, n):
        self.n, self.w, self.s = n, [], 0.0

    def update(self, x):
        if finite(x):
            if len(self.w) == self.n:
                self.s = self.s - self.w.pop(0)
            self.w.append(x)
            self.s = x + self.s
        return self.s / self.n if len(self.w) == self.n else None


class Wma:
    def __init__(self, n):
        self.n, self.w, self.ws, self.s = n, [], 0.0, 0.0

    def update(self, x):
        full = len(self.w) == self.n
        if finite(x) and full:
            old = self.w.pop(0)
            self.ws = x * self.n + (self.ws - self.s)
            self.s = x + (self.s - old)
            self.w.append(x)
        elif finite(x):
            self.w.append(x)
            self.s = x + self.s
            if len(self.w) == self.n:
                self.ws = left_sum((i + 1.0) * v for i, v in enumerate(self.w))
        return self.ws / (((self.n + 1.0) * self.n) * 0.5) if len(self.w) == self.n else None


class Roc:
    def __init__(self, n):
        self.n, self.w = n, []

    def update(self, x):
        self.w = (self.w + [x])[-(self.n + 1):]
        if len(self.w) <= self.n:
            return None
        old = self.w[0]
        return 0.0 if old == 0.0 else ((x - old) / old) * 100.0


class Rsi:
    def __init__(self, n):
        self.n, self.prev, self.g, self.l, self.seed = n, None, None, None, []

    def update(self, x):
        if self.prev is None:
            self.prev = x
            return None
        change, self.prev, n = x - self.prev, x, self.n
        gain, loss = (change if change > 0.0 else 0.0), (-change if change < 0.0 else 0.0)
        if self.g is not None:
            self.g, self.l = (gain + self.g * (n - 1.0)) / n, (loss + self.l * (n - 1.0)) / n
        else:
            self.seed.append((gain, loss))
            if len(self.seed) < n:
                return None
            self.g, self.l = left_sum(s[0] for s in self.seed) / n, left_sum(s[1] for s in self.seed) / n
        if self.l == 0.0:
            return 50.0 if self.g == 0.0 else 100.0
        return 100.0 - 100.0 / (self.g / self.l + 1.0)


def true_range(h, low, pc):
    return max(max(h - low, abs(h - pc)), abs(low - pc))


class Dx:
    def __init__(self, n):
        self.n, self.prev, self.seed, self.sums = n, None, [], None

    def update(self, c):
        h, low = c[1], c[2]
        p, self.prev = self.prev, (h, low, c[3])
        if p is None:
            return None
        up, down = h - p[0], p[1] - low
        move = (true_range(h, low, p[2]), up if up > down and up > 0.0 else 0.0,
                down if down > up and down > 0.0 else 0.0)
        if self.sums is None:
            if len(self.seed) < self.n - 1:
                self.seed.append(move)
                return None
            self.sums = [left_sum(m[k] for m in self.seed) for k in range(3)]
        self.sums = [(s - s / self.n) + m for s, m in zip(self.sums, move)]
        tr, plus, minus = self.sums
        if tr == 0.0:
            return 0.0
        plus_di, minus_di = 100.0 * (plus / tr), 100.0 * (minus / tr)
        total = plus_di + minus_di
        return 0.0 if total == 0.0 else 100.0 * (abs(plus_di - minus_di) / total)


def skipping(step):
    """Outputs of a value indicator that skips non-finite inputs and repeats its last output for them."""
    def run(inputs):
        out, last = [], None
        for x in inputs:
            if finite(x):
                y = step(x)
                last = last if y is SKIP else y
            out.append(last)
        return out
    return run


SKIP = object()  # an input the indicator passes over, as it does a non-finite one


def changes(inputs, then):
    """then(change) for each change between consecutive finite inputs; one that overflows is skipped."""
    prev = [None]

    def step(x):
        p = prev[0]
        if p is None:
            prev[0] = x
            return None
        if not finite(x - p):
            return SKIP
        prev[0] = x
        return then(x - p)
    return skipping(step)(inputs)


# -- the classes --------------------------------------------------------------------

def cmo_ref(inputs, period):
    gains, losses = Rma(period), Rma(period)

    def then(c):
        g, lo = gains.update(c if c > 0.0 else 0.0), losses.update(-c if c < 0.0 else 0.0)
        if g is None:
            return None
        return 0.0 if g + lo == 0.0 else ((g - lo) / (g + lo)) * 100.0
    return changes(inputs, then)


def tsi_ref(inputs, long, short):
    c1, c2, s1, s2 = Ema(long), Ema(short), Ema(long), Ema(short)

    def then(c):
        a, b = c1.update(c), s1.update(abs(c))
        if a is None:
            return None
        a, b = c2.update(a), s2.update(b)
        if a is None:
            return None
        return 0.0 if b == 0.0 else 100.0 * (a / b)
    return changes(inputs, then)


def apo_ref(inputs, fast, slow):
    f, s = Ema(fast), Ema(slow)
    return skipping(lambda x: (lambda a, b: None if b is None else a - b)(f.update(x), s.update(x)))(inputs)


def ppo_ref(inputs, fast, slow, signal):
    f, s, g = Ema(fast), Ema(slow), Ema(signal)

    def step(x):
        a, b = f.update(x), s.update(x)
        if b is None:
            return None
        p = 0.0 if b == 0.0 else ((a - b) / b) * 100.0
        sig = g.update(p)
        return None if sig is None else (p, sig, p - sig)
    return skipping(step)(inputs)


def chain(*steps):
    def step(x):
        for s in steps:
            x = s(x)
            if x is None:
                return None
        return x
    return step


def trima_ref(inputs, period):
    return skipping(chain(Sma(period // 2 + 1).update, Sma(period // 2 + period % 2).update))(inputs)


def lagged(inputs, lag, then):
    """then(x, the finite input `lag` before x) once there is one."""
    window = []

    def step(x):
        window.append(x)
        del window[:-(lag + 1)]
        return then(x, window[0]) if len(window) > lag else None
    return skipping(step)(inputs)


def zlema_ref(inputs, period):
    e = Ema(period)
    return lagged(inputs, (period - 1) // 2, lambda x, old: e.update(x + (x - old)))


def dpo_ref(inputs, period):
    s, shift, window = Sma(period), period // 2 + 1, []

    def step(x):
        window.append(x)
        del window[:-(shift + 1)]
        mean = s.update(x)  # every finite input, whether or not the window is full
        return None if mean is None or len(window) <= shift else window[0] - mean
    return skipping(step)(inputs)


def t3_ref(inputs, period, vfactor):
    emas, v, v2 = [Ema(period) for _ in range(6)], vfactor, vfactor * vfactor
    c1 = -(v2 * v)
    c = (c1, 3.0 * (v2 - c1), -6.0 * v2 - 3.0 * (v - c1), ((1.0 + 3.0 * v) - c1) + 3.0 * v2)

    def step(x):
        e = []
        for ema in emas:
            x = ema.update(x)
            if x is None:
                return None
            e.append(x)
        return ((c[0] * e[5] + c[1] * e[4]) + c[2] * e[3]) + c[3] * e[2]
    return skipping(step)(inputs)


def coppock_ref(inputs, wma_period, roc1, roc2):
    a, b, w = Roc(roc1), Roc(roc2), Wma(wma_period)
    return skipping(lambda x: (lambda p, q: None if p is None or q is None else w.update(p + q))(
        a.update(x), b.update(x)))(inputs)


def kst_ref(inputs, r1, r2, r3, r4, s1, s2, s3, s4, signal):
    rocs, smas, sig = [Roc(r) for r in (r1, r2, r3, r4)], [Sma(s) for s in (s1, s2, s3, s4)], Sma(signal)

    def step(x):
        m = [s.update(r) if r is not None else None for s, r in zip(smas, [roc.update(x) for roc in rocs])]
        if None in m:
            return None
        k = ((m[0] * 1.0 + m[1] * 2.0) + m[2] * 3.0) + m[3] * 4.0
        d = sig.update(k)
        return None if d is None else (k, d)
    return skipping(step)(inputs)


def stoch_rsi_ref(inputs, period, k_period, d_period):
    rsi, window, d_average = Rsi(period), [], Sma(d_period)

    def step(x):
        r = rsi.update(x)
        if r is None:
            return None
        if not finite(r):
            return SKIP
        window.append(r)
        del window[:-k_period]
        if len(window) < k_period:
            return None
        ll = min(window)
        k = 50.0 if max(window) - ll == 0.0 else ((r - ll) * 100.0) / (max(window) - ll)
        d = d_average.update(k)
        return None if d is None else (k, d)
    return skipping(step)(inputs)


def rma_ref(inputs, period):
    return skipping(Rma(period).update)(inputs)


def dx_ref(candles, period):
    dx = Dx(period)
    return [dx.update(c) for c in candles]


def adxr_ref(candles, period):
    dx, adx, history, out = Dx(period), Rma(period), [], []
    for c in candles:
        x = dx.update(c)
        a = None if x is None else adx.update(x)
        history = history if a is None else (history + [a])[-period:]
        out.append((a + history[0]) / 2.0 if a is not None and len(history) == period else None)
    return out


def ultimate_ref(candles, fast, medium, slow):
    prev, terms, sums, out = None, [], [[0.0, 0.0] for _ in range(3)], []
    for c in candles:
        low, close = c[2], c[3]
        if prev is None:
            prev = close
            out.append(None)
            continue
        term = (close - min(low, prev), true_range(c[1], low, prev))
        prev = close
        for total, n in zip(sums, (fast, medium, slow)):
            if len(terms) >= n:
                old = terms[len(terms) - n]
                total[0], total[1] = total[0] - old[0], total[1] - old[1]
            total[0], total[1] = term[0] + total[0], term[1] + total[1]
        terms = (terms + [term])[-slow:]
        if len(terms) < slow:
            out.append(None)
            continue
        a = [0.0 if tr == 0.0 else bp / tr for bp, tr in sums]
        out.append(100.0 * (((4.0 * a[0] + 2.0 * a[1]) + a[2]) / 7.0))
    return out


def supertrend_ref(candles, period, multiplier):
    atr, prev, bands, out = Rma(period), None, None, []
    for c in candles:
        h, low, close = c[1], c[2], c[3]
        tr = None if prev is None else true_range(h, low, prev)
        pc, prev = prev, close
        a = None if tr is None else atr.update(tr)
        if a is None:
            out.append(None)
            continue
        mid, width = (h + low) / 2.0, multiplier * a
        upper, lower = mid + width, mid - width
        if bands is None:
            bands = [upper, lower, True]
        else:
            if upper < bands[0] or pc > bands[0]:
                bands[0] = upper
            if lower > bands[1] or pc < bands[1]:
                bands[1] = lower
            if bands[2] and close < bands[1]:
                bands[2] = False
            elif not bands[2] and close > bands[0]:
                bands[2] = True
        out.append((bands[1], 1.0) if bands[2] else (bands[0], -1.0))
    return out


def ichimoku_ref(candles, tenkan, kijun, senkou):
    def mid(n, i):  # max and min keep the first, the oldest, of equal prices
        w = candles[i + 1 - n:i + 1]
        return (max(c[1] for c in w) + min(c[2] for c in w)) / 2.0
    out = []
    for i in range(len(candles)):
        if i + 1 < max(tenkan, kijun, senkou):
            out.append(None)
            continue
        t, k = mid(tenkan, i), mid(kijun, i)
        out.append((t, k, (t + k) / 2.0, mid(senkou, i)))
    return out


def aroon_oscillator_ref(candles, period):
    out = []
    for i in range(len(candles)):
        w = candles[max(0, i - period):i + 1]
        hi = max(range(len(w)), key=lambda j: (w[j][1], j))  # of equal prices the newest
        lo = max(range(len(w)), key=lambda j: (-w[j][2], j))
        out.append(None if i < period else (hi * 100.0) / period - (lo * 100.0) / period)
    return out


def balance_of_power_ref(candles):
    return [0.0 if c[1] - c[2] == 0.0 else (c[3] - c[0]) / (c[1] - c[2]) for c in candles]


def vwma_ref(candles, period):
    out = []
    for i in range(len(candles)):
        w = candles[max(0, i + 1 - period):i + 1]
        volume = left_sum(c[4] for c in w)
        out.append(left_sum(c[3] * c[4] for c in w) / volume if len(w) == period and volume != 0.0 else None)
    return out


def div(x, y):
    """x / y as the core divides: by zero too."""
    with np.errstate(all="ignore"):
        return float(np.float64(x) / np.float64(y))


class PairSums:  # running sums, the leaving pair out first; all five afresh whenever one is not finite
    def __init__(self, n):
        self.n, self.w, self.s = n, [], [0.0] * 5

    def push(self, x, y):
        if len(self.w) == self.n:
            ox, oy = self.w.pop(0)
            self.s = [s - t for s, t in zip(self.s, (ox, oy, ox * ox, oy * oy, ox * oy))]
        self.w.append((x, y))
        self.s = [s + t for s, t in zip(self.s, (x, y, x * x, y * y, x * y))]
        if not all(map(finite, self.s)):
            self.s = [left_sum(terms) for terms in zip(*[(a, b, a * a, b * b, a * b) for a, b in self.w])]

    def full(self):
        return len(self.w) == self.n


def correlation_ref(pairs, period):
    sums, out, last = PairSums(period), [], None
    for a, b in pairs:
        if finite(a) and finite(b):
            sums.push(a, b)
            last = None
            if sums.full():
                n, (sx, sy, sxx, syy, sxy) = float(period), sums.s
                spread = (sxx - sx * sx / n) * (syy - sy * sy / n)
                if spread > 0.0 and finite(spread):
                    last = (sxy - sx * sy / n) / math.sqrt(spread)
        out.append(last)
    return out


def beta_ref(pairs, period):
    sums, out, last, prev = PairSums(period), [], None, None
    for a, b in pairs:
        if finite(a) and finite(b):
            if prev is not None:
                ra, rb = div(a - prev[0], prev[0]), div(b - prev[1], prev[1])
                if finite(ra) and finite(rb):
                    sums.push(ra, rb)
                    last = None
                    if sums.full():
                        n, (sx, sy, sxx, _, sxy) = float(period), sums.s
                        spread = n * sxx - sx * sx
                        if spread > 0.0 and finite(spread):
                            last = div(n * sxy - sx * sy, spread)
            prev = (a, b)
        out.append(last)
    return out


def session_vwap_ref(candles, session, offset):
    out, key, pv, volume = [], None, 0.0, 0.0
    for c in candles:
        if (c[5] - offset) // session != key:
            key, pv, volume = (c[5] - offset) // session, 0.0, 0.0
        pv = pv + c[4] * (((c[1] + c[2]) + c[3]) / 3.0)
        volume = volume + c[4]
        out.append(None if volume == 0.0 else pv / volume)
    return out


def money_flow_volume(c):
    h, low, close = c[1], c[2], c[3]
    return 0.0 if h - low == 0.0 or not finite(h - low) else (((close - low) - (h - close)) / (h - low)) * c[4]


def accumulation_distribution_ref(candles):
    out, total = [], 0.0
    for c in candles:
        total = total + money_flow_volume(c)
        out.append(total)
    return out


def chaikin_money_flow_ref(candles, period):
    out = []
    for i in range(len(candles)):
        w = candles[max(0, i + 1 - period):i + 1]
        volume = left_sum(c[4] for c in w)
        flow = left_sum(money_flow_volume(c) for c in w)
        out.append((0.0 if volume == 0.0 else flow / volume) if len(w) == period else None)
    return out


def force_index_ref(candles, period):
    ema, prev, out = Ema(period), None, []
    for c in candles:
        out.append(None if prev is None else ema.update((c[3] - prev) * c[4]))
        prev = c[3]
    return out


def ease_of_movement_ref(candles, period, volume_divisor):
    prev, terms, out = None, [], []
    for c in candles:
        h, low = c[1], c[2]
        mid = (h + low) / 2.0
        if prev is not None:
            box = 0.0 if h - low == 0.0 else (c[4] / volume_divisor) / (h - low)
            terms = (terms + [0.0 if box == 0.0 else (mid - prev) / box])[-period:]
        prev = mid
        out.append(left_sum(terms) / period if len(terms) == period else None)
    return out


def pvt_ref(candles):
    prev, total, out = None, 0.0, []
    for c in candles:
        if prev is not None and prev != 0.0 and finite(((c[3] - prev) / prev) * c[4]):
            total = total + ((c[3] - prev) / prev) * c[4]
        prev = c[3]
        out.append(total)
    return out


def volume_index_ref(candles, counts):
    prev, index, out = None, 1000.0, []
    for c in candles:
        if prev is not None and prev[0] != 0.0:
            step = ((c[3] - prev[0]) / prev[0]) * index
            index = index + step if counts(c[4], prev[1]) and finite(step) else index
        prev = (c[3], c[4])
        out.append(index)
    return out


def vortex_ref(candles, period):
    prev, terms, out = None, [], []
    for c in candles:
        h, low = c[1], c[2]
        if prev is not None:
            terms = (terms + [(abs(h - prev[1]), abs(low - prev[0]), true_range(h, low, prev[2]))])[-period:]
        prev = (h, low, c[3])
        if len(terms) < period:
            out.append(None)
            continue
        plus, minus, tr = (left_sum(t[k] for t in terms) for k in range(3))
        out.append((0.0, 0.0) if tr == 0.0 else (plus / tr, minus / tr))
    return out


def mass_index_ref(candles, ema_period, sum_period):
    ema, ema_of_ema, ratios = Ema(ema_period), Ema(ema_period), Sma(sum_period)

    def step(c):
        a = c[1] - c[2]
        if finite(a):
            a = ema.update(a)
        if a is None:
            return None
        if not finite(a):
            return SKIP
        b = ema_of_ema.update(a)
        if b is None:
            return None
        ratios.update(1.0 if b == 0.0 else a / b)
        return ratios.s if len(ratios.w) == sum_period else None
    out, last = [], None
    for c in candles:
        y = step(c)
        last = last if y is SKIP else y
        out.append(last)
    return out


def heikin_ashi_ref(candles):
    def mid(a, b):
        return (a + b) / 2.0 if finite(a + b) else a / 2.0 + b / 2.0
    out, last = [], None
    for o, h, low, c, *_ in candles:
        total = ((o + h) + low) + c
        close = total / 4.0 if finite(total) else ((o / 4.0 + h / 4.0) + low / 4.0) + c / 4.0
        open_ = mid(o, c) if last is None else mid(last[0], last[3])
        upper, lower = max(open_, close), min(open_, close)  # of equal values the first
        last = (open_, max(h, upper), min(low, lower), close)
        out.append(last)
    return out


def windowed(period, then):
    """then(the last `period` finite inputs) once there are that many; non-finite inputs skipped."""
    window = []

    def step(x):
        window.append(x)
        del window[:-period]
        return then(window) if len(window) == period else None
    return skipping(step)


def mean_of(window):
    """The oldest value plus the mean difference from it."""
    return window[0] + left_sum(v - window[0] for v in window) / len(window)


def variance_of(window):
    mean = mean_of(window)
    return left_sum((v - mean) * (v - mean) for v in window) / len(window)


def variance_ref(inputs, period):
    return windowed(period, variance_of)(inputs)


def stddev_ref(inputs, period, nbdev):
    return windowed(period, lambda w: math.sqrt(variance_of(w)) * nbdev)(inputs)


ATAN_P = (-8.750608600031904122785e-1, -1.615753718733365076637e1, -7.500855792314704667340e1,
          -1.228866684490136173410e2, -6.485021904942025371773e1)
ATAN_Q = (2.485846490142306297962e1, 1.650270098316988542046e2, 4.328810604912902668951e2,
          4.853903996359136964868e2, 1.945506571482613964425e2)


def arctangent(x):
    """Cephes' arctangent, reduction and rational approximation, in the core's order of operations."""
    a, base, tail = abs(x), 0.0, 0.0
    t = a
    if a > 2.41421356237309504880:
        base, tail, t = 1.57079632679489661923, 6.123233995736765886130e-17, -(1.0 / a)
    elif a > 0.66:
        base, tail, t = 7.85398163397448309616e-1, 0.5 * 6.123233995736765886130e-17, (a - 1.0) / (a + 1.0)
    z = t * t
    p = (((ATAN_P[0] * z + ATAN_P[1]) * z + ATAN_P[2]) * z + ATAN_P[3]) * z + ATAN_P[4]
    q = ((((z + ATAN_Q[0]) * z + ATAN_Q[1]) * z + ATAN_Q[2]) * z + ATAN_Q[3]) * z + ATAN_Q[4]
    r = t * ((z * p) / q) + t
    if base != 0.0:
        r = base + (r + tail)
    return -r if math.copysign(1.0, x) < 0.0 else r


def linear_regression_ref(inputs, period):
    n = float(period)
    centre, spread = (n - 1.0) / 2.0, n * (n * n - 1.0) / 12.0

    def line(w):
        mean = mean_of(w)
        slope = left_sum((i - centre) * (y - w[0]) for i, y in enumerate(w)) / spread
        return (mean + slope * centre, slope, mean - slope * centre, arctangent(slope) * (180.0 / math.pi),
                mean + slope * (centre + 1.0))
    return windowed(period, line)(inputs)


def mid_point_ref(inputs, period):
    return windowed(period, lambda w: (max(w) + min(w)) / 2.0)(inputs)  # of equal values the first, the oldest


def mid_price_ref(candles, period):
    out = []
    for i in range(len(candles)):
        w = candles[i + 1 - period:i + 1] if i + 1 >= period else None
        out.append(None if w is None else (max(c[1] for c in w) + min(c[2] for c in w)) / 2.0)
    return out


def atr_ref(candles, period):
    """The ATR class: the first candle's range counts; then Wilder's step, fused."""
    prev, seed, atr, out = None, [], None, []
    for c in candles:
        h, low = c[1], c[2]
        tr = h - low if prev is None else true_range(h, low, prev)
        prev = c[3]
        if atr is not None:
            atr = fma(atr, period - 1.0, tr) / period
        else:
            seed.append(tr)
            atr = left_sum(seed) / period if len(seed) == period else None
        out.append(atr)
    return out


def natr_ref(candles, period):
    return [None if a is None else 0.0 if c[3] == 0.0 else (a / c[3]) * 100.0
            for a, c in zip(atr_ref(candles, period), candles)]


# class name -> reference over a list of inputs, given every constructor argument (defaults filled in)
REFERENCES = {
    "Momentum": lambda inputs, kw: momentum_ref(inputs, kw.get("period", 10)),
    "TrueRange": lambda inputs, kw: true_range_ref(inputs),
    "StochRSI": lambda inputs, kw: stoch_rsi_ref(inputs, **kw),
    "ADXR": lambda inputs, kw: adxr_ref(inputs, **kw),
    "DX": lambda inputs, kw: dx_ref(inputs, **kw),
    "PPO": lambda inputs, kw: ppo_ref(inputs, **kw),
    "APO": lambda inputs, kw: apo_ref(inputs, **kw),
    "TSI": lambda inputs, kw: tsi_ref(inputs, **kw),
    "CMO": lambda inputs, kw: cmo_ref(inputs, **kw),
    "UltimateOscillator": lambda inputs, kw: ultimate_ref(inputs, **kw),
    "KST": lambda inputs, kw: kst_ref(inputs, **kw),
    "Coppock": lambda inputs, kw: coppock_ref(inputs, **kw),
    "DPO": lambda inputs, kw: dpo_ref(inputs, **kw),
    "SuperTrend": lambda inputs, kw: supertrend_ref(inputs, **kw),
    "Ichimoku": lambda inputs, kw: ichimoku_ref(inputs, **kw),
    "AroonOscillator": lambda inputs, kw: aroon_oscillator_ref(inputs, **kw),
    "BalanceOfPower": lambda inputs, kw: balance_of_power_ref(inputs),
    "ZLEMA": lambda inputs, kw: zlema_ref(inputs, **kw),
    "T3": lambda inputs, kw: t3_ref(inputs, **kw),
    "TRIMA": lambda inputs, kw: trima_ref(inputs, **kw),
    "VWMA": lambda inputs, kw: vwma_ref(inputs, **kw),
    "RMA": lambda inputs, kw: rma_ref(inputs, **kw),
    "Correlation": lambda inputs, kw: correlation_ref(inputs, **kw),
    "Beta": lambda inputs, kw: beta_ref(inputs, **kw),
    "SessionVWAP": lambda inputs, kw: session_vwap_ref(inputs, **kw),
    "AccumulationDistribution": lambda inputs, kw: accumulation_distribution_ref(inputs),
    "ChaikinOscillator": lambda inputs, kw: apo_ref(accumulation_distribution_ref(inputs), **kw),
    "ChaikinMoneyFlow": lambda inputs, kw: chaikin_money_flow_ref(inputs, **kw),
    "ForceIndex": lambda inputs, kw: force_index_ref(inputs, **kw),
    "EaseOfMovement": lambda inputs, kw: ease_of_movement_ref(inputs, **kw),
    "PVT": lambda inputs, kw: pvt_ref(inputs),
    "NVI": lambda inputs, kw: volume_index_ref(inputs, lambda v, prev: v < prev),
    "PVI": lambda inputs, kw: volume_index_ref(inputs, lambda v, prev: v > prev),
    "Vortex": lambda inputs, kw: vortex_ref(inputs, **kw),
    "MassIndex": lambda inputs, kw: mass_index_ref(inputs, **kw),
    "HeikinAshi": lambda inputs, kw: heikin_ashi_ref(inputs),
    "StdDev": lambda inputs, kw: stddev_ref(inputs, **kw),
    "Variance": lambda inputs, kw: variance_ref(inputs, **kw),
    "LinearRegression": lambda inputs, kw: linear_regression_ref(inputs, **kw),
    "MidPoint": lambda inputs, kw: mid_point_ref(inputs, **kw),
    "MidPrice": lambda inputs, kw: mid_price_ref(inputs, **kw),
    "NATR": lambda inputs, kw: natr_ref(inputs, **kw),
}
MORE = [c for c in CASES if c.module == "_more"]
# the smallest configuration, where all ones is refused
TINY = {"PPO": {"fast": 1, "slow": 2, "signal": 1}, "APO": {"fast": 1, "slow": 2},
        "ChaikinOscillator": {"fast": 1, "slow": 2}, "LinearRegression": {"period": 2}}


def test_every_new_class_has_a_reference():
    assert sorted(REFERENCES) == sorted(c.name for c in MORE)


@pytest.mark.parametrize("case", MORE, ids=[c.name for c in MORE])
@pytest.mark.parametrize("config", ["table", "defaults", "tiny"])
def test_matches_reference_bit_for_bit(case, config):
    kwargs = {"table": case.kwargs, "defaults": {},
              "tiny": TINY.get(case.name, {k: 1 for k in case.kwargs})}[config]
    obj = case.cls(**kwargs)
    inputs = awkward(case, 17, 3000)
    got = []
    for x in inputs:
        got.append(obj.update(x))
        assert bits(obj.value) == bits(got[-1])  # the last output
    defaults = {p.name: p.default for p in inspect.signature(case.cls).parameters.values()}
    expected = REFERENCES[case.name](inputs, {**defaults, **kwargs})
    assert [bits(g) for g in got] == [bits(e) for e in expected]


# Short runs of valid candles the awkward series never makes: a range too wide for a double, a
# relative change of the close too large for one, box ratios below the smallest, an unchanged volume.
EDGE_RUNS = {
    "wide range": [(0.0, 1e308, -1e308, 1e308, 1.0, 0)],
    "huge change": [(5e-324,) * 4 + (1.0, 0), (1e300,) * 4 + (1e300, 0), (5e-324,) * 4 + (1.0, 0),
                    (1e300,) * 4 + (0.5, 0)],
    "vanishing box": [(1.0, 1e300, 1.0, 1.0, 1e-300, 0), (1.0, 2.0, 1.0, 1.5, 5e-324, 0)],
    "same volume": [(1.0, 2.0, 1.0, 2.0, 500.0, 0), (2.0, 3.0, 2.0, 3.0, 500.0, 0)],
}
VOLUME = [c for c in MORE if c.name in
          ("AccumulationDistribution", "ChaikinOscillator", "ChaikinMoneyFlow", "ForceIndex", "EaseOfMovement",
           "PVT", "NVI", "PVI")]


@pytest.mark.parametrize("case", VOLUME, ids=[c.name for c in VOLUME])
@pytest.mark.parametrize("run", sorted(EDGE_RUNS))
def test_volume_classes_match_reference_at_the_ends_of_the_range(case, run):
    inputs = case.series(3, 30) + [case.row(c) for c in EDGE_RUNS[run]] + case.series(4, 30)
    obj = case.make()
    defaults = {p.name: p.default for p in inspect.signature(case.cls).parameters.values()}
    expected = REFERENCES[case.name](inputs, {**defaults, **case.kwargs})
    assert [bits(obj.update(x)) for x in inputs] == [bits(e) for e in expected]


BIG = 1.7976931348623157e308


def widest(case, seed, n):
    """Awkward candles and some of the widest a double holds: a range, a true range or a sum of prices overflows."""
    rng, out = random.Random(seed), []
    for c in awkward(case, seed, n):
        r = rng.random()
        if r < 0.04:
            c = case.row((BIG, BIG, -BIG, -BIG, 0.0, 0))
        elif r < 0.08:
            c = case.row((0.9 * BIG, BIG, 0.8 * BIG, 0.95 * BIG, 0.0, 0))
        out.append(c)
    return out


@pytest.mark.parametrize("name", ["TrueRange", "Vortex", "MassIndex", "HeikinAshi"])
def test_widest_candles_match_reference(name):
    case = next(c for c in MORE if c.name == name)
    obj, inputs = case.make(), widest(case, 23, 3000)
    got = [obj.update(x) for x in inputs]
    assert [bits(g) for g in got] == [bits(e) for e in REFERENCES[name](inputs, case.kwargs)]
    if name == "HeikinAshi":  # the open carries over: one infinity would stay for good
        assert all(finite(x) for g in got for x in g)


def test_natr_is_the_atr_class_in_percent_of_the_close():
    natr, atr = kestov.NATR(5), kestov.ATR(5)
    for c in awkward(next(c for c in MORE if c.name == "NATR"), 23, 2000):
        a = atr.update(c)
        assert bits(natr.update(c)) == bits(None if a is None else 0.0 if c[3] == 0.0 else (a / c[3]) * 100.0)


@pytest.mark.parametrize("name", ["StdDev", "Variance", "LinearRegression"])
def test_a_flat_window_has_no_spread_and_no_slope(name):
    # Most such windows do not sum to period * x exactly: the mean must not come from that sum alone.
    rng = random.Random(9)
    for _ in range(300):
        x, period = rng.uniform(-1e3, 1e3), rng.randint(2, 30)
        obj = getattr(kestov, name)(period)
        *_, out = [obj.update(x) for _ in range(period)]
        assert out == ((x, 0.0, x, 0.0, x) if name == "LinearRegression" else 0.0)


@pytest.mark.parametrize("period", [2, 5, 14])
def test_linear_regression_of_a_line_is_that_line(period):
    # Dyadic values: every sum, mean and quotient on the way is exact.
    obj, step = kestov.LinearRegression(period), 0.5
    *_, out = [obj.update(3.0 + step * i) for i in range(3 * period)]
    newest = 3.0 + step * (3 * period - 1)
    assert out[:3] + out[4:] == (newest, step, newest - step * (period - 1), newest + step)
    assert out[3] == pytest.approx(math.degrees(math.atan(step)), rel=1e-15)


def test_linear_regression_angle_is_the_slope_in_degrees():
    # Over two values the slope is their difference: slopes from 1e-12 to 1e12, either sign.
    obj, rng = kestov.LinearRegression(2), random.Random(5)
    for _ in range(20000):
        out = obj.update(rng.uniform(-1.0, 1.0) * 10.0 ** rng.uniform(-12.0, 12.0))
        if out is not None:
            assert out[3] == pytest.approx(math.atan(out[1]) * (180.0 / math.pi), rel=1e-15, abs=0.0)


# -- TA-Lib on the bundled sample ----------------------------------------------------

TALIB = {  # class name -> (constructor arguments, TA-Lib call on the sample's columns[, [(TA-Lib output, our column)]])
    "Momentum": ({"period": 10}, lambda t, d: t.MOM(d["close"], 10)),
    "TrueRange": ({}, lambda t, d: t.TRANGE(d["high"], d["low"], d["close"])),
    "StochRSI": ({}, lambda t, d: t.STOCHRSI(d["close"], 14, 5, 3, 0), [(0, 0), (1, 1)]),
    "ADXR": ({}, lambda t, d: t.ADXR(d["high"], d["low"], d["close"], 14)),
    "DX": ({}, lambda t, d: t.DX(d["high"], d["low"], d["close"], 14)),
    "PPO": ({}, lambda t, d: t.PPO(d["close"], 12, 26, 1), [(0, 0)]),
    "APO": ({}, lambda t, d: t.APO(d["close"], 12, 26, 1)),
    "TSI": ({}, lambda t, d: t.TSI(d["close"], 25, 13)),
    "CMO": ({}, lambda t, d: t.CMO(d["close"], 14)),
    "UltimateOscillator": ({}, lambda t, d: t.ULTOSC(d["high"], d["low"], d["close"], 7, 14, 28)),
    "Coppock": ({}, lambda t, d: t.COPPOCK(d["close"], 10, 11, 14)),
    "DPO": ({}, lambda t, d: t.DPO(d["close"], 20)),
    "SuperTrend": ({}, lambda t, d: t.SUPERTREND(d["high"], d["low"], d["close"], 10, 3.0), [(0, 0), (1, 1)]),
    "AroonOscillator": ({}, lambda t, d: t.AROONOSC(d["high"], d["low"], 14)),
    "BalanceOfPower": ({}, lambda t, d: t.BOP(d["open"], d["high"], d["low"], d["close"])),
    "ZLEMA": ({}, lambda t, d: t.ZLEMA(d["close"], 30)),
    "T3": ({}, lambda t, d: t.T3(d["close"], 5, 0.7)),
    "TRIMA": ({}, lambda t, d: t.TRIMA(d["close"], 30)),
    "VWMA": ({}, lambda t, d: t.VWMA(d["close"], d["volume"], 30)),
    "RMA": ({}, lambda t, d: t.RMA(d["close"], 30)),
    "Correlation": ({}, lambda t, d: t.CORREL(d["a"], d["b"], 30)),
    "Beta": ({}, lambda t, d: t.BETA(d["a"], d["b"], 5)),
    "AccumulationDistribution": ({}, lambda t, d: t.AD(d["high"], d["low"], d["close"], d["volume"])),
    "ChaikinOscillator": ({}, lambda t, d: t.ADOSC(d["high"], d["low"], d["close"], d["volume"], 3, 10)),
    "ChaikinMoneyFlow": ({}, lambda t, d: t.CMF(d["high"], d["low"], d["close"], d["volume"], 20)),
    "ForceIndex": ({}, lambda t, d: t.EFI(d["close"], d["volume"], 13)),
    "PVT": ({}, lambda t, d: t.PVT(d["close"], d["volume"])),
    "NVI": ({}, lambda t, d: t.NVI(d["close"], d["volume"])),
    "PVI": ({}, lambda t, d: t.PVI(d["close"], d["volume"])),
    "Vortex": ({}, lambda t, d: t.VORTEX(d["high"], d["low"], d["close"], 14), [(0, 0), (1, 1)]),
    "MassIndex": ({}, lambda t, d: t.MASSI(d["high"], d["low"], 9, 25)),
    "HeikinAshi": ({}, lambda t, d: t.HA(d["open"], d["high"], d["low"], d["close"]), [(k, k) for k in range(4)]),
    "StdDev": ({"nbdev": 2.0}, lambda t, d: t.STDDEV(d["close"], 5, 2.0)),
    "Variance": ({}, lambda t, d: t.VAR(d["close"], 5)),
    "LinearRegression": ({}, lambda t, d: tuple(f(d["close"], 14) for f in (
        t.LINEARREG, t.LINEARREG_SLOPE, t.LINEARREG_INTERCEPT, t.LINEARREG_ANGLE, t.TSF)), [(k, k) for k in range(5)]),
    "MidPoint": ({}, lambda t, d: t.MIDPOINT(d["close"], 14)),
    "MidPrice": ({}, lambda t, d: t.MIDPRICE(d["high"], d["low"], 14)),
    # The ATR class counts the first candle's range in its seed and TA-Lib does not: at 14 the two still
    # differ by 1.1e-11 after row 300 (docs/more.md), at 7 by rounding.
    "NATR": ({"period": 7}, lambda t, d: t.NATR(d["high"], d["low"], d["close"], 7)),
}
# Correlation, Beta: both sides keep running sums of squares and products, subtracting in another order;
# Sxx - Sx * Sx / n cancels most digits of a price's square, so the rounding of either side shows at this size.
# LinearRegression: on the sample TA-Lib's regression slope drifts from the exact one, up to 2.1e-12 of the
# slope's range (its angle 3.7e-12 of the angle's), while the class's, summed afresh, stays within 1.2e-16 of
# that range (docs/more.md).
TOLERANCE = {"Correlation": 1e-9, "Beta": 1e-9, "LinearRegression": 1e-11}


def sample():
    data = np.genfromtxt(SAMPLE, delimiter=",", names=True, dtype=None, encoding="utf-8")
    columns = {name.lower(): np.ascontiguousarray(data[name], dtype=np.float64)
               for name in data.dtype.names if name.lower() in ("open", "high", "low", "close", "volume")}
    return {**columns, "a": columns["close"], "b": columns["volume"]}  # two series that do not move together


def assert_agree_after_warm_up(ours, theirs, tolerance=1e-12, start=300):
    a, b = ours[start:], np.asarray(theirs, dtype=np.float64)[start:]
    assert np.array_equal(np.isnan(a), np.isnan(b))
    assert np.nanmax(np.abs(a - b)) <= tolerance * np.nanmax(np.abs(a))


def batch_on_sample(case, kwargs, d=None):
    d = sample() if d is None else d
    return case.cls(**kwargs).batch(*[d["close" if c == "prices" else c] for c in case.columns])


def assert_agrees_with_talib(name, d, start):
    talib = pytest.importorskip("talib")
    case = next(c for c in MORE if c.name == name)
    kwargs, call, *pairs = TALIB[name]
    ours = batch_on_sample(case, kwargs, d)
    theirs = call(talib, d)
    theirs = theirs if isinstance(theirs, tuple) else (theirs,)
    for t, o in pairs[0] if pairs else [(0, 0)]:
        assert_agree_after_warm_up(ours.reshape(len(ours), -1)[:, o], theirs[t], TOLERANCE.get(name, 1e-12), start)


@pytest.mark.parametrize("name", sorted(TALIB))
def test_agrees_with_talib_after_warm_up(name):
    assert_agrees_with_talib(name, sample(), 300)


def test_ease_of_movement_agrees_with_talipp_after_warm_up():
    """TA-Lib has no ease of movement; talipp's EMV is the same average of the one-period values."""
    indicators = pytest.importorskip("talipp.indicators")
    from talipp.ohlcv import OHLCV
    d = sample()
    emv = indicators.EMV(14, 100000000.0)
    for row in zip(*(d[k].tolist() for k in ("open", "high", "low", "close", "volume"))):
        emv.add(OHLCV(*row))
    ours = batch_on_sample(next(c for c in MORE if c.name == "EaseOfMovement"), {})
    assert_agree_after_warm_up(ours, [math.nan if x is None else x for x in emv])


@pytest.mark.parametrize("name", ["Vortex", "MassIndex"])
def test_candles_without_range_as_talib(name):
    """From flat candles on: Vortex's lines are 0 over true ranges summing to 0, a mass index ratio 1 over 0 / 0."""
    d = sample()
    for column in ("open", "high", "low", "close"):
        d[column][:100] = d["close"][0]
    assert_agrees_with_talib(name, d, 0)


# -- configurations the constructors refuse ---------------------------------------------

PERIODS = "invalid period: fast period must be strictly less than slow period"
ORDER = "invalid period: periods must be fast <= medium <= slow"
MULTIPLIER = "multiplier must be greater than zero"
DIVISOR = "invalid parameter: volume_divisor must be finite and greater than zero"


@pytest.mark.parametrize("name, kwargs, text", [
    ("PPO", {"fast": 26, "slow": 26}, PERIODS),
    ("APO", {"fast": 30}, PERIODS),
    ("UltimateOscillator", {"fast": 15}, ORDER),
    ("UltimateOscillator", {"slow": 13}, ORDER),
    ("T3", {"vfactor": 0.0}, MULTIPLIER),
    ("T3", {"vfactor": float("nan")}, MULTIPLIER),
    ("SuperTrend", {"multiplier": -1.0}, MULTIPLIER),
    ("SuperTrend", {"multiplier": float("inf")}, MULTIPLIER),
    ("KST", {"s4": 0}, "period must be greater than zero"),
    ("Coppock", {"roc2": 0}, "period must be greater than zero"),
    ("Ichimoku", {"kijun": 0}, "period must be greater than zero"),
    ("StochRSI", {"d_period": 0}, "period must be greater than zero"),
    ("Correlation", {"period": 0}, "period must be greater than zero"),
    ("SessionVWAP", {"session": 0}, "invalid period: session must be greater than zero"),
    ("ChaikinOscillator", {"fast": 10}, PERIODS),
    ("ChaikinOscillator", {"slow": 0}, "period must be greater than zero"),
    ("ChaikinMoneyFlow", {"period": 0}, "period must be greater than zero"),
    ("ForceIndex", {"period": 0}, "period must be greater than zero"),
    ("EaseOfMovement", {"period": 0}, "period must be greater than zero"),
    ("EaseOfMovement", {"volume_divisor": 0.0}, DIVISOR),
    ("EaseOfMovement", {"volume_divisor": -1e-300}, DIVISOR),
    ("EaseOfMovement", {"volume_divisor": float("nan")}, DIVISOR),
    ("EaseOfMovement", {"volume_divisor": float("inf")}, DIVISOR),
    ("Vortex", {"period": 0}, "period must be greater than zero"),
    ("MassIndex", {"ema_period": 0}, "period must be greater than zero"),
    ("MassIndex", {"sum_period": 0}, "period must be greater than zero"),
    ("StdDev", {"nbdev": 0.0}, MULTIPLIER),
    ("StdDev", {"nbdev": -1.0}, MULTIPLIER),
    ("StdDev", {"nbdev": float("inf")}, MULTIPLIER),
    ("LinearRegression", {"period": 1}, "invalid period: a line needs a period of at least 2"),
    ("NATR", {"period": 0}, "period must be greater than zero"),
])
def test_refused_configurations(name, kwargs, text):
    case = next(c for c in MORE if c.name == name)
    with pytest.raises(ValueError) as e:
        case.cls(**kwargs)
    assert str(e.value) == text
