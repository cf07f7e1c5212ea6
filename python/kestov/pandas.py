"""Run any indicator's batch over pandas data.

    from kestov import MACD
    from kestov.pandas import batch

    frame = batch(MACD(), prices)       # Series in; DataFrame macd, signal, histogram out
    wide = panel(ATR(14), bars)         # a long frame of many symbols in; time by symbol out

Columns are found by name, case-insensitively: open, high, low, close, volume
(an indicator that reads prices reads close). A Series is taken as the close
column. The result has the input's index: a Series for single-output
indicators, a DataFrame with the output column names otherwise. pyarrow
Arrays and ChunkedArrays are read like a Series and Tables like a DataFrame
(kestov._columns_io says which columns are read in place).

Needs pandas (pip install 'kestov[pandas]'); the rest of kestov does not.
"""

from __future__ import annotations

import copy
from typing import TYPE_CHECKING, Any, Mapping, Sequence, Union

import numpy as np

try:
    import pandas as pd
except ImportError as exc:  # pragma: no cover - depends on the environment
    raise ImportError("kestov.pandas needs pandas: pip install 'kestov[pandas]'") from exc

from kestov._columns_io import (find_column, indicator_class, is_arrow, nanoseconds, read_float64, read_inputs,
                                read_int64, refused_row)
from kestov.columns import column_names, input_columns

if TYPE_CHECKING:
    import pyarrow as pa

    from kestov.typing import FloatArray

__all__ = ["batch", "panel", "session_vwap"]


def batch(indicator: object, data: Union[pd.Series, pd.DataFrame, "pa.Array", "pa.ChunkedArray", "pa.Table"], *,
          name: str | None = None) -> Union[pd.Series, pd.DataFrame]:
    """indicator.batch over the columns of data, indexed like data.

    The indicator's own state carries on exactly as with batch: the rows
    continue from where it stands and leave it advanced past the last one.
    A candle indicator stops with ValueError at the first invalid row,
    naming the row and its index label, and is left advanced through the
    rows before it. `name` names the result Series (default: the class
    name). pyarrow Arrays and ChunkedArrays read as a Series, Tables as a
    DataFrame, on a default index.
    """
    cls = indicator_class(indicator)
    label = cls.__name__ if name is None else name
    if not isinstance(data, (pd.Series, pd.DataFrame)) and not is_arrow(data):
        raise TypeError(f"expected a pandas Series or DataFrame (or a pyarrow Array, ChunkedArray or Table), "
                        f"got {type(data).__name__}")
    arrays = read_inputs(data, input_columns(cls), cls.__name__)
    framed = isinstance(data, (pd.Series, pd.DataFrame))
    before = copy.copy(indicator)  # to find the refused row, should there be one
    try:
        result = indicator.batch(*arrays)  # type: ignore[attr-defined]
    except ValueError as exc:
        raise _refused(before, arrays, data.index if framed else None, cls.__name__, exc) from None
    index = data.index if framed else pd.RangeIndex(len(result))
    # the result is a new array nobody else holds: wrap it, don't copy it
    if result.ndim == 1:
        return pd.Series(result, index=index, name=label, copy=False)
    return pd.DataFrame(result, index=index, columns=list(column_names(cls.__name__, result.shape[1])), copy=False)


def _refused(before: object, arrays: Sequence[np.ndarray], index: Any, reader: str, exc: ValueError) -> ValueError:
    """batch's refusal with the row it refused, and that row's index label, in front."""
    row = refused_row(before, arrays)
    where = f"row {row}"
    if index is not None and index[row] != row:
        where += f" (index {index[row]})"
    return ValueError(f"{reader}: {where}: {exc}")


def session_vwap(data: Union[pd.DataFrame, "pa.Table"], session: Any = "1d", offset: Any = 0, *,
                 name: str = "SessionVWAP") -> pd.Series:
    """VWAP restarted at every session of the frame's bars, indexed like the frame.

        vwap = kestov.pandas.session_vwap(bars, "1d")    # per-day VWAP of minute bars

    The timestamps are the frame's "timestamp" column, else its
    DatetimeIndex, else its only datetime column, in nanoseconds since the
    epoch (UTC; a zoned index is read in UTC). `session` and `offset` are
    lengths of time: a string such as "1d", "8h" or "15min", a Timedelta or
    timedelta, or an int of nanoseconds. A session starts where
    floor((timestamp - offset) / session) changes: with the defaults, at
    each midnight UTC; offset="-5h" starts days at midnight in UTC-5.
    """
    from kestov import SessionVWAP

    series = batch(SessionVWAP(nanoseconds(session), nanoseconds(offset, "offset")), data, name=name)
    assert isinstance(series, pd.Series)
    return series


def _column(frame: pd.DataFrame, wanted: str, reader: str) -> pd.Series:
    return frame.iloc[:, find_column(list(frame.columns), wanted, reader)]


def _float64(column: pd.Series, label: object) -> FloatArray:
    # a null in a long frame is a bar that is not there: the panel's hole, NaN
    return read_float64(column, label, null_as_nan=True)


def panel(indicator: object, data: Union[pd.DataFrame, Mapping[str, pd.DataFrame]], *, symbol: str = "symbol",
          time: str | None = "time", threads: int | None = None) -> pd.DataFrame:
    """A whole universe through one kestov.many.Panel, every symbol starting as a copy of `indicator`.

    `data` is either a long frame, one row per (symbol, time) bar, with a
    `symbol` column, a `time` column (None: the index) and the price columns;
    or wide frames, one row per time and one column per symbol: a mapping of
    column name ("high", "low", "close", ...) to frame, or one frame of
    closes for an indicator that reads prices. A symbol without a bar at a
    time (listed later, halted) is a hole there: its state does not move and
    its result is NaN. The result is wide, indexed by time with a column per
    symbol, under the output names as a first column level for indicators
    with several outputs. `indicator` itself is not moved.
    """
    from kestov.many import Panel

    cls = indicator_class(indicator)
    needed = input_columns(cls)
    # a timestamp is the time of the row: the wide frames' index, not a column of their own
    prices = tuple(c for c in needed if c != "timestamp")
    if isinstance(data, pd.DataFrame) and _has_column(data, symbol):
        wide = _pivot(data, symbol, time, prices, cls.__name__)
    elif isinstance(data, pd.DataFrame):
        if needed != ("close",):
            raise TypeError(f"{cls.__name__} reads {', '.join(needed)}: pass a mapping of those columns to wide frames")
        wide = {"close": data}
    elif isinstance(data, Mapping):
        wide = {column: _wide(data, column, cls.__name__) for column in prices}
    else:
        raise TypeError(f"expected a long DataFrame with a {symbol!r} column, a wide DataFrame or a mapping of "
                        f"wide DataFrames, got {type(data).__name__}")
    first = wide[prices[0]]
    for column in prices[1:]:
        if not (wide[column].index.equals(first.index) and wide[column].columns.equals(first.columns)):
            raise ValueError(f"the {column!r} frame has other times or symbols than the {prices[0]!r} frame")
    arrays = [_times(first) if column == "timestamp" else np.ascontiguousarray(_float64_block(wide[column], column))
              for column in needed]
    result = Panel(indicator, first.shape[1]).batch(*arrays, threads=threads)
    if result.ndim == 2:
        return pd.DataFrame(result, index=first.index, columns=first.columns, copy=False)
    names = column_names(cls.__name__, result.shape[2])
    columns = pd.MultiIndex.from_product([list(names), list(first.columns)], names=[None, first.columns.name])
    # (rows, series, k) to (rows, k, series): one block per output
    return pd.DataFrame(result.transpose(0, 2, 1).reshape(result.shape[0], -1), index=first.index, columns=columns)


def _times(wide: pd.DataFrame) -> np.ndarray:
    # every symbol's bar of a row has the row's time
    stamps = read_int64(wide.index.to_series(), "time")
    return np.ascontiguousarray(np.broadcast_to(stamps[:, None], wide.shape))


def _has_column(frame: pd.DataFrame, name: str) -> bool:
    return name in frame.columns


def _pivot(frame: pd.DataFrame, symbol: str, time: str | None, needed: tuple, reader: str) -> dict:
    keys = frame[symbol]
    times = frame.index if time is None else frame[time]
    if time is not None and time not in frame.columns:
        raise ValueError(f"no {time!r} column (pass time=None to use the index)")
    long = pd.DataFrame({column: _float64(_column(frame, column, reader), column) for column in needed})
    long.index = pd.MultiIndex.from_arrays([np.asarray(times), np.asarray(keys)], names=["time", symbol])
    if long.index.has_duplicates:
        raise ValueError(f"more than one bar for the same {symbol} and time")
    wide = long.unstack(symbol).sort_index()
    return {column: wide[column] for column in needed}


def _wide(frames: Mapping[str, pd.DataFrame], wanted: str, reader: str) -> pd.DataFrame:
    hits = [k for k in frames if isinstance(k, str) and k.strip().lower() == wanted]
    if not hits:
        raise ValueError(f"no {wanted!r} frame (needed by {reader})")
    if len(hits) > 1:
        raise ValueError(f"frame {wanted!r} appears more than once")
    return frames[hits[0]]


def _float64_block(frame: pd.DataFrame, label: str) -> FloatArray:
    try:
        return frame.to_numpy(dtype=np.float64, na_value=np.nan)
    except (TypeError, ValueError) as exc:
        raise TypeError(f"the {label!r} frame cannot be read as float64: {exc}") from None
