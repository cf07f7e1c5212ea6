"""Run any indicator's batch over pandas data.

    from kestov import MACD
    from kestov.pandas import batch

    frame = batch(MACD(), prices)       # Series in; DataFrame macd, signal, histogram out

Columns are found by name, case-insensitively: open, high, low, close, volume
(an indicator that reads prices reads close). A Series is taken as the close
column. The result has the input's index: a Series for single-output
indicators, a DataFrame with the output column names otherwise.

Needs pandas (pip install 'kestov[pandas]'); the rest of kestov does not.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Union

import numpy as np

try:
    import pandas as pd
except ImportError as exc:  # pragma: no cover - depends on the environment
    raise ImportError("kestov.pandas needs pandas: pip install 'kestov[pandas]'") from exc

from kestov.columns import column_names, input_columns

if TYPE_CHECKING:
    from kestov.typing import FloatArray

__all__ = ["batch"]


def batch(indicator: object, data: Union[pd.Series, pd.DataFrame], *,
          name: str | None = None) -> Union[pd.Series, pd.DataFrame]:
    """indicator.batch over the columns of data, indexed like data.

    The indicator's own state carries on exactly as with batch: the rows
    continue from where it stands and leave it advanced past the last one.
    A candle indicator stops with ValueError at the first invalid row.
    `name` names the result Series (default: the class name).
    """
    cls = type(indicator)
    label = cls.__name__ if name is None else name
    needed = input_columns(cls)
    if isinstance(data, pd.Series):
        if needed != ("close",):
            raise TypeError(f"{cls.__name__} reads {', '.join(needed)}: pass a DataFrame with those columns")
        arrays = [_float64(data, data.name)]
    elif isinstance(data, pd.DataFrame):
        arrays = [_float64(_column(data, column, cls.__name__), column) for column in needed]
    else:
        raise TypeError(f"expected a pandas Series or DataFrame, got {type(data).__name__}")
    result = indicator.batch(*arrays)  # type: ignore[attr-defined]
    # the result is a new array nobody else holds: wrap it, don't copy it
    if result.ndim == 1:
        return pd.Series(result, index=data.index, name=label, copy=False)
    return pd.DataFrame(result, index=data.index, columns=list(column_names(cls.__name__, result.shape[1])),
                        copy=False)


def _column(frame: pd.DataFrame, wanted: str, reader: str) -> pd.Series:
    hits = [i for i, c in enumerate(frame.columns) if isinstance(c, str) and c.strip().lower() == wanted]
    if not hits:
        raise ValueError(f"no {wanted!r} column (needed by {reader})")
    if len(hits) > 1:
        raise ValueError(f"column {wanted!r} appears more than once")
    return frame.iloc[:, hits[0]]


def _float64(column: pd.Series, label: object) -> FloatArray:
    """The column as the contiguous float64 array batch reads; a copy only when it must be."""
    if isinstance(column.dtype, np.dtype) and column.dtype == np.float64:
        values = column.to_numpy()
    else:
        # nullable and Arrow-backed columns: missing values become NaN
        try:
            values = column.to_numpy(dtype=np.float64, na_value=np.nan)
        except (TypeError, ValueError) as exc:
            raise TypeError(f"column {label!r} cannot be read as float64: {exc}") from None
    return np.ascontiguousarray(values)
