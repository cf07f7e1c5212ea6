"""Counts non-blank lines of the tests against the rest of the code.

    python tools/count_lines.py [--json]

Tests are the C++, Python and CMake files under tests/ and core/tests/.
Code is every other tracked C++, Python, stub (.pyi) and CMake file,
fuzz/ included and bench/ left out. The files are the ones git tracks, so
a build directory or a virtual environment inside the checkout never counts.
"""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SUFFIXES = {".cpp", ".hpp", ".h", ".cc", ".py", ".pyi", ".cmake"}
TEST_DIRS = ("tests/", "core/tests/")


def counted(path: str) -> bool:
    p = Path(path)
    return p.suffix in SUFFIXES or p.name == "CMakeLists.txt"


def non_blank(path: Path) -> int:
    with path.open(encoding="utf-8", errors="replace") as f:
        return sum(1 for line in f if line.strip())


def count() -> dict[str, float]:
    files = subprocess.run(["git", "ls-files"], cwd=ROOT, check=True,
                           capture_output=True, text=True).stdout.split()
    tests = code = 0
    for f in files:
        if not counted(f) or f.startswith("bench/") or not (ROOT / f).exists():
            continue
        n = non_blank(ROOT / f)
        if f.startswith(TEST_DIRS):
            tests += n
        else:
            code += n
    return {"tests": tests, "code": code, "percent": round(100.0 * tests / code, 1)}


if __name__ == "__main__":
    result = count()
    if "--json" in sys.argv:
        print(json.dumps(result))
    else:
        print(f"tests {result['tests']}  code {result['code']}  tests/code {result['percent']}%")
