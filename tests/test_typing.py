"""The stub's return types against what the calls really return, and the package surface.

stubtest (scripts/check_python_surface.sh) holds names, parameters, defaults
and properties against the module but never looks at return types.
"""

import ast
import importlib.metadata
import subprocess
import sys
import types
import typing
from pathlib import Path

import numpy as np
import pytest

import kestov
from classes import CASES, by_class
from kestov import _kestov
from kestov.typing import FloatArray

STUBS = [Path(_kestov.__file__).with_name(name) for name in ("_kestov.pyi", "_more.pyi")]


def stub_returns():
    """{class name: {member: return annotation}} read from the installed stub."""
    names = {"float": float, "int": int, "bool": bool, "None": None, "tuple": tuple, "FloatArray": FloatArray}
    out = {}
    for node in (n for stub in STUBS for n in ast.parse(stub.read_text()).body):
        if isinstance(node, ast.ClassDef):
            out[node.name] = {f.name: eval(ast.unparse(f.returns), names) for f in node.body
                              if isinstance(f, ast.FunctionDef) and not f.name.startswith("__")}
    return out


def alternatives(hint):
    return typing.get_args(hint) if typing.get_origin(hint) in (typing.Union, types.UnionType) else (hint,)


def arm(value, hint):
    """Which alternative of hint value matches, or None."""
    for i, alt in enumerate(alternatives(hint)):
        if alt in (None, type(None)):
            ok = value is None
        elif typing.get_origin(alt) is tuple:
            items = typing.get_args(alt)
            ok = type(value) is tuple and len(value) == len(items) and all(type(v) is t for v, t in zip(value, items))
        elif typing.get_origin(alt) is np.ndarray:
            (dtype,) = typing.get_args(typing.get_args(alt)[1])
            ok = type(value) is np.ndarray and value.dtype == dtype
        else:
            ok = type(value) is alt  # exactly: an int where float is promised, or a bool for int, is wrong
        if ok:
            return i
    return None


@by_class(CASES)
def test_returns_match_stub(case):
    hints = stub_returns()[case.name]
    obj, inputs = case.make(), case.series(3, 120)
    if case.kind == "candle":  # a volume-weighted average has nothing to say yet
        inputs.insert(0, case.row((100.0, 100.0, 100.0, 100.0, 0.0, 0)))
    seen = {}

    def observe(member, value):
        hit = arm(value, hints[member])
        assert hit is not None, f"{case.name}.{member} returned {value!r}, stub says {hints[member]}"
        seen.setdefault(member, set()).add(hit)

    properties = [m for m in hints if isinstance(vars(case.cls)[m], types.GetSetDescriptorType)]
    for step, x in enumerate(inputs):
        observe("update", obj.update(x))
        observe("is_ready", obj.is_ready())
        for p in properties:
            observe(p, getattr(obj, p))
        if step == 0:
            observe("warmup_period", obj.warmup_period())
    observe("batch", obj.batch(*case.batch_args(inputs)))
    observe("reset", obj.reset())
    for p in properties:
        observe(p, getattr(obj, p))
    # every alternative the stub promises does occur: no "| None" on a value that is always there
    assert seen == {m: set(range(len(alternatives(h)))) for m, h in hints.items()}


def test_package_surface():
    assert kestov.__version__ == _kestov.__version__ == importlib.metadata.version("kestov")
    from kestov import _more
    assert _more.__version__ == kestov.__version__
    # every class of both modules, the fixed 25 first
    assert kestov.__all__ == _kestov.__all__ + _more.__all__[1:]
    namespace = {}
    exec("from kestov import *", namespace)
    assert sorted(n for n in namespace if n != "__builtins__") == sorted(kestov.__all__)
    assert (STUBS[0].parent / "py.typed").is_file()
    # the optional extras stay optional
    subprocess.run([sys.executable, "-c", "import sys, kestov, kestov.cli, kestov.typing, kestov.many\n"
                    "assert not {'pandas', 'matplotlib', 'polars', 'pyarrow', 'dask'} & set(sys.modules)"],
                   check=True)


def test_user_code_type_checks(tmp_path):
    pytest.importorskip("mypy")
    (tmp_path / "use.py").write_text(
        "import numpy as np\n"
        "from typing_extensions import assert_type\n"
        "from kestov import ATR, MACD, RSI, Stochastic\n"
        "from kestov.typing import CandleDict, FloatArray\n"
        "candle: CandleDict = {'open': 1, 'high': 2, 'low': 0.5, 'close': 1.5, 'volume': 10}\n"
        "assert_type(ATR().update(candle), float | None)\n"
        "assert_type(ATR(period=3).update((1, 2, 0.5, 1.5, 10, 0)), float | None)\n"
        "assert_type(MACD(fast=3).update(np.float32(2)), tuple[float, float, float] | None)\n"
        "assert_type(Stochastic().periods, tuple[int, int])\n"
        "assert_type(RSI().batch(np.zeros(3)), FloatArray)\n"
        "RSI('14')\n"
        "ATR().update([1, 2, 0.5, 1.5, 10, 0])\n"
        "RSI().update(1.0).real\n")
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
                           "use.py"], cwd=tmp_path, capture_output=True, text=True)
    errors = [line.split(":")[1] for line in done.stdout.splitlines() if ": error:" in line]
    assert errors == ["11", "12", "13"], done.stdout
