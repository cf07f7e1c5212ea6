"""Saved state: pickle, copy and __setstate__ give an indicator that continues bit for bit, and bad bytes are refused."""

import copy
import json
import pathlib
import pickle
import random
import struct

import pytest

from classes import CASES, as_rows, awkward, bits, by_class

STATES = pathlib.Path(__file__).parent / "data" / "states"


def state_of(obj):
    return obj.__reduce__()[2]


def feed(case, obj, point):
    """Bring obj to a named point of its life."""
    w = obj.warmup_period()
    if point == "fresh":
        return
    if point == "half warm":
        inputs = case.series(1, max(w // 2, 1))
    elif point == "at warm-up":
        inputs = case.series(1, w)
    elif point == "long after":
        inputs = case.series(1, w + 300)
    elif point == "after reset":
        for x in case.series(1, w + 5):
            obj.update(x)
        obj.reset()
        inputs = case.series(2, max(w - 1, 1))
    else:  # "awkward"
        inputs = awkward(case, 3, 3 * w + 40)
    for x in inputs:
        obj.update(x)


POINTS = ["fresh", "half warm", "at warm-up", "long after", "after reset", "awkward"]
WAYS = {
    **{f"pickle {p}": (lambda obj, p=p: pickle.loads(pickle.dumps(obj, protocol=p)))
       for p in range(pickle.HIGHEST_PROTOCOL + 1)},
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
    # a state restored over an object of another configuration takes that state's configuration too
    "setstate": lambda obj: (lambda fresh: (fresh.__setstate__(state_of(obj)), fresh)[1])(
        type(obj)(*[a + 1 if isinstance(a, int) else a * 2 for a in obj.__reduce__()[1]])),
}


def assert_continues_alike(case, obj, twin, seed):
    """Same state bytes, then the same outputs through update and through batch, and the same state after."""
    assert state_of(obj) == state_of(twin)
    assert (case.repr is None or repr(obj) == repr(twin)) and obj.is_ready() == twin.is_ready()
    inputs = awkward(case, seed, 2 * obj.warmup_period() + 20)
    half = len(inputs) // 2
    for x in inputs[:half]:
        assert bits(obj.update(x)) == bits(twin.update(x))
    rest = case.batch_args(inputs[half:])
    a, b = obj.batch(*rest), twin.batch(*rest)
    assert a.tobytes() == b.tobytes()
    assert state_of(obj) == state_of(twin)


@by_class(CASES)
@pytest.mark.parametrize("point", POINTS)
def test_restored_continues_bit_for_bit(case, point):
    for name, way in WAYS.items():
        obj = case.make()
        feed(case, obj, point)
        before = state_of(obj)
        twin = way(obj)
        assert type(twin) is type(obj) and twin is not obj, name
        # independent: moving the copy leaves the original where it was
        for x in case.series(7, 5):
            twin.update(x)
        assert state_of(obj) == before, name
        twin = way(obj)
        assert_continues_alike(case, obj, twin, seed=11)


# -- states written by earlier versions ------------------------------------------

MANIFEST = json.loads((STATES / "manifest.json").read_text())


@pytest.mark.parametrize("entry", MANIFEST, ids=[e["file"] for e in MANIFEST])
def test_committed_states_load_and_continue(entry):
    """A state file written by an earlier build loads and continues as the object it was saved from."""
    case = next(c for c in CASES if c.name == entry["class"])
    saved = (STATES / entry["file"]).read_bytes()
    obj = case.cls(**entry["kwargs"])
    obj.__setstate__(saved)
    original = case.cls(**entry["kwargs"])
    for x in awkward(case, entry["seed"], entry["rows"]):
        original.update(x)
    # While the format is version 1 the bytes are the same too.
    assert state_of(original) == saved
    assert_continues_alike(case, obj, original, seed=entry["seed"] + 1)


# -- bad bytes --------------------------------------------------------------------

@pytest.mark.parametrize("case", [c for c in CASES if c.kind == "value"], ids=lambda c: c.name)
def test_states_past_sums_that_overflow_save_and_load(case):
    """Steps between prices that stay finite while the sums of their sizes overflow: a state reached so
    saves, loads and goes on as the original."""
    obj = case.make()
    for x in [0.0, 1e308] * (obj.warmup_period() + 2):
        obj.update(x)
    assert_continues_alike(case, obj, pickle.loads(pickle.dumps(obj)), 4)


def warmed(case):
    obj = case.make()
    for x in awkward(case, 5, obj.warmup_period() + 30):
        obj.update(x)
    return obj


def assert_refused(obj, data, error=ValueError, match=None):
    before = state_of(obj)
    with pytest.raises(error, match=match):
        obj.__setstate__(data)
    assert state_of(obj) == before  # nothing half restored


@by_class(CASES)
def test_truncated_extended_and_foreign_states_are_refused(case):
    obj = warmed(case)
    good = state_of(obj)
    for n in range(len(good)):
        assert_refused(obj, good[:n], match=rf"^invalid {case.name} state at byte \d+: ")
    assert_refused(obj, good + b"\0", match="extra bytes after the state")
    assert_refused(obj, good[:4] + b"\2\0" + good[6:], match="newer kestov")
    assert_refused(obj, b"XSTV" + good[4:], match="not a kestov state")
    other = next(c for c in CASES if c.name != case.name and c.kind == case.kind)
    assert_refused(obj, state_of(warmed(other)), match=f"^cannot restore {case.name} from a saved {other.name} state$")
    for bad in (None, 3, "state", memoryview(good)):
        with pytest.raises(TypeError, match=f"^{case.name} state must be bytes, not "):
            obj.__setstate__(bad)
    obj.__setstate__(bytearray(good))
    assert state_of(obj) == good


def config_offset(data):
    return 7 + data[6]


def signed(cls, config, i):
    try:
        cls(*config[:i], -1, *config[i + 1:])
    except OverflowError:
        return False
    except ValueError:
        pass
    return True


@by_class([c for c in CASES if c.signature != "()"])
def test_configuration_refused_as_the_constructor_refuses_it(case):
    obj = warmed(case)
    good, config = state_of(obj), obj.__reduce__()[1]
    start = config_offset(good)
    for i, value in enumerate(config):
        for raw in (0, 2 ** 64 - 1, 2 ** 62, 0x7FF8 << 48):  # zero, huge, 2.0 or NaN as a float
            args = list(config)
            if isinstance(value, float):
                args[i] = struct.unpack("<d", struct.pack("<Q", raw))[0]
            else:  # a signed parameter (an offset) reads the same bytes as a negative number
                args[i] = struct.unpack("<q" if signed(type(obj), config, i) else "<Q", struct.pack("<Q", raw))[0]
            try:
                type(obj)(*args)
                continue  # a valid configuration
            except (ValueError, MemoryError, OverflowError) as e:
                expected, message = type(e), str(e)
            data = bytearray(good)
            data[start + 8 * i:start + 8 * i + 8] = struct.pack("<Q", raw)
            with pytest.raises(expected) as e:
                obj.__setstate__(bytes(data))
            assert str(e.value) == message and state_of(obj) == good


@by_class(CASES)
def test_mutated_states_are_refused_or_run(case):
    """Any byte changed: refused with ValueError and nothing changed, or a state that runs on like any other,
    batch and update alike."""
    rng, obj = random.Random(case.name), warmed(case)
    good = state_of(obj)
    start = config_offset(good) + 8 * len(obj.__reduce__()[1])  # past the configuration: no huge buffers
    for _ in range(300):
        data = bytearray(good)
        for _ in range(rng.randint(1, 3)):
            i = rng.randrange(start, len(data))
            data[i] = rng.choice([0, 1, 2, 0x7F, 0x80, 0xFF, data[i] ^ (1 << rng.randrange(8))])
        target = case.make()
        try:
            target.__setstate__(bytes(data))
        except ValueError as e:
            assert str(e).startswith(f"invalid {case.name} state at byte ")
            continue
        assert state_of(target) == bytes(data)  # a state that loads saves back as it was
        twin, inputs = copy.copy(target), awkward(case, 9, 2 * obj.warmup_period() + 5)
        outputs = as_rows([target.update(x) for x in inputs], case.width)
        assert twin.batch(*case.batch_args(inputs)).tobytes() == outputs.tobytes()
        assert state_of(twin) == state_of(target)
        assert pickle.loads(pickle.dumps(target)).__reduce__()[2] == state_of(target)


def header(name):
    return b"KSTV\1\0" + bytes([len(name)]) + name.encode()


def u64(*values):
    return struct.pack(f"<{len(values)}Q", *values)


def f64(*values):
    return struct.pack(f"<{len(values)}d", *values)


@pytest.mark.parametrize("cls, data, message", [
    # period 3: sum, then a window of four values
    ("SMA", header("SMA") + u64(3) + f64(6.0) + u64(4) + f64(1, 2, 3, 4), "a window holds more values than its length"),
    # period 3, seeded, but only two values in its seed
    ("EMA", header("EMA") + u64(3) + b"\1" + f64(2.0) + u64(2) + f64(1, 2), "EMA: seeded flag and seed count disagree"),
    # period 3: block position 4 in a block of three
    ("Donchian", header("Donchian") + u64(3) + u64(4) + b"\0" + f64(2, 1) * 4, "block position is outside it"),
    # period 2: blocks of three candles; five candles counted, but the block holds the first one only
    ("Aroon", header("Aroon") + u64(2) + u64(5) + (u64(1) + b"\0" + u64(0) + f64(1.0)) * 2,
     "Aroon: candle count and windows disagree"),
    # tails out of order: the tail at slot 1 worse than the one after it
    ("WilliamsR", header("WilliamsR") + u64(3) + u64(1) + b"\1" + f64(5, 1) + f64(2, 1) + f64(3, 1),
     "extremes are out of order"),
    ("RSI", header("RSI") + u64(2) + b"\1\0\0" + f64(1, 0, 0, 0) + u64(1) + f64(1) + u64(2) + f64(1, 1),
     "RSI: gains and losses disagree"),
    ("PSAR", header("PSAR") + f64(0.02, 0.02, 0.2) + b"\2", "a flag is neither 0 nor 1"),
    # period 2: a first average seeded beyond the largest double, and a second one fed by it
    ("DEMA", header("DEMA") + u64(2) + b"\1" + f64(float("inf")) + u64(2) + f64(1.5e308, 1.5e308)
     + b"\1" + f64(1.0) + u64(2) + f64(1, 1), "DEMA: second average fed by a first that is not finite"),
])
def test_inconsistent_states_are_refused(cls, data, message):
    case = next(c for c in CASES if c.name == cls)
    assert_refused(case.make(), data, match=message)


@by_class(CASES)
def test_reset_saves_as_a_new_object(case):
    """Nothing of the old series survives a reset, not even in the saved bytes."""
    obj = warmed(case)
    obj.reset()
    assert state_of(obj) == state_of(case.make())
