from decimal import Decimal

import numpy as np
import pytest

from classes import FIELDS, FRAME_CASES, by_class, candles
from kestov import ATR, SMA

pa = pytest.importorskip("pyarrow")


@pytest.fixture(params=["pandas", "polars"])
def adapter(request):
    return pytest.importorskip(f"kestov.{request.param}")


class Spy:
    """Records the array batch is handed."""

    def batch(self, prices):
        self.seen = prices
        return np.zeros(len(prices))


def address(array):
    return array.__array_interface__["data"][0]


def first_chunk(column):
    return column.chunk(0) if isinstance(column, pa.ChunkedArray) else column


def test_one_float64_chunk_is_handed_to_batch_in_place(adapter):
    base = pa.array(np.arange(10.0))
    table = pa.table({"Close": pa.chunked_array([base.slice(4)])})
    for data, column in [(base, base), (base.slice(3), base.slice(3)),
                         (pa.chunked_array([base.slice(2, 5)]),) * 2, (table, table.column(0))]:
        spy, chunk = Spy(), first_chunk(column)
        adapter.batch(spy, data)
        assert address(spy.seen) == chunk.buffers()[1].address + 8 * chunk.offset
        assert spy.seen.tolist() == chunk.to_pylist()


def test_arrow_backed_pandas_column_is_read_in_place_and_a_null_named_by_row_and_index():
    pd = pytest.importorskip("pandas")
    kpd = pytest.importorskip("kestov.pandas")
    frame = pd.DataFrame({"close": pd.Series(np.arange(8.0), dtype="float64[pyarrow]")}).iloc[2:]
    chunk, spy = frame["close"].array.__arrow_array__().chunk(0), Spy()
    kpd.batch(spy, frame)
    assert address(spy.seen) == chunk.buffers()[1].address + 8 * chunk.offset
    assert spy.seen.tolist() == chunk.to_pylist()
    close = pd.Series([1.0, None, 3.0], dtype="float64[pyarrow]", index=pd.date_range("2024-01-01", periods=3))
    with pytest.raises(ValueError, match=r"has a null at row 1 \(index 2024-01-02 00:00:00\)"):
        kpd.batch(SMA(2), close)


def test_other_arrow_columns_are_converted(adapter):
    for column in (pa.chunked_array([[1.0, 2.0], [3.0]]), pa.array([1, 2, 3], pa.int32()),
                   pa.array([0.5, 1.5, 2.5], pa.float32()), pa.array([Decimal("1.25"), Decimal("-2.5")])):
        spy = Spy()
        adapter.batch(spy, column)
        assert spy.seen.dtype == np.float64 and spy.seen.flags.c_contiguous
        assert spy.seen.tolist() == [float(x) for x in column.to_pylist()]
    with pytest.raises(TypeError, match="'close' cannot be read as float64: it holds string"):
        adapter.batch(Spy(), pa.array(["1.5"]))


def test_a_null_names_its_column_and_row(adapter):
    with pytest.raises(ValueError, match="column 'close' has a null at row 4"):
        adapter.batch(SMA(2), pa.chunked_array([[1.0, 2.0, 3.0], [4.0, None]]))
    table = pa.table({"High": [3.0, 4.0, 5.0], "low": [1.0, 2.0, None], "close": [2.0, 3.0, 4.0]})
    with pytest.raises(ValueError, match="column 'low' has a null at row 2"):
        adapter.batch(ATR(2), table)


def test_panel_still_reads_an_arrow_null_as_a_missing_bar():
    pd = pytest.importorskip("pandas")
    kpd = pytest.importorskip("kestov.pandas")
    long = pd.DataFrame({"time": [0, 1, 2] * 2, "symbol": list("AAABBB"),
                         "close": pd.array([1.0, 2.0, 3.0, 4.0, None, 6.0], dtype="float64[pyarrow]")})
    expected = kpd.panel(SMA(2), long.astype({"close": np.float64}))
    pd.testing.assert_frame_equal(kpd.panel(SMA(2), long), expected)


@by_class(FRAME_CASES)
@pytest.mark.parametrize("chunks", [1, 3])
def test_tables_give_the_compiled_batch(case, chunks, adapter):
    rows = candles(7, 60)
    names = {f: f.upper() for f in FIELDS[:5]}
    table = pa.table({names[f]: [r[FIELDS.index(f)] for r in rows] for f in names})
    table = pa.concat_tables([table.slice(i * 20, 20) for i in range(3)]) if chunks == 3 else table
    assert table.column(0).num_chunks == chunks
    columns = ["close" if c == "prices" else c for c in case.columns]
    expected = case.make().batch(*[np.array([r[FIELDS.index(c)] for r in rows]) for c in columns])
    got = adapter.batch(case.make(), table).to_numpy()
    assert got.shape == expected.shape and got.tobytes() == expected.tobytes()
