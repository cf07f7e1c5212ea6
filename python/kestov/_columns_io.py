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

import copy
import inspect
import sys
from typing import Any, Callable, List, Optional, Sequence, Tuple

import numpy as np

__all__ = ["empty_inputs", "find_column", "indicator_class", "is_arrow", "nanoseconds", "read_float64", "read_inputs",
           "read_int64", "refused_row"]

_UNITS = {"ns": 1, "us": 10**3, "ms": 10**6, "s": 10**9, "m": 60 * 10**9, "min": 60 * 10**9, "h": 3600 * 10**9,
          "d": 86400 * 10**9, "w": 7 * 86400 * 10**9}


def find_column(labels: Sequence[object], wanted: str, reader: str) -> int:
    """Position of the column named `wanted`, case-insensitively and ignoring surrounding spaces."""
    hits = [i for i, c in enumerate(labels) if isinstance(c, str) and c.strip().lower() == wanted]
    if not hits:
        raise ValueError(f"no {wanted!r} column (needed by {reader})")
    if len(hits) > 1:
        raise ValueError(f"column {wanted!r} appears more than once")
    return hits[0]


def indicator_class(indicator: object) -> type:
    """The class of an indicator object; a TypeError that shows the call to make when given the class itself."""
    if isinstance(indicator, type):
        name = indicator.__name__
        try:
            required = [p for p in inspect.signature(indicator).parameters.values() if p.default is p.empty]
        except (TypeError, ValueError):
            required = []
        example = f"{name}({', '.join(['20'] * len(required))})"
        raise TypeError(f"pass an indicator object, such as {example}, not the class {name}")
    return type(indicator)


def refused_row(indicator: Any, columns: Sequence[np.ndarray]) -> int:
    """The first row that `indicator`, as it stands, refuses when batch is given `columns` (which it does
    refuse): found by halving, on copies, so `indicator` itself does not move."""
    low, high = 0, len(columns[0])  # rows [0, low) go through; [0, high) do not
    while high - low > 1:
        middle = (low + high) // 2
        try:
            copy.copy(indicator).batch(*(c[:middle] for c in columns))
            low = middle
        except ValueError:
            high = middle
    return high - 1


def empty_inputs(needed: Sequence[str]) -> List[np.ndarray]:
    """No rows of each column batch reads: int64 for a timestamp, float64 otherwise."""
    return [np.empty(0, dtype=np.int64 if c == "timestamp" else np.float64) for c in needed]


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
    """The arrays `reader`'s batch takes, in its order: a frame's columns by name, or a series as the close column.

    A pair of series (`a`, `b`) is the columns of those names, or else the
    frame's only two columns in their order. A `timestamp` is the column of
    that name, or else the frame's datetime index (pandas) or its only
    datetime column, as integer nanoseconds since the epoch (UTC).
    """
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
    positions = {}
    for wanted in needed:
        if wanted in ("a", "b") and _missing(labels, wanted):
            if len(labels) != 2 or not set(needed) >= {"a", "b"}:
                raise ValueError(f"no {wanted!r} column (needed by {reader}, which reads a pair of series: "
                                 f"name them 'a' and 'b', or pass a frame of just those two columns)")
            positions[wanted] = "ab".index(wanted)
        elif wanted == "timestamp" and _missing(labels, wanted):
            positions[wanted] = None
        else:
            positions[wanted] = find_column(labels, wanted, reader)
    arrays = []
    for wanted in needed:
        at = positions[wanted]
        if wanted == "timestamp":
            arrays.append(_timestamps(data, labels, get, index, at, reader))
        else:
            arrays.append(read_float64(get(at), labels[at], index=index))
    return arrays


def nanoseconds(span: Any, what: str = "session") -> int:
    """A length of time as whole nanoseconds: an int (taken as nanoseconds already), a datetime.timedelta, a
    pandas Timedelta, a NumPy timedelta64, or a string of a number and a unit ("1D", "8h", "90min", "1w")."""
    import datetime

    if isinstance(span, bool):
        raise TypeError(f"{what} must be a length of time, not a bool")
    if isinstance(span, np.timedelta64):  # before the integers: NumPy counts it among them
        return int(span.astype("timedelta64[ns]").astype(np.int64))
    if isinstance(span, (int, np.integer)):
        return int(span)
    if hasattr(span, "value") and hasattr(span, "to_timedelta64"):  # pandas Timedelta: exact to the nanosecond
        return int(span.value)
    if isinstance(span, datetime.timedelta):
        return ((span.days * 86400 + span.seconds) * 10**6 + span.microseconds) * 1000
    if isinstance(span, str):
        text = span.strip().lower()
        number = text.rstrip("abcdefghijklmnopqrstuvwxyz")
        unit = text[len(number):] or "ns"
        try:
            count = int(number) if number.lstrip("+-").isdigit() else None
        except ValueError:
            count = None
        if count is not None and unit in _UNITS:
            return count * _UNITS[unit]
        pd = sys.modules.get("pandas")
        if pd is not None:  # pandas reads more: "15h59min", "1 days 02:00:00"
            try:
                return int(pd.Timedelta(span).value)
            except ValueError:
                pass
        raise ValueError(f"{what} {span!r} is not a length of time such as '1d', '8h', '15min' or '30s'")
    raise TypeError(f"{what} must be an int of nanoseconds, a timedelta or a string such as '1d', "
                    f"not {type(span).__name__}")


def read_int64(column: Any, label: object) -> np.ndarray:
    """Timestamps as a C-contiguous int64 array: integers as they are, datetimes as nanoseconds since the epoch
    (UTC). A null or NaT raises ValueError naming `label` and the row."""
    pd, pl, pa = (sys.modules.get(m) for m in ("pandas", "polars", "pyarrow"))
    if pd is not None and isinstance(column, (pd.Series, pd.Index)):
        if pd.api.types.is_datetime64_any_dtype(column.dtype):
            stamps = pd.DatetimeIndex(column)
            if stamps.hasnans:
                raise _null_error(label, int(np.flatnonzero(stamps.isna())[0]), None)
            stamps = stamps.as_unit("ns") if hasattr(stamps, "as_unit") else stamps
            return np.ascontiguousarray(stamps.asi8, dtype=np.int64)
        column = column.to_numpy()
    if pl is not None and isinstance(column, pl.Series):
        if column.null_count():
            raise _null_error(label, int(column.is_null().arg_max()), None)
        if column.dtype == pl.Date:
            column = column.cast(pl.Datetime("ns"))
        if isinstance(column.dtype, pl.Datetime):
            column = column.dt.cast_time_unit("ns").to_physical()
        if not column.dtype.is_integer():
            raise TypeError(f"column {label!r} holds {column.dtype}: timestamps are integers or datetimes")
        column = column.to_numpy()
    if pa is not None and isinstance(column, (pa.Array, pa.ChunkedArray)):
        if column.null_count:
            import pyarrow.compute as pc

            raise _null_error(label, pc.index(column.is_null(), True).as_py(), None)
        if pa.types.is_timestamp(column.type) or pa.types.is_date(column.type):
            column = column.cast(pa.timestamp("ns")).cast(pa.int64())
        column = column.to_numpy()
    if not isinstance(column, np.ndarray):
        raise TypeError(f"column {label!r} is a {type(column).__name__}, not a column kestov can read")
    if column.dtype.kind == "M":
        if np.isnat(column).any():
            raise _null_error(label, int(np.flatnonzero(np.isnat(column))[0]), None)
        return np.ascontiguousarray(column.astype("datetime64[ns]").view(np.int64))
    if column.dtype.kind not in "iu" or (column.dtype.kind == "u" and column.dtype.itemsize == 8
                                         and column.size and column.max() > np.iinfo(np.int64).max):
        raise TypeError(f"column {label!r} holds {column.dtype}: timestamps are integers or datetimes")
    return np.ascontiguousarray(column, dtype=np.int64)


def _missing(labels: Sequence[object], wanted: str) -> bool:
    return not any(isinstance(c, str) and c.strip().lower() == wanted for c in labels)


def _timestamps(data: Any, labels: Sequence[object], get: Callable[[int], Any], index: Any, at: Optional[int],
                reader: str) -> np.ndarray:
    if at is not None:
        return read_int64(get(at), labels[at])
    pd, pl = sys.modules.get("pandas"), sys.modules.get("polars")
    if pd is not None and isinstance(index, pd.DatetimeIndex):
        return read_int64(index, "index")
    dated = [i for i in range(len(labels)) if _is_datetime(get(i))]
    if len(dated) != 1:
        where = "a DatetimeIndex or " if pd is not None and isinstance(data, pd.DataFrame) else ""
        raise ValueError(f"no 'timestamp' column (needed by {reader}): pass {where}a 'timestamp' column"
                         + (f", or just one datetime column ({len(dated)} found)" if dated else ""))
    return read_int64(get(dated[0]), labels[dated[0]])


def _is_datetime(column: Any) -> bool:
    pd, pl, pa = (sys.modules.get(m) for m in ("pandas", "polars", "pyarrow"))
    if pd is not None and isinstance(column, pd.Series):
        return bool(pd.api.types.is_datetime64_any_dtype(column.dtype))
    if pl is not None and isinstance(column, pl.Series):
        return isinstance(column.dtype, pl.Datetime) or column.dtype == pl.Date
    if pa is not None and isinstance(column, (pa.Array, pa.ChunkedArray)):
        return pa.types.is_timestamp(column.type) or pa.types.is_date(column.type)
    return False


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
