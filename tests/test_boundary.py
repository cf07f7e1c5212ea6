"""The module's Python surface: attributes, argument matching, conversions, re-entrancy."""

import importlib
import inspect
import operator
import re
import subprocess
import sys
import types
import weakref

import numpy as np
import pytest

from classes import CANDLE_CASES, CASES, assert_same_state, by_class
from kestov import _kestov

NAN, INF = float("nan"), float("inf")
SHAPE = "candle must be a 6-tuple (open, high, low, close, volume, timestamp) or a dict"
GOOD = {"open": 10.0, "high": 12.0, "low": 9.0, "close": 11.0, "volume": 5.0, "timestamp": 7}
S, A, h = _kestov.SMA, _kestov.ATR, np.ones(3)


class Index:
    def __init__(self, n):
        self.n = n

    def __index__(self):
        return self.n


class Floaty:
    def __init__(self, x=0.0, exc=None, hook=None):
        self.x, self.exc, self.hook = x, exc, hook

    def __float__(self):
        if self.hook:
            self.hook()
        if self.exc:
            raise self.exc
        return self.x


def run_python(code):
    r = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    return r.stdout.split()


def test_module():
    assert _kestov.__version__ == "0.1.4"
    assert _kestov.__all__ == ["__version__"] + [c.name for c in CASES if c.module == "_kestov"]
    run_python("import sys, kestov._kestov; assert 'numpy' not in sys.modules")
    first = sys.modules.pop("kestov._kestov")
    try:
        assert importlib.import_module("kestov._kestov") is first
    finally:
        sys.modules["kestov._kestov"] = first


def test_second_interpreter_is_refused():
    pytest.importorskip("_xxsubinterpreters")
    run_python("import _xxsubinterpreters as si, kestov._kestov\n"
               "try: si.run_string(si.create(), 'import kestov._kestov')\n"
               "except si.RunFailedError as e: assert 'ImportError' in str(e), e\n"
               "else: raise SystemExit('a second interpreter imported the module')")


@by_class(CASES)
def test_class_surface(case):
    cls, obj = case.cls, case.make()
    assert (cls.__module__, cls.__text_signature__, cls.__doc__) == (f"kestov.{case.module}", case.signature, "")
    assert cls.update.__text_signature__ == f"($self, {case.arg})"
    assert cls.batch.__text_signature__ == "($self, " + ", ".join(case.columns) + ")"
    for name in ("reset", "is_ready", "warmup_period"):
        assert getattr(cls, name).__text_signature__ == "($self)"
        with pytest.raises(TypeError):
            getattr(obj, name)(1)
    assert cls.update.__doc__ == (case.update_note or None) and cls.batch.__doc__ == (case.batch_note or None)
    assert repr(obj) == case.repr if case.repr else repr(obj).startswith(f"<kestov.{case.module}.{case.name} object at 0x")
    props = [k for k, v in vars(cls).items() if isinstance(v, types.GetSetDescriptorType)]
    for exc, act in [(TypeError, lambda: type("Sub", (cls,), {})), (TypeError, lambda: weakref.ref(obj)),
                     (AttributeError, lambda: setattr(obj, "extra", 1))] + \
            [(AttributeError, lambda p=p: setattr(obj, p, 3)) for p in props]:
        with pytest.raises(exc):
            act()


@pytest.mark.parametrize("call, exc, text", [
    (lambda: S(), TypeError, "SMA.__new__() missing 1 required positional argument: 'period'"),
    (lambda: S(1).update(), TypeError, "SMA.update() missing 1 required positional argument: 'value'"),
    (lambda: A().batch(h), TypeError, "ATR.batch() missing 2 required positional arguments: 'low' and 'close'"),
    (lambda: A().batch(), TypeError, "ATR.batch() missing 3 required positional arguments: 'high', 'low', and 'close'"),
    (lambda: S(1, 2), TypeError, "SMA.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: A(1, 2), TypeError, "ATR.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: A().batch(h, h, h, h), TypeError, "ATR.batch() takes 3 positional arguments but 4 were given"),
    (lambda: _kestov.OBV(1), TypeError, "OBV.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: _kestov.VWAP(2, 3), TypeError, "VWAP.__new__() takes 0 positional arguments but 2 were given"),
    (lambda: _kestov.OBV(period=1), TypeError, "OBV.__new__() got an unexpected keyword argument 'period'"),
    (lambda: _kestov.PSAR(1, 2, 3, 4), TypeError,
     "PSAR.__new__() takes from 0 to 3 positional arguments but 4 were given"),
    (lambda: S(1, k=1), TypeError, "SMA.__new__() got an unexpected keyword argument 'k'"),
    (lambda: S(1).update(k=1.0), TypeError, "SMA.update() got an unexpected keyword argument 'k'"),
    (lambda: S(5, period=5), TypeError, "SMA.__new__() got multiple values for argument 'period'"),
    (lambda: A().batch(h, h, h, low=h), TypeError, "ATR.batch() got multiple values for argument 'low'"),
    (lambda: S(2.0), TypeError, "argument 'period': 'float' object cannot be interpreted as an integer"),
    (lambda: A(period=None), TypeError, "argument 'period': 'NoneType' object cannot be interpreted as an integer"),
    (lambda: S(0), ValueError, "period must be greater than zero"),
    (lambda: A(0), ValueError, "period must be greater than zero"),
    (lambda: S(-1), OverflowError, None),  # None: the message has no argument prefix
    (lambda: A(2**64), OverflowError, None),
    (lambda: S(1).update("1.5"), TypeError, "argument 'value': must be real number, not str"),
    (lambda: S(1).update(Floaty(exc=TypeError("boom"))), TypeError, "argument 'value': boom"),
    (lambda: S(1).update(Floaty(exc=ValueError("boom"))), ValueError, "boom"),
    (lambda: S(1).update(10**400), OverflowError, None),
])
def test_call_errors(call, exc, text):
    with pytest.raises(exc) as e:
        call()
    assert type(e.value) is exc
    assert str(e.value) == text if text else not str(e.value).startswith("argument")


@pytest.mark.parametrize("x, expected", [(1.5, 1.5), (2, 2.0), (True, 1.0), (Floaty(2.5), 2.5), (Index(3), 3.0)])
def test_accepted_values(x, expected):
    s = S(period=True)  # a bool is an int: period 1
    assert s.period == 1 and S(Index(2)).period == 2
    assert s.update(value=x) == expected


HUGE = (2**60 - 1, 2**60, 2**63, 2**64 - 2, 2**64 - 1)


def test_huge_periods_fail_cleanly():
    # Every integer parameter of every class at sizes no buffer can have, alone and all together (so
    # that the earlier buffers are reserved before a later one fails): a clean exception, never a
    # crash, and the interpreter carries on.
    out = run_python("import inspect, numpy, kestov as k\n"
                     f"HUGE = {HUGE}\n"
                     "def build(cls, **kw):\n"
                     "    try: cls(**kw); return 'built'\n"
                     "    except (MemoryError, OverflowError, ValueError) as e: return type(e).__name__\n"
                     "for cls in (getattr(k, n) for n in k.__all__[1:]):\n"
                     "    ints = [p.name for p in inspect.signature(cls).parameters.values()\n"
                     "            if p.default is p.empty or type(p.default) is int]\n"
                     "    for n in HUGE:\n"
                     "        for p in ints: print(cls.__name__, p, n, build(cls, **{p: n}), sep=':')\n"
                     "        if ints: print(cls.__name__, 'all', n, build(cls, **{p: n - len(ints) + i + 1\n"
                     "                                                              for i, p in enumerate(ints)}), sep=':')\n"
                     "kama = k.KAMA(fast=2**63, slow=2**64 - 1)\n"
                     "print(kama.warmup_period(), [kama.update(x) for x in range(12)][-1] is not None)\n"
                     "print(k.SMA(2).batch(numpy.array([1.0, 3.0]))[1])\n")
    results = {tuple(t.split(":")[:3]): t.split(":")[3] for t in out[:-3]}
    ints = [sum(1 for p in inspect.signature(c.cls).parameters.values() if p.default is p.empty or type(p.default) is int)
            for c in CASES]
    assert len(results) == len(HUGE) * (sum(ints) + sum(1 for n in ints if n))
    assert set(results.values()) <= {"MemoryError", "OverflowError", "ValueError", "built"}
    # KAMA's slow period and SessionVWAP's session and offset size no buffer (the offset is refused past int64)
    assert {key[:2] for key, r in results.items() if r == "built"} == {
        ("KAMA", "slow"), ("SessionVWAP", "session"), ("SessionVWAP", "offset"), ("SessionVWAP", "all")}
    for name, param in (("ROC", "period"), ("Aroon", "period"), ("KAMA", "er_period")):  # period + 1 slots
        assert results[name, param, str(2**64 - 1)] == "OverflowError"
    assert out[-3:] == ["11", "True", "2.0"]  # a KAMA of huge smoothing periods works, and so does the rest


class Row(tuple):
    pass


class Strict(dict):
    def __missing__(self, key):
        raise AssertionError("__missing__ called")


@by_class(CANDLE_CASES)
@pytest.mark.parametrize("form, timestamp", [  # the timestamp each form means (SessionVWAP reads it)
    (lambda d: Row(d.values()), 7),
    (lambda d: {k: v for k, v in d.items() if k != "timestamp"}, 0),
    (lambda d: Strict({k: v for k, v in d.items() if k != "timestamp"}, extra="ignored"), 0),  # absent: no __missing__
    (lambda d: {**d, "volume": Index(5), "timestamp": True}, 1),
    # Off the exact floats-and-int path: an int price, a float subclass, the least timestamp.
    (lambda d: (10, d["high"], type("F", (float,), {})(d["low"]), d["close"], d["volume"], -2**63), -2**63),
], ids=["tuple-subclass", "dict-no-timestamp", "dict-subclass-extra-key", "index-values", "tuple-mixed"])
def test_candle_forms_agree_with_tuple(case, form, timestamp):
    obj, twin = case.make(), case.make()
    obj.update(form(GOOD))
    twin.update(tuple(GOOD.values())[:5] + (timestamp,))
    assert_same_state(case, obj, twin)


def index_error_text():
    with pytest.raises(TypeError) as e:
        operator.index(1.5)
    return str(e.value)


@by_class(CANDLE_CASES)
@pytest.mark.parametrize("candle, exc, text", [
    (list(GOOD.values()), TypeError, SHAPE),
    (tuple(GOOD.values())[:5], TypeError, SHAPE),
    (tuple(GOOD.values()) + (8,), TypeError, SHAPE),
    ((10.0, 12.0, 9.0, 11.0, 5.0, 1.5), TypeError, SHAPE),
    ((10.0, 12.0, 9.0, 11.0, 5.0, 2**63), TypeError, SHAPE),
    ((10.0, 12.0, "9", 11.0, 5.0, 7), TypeError, SHAPE),
    ({**GOOD, "volume": "5"}, TypeError, None),
    ({k: v for k, v in GOOD.items() if k != "volume"}, ValueError, "candle missing key 'volume'"),
    ({k: v for k, v in GOOD.items() if k not in ("open", "volume")}, ValueError, "candle missing key 'open'"),
    ({"timestamp": 1.5, "close": 1.0}, TypeError, index_error_text()),
])
def test_candle_shape_errors(case, candle, exc, text):
    with pytest.raises(exc) as e:
        case.make().update(candle)
    assert str(e.value) == text if text else "argument" not in str(e.value)


@by_class(CANDLE_CASES)
@pytest.mark.parametrize("ohlcv, rule", [
    ((10, 12, 9, NAN, -1), "open, high, low, close must all be finite"),
    ((INF, 12, 9, 11, 5), "open, high, low, close must all be finite"),
    ((10, 8, 9, 11, INF), "volume must be finite"),
    ((10, 12, 9, 11, NAN), "volume must be finite"),
    ((10, 12, 9, 11, -1e-300), "volume must be non-negative"),
    ((10, 8, 9, 9, 0), "high must be >= low"),
    ((13, 12, 9, 11, 0), "high must be >= open and >= close"),
    ((10, 12, 9, 12.5, 0), "high must be >= open and >= close"),
    ((10, 12, 10.5, 11, 0), "low must be <= open and <= close"),
    ((10, 12, 9, 8.5, 0), "low must be <= open and <= close"),
    ((10, 12, 9, 11, -0.0), None),
    ((5, 5, 5, 5, 0), None),
])
def test_candle_rules(case, ohlcv, rule):
    for candle in (ohlcv + (0,), dict(zip(GOOD, ohlcv))):
        obj, twin = case.make(), case.make()
        if rule is None:
            obj.update(candle)
            twin.update(tuple(map(float, ohlcv)) + (0,))
        else:
            with pytest.raises(ValueError) as e:
                obj.update(candle)
            assert str(e.value) == "invalid candle: " + rule
        assert_same_state(case, obj, twin)


def failing_calls(case, obj):
    n = len(case.columns)
    calls = [lambda: obj.update(), lambda: obj.batch(*[[1.0]] * n), lambda: obj.batch(*[np.ones(4)[::2]] * n)]
    calls += [lambda cols=[np.ones(3 if c == col else 4) for c in case.columns]: obj.batch(*cols)
              for col in case.lengths]
    if case.kind == "value":
        return calls + [lambda: obj.update("x"), lambda: obj.update(10**400),
                        lambda: obj.update(Floaty(exc=ValueError()))]
    if case.kind == "pair":
        return calls + [lambda: obj.update(1.0), lambda: obj.update((1.0,)), lambda: obj.update((1.0, 2.0, 3.0)),
                        lambda: obj.update([1.0, 2.0]),
                        lambda: obj.update((1.0, "x")), lambda: obj.update((Floaty(exc=ValueError()), 1.0))]
    return calls + [lambda: obj.update([1.0] * 6), lambda: obj.update({"open": 1.0}),
                    lambda: obj.update((1.0, 0.0, 2.0, 1.0, 0.0, 0))]


@by_class(CASES)
def test_failures_leave_state_unchanged(case):
    obj, twin = case.make(), case.make()
    for x in case.series(1, obj.warmup_period() - 1):
        obj.update(x), twin.update(x)
    for call in failing_calls(case, obj):  # the first before readiness, the rest after
        with pytest.raises(BaseException):
            call()
        assert_same_state(case, obj, twin)


def test_reentrant_value_conversion():
    s, twin = S(2), S(2)
    shared, exclusive = "Already mutably borrowed", "Already borrowed"
    for target, text in ((lambda: s.value, shared), (lambda: s.is_ready(), shared),
                         (lambda: s.update(1.0), exclusive), (lambda: s.reset(), exclusive)):
        with pytest.raises(RuntimeError) as e:
            s.update(Floaty(1.0, hook=target))
        assert str(e.value) == text
    assert_same_state(next(c for c in CASES if c.name == "SMA"), s, twin)


@by_class(CANDLE_CASES)
def test_reentrant_candle_conversion(case):
    obj, twin = case.make(), case.make()
    close = Floaty(11.0, hook=lambda: obj.update(tuple(GOOD.values())))
    with pytest.raises(RuntimeError) as e:
        obj.update({**GOOD, "close": close})
    assert str(e.value) == "Already borrowed"
    with pytest.raises(TypeError) as e:
        obj.update((10.0, 12.0, 9.0, close, 5.0, 7))
    assert str(e.value) == SHAPE
    assert_same_state(case, obj, twin)
