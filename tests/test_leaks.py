"""Calls repeated thousands of times keep nothing: no memory growth, no references left on what was passed in.

Every class's update, batch, properties, repr, reset, constructor and every error path: the memory that
tracemalloc sees must not grow with the number of calls, the reference counts of the arguments (arrays,
tuples, dicts, floats, the objects inside them) and of the object and its class must come back unchanged,
and results must be owned by the caller alone. The process's resident memory must not grow either, which
also covers the core's own buffers (C++ allocations tracemalloc does not see).
"""

import gc
import inspect
import os
import sys
import tracemalloc

import numpy as np
import pytest

from classes import CASES, FIELDS, bits, by_class

ROUNDS = int(os.environ.get("KESTOV_LEAK_ROUNDS", "2000"))
# Under AddressSanitizer freed memory sits in quarantine, so resident memory
# grows regardless; LeakSanitizer checks that run instead.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


class Floaty:
    def __init__(self, x, exc=None, hook=None):
        self.x, self.exc, self.hook = x, exc, hook

    def __float__(self):
        if self.hook:
            self.hook()
        if self.exc:
            raise self.exc("boom")  # a new one each time: a raised instance keeps every traceback
        return self.x


def attempt(fn):
    try:
        fn()
    except BaseException:  # noqa: B902 - failing is the point of half the calls
        pass


def calls(case, obj):
    """(label, call, objects whose reference counts must not change)."""
    n = 12
    rng = np.random.default_rng(1)
    closes = 100 + np.cumsum(rng.normal(size=n))
    full = {"open": closes, "high": closes + 1, "low": closes - 1, "close": closes, "volume": np.full(n, 10.0),
            "a": closes, "b": closes[::-1] * 2, "timestamp": np.arange(n, dtype=np.int64) * 3600}
    cols = [np.ascontiguousarray(full["close" if c == "prices" else c]) for c in case.columns]
    bad_row = [c.copy() for c in cols]
    bad_row[0][7] = np.nan
    short = [c[:-1] if i == len(cols) - 1 else c for i, c in enumerate(cols)]
    strided = [np.repeat(c, 2)[::2] for c in cols]
    boom = ValueError
    out = [
        ("batch", lambda: obj.batch(*cols), cols),
        ("batch by keyword", lambda: obj.batch(**dict(zip(case.columns, cols))), cols),
        ("batch bad row", lambda: obj.batch(*bad_row), bad_row),
        ("batch list", lambda: obj.batch(*[list(c) for c in cols]), []),
        ("batch int64", lambda: obj.batch(*[c.astype(np.int64) for c in cols]), []),
        ("batch strided", lambda: obj.batch(*strided), strided),
        ("batch lengths", lambda: obj.batch(*short), short),
        ("batch missing", lambda: obj.batch(), []),
        ("reset", obj.reset, []),
        ("is_ready", obj.is_ready, []),
        ("warmup_period", obj.warmup_period, []),
        ("reset with argument", lambda: obj.reset(cols[0]), cols[:1]),
        ("repr", lambda: repr(obj), []),
        ("update missing", lambda: obj.update(), []),
        ("update keyword", lambda: obj.update(**{case.arg: 1.5}), []),
        ("update unknown keyword", lambda: obj.update(nope=cols[0]), cols[:1]),
    ]
    out += [(f"property {name}", lambda name=name: getattr(obj, name), [])
            for name, v in vars(case.cls).items() if inspect.isgetsetdescriptor(v)]
    x = 101.25
    reenter = Floaty(x, hook=obj.is_ready)
    if case.kind == "pair":
        pair = (x, Floaty(x + 1.0, hook=obj.is_ready))
        out += [
            ("update pair", lambda: obj.update(pair), [pair, *pair]),
            ("update pair with nan", lambda: obj.update((x, float("nan"))), []),
            ("update pair raising", lambda: obj.update((x, Floaty(x, boom))), [boom, x]),
            ("update 3-tuple", lambda: obj.update((x, x, x)), []),
            ("update float", lambda: obj.update(x), [x]),
        ]
    elif case.kind == "value":
        out += [
            ("update float", lambda: obj.update(x), [x]),
            ("update nan", lambda: obj.update(float("nan")), []),
            ("update Floaty", lambda: obj.update(reenter), [reenter]),
            ("update str", lambda: obj.update("1.5"), []),
            ("update huge int", lambda: obj.update(10**400), []),
            ("update raising", lambda: obj.update(Floaty(x, boom)), [boom, x]),
        ]
    else:
        good = (x, x + 1, x - 1, x, 10.0, 1234567)  # no small int: those are shared by everything
        as_dict = dict(zip(FIELDS, good))
        nested = (Floaty(x), *good[1:])
        out += [
            ("update tuple", lambda: obj.update(good), [good, *good]),
            ("update dict", lambda: obj.update(as_dict), [as_dict, *good]),
            ("update dict of Floaty", lambda: obj.update({**as_dict, "close": reenter}), [reenter]),
            ("update Floaty in tuple", lambda: obj.update(nested), [nested, *nested]),
            ("update invalid candle", lambda: obj.update((x, x - 1, x + 1, x, 10.0, 1)), []),
            ("update list", lambda: obj.update(list(good)), []),
            ("update 5-tuple", lambda: obj.update(good[:5]), [good]),
            ("update missing key", lambda: obj.update({"open": x}), []),
            ("update bad timestamp", lambda: obj.update({**as_dict, "timestamp": 1.5}), []),
            ("update raising value", lambda: obj.update({**as_dict, "high": Floaty(x, boom)}), [boom]),
        ]
    return out


def constructor_calls(case):
    """Builds that succeed with sizeable buffers, and ones refused at each step."""
    params = list(inspect.signature(case.cls).parameters.values())
    ints = [p.name for p in params if p.default is p.empty or type(p.default) is int]
    big = {name: 4096 + i for i, name in enumerate(ints)}  # increasing, so fast < slow holds
    out = [("build", lambda: case.cls(**big)), ("build default", case.make)]
    if ints:
        last = {**big, ints[-1]: 2**60}  # the earlier buffers are reserved before this one fails
        out += [("build huge", lambda: case.cls(**last)), ("build zero", lambda: case.cls(**{**big, ints[0]: 0})),
                ("build negative", lambda: case.cls(**{**big, ints[0]: -1})),
                ("build float", lambda: case.cls(**{**big, ints[0]: 2.5})),
                ("build overflow", lambda: case.cls(**{**big, ints[-1]: 2**64 - 1}))]
    out += [("build unknown keyword", lambda: case.cls(nope=1))]
    return out


FIGURES = {}  # (class, call) -> bytes grown over ROUNDS // 2 calls, for reports


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.fixture
def quick_gc():
    """Collections that skip everything made before the test (they would dominate its time)."""
    gc.collect()
    gc.freeze()
    yield
    gc.unfreeze()


def traced_growth(call):
    """Growth of traced memory over ROUNDS // 2 calls: the smaller of two such runs."""
    tracemalloc.start()
    try:
        # Traced rounds first, so that the free lists of floats, tuples and
        # lists hold traced objects before the measured rounds.
        for _ in range(300):
            attempt(call)
        grown = []
        for _ in range(2):
            gc.collect()
            before = tracemalloc.get_traced_memory()[0]
            for _ in range(ROUNDS // 2):
                attempt(call)
            gc.collect()
            grown.append(tracemalloc.get_traced_memory()[0] - before)
    finally:
        tracemalloc.stop()
    # A cache may fill once, in one run; one leaked object per call (16 bytes
    # at least) grows both by 8 * ROUNDS.
    return min(grown)


@by_class(CASES)
def test_calls_keep_nothing(case, quick_gc):
    obj = case.make()
    for label, call, watched in calls(case, obj) + [(label, c, []) for label, c in constructor_calls(case)]:
        watched = [obj, case.cls, *watched]
        attempt(call)  # first-use caches
        gc.collect()
        counts = [sys.getrefcount(w) for w in watched]
        if SANITIZED:  # LeakSanitizer watches the memory (and would report tracemalloc's own tables)
            for _ in range(ROUNDS):
                attempt(call)
        else:
            grown = traced_growth(call)
            FIGURES[case.name, label] = grown
            assert grown < 4096, f"{label}: {grown} bytes more after {ROUNDS // 2} calls"
        assert [sys.getrefcount(w) for w in watched] == counts, label


@by_class(CASES)
def test_results_belong_to_the_caller(case):
    obj = case.make()
    for x in case.series(2, obj.warmup_period()):
        out = obj.update(x)
    # A tuple is also kept by its object, to be refilled once the caller lets go of it.
    kept = 1 if isinstance(out, tuple) else 0
    assert sys.getrefcount(out) == 2 + kept  # the name and the argument
    if isinstance(out, tuple):
        assert [sys.getrefcount(out[i]) for i in range(len(out))] == [2] * len(out)  # the tuple and the argument
    values = bits(out)
    for x in case.series(4, 3):
        obj.update(x)
    assert bits(out) == values  # a result the caller holds is never refilled
    del obj
    assert sys.getrefcount(out) == 2
    obj = case.make()
    array = obj.batch(*case.batch_args(case.series(3, 5)))
    assert sys.getrefcount(array) == 2 and array.base is None or sys.getrefcount(array.base) == 2


@pytest.mark.skipif(SANITIZED, reason="freed memory is held in the sanitizer's quarantine")
@by_class(CASES)
def test_resident_memory_stays_flat(case):
    obj = case.make()
    work = [c for _, c, _ in calls(case, obj)] + [c for _, c in constructor_calls(case)]

    def rounds(n):
        for _ in range(n):
            for call in work:
                attempt(call)
        gc.collect()
        return rss()

    start = rounds(50)
    grown = rounds(ROUNDS // 2) - start
    FIGURES[case.name, "resident"] = grown
    # A lost core buffer per build alone (32 KiB and more) would be 16 MiB at 500 rounds.
    assert grown < 4 * 2**20, f"resident memory grew by {grown} bytes"
