import copy

import numpy as np
import pytest

from classes import FIELDS, FRAME_CASES, by_class, candles, walk
from kestov import ATR, MACD, MFI, RSI
from kestov.columns import column_names

pl = pytest.importorskip("polars")
kp = pytest.importorskip("kestov.polars")

# column names as people write them
HEADERS = {"open": "Open", "high": " HIGH", "low": "low", "close": "Close", "volume": "VOLUME"}


def bars(seed, n):
    rows = candles(seed, n)
    return pl.DataFrame({HEADERS[f]: [r[FIELDS.index(f)] for r in rows] for f in HEADERS})


def long_frame():
    """Three symbols of different lengths, their rows interleaved as a feed delivers them."""
    parts = [bars(k, 60 - 9 * k).with_columns(symbol=pl.lit(s), t=pl.int_range(pl.len())) for k, s in enumerate("ABC")]
    return pl.concat(parts).sort("t", "symbol")


def arrays(case, df):
    return [df[HEADERS["close" if c == "prices" else c]].to_numpy() for c in case.columns]


def values(series):
    return series.struct.unnest().to_numpy() if series.dtype == pl.Struct else series.to_numpy()


def same(a, b):
    assert a.shape == b.shape and a.tobytes() == b.tobytes()


@by_class(FRAME_CASES)
def test_batch_is_the_compiled_batch(case):
    df = bars(11, 60)
    expected = case.make().batch(*arrays(case, df))
    for data in [df] + ([df["Close"]] if case.kind == "value" else []):
        got = kp.batch(case.make(), data)
        same(got.to_numpy(), expected)
        if case.width:
            assert got.columns == list(column_names(case.name, case.width))
        else:
            assert got.name == case.name
            assert kp.batch(case.make(), data, name="mine").name == "mine"


def test_batch_continues_the_objects_state():
    df, obj = bars(12, 40), ATR(5)
    halves = pl.concat([kp.batch(obj, df.head(25)), kp.batch(obj, df.tail(15))])
    same(halves.to_numpy(), ATR(5).batch(df[" HIGH"].to_numpy(), df["low"].to_numpy(), df["Close"].to_numpy()))


@by_class(FRAME_CASES)
def test_expression_is_a_fresh_indicator_per_group(case):
    df, e = long_frame(), kp.expr(case.name, **case.kwargs)
    over = df.with_columns(e.over("symbol"))
    lazy = df.lazy().with_columns(e.over("symbol")).collect(engine="streaming")
    agg = df.group_by("symbol").agg(e)
    if case.width:
        assert over[case.name].struct.fields == list(column_names(case.name, case.width))
    for symbol in "ABC":
        expected = case.make().batch(*arrays(case, df.filter(symbol=symbol)))
        same(values(over.filter(symbol=symbol)[case.name]), expected)
        same(values(lazy.filter(symbol=symbol)[case.name]), expected)
        same(values(agg.filter(symbol=symbol)[case.name].explode()), expected)


def test_name_class_and_object_templates():
    df, warm = long_frame(), MACD(fast=3, slow=6, signal=4)
    for x in walk(5, 10):
        warm.update(x)
    kept, from_object = copy.copy(warm), kp.expr(warm)
    warm.update(1e6)  # the expression holds its own copy
    by_name = df.with_columns(kp.expr("MACD", fast=3, slow=6, signal=4).over("symbol"))
    assert by_name.equals(df.with_columns(kp.expr(MACD, fast=3, slow=6, signal=4).over("symbol")))
    got = df.with_columns(from_object.over("symbol"))
    for symbol in "ABC":
        rows = df.filter(symbol=symbol)["Close"].to_numpy()
        same(values(got.filter(symbol=symbol)["MACD"]), copy.copy(kept).batch(rows))


def test_refusals():
    df = bars(3, 10)
    with pytest.raises(ValueError, match=r"no 'volume' column \(needed by MFI\)"):
        df.drop("VOLUME").with_columns(kp.expr("MFI"))
    with pytest.raises(ValueError, match=r"no 'close' column \(needed by RSI\)"):
        df.select("Open").with_columns(kp.expr(RSI))
    with pytest.raises(ValueError, match="no 'volume' column"):
        kp.batch(MFI(), df.drop("VOLUME"))
    with pytest.raises(ValueError, match="no indicator class named 'Rsi'"):
        kp.expr("Rsi")
    with pytest.raises(TypeError, match="configured already"):
        kp.expr(RSI(), period=3)
    with pytest.raises(TypeError, match="LazyFrame"):
        kp.batch(RSI(), df.lazy())
    with pytest.raises(TypeError, match="ATR reads high, low, close"):
        kp.batch(ATR(), df["Close"])
    with pytest.raises(TypeError, match="'close' cannot be read as float64: it holds String"):
        kp.batch(RSI(), pl.Series("close", ["1.5", "2.5"]))


def test_nulls_are_errors_in_batch_and_holes_in_expressions():
    row = pl.int_range(pl.len())
    df = bars(4, 30).with_columns(pl.when(row == 7).then(None).otherwise(pl.col(HEADERS[c])).name.keep()
                                  for c in ("high", "low", "close"))
    with pytest.raises(ValueError, match="column ' HIGH' has a null at row 7"):
        kp.batch(ATR(3), df)
    got = df.with_columns(kp.expr("ATR", period=3))["ATR"]
    assert got.is_null().arg_true().to_list() == [7]
    rest = df.filter(row != 7)
    same(got.drop_nulls().to_numpy(), ATR(3).batch(*[rest[HEADERS[c]].to_numpy() for c in ("high", "low", "close")]))
    partial = df.with_columns(pl.col(" HIGH", "Close").fill_null(50.0))
    with pytest.raises(ValueError, match="'low' is null at row 7 of the rows it was given"):
        partial.with_columns(kp.expr("ATR", period=3))


class Spy:
    """Records the arrays batch is handed."""

    def batch(self, high, low, close):
        self.seen = (high, low, close)
        return np.zeros(len(close))


def test_float64_in_one_chunk_is_read_in_place_the_rest_converted():
    df, spy = bars(5, 20), Spy()
    kp.batch(spy, df)
    for array, column in zip(spy.seen, (" HIGH", "low", "Close")):
        assert np.shares_memory(array, df[column].to_numpy())
    chunked = pl.concat([pl.Series("close", [1.0]), pl.Series("close", [2.0, 3.0])], rechunk=False)
    mixed = pl.DataFrame([pl.Series("high", [1, 2, 3]), pl.Series("low", [0.5, 1.5, 2.5], dtype=pl.Float32), chunked])
    assert mixed["close"].n_chunks() == 2
    kp.batch(spy, mixed)
    for array, column in zip(spy.seen, mixed.columns):
        assert array.dtype == np.float64 and array.flags.c_contiguous
        assert array.tolist() == mixed[column].cast(pl.Float64).to_list()
