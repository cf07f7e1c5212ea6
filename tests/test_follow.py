"""kestov --follow and --state as a live pipeline runs them: the program itself,
through pipes, signals and restarts, compared with the batch run or with one
uninterrupted run of the same input."""

import base64
import inspect
import json
import os
import queue
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import kestov

SAMPLE = Path(__file__).resolve().parents[1] / "python" / "kestov" / "data" / "sample.csv"
LINES = SAMPLE.read_bytes().splitlines(keepends=True)
HEADER, DATA = LINES[0], LINES[1:]
REQUESTS = ["-i", "RSI", "-i", "MACD(fast=8, slow=21)", "-i", "BollingerBands(10, 1.5)",
            "-i", "ATR(5)", "-i", "Stochastic", "-i", "Donchian", "-i", "OBV"]
# output buffered as a shell pipeline buffers it, so only kestov's own flushes show rows early
ENV = {k: v for k, v in os.environ.items() if k != "PYTHONUNBUFFERED"}


# the classes that read a pair of series, columns the sample does not have
PAIRS = [n for n in kestov.__all__[1:] if "a" in inspect.signature(getattr(kestov, n).batch).parameters]


def kestov_run(*argv, stdin=b""):
    return subprocess.run([sys.executable, "-m", "kestov", *argv], input=stdin, capture_output=True,
                          timeout=120, env=ENV)


def start(*argv):
    # SIGINT as a terminal would deliver it, even when pytest runs where it is ignored
    return subprocess.Popen([sys.executable, "-m", "kestov", *argv], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))


def uninterrupted(*requests):
    run = kestov_run("--follow", *requests, stdin=b"".join(LINES))
    assert run.returncode == 0 and run.stdout.count(b"\n") == len(LINES)
    return run.stdout


def at_defaults(name):
    """A request for the class at its defaults, with a period of 20 where it has none."""
    required = [p for p in inspect.signature(getattr(kestov, name)).parameters.values() if p.default is p.empty]
    return f"{name}({', '.join(['20'] * len(required))})"


def above_high(column):
    """The sample with one column set above the high on every row."""
    rows = [line.split(b",") for line in LINES]
    for row in rows[1:]:
        row[column] = repr(float(row[2]) + 1).encode()
    return b"".join(b",".join(row) for row in rows)


def with_holes():
    """The sample with missing cells: closes, a high, a volume, and a date, which SessionVWAP reads."""
    rows = [line.rstrip(b"\n").split(b",") for line in LINES]
    for line, column, text in ((20, 4, b""), (21, 4, b""), (60, 2, b"NaN"), (80, 5, b""), (100, 0, b"")):
        rows[line - 1][column] = text
    return b"".join(b",".join(row) + b"\n" for row in rows)


@pytest.mark.parametrize("data, requests", [
    (b"".join(LINES), []),               # every class at its defaults
    (b"".join(LINES), REQUESTS),
    # open: read only by BalanceOfPower and HeikinAshi; the others' batch makes it the close
    (above_high(1), [a for name in kestov.__all__[1:] if name not in ("BalanceOfPower", "HeikinAshi", *PAIRS)
                     for a in ("-i", at_defaults(name))]),
    # close: fine for the high-low and close-volume candles batch makes
    (above_high(4), ["-i", "Donchian", "-i", "Aroon", "-i", "AwesomeOscillator", "-i", "OBV", "-i", "SMA(5)"]),
    (b"".join(LINES).replace(b"\n", b"\r\n").replace(b"date,open,high,low,close", b"Date,OPEN,High,low,Close"),
     REQUESTS),
    (b"".join(b",".join(line.split(b",")[1:]) for line in LINES), REQUESTS),   # no date column
    (b"".join(b",".join(line.split(b",")[1:]) for line in LINES), []),         # so no SessionVWAP either
    # missing cells: the close (value and candle indicators), the high, the volume, the date SessionVWAP reads
    (with_holes(), REQUESTS + ["-i", "SessionVWAP", "-i", "SMA(3)", "--gaps"]),
])
def test_follow_prints_what_batch_prints(data, requests):
    batch = kestov_run("-", *requests, stdin=data)
    assert batch.returncode == 0 and batch.stdout.count(b"\n") == len(LINES)
    follow = kestov_run("--follow", *requests, stdin=data)
    assert follow.returncode == 0
    assert (follow.stdout, follow.stderr) == (batch.stdout, batch.stderr)


def test_each_row_is_written_before_the_next_line_arrives():
    expected = uninterrupted(*REQUESTS).splitlines(keepends=True)
    proc = start("--follow", *REQUESTS)
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(line) for line in proc.stdout], daemon=True).start()
    try:
        for n, line in enumerate(LINES[:6]):
            proc.stdin.write(line)
            proc.stdin.flush()
            assert lines.get(timeout=30) == expected[n]   # queue.Empty: the row waited for more input
    finally:
        proc.stdin.close()
    assert proc.wait(timeout=60) == 0


@pytest.mark.parametrize("cut, header_again, to_file, requests", [
    (0, False, False, REQUESTS), (37, True, False, REQUESTS), (500, False, True, REQUESTS),
    (len(DATA), True, True, REQUESTS),
    (300, False, False, []),  # the default run: the saved header chooses the indicators again
])
def test_restart_continues_exactly(tmp_path, cut, header_again, to_file, requests):
    state, out = tmp_path / "live.kstate", tmp_path / "out.csv"
    argv = ["--follow", "--state", str(state), *requests, *(["-o", str(out)] if to_file else [])]
    first = kestov_run(*argv, stdin=HEADER + b"".join(DATA[:cut]))
    second = kestov_run(*argv, stdin=(HEADER if header_again else b"") + b"".join(DATA[cut:]))
    assert (first.returncode, second.returncode) == (0, 0)
    assert second.stderr == first.stderr + f"kestov: resuming after {cut} rows from {state}\n".encode()
    written = out.read_bytes() if to_file else first.stdout + second.stdout
    assert written == uninterrupted(*requests)


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT, signal.SIGHUP])
def test_stopped_by_signal_then_restarted(tmp_path, signum):
    state = tmp_path / "live.kstate"
    proc = start("--follow", "--state", str(state), *REQUESTS)

    def feed():
        try:
            for line in LINES:
                proc.stdin.write(line)
                proc.stdin.flush()
                time.sleep(0.002)
        except OSError:                  # stopped: the pipe is gone
            pass

    threading.Thread(target=feed, daemon=True).start()
    shown = b"".join(proc.stdout.readline() for _ in range(41))
    proc.send_signal(signum)
    shown += proc.stdout.read()
    assert proc.wait(timeout=60) == 128 + signum
    rows = shown.count(b"\n") - 1
    assert 40 <= rows < len(DATA) and json.loads(state.read_text())["rows"] == rows
    name = signal.Signals(signum).name
    assert proc.stderr.read() == f"kestov: stopped by {name} after {rows} rows; state saved in {state}\n".encode()
    rest = kestov_run("--follow", "--state", str(state), *REQUESTS, stdin=HEADER + b"".join(DATA[rows:]))
    assert rest.returncode == 0
    assert shown + rest.stdout == uninterrupted(*REQUESTS)


def swap_high_low(line):
    cells = line.split(b",")
    cells[2], cells[3] = cells[3], cells[2]
    return b",".join(cells)


@pytest.mark.parametrize("damage, needle", [
    (swap_high_low, "line 100: ATR(5): invalid candle: high must be >= low"),
    (lambda line: b",".join(line.split(b",")[:4] + [b"1e3x", b"5\n"]), "line 100: column 'close': not a number"),
    (lambda line: line.rsplit(b",", 1)[0] + b"\n", "line 100: expected 6 cells, got 5"),
    (lambda line: line.replace(b"-", b"\xff", 1), "line 100: not UTF-8 text"),
])
def test_bad_row_keeps_the_state_before_it(tmp_path, damage, needle):
    state, requests = tmp_path / "live.kstate", ["-i", "SMA(3)", "-i", "ATR(5)", "-i", "Keltner"]
    bad = kestov_run("--follow", "--state", str(state), *requests,
                     stdin=b"".join(LINES[:99]) + damage(LINES[99]) + b"".join(LINES[100:]))
    assert bad.returncode == 1 and bad.stderr.startswith(b"kestov: ") and bad.stderr.count(b"\n") == 1
    assert needle.encode() in bad.stderr
    assert json.loads(state.read_text())["rows"] == 98 == bad.stdout.count(b"\n") - 1
    fixed = kestov_run("--follow", "--state", str(state), *requests, stdin=b"".join(LINES[99:]))
    assert fixed.returncode == 0
    assert bad.stdout + fixed.stdout == uninterrupted(*requests)


def saved_state(tmp_path):
    state = tmp_path / "live.kstate"
    assert kestov_run("--follow", "--state", str(state), "-i", "SMA(3)", "-i", "ATR(2)",
                      stdin=b"".join(LINES[:6])).returncode == 0
    return state, json.loads(state.read_text())


def set_bytes(entry, change):
    entry["state"] = base64.b64encode(change(base64.b64decode(entry["state"]))).decode()


def newer_bytes(blob):
    return blob[:4] + b"\x02" + blob[5:]


@pytest.mark.parametrize("tamper, requests, needle", [
    (lambda doc: b"not json", None, "not JSON"),
    (lambda doc: b"[" * 100000, None, "not JSON"),
    (lambda doc: doc.update(format="kestov-other"), None, "format tag"),
    (lambda doc: doc.update(version=2), None, "newer kestov (state file version 2"),
    (lambda doc: doc.update(rows=-1), None, "row count"),
    (lambda doc: doc.update(header=["date", "open"]), None, "saved header: no 'close' column"),
    (lambda doc: set_bytes(doc["indicators"][1], newer_bytes), None, "ATR(2): invalid ATR state at byte 4: written by a newer"),
    (lambda doc: set_bytes(doc["indicators"][1], lambda b: b[:-3]), None, "invalid ATR state at byte"),
    (lambda doc: set_bytes(doc["indicators"][0], lambda b: kestov.EMA(3).__reduce__()[2]), None,
     "cannot restore SMA from a saved EMA state"),
    (lambda doc: set_bytes(doc["indicators"][0], lambda b: kestov.SMA(4).__reduce__()[2]), None, "other arguments"),
    (lambda doc: doc["indicators"][0].update(config=[4]), None, "SMA(3) was saved with the arguments [4]"),
    (lambda doc: None, ["-i", "SMA(4)", "-i", "ATR(2)"], "holds the state of -i 'SMA(3)' -i 'ATR(2)', not of -i 'SMA(4)'"),
    (lambda doc: None, ["-i", "ATR(2)", "-i", "SMA(3)"], "holds the state of"),
])
def test_unusable_state_file_is_left_alone(tmp_path, tamper, requests, needle):
    state, doc = saved_state(tmp_path)
    changed = tamper(doc)
    state.write_bytes(changed if isinstance(changed, bytes) else json.dumps(doc).encode())
    before = state.read_bytes()
    run = kestov_run("--follow", "--state", str(state), *(requests or ["-i", "SMA(3)", "-i", "ATR(2)"]),
                     stdin=b"".join(LINES[6:9]))
    assert (run.returncode, run.stdout) == (1, b"")
    assert run.stderr.startswith(b"kestov: ") and run.stderr.count(b"\n") == 1 and needle.encode() in run.stderr
    assert state.read_bytes() == before
