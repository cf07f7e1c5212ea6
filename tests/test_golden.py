"""Every output of every class, through update and through batch, against the golden vectors
(tests/data/golden.txt, written by tools/make_golden.py, whose docstring describes the format;
core/tests/golden_test.cpp holds the C++ core to the same file)."""

import pathlib

import numpy as np
import pytest

import kestov

GOLDEN = pathlib.Path(__file__).parent / "data" / "golden.txt"
COLUMNS = {"open": 0, "high": 1, "low": 2, "close": 3, "volume": 4, "timestamp": 5}  # of a candles (stamped) row
READERS = {  # batch columns, and the candle that batch builds from them
    "hlc": (("high", "low", "close"), lambda o, h, l, c, v: (c, h, l, c, 0.0, 0)),
    "hl": (("high", "low"), lambda o, h, l, c, v: (l, h, l, l, 0.0, 0)),
    "cv": (("close", "volume"), lambda o, h, l, c, v: (c, c, c, c, v, 0)),
    "hlcv": (("high", "low", "close", "volume"), lambda o, h, l, c, v: (c, h, l, c, v, 0)),
    "ohlc": (("open", "high", "low", "close"), lambda o, h, l, c, v: (o, h, l, c, 0.0, 0)),
    "hlcvt": (("high", "low", "close", "volume", "timestamp"), lambda o, h, l, c, v, t: (c, h, l, c, v, int(t))),
    "hlv": (("high", "low", "volume"), lambda o, h, l, c, v: (l, h, l, l, v, 0)),
}
NAN = np.uint64(0x7FF0_0000_0000_0000)
MAGNITUDE = np.uint64(0x7FFF_FFFF_FFFF_FFFF)


def hex_row(text):
    return [int(h, 16) for h in text.split(",")]


def load():
    series, cases = {}, []
    for line in GOLDEN.read_text().splitlines():
        if line.startswith("#"):
            continue
        kind, *fields = line.split("|")
        if kind == "series":
            name, rows = fields
            series[name] = np.array([hex_row(r) for r in rows.split()], dtype=np.uint64).view(np.float64)
        else:
            assert kind == "case", line[:40]
            cases.append(fields)
    return series, cases


SERIES, GOLDEN_CASES = load()


def config(text):
    pairs = [] if text == "-" else (p.split("=") for p in text.split(","))
    return {k: int(v) if v.lstrip("-").isdigit() else float(v) for k, v in pairs}


def expected(outputs):
    """The golden bits, one row of k values per row, and which rows have no output."""
    rows = outputs.split()
    k = len(hex_row(next(r for r in rows if r != "-")))
    none = np.array([r == "-" for r in rows])
    return np.array([[0] * k if r == "-" else hex_row(r) for r in rows], dtype=np.uint64), none


def same(want, got):
    """Equal bits, or both NaN: IEEE 754 leaves a computed NaN's sign and payload to the processor."""
    is_nan = lambda b: (b & MAGNITUDE) > NAN  # noqa: E731
    return (want == got) | (is_nan(want) & is_nan(got))


@pytest.mark.parametrize("name, text, reader, outputs", GOLDEN_CASES,
                         ids=[f"{c[0]}({c[1]})" for c in GOLDEN_CASES])
def test_update_and_batch_give_the_golden_bits(name, text, reader, outputs):
    cls = getattr(kestov, name)
    want, none = expected(outputs)
    streamed, batched = cls(**config(text)), cls(**config(text))
    if reader == "prices":
        rows = SERIES["prices"][:, 0]
        updates = [streamed.update(x) for x in rows.tolist()]
        batch = batched.batch(rows)
    elif reader == "ab":
        rows = SERIES["pairs"]
        updates = [streamed.update(tuple(r)) for r in rows.tolist()]
        batch = batched.batch(np.ascontiguousarray(rows[:, 0]), np.ascontiguousarray(rows[:, 1]))
    else:
        columns, candle = READERS[reader]
        rows = SERIES["stamped" if reader == "hlcvt" else "candles"]
        updates = [streamed.update(candle(*r)) for r in rows.tolist()]
        batch = batched.batch(**{c: np.ascontiguousarray(rows[:, COLUMNS[c]], dtype=np.int64 if c == "timestamp"
                                                         else np.float64) for c in columns})
    assert len(updates) == len(want)

    # update: None exactly where the file says, and every value's bits.
    assert [u is None for u in updates] == none.tolist()
    got = np.array([[0.0] * want.shape[1] if u is None else u if isinstance(u, tuple) else (u,) for u in updates])
    got = got.view(np.uint64)
    bad = np.flatnonzero(~same(want, got).all(axis=1) & ~none)
    assert bad.size == 0, f"update: rows {bad[:5].tolist()} of {bad.size}"

    # batch: NaN rows where update gives None, the same bits elsewhere.
    assert np.isnan(batch.reshape(want.shape)[none]).all()
    got = batch.reshape(want.shape).view(np.uint64)
    bad = np.flatnonzero(~same(want, got).all(axis=1) & ~none)
    assert bad.size == 0, f"batch: rows {bad[:5].tolist()} of {bad.size}"


def test_every_class_has_golden_cases():
    classes = set(kestov.__all__[1:])
    assert len(classes) >= 47
    assert classes == {c[0] for c in GOLDEN_CASES}
