"""docs/reference.md against the module, so the table cannot drift.

(The examples in README.md and docs/ run as doctests: scripts/check_python_surface.sh.)
"""

import inspect
import math
import types
from pathlib import Path

import numpy as np

from kestov import _kestov
from kestov.columns import column_names

REFERENCE = Path(__file__).resolve().parents[1] / "docs" / "reference.md"


def table():
    rows = [line.strip().strip("|").split("|") for line in REFERENCE.read_text().splitlines()
            if line.startswith("| `")]
    return {row[0].strip(" `"): [cell.strip() for cell in row[1:]] for row in rows}


def code(names):
    return ", ".join(f"`{n}`" for n in names)


def configurations(cls):
    """Defaults (20 for a required period), then every period moved two ways that keep their order."""
    params = inspect.signature(cls).parameters.values()
    base = {p.name: 20 if p.default is p.empty else p.default for p in params}
    return [{k: move(v) if isinstance(v, int) else v for k, v in base.items()}
            for move in (lambda v: v, lambda v: 3 * v + 1, lambda v: v + 5)]


def test_reference_table():
    rows = table()
    assert list(rows) == _kestov.__all__[1:]
    for name, (constructor, takes, reads, output, warmup, properties) in rows.items():
        cls = getattr(_kestov, name)
        inputs = list(inspect.signature(cls.batch).parameters)[1:]
        assert constructor == f"`{name}{cls.__text_signature__}`", name
        assert takes == list(inspect.signature(cls.update).parameters)[1], name
        assert reads == code(inputs), name
        getters = [a for a, v in vars(cls).items() if isinstance(v, types.GetSetDescriptorType)]
        assert properties == (code(getters) or "—"), name
        for config in configurations(cls):
            obj = cls(**config)
            formula = eval(warmup.strip("`"), {"__builtins__": {}, "max": max, "round": round, "sqrt": math.sqrt},
                           config)
            assert obj.warmup_period() == formula, (name, config)
            result = obj.batch(*[np.ones(3)] * len(inputs))
            assert output == ("float" if result.ndim == 1 else code(column_names(name, result.shape[1]))), name
