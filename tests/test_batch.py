"""batch: exactly the sequence of updates that update would make, over NumPy columns."""

import dataclasses
import itertools
import pickle
import random

import numpy as np
import pytest

from classes import CANDLE_CASES, CASES, FAR_APART, as_rows, assert_same_state, awkward, by_class, extreme_runs


def columns(case, seed, n):
    inputs = case.series(seed, n)
    return inputs, case.batch_args(inputs)


def assert_identical(a, b):
    assert a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


@by_class(CASES)
def test_batch_equals_updates(case):
    obj, twin = case.make(), case.make()
    inputs, args = columns(case, 3, 3 * obj.warmup_period() + 10)
    out = obj.batch(*args)
    assert out.dtype == np.float64 and out.flags.c_contiguous and out.flags.writeable
    first = obj.warmup_period() - 1  # the row of the first output
    assert np.isnan(out[:first]).all() and not np.isnan(out[first:]).any()
    assert_identical(out, as_rows([twin.update(x) for x in inputs], case.width))
    assert_same_state(case, obj, twin)
    # Each result let go before the next update: a tuple result is then refilled, not made anew.
    third, copied = case.make(), []
    for x in inputs:
        result = third.update(x)
        copied.append(list(result) if isinstance(result, tuple) else result)
        del result
    assert_identical(out, as_rows(copied, case.width))


def stretches(case, seed, n):
    """Clean stretches of every length up to a few thousand rows, broken by short bursts of awkward inputs."""
    rng, clean, odd = random.Random(seed), case.series(seed, n), awkward(case, seed + 1, n)
    w, out = case.make().warmup_period(), []
    while len(out) < n:
        source, k = (odd, rng.randint(1, w + 2)) if out and rng.random() < 0.4 else (clean, rng.randint(1, 3 * w + 2500))
        out += source[len(out):len(out) + k]
    return out[:n]


def misaligned(a):
    """The same values at an address that is not a multiple of 8."""
    raw = np.zeros(a.nbytes + 1, dtype=np.uint8)
    raw[1:] = a.view(np.uint8)
    return raw[1:].view(a.dtype)


# Some classes compute batch a column at a time: windows of one row, and
# windows longer than such a path takes, go other ways.
WINDOWS = {name: ("period", (1, 300)) for name in
           ("ROC", "CCI", "BollingerBands", "Variance", "StdDev", "VWMA", "ChaikinMoneyFlow", "Vortex")}
WINDOWS["KAMA"] = ("er_period", (1, 300))
WINDOWS["LinearRegression"] = ("period", (2, 300))
WINDOWS["Stochastic"] = ("d_period", (1, 40))  # %D's first value later than twice %K's window
WINDOW_CASES = CASES + [dataclasses.replace(c, kwargs={**c.kwargs, WINDOWS[c.name][0]: length})
                        for c in CASES if c.name in WINDOWS for length in WINDOWS[c.name][1]]


@pytest.mark.parametrize("case", WINDOW_CASES, ids=[f"{c.name}{c.kwargs or ''}" for c in WINDOW_CASES])
def test_batch_in_pieces_over_stretches(case):
    inputs = stretches(case, 5, 7000)
    args, rng = case.batch_args(inputs), random.Random(6)
    cuts = [0, *sorted(rng.sample(range(1, len(inputs)), 3)), len(inputs)]
    obj, twin, unaligned = case.make(), case.make(), case.make()
    # the last piece by keyword
    out = np.concatenate([obj.batch(*[a[s:e] for a in args]) for s, e in zip(cuts, cuts[1:-1])] +
                         [obj.batch(**{name: a[cuts[-2]:] for name, a in zip(case.columns, args)})])
    assert_identical(out, as_rows([twin.update(x) for x in inputs], case.width))
    assert pickle.dumps(obj) == pickle.dumps(twin)
    assert_identical(unaligned.batch(*map(misaligned, args)), out)
    assert pickle.dumps(unaligned) == pickle.dumps(twin)
    obj.reset()
    assert_identical(obj.batch(*args), out)


@by_class(CASES)
def test_empty_batch(case):
    obj, twin = case.make(), case.make()
    out = obj.batch(*[np.empty(0, dtype=a.dtype) for a in case.batch_args([])])
    assert out.dtype == np.float64 and out.shape == ((0, case.width) if case.width else (0,))
    assert_same_state(case, obj, twin)


BAD = {
    "list": list, "int64": lambda a: a.astype(np.int64), "float32": lambda a: a.astype(np.float32),
    "2-D": lambda a: a.reshape(1, -1), "0-d": lambda a: np.array(1.0), "big-endian": lambda a: a.astype(">f8"),
}


@by_class(CASES)
@pytest.mark.parametrize("kind", BAD)
def test_type_errors_name_first_bad_argument(case, kind):
    _, args = columns(case, 5, 4)
    last, type_name = len(args) - 1, "list" if kind == "list" else "ndarray"
    for i, name in enumerate(case.columns):
        if name == "timestamp" and kind == "int64":
            continue  # what that column is meant to be
        for bad_to in (i, last):  # only column i bad, then i and every later one
            cols = [BAD[kind](a) if i <= j <= bad_to else a for j, a in enumerate(args)]
            with pytest.raises(TypeError) as e:
                case.make().batch(*cols)
            if name == "timestamp" and kind != "list":  # an array of another dtype: which, and what to do
                assert str(e.value).startswith("argument 'timestamp': expected a") and "int64" in str(e.value)
            else:
                assert str(e.value) == f"argument '{name}': '{type_name}' object cannot be converted to 'PyArray<T, D>'"
    if last and not (kind == "int64" and case.columns[-1] == "timestamp"):  # a type error anywhere comes first
        with pytest.raises(TypeError, match=f"^argument '{case.columns[-1]}'"):
            case.make().batch(args[0][::-1], *args[1:-1], BAD[kind](args[-1]))


@by_class(CASES)
@pytest.mark.parametrize("view", [lambda a: a[::2], lambda a: a[::-1]], ids=["step", "reversed"])
def test_non_contiguous_panics(case, view):
    _, args = columns(case, 6, 8)
    for i in range(len(args)):
        with pytest.raises(BaseException) as e:
            case.make().batch(*[view(np.repeat(a, 2)) if j == i else a for j, a in enumerate(args)])
        assert not isinstance(e.value, Exception) and type(e.value).__name__ == "PanicException"
        assert str(e.value) == f"{case.contiguity}: NotContiguousError"


def unaligned(a):
    kind = "<i8" if a.dtype == np.int64 else "<f8"
    out = np.frombuffer(b"\0" + a.astype(kind).tobytes(), dtype=kind, offset=1)
    assert not out.flags.aligned
    return out


@by_class(CASES)
@pytest.mark.parametrize("wrap", [lambda a: np.lib.stride_tricks.as_strided(a, writeable=False),
                                  lambda a: a.view(np.recarray), unaligned], ids=["readonly", "subclass", "unaligned"])
def test_accepted_arrays(case, wrap):
    _, args = columns(case, 7, 2 * case.make().warmup_period())
    assert_identical(np.asarray(case.make().batch(*map(wrap, args))), case.make().batch(*args))


@by_class(CASES)
def test_length_mismatch(case):
    obj, twin = case.make(), case.make()
    _, args = columns(case, 8, 6)
    for col, text in case.lengths.items():
        with pytest.raises(ValueError) as e:
            obj.batch(*[a[:-1] if name == col else a for name, a in zip(case.columns, args)])
        assert str(e.value) == text
    assert_same_state(case, obj, twin)


FINITE = "open, high, low, close must all be finite"
BAD_ROWS = {  # id: (new values for row 5, given the row; the rule that refuses it)
    "high-nan": (lambda r: {"high": float("nan")}, FINITE),
    "low-inf": (lambda r: {"low": -float("inf")}, FINITE),
    "close-above-high": (lambda r: {"close": r["high"] + 1.0}, "high must be >= open and >= close"),
    "low-above-close": (lambda r: {"low": (r["high"] + r["close"]) / 2}, "low must be <= open and <= close"),
    "high-below-low": (lambda r: {"high": r["low"] - 1.0}, "high must be >= low"),
    "volume-inf": (lambda r: {"volume": float("inf"), "high": r["low"] - 1.0}, "volume must be finite"),
    "volume-negative": (lambda r: {"volume": -1e-300}, "volume must be non-negative"),
    "close-nan-volume-negative": (lambda r: {"close": float("nan"), "volume": -1.0}, FINITE),
}


def applies(case, bad):
    """Whether the bad row can be made from, and only changes, the class's batch columns."""
    try:
        return set(BAD_ROWS[bad][0](dict.fromkeys(case.columns, 1.0))) <= set(case.columns)
    except KeyError:
        return False


BAD_ROW_CASES = [pytest.param(case, bad, id=f"{case.name}-{bad}")
                 for case in CANDLE_CASES for bad in BAD_ROWS if applies(case, bad)]


@pytest.mark.parametrize("rows, at", [(10, 5), (17000, 16389)], ids=["early", "late"])
@pytest.mark.parametrize("case, bad", BAD_ROW_CASES)
def test_bad_row_stops_after_earlier_rows(case, bad, rows, at):
    change, rule = BAD_ROWS[bad]
    obj, twin = case.make(), case.make()
    inputs, args = columns(case, 9, rows)
    named = dict(zip(case.columns, args))
    for col, value in change({col: a[at] for col, a in named.items()}).items():
        named[col][at] = value
    with pytest.raises(ValueError) as e:
        obj.batch(*args)
    assert str(e.value) == "invalid candle: " + rule
    for x in inputs[:at]:
        twin.update(x)
    assert_same_state(case, obj, twin)


@pytest.mark.parametrize("case", [c for c in CANDLE_CASES if {"high", "low"} <= set(c.columns)], ids=lambda c: c.name)
@pytest.mark.parametrize("high, low, inside, rows", [(1.5e308, -1.5e308, 0.0, (3, 301, 302)),
                                                     (1.7e308, 1.6e308, 1.65e308, (301, 420))])
def test_rows_whose_range_overflows_are_still_candles(case, high, low, inside, rows):
    """high - low, or a move from the candle before, beyond the largest double: a valid candle, whatever
    quick test batch makes first, and whatever sums overflow on the way."""
    inputs, args = columns(case, 10, 600)
    named = dict(zip(case.columns, args))
    for at in rows:
        named["high"][at], named["low"][at] = high, low
        for col in ("open", "close"):
            if col in named:
                named[col][at] = inside
    rows = [dict(zip(case.columns, values)) for values in zip(*args)]
    twin = case.make()
    expected = as_rows([twin.update(case.row(tuple(r.get(f, 0.0) for f in ("open", "high", "low", "close", "volume"))
                                             + (int(r.get("timestamp", 0)),))) for r in rows], case.width)
    assert_identical(case.make().batch(*args), expected)


@pytest.mark.parametrize("case", [c for c in CASES if c.kind in ("value", "pair")], ids=lambda c: c.name)
def test_finite_steps_whose_sums_overflow(case):
    """Small prices with rare spikes: each row's rates, differences and squares stay finite, while their
    averages, weighted sums and the sums of squares overflow now and then, which update meets as it may."""
    rng = np.random.default_rng(11)
    spike = 1.7e306 if case.kind == "value" else 1.3e154  # a pair's square just below the largest double
    draw = lambda: rng.choice([1.0, 2.0, 3.0, spike, -spike], 3000, p=[0.4, 0.3, 0.28, 0.01, 0.01])
    args = [draw()] if case.kind == "value" else [draw(), draw()]
    args[0][:40] = 1.7e308  # and a running sum past the largest double from the start, which stays there
    inputs = [tuple(map(float, row)) for row in zip(*args)]
    obj, twin = case.make(), case.make()
    assert_identical(obj.batch(*args), as_rows([twin.update(x if case.kind == "pair" else x[0]) for x in inputs],
                                               case.width))
    assert pickle.dumps(obj) == pickle.dumps(twin)


@pytest.mark.parametrize("case", [c for c in CASES if c.kind in ("value", "pair")] + FAR_APART,
                         ids=[c.name for c in CASES if c.kind in ("value", "pair")] + [f"{c.name}-far" for c in FAR_APART])
def test_finite_averages_whose_differences_overflow(case):
    """Runs at either end of the doubles once every average is seeded: each average stays finite, while the
    difference of two of them (a fast and a slow one) may pass the largest double, which update passes over."""
    args = [extreme_runs(5)] if case.kind == "value" else [extreme_runs(5), extreme_runs(6)]
    inputs = [tuple(map(float, row)) for row in zip(*args)]
    obj, twin = case.make(), case.make()
    assert_identical(obj.batch(*args), as_rows([twin.update(x if case.kind == "pair" else x[0]) for x in inputs],
                                               case.width))
    assert pickle.dumps(obj) == pickle.dumps(twin)


class AnyName(type):
    """A metaclass whose __qualname__ answer is whatever the class says."""

    def __getattribute__(cls, name):
        return type.__getattribute__(cls, "answer") if name == "__qualname__" else type.__getattribute__(cls, name)


@by_class(CASES)
@pytest.mark.parametrize("answer", [12345, None, "Named"])
def test_type_error_names_any_qualname(case, answer):
    # The type's name is whatever its lookup returns, not necessarily a str.
    odd = AnyName("Odd", (), {"answer": answer})()
    _, args = columns(case, 5, 4)
    with pytest.raises(TypeError) as e:
        case.make().batch(*args[:-1], odd)
    assert str(e.value) == f"argument '{case.columns[-1]}': '{answer}' object cannot be converted to 'PyArray<T, D>'"


RANGE_CASES = [c for c in CASES if c.name in (
    "Stochastic", "WilliamsR", "Donchian", "MidPoint", "MidPrice", "Aroon", "AroonOscillator", "Ichimoku")]


def windowed(case, period):
    """The class with its window (for Ichimoku, its longest: senkou) `period` candles long."""
    if case.name == "Ichimoku":
        return case.cls(tenkan=max(1, period // 3), kijun=max(1, period // 2), senkou=period)
    return case.cls(**{**case.kwargs, "k_period" if case.name == "Stochastic" else "period": period})


def tied(case, seed, n):
    """Prices from a few integers and both zeros: equal highs and lows everywhere, so which of them a window
    keeps shows in the bits."""
    rng = np.random.default_rng(seed)
    low = rng.integers(-2, 3, n).astype(float)
    high = low + rng.integers(0, 3, n)
    for a in (low, high):
        a[(a == 0) & (rng.random(n) < 0.5)] = -0.0
    close = np.where(rng.random(n) < 0.5, low, high)
    if case.kind == "value":
        return list(close)
    return [case.row((c, h, lo, c, 1.0, 60 * i)) for i, (h, lo, c) in enumerate(zip(high, low, close))]


@pytest.mark.parametrize("period", [1, 2, 3, 7, 14, 64, 127, 128, 129])
@by_class(RANGE_CASES)
def test_batch_keeps_the_same_of_equal_prices(case, period):
    inputs = tied(case, period, 3 * period + 1500)
    obj, twin = windowed(case, period), windowed(case, period)
    out = obj.batch(*case.batch_args(inputs))
    assert_identical(out, as_rows([twin.update(x) for x in inputs], case.width))
    assert_same_state(case, obj, twin)


@by_class(RANGE_CASES)
def test_pieces_about_twice_the_window_long(case):
    """Pieces of every length up to three windows, each in its own array: a piece's first rows reach back into
    the window held, and a piece shorter than twice the window is rebuilt from nothing else."""
    inputs = tied(case, 7, 4000)
    obj, twin = case.make(), case.make()
    w, at, out = obj.warmup_period(), 0, []
    for k in itertools.cycle(range(1, 3 * w + 3)):
        if at >= len(inputs):
            break
        out.append(obj.batch(*[np.array(a) for a in case.batch_args(inputs[at:at + k])]))
        at += k
    assert_identical(np.concatenate(out), as_rows([twin.update(x) for x in inputs], case.width))
    assert_same_state(case, obj, twin)


@pytest.mark.parametrize("name, width", [("SMA", 1), ("Donchian", 3)])
def test_long_outputs_reuse_no_live_memory(name, width):
    """Outputs of a megabyte and more come from blocks kept when earlier outputs were freed: never one in use."""
    case = next(c for c in CASES if c.name == name)
    rows = (1 << 20) // (8 * width) + 4096
    args = [np.resize(a, rows) for a in case.batch_args(case.series(11, 3000))]
    first, second = case.make().batch(*args), case.make().batch(*args)
    assert not np.shares_memory(first, second)
    expected = second.copy()
    del first
    third = case.make().batch(*args)  # may take the block the first gave back
    third[:] = 0.0
    del second
    fourth = case.make().batch(*args)
    assert not np.shares_memory(fourth, third)
    assert not third.any()
    assert_identical(fourth, expected)
