#!/usr/bin/env bash
# Builds the source distribution and, from it, the wheel (one build of each),
# audits the wheel (abi3audit: stable ABI only; auditwheel: platform policy),
# then installs it with the test and Dask extras into a fresh virtual
# environment and runs the tests of the installed surface there. Work goes
# to build/wheel.
set -euo pipefail
cd "$(dirname "$0")/.."

python=${KESTOV_WHEEL_PYTHON:-python3}
work=build/wheel
rm -rf "$work/out"
mkdir -p "$work"

"$python" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q build abi3audit auditwheel

"$work/tools/bin/python" -m build --outdir "$work/out" -C cmake.define.KESTOV_WERROR=ON . >"$work/build.log" 2>&1 \
  || { tail -n 40 "$work/build.log"; exit 1; }

"$work/tools/bin/python" - "$work/out" <<'EOF'
import pathlib, re, sys, tarfile, zipfile

out = pathlib.Path(sys.argv[1])
sdists, wheels = sorted(out.glob("*.tar.gz")), sorted(out.glob("*.whl"))
assert len(sdists) == 1 and len(wheels) == 1, f"expected one sdist and one wheel, got {sdists + wheels}"
match = re.fullmatch(r"kestov-([^-]+)-cp310-abi3-[a-z0-9_]+\.whl", wheels[0].name)
assert match, f"not a cp310-abi3 wheel: {wheels[0].name}"
version = match[1]

# The wheel carries the Python package only: no core headers, no CMake package.
names = zipfile.ZipFile(wheels[0]).namelist()
stray = [n for n in names if not n.startswith(("kestov/", f"kestov-{version}.dist-info/"))]
assert not stray, f"files outside the package in the wheel: {stray}"
assert any(re.fullmatch(r"kestov/_kestov\.abi3\.so", n) for n in names), "no abi3 extension module in the wheel"

# The sdist must hold everything a build from it and the tests need.
members = set(tarfile.open(sdists[0]).getnames())
needed = ["CMakeLists.txt", "README.md", "pyproject.toml", "cmake/install.cmake", "cmake/kestovConfig.cmake.in",
          "core/include/kestov/kestov.hpp", "bindings/python/src/module.cpp", "python/kestov/__init__.py",
          "python/kestov/data/sample.csv", "examples/cpp/CMakeLists.txt", "tests/classes.py", "docs/dask.md"]
missing = [p for p in needed if f"kestov-{version}/{p}" not in members]
assert not missing, f"missing from the sdist: {missing}"
print(f"sdist {sdists[0].name}: {len(members)} entries; wheel {wheels[0].name}: {len(names)} files")
EOF

wheel=$(ls "$work"/out/*.whl)
"$work/tools/bin/abi3audit" --strict --summary "$wheel"
report=$("$work/tools/bin/auditwheel" show "$wheel" 2>&1) || { echo "$report"; exit 1; }
tag=$(tr -s ' \n' ' ' <<<"$report" | grep -o 'platform tag: "manylinux_[0-9]*_[0-9]*_[a-z0-9_]*"' || true)
if [ -z "$tag" ]; then
  echo "$report"
  echo "auditwheel found no manylinux policy for $wheel"
  exit 1
fi
echo "auditwheel: consistent with $tag"

"$python" -m venv --clear "$work/venv"
"$work/venv/bin/python" -m pip install -q "$wheel[test,dask]"
"$work/venv/bin/python" -c 'import sys, kestov; print(f"testing {kestov.__file__} on Python {sys.version.split()[0]}")'
# The whole suite has run against the development install; against the wheel,
# the tests of what a wheel can get wrong: its modules, stubs and data files.
workers=$(nproc 2>/dev/null || echo 1)
[ "$workers" -gt 4 ] && workers=4
"$work/venv/bin/python" -m pytest -q -p no:cacheprovider -n "$workers" tests/test_boundary.py tests/test_typing.py \
    tests/test_state.py tests/test_golden.py tests/test_many.py tests/test_cli.py tests/test_breadth.py
