import numpy as np
import pytest

from classes import FIELDS, FRAME_CASES, by_class, candles
from kestov import ATR, MACD, MFI, RSI, SMA
from kestov.columns import column_names

pd = pytest.importorskip("pandas")
kpd = pytest.importorskip("kestov.pandas")

# column names as people write them, in no particular order
HEADERS = {"open": "Open", "high": " HIGH", "low": "low", "close": "Close", "volume": "VOLUME"}


def frame(n=80):
    rows = candles(11, n)
    data = {HEADERS[f]: [r[FIELDS.index(f)] for r in rows] for f in ("volume", "close", "low", "open", "high")}
    return pd.DataFrame(data, index=pd.date_range("2024-01-01", periods=n, freq="h", name="when"))


@by_class(FRAME_CASES)
def test_matches_batch_with_the_inputs_index(case):
    df = frame()
    columns = [c if c != "prices" else "close" for c in case.columns]
    expected = case.make().batch(*[df[HEADERS[c]].to_numpy() for c in columns])
    inputs = [df] + ([df[HEADERS["close"]]] if case.kind == "value" else [])
    for got in (kpd.batch(case.make(), data) for data in inputs):
        pd.testing.assert_index_equal(got.index, df.index)
        assert np.array_equal(got.to_numpy(), expected, equal_nan=True)
        if case.width:
            assert list(got.columns) == list(column_names(case.name, case.width))
        else:
            assert isinstance(got, pd.Series) and got.name == case.name


class Spy:
    """Records the arrays batch is handed."""

    def batch(self, high, low, close):
        self.seen = (high, low, close)
        return np.zeros(len(close))


def test_float64_columns_are_not_copied():
    df, spy = frame(), Spy()
    kpd.batch(spy, df)
    for array, column in zip(spy.seen, ("high", "low", "close")):
        assert np.shares_memory(array, df[HEADERS[column]].to_numpy())


def test_other_columns_are_converted_once():
    strided = pd.DataFrame(np.arange(30.0).reshape(10, 3), columns=["high", "low", "close"], copy=False)
    mixed = pd.DataFrame({"high": np.arange(10), "low": pd.array([0.5] * 9 + [None], dtype="Float64"),
                          "close": np.arange(10.0).astype(">f8")})
    for df in (strided, mixed):
        spy = Spy()
        kpd.batch(spy, df)
        for array, column in zip(spy.seen, ("high", "low", "close")):
            assert array.dtype == np.float64 and array.flags.c_contiguous
            assert np.array_equal(array, df[column].to_numpy(dtype=float, na_value=np.nan), equal_nan=True)


def test_refusals():
    df = frame(5)
    with pytest.raises(ValueError, match="no 'volume' column"):
        kpd.batch(MFI(), df.drop(columns="VOLUME"))
    with pytest.raises(ValueError, match="column 'close' appears more than once"):
        kpd.batch(RSI(), df.assign(close=1.0))
    with pytest.raises(TypeError, match="ATR reads high, low, close"):
        kpd.batch(ATR(), df["Close"])
    with pytest.raises(TypeError, match="column 'close' cannot be read as float64"):
        kpd.batch(RSI(), pd.Series(["a", "b"], name="close"))
    with pytest.raises(TypeError, match="Series or DataFrame"):
        kpd.batch(RSI(), [1.0, 2.0])
    with pytest.raises(TypeError, match=r"pass an indicator object, such as SMA\(20\), not the class SMA$"):
        kpd.batch(SMA, df)
    with pytest.raises(TypeError, match=r"such as MACD\(\), not the class MACD$"):
        kpd.panel(MACD, df)


@by_class([c for c in FRAME_CASES if c.kind == "candle"])
@pytest.mark.parametrize("bad", [0, 57])
def test_refused_row_is_named_and_the_rows_before_it_taken(case, bad):
    df = frame()
    df.iloc[bad, list(df.columns).index(HEADERS[case.columns[0]])] = np.nan
    indicator = case.make()
    with pytest.raises(ValueError) as refused:
        kpd.batch(indicator, df)
    plain = case.make()
    with pytest.raises(ValueError) as compiled:
        plain.batch(*[df[HEADERS[c]].to_numpy() for c in case.columns])
    assert str(refused.value) == f"{case.name}: row {bad} (index {df.index[bad]}): {compiled.value}"
    # left where batch leaves it: through the rows before the refused one
    before = case.make()
    before.batch(*[df[HEADERS[c]].to_numpy()[:bad] for c in case.columns])
    assert indicator.__reduce__() == before.__reduce__() == plain.__reduce__()


@by_class([c for c in FRAME_CASES if c.name in ("SMA", "MACD", "ATR", "MFI", "Aroon")])
def test_panel_of_a_long_frame_is_each_symbol_on_its_own(case):
    """Shuffled long rows, symbols listed late: each wide column is that symbol's own batch at its times."""
    rows = []
    for k, symbol in enumerate(("AAA", "BBB", "CCC")):
        f = frame(60 - 9 * k)
        f["symbol"] = symbol
        rows.append(f.reset_index())
    long = pd.concat(rows).sample(frac=1, random_state=4)
    got = kpd.panel(case.make(), long, time="when")
    for symbol, own in long.groupby("symbol"):
        expected = kpd.batch(case.make(), own.set_index("when").sort_index())
        column = got[symbol] if not case.width else got.xs(symbol, axis=1, level=1)
        column = column.dropna(how="all") if case.width else column.dropna()
        assert np.array_equal(column.to_numpy(), expected.dropna(how="all").to_numpy())
    # the same universe as wide frames gives the same result
    wide = {c: long.pivot(index="when", columns="symbol", values=HEADERS[c])
            for c in ("high", "low", "close", "volume")}
    pd.testing.assert_frame_equal(kpd.panel(case.make(), wide), got, check_names=False)


def test_panel_refuses_what_it_cannot_read():
    long = frame(10).reset_index().assign(symbol="A")
    with pytest.raises(ValueError, match="more than one bar"):
        kpd.panel(ATR(3), pd.concat([long, long]), time="when")
    with pytest.raises(TypeError, match="ATR reads high, low, close"):
        kpd.panel(ATR(3), long.pivot(index="when", columns="symbol", values="Close"))
    with pytest.raises(ValueError, match="no 'volume' frame"):
        kpd.panel(MFI(3), {"high": long, "low": long, "close": long})
