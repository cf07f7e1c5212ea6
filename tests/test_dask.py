"""Many symbols on a local Dask cluster of worker processes: the recipe in
docs/dask.md gives, for every indicator, exactly what each symbol gives alone."""

import re
import types
from pathlib import Path

import numpy as np
import pytest

dd = pytest.importorskip("dask.dataframe", reason="needs the dask extra")
distributed = pytest.importorskip("distributed", reason="needs the dask extra")

import pandas as pd  # noqa: E402

from classes import CASES, FIELDS, candles  # noqa: E402

DOC = Path(__file__).resolve().parents[1] / "docs" / "dask.md"
# dask's Parquet reader still passes inplace= to pandas, which warns from 3.1 on
pytestmark = pytest.mark.filterwarnings("ignore:The inplace keyword")


def recipe():
    """The first Python block of the document, as a module of its own."""
    code = re.search(r"```python\n(.*?)```", DOC.read_text(), re.S)[1]
    # Not in sys.modules, so its functions travel to the workers by value.
    module = types.ModuleType("kestov_dask_recipe")
    exec(compile(code, str(DOC), "exec"), module.__dict__)
    return module


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

    lazy = recipe().by_symbol(source, {c.name: (c.name, c.kwargs) for c in CASES}, shuffle=layout == "mixed")
    # A BaseException in a worker never reaches the client: fail, don't hang.
    result = client.compute(lazy).result(timeout=120)
    for symbol, rows in data.groupby("symbol"):
        got = result[result["symbol"] == symbol]
        for case in CASES:
            times, expected = alone(case, rows)
            columns = [c for c in got.columns if c == case.name or c.startswith(case.name + ".")]
            assert got["timestamp"].tolist() == times, (case.name, symbol)
            assert got[columns].to_numpy(dtype=np.float64).tobytes() == expected.tobytes(), (case.name, symbol)
