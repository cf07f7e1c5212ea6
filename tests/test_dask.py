"""Many symbols on a local Dask cluster of worker processes: kestov.dask gives,
for every indicator, exactly what each symbol gives alone, and so do
indicators warmed up here on a history and continued there."""

import types

import numpy as np
import pytest

dask = pytest.importorskip("dask", reason="needs the dask extra")
dd = pytest.importorskip("dask.dataframe", reason="needs the dask extra")
distributed = pytest.importorskip("distributed", reason="needs the dask extra")

import pandas as pd  # noqa: E402

from classes import FIELDS, FRAME_CASES as CASES, candles  # noqa: E402

kdask = pytest.importorskip("kestov.dask", reason="needs the dask extra")
# dask's Parquet reader still passes inplace= to pandas, which warns from 3.1 on
pytestmark = pytest.mark.filterwarnings("ignore:The inplace keyword")


def bars(symbols=7):
    frames = []
    for s in range(symbols):
        frame = pd.DataFrame(candles(seed=s, n=50 + 41 * s), columns=FIELDS)
        frame.insert(0, "symbol", f"S{s}")
        frames.append(frame)
    return pd.concat(frames, ignore_index=True)


def alone(case, rows):
    rows = rows.sort_values("timestamp")
    columns = ["close" if c == "prices" else c for c in case.columns]
    out = case.make().batch(*[np.ascontiguousarray(rows[c].to_numpy(dtype=np.float64)) for c in columns])
    return rows["timestamp"].tolist(), out.reshape(len(rows), -1)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=3, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


# mixed: storage order unrelated to time, every symbol spread over several
# partitions (needs the shuffle); grouped: whole symbols per partition.
@pytest.mark.parametrize("layout", ["mixed", "grouped"])
def test_every_indicator_as_each_symbol_alone(client, tmp_path, layout):
    data = bars()
    if layout == "mixed":
        stored = dd.from_pandas(data.sample(frac=1, random_state=7), npartitions=5, sort=False)
    else:
        stored = dd.from_pandas(data.iloc[::-1], npartitions=1, sort=False)
    # grouped: one file, so one partition, per symbol, rows newest first
    stored.to_parquet(tmp_path / "bars", partition_on=["symbol"] if layout == "grouped" else None)
    source = dd.read_parquet(tmp_path / "bars")
    assert source.npartitions > 1

    lazy = kdask.by_symbol(source, {c.name: (c.name, c.kwargs) for c in CASES}, shuffle=layout == "mixed")
    # A BaseException in a worker never reaches the client: fail, don't hang.
    result = client.compute(lazy).result(timeout=120)
    for symbol, rows in data.groupby("symbol"):
        got = result[result["symbol"] == symbol]
        for case in CASES:
            times, expected = alone(case, rows)
            columns = [c for c in got.columns if c == case.name or c.startswith(case.name + ".")]
            assert got["timestamp"].tolist() == times, (case.name, symbol)
            assert got[columns].to_numpy(dtype=np.float64).tobytes() == expected.tobytes(), (case.name, symbol)


def state(obj):
    return obj.__reduce__()[2]


# cluster: the indicators reach worker processes pickled; sync: the tasks run
# in this process on the very objects warm_up returned.
@pytest.mark.parametrize("scheduler", ["cluster", "sync"])
def test_warmed_up_indicators_continue_on_the_workers(client, scheduler):
    data = bars()
    # Each symbol cut at its own place: after its first bar, inside and after the
    # warm-ups, before its last bar.
    cut = dict(zip(sorted(data["symbol"].unique()), [1, 10, 25, 45, 60, 150, 295]))
    early = data["timestamp"] < data["symbol"].map(cut) * 60
    history, new = data[early], data[~early]
    module = kdask
    configs = {c.name: (c.name, c.kwargs) for c in CASES}
    warm = module.warm_up(history, configs)
    saved = {symbol: {label: state(ind) for label, ind in inds.items()} for symbol, inds in warm.items()}

    source = dd.from_pandas(new.sample(frac=1, random_state=3), npartitions=4, sort=False)
    if scheduler == "cluster":
        result = client.compute(module.continue_by_symbol(source, warm)).result(timeout=120)
    else:
        with dask.config.set({"dataframe.shuffle.method": "tasks"}):  # p2p needs the workers
            result = module.continue_by_symbol(source, warm).compute(scheduler="sync")
    for symbol, rows in data.groupby("symbol"):
        got, n = result[result["symbol"] == symbol], cut[symbol]
        for case in CASES:
            times, expected = alone(case, rows)
            columns = [c for c in got.columns if c == case.name or c.startswith(case.name + ".")]
            assert got["timestamp"].tolist() == times[n:], (case.name, symbol)
            assert got[columns].to_numpy(dtype=np.float64).tobytes() == expected[n:].tobytes(), (case.name, symbol)
            # The tasks worked on copies: what warm_up returned still stands after the history.
            assert state(warm[symbol][case.name]) == saved[symbol][case.name], (case.name, symbol)


def test_a_base_exception_in_a_task_fails_the_computation(client):
    """A PanicException (a BaseException) raised in a worker fails the computation instead of hanging it."""
    # A module not in sys.modules: its function travels to the worker by value.
    module = types.ModuleType("panicking")
    exec("class Panic(BaseException): pass\n"
         "def task(x):\n"
         "    raise Panic('contiguous: NotContiguousError')\n", module.__dict__)
    future = client.submit(kdask.in_task(module.task), 1)
    with pytest.raises(RuntimeError, match="kestov failed in a task: Panic: contiguous: NotContiguousError"):
        future.result(timeout=60)
