"""Write the committed state files that tests/test_state.py loads: each is the
saved state of an indicator fed a seeded series, with a manifest naming the
class, configuration, seed and row count that recreate it.

    python tools/make_states.py

Run it only when adding a file: the files are what an earlier build wrote,
and the test checks that later builds still read them.
"""

import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))

from classes import CASES, awkward  # noqa: E402

STATES = ROOT / "tests" / "data" / "states"

WANTED = [  # class, configuration, seed, rows
    ("SMA", {"period": 20}, 21, 0),
    ("SMA", {"period": 20}, 22, 150),
    ("EMA", {"period": 10}, 23, 6),
    ("MACD", {}, 24, 400),
    ("RSI", {"period": 14}, 25, 9),
    ("KAMA", {}, 26, 300),
    ("Stochastic", {"k_period": 200, "d_period": 3}, 27, 450),
    ("Donchian", {"period": 200}, 28, 517),
    ("Aroon", {"period": 25}, 29, 61),
    ("ADX", {}, 30, 200),
    ("PSAR", {}, 31, 90),
    ("MFI", {"period": 14}, 32, 50),
]


def main():
    STATES.mkdir(parents=True, exist_ok=True)
    manifest = []
    for name, kwargs, seed, rows in WANTED:
        case = next(c for c in CASES if c.name == name)
        obj = case.cls(**kwargs)
        for x in awkward(case, seed, rows):
            obj.update(x)
        file = f"{name.lower()}-{seed}-{rows}.kstate"
        (STATES / file).write_bytes(obj.__reduce__()[2])
        manifest.append({"file": file, "class": name, "kwargs": kwargs, "seed": seed, "rows": rows})
    (STATES / "manifest.json").write_text(json.dumps(manifest, indent=1) + "\n")
    print(f"wrote {len(manifest)} states to {STATES}")


if __name__ == "__main__":
    main()
