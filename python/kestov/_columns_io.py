"""Reading input columns, from whatever holds them, as the float64 arrays batch takes.

kestov.pandas and kestov.polars both read through here, so a column reads
the same way whichever adapter is given it: a NumPy array, a pandas Series
(NumPy- or Arrow-backed), a polars Series, a pyarrow Array or ChunkedArray;
frames are pandas and polars DataFrames and pyarrow Tables and RecordBatches.

A float64 column in one piece and without nulls is handed to batch in
place, read-only: batch only reads it, and a copy of a large column costs as
much as the indicator itself. Anything else (another dtype, several Arrow
chunks) is converted once into a new array. A null is refused with the
column and the row: batch has no "missing" besides NaN, and NaN means
something to every indicator (a price to skip, or an invalid candle), so a
null is not turned into one behind the caller's back.

pandas, polars and pyarrow are never imported here: an object of theirs can
only exist once its library is loaded, so sys.modules says which it can be.
"""

from __future__ import annotations

import sys
from typing import Any, Callable, List, Optional, Sequence, Tuple

import numpy as np

__all__ = ["find_column", "is_arrow", "read_float64", "read_inputs"]


def find_column(labels: Sequence[object], wanted: str, reader: str) -> int:
    """Position of the column named `wanted`, case-insensitively and ignoring surrounding spaces."""
    hits = [i for i, c in enumerate(labels) if isinstance(c, str) and c.strip().lower() == wanted]
    if not hits:
        raise ValueError(f"no {wanted!r} column (needed by {reader})")
    if len(hits) > 1:
        raise ValueError(f"column {wanted!r} appears more than once")
    return hits[0]


def is_arrow(data: object) -> bool:
    pa = sys.modules.get("pyarrow")
    return pa is not None and isinstance(data, (pa.Array, pa.ChunkedArray, pa.Table, pa.RecordBatch))


def read_float64(column: Any, label: object, *, index: Any = None, null_as_nan: bool = False) -> np.ndarray:
    """`column` as a C-contiguous float64 array: in place when it can be, otherwise one new array.

    A null raises ValueError naming `label` and the row (and `index`'s label
    of that row, when given). `null_as_nan` reads nulls as NaN instead, for
    callers to whom NaN means "no bar here" (kestov.pandas.panel).
    """
    pd, pl, pa = (sys.modules.get(m) for m in ("pandas", "polars", "pyarrow"))
    if isinstance(column, np.ndarray):
        return _from_numpy(column, label)
    if pa is not None and isinstance(column, (pa.Array, pa.ChunkedArray)):
        return _from_arrow(pa, column, label, index, null_as_nan)
    if pl is not None and isinstance(column, pl.Series):
        return _from_polars(pl, column, label, index, null_as_nan)
    if pd is not None and isinstance(column, pd.Series):
        return _from_pandas(pd, column, label, null_as_nan)
    raise TypeError(f"column {label!r} is a {type(column).__name__}, not a column kestov can read")


def read_inputs(data: Any, needed: Tuple[str, ...], reader: str) -> List[np.ndarray]:
    """The arrays `reader`'s batch takes, in its order: a frame's columns by name, or a series as the close column."""
    one = _series(data)
    if one is not None:
        column, label, index = one
        if needed != ("close",):
            raise TypeError(f"{reader} reads {', '.join(needed)}: pass a DataFrame with those columns")
        return [read_float64(column, label, index=index)]
    frame = _frame(data)
    if frame is None:
        raise TypeError(f"expected a Series or DataFrame, got {type(data).__name__}")
    labels, get, index = frame
    arrays = []
    for wanted in needed:
        at = find_column(labels, wanted, reader)
        arrays.append(read_float64(get(at), labels[at], index=index))
    return arrays


def _series(data: Any) -> Optional[Tuple[Any, object, Any]]:
    pd, pl, pa = (sys.modules.get(m) for m in ("pandas", "polars", "pyarrow"))
    if pd is not None and isinstance(data, pd.Series):
        return data, _name_or_close(data.name), data.index
    if pl is not None and isinstance(data, pl.Series):
        return data, _name_or_close(data.name), None
    if pa is not None and isinstance(data, (pa.Array, pa.ChunkedArray)):
        return data, "close", None
    return None


def _frame(data: Any) -> Optional[Tuple[list, Callable[[int], Any], Any]]:
    pd, pl, pa = (sys.modules.get(m) for m in ("pandas", "polars", "pyarrow"))
    if pd is not None and isinstance(data, pd.DataFrame):
        return list(data.columns), lambda i: data.iloc[:, i], data.index
    if pl is not None and isinstance(data, pl.DataFrame):
        return data.columns, data.to_series, None
    if pa is not None and isinstance(data, (pa.Table, pa.RecordBatch)):
        return data.column_names, data.column, None
    return None


def _name_or_close(name: object) -> object:
    return "close" if name is None or name == "" else name


def _null_error(label: object, row: int, index: Any) -> ValueError:
    where = f"row {row}"
    if index is not None and index[row] != row:
        where += f" (index {index[row]})"
    return ValueError(f"column {label!r} has a null at {where}: drop or fill the missing rows first")


def _from_numpy(values: np.ndarray, label: object) -> np.ndarray:
    if values.dtype.kind not in "biuf":
        raise TypeError(f"column {label!r} cannot be read as float64: it holds {values.dtype}")
    return np.ascontiguousarray(values, dtype=np.float64)


def _from_pandas(pd: Any, column: Any, label: object, null_as_nan: bool) -> np.ndarray:
    arrow_dtype = getattr(pd, "ArrowDtype", None)
    if arrow_dtype is not None and isinstance(column.dtype, arrow_dtype):
        # the Arrow chunks behind the column, so the in-place rule and the null check are Arrow's
        return _from_arrow(sys.modules["pyarrow"], column.array.__arrow_array__(), label, column.index, null_as_nan)
    if isinstance(column.dtype, np.dtype) and column.dtype == np.float64:
        return np.ascontiguousarray(column.to_numpy())
    # pandas' own nullable dtypes (Float64, Int64) have always read NA as NaN here, as docs/pandas.md says
    try:
        values = column.to_numpy(dtype=np.float64, na_value=np.nan)
    except (TypeError, ValueError) as exc:
        raise TypeError(f"column {label!r} cannot be read as float64: {exc}") from None
    return np.ascontiguousarray(values)


def _from_polars(pl: Any, column: Any, label: object, index: Any, null_as_nan: bool) -> np.ndarray:
    if column.dtype != pl.Float64:
        # polars casts strings to numbers when asked; a column of text is a mistake, not prices
        if not (column.dtype.is_numeric() or column.dtype == pl.Boolean):
            raise TypeError(f"column {label!r} cannot be read as float64: it holds {column.dtype}")
        column = column.cast(pl.Float64)
    if column.null_count() and not null_as_nan:
        raise _null_error(label, int(column.is_null().arg_max()), index)
    # one chunk without nulls: a read-only view of polars' buffer; otherwise polars builds one new array
    return np.ascontiguousarray(column.to_numpy())


def _from_arrow(pa: Any, values: Any, label: object, index: Any, null_as_nan: bool) -> np.ndarray:
    if values.null_count and not null_as_nan:
        import pyarrow.compute as pc

        raise _null_error(label, pc.index(values.is_null(), True).as_py(), index)
    chunks = values.chunks if isinstance(values, pa.ChunkedArray) else [values]
    if len(chunks) == 1 and values.type == pa.float64() and not values.null_count:
        return chunks[0].to_numpy(zero_copy_only=True)
    # several chunks or another type: one new array, each chunk converted straight into its place
    out = np.empty(len(values), dtype=np.float64)
    at = 0
    for chunk in chunks:
        out[at:at + len(chunk)] = _arrow_numbers(pa, chunk, label)
        at += len(chunk)
    return out


def _arrow_numbers(pa: Any, chunk: Any, label: object) -> np.ndarray:
    kind = chunk.type
    if pa.types.is_floating(kind) or pa.types.is_integer(kind):
        # NumPy-compatible buffers: a view when there are no nulls, NaN for nulls otherwise
        return chunk.to_numpy(zero_copy_only=False)
    if pa.types.is_decimal(kind) or pa.types.is_boolean(kind):
        return chunk.cast(pa.float64()).to_numpy(zero_copy_only=False)
    raise TypeError(f"column {label!r} cannot be read as float64: it holds {kind}")
