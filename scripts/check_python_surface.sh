#!/usr/bin/env bash
# The Python surface beyond tests/: the type stub against the installed
# compiled module (stubtest) and the examples in README.md and docs/
# (doctest). Run by scripts/test.sh after its install; takes the Python of
# the environment to check (default .venv/bin/python).
set -uo pipefail
cd "$(dirname "$0")/.."
python=${1:-.venv/bin/python}

status=0
# stubtest reads the stub from the installed package, so this also checks
# that the wheel ships it and its py.typed marker
"$python" -m mypy.stubtest kestov._kestov kestov._more kestov.many || status=1
"$python" -m pytest -q -p no:cacheprovider --doctest-glob='*.md' README.md docs || status=1
exit $status
