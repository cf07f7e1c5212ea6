"""The core installed as a CMake package: a C++ program built against it reads
the requests the command line reads and prints what it prints."""

import contextlib
import csv
import inspect
import io
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import kestov
from kestov.cli import main

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


@pytest.fixture(scope="module")
def bars(tmp_path_factory):
    """The sample with columns a and b (its close and open) for the two-series statistics."""
    path = tmp_path_factory.mktemp("bars") / "bars.csv"
    with open(SAMPLE, newline="") as f, open(path, "w", newline="") as out:
        rows = list(csv.reader(f))
        csv.writer(out, lineterminator="\n").writerows([rows[0] + ["a", "b"]] + [r + [r[4], r[1]] for r in rows[1:]])
    return path


def command_line(*argv):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        assert main([str(a) for a in argv]) == 0
    return out.getvalue()


def test_list_is_the_modules(program):
    done = subprocess.run([program, "--list"], capture_output=True, text=True)
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout == command_line("--list")


def other_arguments(cls):
    """Arguments other than the defaults (20 for a required period): whole numbers one more, others 3/4."""
    values = {}
    for p in inspect.signature(cls).parameters.values():
        default = 20 if p.default is p.empty else p.default
        values[p.name] = default + 1 if isinstance(default, int) else default * 0.75
    return values


@pytest.mark.parametrize("name", NAMES)
def test_program_prints_what_the_command_line_prints(program, bars, name):
    values = other_arguments(getattr(kestov, name))
    requests = [name]
    if values:
        # in order, and by keyword in another order than the class's
        requests.append(f"{name}({', '.join(map(repr, values.values()))})")
        requests.append(f"{name}({', '.join(f'{k}={v!r}' for k, v in reversed(values.items()))})")
    for request in requests:
        done = subprocess.run([program, bars, request], capture_output=True, text=True)
        assert (done.returncode, done.stderr) == (0, ""), request
        assert done.stdout == command_line(bars, "-i", request), request


@pytest.mark.parametrize("request_text, needle", [
    ("Nope", "Nope: unknown indicator"),
    ("SMA(2.5)", "SMA(2.5): 'period' takes a whole number"),
    ("SMA(-1)", "SMA(-1): 'period' cannot be negative"),
    ("SMA(0)", "SMA(0): period must be greater than zero"),
    ("SMA(5, 6)", "SMA(5, 6): takes at most 1 argument (2 given)"),
    ("MACD(slowest=3)", "MACD(slowest=3): no argument named 'slowest' (MACD(fast=12, slow=26, signal=9))"),
    ("MACD(fast=3, 5)", "an argument in order after one by keyword"),
    ("SMA(os)", "arguments must be numbers"),
])
def test_bad_request_is_a_usage_error(program, request_text, needle):
    done = subprocess.run([program, SAMPLE, request_text], capture_output=True, text=True)
    assert (done.returncode, done.stdout) == (2, "")
    assert done.stderr.startswith("kestov_csv: ") and done.stderr.count("\n") == 1 and needle in done.stderr


# -- resuming from a saved state ------------------------------------------------

def run(program, csv_path, name, state):
    return subprocess.run([program, csv_path, name, "--state", state], capture_output=True, text=True)


def write_part(path, header, rows):
    path.write_text(header + "".join(rows))
    return path


@pytest.mark.parametrize("name", NAMES)
def test_split_run_prints_the_whole_run(program, bars, tmp_path, name):
    header, *rows = bars.read_text().splitlines(keepends=True)
    whole = subprocess.run([program, bars, name], capture_output=True, text=True)
    assert whole.returncode == 0, whole.stderr
    # A state of the whole series, saved by a single run, for the split runs' last state to match.
    single = tmp_path / "single"
    assert run(program, bars, name, single).stdout == whole.stdout

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
