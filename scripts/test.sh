#!/usr/bin/env bash
# Sets everything up in .venv and runs every test: the C++ tests of the core
# (ctest), the Python tests (pytest), the type stub and the documentation's
# examples, the strict build of the documentation site, then the wheel: built
# from the sdist, audited, and tested again in a fresh environment. Fails if
# any of them fails.
set -uo pipefail
cd "$(dirname "$0")/.."

python3 -m venv .venv || exit 1
.venv/bin/python -m pip install -q ".[test]" --config-settings=cmake.define.KESTOV_WERROR=ON || exit 1

# pytest's workers: one per core, up to four.
workers=$(nproc 2>/dev/null || echo 1)
[ "$workers" -gt 4 ] && workers=4

status=0
.venv/bin/cmake -S . -B build/core-tests -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" \
    -DKESTOV_BUILD_TESTS=ON -DKESTOV_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null \
  && .venv/bin/cmake --build build/core-tests \
  && .venv/bin/ctest --test-dir build/core-tests --output-on-failure || status=1

.venv/bin/python -m pytest -n "$workers" tests || status=1
bash scripts/check_python_surface.sh .venv/bin/python || status=1
# a broken link or anchor, or a page the nav leaves out, fails the build
.venv/bin/mkdocs build --strict || status=1
bash scripts/check_wheel.sh || status=1
exit $status
