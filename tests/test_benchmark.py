"""The benchmarks run end to end on a few rows, with whichever peers are installed."""

import json
import runpy
from pathlib import Path

import pytest

from classes import CASES

BENCH = Path(__file__).resolve().parent.parent / "bench" / "benchmark.py"


def test_benchmark_runs(tmp_path):
    bench = runpy.run_path(str(BENCH))
    main = bench["main"]
    md, js = tmp_path / "B.md", tmp_path / "b.json"
    main(["--rows", "1000", "--repeat", "1", "--calls", "300", "--talipp-calls", "100", "--universe", "30x40",
          "--markdown", str(md), "--json", str(js)])
    report = json.loads(js.read_text())
    names = [c.name for c in CASES]
    assert [b["class"] for b in report["batch"]] == names == [u["class"] for u in report["update"]]
    assert all(b["ns_per_row"] > 0 and b["floor_ns_per_row"] > 0 for b in report["batch"])
    # With a compiler every class has a bound: bounds.cpp compiled, and no class left out of its table.
    if bench["compiler"]() is not None:
        assert report["meta"]["bounds"]
        assert all(b["bound_ns_per_row"] >= b["moved_ns_per_row"] > 0 and b["bound_made_of"] for b in report["batch"])
        assert {b["class"]: b["outputs"] for b in report["batch"]} == {c.name: c.width or 1 for c in CASES}
    assert {u["class"]: u["argument"] for u in report["update"]} == {
        c.name: {"value": "float", "pair": "2-tuple"}.get(c.kind, "6-tuple") for c in CASES}
    matched = [b for b in report["batch"] if "talib" in b]
    assert len(matched) == len(bench["TALIB"]) > 20
    if report["meta"]["ta-lib"]:
        assert all(b["talib_ns_per_row"] > 0 and b["check"]["values_compared"] > 0 for b in matched)
    assert [e["class"] for e in report["universe"]] == names
    assert all(e["ns_per_cell"] > 0 and e["update_ns_per_series"] > 0 for e in report["universe"])
    assert all(v > 0 for v in report["meta"]["universe"]["copy_gb_per_s"].values())
    text = md.read_text()
    assert all(f"| {name} |" in text for name in names) and report["meta"]["date"] in text


def test_no_compiler_no_bound(monkeypatch):
    bench = runpy.run_path(str(BENCH))
    monkeypatch.setenv("CXX", "/nonexistent/c++")
    assert bench["load_bounds"]() == (None, None)
    (atr,) = bench["run_batch"](["ATR"], bench["ohlcv"](1000, 1), 1000, 1, None, None)
    assert atr["bound_ns_per_row"] is None and atr["x_bound"] is None


@pytest.mark.skipif(runpy.run_path(str(BENCH))["compiler"]() is None, reason="needs a C++ compiler")
def test_division_chain_outlasts_an_addition_chain():
    # A kernel the compiler had optimised away would take no time; ATR's
    # fused step and division per row cannot be quicker than SMA's two
    # additions. Both are bare loops, so neither memory nor an instrumented
    # allocator (the sanitizer pass) decides it.
    bench = runpy.run_path(str(BENCH))
    kernels, _ = bench["load_bounds"]()
    rows, data = 200_000, bench["ohlcv"](200_000, 1)
    calls = [(bench["chain_call"](kernels[name][1], cls, bench["batch_inputs"](cls, data), rows), rows)
             for name, cls in (("ATR", bench["kestov"].ATR), ("SMA", bench["kestov"].SMA))]
    atr_ns, sma_ns = bench["medians_ns"](calls, 5)
    assert atr_ns > sma_ns

