"""The classes of kestov._more against plain-Python references, bit for bit, and against TA-Lib after warm-up."""

import math
import pathlib

import numpy as np
import pytest

from classes import CASES, awkward, bits

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


# class name -> reference over a list of inputs, given the case's constructor arguments
REFERENCES = {
    "Momentum": lambda inputs, kw: momentum_ref(inputs, kw.get("period", 10)),
    "TrueRange": lambda inputs, kw: true_range_ref(inputs),
}
MORE = [c for c in CASES if c.module == "_more"]


def test_every_new_class_has_a_reference():
    assert sorted(REFERENCES) == sorted(c.name for c in MORE)


@pytest.mark.parametrize("case", MORE, ids=[c.name for c in MORE])
@pytest.mark.parametrize("config", ["table", "defaults", "tiny"])
def test_matches_reference_bit_for_bit(case, config):
    kwargs = {"table": case.kwargs, "defaults": {}, "tiny": {k: 1 for k in case.kwargs}}[config]
    obj = case.cls(**kwargs)
    inputs = awkward(case, 17, 3000)
    got = [obj.update(x) for x in inputs]
    expected = REFERENCES[case.name](inputs, kwargs)
    assert [bits(g) for g in got] == [bits(e) for e in expected]


# -- TA-Lib on the bundled sample ----------------------------------------------------

TALIB = {  # class name -> (constructor arguments, TA-Lib call on the sample's columns)
    "Momentum": ({"period": 10}, lambda t, d: t.MOM(d["close"], 10)),
    "TrueRange": ({}, lambda t, d: t.TRANGE(d["high"], d["low"], d["close"])),
}


def sample():
    data = np.genfromtxt(SAMPLE, delimiter=",", names=True, dtype=None, encoding="utf-8")
    return {name.lower(): np.ascontiguousarray(data[name], dtype=np.float64)
            for name in data.dtype.names if name.lower() in ("open", "high", "low", "close", "volume")}


@pytest.mark.parametrize("name", sorted(TALIB))
def test_agrees_with_talib_after_warm_up(name):
    talib = pytest.importorskip("talib")
    case = next(c for c in MORE if c.name == name)
    kwargs, call = TALIB[name]
    d = sample()
    ours = case.cls(**kwargs).batch(*[d["close" if c == "prices" else c] for c in case.columns])
    theirs = np.asarray(call(talib, d))
    rows = slice(300, None)
    assert np.array_equal(np.isnan(ours[rows]), np.isnan(theirs[rows]))
    scale = np.nanmax(np.abs(ours[rows]))
    assert np.nanmax(np.abs(ours[rows] - theirs[rows])) <= 1e-12 * scale
