"""The core installed as a CMake package: a C++ program built against it streams
the sample through each indicator and prints what the Python module computes."""

import csv
import inspect
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import kestov
from classes import bits

ROOT = Path(__file__).resolve().parents[1]
SAMPLE = ROOT / "python" / "kestov" / "data" / "sample.csv"
NAMES = [name for name in kestov.__all__ if name != "__version__"]


def tool(name):
    # The test extra installs cmake and ninja beside the interpreter.
    path = Path(sys.executable).parent / name
    return str(path) if path.exists() else shutil.which(name)


def can_fuse():
    try:
        return re.search(r"^flags\s*:.*\bfma\b", Path("/proc/cpuinfo").read_text(), re.M) is not None
    except OSError:
        return False


@pytest.fixture(scope="module")
def program(tmp_path_factory):
    tmp = tmp_path_factory.mktemp("cpp")
    cmake = tool("cmake")
    generator = ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={tool('ninja')}"]

    def step(*args):
        done = subprocess.run([cmake, *map(str, args)], capture_output=True, text=True)
        assert done.returncode == 0, done.stdout + done.stderr

    step("-S", ROOT, "-B", tmp / "core", *generator)
    step("--install", tmp / "core", "--prefix", tmp / "prefix")
    # With FMA instructions available the compiler would fuse a * b + c on its
    # own; only the flags that the package carries keep it from doing so.
    flags = "-O3 -mfma" if can_fuse() else "-O3"
    step("-S", ROOT / "examples" / "cpp", "-B", tmp / "example", *generator,
         f"-DCMAKE_PREFIX_PATH={tmp / 'prefix'}", f"-DCMAKE_CXX_FLAGS={flags}")
    step("--build", tmp / "example")
    return tmp / "example" / "kestov_csv"


def sample_bars():
    with open(SAMPLE, newline="") as f:
        rows = list(csv.DictReader(f))
    return [(r["date"], tuple(float(r[k]) for k in ("open", "high", "low", "close", "volume")) + (i,))
            for i, r in enumerate(rows)]


@pytest.mark.parametrize("name", NAMES)
def test_program_matches_module(program, name):
    done = subprocess.run([program, SAMPLE, name], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    header, *rows = list(csv.reader(done.stdout.splitlines()))

    cls = getattr(kestov, name)
    required = [p for p in inspect.signature(cls).parameters.values() if p.default is p.empty]
    indicator = cls(*[20] * len(required))
    takes = list(inspect.signature(cls.update).parameters)[-1]
    bars = sample_bars()
    assert header[0] == "date" and len(rows) == len(bars)
    for (date, *cells), (bar_date, candle) in zip(rows, bars):
        out = indicator.update({"candle": candle, "pair": (candle[3], candle[0])}.get(takes, candle[3]))
        assert date == bar_date
        if out is None:
            assert set(cells) == {""}, date
        else:
            out = out if isinstance(out, tuple) else (out,)
            assert bits(tuple(float(c) for c in cells)) == bits(out), date


# -- resuming from a saved state ------------------------------------------------

def run(program, csv_path, name, state):
    return subprocess.run([program, csv_path, name, "--state", state], capture_output=True, text=True)


def write_part(path, header, rows):
    path.write_text(header + "".join(rows))
    return path


@pytest.mark.parametrize("name", NAMES)
def test_split_run_prints_the_whole_run(program, tmp_path, name):
    header, *rows = SAMPLE.read_text().splitlines(keepends=True)
    whole = subprocess.run([program, SAMPLE, name], capture_output=True, text=True)
    assert whole.returncode == 0, whole.stderr
    # A state of the whole series, saved by a single run, for the split runs' last state to match.
    single = tmp_path / "single"
    assert run(program, SAMPLE, name, single).stdout == whole.stdout

    # Cut before the first bar, in the warm-up, after it, and after the last bar.
    for cut in (0, 7, len(rows) // 2, len(rows)):
        state = tmp_path / f"state-{cut}"
        first = run(program, write_part(tmp_path / "first.csv", header, rows[:cut]), name, state)
        second = run(program, write_part(tmp_path / "second.csv", header, rows[cut:]), name, state)
        assert first.returncode == second.returncode == 0, first.stderr + second.stderr
        resumed = second.stdout.split("\n", 1)
        assert first.stdout + resumed[1] == whole.stdout and resumed[0] == whole.stdout.split("\n", 1)[0], cut
        assert state.read_bytes() == single.read_bytes(), cut
    assert not list(tmp_path.glob("*.tmp"))


def saved(program, tmp_path, name, rows=40):
    """The state a run over the first rows of the sample leaves."""
    header, *lines = SAMPLE.read_text().splitlines(keepends=True)
    path = tmp_path / f"{name}.state"
    done = run(program, write_part(tmp_path / "part.csv", header, lines[:rows]), name, path)
    assert done.returncode == 0, done.stderr
    return path.read_bytes()


def flag_of_two(good):
    # MACD's fields begin with its fast average's seeded flag, right after the
    # header and three periods.
    at = 7 + len("MACD") + 3 * 8
    return good[:at] + b"\2" + good[at + 1:]


BAD_STATES = {  # how the state file is spoiled, and what the error line says
    "empty": (lambda good, other: b"", "invalid MACD state at byte 0: the state ends too soon"),
    "not a state": (lambda good, other: b"date,open,high\n", "not a kestov state"),
    "truncated": (lambda good, other: good[:-3], "the state ends too soon"),
    "extra byte": (lambda good, other: good + b"\0", "extra bytes after the state"),
    "newer format": (lambda good, other: good[:4] + b"\2\0" + good[6:], "written by a newer kestov"),
    "a flag of 2": (lambda good, other: flag_of_two(good), "a flag is neither 0 nor 1"),
    "another class": (lambda good, other: other, "holds a saved SMA state, not MACD"),
}


@pytest.mark.parametrize("kind", BAD_STATES)
def test_bad_state_file_stops_before_output(program, tmp_path, kind):
    spoil, message = BAD_STATES[kind]
    data = spoil(saved(program, tmp_path, "MACD"), saved(program, tmp_path, "SMA"))
    state = tmp_path / "bad.state"
    state.write_bytes(data)
    before = state.stat().st_mtime_ns
    done = run(program, SAMPLE, "MACD", state)
    assert done.returncode == 1 and done.stdout == ""
    assert re.fullmatch(rf"kestov_csv: {re.escape(str(state))}: [^\n]*{re.escape(message)}[^\n]*\n", done.stderr), \
        done.stderr
    assert state.read_bytes() == data and state.stat().st_mtime_ns == before
    assert not list(tmp_path.glob("*.tmp"))
