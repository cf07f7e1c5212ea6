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
    takes_candle = "candle" in inspect.signature(cls.update).parameters
    bars = sample_bars()
    assert header[0] == "date" and len(rows) == len(bars)
    for (date, *cells), (bar_date, candle) in zip(rows, bars):
        out = indicator.update(candle if takes_candle else candle[3])
        assert date == bar_date
        if out is None:
            assert set(cells) == {""}, date
        else:
            out = out if isinstance(out, tuple) else (out,)
            assert bits(tuple(float(c) for c in cells)) == bits(out), date
