import csv
import datetime
import inspect
import io
import subprocess
import sys
from importlib import resources
from pathlib import Path

import numpy as np
import pytest

import kestov
from kestov.cli import main
from kestov.columns import column_names

ROOT = Path(__file__).resolve().parents[1]
SAMPLE = ROOT / "python" / "kestov" / "data" / "sample.csv"
CANDLES = "date,open,high,low,close,volume\n2024-01-02,10,11,9,10.5,100\n2024-01-03,10.5,12,10,11,200\n"


def run(capsys, *argv):
    code = main(list(argv))
    out, err = capsys.readouterr()
    return code, out, err


def table(text):
    rows = list(csv.reader(io.StringIO(text)))
    return rows[0], rows[1:]


def sample_columns():
    text = (resources.files("kestov") / "data" / "sample.csv").read_text()
    header, rows = table(text)
    cols = {name: np.array([float(r[i]) for r in rows]) for i, name in enumerate(header) if i}
    cols["prices"] = cols["close"]
    # what SessionVWAP reads where a file has no timestamp column: the dates as seconds since the epoch
    cols["timestamp"] = np.array([r[0] for r in rows], dtype="datetime64[s]").astype(np.int64)
    return [r[0] for r in rows], cols


def direct(cls, cols, *args, **kwargs):
    inputs = list(inspect.signature(cls.batch).parameters)[1:]
    return cls(*args, **kwargs).batch(*[cols[name] for name in inputs])


def assert_column(cells, values):
    got = np.array([float(c) if c else np.nan for c in cells])
    assert np.array_equal(got, values, equal_nan=True)
    assert [c == "" for c in cells] == list(np.isnan(values))


def check_output(out, label, name, result):
    """Every output column of one indicator equals its own batch result."""
    header, rows = table(out)
    if result.ndim == 1:
        names, result = [label], result[:, None]
    else:
        names = [f"{label}.{c}" for c in column_names(name, result.shape[1])]
    for j, column in enumerate(names):
        assert_column([r[header.index(column)] for r in rows], result[:, j])
    return len(names)


def test_default_run_matches_each_batch(capsys):
    dates, cols = sample_columns()
    code, out, err = run(capsys)
    assert (code, err) == (0, "")
    header, rows = table(out)
    assert header[0] == "date" and "SMA" in header and "ATR" in header
    assert len(rows) == len(dates) and [r[0] for r in rows] == dates
    width = 1
    for name in kestov.__all__[1:]:
        cls = getattr(kestov, name)
        if "a" in inspect.signature(cls.batch).parameters:  # a pair of series: not in a candle file
            assert not any(h.startswith(name) for h in header)
            continue
        required = [p for p in inspect.signature(cls).parameters.values() if p.default is p.empty]
        width += check_output(out, name, name, direct(cls, cols, *[20] * len(required)))
    assert len(header) == width


@pytest.mark.parametrize("text, label, name, args, kwargs", [
    ("SMA(5)", "SMA(5)", "SMA", (5,), {}),
    ("SMA(period=5)", "SMA(period=5)", "SMA", (), {"period": 5}),
    (" ATR ", "ATR", "ATR", (), {}),
    ("ATR()", "ATR", "ATR", (), {}),
    ("ATR(7)", "ATR(7)", "ATR", (), {"period": 7}),
    ("MACD(fast=8, slow=21)", "MACD(fast=8, slow=21)", "MACD", (), {"fast": 8, "slow": 21}),
    ("BollingerBands(20, 2.5)", "BollingerBands(20, 2.5)", "BollingerBands", (20, 2.5), {}),
])
def test_request_equals_direct_construction(capsys, text, label, name, args, kwargs):
    cls = getattr(kestov, name, None) or pytest.skip(f"{name} not built yet")
    _, cols = sample_columns()
    code, out, err = run(capsys, "-i", text)
    assert (code, err) == (0, "")
    check_output(out, label, name, direct(cls, cols, *args, **kwargs))


@pytest.mark.parametrize("date", [None, "Timestamp"])
def test_close_only_csv(tmp_path, capsys, date):
    lines = ["Close", "1", "2", "3", "4", "5"]
    want = ["SMA(3),SMA(period=2)", ",", ",1.5", "2.0,2.5", "3.0,3.5", "4.0,4.5"]
    if date:
        lines, want = ([f"{d},{x}" for d, x in zip([date, *"abcde"], t)] for t in (lines, want))
    (tmp_path / "in.csv").write_text("\n".join(lines) + "\n")
    argv = [str(tmp_path / "in.csv"), "-i", "SMA(3)", "-i", "SMA(period=2)", "-o", str(tmp_path / "out.csv")]
    assert run(capsys, *argv) == (0, "", "")
    assert (tmp_path / "out.csv").read_text().splitlines() == want


def test_list(capsys):
    code, out, err = run(capsys, "--list")
    lines = out.splitlines()
    assert (code, err) == (0, "")
    assert [line.split("(")[0] for line in lines] == kestov.__all__[1:]
    assert lines[kestov.__all__.index("ATR") - 1].endswith("high, low, close")


@pytest.mark.parametrize("content, argv, status, needle", [
    (None, ["-i", "Nope"], 2, "'Nope'"),
    (None, ["-i", "sma(5)"], 2, "SMA"),
    (None, ["-i", "SMA(5"], 2, "SMA(5"),
    (None, ["-i", "SMA(__import__('os'))"], 2, "literal"),
    (None, ["-i", "SMA.x"], 2, "SMA.x"),
    (None, ["-i", "SMA(**{})"], 2, "SMA"),
    (None, ["-i", "SMA(0)"], 2, "greater than zero"),
    (None, ["-i", "SMA(2.5)"], 2, "SMA(2.5)"),
    (None, ["-i", "SMA(-1)"], 2, "SMA(-1)"),
    (None, ["-i", "SMA(5, 6)"], 2, "SMA(5, 6)"),
    (None, ["-i", "SMA(3)", "-i", "SMA(3)"], 2, "SMA(3)"),
    (None, ["--bogus"], 2, "--bogus"),
    (None, ["--state", "{dir}/s.json"], 2, "--follow"),
    (None, ["--follow", "{dir}/in.csv"], 2, "standard input"),
    (None, ["--follow", "--plot", "{dir}/x.png"], 2, "--plot"),
    (None, ["{dir}/missing.csv"], 1, "missing.csv"),
    (None, ["-o", "{dir}/no/such/out.csv"], 1, "out.csv"),
    ("", [], 1, "empty"),
    ("1,2,3\n", ["-i", "SMA(2)"], 1, "header"),
    ("close\n1\nx\n", ["-i", "SMA(2)"], 1, "line 3"),
    ("a,close\n1,1\n2,\n", ["-i", "SMA(2)"], 1, "line 3"),
    ("close,b\n1,1\n2\n", ["-i", "SMA(2)"], 1, "line 3"),
    ("close\n1\ninf\n", ["-i", "SMA(2)"], 1, "line 3"),
    ("close\n1\n2\n", ["-i", "ATR(2)"], 1, "ATR(2)"),
    (CANDLES.replace("12,10,11", "10,12,11"), ["-i", "ATR(2)"], 1, "in.csv: line 3: ATR(2): invalid candle"),
    # the refused row named in a long file, past blank lines, for a warmed indicator
    ("high,low,close\n" + "2,1,1.5\n" * 700 + "\n" + "2,1,1.5\n" * 300 + "1,2,1.5\n" + "2,1,1.5\n" * 9,
     ["-i", "ATR(5)"], 1, "line 1003: ATR(5): invalid candle: high must be >= low"),
])
def test_errors(tmp_path, capsys, content, argv, status, needle):
    if content is not None:
        (tmp_path / "in.csv").write_text(content)
        argv = [str(tmp_path / "in.csv")] + argv
    code, out, err = run(capsys, *[a.replace("{dir}", str(tmp_path)) for a in argv])
    assert code == status
    assert err.startswith("kestov: ") and err.count("\n") == 1 and needle in err


@pytest.mark.parametrize("argv, status", [(["-i", "Nope"], 2), (["missing.csv"], 1)])
def test_errors_in_subprocess(argv, status):
    proc = subprocess.run([sys.executable, "-m", "kestov", *argv], capture_output=True, text=True)
    assert proc.returncode == status and proc.stdout == ""
    assert proc.stderr.startswith("kestov: ") and proc.stderr.count("\n") == 1


def test_closed_pipe_is_quiet():
    requests = [arg for n in range(2, 60) for arg in ("-i", f"SMA({n})")]
    proc = subprocess.Popen([sys.executable, "-m", "kestov", *requests],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    proc.stdout.readline()
    proc.stdout.close()
    assert proc.wait(timeout=60) == 0
    assert proc.stderr.read() == b""


def test_sample_is_valid_and_reproducible(tmp_path):
    header, rows = table(SAMPLE.read_text())
    assert header == ["date", "open", "high", "low", "close", "volume"] and 900 <= len(rows) <= 1100
    days = [datetime.date.fromisoformat(r[0]) for r in rows]
    assert all(d.weekday() < 5 for d in days) and days == sorted(set(days))
    for row in rows:
        o, h, l, c = (float(x) for x in row[1:5])
        assert 0 < l <= min(o, c) and max(o, c) <= h and int(row[5]) >= 0
        assert all(len(x.partition(".")[2]) <= 4 for x in row[1:5])
    out = tmp_path / "sample.csv"
    subprocess.run([sys.executable, str(ROOT / "tools" / "make_sample.py"), str(out)], check=True)
    assert out.read_bytes() == SAMPLE.read_bytes()
