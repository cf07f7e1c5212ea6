"""Many symbols on Dask: every symbol computed in one task, in time order,
exactly as it would be alone.

    from kestov.dask import by_symbol, warm_up, continue_by_symbol

    out = by_symbol(bars, {"atr": ("ATR", {"period": 14}), "macd": ("MACD", {})})

`bars` is a Dask frame with a symbol column, a time column and the columns the
indicators read. See docs/dask.md. Needs the dask extra
(pip install 'kestov[dask]'); the rest of kestov does not.
"""

from __future__ import annotations

import copy
import functools
import inspect

import numpy as np

try:
    import pandas as pd
    from dask.dataframe.utils import make_meta
except ImportError as exc:  # pragma: no cover - depends on the environment
    raise ImportError("kestov.dask needs dask: pip install 'kestov[dask]'") from exc

import kestov
from kestov.columns import column_names

__all__ = ["by_symbol", "continue_by_symbol", "one_partition", "continue_partition", "outputs", "warm_up"]


def in_task(function):
    """Turns any failure that is not an Exception into one, inside a task.

    kestov's PanicException derives from BaseException, and a BaseException
    raised in a worker does not reach Dask's client: the computation would
    wait forever instead of failing. Interrupts and exits pass as they are.
    """
    @functools.wraps(function)
    def guarded(*args, **kwargs):
        try:
            return function(*args, **kwargs)
        except Exception:
            raise
        except (KeyboardInterrupt, SystemExit, GeneratorExit):
            raise
        except BaseException as exc:
            raise RuntimeError(f"kestov failed in a task: {type(exc).__name__}: {exc}") from exc
    return guarded


def batch_inputs(cls):
    """The bar columns that cls.batch reads, in its argument order."""
    params = [p for p in inspect.signature(cls.batch).parameters if p != "self"]
    return ["close" if p == "prices" else p for p in params]


def outputs(bars, indicators, by, time):
    """One symbol's bars in time order through {label: indicator} -> a frame of their outputs."""
    columns = {by: bars[by], time: bars[time]}
    for label, indicator in indicators.items():
        cls = type(indicator)
        inputs = [np.ascontiguousarray(bars[c].to_numpy(dtype=np.float64)) for c in batch_inputs(cls)]
        out = indicator.batch(*inputs)
        if out.ndim == 1:
            columns[label] = out
        else:
            for j, column in enumerate(column_names(cls.__name__, out.shape[1])):
                columns[f"{label}.{column}"] = out[:, j]
    return pd.DataFrame(columns, index=bars.index)


def one_symbol(bars, indicators, by, time):
    """One symbol's bars, in any order -> every indicator's outputs in time order."""
    # Built where the task runs, from their configurations.
    built = {label: getattr(kestov, name)(**kwargs) for label, (name, kwargs) in indicators.items()}
    return outputs(bars.sort_values(time, kind="stable"), built, by, time)


@in_task
def one_partition(part, indicators, by, time):
    """Every symbol of a partition; each symbol must lie wholly inside it."""
    groups = [group for _, group in part.groupby(by, sort=False, observed=True)]
    # An empty partition still yields the right (empty) columns.
    return pd.concat([one_symbol(g, indicators, by, time) for g in groups or [part]])


def by_symbol(bars, indicators, by="symbol", time="timestamp", shuffle=True):
    """The indicators over every symbol of the Dask frame bars (lazy)."""
    if shuffle:
        bars = bars.shuffle(on=by)  # brings each symbol's rows into one partition
    meta = one_partition(make_meta(bars), indicators, by, time)
    return bars.map_partitions(one_partition, indicators, by, time, meta=meta)


def warm_up(history, indicators, by="symbol", time="timestamp"):
    """{symbol: {label: indicator}}, each indicator fed its symbol's history (a pandas frame) here."""
    warm = {}
    for symbol, bars in history.groupby(by, sort=False, observed=True):
        built = {label: getattr(kestov, name)(**kwargs) for label, (name, kwargs) in indicators.items()}
        outputs(bars.sort_values(time, kind="stable"), built, by, time)  # only the state they reach is kept
        warm[symbol] = built
    return warm


@in_task
def continue_partition(part, warm, by, time):
    """Every symbol of a partition, from where its warmed-up indicators stand."""
    # An empty partition goes through any symbol's indicators, for the columns.
    groups = list(part.groupby(by, sort=False, observed=True)) or [(next(iter(warm)), part)]
    frames = []
    for symbol, bars in groups:
        # Copies: a task must leave its arguments as they came, since Dask may run
        # it twice, or in the caller's own process, on the caller's own objects.
        indicators = {label: copy.copy(indicator) for label, indicator in warm[symbol].items()}
        frames.append(outputs(bars.sort_values(time, kind="stable"), indicators, by, time))
    return pd.concat(frames)


def continue_by_symbol(bars, warm, by="symbol", time="timestamp", shuffle=True):
    """The warmed-up indicators of warm_up over the new bars of the Dask frame bars (lazy)."""
    if shuffle:
        bars = bars.shuffle(on=by)
    meta = continue_partition(make_meta(bars), warm, by, time)
    return bars.map_partitions(continue_partition, warm, by, time, meta=meta)
