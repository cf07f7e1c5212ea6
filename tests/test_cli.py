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


def batch_inputs(cls):
    return [p for p in inspect.signature(cls.batch).parameters if p != "self"]


def direct(cls, cols, *args, **kwargs):
    return cls(*args, **kwargs).batch(*[cols[name] for name in batch_inputs(cls)])


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


@pytest.mark.parametrize("date, columns", [
    ("date", ("open", "high", "low", "close", "volume")),
    ("", ("close",)),                           # DataFrame.to_csv of a date-indexed close
    (None, ("high", "low", "close", "volume")),
])
def test_default_run_is_every_class_the_columns_allow(tmp_path, capsys, date, columns):
    dates, cols = sample_columns()
    lines = [([] if date is None else [date]) + list(columns)]
    lines += [([] if date is None else [d]) + [repr(float(cols[c][i])) for c in columns] for i, d in enumerate(dates)]
    (tmp_path / "in.csv").write_text("".join(",".join(line) + "\n" for line in lines))
    code, out, err = run(capsys, str(tmp_path / "in.csv"))
    header, rows = table(out)
    assert code == 0 and len(rows) == len(dates)
    assert [r[0] for r in rows] == dates if date is not None else header[0] == "SMA"
    have = set(columns) | {"prices"} | ({"timestamp"} if date is not None else set())
    width = date is not None
    left_out = {}
    for name in kestov.__all__[1:]:
        cls = getattr(kestov, name)
        missing = [c for c in batch_inputs(cls) if c not in have]
        if missing:
            assert not any(h == name or h.startswith(name + ".") for h in header)
            left_out[name] = missing
            continue
        required = [p for p in inspect.signature(cls).parameters.values() if p.default is p.empty]
        width += check_output(out, name, name, direct(cls, cols, *[20] * len(required)))
    assert len(header) == width
    # one line naming each class left out, in a group with exactly the columns it lacks
    assert err.startswith(f"kestov: {tmp_path / 'in.csv'}: left out ") and err.count("\n") == 1
    groups = [g.partition(" (no column ") for g in err.split(": left out ")[1].rstrip(")\n").split("); ")]
    assert {name: missing.replace(" or ", ", ").split(", ")
            for names, _, missing in groups for name in names.split(", ")} == left_out


@pytest.mark.parametrize("text, label, name, args, kwargs", [
    ("SMA(5)", "SMA(5)", "SMA", (5,), {}),
    ("SMA", "SMA", "SMA", (20,), {}),           # a bare name runs as the default run does
    ("SMA()", "SMA", "SMA", (20,), {}),
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


@pytest.mark.parametrize("date", [None, "Timestamp", ""])
def test_close_only_csv(tmp_path, capsys, date):
    lines = ["Close", "1", "2", "3", "4", "5"]
    want = ["SMA(3),SMA(period=2)", ",", ",1.5", "2.0,2.5", "3.0,3.5", "4.0,4.5"]
    if date is not None:
        lines, want = ([f"{d},{x}" for d, x in zip([date, *"abcde"], t)] for t in (lines, want))
    (tmp_path / "in.csv").write_text("\n".join(lines) + "\n")
    argv = [str(tmp_path / "in.csv"), "-i", "SMA(3)", "-i", "SMA(period=2)", "-o", str(tmp_path / "out.csv")]
    assert run(capsys, *argv) == (0, "", "")
    assert (tmp_path / "out.csv").read_text().splitlines() == want


def gapped_sample(path):
    """The sample with holes: close at rows 10 and 11, high at 40 (as NaN), volume at 41; and the columns as
    arrays with NaN there."""
    header, rows = table(SAMPLE.read_text())
    for row, column, text in ((10, 4, ""), (11, 4, " "), (40, 2, "NaN"), (41, 5, "")):
        rows[row][column] = text
    path.write_text("".join(",".join(r) + "\n" for r in [header, *rows]))
    cols = {name: np.array([float(r[i]) if r[i].strip() else np.nan for r in rows]) for i, name in enumerate(header) if i}
    cols["prices"] = cols["close"]
    return cols


def test_gaps(tmp_path, capsys):
    cols = gapped_sample(tmp_path / "in.csv")
    requests = {"SMA(5)": (kestov.SMA, 5), "MACD(5, 10, 3)": (kestov.MACD, 5, 10, 3), "ATR(5)": (kestov.ATR, 5),
                "OBV": (kestov.OBV,), "Donchian(5)": (kestov.Donchian, 5)}
    argv = [str(tmp_path / "in.csv")] + [a for r in requests for a in ("-i", r)]
    code, out, err = run(capsys, *argv)
    assert code == 1 and "line 12: column 'close': empty cell (--gaps lets it through)" in err
    code, out, err = run(capsys, *argv, "--gaps")
    assert code == 0
    notes = err.splitlines()
    for label, (cls, *args) in requests.items():
        columns = [cols[c] for c in batch_inputs(cls)]
        if list(inspect.signature(cls.update).parameters)[-1] != "candle":
            check_output(out, label, cls.__name__, cls(*args).batch(*columns))  # NaN goes in: the class skips it
            assert label not in err
            continue
        # a candle indicator skips the rows where a cell it reads is missing
        missing = np.logical_or.reduce([np.isnan(c) for c in columns])
        kept = cls(*args).batch(*[c[~missing] for c in columns])
        expected = np.full((len(missing),) + kept.shape[1:], np.nan)
        expected[~missing] = kept
        check_output(out, label, cls.__name__, expected)
        rows = np.flatnonzero(missing)
        [note] = [n for n in notes if label in n.split(": ")[-1].partition(" skipped ")[0].split(", ")]
        assert f"skipped {len(rows)} row" in note and note.endswith(f"the first on line {rows[0] + 2}")


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
    (None, ["-i", "SMA(5)", "-o", "{dir}/no/such/out.csv"], 1, "out.csv"),
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
