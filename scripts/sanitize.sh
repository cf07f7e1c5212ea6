#!/usr/bin/env bash
# Runs the C++ core tests and the whole Python test suite under gcc's
# AddressSanitizer and UndefinedBehaviorSanitizer, then scans every report.
#
# - The core tests: a sanitized ctest build, leak checking on.
# - The extension: built sanitized into its own venv; pytest runs with the
#   ASan runtime preloaded and PYTHONMALLOC=malloc so Python objects are seen
#   too. Leak checking is off for that run: CPython and NumPy keep memory
#   until the process ends and LeakSanitizer reports it at exit.
# - Leaks of the extension itself: the leak tests run again with
#   LeakSanitizer on and full stacks, and any report with a frame in the
#   extension fails the run.
# Any sanitizer report fails the run; reports are kept in build/sanitize/logs.
set -uo pipefail
cd "$(dirname "$0")/.."

out=build/sanitize
rm -rf "$out/logs" && mkdir -p "$out/logs" || exit 1
flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS -g -O1"
libasan=$(g++ -print-file-name=libasan.so)
# Huge periods must reach the core as a failed allocation, not a sanitizer abort.
asan="allocator_may_return_null=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1"
ubsan="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
status=0

python3 -m venv "$out/venv" || exit 1
"$out/venv/bin/python" -m pip install -q ".[test]" --config-settings=cmake.build-type=Debug \
    --config-settings="cmake.define.CMAKE_CXX_FLAGS=$flags" \
    --config-settings="cmake.define.CMAKE_MODULE_LINKER_FLAGS=-fsanitize=address,undefined" \
    --config-settings=cmake.define.KESTOV_WERROR=ON --config-settings=build-dir="$out/ext" || exit 1

# -- The core tests ------------------------------------------------------------
"$out/venv/bin/cmake" -S . -B "$out/core" -G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/$out/venv/bin/ninja" \
    -DKESTOV_BUILD_TESTS=ON -DKESTOV_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null \
  && "$out/venv/bin/cmake" --build "$out/core" \
  && ASAN_OPTIONS="$asan:detect_leaks=1:log_path=$PWD/$out/logs/core-asan" \
     UBSAN_OPTIONS="$ubsan:log_path=$PWD/$out/logs/core-ubsan" \
     "$out/venv/bin/ctest" --test-dir "$out/core" --output-on-failure || status=1

# -- The Python tests ------------------------------------------------------------
run_python() {
  LD_PRELOAD="$libasan" PYTHONMALLOC=malloc UBSAN_OPTIONS="$ubsan:log_path=$PWD/$out/logs/ubsan" \
    "$out/venv/bin/python" -m pytest -p no:cacheprovider "$@"
}
# The chart test is left out: it exercises matplotlib's own extensions, which
# abort when the ASan runtime is preloaded, and no code of ours beyond cli.py.
workers=$(nproc 2>/dev/null || echo 1)
[ "$workers" -gt 4 ] && workers=4
KESTOV_LEAK_ROUNDS=200 ASAN_OPTIONS="$asan:detect_leaks=0:log_path=$PWD/$out/logs/asan" \
  run_python -n "$workers" tests --ignore=tests/test_plot.py || status=1

# Leak reports go to the logs (exitcode=0), full stacks so that an object
# allocated by CPython on the extension's behalf shows the extension's frame.
KESTOV_LEAK_ROUNDS=20 ASAN_OPTIONS="$asan:detect_leaks=1:exitcode=0:fast_unwind_on_malloc=0:log_path=$PWD/$out/logs/lsan" \
  run_python -q tests/test_leaks.py || status=1

# -- Every report ----------------------------------------------------------------
"$out/venv/bin/python" - "$out/logs" <<'PY' || status=1
import pathlib, re, sys
findings = 0
for log in sorted(pathlib.Path(sys.argv[1]).iterdir()):
    text = log.read_text(errors="replace")
    errors = re.findall(r"ERROR: AddressSanitizer.*|runtime error:.*|ERROR: LeakSanitizer.*(?=\n)", text)
    if log.name.startswith("lsan"):
        # Only leaks with a frame in the extension (its functions or its module file).
        leaks = [b for b in re.split(r"\n(?=(?:Direct|Indirect) leak of)", text) if " leak of " in b]
        errors = [e for e in errors if "LeakSanitizer" not in e] + \
                 [b.splitlines()[0] for b in leaks if re.search(r"kestov::|/_kestov\.[^/\s]*\.so", b)]
    for e in errors:
        print(f"{log.name}: {e}")
    findings += len(errors)
print(f"sanitizers: findings: {findings}")
sys.exit(1 if findings else 0)
PY
exit $status
