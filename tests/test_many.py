"""kestov.many.Panel: every column is, bit for bit, a single object fed that series' bars."""

import copy
import dataclasses
import pickle
import random
import threading

import numpy as np
import pytest

from classes import CANDLE_CASES, CASES, FAR_APART, awkward, by_class, extreme_runs
from kestov.many import Panel


def universe(case, seed, rows, series):
    """Columns of shape (rows, series) with holes: a late listing, a halt, and scattered missing bars,
    all in the first half; the second half has none, as most blocks of a real universe."""
    rng = random.Random(seed)
    half = rows // 2
    kinds = [a.dtype for a in case.batch_args([])]
    columns = [np.empty((rows, series), dtype=kind) for kind in kinds]
    for s in range(series):
        for column, values in zip(columns, case.batch_args(awkward(case, seed * 100 + s, rows))):
            column[:, s] = values
        holes = [r for r in range(half) if rng.random() < 0.1]
        holes += list(range(rng.randrange(rows // 3))) if s % 3 == 1 else []  # listed late
        holes += list(range(half - rng.randrange(rows // 4), half)) if s % 3 == 2 else []  # halted
        for column in columns:
            if column.dtype == np.float64:  # a timestamp has no hole of its own: the prices make one
                column[holes, s] = np.nan
    return columns


def single(case, start, columns, s):
    """What a copy of `start` gives for series s: fed its bars only, outputs written at their rows."""
    cols = [c[:, s] for c in columns]
    bars = ~np.all([np.isnan(c) for c in cols if c.dtype == np.float64], axis=0)
    obj = copy.copy(start)
    out = np.full((len(bars), case.width) if case.width else len(bars), np.nan)
    out[bars] = obj.batch(*[np.ascontiguousarray(c[bars]) for c in cols])
    return out, obj


def warmed(case):
    obj = case.make()
    for x in case.series(1, obj.warmup_period() // 2 + 1):
        obj.update(x)
    return obj


def state(obj):
    return obj.__reduce__()[2]


# Windows longer than the panel steps side by side: their series go the other routes.
LONG = [dataclasses.replace(next(c for c in CASES if c.name == name), kwargs=kwargs)
        for name, kwargs in [("SMA", {"period": 65}), ("WMA", {"period": 80}), ("HMA", {"period": 66}),
                             ("BollingerBands", {"period": 70, "multiplier": 2.0}), ("KAMA", {"er_period": 33}),
                             ("ADXR", {"period": 65}), ("ROC", {"period": 65}),
                             ("AwesomeOscillator", {"fast": 5, "slow": 65}), ("Momentum", {"period": 65}),
                             ("StdDev", {"period": 65, "nbdev": 1.0}), ("MidPrice", {"period": 65}),
                             ("TRIMA", {"period": 130}), ("DPO", {"period": 65})]]


@pytest.mark.parametrize("case", CASES + LONG, ids=[c.name for c in CASES] + [f"{c.name}-long" for c in LONG])
@pytest.mark.parametrize("threads", [1, 2, 3])
def test_columns_equal_single_objects(case, threads):
    start = warmed(case)
    rows, series = 3 * start.warmup_period() + 25, 11
    columns = universe(case, 7, rows, series)
    panel = Panel(start, series)
    # a block, then rows one at a time, then another block
    a, b = rows // 2, rows // 2 + 4
    parts = [panel.batch(*[np.ascontiguousarray(c[:a]) for c in columns], threads=threads)]
    parts += [panel.update(*[np.ascontiguousarray(c[r]) for c in columns])[None] for r in range(a, b)]
    parts.append(panel.batch(*[np.ascontiguousarray(c[b:]) for c in columns], threads=threads))
    got = np.concatenate(parts)
    assert got.shape == ((rows, series, case.width) if case.width else (rows, series))
    for s in range(series):
        expected, obj = single(case, start, columns, s)
        assert np.ascontiguousarray(got[:, s]).tobytes() == expected.tobytes(), s
        assert state(panel[s]) == state(obj)  # and the series left where the single object is
    assert state(start) == state(warmed(case))  # the panel copied its starting indicator


@by_class(CASES)
def test_a_universe_wider_and_longer_than_the_blocks_it_is_computed_in(case):
    start = warmed(case)
    rows, series = 1100, 133
    columns = universe(case, 9, rows, series)
    got = Panel(start, series).batch(*columns, threads=2)
    for s in range(series):
        assert np.ascontiguousarray(got[:, s]).tobytes() == single(case, start, columns, s)[0].tobytes(), s


@by_class(CASES)
def test_rows_one_at_a_time_across_more_series_than_a_step_takes(case):
    """Live rows over 133 series: groups that settle at different rows, holes, and a ragged last group."""
    start = warmed(case)
    rows, series = 2 * start.warmup_period() + 12, 133
    columns = universe(case, 5, rows, series)
    panel = Panel(start, series)
    got = np.stack([panel.update(*[np.ascontiguousarray(c[r]) for c in columns]) for r in range(rows)])
    for s in range(series):
        expected, obj = single(case, start, columns, s)
        assert np.ascontiguousarray(got[:, s]).tobytes() == expected.tobytes(), s
        assert state(panel[s]) == state(obj)


@by_class([c for c in CASES if c.kind in ("value", "candle")])
def test_swings_too_large_for_a_double_in_settled_series(case):
    """Steps whose difference overflows, and sums that overflow, after every series of a group has settled."""
    start = case.make()
    warm = start.warmup_period()
    rows, series = 2 * warm + 40, 8
    columns = [np.array(c).T.copy() for c in zip(*(case.batch_args(case.series(s, rows)) for s in range(series)))]
    named = dict(zip(case.columns, columns)) if case.kind == "candle" else {"value": columns[0]}
    up, down = ("high", "low") if "high" in named else ("value", "value") if "value" in named else ("close", "close")
    big = 8e307 if up == "high" else 1.5e308  # a bar's range must be finite; a price's step need not be
    for s in (1, 6):
        named[up][warm + 10::3, s] = big
        named[down][warm + 11::3, s] = -big
        if up == "high":  # a bar whose high and low sum beyond a double
            named["high"][warm + 12::7, s] = 1.5e308
            named["low"][warm + 12::7, s] = 1e308
        if s == 6:  # a run of them, whose running sums overflow
            named[up][warm + 20:warm + 24, s] = big
        for name in ("open", "close"):  # within the bar's range
            if name in named and up == "high":
                named[name][:, s] = np.clip(named[name][:, s], named["low"][:, s], named["high"][:, s])
    got = Panel(start, series).batch(*columns, threads=1)
    for s in range(series):
        assert np.ascontiguousarray(got[:, s]).tobytes() == single(case, start, columns, s)[0].tobytes(), s


@pytest.mark.parametrize("case", FAR_APART, ids=lambda c: c.name)
def test_averages_whose_difference_overflows_in_settled_series(case):
    """Fast and slow averages of prices at either end of the doubles, their difference beyond a double."""
    start, series = case.make(), 8
    columns = [np.stack([extreme_runs(s) for s in range(series)], axis=1)]
    got = Panel(start, series).batch(*columns, threads=1)
    for s in range(series):
        assert np.ascontiguousarray(got[:, s]).tobytes() == single(case, start, columns, s)[0].tobytes(), s


# A price column missing (a bar is a hole only when all are NaN), or a volume just below zero.
FLAWS = [(c, f) for c in CANDLE_CASES for f in ("first", "last", "volume") if f != "volume" or "volume" in c.columns]


# 40 rows are checked before any state moves; 600 rows of 40 series, as they are fed, a few
# hundred rows ahead, and the states that moved are put back.
@pytest.mark.parametrize("rows", [40, 600])
@pytest.mark.parametrize("case,flaw", FLAWS, ids=[f"{c.name}-{f}" for c, f in FLAWS])
def test_invalid_candle_names_row_and_series_and_changes_nothing(case, flaw, rows):
    series, s, bad = (9, 8, 17) if rows < 100 else (40, 30, 450)  # s: in the second block of series
    start = warmed(case)
    columns = universe(case, 8, rows, series)
    panel = Panel(start, series)
    panel.batch(*[np.ascontiguousarray(c[:10]) for c in columns])
    before = pickle.dumps(panel)
    rest = [np.ascontiguousarray(c[10:]) for c in columns]
    for c in rest:  # a bar with one field missing is not a hole
        c[bad, s] = 1.0 if np.isnan(c[bad, s]) else c[bad, s]
    prices = [k for k, name in enumerate(case.columns) if name != "timestamp"]
    if flaw == "volume":
        rest[case.columns.index("volume")][bad, s] = -0.5
    else:
        rest[prices[0] if flaw == "first" else prices[-1]][bad, s] = np.nan
    rest[0][bad + 6, 2] = np.inf  # later, in the first block of series when two threads split them
    with pytest.raises(ValueError, match=rf"^invalid candle at row {bad}, series {s}: "):
        panel.batch(*rest, threads=2)
    assert pickle.dumps(panel) == before
    with pytest.raises(ValueError, match=rf"^invalid candle in series {s}: "):
        panel.update(*[c[bad] for c in rest])
    assert pickle.dumps(panel) == before


# Classes whose series run one at a time go down the rows a tile of series at a time: the candle
# named is still the earliest by row, though a later tile holds it.
@by_class([c for c in CANDLE_CASES if c.name in ("Aroon", "CCI")])
def test_the_earliest_invalid_candle_of_any_tile_is_named(case):
    series = 300
    columns = universe(case, 9, 400, series)
    panel = Panel(warmed(case), series)
    before = pickle.dumps(panel)
    columns[0][350, 5] = np.inf
    columns[0][300, 200] = np.inf
    with pytest.raises(ValueError, match=r"^invalid candle at row 300, series 200: "):
        panel.batch(*columns, threads=1)
    assert pickle.dumps(panel) == before


# An output of 16 MiB or more goes past the caches, where its packs are aligned; the same rows
# in two calls of half the size do not. Each series is one walk, started at its own row. An odd
# count of series starts every other row of the output off its alignment.
@pytest.mark.parametrize("series", [1024, 1025])
@by_class([c for c in CASES if c.name in ("SMA", "ATR", "OBV", "MACD", "CCI", "Aroon")])
def test_outputs_larger_than_the_caches(case, series):
    rows = 2048
    walk = [np.asarray(c) for c in case.batch_args(case.series(5, rows))]
    columns = [np.ascontiguousarray(np.stack([np.roll(c, 7 * s) for s in range(series)], axis=1)) for c in walk]
    whole, halves = Panel(case.make(), series), Panel(case.make(), series)
    got = whole.batch(*columns, threads=2)
    want = np.concatenate([halves.batch(*[np.ascontiguousarray(c[:1024]) for c in columns], threads=1),
                           halves.batch(*[np.ascontiguousarray(c[1024:]) for c in columns], threads=1)])
    assert got.tobytes() == want.tobytes()
    assert pickle.dumps(whole) == pickle.dumps(halves)


@by_class([CASES[0], CASES[6]])
def test_bad_arrays_are_clear_errors(case):
    panel = Panel(case.make(), 4)
    good = [np.zeros((5, 4)) + 1.0 for _ in case.columns]
    n = len(good)
    bad = {
        "list": (TypeError, [[1.0] * 4] * 5),
        "float32": (TypeError, good[0].astype(np.float32)),
        "1-D": (TypeError, np.ones(4)),
        "3-D": (TypeError, np.ones((5, 4, 1))),
        "series": (ValueError, np.ones((5, 3))),
        "Fortran": (ValueError, np.asfortranarray(np.ones((5, 4)))),
        "strided": (ValueError, np.ones((5, 8))[:, ::2]),
    }
    for kind, (error, value) in bad.items():
        with pytest.raises(error, match=f"argument '{case.columns[-1]}'"):
            panel.batch(*good[:-1], value)
    if n > 1:
        with pytest.raises(ValueError, match="rows"):
            panel.batch(*good[:-1], np.ones((6, 4)))
    with pytest.raises(TypeError):
        panel.update(*[g[0] for g in good][:-1], np.ones((1, 4)))
    with pytest.raises(TypeError):
        panel.batch(*good, threads="two")
    with pytest.raises(ValueError):
        panel.batch(*good, threads=0)
    assert panel.batch(*[np.empty((0, 4))] * n).shape[:2] == (0, 4)


def test_indexing_and_reset():
    from kestov import EMA, SMA
    panel = Panel(SMA(3), 4)
    panel.batch(np.arange(24.0).reshape(6, 4))
    assert len(panel) == 4 and repr(panel) == "Panel(SMA(3,), series=4)"
    assert panel[-1].value == panel[3].value == 19.0
    with pytest.raises(IndexError):
        panel[4]
    other = SMA(3)
    other.update(100.0)
    panel[1] = other
    assert state(panel[1]) == state(other)
    for bad, error in ((EMA(3), TypeError), (SMA(4), ValueError), (3.0, TypeError)):
        with pytest.raises(error):
            panel[0] = bad
    with pytest.raises(TypeError):
        del panel[0]
    panel.reset()
    assert state(panel[2]) == state(SMA(3))
    for bad in (3.0, None, [1]):
        with pytest.raises(TypeError):
            Panel(bad, 2)
    with pytest.raises((TypeError, OverflowError)):
        Panel(SMA(3), -1)


@by_class(CASES)
def test_pickled_panel_continues_bit_for_bit(case):
    start = warmed(case)
    columns = universe(case, 9, 2 * start.warmup_period() + 20, 5)
    half = len(columns[0]) // 2
    panel = Panel(start, 5)
    panel.batch(*[np.ascontiguousarray(c[:half]) for c in columns])
    for twin in (pickle.loads(pickle.dumps(panel)), copy.deepcopy(panel)):
        rest = [np.ascontiguousarray(c[half:]) for c in columns]
        assert twin.batch(*rest).tobytes() == copy.deepcopy(panel).batch(*rest).tobytes()
    with pytest.raises(ValueError):
        panel.__setstate__(pickle.dumps(panel)[:-3])


def test_two_threads_on_one_panel_get_a_clean_error():
    from kestov import ATR
    rows, series = 400, 4000
    rng = np.random.default_rng(3)
    close = 100 + np.cumsum(rng.normal(size=(rows, series)), axis=0)
    high, low = close + 1, close - 1
    reference = Panel(ATR(14), series)
    reference.batch(high, low, close)
    panel, refused = Panel(ATR(14), series), []

    def other():
        try:
            panel.batch(high, low, close, threads=1)
        except RuntimeError as e:
            refused.append(str(e))

    for _ in range(50):  # until the second call lands while the first is running
        worker = threading.Thread(target=other)
        panel.reset()
        worker.start()
        try:
            panel.batch(high, low, close, threads=1)
        except RuntimeError as e:
            refused.append(str(e))
        worker.join()
        if refused:
            break
    assert refused and refused[0] == "the panel is in use by another call"
    assert pickle.dumps(panel) == pickle.dumps(reference)  # one whole batch went through, never an interleaving
