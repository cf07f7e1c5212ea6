"""Coverage-guided fuzzing of the Python boundary of kestov._kestov (atheris).

Each input drives one class: a constructor call with generated arguments, then
a generated sequence of update, batch, reset and read calls, including every
kind of hostile argument (NaN, infinities, huge ints, strings, tuples and dicts
of every shape, objects whose __float__/__index__ raise or call back into the
object being called, arrays of every dtype, dimension, stride and length).

Some of the calls restore saved states: the object's own state, edited by the
fuzzer a few bytes at a time, given to __setstate__ on the live object and
inside a pickle to pickle.loads.

The oracle:
- only the documented exception types leave a call (plus the fuzzer's own
  Hostile, which its objects raise from inside conversions);
- a twin object receives only the calls that succeeded on the object under
  test (and, for a batch stopped by an invalid row, the rows before it, fed
  through update); every result of the two must agree bit for bit, and so
  must a probe sequence fed to both at the end;
- a restore raises only ValueError, TypeError, MemoryError or OverflowError,
  and a refused one leaves the state (__reduce__()[2]) exactly as it was; an
  accepted one saves back the very bytes it was given, and the object runs
  on like the twin, which is given the same bytes;
- pickle.loads of the same bytes succeeds or fails exactly as the live
  __setstate__ did, with the same message, and what it builds runs on in
  step with the object.

Coverage comes from the extension's own C++ code, which scripts/fuzz.sh builds
with clang's coverage counters. Run by scripts/fuzz.sh; any extra arguments
are libFuzzer's (-max_total_time, -runs, a corpus folder, or an input to
replay).
"""

import collections
import json
import math
import os
import pickle
import struct
import sys
import warnings
from fractions import Fraction
from decimal import Decimal

import atheris

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

import classes  # noqa: E402 - the class table of the tests
import numpy as np  # noqa: E402

from kestov import _kestov  # noqa: E402

CASES = classes.CASES
FIELDS = classes.FIELDS
warnings.simplefilter("ignore")  # __float__ returning a float subclass warns; the value is still used


class Hostile(Exception):
    """Raised by the fuzzer's own objects from inside a conversion."""


ALLOWED = (TypeError, ValueError, OverflowError, RuntimeError, MemoryError, Hostile)


def allowed(exc):
    return isinstance(exc, ALLOWED) or type(exc).__name__ == "PanicException"


class Finding(AssertionError):
    pass


# The object a call is being made on; callbacks reach it through here, so the
# object under test and its twin see the same callbacks on themselves.
TARGET = [None]
BYSTANDER = _kestov.SMA(3)  # what callbacks reach while no object exists yet

SPECIAL_FLOATS = [0.0, -0.0, 1.0, -1.0, math.nan, -math.nan, math.inf, -math.inf, 5e-324, -5e-324,
                  2.2250738585072014e-308, 1.7976931348623157e308, -1.7976931348623157e308, 1e-300, 1e16,
                  0.1, 100.0, 2.0**53, float.fromhex("0x1.fffffffffffffp-1")]
# Periods either workable or far beyond any buffer: a period of 2**31 would be
# a real, if idle, 16 GiB reservation.
SPECIAL_INTS = [0, 1, 2, 3, 5, 14, -1, -2**63, -2**63 - 1, 2**53 + 1, 2**60 - 1, 2**62, 2**63 - 1, 2**63,
                2**64 - 2, 2**64 - 1, 2**64, 10**400, -10**400]


def callback(fdp):
    """Something that calls back into the object being called."""
    action = fdp.ConsumeIntInRange(0, 9)
    swallow = fdp.ConsumeBool()

    def run():
        t = TARGET[0]
        try:
            if action == 0:
                t.update(1.0)
            elif action == 1:
                t.update((10.0, 12.0, 9.0, 11.0, 5.0, 0))
            elif action == 2:
                t.batch(*[np.ones(3)] * 4)
            elif action == 3:
                t.reset()
            elif action == 4:
                t.is_ready()
            elif action == 5:
                t.warmup_period()
            elif action == 6:
                repr(t)
            elif action == 7:
                for name in ("value", "period", "periods", "alpha", "multiplier"):
                    getattr(t, name, None)
            elif action == 8:
                t.batch(np.ones(3))
            else:
                raise Hostile("from a callback")
        except Exception:
            if not swallow:
                raise
    return run


class Floaty:
    def __init__(self, behaviour, x, hook=None):
        self.behaviour, self.x, self.hook = behaviour, x, hook

    def __float__(self):
        if self.hook:
            self.hook()
        return self.behaviour(self.x)


class Indexy:
    def __init__(self, behaviour, n, hook=None):
        self.behaviour, self.n, self.hook = behaviour, n, hook

    def __index__(self):
        if self.hook:
            self.hook()
        return self.behaviour(self.n)


class Both(Floaty):
    def __index__(self):
        return 7


class FloatSub(float):
    pass


class IntSub(int):
    pass


def raise_hostile(_):
    raise Hostile("conversion")


def raise_type(_):
    raise TypeError("conversion refused")


BEHAVIOURS = [lambda x: x, raise_hostile, raise_type, lambda x: "not a number", lambda x: FloatSub(x) if
              isinstance(x, float) else IntSub(x), lambda x: None, lambda x: 10**400]


class CollidingKey:
    """A dict key that hashes like a field name, so lookups compare with it."""

    def __init__(self, name, eq):
        self.name, self.eq, self.armed = name, eq, False

    def __hash__(self):
        return hash(self.name)

    def __eq__(self, other):
        return self.eq(self, other) if self.armed else self is other


class Row(tuple):
    pass


class Missing(dict):
    def __missing__(self, key):
        raise Finding("__missing__ was called")


class Meta(type):
    """A type whose name lookups answer with anything at all."""

    def __getattribute__(cls, name):
        if name == "__qualname__":
            return type.__getattribute__(cls, "answer")()
        return type.__getattribute__(cls, name)


def weird_type_instance(fdp):
    answers = [lambda: 12345, lambda: None, lambda: b"bytes", lambda: "named", raise_hostile,
               callback(fdp)]
    answer = answers[fdp.ConsumeIntInRange(0, len(answers) - 1)]
    cls = Meta("Weird", (), {"answer": staticmethod(lambda: answer(None) if answer is raise_hostile else answer())})
    return cls()


def scalar(fdp, depth=0):
    kind = fdp.ConsumeIntInRange(0, 22)
    if kind <= 3:
        return fdp.ConsumeRegularFloat() if kind else fdp.ConsumeFloat()
    if kind == 4:
        return fdp.PickValueInList(SPECIAL_FLOATS)
    if kind == 5:
        return fdp.PickValueInList(SPECIAL_INTS)
    if kind == 6:
        return fdp.ConsumeIntInRange(-2**16, 2**16)
    if kind == 7:
        return fdp.ConsumeBool()
    if kind == 8:
        return fdp.PickValueInList([None, "1.5", b"2", "nan", [], (), {}, object(), 1j, Decimal("sNaN")])
    if kind == 9:
        return fdp.PickValueInList([Fraction(1, 3), Decimal("2.5"), Decimal("nan"), Decimal("-inf"), complex(2, 0)])
    if kind == 10:
        return fdp.PickValueInList([np.float64(1.5), np.float32(0.1), np.int64(-3), np.uint64(2**64 - 1),
                                    np.bool_(True), np.float16(65504), np.longdouble(1e300) * 10, np.array(2.5),
                                    np.array([1.5]), np.array(7), np.float64("nan")])
    if kind in (11, 12):
        hook = callback(fdp) if fdp.ConsumeBool() else None
        return Floaty(fdp.PickValueInList(BEHAVIOURS), scalar(fdp, depth + 1) if depth < 2 else 1.0, hook)
    if kind in (13, 14):
        hook = callback(fdp) if fdp.ConsumeBool() else None
        n = fdp.PickValueInList(SPECIAL_INTS) if fdp.ConsumeBool() else fdp.ConsumeIntInRange(0, 30)
        return Indexy(fdp.PickValueInList(BEHAVIOURS), n, hook)
    if kind == 15:
        return Both(lambda x: x, fdp.ConsumeRegularFloat())
    if kind == 16:
        return weird_type_instance(fdp)
    if kind == 17:
        return FloatSub(fdp.ConsumeFloat())
    if kind == 18:
        return IntSub(fdp.PickValueInList(SPECIAL_INTS))
    return fdp.ConsumeRegularFloat()


def good_candle(fdp):
    o = fdp.ConsumeFloatInRange(1.0, 200.0)
    c = fdp.ConsumeFloatInRange(1.0, 200.0)
    h = max(o, c) + fdp.ConsumeFloatInRange(0.0, 5.0)
    low = min(o, c) - fdp.ConsumeFloatInRange(0.0, 5.0)
    return (o, h, low, c, fdp.ConsumeFloatInRange(0.0, 1e4), fdp.ConsumeIntInRange(-2**63, 2**63 - 1))


def candle_arg(fdp, depth=0):
    kind = fdp.ConsumeIntInRange(0, 11)
    if kind <= 3:
        return good_candle(fdp)
    base = list(good_candle(fdp))
    for _ in range(fdp.ConsumeIntInRange(0, 3)):
        base[fdp.ConsumeIntInRange(0, 5)] = scalar(fdp, depth + 1)
    if kind == 4:
        return tuple(base)
    if kind == 5:
        return Row(base)
    if kind == 6:
        return tuple(base[:fdp.ConsumeIntInRange(0, 5)]) + tuple(scalar(fdp) for _ in range(fdp.ConsumeIntInRange(0, 3)))
    if kind == 7:
        return base  # a list is never a candle
    d = dict(zip(FIELDS, base))
    for name in FIELDS:
        if fdp.ConsumeIntInRange(0, 7) == 0:
            del d[name]
    if kind == 8:
        return d
    if kind == 9:
        return Missing(d, extra=scalar(fdp))
    if kind == 10:
        # A key that compares during lookup: it raises, calls back, or mutates the dict.
        name = fdp.PickValueInList(list(FIELDS))
        how = fdp.ConsumeIntInRange(0, 3)
        hook = callback(fdp)

        def eq(key, other):
            if how == 0:
                raise Hostile("key comparison")
            if how == 1:
                hook()
            if how == 2:  # changes the dict under the lookup, and back
                d["spare"] = 0.0
                del d["spare"]
            return False
        key = CollidingKey(name, eq)
        d[key] = 1.0
        key.armed = True
        return d
    return scalar(fdp, depth + 1)


def value_arg(fdp, case):
    if case.kind == "candle":
        return candle_arg(fdp)
    if case.kind == "pair":  # mostly a pair of numbers, now and then anything at all in either place or as a whole
        kind = fdp.ConsumeIntInRange(0, 7)
        if kind <= 4:
            return tuple(fdp.ConsumeFloatInRange(-1e3, 1e3) if fdp.ConsumeIntInRange(0, 3) else scalar(fdp)
                         for _ in range(2))
        return scalar(fdp) if kind == 5 else tuple(scalar(fdp) for _ in range(fdp.ConsumeIntInRange(0, 3)))
    kind = fdp.ConsumeIntInRange(0, 5)
    return fdp.ConsumeFloatInRange(-1e3, 1e3) if kind <= 2 else scalar(fdp)


def column_values(fdp, case, n):
    """Rows that are mostly valid candles (or a price walk), with some cells spoiled."""
    rows = [good_candle(fdp) for _ in range(n)] if case.kind == "candle" else \
        [(fdp.ConsumeFloatInRange(-1e3, 1e3), 0.0, 0.0, fdp.ConsumeFloatInRange(-1e3, 1e3), 0.0, 0) for _ in range(n)]
    full = np.array([r[:5] for r in rows], dtype=np.float64).reshape(n, 5)
    for _ in range(fdp.ConsumeIntInRange(0, 2) if n else 0):
        full[fdp.ConsumeIntInRange(0, n - 1), fdp.ConsumeIntInRange(0, 4)] = fdp.PickValueInList(SPECIAL_FLOATS)
    return full


def shape_column(fdp, a):
    """A column as given to batch: usually a plain contiguous float64 array."""
    kind = fdp.ConsumeIntInRange(0, 30)
    if kind <= 12:
        return a
    variants = [
        lambda: a.astype(np.float32), lambda: a.astype(np.int64, casting="unsafe"), lambda: a.astype(">f8"),
        lambda: a.astype(object), lambda: a.astype(np.complex128), lambda: a.reshape(1, -1), lambda: a.reshape(-1, 1),
        lambda: np.array(1.5), lambda: list(a), lambda: tuple(a), lambda: None, lambda: 1.5,
        lambda: np.repeat(a, 2)[::2], lambda: np.repeat(a, 2)[::-2], lambda: a[::-1],
        lambda: np.lib.stride_tricks.as_strided(a[:1], shape=(len(a),), strides=(0,)) if len(a) else a,
        lambda: np.stack([a, a], axis=1)[:, 0], lambda: np.lib.stride_tricks.as_strided(a, writeable=False),
        lambda: np.frombuffer(b"\0" + a.tobytes(), dtype=np.float64, offset=1),
        lambda: a.view(np.recarray), lambda: np.ma.masked_invalid(a), lambda: memoryview(a),
        lambda: np.asfortranarray(a), lambda: np.empty((0,), dtype=np.float64)[::-1],
        lambda: a.astype(np.longdouble), lambda: a.astype(np.float16), lambda: weird_type_instance(fdp),
        lambda: np.empty((len(a), 0)), lambda: a.view([("x", "<f8")]),
    ]
    return fdp.PickValueInList(variants)()


def batch_args(fdp, case):
    n = fdp.ConsumeIntInRange(0, 40)
    full = column_values(fdp, case, n)
    cols = []
    for name in case.columns:
        if name == "timestamp":  # int64 seconds, forward mostly, now and then back or anywhere
            steps = [fdp.ConsumeIntInRange(-7200, 7200) if fdp.ConsumeIntInRange(0, 7) else fdp.ConsumeInt(8)
                     for _ in range(n)]
            a = np.array(np.cumsum(steps, dtype=np.int64) if steps else [], dtype=np.int64)
        else:  # a pair reads the close as a and the open as b
            at = {"prices": 3, "a": 3, "b": 0}.get(name)
            a = np.ascontiguousarray(full[:, FIELDS.index(name) if at is None else at])
        if fdp.ConsumeIntInRange(0, 15) == 0:
            a = a[:max(0, n - fdp.ConsumeIntInRange(0, 2))] if fdp.ConsumeBool() else np.append(a, 1.0)
        cols.append(shape_column(fdp, a))
    return cols


def call_form(fdp, names, values):
    """Positional, keyword or mixed, sometimes with a wrong count or name."""
    kind = fdp.ConsumeIntInRange(0, 9)
    if kind <= 5:
        return list(values), {}
    if kind == 6:
        return [], dict(zip(names, values))
    if kind == 7:
        k = fdp.ConsumeIntInRange(0, len(values))
        return list(values[:k]), dict(zip(names[k:], values[k:]))
    if kind == 8:
        return list(values) + [1.0] * fdp.ConsumeIntInRange(1, 2), {}
    extra = fdp.PickValueInList(list(names) + ["bogus", "period"]) if names else "bogus"
    return list(values[:fdp.ConsumeIntInRange(0, len(values))]), {extra: 1}


def constructor_args(fdp, case):
    params = [p.partition("=") for p in case.signature.strip("()").split(", ") if p]
    values = []
    for name, _, default in params:
        kind = fdp.ConsumeIntInRange(0, 9)
        if default and kind == 0:
            break  # this one and the rest take their defaults
        if kind <= 5:  # a workable value
            values.append(fdp.ConsumeFloatInRange(0.0, 3.0) if "." in default else fdp.ConsumeIntInRange(1, 40))
        else:
            values.append(scalar(fdp))
    return call_form(fdp, [name for name, _, _ in params], values)


def same(a, b):
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        return type(a) is type(b) and a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()
    if isinstance(a, tuple):
        return isinstance(b, tuple) and len(a) == len(b) and all(map(same, a, b))
    if type(a) is float:
        return type(b) is float and struct.pack("<d", a) == struct.pack("<d", b)
    return type(a) is type(b) and a == b


# Calls into the module by outcome, written every STATS_EVERY inputs to the
# file named by KESTOV_FUZZ_STATS (libFuzzer ends the process without
# running Python's exit handlers).
STATS = collections.Counter()
STATS_EVERY = 1000


def invoke(obj, op):
    TARGET[0] = BYSTANDER if isinstance(obj, type) else obj
    STATS["calls"] += 1
    try:
        return True, op(obj)
    except BaseException as e:  # noqa: B902 - the oracle judges it
        if not allowed(e):
            raise Finding(f"{type(e).__name__} left the call: {e!r}") from e
        STATS[type(e).__name__] += 1
        return False, e
    finally:
        TARGET[0] = None


def replay_rows(case, twin, cols, error):
    """Feeds the twin, through update, the rows a failed candle batch fed."""
    n = len(cols[0])
    full = dict.fromkeys(FIELDS, 0.0)
    for i in range(n):
        for name, col in zip(case.columns, cols):
            full[name] = np.asarray(col)[i].item()  # a timestamp stays an exact int
        row = case.row(tuple(full[f] for f in FIELDS[:5]) + (int(full.get("timestamp", 0)),))
        ok, got = invoke(twin, lambda t: t.update(row))
        if not ok:
            if str(got) != str(error):
                raise Finding(f"batch failed with {error!r} but its rows fail with {got!r}")
            return
    raise Finding(f"batch failed with {error!r} but every row is valid")


def operations(fdp, case):
    kind = fdp.ConsumeIntInRange(0, 20)
    if kind <= 7:
        names = [case.arg]
        args, kwargs = call_form(fdp, names, [value_arg(fdp, case)])
        return "update", lambda o: o.update(*args, **kwargs), None
    if kind <= 11:
        cols = batch_args(fdp, case)
        args, kwargs = call_form(fdp, list(case.columns), cols)
        return "batch", lambda o: o.batch(*args, **kwargs), cols
    if kind == 12:
        return "reset", lambda o: o.reset(), None
    if kind == 13:
        return "read", lambda o: (o.is_ready(), o.warmup_period()), None
    if kind == 14:
        props = [n for n in ("value", "period", "periods", "alpha", "multiplier") if hasattr(case.cls, n)]
        return "read", lambda o: tuple(getattr(o, p) for p in props), None
    if kind == 15:
        return "repr", repr, None
    if kind == 16:
        bad, arg = fdp.PickValueInList(["reset", "is_ready", "warmup_period"]), scalar(fdp)
        return "bad", lambda o: getattr(o, bad)(arg), None
    if kind == 17:  # another class's method or property on this object
        other = fdp.PickValueInList([c for c in CASES if c is not case]).cls
        name = fdp.PickValueInList(sorted(n for n in vars(other) if not n.startswith("__")))
        arg = value_arg(fdp, case)
        return "foreign", lambda o: vars(other)[name].__get__(o, type(o))(arg) if callable(
            getattr(other, name)) else vars(other)[name].__get__(o, type(o)), None
    return "update", (lambda x: lambda o: o.update(x))(value_arg(fdp, case)), None


# What a restore may raise: a refusal of the bytes or of their type, or the
# constructor's refusal of the configuration they hold.
RESTORE_ERRORS = (ValueError, TypeError, MemoryError, OverflowError)
WORDS = [0, 1, 2, 3, 2**32, 2**63, 2**64 - 1] + [struct.unpack("<Q", struct.pack("<d", x))[0] for x in
                                                (-0.0, math.nan, math.inf, -math.inf, 1e300, 5e-324)]


def mutated(fdp, good, int_slots):
    """good with a few edits, half of them among the fields past the configuration."""
    data = bytearray(good)
    config_at = 7 + good[6]
    fields_at = config_at + 8 * len(int_slots)
    for _ in range(fdp.ConsumeIntInRange(1, 4)):
        i = fdp.ConsumeIntInRange(0 if fdp.ConsumeBool() else min(fields_at, len(data)), len(data))
        kind = fdp.ConsumeIntInRange(0, 7)
        if kind == 0 and i < len(data):
            data[i] = fdp.ConsumeIntInRange(0, 255)
        elif kind == 1 and i < len(data):
            data[i] ^= 1 << fdp.ConsumeIntInRange(0, 7)
        elif kind == 2:
            del data[i:i + fdp.ConsumeIntInRange(1, 16)]
        elif kind == 3:
            data[i:i] = fdp.ConsumeBytes(fdp.ConsumeIntInRange(1, 16))
        elif kind == 4:
            del data[i:]
        elif kind == 5:
            data[i:i + 8] = struct.pack("<Q", fdp.PickValueInList(WORDS))
        elif kind == 6 and i + 8 <= len(data):  # a count or an exponent one off
            word = struct.unpack_from("<Q", data, i)[0]
            struct.pack_into("<Q", data, i, (word + fdp.PickValueInList([1, -1])) % 2**64)
        elif i + 8 <= len(data):  # a value repeated: a buffer one longer than its count
            data[i:i] = data[i:i + 8]
    # Periods moderate or beyond any buffer, as elsewhere in this fuzzer: one
    # in between would be a real reservation of gigabytes. The configuration
    # is only read after a header that matches, so it is checked only then.
    if data[:config_at] == good[:config_at]:
        for k, is_int in enumerate(int_slots):
            at = config_at + 8 * k
            if is_int and len(data) >= at + 8 and 2**16 < struct.unpack_from("<Q", data, at)[0] < 2**60:
                data[at:at + 8] = good[at:at + 8]
    return bytes(data)


class Forged:
    """Pickles as an indicator with the given configuration and state bytes."""

    def __init__(self, reduced):
        self.reduced = reduced

    def __reduce__(self):
        return self.reduced


def restore_outcome(call):
    STATS["calls"] += 1
    try:
        return True, call()
    except RESTORE_ERRORS as e:
        STATS[type(e).__name__] += 1
        return False, e
    except BaseException as e:  # noqa: B902 - the oracle judges it
        raise Finding(f"{type(e).__name__} left a restore: {e!r}") from e


def restore(fdp, case, obj, twin):
    """Edited state bytes through __setstate__ on obj (and on twin when accepted) and through pickle.loads."""
    config, good = obj.__reduce__()[1:]
    kind = fdp.ConsumeIntInRange(0, 15)
    data = mutated(fdp, good, [isinstance(a, int) for a in config])
    if kind == 0:
        data = bytearray(data)
    elif kind == 1:
        data = fdp.PickValueInList([None, 3, "state", memoryview(data), [data], data.hex()])
    STATS["restore attempts"] += 1
    ok, result = restore_outcome(lambda: obj.__setstate__(data))
    if not ok:
        if obj.__reduce__()[2] != good:
            raise Finding(f"a refused __setstate__ ({result!r}) changed the state")
    else:
        STATS["restores loaded"] += 1
        if obj.__reduce__()[2] != bytes(data):
            raise Finding("an accepted state does not save back as the bytes it came from")
        ok2, result2 = restore_outcome(lambda: twin.__setstate__(data))
        if not ok2:
            raise Finding(f"a state the object accepted was refused by its twin: {result2!r}")
    if not isinstance(data, (bytes, bytearray)):
        return
    # The same bytes inside a pickle: built from the configuration, then restored.
    blob = pickle.dumps(Forged((type(obj), config, bytes(data))), fdp.ConsumeIntInRange(0, pickle.HIGHEST_PROTOCOL))
    STATS["pickle restore attempts"] += 1
    ok2, loaded = restore_outcome(lambda: pickle.loads(blob))
    if ok2 != ok or (not ok and (type(loaded), str(loaded)) != (type(result), str(result))):
        raise Finding(f"pickle.loads gives {loaded!r} where __setstate__ gave {result!r}")
    if not ok:
        return
    STATS["pickle restores loaded"] += 1
    if type(loaded) is not type(obj) or loaded.__reduce__()[2] != obj.__reduce__()[2]:
        raise Finding("pickle.loads and __setstate__ of the same bytes give different states")
    for x in case.series(fdp.ConsumeIntInRange(0, 2**16), fdp.ConsumeIntInRange(0, 300)):
        STATS["restore updates"] += 3
        a, b, c = obj.update(x), twin.update(x), loaded.update(x)
        if not same(a, b) or not same(a, c):
            raise Finding(f"after a restore, update({x!r}) gives {a!r}, the twin {b!r}, the unpickled {c!r}")
    if loaded.__reduce__()[2] != obj.__reduce__()[2]:
        raise Finding("the unpickled object's state departs from the object's")


def test_one_input(data):
    STATS["inputs"] += 1
    if STATS["inputs"] % STATS_EVERY == 0 and os.environ.get("KESTOV_FUZZ_STATS"):
        with open(os.environ["KESTOV_FUZZ_STATS"], "w") as f:
            json.dump(STATS, f)
    fdp = atheris.FuzzedDataProvider(data)
    case = CASES[fdp.ConsumeIntInRange(0, len(CASES) - 1)]
    args, kwargs = constructor_args(fdp, case)
    ok, obj = invoke(case.cls, lambda cls: cls(*args, **kwargs))
    if not ok:
        return
    ok, twin = invoke(case.cls, lambda cls: cls(*args, **kwargs))
    if not ok:
        raise Finding(f"{case.name}(*{args!r}, **{kwargs!r}) built once, then failed: {twin!r}")
    if obj.warmup_period() > 500:
        return  # a long warm-up: the probe at the end would not reach any output
    for _ in range(fdp.ConsumeIntInRange(1, 24)):
        if fdp.ConsumeIntInRange(0, 7) == 0:
            restore(fdp, case, obj, twin)
            continue
        what, op, cols = operations(fdp, case)
        ok, result = invoke(obj, op)
        if ok:
            ok2, result2 = invoke(twin, op)
            if not ok2:
                raise Finding(f"{what} succeeded on the object but failed on its twin: {result2!r}")
            if what != "repr" or case.repr:
                if not same(result, result2):
                    raise Finding(f"{what} differs from the twin: {result!r} vs {result2!r}")
        elif what == "batch" and str(result).startswith("invalid candle"):
            replay_rows(case, twin, cols, result)
    # A restored state may carry a longer warm-up than the fuzzer lets a constructor have.
    for x in case.series(12345, min(obj.warmup_period() + 3, 600)):
        STATS["probe calls"] += 2
        a, b = obj.update(x), twin.update(x)
        if not same(a, b):
            raise Finding(f"after the calls, update({x!r}) gives {a!r} but the twin gives {b!r}")
    if obj.is_ready() != twin.is_ready():
        raise Finding("readiness differs from the twin")


def main():
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
