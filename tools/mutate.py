"""Measures what the tests catch: one-line faults put into the code one at a time.

    python tools/mutate.py --tests before               # every fault, results in tools/mutants/before.json
    python tools/mutate.py --tests after --caught-in before   # only the faults the "before" run caught
    python tools/mutate.py --tests x --only 3,17,40     # a few faults by id
    python tools/mutate.py --list                       # the faults, without running anything
    python tools/mutate.py --check                      # each original text occurs exactly once
    python tools/mutate.py --table before [after]       # print recorded results side by side
    python tools/mutate.py --tests before --then after --then-dir tests_after \
        --then-core-drop core/tests/sma_test.cpp          # two suites, one build per fault

The label given to --tests names the results file (tools/mutants/LABEL.json);
the tests run are the ones in the working tree at the time, so a run over
the trimmed suite is the same command with another label. The file is
written after every fault, and a run given the same label again skips the
faults already recorded, so an interrupted run resumes where it stopped
(--fresh starts over). With --then, a second suite (another directory of
pytest files, and core test files whose cases it leaves out) runs over each
fault the first caught, on the same build; faults the first suite recorded
earlier are built again for the second alone.

What it needs, once (the commands of a development checkout):

    pip install --no-build-isolation -C build-dir=/tmp/mbuild -C cmake.define.KESTOV_WERROR=ON ".[test]"
    cmake -S . -B /tmp/mcore -G Ninja -DKESTOV_BUILD_TESTS=ON -DKESTOV_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo

(--build-dir and --core-dir name other directories). Stop a run with SIGTERM
or SIGINT: the changed file is written back before it exits. For each fault the
file is changed in place and always written back (try/finally, then a check
that git sees core/, bindings/ and python/ unchanged). What it rebuilds:
a core header, the golden-vector test alone, then the rest of the C++ tests
(ninja in the core directory) and then, unless ctest already failed, the three extension modules (ninja in the pip build
directory, the .so files copied into the installed package); a bindings
file, only the modules; a package file is copied into the installed
package. Builds are incremental: restoring a file and building for the next
fault rebuilds what the restored file touched. A fault that does not build
(warnings are errors) is recorded as "build-failed" and counts as neither
caught nor missed.

The tests stop at the first failure (ctest first for a core fault, then
pytest -x with the files nearest the fault first); a fault is "missed" only
when the whole of ctest and pytest passed. For each fault it records the
outcome, the test that failed (ctest's test name or pytest's node id) and the
seconds the build and the tests took. At the end the modules are rebuilt
from the restored tree and copied back, so the installed package matches
the source again.
"""

from __future__ import annotations

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RESULTS = ROOT / "tools" / "mutants"
GUARDED = ["core", "bindings", "python"]
MODULES = ["_kestov.abi3.so", "_more.abi3.so", "many.abi3.so"]

# pytest runs the files nearest a fault's area first, then the quick ones
# that compare exact outputs of every class; files not named follow in name
# order, so the whole suite always runs before a fault is called missed. The
# slowest (a C++ build, the benchmark) come last. The order only decides how
# soon a fault is caught, and so which test is recorded as catching it.
LAST = ["tests/test_cpp_package.py", "tests/test_benchmark.py"]
FIRST = [
    "tests/test_golden.py",
    "tests/test_batch.py",
    "tests/test_state.py",
    "tests/test_boundary.py",
    "tests/test_many.py",
    "tests/test_averages.py",
    "tests/test_momentum.py",
    "tests/test_volatility.py",
    "tests/test_sma_atr.py",
    "tests/test_breadth.py",
]
NEAR = {
    "boundary": ["tests/test_boundary.py", "tests/test_batch.py", "tests/test_many.py"],
    "batch": ["tests/test_batch.py"],
    "state": ["tests/test_state.py"],
    "panel": ["tests/test_many.py", "tests/test_threads.py"],
    "python": ["tests/test_pandas.py", "tests/test_polars.py", "tests/test_sessions.py", "tests/test_cli.py",
               "tests/test_arrow.py", "tests/test_follow.py"],
}

C = "core/include/kestov/"
I = C + "indicators/"
B = "bindings/python/src/"
P = "python/kestov/"

# (area, file, original text, replacement, what the fault does)
FAULTS = [
    # -- the core arithmetic
    ("core", I + "sma.hpp", "if (window_.full()) return sum_ / static_cast<double>(period_);",
     "if (window_.full()) return sum_ * (1.0 / static_cast<double>(period_));", "SMA multiplies by 1/period instead of dividing"),
    ("core", I + "ema.hpp", "double sum = -0.0;", "double sum = 0.0;", "EMA seed sum starts at +0.0"),
    ("core", I + "ema.hpp", "const V t = current * (1.0 - alpha);", "const V t = current - current * alpha;",
     "EMA step: current*(1-alpha) computed as current - current*alpha"),
    ("core", I + "rsi.hpp", "return (term + average * (n - 1.0)) / n;", "return term / n + average * ((n - 1.0) / n);",
     "RSI/Wilder smoothing: divides before adding"),
    ("core", I + "rsi.hpp", "100.0 - 100.0 / (avg_gain / avg_loss + 1.0)", "100.0 * avg_gain / (avg_gain + avg_loss)",
     "RSI: ratio formula instead of 100 - 100/(1+rs)"),
    ("core", I + "rsi.hpp", "double gain_sum = -0.0;", "double gain_sum = 0.0;", "RSI seed gain sum starts at +0.0"),
    ("core", I + "wma.hpp", "weighted = value * weight + (weighted - sum);",
     "weighted = (value * weight + weighted) - sum;", "WMA running weighted sum: adds before subtracting"),
    ("core", I + "wma.hpp", "double weighted = -0.0;", "double weighted = 0.0;", "WMA seed weighted sum starts at +0.0"),
    ("core", I + "stochastic.hpp", "((candle.close() - ll) * 100.0) / range", "(candle.close() - ll) * (100.0 / range)",
     "Stochastic %K: 100/range first"),
    ("core", I + "atr.hpp", "if (seed_.size() < period_) return std::nullopt;",
     "if (seed_.size() + 1 < period_) return std::nullopt;", "ATR seeds one candle early"),
    ("core", I + "cci.hpp", "mean_deviation(window_.data(), window_.size(), mean) / n)",
     "mean_deviation(window_.data(), window_.size(), mean) * (1.0 / n))", "CCI: mean deviation times 1/n"),
    ("core", I + "vwap.hpp", "((candle.high() + candle.low()) + candle.close()) / 3.0",
     "(candle.high() + (candle.low() + candle.close())) / 3.0", "VWAP typical price summed in another order"),
    ("core", I + "obv.hpp", "lanes::select(prev < close, volume,", "lanes::select(prev <= close, volume,",
     "OBV: an unchanged close adds the volume"),
    ("core", I + "psar.hpp", "if (l <= stop) {", "if (l < stop) {", "PSAR: a low touching the stop does not turn a long run"),
    ("core", I + "momentum.hpp", "{ out[i] = values[i] - values[i - back]; }",
     "{ out[i] = values[i] - values[i - back + 1]; }", "Momentum batch: the tail rows of a piece look back one row short"),
    # -- the window structures
    ("window", C + "ring_buffer.hpp", "return i >= capacity_ ? i - capacity_ : i;", "return i > capacity_ ? i - capacity_ : i;",
     "RingBuffer wraps one slot late"),
    ("window", C + "ring_buffer.hpp", "size_ += size_ != length_;", "size_ += size_ + 1 < length_;", "MirroredWindow is full one value short"),
    ("window", C + "window_extreme.hpp", "return older <= newer; }", "return older < newer; }",
     "window extreme: of equal prices the older wins where the newer should"),
    ("window", C + "window_extreme.hpp", "for (std::size_t j = length_ - 1; j-- > 0;)", "for (std::size_t j = length_ - 1; j-- > 1;)",
     "BlockExtreme: the backward pass skips the first slot"),
    ("window", C + "window_extreme.hpp", "bool full() const noexcept { return has_tails_ || offset_ == length_; }",
     "bool full() const noexcept { return has_tails_ || offset_ + 1 >= length_; }", "BlockExtreme is full one candle early"),
    ("window", C + "window_extreme.hpp", "const std::size_t tail = has_tails_ && offset_ != length_ ? offset_ : length_;",
     "const std::size_t tail = has_tails_ ? offset_ : length_;", "BlockExtreme: a complete block reads the stand-in slot as a tail"),
    ("window", C + "pair_sums.hpp", "Sums s{-0.0, -0.0, -0.0, -0.0, -0.0};", "Sums s{};",
     "PairSums recompute starts from +0.0"),
    ("window", C + "pair_sums.hpp", "if (!finite) [[unlikely]]\n            recompute();",
     "if (false && !finite) [[unlikely]]\n            recompute();", "PairSums never recomputes after an infinite sum"),
    ("window", C + "stretches.hpp", "if (lanes::any(spoilt)) i = first;", "if (false && lanes::any(spoilt)) i = first;",
     "stretches: a NaN inside a piece is not noticed"),
    ("window", C + "stretches.hpp", "by_row(i++);\n            behind = 0;", "by_row(i++);\n            behind = lookback;",
     "stretches: a NaN does not restart the look-back count"),
    # -- the boundary
    ("boundary", B + "convert.cpp", '"candle must be a 6-tuple (open, high, low, close, volume, timestamp) or a dict"',
     '"candle must be a tuple or a dict"', "message: the candle shape error loses its field list"),
    ("boundary", B + "args.cpp", "got an unexpected keyword argument", "got an unknown keyword argument",
     "message: unexpected keyword"),
    ("boundary", B + "convert.cpp", "if (plain_candle(tuple, f, ts)) return validated(f[0], f[1], f[2], f[3], f[4], ts);",
     "if (plain_candle(tuple, f, ts)) return validated(f[0], f[2], f[1], f[3], f[4], ts);",
     "argument order: the fast tuple path swaps high and low"),
    ("boundary", B + "convert.cpp", "return overflow == 0;", "return true;", "conversion: a timestamp beyond int64 wraps silently"),
    ("boundary", B + "convert.cpp", "bool i64_of(PyObject* obj, std::int64_t& out) {\n    PyObject* index = PyNumber_Index(obj);",
     "bool i64_of(PyObject* obj, std::int64_t& out) {\n    PyObject* index = PyNumber_Long(obj);",
     "conversion: a float timestamp is truncated instead of refused"),
    ("boundary", B + "convert.cpp", "if (!PyTuple_Check(obj) || PyTuple_Size(obj) != 2) {",
     "if (!PyTuple_Check(obj) || PyTuple_Size(obj) < 2) {", "conversion: a 3-tuple is taken as a pair"),
    ("boundary", B + "convert.cpp", "PyTuple_Size(obj) == 6) return candle_from_tuple(obj);",
     "PyTuple_Size(obj) >= 6) return candle_from_tuple(obj);", "conversion: a 7-tuple is taken as a candle"),
    ("boundary", B + "args.cpp", "if (static_cast<std::size_t>(nargs) > sig.names.size()) return too_many_positional(sig, nargs);",
     "if (static_cast<std::size_t>(nargs) >= sig.names.size()) return too_many_positional(sig, nargs);",
     "arguments: every parameter given by position is refused"),
    ("boundary", B + "arrays.cpp", "if (!PyArray_CHKFLAGS(array, NPY_ARRAY_C_CONTIGUOUS)) {",
     "if (false && !PyArray_CHKFLAGS(array, NPY_ARRAY_C_CONTIGUOUS)) {", "array check: a strided panel column is read as contiguous"),
    # -- the batch row loop
    ("batch", B + "row_loop.hpp", "out[i] = output ? *output : nan;", "out[i] = output ? *output : 0.0;", "batch: warm-up rows are 0.0, not NaN"),
    ("batch", B + "row_loop.hpp", "sure &= (lanes::splat<Pack>(0.0) <= v)", "sure &= (lanes::splat<Pack>(-1.0) <= v)",
     "batch columns: a volume just below zero passes the quick check"),
    ("batch", B + "row_loop.hpp", "if (valid < last) {", "if (valid + 1 < last) {",
     "batch columns: an invalid last row of a block is not reported"),
    ("batch", B + "row_loop.hpp", "error = input.error();\n                break;", "error = input.error();\n                continue;",
     "batch rows: the rows after an invalid one are still fed"),
    ("batch", B + "rows.hpp", "return {close, c[0][i], c[1][i], close, 0.0};", "return {close, c[1][i], c[0][i], close, 0.0};",
     "batch high/low/close rows swap high and low"),
    ("batch", B + "rows.hpp", "return {doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[1])};",
     "return {doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[0]), doubles(c[0])};", "batch close/volume columns read the close as volume"),
    ("batch", B + "rows.hpp", "return Candle::create(f[0], f[1], f[2], f[3], f[4], c[4].i64(i));",
     "return Candle::create(f[0], f[1], f[2], f[3], f[4], c[4].i64(0));", "batch timestamps: every row gets the first"),
    ("batch", B + "rows.hpp", "return {doubles(c[0]), doubles(c[1]), doubles(c[2]), doubles(c[3]), nullptr};",
     "return {doubles(c[0]), doubles(c[1]), doubles(c[3]), doubles(c[2]), nullptr};", "batch OHLC columns swap low and close"),
    # -- saved state
    ("state", C + "state.hpp", "data_[at_] > 1) return fail(\"a flag is neither 0 nor 1\");",
     "data_[at_] > 2) return fail(\"a flag is neither 0 nor 1\");", "state: a flag byte of 2 is accepted"),
    ("state", C + "state.hpp", "if (*this && at_ != size_) fail(\"extra bytes after the state\");",
     "if (*this && at_ + 1 < size_) fail(\"extra bytes after the state\");", "state: one extra byte is accepted"),
    ("state", C + "state.hpp", "v |= static_cast<std::uint64_t>(data_[at_ + i]) << (8 * i);",
     "v |= static_cast<std::uint64_t>(data_[at_ + i]) << (8 * (7 - i));", "state: numbers read big-endian"),
    ("state", C + "state.hpp", "if (written != name) return fail(\"the state is of another indicator class\");",
     "if (written.size() != name.size()) return fail(\"the state is of another indicator class\");",
     "state: a class of the same name length loads another's state"),
    ("state", C + "ring_buffer.hpp", "if (count > capacity_) return r.fail(\"a window holds more values than its length\");",
     "if (count > capacity_ + 1) return r.fail(\"a window holds more values than its length\");", "state: a window one value too long loads"),
    ("state", B + "saving.hpp", "} else if (PyByteArray_Check(state)) {", "} else if (false && PyByteArray_Check(state)) {",
     "state: a bytearray is refused"),
    # -- the panel
    ("panel", C + "panel.hpp", "for (T& series : series_) series.reset();", "if (!series_.empty()) series_.front().reset();",
     "Panel.reset resets only the first series"),
    ("panel", B + "many_ops.hpp", "hole &= std::isnan(c[k][i]);", "hole = std::isnan(c[k][i]);", "panel: only the last price column decides a hole"),
    ("panel", B + "many_ops.hpp", "for (std::size_t s = tail; s < last; ++s) feed_cell<D>(panel, c, out, s, base + s);",
     "for (std::size_t s = tail; s + 1 < last; ++s) feed_cell<D>(panel, c, out, s, base + s);", "panel lanes: the last series of the tail is skipped"),
    ("panel", B + "many_ops.hpp", "return row < other.row || (row == other.row && series < other.series);",
     "return series < other.series || (series == other.series && row < other.row);", "panel: the first invalid candle is sought series-first"),
    ("panel", B + "many_ops.hpp", "\"invalid candle at row %zu, series %zu: %s\", bad.row, bad.series, bad.error);",
     "\"invalid candle at row %zu, series %zu: %s\", bad.series, bad.row, bad.error);", "message: panel row and series swapped"),
    ("panel", B + "many_ops.hpp", "blocks.push_back({first, std::min(count, first + step)});",
     "blocks.push_back({first, std::min(count, first + step - 1)});", "panel threads: each block leaves out its last series"),
    ("panel", B + "many_ops.hpp", "(h - l <= most) & (v >= 0.0) & (v <= most);", "(h - l <= most) & (v >= -1.0) & (v <= most);",
     "panel: a volume just below zero passes the quick check"),
    ("panel", B + "many_ops.hpp", "if (core->config() != panel->prototype.config()) {\n        PyErr_Format(PyExc_ValueError, \"a %s of another",
     "if (false && core->config() != panel->prototype.config()) {\n        PyErr_Format(PyExc_ValueError, \"a %s of another",
     "panel: an indicator of another configuration joins"),
    # -- the Python layer
    ("python", P + "_columns_io.py", "isinstance(c, str) and c.strip().lower() == wanted]", "isinstance(c, str) and c.lower() == wanted]", "columns: a label with spaces around it is not found"),
    ("python", P + "_columns_io.py", "    if len(hits) > 1:\n        raise ValueError(f\"column {wanted!r} appears more than once\")",
     "    if len(hits) > 2:\n        raise ValueError(f\"column {wanted!r} appears more than once\")", "columns: a label given twice takes the first"),
    ("python", P + "_columns_io.py", "* 10**6 + span.microseconds) * 1000", "* 10**6) * 1000", "sessions: a timedelta loses its microseconds"),
    ("python", P + "pandas.py", "return pd.Series(result, index=index, name=label, copy=False)",
     "return pd.Series(result, name=label, copy=False)", "pandas: a Series result loses the input's index"),
    ("python", P + "polars.py", "return pl.Series(cls.__name__ if name is None else name, result)",
     "return pl.Series(cls.__name__, result)", "polars: name= is ignored"),
    ("python", P + "polars.py", "return series if nulls is None or not len(nulls) else series.scatter(nulls, None)",
     "return series", "polars expr: null rows come back as NaN"),
    ("python", P + "cli.py", "if int(text) < 1:", "if int(text) < 0:", "cli: --window 0 is accepted"),
    ("python", P + "cli.py", "        if gaps and is_gap(text):\n            values[column] = math.nan",
     "        if is_gap(text):\n            values[column] = math.nan", "cli: gap cells pass without --gaps"),
]


def faults():
    return [{"id": i + 1, "area": a, "file": f, "old": o, "new": n, "desc": d} for i, (a, f, o, n, d) in enumerate(FAULTS)]


def run(cmd, timeout=None, cwd=ROOT):
    return subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout)


def tree_clean() -> bool:
    return run(["git", "status", "--porcelain", "--", *GUARDED]).stdout.strip() == ""


def check_unique(fs) -> list[str]:
    problems = []
    for m in fs:
        text = (ROOT / m["file"]).read_text()
        n = text.count(m["old"])
        if n != 1:
            problems.append(f"#{m['id']} {m['file']}: original text occurs {n} times")
    return problems


class Builder:
    def __init__(self, args):
        self.build_dir = Path(args.build_dir)
        self.core_dir = Path(args.core_dir)
        self.ninja = shutil.which("ninja", path=str(Path(sys.executable).parent)) or "ninja"
        self.ctest = shutil.which("ctest", path=str(Path(sys.executable).parent)) or "ctest"
        out = run([sys.executable, "-c", "import kestov, os; print(os.path.dirname(kestov.__file__))"], cwd="/")
        self.package = Path(out.stdout.strip())
        if not (self.package / "__init__.py").exists():
            sys.exit(f"kestov is not installed for {sys.executable}")

    def modules(self):
        r = run([self.ninja, "-C", str(self.build_dir)])
        if r.returncode != 0:
            return r.stdout[-3000:] + r.stderr[-3000:]
        for so in MODULES:
            shutil.copyfile(self.build_dir / so, self.package / so)
        return None

    def core_tests(self, target=None):
        r = run([self.ninja, "-C", str(self.core_dir), *([target] if target else [])])
        return None if r.returncode == 0 else r.stdout[-3000:] + r.stderr[-3000:]

    def installed_copy(self, rel: str) -> Path:
        return self.package / Path(rel).relative_to("python/kestov")


def pytest_order(area=None):
    files = sorted(str(p.relative_to(ROOT)) for p in (ROOT / "tests").glob("test_*.py"))
    first = [f for f in NEAR.get(area, []) + [f for f in FIRST if f not in NEAR.get(area, [])] if f in files]
    last = [f for f in LAST if f in files]
    return first + [f for f in files if f not in first and f not in last] + last


def run_ctest(builder, timeout, only=None, exclude=None):
    r = run([builder.ctest, "--test-dir", str(builder.core_dir), "--stop-on-failure",
             *(["-R", f"^{only}$"] if only else []), *(["-E", f"^{exclude}$"] if exclude else [])], timeout=timeout)
    if r.returncode == 0:
        return None
    failed = re.findall(r"^\s*\d+ - (\S+) \(", r.stdout, re.M)
    return "ctest:" + (failed[0] if failed else "?")


def run_core_cases(builder, timeout, dropped):
    """The core test program, as ctest runs it, its cases in `dropped` left out."""
    r = run([str(builder.core_dir / "core" / "tests" / "kestov_core_tests")], timeout=timeout)
    failed = [n for n in re.findall(r"^FAILED (\S+)", r.stdout, re.M) if n not in dropped]
    if failed:
        return "ctest:core:" + failed[0]
    if r.returncode != 0 and not re.search(r"^FAILED ", r.stdout, re.M):
        return f"ctest:core (exit {r.returncode})"
    return None


def run_pytest(timeout, area=None, test_dir="tests"):
    files = [str(Path(test_dir) / Path(f).name) for f in pytest_order(area)]
    files = [f for f in files if (ROOT / f).exists()]
    files += sorted(str(p.relative_to(ROOT)) for p in (ROOT / test_dir).glob("test_*.py")
                    if str(p.relative_to(ROOT)) not in files)
    cmd = [sys.executable, "-m", "pytest", "-x", "-q", "-rfE", "-p", "no:cacheprovider", *files]
    r = run(cmd, timeout=timeout)
    if r.returncode == 0:
        return None
    hit = re.search(r"^(?:FAILED|ERROR) (\S+)", r.stdout, re.M)
    return hit.group(1) if hit else f"pytest exit {r.returncode}: " + r.stdout[-300:].replace("\n", " ")


def core_case_names(files):
    names = set()
    for f in files:
        names |= set(re.findall(r"^TEST\((\w+)\)", (ROOT / f).read_text(), re.M))
    return names


def test_suite(m, builder, timeout, suite, built):
    """One suite's verdict on the fault now in the tree. `built` records what was built for it already."""
    result = {"build_s": 0.0, "test_s": 0.0}

    def timed(key, call):
        t = time.monotonic()
        try:
            return call()
        finally:
            result[key] = round(result[key] + time.monotonic() - t, 1)

    try:
        caught = None
        if m["file"].startswith("core/"):
            # The golden vectors first: one translation unit to build, and
            # every output of every class compared bit for bit.
            if "golden" not in built:
                err = timed("build_s", lambda: builder.core_tests("kestov_golden_test"))
                if err:
                    return {"outcome": "build-failed", "detail": err}
                built.add("golden")
            caught = timed("test_s", lambda: run_ctest(builder, timeout, "golden"))
            if not caught:
                if "core" not in built:
                    err = timed("build_s", builder.core_tests)
                    if err:
                        return {"outcome": "build-failed", "detail": err}
                    built.add("core")
                caught = timed("test_s", lambda: run_core_cases(builder, timeout, suite["dropped"])
                               or run_ctest(builder, timeout, exclude="core|golden"))
        if caught is None:
            # Also for a package file: the modules must match the tree, in
            # which the fault before this one was just written back.
            if "modules" not in built:
                err = timed("build_s", builder.modules)
                if err:
                    return {"outcome": "build-failed", "detail": err}
                built.add("modules")
            caught = timed("test_s", lambda: run_pytest(timeout, m["area"], suite["dir"]))
        result.update(outcome="caught" if caught else "missed", by=caught)
    except subprocess.TimeoutExpired:
        result.update(outcome="caught", by=f"timeout after {timeout}s")
    return result


def apply_one(m, builder, timeout, suites):
    """The fault put in, each suite run over it (the same build), the file written back. {label: result}."""
    path = ROOT / m["file"]
    original = path.read_text()
    if original.count(m["old"]) != 1:
        return {s["label"]: {"outcome": "refused", "detail": "original text does not occur exactly once"} for s in suites}
    installed = builder.installed_copy(m["file"]) if m["file"].startswith("python/") else None
    installed_original = installed.read_text() if installed else None
    results, built = {}, set()
    try:
        path.write_text(original.replace(m["old"], m["new"]))
        if installed:
            installed.write_text(path.read_text())
        for suite in suites:
            results[suite["label"]] = r = test_suite(m, builder, timeout, suite, built)
            if r["outcome"] != "caught":  # a later suite runs only over what the first caught
                break
        return results
    finally:
        path.write_text(original)
        if installed:
            installed.write_text(installed_original)
        if not tree_clean():
            sys.exit(f"#{m['id']}: {m['file']} was not restored; stopping")


def load(label):
    f = RESULTS / f"{label}.json"
    return json.loads(f.read_text()) if f.exists() else {}


def table(labels):
    runs = [load(l) for l in labels]
    print(f"{'id':>3} {'area':8} {'file':28} " + " ".join(f"{l:38}" for l in labels) + " description")
    for m in faults():
        cells = []
        for r in runs:
            e = r.get(str(m["id"]))
            cells.append("-" if e is None else e["outcome"] + (f" ({e['by']})" if e.get("by") else ""))
        print(f"{m['id']:>3} {m['area']:8} {Path(m['file']).name:28} " + " ".join(f"{c[:38]:38}" for c in cells)
              + f" {m['desc']}")
    for l, r in zip(labels, runs):
        counts = {}
        for e in r.values():
            counts[e["outcome"]] = counts.get(e["outcome"], 0) + 1
        print(f"{l}: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))


def interrupted(signum, frame):
    raise KeyboardInterrupt  # so that the file being changed is written back


def main():
    # A signal ignored here (nohup ignores SIGHUP) would stay ignored in the
    # tests' children, and a test that stops the command line with it would
    # wait for ever.
    signal.signal(signal.SIGHUP, signal.SIG_DFL)
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGINT, interrupted)
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tests", metavar="LABEL", help="run, recording to tools/mutants/LABEL.json")
    ap.add_argument("--only", help="comma-separated fault ids, run in that order")
    ap.add_argument("--caught-in", metavar="LABEL", help="only the faults that run LABEL caught")
    ap.add_argument("--fresh", action="store_true", help="forget earlier results of this label")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--table", nargs="+", metavar="LABEL")
    ap.add_argument("--test-dir", default="tests", help="the pytest files of --tests, relative to the checkout")
    ap.add_argument("--core-drop", default=[], type=lambda t: t.split(","),
                    help="core test files (comma-separated) whose cases --tests leaves out")
    ap.add_argument("--then", metavar="LABEL", help="a second suite, run on the same build over each fault the first caught")
    ap.add_argument("--then-dir", default="tests")
    ap.add_argument("--then-core-drop", default=[], type=lambda t: t.split(","))
    ap.add_argument("--build-dir", default="/tmp/mbuild")
    ap.add_argument("--core-dir", default="/tmp/mcore")
    ap.add_argument("--timeout", type=int, default=1800, help="seconds for one test command")
    args = ap.parse_args()

    fs = faults()
    if args.list:
        for m in fs:
            print(f"{m['id']:>3} {m['area']:8} {m['file']:45} {m['desc']}")
        return
    problems = check_unique(fs)
    if args.check or problems:
        print("\n".join(problems) or f"{len(fs)} faults, each original text found once")
        sys.exit(1 if problems else 0)
    if args.table:
        table(args.table)
        return
    if not args.tests:
        ap.error("give --tests LABEL, --list, --check or --table")
    if not tree_clean():
        sys.exit("core/, bindings/ or python/ has uncommitted changes; refusing to mutate")

    if args.only:  # in the order given
        by_id = {m["id"]: m for m in fs}
        fs = [by_id[int(x)] for x in args.only.split(",")]
    if args.caught_in:  # (the first suite then runs only over what LABEL caught)
        earlier = load(args.caught_in)
        fs = [m for m in fs if earlier.get(str(m["id"]), {}).get("outcome") == "caught"]

    RESULTS.mkdir(parents=True, exist_ok=True)
    suites = [{"label": args.tests, "dir": args.test_dir, "dropped": core_case_names(args.core_drop)}]
    if args.then:
        suites.append({"label": args.then, "dir": args.then_dir, "dropped": core_case_names(args.then_core_drop)})
    stored = {s["label"]: ({} if args.fresh else load(s["label"])) for s in suites}
    builder = Builder(args)
    try:
        for m in fs:
            key = str(m["id"])
            first = stored[suites[0]["label"]].get(key)
            todo = [s for s in suites if key not in stored[s["label"]]]
            if first is not None and first["outcome"] != "caught":
                todo = []  # later suites are only asked about what the first caught
            if not todo:
                continue
            print(f"#{m['id']:>3} {m['area']:8} {m['desc']} ...", end=" ", flush=True)
            for label, r in apply_one(m, builder, args.timeout, todo).items():
                r.update(area=m["area"], file=m["file"], desc=m["desc"])
                stored[label][key] = r
                (RESULTS / f"{label}.json").write_text(json.dumps(stored[label], indent=1, sort_keys=True) + "\n")
                print(f"[{label}] {r['outcome']} {r.get('by') or ''} (build {r.get('build_s', '-')}s, "
                      f"tests {r.get('test_s', '-')}s)", end=" ", flush=True)
            print(flush=True)
    finally:
        # the installed modules and the core tests built from the restored tree again
        err = builder.modules() or builder.core_tests()
        if err:
            print("rebuilding the restored tree failed:\n" + err)
    table([s["label"] for s in suites])


if __name__ == "__main__":
    main()
