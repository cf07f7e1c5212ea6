"""Run any indicator over polars data: eagerly, or as an expression inside a query.

    import polars as pl
    import kestov.polars as kp
    from kestov import MACD

    kp.batch(MACD(), prices)                                  # Series in; DataFrame macd, signal, histogram out
    df.with_columns(kp.expr("RSI", period=14).over("symbol"))  # each symbol from a fresh RSI(14)

Columns are found by name, case-insensitively: open, high, low, close,
volume (an indicator that reads prices reads close). A Series is taken as
the close column. pyarrow Arrays, ChunkedArrays and Tables are read too.

Needs polars (pip install 'kestov[polars]'); the rest of kestov does not.
"""

from __future__ import annotations

import copy
from typing import TYPE_CHECKING, Any, Dict, List, Optional, Tuple, Union

import numpy as np

try:
    import polars as pl
except ImportError as exc:  # pragma: no cover - depends on the environment
    raise ImportError("kestov.polars needs polars: pip install 'kestov[polars]'") from exc

import kestov
from kestov._columns_io import empty_inputs, find_column, is_arrow, nanoseconds, read_float64, read_inputs, read_int64
from kestov.columns import column_names, input_columns

if TYPE_CHECKING:
    import pyarrow as pa

__all__ = ["batch", "expr", "session_vwap"]

# A field every input struct has, so that a frame with none of the columns an
# indicator reads still gives a struct, and the error names the missing column.
_ANCHOR = "_kestov_rows"


def batch(indicator: object, data: Union[pl.Series, pl.DataFrame, "pa.Array", "pa.ChunkedArray", "pa.Table"], *,
          name: str | None = None) -> Union[pl.Series, pl.DataFrame]:
    """indicator.batch over the columns of data, as a polars Series or DataFrame.

    The indicator's own state carries on exactly as with batch: the rows
    continue from where it stands and leave it advanced past the last one.
    A candle indicator stops with ValueError at the first invalid row, a
    null in a column with ValueError naming it and the row. `name` names
    the result Series (default: the class name).
    """
    cls = type(indicator)
    if isinstance(data, pl.LazyFrame):
        raise TypeError("a LazyFrame has no rows until it is collected: use kestov.polars.expr in the query, "
                        "or batch over the collected DataFrame")
    if not isinstance(data, (pl.Series, pl.DataFrame)) and not is_arrow(data):
        raise TypeError(f"expected a polars Series or DataFrame (or a pyarrow Array, ChunkedArray or Table), "
                        f"got {type(data).__name__}")
    result = indicator.batch(*read_inputs(data, input_columns(cls), cls.__name__))  # type: ignore[attr-defined]
    if result.ndim == 1:
        return pl.Series(cls.__name__ if name is None else name, result)
    names = column_names(cls.__name__, result.shape[1])
    return pl.DataFrame({column: result[:, j] for j, column in enumerate(names)})


def session_vwap(data: Union[pl.DataFrame, "pa.Table"], session: Any = "1d", offset: Any = 0, *,
                 name: str = "SessionVWAP") -> pl.Series:
    """VWAP restarted at every session of the frame's bars, as a Float64 Series.

    The timestamps are the frame's "timestamp" column, or its only datetime
    column, in nanoseconds since the epoch (UTC). `session` and `offset` are
    lengths of time: a string such as "1d", "8h" or "15min", a timedelta, or
    an int of nanoseconds. A session starts where
    floor((timestamp - offset) / session) changes: with the defaults, at
    each midnight UTC.
    """
    from kestov import SessionVWAP

    return batch(SessionVWAP(nanoseconds(session), nanoseconds(offset, "offset")), data, name=name)


def expr(indicator: Any, /, **kwargs: Any) -> pl.Expr:
    """An expression computing an indicator from a fresh copy of one configuration.

    `indicator` is a class name ("RSI"), a class (kestov.RSI), both
    configured by `kwargs`, or an indicator object, copied here with its
    state: every evaluation (each group under `over` or `group_by`) starts
    from a copy of it and reads the rows in the frame's order. The columns
    are found by name like batch's. The result is a Float64 column named
    after the class, or a struct of the output names for classes with
    several outputs. A row whose input columns are all null is skipped (the
    indicator does not see it) and its result is null; a row with only some
    of them null raises ValueError.
    """
    template = _template(indicator, kwargs)
    cls = type(template)
    needed = input_columns(cls)
    # the output's shape, from an empty batch (on a copy, though an empty batch moves nothing)
    width = copy.copy(template).batch(*empty_inputs(needed)).shape[1:]
    names = column_names(cls.__name__, width[0]) if width else ()
    dtype = pl.Struct({n: pl.Float64 for n in names}) if names else pl.Float64
    # The same names batch finds (any case, surrounding spaces), resolved by polars against the frame's
    # schema. One struct rather than several inputs to pl.map_batches: within a group polars hands the
    # function unnamed Series, while a struct keeps its field names, so each column is found by name.
    pattern = r"^(?i)\s*(" + "|".join(sorted(set(needed))) + r")\s*$"
    inputs = pl.struct(pl.col(pattern), pl.lit(0, dtype=pl.Int8).alias(_ANCHOR))
    return inputs.map_batches(_Run(template, needed, names), return_dtype=dtype).alias(cls.__name__)


def _template(indicator: Any, kwargs: Dict[str, Any]) -> Any:
    if isinstance(indicator, str):
        cls = getattr(kestov, indicator, None) if indicator in kestov.__all__ else None
        if not isinstance(cls, type):
            raise ValueError(f"no indicator class named {indicator!r} in kestov")
        return cls(**kwargs)
    if isinstance(indicator, type):
        return indicator(**kwargs)
    if kwargs:
        raise TypeError(f"keyword arguments configure a class; {type(indicator).__name__} object is configured already")
    if not hasattr(indicator, "batch"):
        raise TypeError(f"expected an indicator class, its name or an indicator object, got {type(indicator).__name__}")
    # a copy now, so that moving the caller's object later does not change what the expression computes
    return copy.copy(indicator)


class _Run:
    """One evaluation: a fresh copy of the template over the rows polars hands over."""

    def __init__(self, template: Any, needed: Tuple[str, ...], names: Tuple[str, ...]) -> None:
        self.template, self.needed, self.names = template, needed, names
        self.reader = type(template).__name__

    def __call__(self, inputs: pl.Series) -> pl.Series:
        fields = [f.name for f in inputs.dtype.fields]  # type: ignore[attr-defined]
        columns = [inputs.struct.field(fields[find_column(fields, c, self.reader)]) for c in self.needed]
        holes = self._holes(columns)
        if holes is not None:
            keep = pl.Series(~holes)
            columns = [c.filter(keep) for c in columns]
        arrays = [read_int64(c, c.name) if n == "timestamp" else read_float64(c, c.name)
                  for n, c in zip(self.needed, columns)]
        out = copy.copy(self.template).batch(*arrays)
        if holes is None:
            return self._series(out)
        full = np.full((len(holes),) + out.shape[1:], np.nan)
        full[~holes] = out
        return self._series(full, np.flatnonzero(holes))

    def _holes(self, columns: List[pl.Series]) -> Optional[np.ndarray]:
        if not any(c.null_count() for c in columns):
            return None
        nulls = [c.is_null().to_numpy() for c in columns]
        holes = np.logical_and.reduce(nulls)
        for column, null in zip(columns, nulls):
            partial = null & ~holes
            if partial.any():
                raise ValueError(
                    f"{self.reader}: {column.name!r} is null at row {int(np.argmax(partial))} of the rows it was "
                    f"given, where other inputs are not; a row is skipped only when all of "
                    f"{', '.join(self.needed)} are null")
        return holes

    def _series(self, out: np.ndarray, nulls: Optional[np.ndarray] = None) -> pl.Series:
        def column(name: str, values: np.ndarray) -> pl.Series:
            series = pl.Series(name, values)
            return series if nulls is None or not len(nulls) else series.scatter(nulls, None)

        if out.ndim == 1:
            return column(self.reader, out)
        return pl.DataFrame([column(n, out[:, j]) for j, n in enumerate(self.names)]).to_struct(self.reader)
